#include "TagPageModel.h"

#include <algorithm>

namespace {

// A byte of 0x81 to 0xFE starts a two-byte character.
bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

unsigned char FoldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The search text as ContainsFolded wants it: ASCII letters in lower case, two-byte characters
// untouched (their second byte may be an ASCII letter's code).
CString FoldSearch(const char* pszSearch) {
    std::string folded;
    const auto* p = reinterpret_cast<const unsigned char*>(pszSearch ? pszSearch : "");
    while (*p) {
        if (IsLeadByte(*p) && p[1]) {
            folded.push_back(static_cast<char>(*p++));
            folded.push_back(static_cast<char>(*p++));
        } else {
            folded.push_back(static_cast<char>(FoldAscii(*p++)));
        }
    }
    return CString(folded);
}

// Whether `text` holds `folded` at one of its character boundaries.
bool ContainsFolded(const CString& strText, const CString& strFolded) {
    const size_t n = static_cast<size_t>(strFolded.GetLength());
    const size_t len = static_cast<size_t>(strText.GetLength());
    if (n == 0)
        return true;
    const auto* t = reinterpret_cast<const unsigned char*>(strText.GetString());
    const auto* s = reinterpret_cast<const unsigned char*>(strFolded.GetString());
    for (size_t i = 0; i + n <= len;) {
        // Both sides step a whole character at a time, so a match never starts or ends inside
        // a two-byte character of the text.
        size_t k = 0;
        while (k < n) {
            if (IsLeadByte(s[k])) {
                if (t[i + k] != s[k] || (k + 1 < n && t[i + k + 1] != s[k + 1]))
                    break;
                k += 2;
            } else {
                if (FoldAscii(t[i + k]) != s[k])
                    break;
                ++k;
            }
        }
        if (k >= n)
            return true;
        i += IsLeadByte(t[i]) && i + 1 < len ? 2 : 1;
    }
    return false;
}

}  // namespace

void CTagPageModel::Reindex() {
    m_mapNameToTag.clear();
    m_mapNameToTag.reserve(static_cast<size_t>(std::max(m_arrTags.GetSize(), 17)));
    for (int i = 0; i < m_arrTags.GetSize(); ++i)
        m_mapNameToTag[m_arrTags[i].strName.str()] = i;
}

const CMemTag* CTagPageModel::Find(const CString& strName) const {
    auto it = m_mapNameToTag.find(strName.str());
    return it == m_mapNameToTag.end() ? nullptr : &m_arrTags[it->second];
}

void CTagPageModel::Reopen() {
    m_nDirection = 1;
    m_mem.nForwardStart = m_mem.nPageNo * kRowsPerPage;
    m_mem.nBackwardStart = m_mem.nForwardStart - 1;
}

void CTagPageModel::Restart() {
    m_nDirection = 1;
    m_mem.nPageNo = 0;
    m_mem.nForwardStart = 0;
}

bool CTagPageModel::StepBack() {
    if (!CanStepBack())
        return false;
    m_nDirection = -1;
    m_mem.nPageNo--;
    return true;
}

bool CTagPageModel::StepOn() {
    if (!CanStepOn())
        return false;
    m_nDirection = 1;
    m_mem.nPageNo++;
    return true;
}

std::vector<int> CTagPageModel::WalkPage(const TagPageFilter& filter) {
    const CString strFolded = FoldSearch(filter.strSearch);
    int pos;
    if (m_nDirection == 1) {
        pos = m_mem.nForwardStart;
        m_mem.nBackwardStart = m_mem.nForwardStart - 1;
    } else {
        pos = m_mem.nBackwardStart;
        m_mem.nForwardStart = m_mem.nBackwardStart + 1;
    }
    const int nTags = m_arrTags.GetSize();
    std::vector<int> rows;
    while (pos >= 0 && pos < nTags && static_cast<int>(rows.size()) < kRowsPerPage) {
        if (PassesFolded(m_arrTags[pos], filter, strFolded))
            rows.push_back(pos);
        pos += m_nDirection;
    }
    if (m_nDirection == 1)
        m_mem.nForwardStart = pos;
    else
        m_mem.nBackwardStart = pos;
    m_mem.nRowsShown = static_cast<int>(rows.size());
    return rows;
}

bool CTagPageModel::Passes(const CMemTag& tag, const TagPageFilter& filter) {
    return PassesFolded(tag, filter, FoldSearch(filter.strSearch));
}

bool CTagPageModel::PassesFolded(const CMemTag& tag, const TagPageFilter& f,
                                 const CString& strFolded) {
    if (f.bByArea && tag.nArea != f.nArea)
        return false;
    if (f.bByRegion && tag.nRegion != f.nRegion)
        return false;
    if (f.nType != 5 && tag.nDataType != f.nType)
        return false;
    if (f.nTrend == 0 && tag.nTrend == 0)
        return false;
    if (f.nTrend == 1 && tag.nTrend == 1)
        return false;
    return strFolded.IsEmpty() || ContainsFolded(tag.strName, strFolded) ||
           ContainsFolded(tag.strDesc, strFolded);
}

bool CTagPageModel::TextMatches(const char* pszText, const char* pszSearch) {
    return ContainsFolded(CString(pszText ? pszText : ""), FoldSearch(pszSearch));
}
