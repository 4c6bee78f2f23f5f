// CTagShowExDlg: the tag page of the browser. It reads the areas, regions and every tag through
// the sheet once per opening and shows the page its CTagPageModel walks to under the choices of
// its lists and the text of its search field. Filter choices, the search text, the page position
// and the selected tag name are remembered for the life of the library, so a browser opened
// again shows the same choices and page. The selected tag's row is made current and scrolled
// into view. At OK it keeps the names of the selected rows for the sheet.
#pragma once

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

    // The page walk: refills the list from the remembered position (bKeepPosition) or from the
    // first tag.
    void FillTagPage(BOOL bKeepPosition);
    void OnPrevPage();
    void OnNextPage();

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    TagPageFilter ReadFilter() const;
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
    CDWordArray m_arrAreaID;
    CStringArray m_arrAreaName, m_arrAreaDesc;
    CDWordArray m_arrRegionID, m_arrRegionAreaID;
    CStringArray m_arrRegionName, m_arrRegionDesc;
    CTagPageModel m_model{Remembered()};
};
