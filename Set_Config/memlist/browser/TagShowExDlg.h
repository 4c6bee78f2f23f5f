// CTagShowExDlg: the tag page of the browser. It reads the areas, regions and every tag through
// the sheet once per opening and shows the page of its CTagPageModel under the choices of its
// lists and the text of its search field, with the number of tags that pass. Filter choices,
// the search text, the page number and the selected tag name are remembered for the life of the
// library, so a browser opened again shows the same choices and page, or the page that holds the
// selected tag (its row current and in view). Picks are kept while the user pages, until OK,
// which keeps their names for the sheet; Ctrl+C copies them.
#pragma once

#include <set>

#include "Arrays.h"
#include "CString.h"
#include "PageHost.h"
#include "PropertySheet.h"
#include "SortListCtrl.h"
#include "TagPageModel.h"
#include "TagRecords.h"

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
        IDC_TOTAL = 7010,
    };
    static constexpr int kRowsPerPage = CTagPageModel::kRowsPerPage;

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

    static const char* TagTypeText(int nCode);
    static const char* TrendFilterText(int nIndex);

    IPageHost* m_pHost = nullptr;

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnSetActive() override;

    // Collects the tags that pass the lists' choices and the search and shows the remembered
    // page (bKeepPosition) or the first.
    void FillTagPage(BOOL bKeepPosition);
    void OnPrevPage();
    void OnNextPage();

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    TagPageFilter ReadFilter() const;
    void FillRegionList(int nAreaChoice);
    // Sets the lists and the search field to the remembered choices.
    void ShowChoices();
    // Shows the model's current page, its picks selected, from its first row or, when it is on
    // the page, from the row of the tag at `nShowPos`.
    void ShowPage(int nShowPos = -1);
    int AddTagRow(int nRow, const CMemTag& tag);
    // The number of tags that pass, and of the picks when there are any.
    void ShowTotal();
    // Takes the page's selection into the picks.
    void KeepPicks();
    // The picked names: the page's selected rows from the top down, then picks kept from other
    // pages in list order.
    CStringArray PickedNames();
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
    std::set<int> m_picks;        // positions in the model's tags
    std::vector<int> m_pageRows;  // positions of the page's rows, ascending
    bool m_bFilling = false;      // the list is being refilled
    CStringArray m_arrChosen;
    CDWordArray m_arrAreaID;
    CStringArray m_arrAreaName, m_arrAreaDesc;
    CDWordArray m_arrRegionID, m_arrRegionAreaID;
    CStringArray m_arrRegionName, m_arrRegionDesc;
    CTagPageModel m_model{Remembered()};
};
