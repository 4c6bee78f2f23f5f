// CTagPageModel: what the tag page shows, without its widgets. It keeps the tags read at one
// opening, collects those that pass the filter (area, region, data type, trend, and search words
// found in a tag's name or description) and shows them 100 at a time, forwards or backwards,
// from a page number kept in a TagPageMemory the caller owns, so the page can outlive the model.
// A page gives the positions of its tags in the order they are shown. No toolkit.
#pragma once

#include <string>
#include <vector>

#include "Arrays.h"
#include "CString.h"
#include "TagRecords.h"

// "All types" on the tag page has two encodings: the filter's type code, one past the four data
// type codes, and the type list's line that gives it (the list holds the codes from 1 in order).
constexpr int kAllTypesCode = memtag::kTypeString + 1;
constexpr int kAllTypesChoice = kAllTypesCode - 1;

// The browser-wide remembered state of the tag page.
struct TagPageMemory {
    int nPageNo = 0;     // zero-based page shown
    int nRowsShown = 0;  // rows on that page
    int nAreaChoice = 0;
    int nRegionChoice = 0;
    int nTypeChoice = kAllTypesChoice;
    int nTrendChoice = 2;    // all
    CString strSearch;       // the search field's text; empty keeps every tag
    CString strSelectedTag;  // first tag chosen at the last OK, or the name given to preselect
};

// The filter choices as the tag page's lists give them.
struct TagPageFilter {
    bool bByArea = false;
    int nArea = 0;  // area number, when bByArea
    bool bByRegion = false;
    int nRegion = 0;            // region number, when bByRegion (in whichever area)
    int nType = kAllTypesCode;  // data type code; kAllTypesCode keeps every type
    int nTrend = 2;     // 0: only tags in the trend database, 1: only those not in it, 2: all
    CString strSearch;  // as typed; blank keeps every tag
};

// A search text as words, each of which a passing tag holds in its name or description. Words
// are separated by blanks, tabs or line breaks (so text pasted from a spreadsheet cell is one
// word). A plain word is found anywhere in the text; a word with * (any run of characters) or ?
// (one character) must match the whole text. ASCII letters compare without case; two-byte
// characters compare whole.
class CTagSearch {
public:
    explicit CTagSearch(const char* pszSearch);
    bool IsEmpty() const { return m_words.empty(); }
    bool Matches(const CMemTag& tag) const;
    bool Matches(const char* pszText) const;  // every word in the one text

private:
    struct Word {
        std::string folded;
        bool bPattern = false;
    };
    static bool WordIn(const Word& w, const char* pszText, size_t nLen);
    std::vector<Word> m_words;
};

class CTagPageModel {
public:
    static constexpr int kRowsPerPage = 100;

    explicit CTagPageModel(TagPageMemory& memory) : m_mem(memory) {}
    CTagPageModel(const CTagPageModel&) = delete;
    CTagPageModel& operator=(const CTagPageModel&) = delete;

    // The list the tags are read into; call Reindex after filling it.
    CArray<CMemTag, CMemTag&>& Tags() { return m_arrTags; }
    void Reindex();
    // The tag read under `strName` (a later tag of the same name wins); null when there is none.
    // Names are looked up a few times per opening, so they are searched, not indexed: an index
    // of a million names costs more than the opening itself.
    const CMemTag* Find(const CString& strName) const;
    // Its position in Tags(), or -1.
    int FindPos(const CString& strName) const;

    // Collects the tags that pass `filter`, in store order; the page number is kept within the
    // pages there are. Returns how many pass. A search typed on from the last one (the same
    // choices, the old text without wildcards leading the new) looks only at the tags the last
    // one passed.
    int Refilter(const TagPageFilter& filter);
    int MatchCount() const { return static_cast<int>(m_matches.size()); }
    // Pages for the tags that pass; an empty result still has its one empty page.
    int PageCount() const;
    // Whether the tag at `nPos` passed the last Refilter.
    bool IsMatch(int nPos) const;

    // Resumes forwards at the remembered page, as a new opening does.
    void Reopen();
    // Forgets the position: the page shown is the first.
    void Restart();
    // Shows, forwards, the page that holds the tag at `nPos`; false when it did not pass.
    bool ShowPageOf(int nPos);
    // One step back or on; false (and nothing changes) when there is no such page.
    bool StepBack();
    bool StepOn();
    bool CanStepBack() const { return m_mem.nPageNo > 0; }
    bool CanStepOn() const { return m_mem.nPageNo + 1 < PageCount(); }

    // The positions in Tags() of the current page's rows, in the order they are shown: store
    // order after a forward step, the reverse after a step back.
    std::vector<int> PageRows();
    // Refilter and PageRows in one.
    std::vector<int> WalkPage(const TagPageFilter& filter);

    static bool Passes(const CMemTag& tag, const TagPageFilter& filter);
    // TRUE when `pszText` holds every word of `pszSearch` (see CTagSearch); an empty search is
    // in every text.
    static bool TextMatches(const char* pszText, const char* pszSearch);

private:
    static bool PassesChoices(const CMemTag& tag, const TagPageFilter& filter);
    // Whether every tag that passes `next` passed `last`.
    static bool Narrows(const TagPageFilter& last, const TagPageFilter& next);

    TagPageMemory& m_mem;
    CArray<CMemTag, CMemTag&> m_arrTags;
    mutable CString m_strLastFound;  // the last name looked up and where it was
    mutable int m_nLastFound = -1;
    std::vector<int> m_matches;  // positions that pass, ascending
    TagPageFilter m_lastFilter;  // what m_matches was collected under
    bool m_bMatchesValid = false;
    int m_nDirection = 1;
};
