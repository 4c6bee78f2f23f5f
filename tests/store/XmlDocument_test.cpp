// The XML document: parse messages and offsets, the tolerant index, walking, attribute decoding,
// escaping and the in-place edits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "XmlDocument.h"

using mltest::Gb;

namespace {

// Names of the elements under the current parent, in order (the position is moved).
std::vector<std::string> SiblingNames(CXmlDocument& xml) {
    std::vector<std::string> names;
    while (xml.FindElement())
        names.push_back(xml.GetTagName().str());
    return names;
}

// Finds each named element in turn and enters it.
void Descend(CXmlDocument& xml, std::initializer_list<const char*> path) {
    for (const char* name : path) {
        ASSERT_TRUE(xml.FindElement(name)) << name;
        ASSERT_TRUE(xml.EnterElement()) << name;
    }
}

// Enters a level at a time, expecting the names at each; each level's walk stops on its last
// element, so the next level is that element's children.
void ExpectLevels(CXmlDocument& xml, const std::vector<std::vector<std::string>>& levels) {
    for (const auto& names : levels) {
        ASSERT_TRUE(xml.EnterElement());
        EXPECT_EQ(SiblingNames(xml), names);
    }
}

std::string ResultOf(const char* doc) {
    CXmlDocument xml(doc);
    EXPECT_FALSE(xml.WellFormed()) << doc;
    return xml.GetResult().str();
}

}  // namespace

TEST(XmlDocumentLoad, EmptyFileIsNotWellFormedAndSaysSo) {
    mltest::TempDir dir;
    mltest::WriteFileBytes(dir / "e.xml", "");
    CXmlDocument xml;
    EXPECT_FALSE(xml.LoadFile((dir / "e.xml").c_str()));
    EXPECT_EQ(xml.GetResult().str(), "0 bytes, Empty document");
}

TEST(XmlDocumentLoad, ResultTextCountsBytesAndAppendsTheFirstProblem) {
    mltest::TempDir dir;
    mltest::WriteFileBytes(dir / "ok.xml", "<r a=\"1\"/>\r\n");
    mltest::WriteFileBytes(dir / "text.xml", "just some text\r\n");
    CXmlDocument xml;
    EXPECT_TRUE(xml.LoadFile((dir / "ok.xml").c_str()));
    EXPECT_EQ(xml.GetResult().str(), "12 bytes");
    EXPECT_FALSE(xml.LoadFile((dir / "text.xml").c_str()));
    EXPECT_EQ(xml.GetResult().str(), "16 bytes, No root element");
}

TEST(XmlDocumentLoad, MissingFileGivesTheSystemErrorTextAndNoDocument) {
    mltest::TempDir dir;
    CXmlDocument xml("<r/>");
    ASSERT_TRUE(xml.WellFormed());
    EXPECT_FALSE(xml.LoadFile((dir / "none.xml").c_str()));
    EXPECT_EQ(xml.GetResult().str(), std::strerror(ENOENT));
    EXPECT_FALSE(xml.WellFormed());
    EXPECT_FALSE(xml.FindElement());

    // Too large for int offsets: refused by its length, before any byte is read (sparse here).
    mltest::WriteFileBytes(dir / "big.xml", "<r/>");
    ASSERT_EQ(::truncate((dir / "big.xml").c_str(), INT_MAX), 0);
    EXPECT_FALSE(xml.LoadFile((dir / "big.xml").c_str()));
    EXPECT_EQ(xml.GetResult().str(), std::strerror(EFBIG));
}

TEST(XmlDocumentLoad, BinaryBytesAndEmbeddedZerosAreKept) {
    mltest::TempDir dir;
    std::string bytes("<r v=\"a\0b\"/>", 13);
    mltest::WriteFileBytes(dir / "z.xml", bytes);
    CXmlDocument xml;
    EXPECT_TRUE(xml.LoadFile((dir / "z.xml").c_str()));
    EXPECT_EQ(xml.GetDocument().str(), bytes);
    ASSERT_TRUE(xml.FindElement("r"));
    EXPECT_EQ(xml.GetAttribute("v").str(), std::string("a\0b", 3));
}

TEST(XmlDocumentMessages, DocumentLevelProblems) {
    EXPECT_EQ(ResultOf(""), "Empty document");
    EXPECT_EQ(ResultOf("  \r\n<!-- c --><?pi x?>"), "No root element");
    EXPECT_EQ(ResultOf("<a/><b/>"), "Root element has sibling");
}

TEST(XmlDocumentMessages, IncorrectCharactersReportTheOffsetOfTheLessThan) {
    EXPECT_EQ(ResultOf("<a><1/></a>"), "Incorrect tag name character at offset 3");
    EXPECT_EQ(ResultOf("<a>x<!x></a>"), "Incorrect ! tag at offset 4");
    EXPECT_EQ(ResultOf("<a><!-x></a>"), "Incorrect comment tag at offset 3");
    EXPECT_EQ(ResultOf("<a><![X[y]]></a>"), "Incorrect tag at offset 3");
}

TEST(XmlDocumentMessages, UnterminatedTokens) {
    EXPECT_EQ(ResultOf("<a><b x='1'"), "Element tag at offset 3 unterminated");
    EXPECT_EQ(ResultOf("<a></a"), "Element end tag at offset 3 unterminated");
    EXPECT_EQ(ResultOf("<a><![CDATA[ x ]>"), "CDATA Section at offset 3 unterminated");
    EXPECT_EQ(ResultOf("<a><?pi ?"), "Processing instruction at offset 3 unterminated");
    EXPECT_EQ(ResultOf("<a><!-- c --"), "Comment at offset 3 unterminated");
    EXPECT_EQ(ResultOf("<a/><!DOCTYPE a [ <!ENTITY e 'x'> "), "Doctype at offset 4 unterminated");
    EXPECT_EQ(ResultOf("<a/><!DOCTYPE a [ <!ENTITY e 'x"), "Doctype at offset 4 unterminated");
    // Without any element the document-level message takes the place of the token's.
    EXPECT_EQ(ResultOf("<!DOCTYPE a [ <!ENTITY e 'x'> "), "No root element");
    EXPECT_EQ(ResultOf("<a><!ELEMENT a ANY"), "tag at offset 3 unterminated");
    EXPECT_EQ(ResultOf("<a></a><"), "tag at offset 7 unterminated");
}

TEST(XmlDocumentMessages, OnlyTheFirstProblemIsReported) {
    EXPECT_EQ(ResultOf("<a><!x><1></a>"), "Incorrect ! tag at offset 3");
}

TEST(XmlDocumentStructure, MismatchedEndTagClosesTheOuterElementAndCutsTheInner) {
    CXmlDocument xml("<a><b></a>");
    EXPECT_FALSE(xml.WellFormed());
    EXPECT_EQ(xml.GetResult().str(),
              "End tag 'a' at offset 7 does not match start tag 'b' at offset 3");
    ASSERT_NO_FATAL_FAILURE(Descend(xml, {"a"}));
    ASSERT_TRUE(xml.FindElement("b"));
    EXPECT_FALSE(xml.FindElement());
}

TEST(XmlDocumentStructure, ChildrenOfAnElementWithoutEndTagMoveUpAsFollowingSiblings) {
    const char* doc = "<r><a><b/><c><d/></c></r>";
    CXmlDocument xml(doc);
    EXPECT_EQ(xml.GetResult().str(),
              "End tag 'r' at offset 22 does not match start tag 'a' at offset 3");
    ASSERT_TRUE(xml.FindElement("r"));
    // c kept its own child, a has none left.
    ASSERT_NO_FATAL_FAILURE(ExpectLevels(xml, {{"a", "b", "c"}, {"d"}}));

    CXmlDocument again(doc);
    ASSERT_NO_FATAL_FAILURE(Descend(again, {"r", "a"}));
    EXPECT_FALSE(again.FindElement());
}

TEST(XmlDocumentStructure, EndTagClosesTheInnermostOpenElementOfItsName) {
    const char* doc = "<a><b><a><c></a></b></a>";
    CXmlDocument xml(doc);
    EXPECT_EQ(xml.GetResult().str(),
              "End tag 'a' at offset 13 does not match start tag 'c' at offset 9");
    ASSERT_TRUE(xml.FindElement("a"));
    EXPECT_FALSE(xml.FindElement());  // the outer a took the last end tag: one root
    ASSERT_NO_FATAL_FAILURE(ExpectLevels(xml, {{"b"}, {"a"}, {"c"}}));

    CXmlDocument noCase;
    noCase.SetDocFlags(CXmlDocument::MDF_IGNORECASE);
    EXPECT_TRUE(noCase.SetDoc("<Root><X></x></ROOT>"));
    CXmlDocument withCase("<Root><X></x></X></Root>");
    EXPECT_EQ(withCase.GetResult().str(), "No start tag for end tag 'x' at offset 9");
}

TEST(XmlDocumentStructure, ElementsOpenAtTheEndAreNotEnded) {
    EXPECT_EQ(ResultOf("<a>text"), "Element 'a' at offset 0 not ended");
    // Nested open elements are flattened to the top level, which leaves the root a sibling.
    CXmlDocument xml("<r><a><b/>");
    EXPECT_EQ(xml.GetResult().str(), "Root element has sibling");
    EXPECT_EQ(SiblingNames(xml), (std::vector<std::string>{"r", "a", "b"}));
}

TEST(XmlDocumentStructure, EndTagWithoutStartTagIsIgnored) {
    CXmlDocument xml("<a></b><c/></a>");
    EXPECT_FALSE(xml.WellFormed());
    EXPECT_EQ(xml.GetResult().str(), "No start tag for end tag 'b' at offset 3");
    ASSERT_TRUE(xml.FindElement("a"));
    xml.EnterElement();
    EXPECT_EQ(SiblingNames(xml), (std::vector<std::string>{"c"}));
}

TEST(XmlDocumentStructure, MarkupDeclarationsAndCommentsAreNotElements) {
    CXmlDocument xml(
        "<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [ <!ELEMENT r ANY> <!-- <x> --> "
        "<!ATTLIST r a CDATA '>'> ]>\r\n<r><![CDATA[<no/>]]><!-- <no/> --><y/></r>");
    EXPECT_TRUE(xml.WellFormed()) << xml.GetResult().str();
    ASSERT_TRUE(xml.FindElement("r"));
    xml.EnterElement();
    EXPECT_EQ(SiblingNames(xml), (std::vector<std::string>{"y"}));
}

TEST(XmlDocumentStructure, EmptyElementTagRules) {
    CXmlDocument quoted("<r a='1>2'/>");
    EXPECT_TRUE(quoted.WellFormed());
    ASSERT_TRUE(quoted.FindElement("r"));
    EXPECT_EQ(quoted.GetAttribute("a").str(), "1>2");
    EXPECT_TRUE(CXmlDocument("<r />").WellFormed());
    EXPECT_TRUE(CXmlDocument("<r a=\"x\"/>").WellFormed());
    // A slash straight after an unquoted value belongs to the value: the tag stays open.
    CXmlDocument open("<r a=x/>");
    EXPECT_EQ(open.GetResult().str(), "Element 'r' at offset 0 not ended");
    open.FindElement();
    EXPECT_EQ(open.GetAttribute("a").str(), "x/");
}

TEST(XmlDocumentStructure, TwoByteCharactersAreSteppedOverWhole) {
    // A lead byte takes the next byte with it, so that byte is never markup.
    CXmlDocument xml("<a>\x81<b/></a>");
    EXPECT_TRUE(xml.WellFormed());
    ASSERT_TRUE(xml.FindElement("a"));
    xml.EnterElement();
    EXPECT_FALSE(xml.FindElement());
    // GB2312 names and values; a cut character at the end is harmless.
    std::string doc = "<" + Gb("数据") + " " + Gb("名") + "=\"" + Gb("值") + "\"/>";
    CXmlDocument gb(doc.c_str());
    EXPECT_TRUE(gb.WellFormed());
    ASSERT_TRUE(gb.FindElement(Gb("数据").c_str()));
    EXPECT_EQ(gb.GetAttribute(Gb("名").c_str()).str(), Gb("值"));
    EXPECT_EQ(ResultOf("<a>\xB0"), "Element 'a' at offset 0 not ended");
}

TEST(XmlDocumentWalk, FindElementNameRule) {
    CXmlDocument xml("<CfgInfo><AreaX n='x'/><Area n='1'/><area n='2'/></CfgInfo>");
    ASSERT_TRUE(xml.FindElement("CfgInfo"));
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("Area"));
    EXPECT_EQ(xml.GetAttribute("n").str(), "1");
    EXPECT_FALSE(xml.FindElement("Area"));  // nothing changes on failure
    EXPECT_EQ(xml.GetAttribute("n").str(), "1");
    for (const char* name : {"Area[2]", "Area/x", "Area x", "Area=1", "Area]"}) {
        CXmlDocument again(xml.GetDocument());
        again.FindElement();
        again.EnterElement();
        ASSERT_TRUE(again.FindElement(name)) << name;
        EXPECT_EQ(again.GetAttribute("n").str(), "1") << name;
    }
    CXmlDocument other(xml.GetDocument());
    other.FindElement();
    other.EnterElement();
    EXPECT_FALSE(other.FindElement("Are"));
    EXPECT_FALSE(other.FindElement("Area2"));
    EXPECT_FALSE(other.FindElement("Area-"));
    other.SetDocFlags(CXmlDocument::MDF_IGNORECASE);
    ASSERT_TRUE(other.FindElement("AREA"));
    EXPECT_EQ(other.GetAttribute("N").str(), "1");
    ASSERT_TRUE(other.FindElement("AREA"));
    EXPECT_EQ(other.GetAttribute("n").str(), "2");
}

TEST(XmlDocumentWalk, EnterAndLeaveMoveThePosition) {
    CXmlDocument xml("<r><a><x/></a><b/></r>");
    EXPECT_FALSE(xml.EnterElement());  // no current element
    EXPECT_FALSE(xml.LeaveElement());  // the document has no parent
    ASSERT_TRUE(xml.FindElement("r"));
    ASSERT_TRUE(xml.EnterElement());
    EXPECT_EQ(xml.GetTagName().str(), "");
    ASSERT_TRUE(xml.FindElement("a"));
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("x"));
    ASSERT_TRUE(xml.LeaveElement());
    EXPECT_EQ(xml.GetTagName().str(), "a");
    ASSERT_TRUE(xml.FindElement("b"));
    ASSERT_TRUE(xml.LeaveElement());
    EXPECT_EQ(xml.GetTagName().str(), "r");
    EXPECT_FALSE(xml.LeaveElement());
    EXPECT_FALSE(xml.FindElement());  // r has no sibling
}

TEST(XmlDocumentAttributes, ReadingQuotedUnquotedAndMissing) {
    CXmlDocument xml("<r a = \"1 2\" b='x\"y' c=z d e=\"\"/>");
    EXPECT_EQ(xml.GetAttribute("a").str(), "");  // no current element
    ASSERT_TRUE(xml.FindElement());
    EXPECT_EQ(xml.GetAttribute("a").str(), "1 2");
    EXPECT_EQ(xml.GetAttribute("b").str(), "x\"y");
    EXPECT_EQ(xml.GetAttribute("c").str(), "z");
    EXPECT_EQ(xml.GetAttribute("d").str(), "");
    EXPECT_EQ(xml.GetAttribute("e").str(), "");
    EXPECT_EQ(xml.GetAttribute("f").str(), "");
    EXPECT_EQ(xml.GetAttribute("r").str(), "");  // the tag name is not an attribute
    std::vector<std::string> names;
    for (int i = 0; !xml.GetAttributeName(i).IsEmpty(); ++i)
        names.push_back(xml.GetAttributeName(i).str());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

TEST(XmlDocumentAttributes, EntityAndCharacterReferencesDecode) {
    EXPECT_EQ(CXmlDocument::UnescapeText("&lt;&gt;&amp;&apos;&quot;").str(), "<>&'\"");
    EXPECT_EQ(CXmlDocument::UnescapeText("&#65;&#x42;&#x4f4D;").str(), "AB" + Gb("位"));
    EXPECT_EQ(CXmlDocument::UnescapeText("&#20301;").str(), Gb("位"));
    // Not convertible, malformed or unknown: left as written.
    for (const char* same : {"&#x1F600;", "&#12345678;", "&#;", "&#0;", "&#65", "&foo;", "a & b",
                             "&#x;", "&#1114112;", "&", "&amp"})
        EXPECT_EQ(CXmlDocument::UnescapeText(same).str(), same);
    std::string gb = Gb("数据&amp;");
    EXPECT_EQ(CXmlDocument::UnescapeText(gb).str(), Gb("数据&"));
}

TEST(XmlDocumentAttributes, EscapingAndDecodingRoundTrip) {
    EXPECT_EQ(CXmlDocument::EscapeText("<a&'\">", true).str(), "&lt;a&amp;&apos;&quot;&gt;");
    EXPECT_EQ(CXmlDocument::EscapeText("<a&'\">", false).str(), "&lt;a&amp;'\"&gt;");
    std::vector<std::string> values = {"a&b\"c", "<tag attr='v'>", Gb("公共组&0组"),
                                       "&amp;",  "&#65;",          ""};
    for (const std::string& v : values) {
        CXmlDocument xml("<r/>");
        ASSERT_TRUE(xml.FindElement());
        ASSERT_TRUE(xml.AddChildElement("c"));
        ASSERT_TRUE(xml.SetChildAttribute("v", v.c_str()));
        CXmlDocument again(xml.GetDocument());
        ASSERT_TRUE(again.WellFormed()) << again.GetDocument().str();
        again.FindElement();
        again.EnterElement();
        ASSERT_TRUE(again.FindElement("c"));
        EXPECT_EQ(again.GetAttribute("v").str(), v);
    }
    CXmlDocument xml("<r/>");
    xml.FindElement();
    xml.AddChildElement("c");
    xml.SetChildAttribute("v", "a&b\"c");
    EXPECT_EQ(xml.GetDocument().str(), "<r>\r\n<c v=\"a&amp;b&quot;c\"/>\r\n</r>");
}

TEST(XmlDocumentEdit, ChildrenGoOnePerLineBeforeTheEndTag) {
    CXmlDocument xml("<CfgInfo>\r\n</CfgInfo>");
    ASSERT_TRUE(xml.FindElement("CfgInfo"));
    ASSERT_TRUE(xml.AddChildElement("A"));
    ASSERT_TRUE(xml.AddChildElement("B"));
    EXPECT_EQ(xml.GetDocument().str(), "<CfgInfo>\r\n<A/>\r\n<B/>\r\n</CfgInfo>");
    EXPECT_TRUE(CXmlDocument(xml.GetDocument()).WellFormed());
}

TEST(XmlDocumentEdit, AddingToAnEmptyElementOpensIt) {
    CXmlDocument xml("<r><e a=\"1\"/></r>");
    ASSERT_TRUE(xml.FindElement("r"));
    xml.EnterElement();
    ASSERT_TRUE(xml.FindElement("e"));
    ASSERT_TRUE(xml.AddChildElement("c", "1<2"));
    EXPECT_EQ(xml.GetDocument().str(), "<r><e a=\"1\">\r\n<c>1&lt;2</c>\r\n</e></r>");
    // The index followed the edit: attributes and a further child land where they belong.
    ASSERT_TRUE(xml.SetChildAttribute("k", "v"));
    ASSERT_TRUE(xml.AddChildElement("d"));
    EXPECT_EQ(xml.GetDocument().str(),
              "<r><e a=\"1\">\r\n<c k=\"v\">1&lt;2</c>\r\n<d/>\r\n</e></r>");
    ASSERT_TRUE(xml.LeaveElement());
    EXPECT_EQ(xml.GetTagName().str(), "r");
    ASSERT_TRUE(xml.AddChildElement("f"));
    EXPECT_EQ(xml.GetDocument().str(),
              "<r><e a=\"1\">\r\n<c k=\"v\">1&lt;2</c>\r\n<d/>\r\n</e><f/>\r\n</r>");
    EXPECT_TRUE(CXmlDocument(xml.GetDocument()).WellFormed());
}

TEST(XmlDocumentEdit, SetChildAttributeReplacesOrAppends) {
    CXmlDocument xml("<r><c a='1' b=\"2\" n></c><d/></r>");
    ASSERT_TRUE(xml.FindElement("r"));
    EXPECT_FALSE(xml.SetChildAttribute("a", "x"));  // no current child yet
    xml.EnterElement();
    ASSERT_TRUE(xml.FindElement("c"));
    xml.LeaveElement();
    ASSERT_TRUE(xml.SetChildAttribute("a", "long value"));
    ASSERT_TRUE(xml.SetChildAttribute("n", "3"));
    ASSERT_TRUE(xml.SetChildAttribute("z", ""));
    EXPECT_EQ(xml.GetDocument().str(),
              "<r><c a=\"long value\" b=\"2\" n=\"3\" z=\"\"></c><d/></r>");
    xml.EnterElement();
    ASSERT_TRUE(xml.FindElement("d"));  // later offsets were shifted
    xml.LeaveElement();
    ASSERT_TRUE(xml.SetChildAttribute("q", "1"));
    EXPECT_EQ(xml.GetDocument().str(),
              "<r><c a=\"long value\" b=\"2\" n=\"3\" z=\"\"></c><d q=\"1\"/></r>");
}

TEST(XmlDocumentEdit, AddingNeedsACurrentElement) {
    CXmlDocument xml("<r/>");
    EXPECT_FALSE(xml.AddChildElement("c"));
    EXPECT_EQ(xml.GetDocument().str(), "<r/>");
}

TEST(XmlDocumentRobustness, DeepNestingNeitherRecursesNorFails) {
    const int depth = 200000;
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    CXmlDocument closed;
    EXPECT_TRUE(closed.SetDoc(open + close));
    int levels = 0;
    while (closed.FindElement("a") && closed.EnterElement())
        ++levels;
    EXPECT_EQ(levels, depth);

    // Never closed: every element is cut back and they all end up side by side.
    CXmlDocument unclosed;
    EXPECT_FALSE(unclosed.SetDoc(open));
    EXPECT_EQ(unclosed.GetResult().str(), "Root element has sibling");
    int count = 0;
    while (unclosed.FindElement("a"))
        ++count;
    EXPECT_EQ(count, depth);
}
