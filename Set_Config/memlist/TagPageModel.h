// CTagPageModel: what the tag page shows, without its widgets. It keeps the tags read at one
// opening, filters them (area, region, data type, trend, and a search text found in a tag's name
// or description) and walks them 100 passing tags at a time, forwards or backwards, from a
// position kept in a TagPageMemory the caller owns, so the page can outlive the model. The walk
// gives the positions of the current page's tags in the order they are shown. No toolkit.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "Arrays.h"
#include "CString.h"
#include "TagRecords.h"

// The browser-wide remembered state of the tag page.
struct TagPageMemory {
    int nPageNo = 0;         // zero-based page shown
    int nForwardStart = 0;   // where the next forward walk starts
    int nBackwardStart = 0;  // where the next backward walk starts
    int nRowsShown = 0;
    int nAreaChoice = 0;
    int nRegionChoice = 0;
    int nTypeChoice = 4;     // all types
    int nTrendChoice = 2;    // all
    CString strSearch;       // the search field's text; empty keeps every tag
    CString strSelectedTag;  // first tag chosen at the last OK, or the name given to preselect
};

// The filter choices as the tag page's lists give them.
struct TagPageFilter {
    bool bByArea = false;
    int nArea = 0;  // area number, when bByArea
    bool bByRegion = false;
    int nRegion = 0;    // region number, when bByRegion (in whichever area)
    int nType = 5;      // data type code; 5 keeps every type
    int nTrend = 2;     // 0: only tags in the trend database, 1: only those not in it, 2: all
    CString strSearch;  // as typed; empty keeps every tag
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
    const CMemTag* Find(const CString& strName) const;

    // Resumes forwards at the remembered page, as a new opening does.
    void Reopen();
    // Forgets the position: the next walk shows the first page.
    void Restart();
    // One step back or on; false (and nothing changes) when there is no such page.
    bool StepBack();
    bool StepOn();
    bool CanStepBack() const { return m_mem.nPageNo != 0; }
    bool CanStepOn() const { return m_mem.nRowsShown >= kRowsPerPage; }

    // Walks from the kept position and keeps where the walk ended; returns the positions in
    // Tags() of the page's rows, in the order they are shown.
    std::vector<int> WalkPage(const TagPageFilter& filter);

    static bool Passes(const CMemTag& tag, const TagPageFilter& filter);
    // TRUE when `pszText` holds `pszSearch` starting at a character boundary, ASCII letters
    // compared without case and two-byte characters compared whole; an empty search is in
    // every text.
    static bool TextMatches(const char* pszText, const char* pszSearch);

private:
    static bool PassesFolded(const CMemTag& tag, const TagPageFilter& filter,
                             const CString& strFolded);

    TagPageMemory& m_mem;
    CArray<CMemTag, CMemTag&> m_arrTags;
    std::unordered_map<std::string, int> m_mapNameToTag;  // name -> position in m_arrTags
    int m_nDirection = 1;
};
