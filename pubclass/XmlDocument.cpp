#include "XmlDocument.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>

#include "File.h"
#include "Gb2312.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsNameEnd(char c) {
    return IsSpace(c) || c == '/' || c == '>';
}
char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
bool NamesEqual(std::string_view a, std::string_view b, bool bNoCase) {
    if (a.size() != b.size())
        return false;
    if (!bNoCase)
        return a == b;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

// Byte scanner over the document text that steps over two-byte characters whole.
struct Scanner {
    const char* t;
    int n;

    int Next(int p) const {
        if (mlplat::IsGbLeadByte(static_cast<unsigned char>(t[p])) && p + 1 < n)
            return p + 2;
        return p + 1;
    }
    // First character position >= p holding `c`, or -1.
    int FindChar(int p, char c) const {
        for (; p < n; p = Next(p))
            if (t[p] == c)
                return p;
        return -1;
    }
    // First character position >= p where `pat` starts, or -1.
    int Find(int p, std::string_view pat) const {
        for (; p < n; p = Next(p))
            if (t[p] == pat[0] && n - p >= static_cast<int>(pat.size()) &&
                std::memcmp(t + p, pat.data(), pat.size()) == 0)
                return p;
        return -1;
    }
    // Position of the first '>' at or after p that is outside a quoted value, or -1.
    int FindTagEnd(int p) const {
        char quote = 0;
        for (; p < n; p = Next(p)) {
            char c = t[p];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return p;
            }
        }
        return -1;
    }
    // End (one past the '>') of a document-type declaration starting at p, or -1.
    int DoctypeEnd(int p) const {
        bool bSubset = false;
        char quote = 0;
        for (int q = p + 2; q < n;) {
            char c = t[q];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (!bSubset && (c == '"' || c == '\'')) {
                quote = c;
            } else if (c == '[') {
                bSubset = true;
            } else if (c == ']') {
                bSubset = false;
            } else if (c == '>' && !bSubset) {
                return q + 1;
            } else if (c == '<' && bSubset) {
                // A declaration, comment or processing instruction inside the internal subset.
                int e = (n - q >= 4 && std::memcmp(t + q, "<!--", 4) == 0) ? Find(q + 4, "-->")
                                                                           : FindTagEnd(q + 1);
                if (e < 0)
                    return -1;
                q = t[e] == '>' ? e + 1 : e + 3;
                continue;
            }
            q = Next(q);
        }
        return -1;
    }
};

// Tag names as hash keys, optionally without ASCII case.
struct NameHash {
    bool bNoCase;
    size_t operator()(std::string_view s) const {
        size_t h = 1469598103934665603ull;
        for (char c : s)
            h = (h ^ static_cast<unsigned char>(bNoCase ? LowerAscii(c) : c)) * 1099511628211ull;
        return h;
    }
};
struct NameEq {
    bool bNoCase;
    bool operator()(std::string_view a, std::string_view b) const {
        return NamesEqual(a, b, bNoCase);
    }
};

std::string Unterminated(const char* szWhat, int nOffset) {
    return std::string(szWhat) + " at offset " + std::to_string(nOffset) + " unterminated";
}
std::string Incorrect(const char* szWhat, int nOffset) {
    return std::string("Incorrect ") + szWhat + " at offset " + std::to_string(nOffset);
}

}  // namespace

CXmlDocument::CXmlDocument(const char* szDoc) {
    SetDoc(szDoc ? std::string_view(szDoc) : std::string_view());
}

bool CXmlDocument::SetDoc(std::string_view doc) {
    m_strDoc = CString(doc);
    m_strResult.Empty();
    Parse();
    return WellFormed();
}

bool CXmlDocument::LoadFile(const char* szPath, std::size_t nMaxBytes) {
    CFile file;
    std::string text;
    m_limitHit = Limit::kNone;
    if (!file.Open(szPath, CFile::modeRead) ||
        !file.ReadAll(text, std::min(nMaxBytes, kMaxDocBytes))) {
        if (errno == EFBIG)
            m_limitHit = Limit::kTooLarge;
        m_strResult = LastFileErrorText();
        m_strDoc.Empty();
        m_aPos.clear();
        m_bIndexed = false;
        m_iPos = m_iPosParent = m_iPosChild = 0;
        return false;
    }
    m_strDoc = CString(std::move(text));
    m_strResult.Format("%s%d bytes", "", m_strDoc.GetLength());
    Parse();
    return WellFormed();
}

bool CXmlDocument::WellFormed() const {
    if (!m_bIndexed || m_bIllFormed || m_aPos.empty())
        return false;
    int iRoot = m_aPos[0].iChild;
    return iRoot != 0 && m_aPos[iRoot].iNext == 0;
}

void CXmlDocument::Parse() {
    CString strKept = m_strResult;
    int n = m_strDoc.GetLength();
    m_aPos.clear();
    m_aPos.reserve(static_cast<size_t>(n) / 64 + 8);
    m_aPos.emplace_back();
    m_aPos[0].nLength = n;
    m_iPos = m_iPosParent = m_iPosChild = 0;
    m_bIllFormed = false;
    m_limitHit = Limit::kNone;
    m_strMessage.Empty();

    ParseElements();

    if (n == 0)
        m_strMessage = "Empty document";
    else if (m_aPos[0].iChild == 0)
        m_strMessage = "No root element";
    else if (m_aPos[m_aPos[0].iChild].iNext != 0)
        m_strMessage = "Root element has sibling";
    m_bIndexed = true;

    if (strKept.IsEmpty())
        m_strResult = m_strMessage;
    else if (m_strMessage.IsEmpty())
        m_strResult = strKept;
    else
        m_strResult = strKept + ", " + m_strMessage;
}

void CXmlDocument::Report(const char* szMsg) {
    m_bIllFormed = true;
    if (m_strMessage.IsEmpty())
        m_strMessage = szMsg;
}

void CXmlDocument::LinkLastChild(int iParent, int iElem) {
    ElemPos& parent = m_aPos[static_cast<size_t>(iParent)];
    ElemPos& elem = m_aPos[static_cast<size_t>(iElem)];
    elem.iParent = iParent;
    elem.iNext = 0;
    if (parent.iChild == 0) {
        parent.iChild = iElem;
        elem.iPrev = iElem;
        return;
    }
    ElemPos& first = m_aPos[static_cast<size_t>(parent.iChild)];
    int iLast = first.iPrev;
    m_aPos[static_cast<size_t>(iLast)].iNext = iElem;
    elem.iPrev = iLast;
    first.iPrev = iElem;
}

// Every element of stack[nFrom..] lost its end tag: it is cut back to its start tag and its
// children follow it as siblings, all of them children of iNewParent. Each of these elements is
// the last child of iNewParent when its turn comes, so its child chain is appended whole; every
// element changes parent at most once in a parse, which keeps the parse linear.
void CXmlDocument::CloseUnended(const std::vector<int>& stack, size_t nFrom, int iNewParent) {
    for (size_t k = nFrom; k < stack.size(); ++k) {
        ElemPos& x = m_aPos[static_cast<size_t>(stack[k])];
        x.nFlags |= EF_NOTENDED;
        x.nLength = x.nStartTagLen;
        x.nEndTagLen = 0;
        int iFirst = x.iChild;
        if (iFirst == 0)
            continue;
        x.iChild = 0;
        for (int c = iFirst; c != 0; c = m_aPos[static_cast<size_t>(c)].iNext)
            m_aPos[static_cast<size_t>(c)].iParent = iNewParent;
        int iLast = m_aPos[static_cast<size_t>(iFirst)].iPrev;
        ElemPos& head = m_aPos[static_cast<size_t>(m_aPos[static_cast<size_t>(iNewParent)].iChild)];
        int iOldLast = head.iPrev;
        m_aPos[static_cast<size_t>(iOldLast)].iNext = iFirst;
        m_aPos[static_cast<size_t>(iFirst)].iPrev = iOldLast;
        head.iPrev = iLast;
    }
}

// Open elements of a parse, innermost last, and their stack positions by tag name: an end tag
// finds the innermost open element of its name in one step however deep the nesting (no search
// down the stack).
struct CXmlDocument::OpenElements {
    explicit OpenElements(bool bNoCase) : byName(16, NameHash{bNoCase}, NameEq{bNoCase}) {}

    std::vector<int> stack;
    std::unordered_map<std::string_view, std::vector<size_t>, NameHash, NameEq> byName;
};

void CXmlDocument::ParseElements() {
    const Scanner sc{m_strDoc.GetString(), m_strDoc.GetLength()};
    OpenElements open(IgnoresCase());
    int p = 0;
    while (p >= 0 && p < sc.n) {
        if (sc.t[p] != '<') {
            while (p < sc.n && sc.t[p] != '<')
                p = sc.Next(p);
            continue;
        }
        if (p + 1 >= sc.n) {
            Report(Unterminated("tag", p).c_str());
            break;
        }
        const auto c = static_cast<unsigned char>(sc.t[p + 1]);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 128)
            p = ParseStartTag(open, p);
        else if (c == '/')
            p = ParseEndTag(open, p);
        else
            p = ParseMarkup(p);
    }

    if (!open.stack.empty()) {
        int iInner = open.stack.back();
        if (m_strMessage.IsEmpty())
            Report(("Element '" + std::string(TagName(iInner)) + "' at offset " +
                    std::to_string(m_aPos[static_cast<size_t>(iInner)].nStart) + " not ended")
                       .c_str());
        m_bIllFormed = true;
        CloseUnended(open.stack, 0, 0);
    }
}

int CXmlDocument::ParseStartTag(OpenElements& open, int start) {
    const Scanner sc{m_strDoc.GetString(), m_strDoc.GetLength()};
    const char* t = sc.t;
    int q = start + 1;
    while (q < sc.n && !IsNameEnd(t[q]))
        q = sc.Next(q);
    const int nNameEnd = q;
    // Find '>' outside quotes, remembering the two characters before it.
    char quote = 0;
    int nPrev = -1, nPrev2 = -1, nLastClose = -1;
    for (; q < sc.n; q = sc.Next(q)) {
        char ch = t[q];
        if (quote) {
            if (ch == quote) {
                quote = 0;
                nLastClose = q;
            }
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '>') {
            break;
        }
        nPrev2 = nPrev;
        nPrev = q;
    }
    if (q >= sc.n) {
        Report(Unterminated("Element tag", start).c_str());
        return -1;
    }
    if (m_nMaxDepth > 0 && open.stack.size() >= static_cast<size_t>(m_nMaxDepth)) {
        m_limitHit = Limit::kTooDeep;
        Report(("Element at offset " + std::to_string(start) + " nested deeper than " +
                std::to_string(m_nMaxDepth))
                   .c_str());
        return -1;
    }
    const int end = q + 1;
    bool bEmpty = nPrev == q - 1 && t[nPrev] == '/' &&
                  (nPrev == nNameEnd || (nPrev2 >= 0 && nPrev2 == nPrev - 1 &&
                                         (IsSpace(t[nPrev2]) || nPrev2 == nLastClose)));
    ElemPos rec;
    rec.nStart = start;
    rec.nLength = rec.nStartTagLen = end - start;
    rec.nFlags = bEmpty ? static_cast<unsigned>(EF_EMPTY) : 0u;
    int iElem = static_cast<int>(m_aPos.size());
    m_aPos.push_back(rec);
    LinkLastChild(open.stack.empty() ? 0 : open.stack.back(), iElem);
    if (!bEmpty) {
        open.byName[std::string_view(t + start + 1, static_cast<size_t>(nNameEnd - (start + 1)))]
            .push_back(open.stack.size());
        open.stack.push_back(iElem);
    }
    return end;
}

int CXmlDocument::ParseEndTag(OpenElements& open, int start) {
    const Scanner sc{m_strDoc.GetString(), m_strDoc.GetLength()};
    const char* t = sc.t;
    int q = sc.FindChar(start + 2, '>');
    if (q < 0) {
        Report(Unterminated("Element end tag", start).c_str());
        return -1;
    }
    const int end = q + 1;
    int e = start + 2;
    while (e < q && !IsSpace(t[e]))
        e = sc.Next(e);
    std::string_view name(t + start + 2, static_cast<size_t>(std::min(e, q) - (start + 2)));
    auto it = open.byName.find(name);
    size_t k = (it == open.byName.end() || it->second.empty()) ? 0 : it->second.back() + 1;
    if (k == 0) {
        if (m_strMessage.IsEmpty())
            Report(("No start tag for end tag '" + std::string(name) + "' at offset " +
                    std::to_string(start))
                       .c_str());
        m_bIllFormed = true;
        return end;
    }
    std::vector<int>& stack = open.stack;
    int iClosed = stack[k - 1];
    if (k != stack.size()) {
        int iInner = stack.back();
        if (m_strMessage.IsEmpty())
            Report(("End tag '" + std::string(name) + "' at offset " + std::to_string(start + 1) +
                    " does not match start tag '" + std::string(TagName(iInner)) + "' at offset " +
                    std::to_string(m_aPos[static_cast<size_t>(iInner)].nStart))
                       .c_str());
        m_bIllFormed = true;
        m_aPos[static_cast<size_t>(iClosed)].nFlags |= EF_ILLFORMED;
        CloseUnended(stack, k, iClosed);
    }
    ElemPos& x = m_aPos[static_cast<size_t>(iClosed)];
    x.nEndTagLen = end - start;
    x.nLength = end - x.nStart;
    while (stack.size() > k - 1) {
        open.byName[TagName(stack.back())].pop_back();
        stack.pop_back();
    }
    return end;
}

// Processing instructions, comments, CDATA sections and declarations: skipped whole; a character
// that cannot follow is reported and the token runs to the next '>'.
int CXmlDocument::ParseMarkup(int start) {
    const Scanner sc{m_strDoc.GetString(), m_strDoc.GetLength()};
    const char* t = sc.t;
    auto unterminated = [&](const char* szWhat) {
        Report(Unterminated(szWhat, start).c_str());
        return -1;
    };
    auto through = [&](int nFrom, std::string_view close, const char* szWhat) {
        const int q = sc.Find(nFrom, close);
        return q < 0 ? unterminated(szWhat) : q + static_cast<int>(close.size());
    };
    const char* szIncorrect = "! tag";
    if (t[start + 1] == '?')
        return through(start + 2, "?>", "Processing instruction");
    if (t[start + 1] != '!') {
        szIncorrect = "tag name character";
    } else if (start + 2 >= sc.n) {
        return unterminated("tag");
    } else if (const char c = t[start + 2]; c == '-') {
        if (start + 3 >= sc.n)
            return unterminated("Comment");
        if (t[start + 3] == '-')
            return through(start + 4, "-->", "Comment");
        szIncorrect = "comment tag";
    } else if (c == '[') {
        if (start + 3 >= sc.n)
            return unterminated("tag");
        if (t[start + 3] == 'C')
            return through(start + 4, "]]>", "CDATA Section");
        szIncorrect = "tag";
    } else if (c == 'D') {
        const int end = sc.DoctypeEnd(start);
        return end < 0 ? unterminated("Doctype") : end;
    } else if (c == 'E' || c == 'A' || c == 'N') {
        return through(start + 2, ">", "tag");
    }
    Report(Incorrect(szIncorrect, start).c_str());
    const int q = sc.FindChar(start + 1, '>');
    return q < 0 ? sc.n : q + 1;
}

std::string_view CXmlDocument::NameAt(int nOffset) const {
    const Scanner sc{m_strDoc.GetString(), m_strDoc.GetLength()};
    int q = nOffset;
    while (q < sc.n && !IsNameEnd(sc.t[q]))
        q = sc.Next(q);
    if (q > sc.n)
        q = sc.n;
    return std::string_view(sc.t + nOffset, static_cast<size_t>(q - nOffset));
}

std::string_view CXmlDocument::TagName(int iElem) const {
    if (iElem <= 0 || static_cast<size_t>(iElem) >= m_aPos.size())
        return {};
    return NameAt(m_aPos[static_cast<size_t>(iElem)].nStart + 1);
}

bool CXmlDocument::NameMatches(int iElem, const char* szName) const {
    if (!szName || !*szName)
        return true;
    const std::string_view tag = TagName(iElem);
    const std::string_view name(szName);
    return name.size() >= tag.size() &&
           NamesEqual(tag, name.substr(0, tag.size()), IgnoresCase()) &&
           (name.size() == tag.size() || std::strchr(" =/[]", name[tag.size()]) != nullptr);
}

bool CXmlDocument::FindElement(const char* szName) {
    if (!m_bIndexed)
        return false;
    int i = m_iPos ? m_aPos[static_cast<size_t>(m_iPos)].iNext
                   : m_aPos[static_cast<size_t>(m_iPosParent)].iChild;
    for (; i != 0; i = m_aPos[static_cast<size_t>(i)].iNext) {
        if (NameMatches(i, szName)) {
            m_iPos = i;
            m_iPosChild = 0;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::EnterElement() {
    if (m_iPos == 0)
        return false;
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    return true;
}

bool CXmlDocument::LeaveElement() {
    if (m_iPosParent == 0)
        return false;
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = m_aPos[static_cast<size_t>(m_iPos)].iParent;
    return true;
}

CString CXmlDocument::GetTagName() const {
    return m_iPos ? CString(TagName(m_iPos)) : CString();
}

// Walks the attributes of an element's start tag (never beyond it) and stops at the one named
// `name`, or at the nIndex-th one when nIndex >= 0.
bool CXmlDocument::FindAttrib(int iElem, std::string_view name, AttribPos* pFound,
                              int nIndex) const {
    if (iElem <= 0 || static_cast<size_t>(iElem) >= m_aPos.size())
        return false;
    const ElemPos& e = m_aPos[static_cast<size_t>(iElem)];
    const Scanner sc{m_strDoc.GetString(), m_strDoc.GetLength()};
    const char* t = sc.t;
    const int end = e.nStart + e.nStartTagLen - 1;  // the '>'
    int q = e.nStart + 1 + static_cast<int>(TagName(iElem).size());
    int nCount = 0;
    while (q < end) {
        if (IsSpace(t[q]) || t[q] == '/') {
            ++q;
            continue;
        }
        AttribPos a;
        a.nName = q;
        while (q < end && !IsSpace(t[q]) && t[q] != '=' && t[q] != '/' && t[q] != '"' &&
               t[q] != '\'')
            q = sc.Next(q);
        q = std::min(q, end);
        a.nNameLen = q - a.nName;
        int r = q;
        while (r < end && IsSpace(t[r]))
            ++r;
        if (r < end && (t[r] == '=' || a.nNameLen == 0)) {
            if (t[r] == '=')
                ++r;
            while (r < end && IsSpace(t[r]))
                ++r;
            a.nValue = r;
            if (r < end && (t[r] == '"' || t[r] == '\'')) {
                char quote = t[r];
                a.bQuoted = true;
                r = sc.Next(r);
                while (r < end && t[r] != quote)
                    r = sc.Next(r);
                if (r < end)
                    ++r;
            } else {
                while (r < end && !IsSpace(t[r]))
                    r = sc.Next(r);
            }
            r = std::min(r, end);
            a.nValueLen = r - a.nValue;
            q = r;
        }
        if (q == a.nName)  // a stray '=' or the like: step over it
            q = sc.Next(q);
        if (a.nNameLen == 0)
            continue;
        bool bHit = nIndex >= 0 ? nCount == nIndex
                                : NamesEqual(std::string_view(t + a.nName, a.nNameLen), name,
                                             IgnoresCase());
        ++nCount;
        if (bHit) {
            if (pFound)
                *pFound = a;
            return true;
        }
    }
    return false;
}

CString CXmlDocument::GetAttribute(const char* szAttrib) const {
    AttribPos a;
    if (m_iPos == 0 || !szAttrib || !FindAttrib(m_iPos, szAttrib, &a) || a.nValue < 0)
        return CString();
    std::string_view raw(m_strDoc.GetString() + a.nValue, static_cast<size_t>(a.nValueLen));
    if (a.bQuoted && !raw.empty()) {
        char quote = raw.front();
        raw.remove_prefix(1);
        if (!raw.empty() && raw.back() == quote)
            raw.remove_suffix(1);
    }
    return UnescapeText(raw);
}

CString CXmlDocument::GetAttributeName(int n) const {
    AttribPos a;
    if (m_iPos == 0 || n < 0 || !FindAttrib(m_iPos, {}, &a, n))
        return CString();
    return CString(std::string_view(m_strDoc.GetString() + a.nName, a.nNameLen));
}

// Text of nDelta bytes was inserted (or removed) at nPoint, inside iGrow: everything starting at
// or after the point moves, and iGrow with its ancestors and the document change length.
void CXmlDocument::ShiftAfter(int nPoint, int nDelta, int iGrow) {
    for (size_t i = 1; i < m_aPos.size(); ++i)
        if (m_aPos[i].nStart >= nPoint)
            m_aPos[i].nStart += nDelta;
    for (int i = iGrow; i != 0; i = m_aPos[static_cast<size_t>(i)].iParent)
        m_aPos[static_cast<size_t>(i)].nLength += nDelta;
    m_aPos[0].nLength += nDelta;
}

bool CXmlDocument::AddChildElement(const char* szName, const char* szValue) {
    if (m_iPos == 0 || !szName || !*szName)
        return false;
    const int iParent = m_iPos;
    std::string name(szName);
    std::string elem;
    ElemPos rec;
    if (szValue) {
        elem = "<" + name + ">" + EscapeText(szValue, false).str() + "</" + name + ">";
        rec.nStartTagLen = static_cast<int>(name.size()) + 2;
        rec.nEndTagLen = static_cast<int>(name.size()) + 3;
    } else {
        elem = "<" + name + "/>";
        rec.nStartTagLen = static_cast<int>(elem.size());
        rec.nFlags = EF_EMPTY;
    }
    rec.nLength = static_cast<int>(elem.size());
    elem += "\r\n";
    std::string doc = m_strDoc.str();
    const int n = static_cast<int>(doc.size());

    ElemPos& e = m_aPos[static_cast<size_t>(iParent)];
    if (m_iPosChild == 0 && (e.nFlags & EF_EMPTY)) {
        // Open the empty-element tag: its '/' becomes '>', the new line and an end tag.
        int nSlash = e.nStart + e.nStartTagLen - 2;
        std::string parentName(TagName(iParent));
        std::string ins = ">\r\n" + elem + "</" + parentName;
        doc.replace(static_cast<size_t>(nSlash), 1, ins);
        int nDelta = static_cast<int>(ins.size()) - 1;
        ShiftAfter(e.nStart + 1, nDelta, iParent);
        ElemPos& pe = m_aPos[static_cast<size_t>(iParent)];
        pe.nStartTagLen -= 1;
        pe.nEndTagLen = static_cast<int>(parentName.size()) + 3;
        pe.nFlags &= ~static_cast<unsigned>(EF_EMPTY);
        rec.nStart = nSlash + 3;
    } else {
        int p = m_iPosChild ? m_aPos[static_cast<size_t>(m_iPosChild)].nStart +
                                  m_aPos[static_cast<size_t>(m_iPosChild)].nLength
                            : e.nStart + e.nLength - e.nEndTagLen;
        int q = p;
        while (q < n && IsSpace(doc[static_cast<size_t>(q)]))
            ++q;
        if (q > p && (q == n || doc[static_cast<size_t>(q)] == '<'))
            p = q;
        doc.insert(static_cast<size_t>(p), elem);
        ShiftAfter(p, static_cast<int>(elem.size()), iParent);
        rec.nStart = p;
    }
    m_strDoc = CString(std::move(doc));

    int iNew = static_cast<int>(m_aPos.size());
    m_aPos.push_back(rec);
    if (m_iPosChild) {
        ElemPos& c = m_aPos[static_cast<size_t>(m_iPosChild)];
        ElemPos& ne = m_aPos[static_cast<size_t>(iNew)];
        ne.iParent = iParent;
        ne.iPrev = m_iPosChild;
        ne.iNext = c.iNext;
        if (c.iNext)
            m_aPos[static_cast<size_t>(c.iNext)].iPrev = iNew;
        else
            m_aPos[static_cast<size_t>(m_aPos[static_cast<size_t>(iParent)].iChild)].iPrev = iNew;
        c.iNext = iNew;
    } else {
        LinkLastChild(iParent, iNew);
    }
    m_iPosChild = iNew;
    return true;
}

bool CXmlDocument::SetChildAttribute(const char* szAttrib, const char* szValue) {
    if (m_iPosChild == 0 || !szAttrib || !*szAttrib)
        return false;
    const int i = m_iPosChild;
    std::string quoted = "\"" + EscapeText(szValue ? szValue : "", true).str() + "\"";
    std::string doc = m_strDoc.str();
    const ElemPos& e = m_aPos[static_cast<size_t>(i)];
    AttribPos a;
    int nDelta;
    if (FindAttrib(i, szAttrib, &a)) {
        if (a.nValue >= 0) {
            doc.replace(static_cast<size_t>(a.nValue), static_cast<size_t>(a.nValueLen), quoted);
            nDelta = static_cast<int>(quoted.size()) - a.nValueLen;
        } else {
            std::string ins(1, '=');
            ins += quoted;
            doc.insert(static_cast<size_t>(a.nName + a.nNameLen), ins);
            nDelta = static_cast<int>(ins.size());
        }
    } else {
        int nEnd = e.nStart + e.nStartTagLen - 1;
        if ((e.nFlags & EF_EMPTY) && doc[static_cast<size_t>(nEnd - 1)] == '/')
            --nEnd;
        std::string ins(1, ' ');
        ins += szAttrib;
        ins += '=';
        ins += quoted;
        doc.insert(static_cast<size_t>(nEnd), ins);
        nDelta = static_cast<int>(ins.size());
    }
    m_strDoc = CString(std::move(doc));
    ShiftAfter(m_aPos[static_cast<size_t>(i)].nStart + 1, nDelta, i);
    m_aPos[static_cast<size_t>(i)].nStartTagLen += nDelta;
    return true;
}

CString CXmlDocument::EscapeText(std::string_view text, bool bAttrib) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\'':
                out += bAttrib ? "&apos;" : "'";
                break;
            case '"':
                out += bAttrib ? "&quot;" : "\"";
                break;
            default:
                out += c;
        }
    }
    return CString(std::move(out));
}

CString CXmlDocument::UnescapeText(std::string_view text) {
    static constexpr struct {
        std::string_view ref;
        char ch;
    } kEntities[] = {
        {"&lt;", '<'}, {"&amp;", '&'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    std::string out;
    out.reserve(text.size());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != '&') {
            size_t w = (mlplat::IsGbLeadByte(c) && i + 1 < n) ? 2 : 1;
            out.append(text.substr(i, w));
            i += w;
            continue;
        }
        bool bDone = false;
        for (const auto& ent : kEntities) {
            if (text.substr(i, ent.ref.size()) == ent.ref) {
                out += ent.ch;
                i += ent.ref.size();
                bDone = true;
                break;
            }
        }
        if (bDone)
            continue;
        if (i + 1 < n && text[i + 1] == '#') {
            size_t j = i + 2;
            bool bHex = j < n && text[j] == 'x';
            if (bHex)
                ++j;
            size_t first = j;
            char32_t cp = 0;
            while (j < n && j - first < 7) {
                char d = text[j];
                int v = (d >= '0' && d <= '9')           ? d - '0'
                        : (bHex && d >= 'a' && d <= 'f') ? d - 'a' + 10
                        : (bHex && d >= 'A' && d <= 'F') ? d - 'A' + 10
                                                         : -1;
                if (v < 0)
                    break;
                cp = cp * (bHex ? 16 : 10) + static_cast<char32_t>(v);
                ++j;
            }
            std::string gb;
            if (j > first && j < n && text[j] == ';' && cp != 0 && cp <= 0x10FFFF &&
                mlplat::CodePointToGb(cp, gb)) {
                out += gb;
                i = j + 1;
                continue;
            }
        }
        out += '&';
        ++i;
    }
    return CString(std::move(out));
}
