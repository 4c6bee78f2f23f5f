// CXmlDocument: one XML document kept as a single text plus an index of its elements.
//
// The parser is tolerant: any bytes at all give an index (never a crash, never a read past the
// text), in time linear in the text's length and without recursion, so deep nesting cannot
// overflow the stack. The first problem met is kept as a message in the result text and the
// document is marked not well formed; later problems are not reported.
//
// Texts are GB2312 byte strings: every scan steps over a two-byte character (lead byte
// 0x81..0xFE) whole, so its second byte is never taken for markup. A lead byte in the last
// position stands alone.
//
// Walking: a current position of three element numbers (parent, current element, current child;
// 0 = none, and 0 as parent stands for the document itself). Editing (AddChildElement,
// SetChildAttribute) rewrites the text in place and shifts the index.
//
// Choices where the format leaves room: the text ending right after "<", "<!" or "<![" reports
// "tag at offset N unterminated", after "<!-" "Comment at offset N unterminated"; an unterminated
// start tag creates no element; an element still open at the end of the text is reported by the
// innermost one. Not thread-safe: one object, one thread at a time. Copying is allowed.
#pragma once

#include <climits>
#include <cstddef>
#include <string_view>
#include <vector>

#include "CString.h"

class CXmlDocument {
public:
    // Document flag: tag and attribute names compare ignoring ASCII case.
    static constexpr int MDF_IGNORECASE = 8;
    // Offsets in the index are int.
    static constexpr std::size_t kMaxDocBytes = INT_MAX - 1;

    // Sets the text (null gives an empty text), clears the result text and parses.
    explicit CXmlDocument(const char* szDoc = nullptr);

    // Replaces the text with `doc` (any bytes, NULs included), clears the result text and
    // parses. Returns WellFormed().
    bool SetDoc(std::string_view doc);
    // Reads the whole file as bytes and parses it. The result text is "<n> bytes" (followed by
    // ", " and the first parse message), or the system's error text when the file cannot be
    // read. A file of more than nMaxBytes is not read (LimitHit gives kTooLarge). True when the
    // document is well formed.
    bool LoadFile(const char* szPath, std::size_t nMaxBytes = kMaxDocBytes);
    // Elements nested deeper than nDepth (0: no bound) end the parse there: the document is not
    // well formed and LimitHit gives kTooDeep. Applies to the parses that follow.
    void SetMaxDepth(int nDepth) { m_nMaxDepth = nDepth; }
    enum class Limit { kNone, kTooLarge, kTooDeep };
    // Which bound, if any, cut the last load or parse short.
    Limit LimitHit() const { return m_limitHit; }
    // A parse built an index, nothing was found wrong, there is a root element and it has no
    // sibling element.
    bool WellFormed() const;

    // Moves the current element to the next sibling element named `szName` (null or empty: any
    // element). The name may continue after the tag name with ' ', '=', '/', '[' or ']'.
    bool FindElement(const char* szName = nullptr);
    bool EnterElement();
    bool LeaveElement();
    // Value of an attribute of the current element, entity and character references decoded;
    // empty when there is no current element or no such attribute.
    CString GetAttribute(const char* szAttrib) const;
    // Name of the `n`th attribute (from 0) of the current element; empty past the last one.
    CString GetAttributeName(int n) const;
    // Tag name of the current element; empty when there is none.
    CString GetTagName() const;

    // Adds a child to the current element after the current child (or as the last child) and
    // makes it the current child. False when there is no current element.
    bool AddChildElement(const char* szName, const char* szValue = nullptr);
    // Sets (replaces or appends) an attribute of the current child. False when there is none.
    bool SetChildAttribute(const char* szAttrib, const char* szValue);

    const CString& GetDocument() const { return m_strDoc; }
    const CString& GetResult() const { return m_strResult; }
    int GetDocFlags() const { return m_nDocFlags; }
    void SetDocFlags(int nFlags) { m_nDocFlags = nFlags; }

    // Escapes '<', '&', '>' (and in attribute values also '\'' and '"') as entities.
    static CString EscapeText(std::string_view text, bool bAttrib);
    // Decodes the five entities and numeric character references (into GB2312); anything that
    // does not decode stays as it is.
    static CString UnescapeText(std::string_view text);

private:
    enum ElemFlags : unsigned {
        EF_EMPTY = 1,      // written as an empty-element tag
        EF_NOTENDED = 2,   // end tag missing: cut back to its start tag
        EF_ILLFORMED = 4,  // closed by an end tag that skipped inner elements
    };
    struct ElemPos {
        int nStart = 0;        // offset of '<'
        int nLength = 0;       // whole element, end tag included
        int nStartTagLen = 0;  // including '>'
        int nEndTagLen = 0;    // 0 for an empty-element tag or a not-ended element
        unsigned nFlags = 0;
        int iParent = 0;
        int iChild = 0;  // first child
        int iNext = 0;   // next sibling, 0 after the last
        int iPrev = 0;   // previous sibling; the first child's is the last child
    };
    struct AttribPos {
        int nName = 0, nNameLen = 0;
        int nValue = -1, nValueLen = 0;  // raw value, quotes included; nValue -1: no value
        bool bQuoted = false;
    };

    struct OpenElements;

    void Parse();
    void ParseElements();
    // Each takes the token at `start` (its '<') and gives the offset after it, or -1 when the
    // text ends inside it.
    int ParseStartTag(OpenElements& open, int start);
    int ParseEndTag(OpenElements& open, int start);
    int ParseMarkup(int start);
    void Report(const char* szMsg);
    void LinkLastChild(int iParent, int iElem);
    void CloseUnended(const std::vector<int>& stack, size_t nFrom, int iNewParent);
    std::string_view NameAt(int nOffset) const;
    std::string_view TagName(int iElem) const;
    bool IgnoresCase() const { return (m_nDocFlags & MDF_IGNORECASE) != 0; }
    bool NameMatches(int iElem, const char* szName) const;
    bool FindAttrib(int iElem, std::string_view name, AttribPos* pFound, int nIndex = -1) const;
    void ShiftAfter(int nPoint, int nDelta, int iGrow);

    CString m_strDoc;
    CString m_strResult;
    CString m_strMessage;         // first problem of the last parse
    std::vector<ElemPos> m_aPos;  // [0] is the document
    bool m_bIndexed = false;
    bool m_bIllFormed = false;
    int m_iPosParent = 0;
    int m_iPos = 0;
    int m_iPosChild = 0;
    int m_nDocFlags = 0;
    int m_nMaxDepth = 0;
    Limit m_limitHit = Limit::kNone;
};
