#include "TagPageModel.h"

#include <algorithm>
#include <cstring>

namespace {

// A byte of 0x81 to 0xFE starts a two-byte character.
bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

unsigned char FoldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Bytes of the character at `p`; a lead byte with nothing after it stands alone.
size_t CharLen(const unsigned char* p, const unsigned char* end) {
    return IsLeadByte(*p) && p + 1 < end ? 2 : 1;
}

bool IsBlank(const unsigned char* p, size_t n) {
    if (n == 2)
        return p[0] == 0xA1 && p[1] == 0xA1;  // the full-width space
    return *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f';
}

// Whether the character of the text at `t` is the (folded) character of a word at `w`.
bool SameChar(const unsigned char* t, size_t nt, const unsigned char* w, size_t nw) {
    if (nt != nw)
        return false;
    return nw == 2 ? t[0] == w[0] && t[1] == w[1] : FoldAscii(*t) == *w;
}

// Whether `text` holds `folded` at one of its character boundaries.
bool ContainsFolded(const unsigned char* t, size_t len, const std::string& folded) {
    const size_t n = folded.size();
    if (n == 0)
        return true;
    const auto* s = reinterpret_cast<const unsigned char*>(folded.data());
    const unsigned char* end = t + len;
    for (const unsigned char* at = t; at + n <= end; at += CharLen(at, end)) {
        // Both sides step a whole character at a time, so a match never starts or ends inside
        // a two-byte character of the text.
        const unsigned char *a = at, *k = s;
        while (k < s + n) {
            const size_t nk = CharLen(k, s + n), na = CharLen(a, end);
            if (!SameChar(a, na, k, nk))
                break;
            a += na;
            k += nk;
        }
        if (k >= s + n)
            return true;
    }
    return false;
}

// Whether the whole text matches the folded pattern, * standing for any run of characters and
// ? for one.
bool PatternMatches(const unsigned char* t, size_t len, const std::string& folded) {
    const auto* p = reinterpret_cast<const unsigned char*>(folded.data());
    const unsigned char *pe = p + folded.size(), *te = t + len;
    const unsigned char *starP = nullptr, *starT = nullptr;
    while (t < te) {
        if (p < pe && *p == '*') {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < pe) {
            const size_t np = CharLen(p, pe), nt = CharLen(t, te);
            if ((*p == '?' && np == 1) || SameChar(t, nt, p, np)) {
                p += np;
                t += nt;
                continue;
            }
        }
        if (!starP)
            return false;
        // The last * takes one more character of the text.
        starT += CharLen(starT, te);
        t = starT;
        p = starP;
    }
    while (p < pe && *p == '*')
        ++p;
    return p == pe;
}

}  // namespace

CTagSearch::CTagSearch(const char* pszSearch) {
    const auto* p = reinterpret_cast<const unsigned char*>(pszSearch ? pszSearch : "");
    const unsigned char* end = p + std::strlen(reinterpret_cast<const char*>(p));
    Word word;
    auto close = [&] {
        if (!word.folded.empty())
            m_words.push_back(word);
        word = Word();
    };
    while (p < end) {
        const size_t n = CharLen(p, end);
        if (IsBlank(p, n)) {
            close();
        } else if (n == 2) {
            word.folded.append(reinterpret_cast<const char*>(p), 2);
        } else {
            word.folded.push_back(static_cast<char>(FoldAscii(*p)));
            word.bPattern = word.bPattern || *p == '*' || *p == '?';
        }
        p += n;
    }
    close();
}

bool CTagSearch::WordIn(const Word& w, const char* pszText, size_t nLen) {
    const auto* t = reinterpret_cast<const unsigned char*>(pszText);
    return w.bPattern ? PatternMatches(t, nLen, w.folded) : ContainsFolded(t, nLen, w.folded);
}

bool CTagSearch::Matches(const CMemTag& tag) const {
    for (const Word& w : m_words)
        if (!WordIn(w, tag.strName.GetString(), static_cast<size_t>(tag.strName.GetLength())) &&
            !WordIn(w, tag.strDesc.GetString(), static_cast<size_t>(tag.strDesc.GetLength())))
            return false;
    return true;
}

bool CTagSearch::Matches(const char* pszText) const {
    const char* t = pszText ? pszText : "";
    const size_t n = std::strlen(t);
    return std::all_of(m_words.begin(), m_words.end(),
                       [&](const Word& w) { return WordIn(w, t, n); });
}

void CTagPageModel::Reindex() {
    m_strLastFound.Empty();
    m_nLastFound = -1;
    m_matches.clear();
    m_bMatchesValid = false;
}

int CTagPageModel::FindPos(const CString& strName) const {
    if (m_nLastFound >= 0 && m_nLastFound < m_arrTags.GetSize() && strName == m_strLastFound &&
        m_arrTags[m_nLastFound].strName == strName)
        return m_nLastFound;
    for (int i = m_arrTags.GetSize() - 1; i >= 0; --i)
        if (m_arrTags[i].strName == strName) {
            m_strLastFound = strName;
            m_nLastFound = i;
            return i;
        }
    return -1;
}

const CMemTag* CTagPageModel::Find(const CString& strName) const {
    const int nPos = FindPos(strName);
    return nPos < 0 ? nullptr : &m_arrTags[nPos];
}

bool CTagPageModel::Narrows(const TagPageFilter& last, const TagPageFilter& next) {
    const std::string& a = last.strSearch.str();
    // A plain word typed on is still in every text the longer word (even a pattern) matches.
    return last.bByArea == next.bByArea && last.nArea == next.nArea &&
           last.bByRegion == next.bByRegion && last.nRegion == next.nRegion &&
           last.nType == next.nType && last.nTrend == next.nTrend &&
           a.find_first_of("*?") == std::string::npos && next.strSearch.str().starts_with(a);
}

int CTagPageModel::Refilter(const TagPageFilter& filter) {
    const CTagSearch search(filter.strSearch);
    if (m_bMatchesValid && Narrows(m_lastFilter, filter)) {
        std::erase_if(m_matches, [&](int pos) { return !search.Matches(m_arrTags[pos]); });
    } else {
        const int nTags = m_arrTags.GetSize();
        m_matches.clear();
        for (int pos = 0; pos < nTags; ++pos) {
            const CMemTag& tag = m_arrTags[pos];
            if (PassesChoices(tag, filter) && search.Matches(tag))
                m_matches.push_back(pos);
        }
    }
    m_lastFilter = filter;
    m_bMatchesValid = true;
    m_mem.nPageNo = std::clamp(m_mem.nPageNo, 0, PageCount() - 1);
    return MatchCount();
}

int CTagPageModel::PageCount() const {
    return std::max(1, (MatchCount() + kRowsPerPage - 1) / kRowsPerPage);
}

bool CTagPageModel::IsMatch(int nPos) const {
    return std::binary_search(m_matches.begin(), m_matches.end(), nPos);
}

void CTagPageModel::Reopen() {
    m_nDirection = 1;
    m_mem.nPageNo = std::clamp(m_mem.nPageNo, 0, PageCount() - 1);
}

void CTagPageModel::Restart() {
    m_nDirection = 1;
    m_mem.nPageNo = 0;
}

bool CTagPageModel::ShowPageOf(int nPos) {
    auto it = std::lower_bound(m_matches.begin(), m_matches.end(), nPos);
    if (it == m_matches.end() || *it != nPos)
        return false;
    m_nDirection = 1;
    m_mem.nPageNo = static_cast<int>(it - m_matches.begin()) / kRowsPerPage;
    return true;
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

std::vector<int> CTagPageModel::PageRows() {
    const size_t first = static_cast<size_t>(m_mem.nPageNo) * kRowsPerPage;
    const size_t last = std::min(m_matches.size(), first + kRowsPerPage);
    std::vector<int> rows;
    if (first < last)
        rows.assign(m_matches.begin() + static_cast<std::ptrdiff_t>(first),
                    m_matches.begin() + static_cast<std::ptrdiff_t>(last));
    if (m_nDirection < 0)
        std::reverse(rows.begin(), rows.end());
    m_mem.nRowsShown = static_cast<int>(rows.size());
    return rows;
}

std::vector<int> CTagPageModel::WalkPage(const TagPageFilter& filter) {
    Refilter(filter);
    return PageRows();
}

bool CTagPageModel::Passes(const CMemTag& tag, const TagPageFilter& filter) {
    return PassesChoices(tag, filter) && CTagSearch(filter.strSearch).Matches(tag);
}

bool CTagPageModel::PassesChoices(const CMemTag& tag, const TagPageFilter& f) {
    if (f.bByArea && tag.nArea != f.nArea)
        return false;
    if (f.bByRegion && tag.nRegion != f.nRegion)
        return false;
    if (f.nType != kAllTypesCode && tag.nDataType != f.nType)
        return false;
    if (f.nTrend == 0 && tag.nTrend == 0)
        return false;
    if (f.nTrend == 1 && tag.nTrend == 1)
        return false;
    return true;
}

bool CTagPageModel::TextMatches(const char* pszText, const char* pszSearch) {
    return CTagSearch(pszSearch).Matches(pszText);
}
