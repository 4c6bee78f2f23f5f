// The tag page's walk and filter without a dialog: pages of 100 passing tags in either direction,
// each filter choice, and the search text's matching.
#include "TagPageModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BrowserTestSupport.h"

using namespace mltest;

namespace {

class TagPageModelTest : public ::testing::Test {
protected:
    void AddPlainTags(int n) {
        for (int i = 0; i < n; ++i) {
            CMemTag t = MakeTag(Name(i), 1 + i % 4);
            model.Tags().Add(t);
        }
        model.Reindex();
    }
    void AddTags(std::vector<CMemTag> tags) {
        for (CMemTag& t : tags)
            model.Tags().Add(t);
        model.Reindex();
    }
    // The names on the page the walk reaches under `filter`, in the order shown.
    std::vector<std::string> Walk(const TagPageFilter& filter = {}) {
        std::vector<std::string> names;
        for (int pos : model.WalkPage(filter))
            names.push_back(model.Tags()[pos].strName.str());
        return names;
    }

    TagPageMemory memory;
    CTagPageModel model{memory};
};

TEST_F(TagPageModelTest, WalksForwardAndBackInPagesOfAHundredAndRefusesStepsPastTheEnds) {
    AddPlainTags(250);
    model.Reopen();
    EXPECT_EQ(Walk(), Names(0, 99));
    EXPECT_FALSE(model.CanStepBack());
    EXPECT_FALSE(model.StepBack());
    ASSERT_TRUE(model.StepOn());
    EXPECT_EQ(Walk(), Names(100, 199));
    ASSERT_TRUE(model.StepOn());
    EXPECT_EQ(Walk(), Names(200, 249));
    EXPECT_EQ(memory.nPageNo, 2);
    EXPECT_FALSE(model.CanStepOn());
    EXPECT_FALSE(model.StepOn());
    EXPECT_EQ(memory.nPageNo, 2);

    ASSERT_TRUE(model.StepBack());
    EXPECT_EQ(Walk(), Names(199, 100));  // a backward walk lists from its start downwards
    ASSERT_TRUE(model.StepBack());
    EXPECT_EQ(Walk(), Names(99, 0));
    ASSERT_TRUE(model.StepOn());
    EXPECT_EQ(Walk(), Names(100, 199));
}

TEST_F(TagPageModelTest, AFullLastPageIsTheLast) {
    AddPlainTags(100);
    model.Reopen();
    EXPECT_EQ(Walk().size(), 100u);
    EXPECT_FALSE(model.CanStepOn());
    EXPECT_FALSE(model.StepOn());
    EXPECT_EQ(model.PageCount(), 1);
}

TEST_F(TagPageModelTest, AReopenedPageIsCountedInPassingTagsAndKeptWithinThem) {
    AddPlainTags(1000);
    TagPageFilter booleans;
    booleans.nType = 1;  // every fourth tag: 250 pass
    memory.nPageNo = 2;
    EXPECT_EQ(model.Refilter(booleans), 250);
    model.Reopen();
    std::vector<std::string> third = Walk(booleans);
    ASSERT_EQ(third.size(), 50u);
    EXPECT_EQ(third.front(), Name(800));
    memory.nPageNo = 7;  // beyond the three pages there are: the last one
    model.Reopen();
    EXPECT_EQ(Walk(booleans).front(), Name(800));
    EXPECT_EQ(memory.nPageNo, 2);
    ASSERT_TRUE(model.ShowPageOf(404));
    EXPECT_EQ(memory.nPageNo, 1);
    EXPECT_FALSE(model.ShowPageOf(405));  // not a boolean tag
}

TEST_F(TagPageModelTest, PagesCountPassingTagsOnly) {
    AddPlainTags(500);
    TagPageFilter booleans;
    booleans.nType = 1;  // every fourth tag
    model.Reopen();
    EXPECT_EQ(Walk(booleans).back(), Name(396));
    ASSERT_TRUE(model.StepOn());
    EXPECT_EQ(Walk(booleans).front(), Name(400));
    ASSERT_TRUE(model.StepBack());
    EXPECT_EQ(Walk(booleans).front(), Name(396));
}

TEST_F(TagPageModelTest, RestartAndReopenGoBackToTheirPages) {
    AddPlainTags(250);
    model.Reopen();
    Walk();
    model.StepOn();
    Walk();
    model.StepOn();
    Walk();
    model.StepBack();
    Walk();
    model.Reopen();  // page two again, forwards from its first tag
    EXPECT_EQ(Walk(), Names(100, 199));
    model.Restart();
    EXPECT_EQ(Walk(), Names(0, 99));
    EXPECT_EQ(memory.nPageNo, 0);
}

TEST_F(TagPageModelTest, EachChoiceFilters) {
    AddTags({MakeTag("a10r1", 1, 10, 1, 1), MakeTag("a10r2", 2, 10, 2, 0),
             MakeTag("a20r1", 2, 20, 1, 2), MakeTag("a20r3", 3, 20, 3, 1),
             MakeTag("a30r1", 4, 30, 1, 0)});
    using V = std::vector<std::string>;
    // A filter change shows its first page.
    auto First = [this](const TagPageFilter& filter) {
        model.Restart();
        return Walk(filter);
    };
    TagPageFilter f;
    f.bByArea = true;
    f.nArea = 20;
    EXPECT_EQ(First(f), (V{"a20r1", "a20r3"}));
    f = {};
    f.bByRegion = true;
    f.nRegion = 1;
    EXPECT_EQ(First(f), (V{"a10r1", "a20r1", "a30r1"}));
    f = {};
    f.nType = 2;
    EXPECT_EQ(First(f), (V{"a10r2", "a20r1"}));
    f = {};
    f.nTrend = 0;  // in the trend database: any nonzero flag
    EXPECT_EQ(First(f), (V{"a10r1", "a20r1", "a20r3"}));
    f.nTrend = 1;  // not in it: every flag but 1
    EXPECT_EQ(First(f), (V{"a10r2", "a20r1", "a30r1"}));
    f = {};
    f.strSearch = "DA2";  // in the description, whatever the case
    EXPECT_EQ(First(f), (V{"a20r1", "a20r3"}));
}

TEST_F(TagPageModelTest, ASearchTypedOnFindsWhatAFreshSearchFinds) {
    AddPlainTags(300);
    model.Tags()[7].strDesc = "x T12";
    TagPageMemory freshMemory;
    CTagPageModel fresh{freshMemory};
    for (int i = 0; i < model.Tags().GetSize(); ++i)
        fresh.Tags().Add(model.Tags()[i]);
    fresh.Reindex();
    TagPageFilter f;
    for (const char* typed :
         {"", "t", "t1", "t12", "t1", "t12 ", "t12 x", "t1*", "t1*2", "t1?", "t1??", "t1", "t"}) {
        f.strSearch = typed;
        f.nType =
            std::string(typed) == "t12 " ? 2 : kAllTypesCode;  // a choice change between keystrokes
        fresh.Reindex();
        EXPECT_EQ(model.Refilter(f), fresh.Refilter(f)) << typed;
        model.Restart();
        fresh.Restart();
        EXPECT_EQ(model.PageRows(), fresh.PageRows()) << typed;
    }
}

TEST_F(TagPageModelTest, FindGivesTheLaterTagOfANameTwiceRead) {
    AddTags({MakeTag("x", 1), MakeTag("x", 3)});
    ASSERT_NE(model.Find(CString("x")), nullptr);
    EXPECT_EQ(model.Find(CString("x"))->nDataType, 3);
    EXPECT_EQ(model.Find(CString("y")), nullptr);
}

TEST(TagSearchText, WordsMustAllMatchAndWildcardsMatchTheWholeText) {
    EXPECT_TRUE(CTagPageModel::TextMatches("FIC101.PV", "fic pv"));
    EXPECT_FALSE(CTagPageModel::TextMatches("FIC101.PV", "fic sv"));
    EXPECT_TRUE(CTagPageModel::TextMatches("FIC101.PV", "fic*"));
    EXPECT_FALSE(CTagPageModel::TextMatches("XFIC101.PV", "fic*"));  // a pattern is anchored
    EXPECT_TRUE(CTagPageModel::TextMatches("XFIC101.PV", "*fic*"));
    EXPECT_TRUE(CTagPageModel::TextMatches("FIC101.PV", "FIC1?1.*"));
    EXPECT_FALSE(CTagPageModel::TextMatches("FIC11.PV", "FIC1?1.*"));
    EXPECT_TRUE(CTagPageModel::TextMatches("FIC101.PV", "*.pv"));
    EXPECT_TRUE(CTagPageModel::TextMatches("ab", "a**b*"));
    // ? is one character, two bytes of a Chinese one.
    EXPECT_TRUE(CTagPageModel::TextMatches(Gb("1号泵").c_str(), "1??"));
    EXPECT_FALSE(CTagPageModel::TextMatches(Gb("1号泵").c_str(), "1???"));
    // Blanks, tabs and line breaks around or between words are separators only.
    EXPECT_TRUE(CTagPageModel::TextMatches("LIC101", "LIC101\t\r\n"));
    EXPECT_TRUE(CTagPageModel::TextMatches("LIC101", " \r\n "));
    EXPECT_TRUE(CTagPageModel::TextMatches("LIC101", Gb("LIC　101").c_str()));  // full-width
}

TEST_F(TagPageModelTest, EveryWordIsFoundInTheNameOrTheDescription) {
    CMemTag pump = MakeTag("P101", 1);
    pump.strDesc = Gb("1号泵 出口压力");
    AddTags({pump, MakeTag("P102", 1)});
    TagPageFilter f;
    f.strSearch = Gb("p1* 泵");  // one word in the name, one in the description
    EXPECT_EQ(Walk(f), std::vector<std::string>{"P101"});
    f.strSearch = "p10";
    EXPECT_EQ(Walk(f), (std::vector<std::string>{"P101", "P102"}));
}

TEST(TagSearchText, MatchesWholeCharactersOnlyAndAsciiLettersWithoutCase) {
    EXPECT_TRUE(CTagPageModel::TextMatches("FIC101.PV", "ic10"));
    EXPECT_TRUE(CTagPageModel::TextMatches(Gb("1号泵PUMP").c_str(), Gb("泵p").c_str()));
    EXPECT_TRUE(CTagPageModel::TextMatches("x", ""));
    EXPECT_FALSE(CTagPageModel::TextMatches("", "x"));
    // 泵阀 is B1C3 B7A7; C3B7 is 梅, which must not be found across the two characters.
    EXPECT_FALSE(CTagPageModel::TextMatches(Gb("泵阀").c_str(), Gb("梅").c_str()));
    EXPECT_TRUE(CTagPageModel::TextMatches(Gb("泵阀").c_str(), Gb("阀").c_str()));
    // A second byte in the ASCII range is part of its character, never a letter of its own,
    // and two-byte characters are compared as they are.
    EXPECT_FALSE(CTagPageModel::TextMatches("\x81\x41", "a"));
    EXPECT_FALSE(CTagPageModel::TextMatches("\x81\x41", "A"));
    EXPECT_FALSE(CTagPageModel::TextMatches("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(CTagPageModel::TextMatches("x\x81\x41y", "\x81\x41Y"));
}

}  // namespace
