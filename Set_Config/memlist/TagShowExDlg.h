// CTagShowExDlg: the tag page of the browser. It reads the areas, regions and every tag through
// the sheet once per opening, then filters (area, region, data type, trend, and the search text
// typed in the search field, found in a tag's name or description) and pages through its own
// copy 100 rows at a time, forwards or backwards. Filter choices, the search text, the page
// position and the selected tag name are remembered for the life of the library, so a browser
// opened again shows the same choices and page. The selected tag's row is made current and
// scrolled into view. At OK it keeps the names of the selected rows for the sheet.
#pragma once

#include <string>
#include <unordered_map>

#include "Arrays.h"
#include "CString.h"
#include "PropertySheet.h"
#include "SortListCtrl.h"
#include "TagRecords.h"

class CMemTagShowSheet;

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

class CTagShowExDlg : public CPropertyPage {
public:
    enum {
        IDD = 7008,
        IDC_TAG_LIST = 1003,
        IDC_AREA = 7004,
        IDC_REGION = 1004,
        IDC_TYPE = 1002,
        IDC_TREND = 1005,
        IDC_PREV_PAGE = 7005,
        IDC_NEXT_PAGE = 7006,
        IDC_PAGE_NO = 7008,
        IDC_ROW_COUNT = 7007,
        IDC_SEARCH = 7009,
    };
    static constexpr int kRowsPerPage = 100;

    CTagShowExDlg();
    ~CTagShowExDlg() override;

    // Stores the data source to ask for; TRUE only for 0, 1 or 2.
    BOOL SetShowDataFrom(int nSource);
    int GetShowDataFrom() const { return m_nDataSource; }
    static TagPageMemory& Remembered();

    // Tag names of the rows selected at the last OK, top row first.
    const CStringArray& GetChosenNames() const { return m_arrChosen; }
    // The tag read at the last opening under `strName`; FALSE when there is none.
    BOOL LookupTag(const CString& strName, CMemTag& tag) const;

    // TRUE when `pszText` holds `pszSearch` starting at a character boundary, ASCII letters
    // compared without case and two-byte characters compared whole; an empty search is in
    // every text.
    static BOOL TextMatches(const char* pszText, const char* pszSearch);

    static const char* TagTypeText(int nCode);
    static const char* TrendFilterText(int nIndex);

    CMemTagShowSheet* m_pSheet = nullptr;

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnSetActive() override;

    // The page walk: refills the list from the remembered position (bKeepPosition) or from the
    // first tag.
    void FillTagPage(BOOL bKeepPosition);
    void OnPrevPage();
    void OnNextPage();

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    struct Filter {
        int a, r, t, w;
        DWORD d;
        CString strSearch;  // folded for matching
    };
    Filter ReadFilter() const;
    bool Passes(const CMemTag& tag, const Filter& f) const;
    void FillRegionList(int nAreaChoice);
    // Appends the row; TRUE when it is the selected tag's row, which is marked selected.
    bool AddTagRow(int nRow, const CMemTag& tag);
    void OnAreaChange();
    void OnRegionChange();
    void OnTypeChange();
    void OnTrendChange();
    void OnSearchChange();

    CSortListCtrl m_list;
    CComboBox m_areaList, m_regionList, m_typeList, m_trendList;
    CButton m_prevButton, m_nextButton;
    CEdit m_searchEdit;
    int m_nDataSource = 0;
    CStringArray m_arrChosen;
    std::unordered_map<std::string, int> m_mapNameToTag;  // name -> position in m_arrTags
    CDWordArray m_arrAreaID;
    CStringArray m_arrAreaName, m_arrAreaDesc;
    CDWordArray m_arrRegionID, m_arrRegionAreaID;
    CStringArray m_arrRegionName, m_arrRegionDesc;
    CArray<CMemTag, CMemTag&> m_arrTags;
    int m_nDirection = 1;
};
