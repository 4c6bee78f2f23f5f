#include "TagShowExDlg.h"

#include <algorithm>

#include "gbtext/UiTexts.h"

namespace {

using mlui::CtlKind;

constexpr DWORD kStretch = mlui::CTL_STRETCH_X | mlui::CTL_STRETCH_Y;
constexpr DWORD kBottomLeft = mlui::CTL_FOLLOW_BOTTOM;
constexpr DWORD kBottomRight = mlui::CTL_FOLLOW_BOTTOM | mlui::CTL_FOLLOW_RIGHT;

const mlui::DlgItem kTagPageItems[] = {
    {CtlKind::Label, -1, gbtext::LabelArea, 5, 8, 38, 10, 0},
    {CtlKind::DropList, CTagShowExDlg::IDC_AREA, "", 45, 6, 78, 12, 0},
    {CtlKind::Label, -1, gbtext::LabelRegion, 125, 8, 38, 10, 0},
    {CtlKind::DropList, CTagShowExDlg::IDC_REGION, "", 165, 6, 78, 12, 0},
    {CtlKind::Label, -1, gbtext::LabelType, 5, 24, 38, 10, 0},
    {CtlKind::DropList, CTagShowExDlg::IDC_TYPE, "", 45, 22, 78, 12, 0},
    {CtlKind::Label, -1, gbtext::LabelTrend, 125, 24, 38, 10, 0},
    {CtlKind::DropList, CTagShowExDlg::IDC_TREND, "", 165, 22, 78, 12, 0},
    {CtlKind::Label, -1, gbtext::LabelSearch, 5, 40, 38, 10, 0},
    {CtlKind::Edit, CTagShowExDlg::IDC_SEARCH, "", 45, 38, 113, 12, mlui::CTL_STRETCH_X},
    {CtlKind::Text, CTagShowExDlg::IDC_TOTAL, gbtext::TotalInit, 163, 40, 80, 10,
     mlui::CTL_FOLLOW_RIGHT},
    {CtlKind::ListView, CTagShowExDlg::IDC_TAG_LIST, "", 5, 56, 238, 206,
     mlui::CTL_SHOWSELALWAYS | kStretch},
    {CtlKind::Text, CTagShowExDlg::IDC_ROW_COUNT, gbtext::RowCountInit, 5, 268, 60, 12,
     kBottomLeft},
    {CtlKind::Text, CTagShowExDlg::IDC_PAGE_NO, gbtext::PageNoInit, 70, 268, 50, 12, kBottomLeft},
    {CtlKind::Button, CTagShowExDlg::IDC_PREV_PAGE, gbtext::PrevPage, 137, 266, 50, 14,
     kBottomRight},
    {CtlKind::Button, CTagShowExDlg::IDC_NEXT_PAGE, gbtext::NextPage, 193, 266, 50, 14,
     kBottomRight},
};

// Our own record of the widths the user gave the tag list's columns; the host's lists of the
// same control ID share the section the list restores from first.
constexpr const char* kWidthSection = "memlist";
constexpr const char* kWidthEntry = "TagColumns";

const mlui::DlgTemplate kTagPage = {CTagShowExDlg::IDD,
                                    gbtext::TagPageCaption,
                                    250,
                                    287,
                                    kTagPageItems,
                                    static_cast<int>(std::size(kTagPageItems))};

}  // namespace

CTagShowExDlg::CTagShowExDlg() : CPropertyPage(kTagPage) {}

CTagShowExDlg::~CTagShowExDlg() = default;

TagPageMemory& CTagShowExDlg::Remembered() {
    static TagPageMemory memory;
    return memory;
}

BOOL CTagShowExDlg::SetShowDataFrom(int nSource) {
    m_nDataSource = nSource;
    return nSource >= 0 && nSource <= 2;
}

const char* CTagShowExDlg::TagTypeText(int nCode) {
    switch (nCode) {
        case 1:
            return gbtext::TypeBool;
        case 2:
            return gbtext::TypeInt;
        case 3:
            return gbtext::TypeReal;
        case 4:
            return gbtext::TypeString;
        case kAllTypesCode:
            return gbtext::TypeAll;
        default:
            return "";
    }
}

const char* CTagShowExDlg::TrendFilterText(int nIndex) {
    switch (nIndex) {
        case 0:
            return gbtext::TrendIn;
        case 1:
            return gbtext::TrendOut;
        case 2:
            return gbtext::TrendAll;
        default:
            return "";
    }
}

BOOL CTagShowExDlg::LookupTag(const CString& strName, CMemTag& tag) const {
    const CMemTag* pTag = m_model.Find(strName);
    if (!pTag)
        return FALSE;
    tag = *pTag;
    return TRUE;
}

void CTagShowExDlg::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_TAG_LIST, m_list);
    DDX_Control(pDX, IDC_AREA, m_areaList);
    DDX_Control(pDX, IDC_REGION, m_regionList);
    DDX_Control(pDX, IDC_TYPE, m_typeList);
    DDX_Control(pDX, IDC_TREND, m_trendList);
    DDX_Control(pDX, IDC_PREV_PAGE, m_prevButton);
    DDX_Control(pDX, IDC_NEXT_PAGE, m_nextButton);
    DDX_Control(pDX, IDC_SEARCH, m_searchEdit);
}

BOOL CTagShowExDlg::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_list.SetDblClkHandler([this] { OnOK(); });
    m_areaList.SetSelChangeHandler([this] { OnAreaChange(); });
    m_regionList.SetSelChangeHandler([this] { OnRegionChange(); });
    m_typeList.SetSelChangeHandler([this] { OnTypeChange(); });
    m_trendList.SetSelChangeHandler([this] { OnTrendChange(); });
    m_prevButton.SetClickHandler([this] { OnPrevPage(); });
    m_nextButton.SetClickHandler([this] { OnNextPage(); });
    m_searchEdit.SetChangeHandler([this] { OnSearchChange(); });
    m_searchEdit.SetReturnHandler([this] { m_list.SetFocus(); });
    m_list.SetTypeAheadColumn(1);  // the tag name
    m_list.SetSelChangeHandler([this] {
        if (!m_bFilling)
            ShowTotal();
    });
    m_list.SetCopyHandler([this] {
        const CStringArray names = PickedNames();
        CString strText;
        for (int i = 0; i < names.GetSize(); ++i)
            strText += names[i] + "\n";
        return strText;
    });

    m_list.SetColumnSpec(gbtext::TagColumnSpec);
    m_list.RestoreColumnWidths();
    m_list.KeepColumnWidthsIn(kWidthSection, kWidthEntry);
    m_list.SetStretchLastColumn(true);

    if (m_pHost) {
        m_pHost->GetAllAreaInfo(m_arrAreaID, m_arrAreaName, m_arrAreaDesc);
        m_pHost->GetAllRegionInfo(m_arrRegionAreaID, m_arrRegionID, m_arrRegionName,
                                  m_arrRegionDesc);
        m_pHost->GetAllTags(m_model.Tags(), m_nDataSource);
    }
    m_model.Reindex();

    TagPageMemory& mem = Remembered();
    if (mem.nAreaChoice > m_arrAreaID.GetSize() || mem.nAreaChoice < 0)
        mem.nAreaChoice = 0;
    if (mem.nRegionChoice > m_arrRegionID.GetSize() || mem.nRegionChoice < 0)
        mem.nRegionChoice = 0;
    ShowChoices();

    m_picks.clear();
    m_model.Refilter(ReadFilter());
    m_model.Reopen();
    const int nPreselected =
        mem.strSelectedTag.IsEmpty() ? -1 : m_model.FindPos(mem.strSelectedTag);
    if (nPreselected >= 0) {
        if (!m_model.IsMatch(nPreselected)) {
            // The choices that hide the tag the host asked for give way to it.
            const CString strSelected = mem.strSelectedTag;
            mem = TagPageMemory();
            mem.strSelectedTag = strSelected;
            ShowChoices();
            m_model.Refilter(ReadFilter());
        }
        m_model.ShowPageOf(nPreselected);
        m_picks.insert(nPreselected);
    }
    ShowPage(nPreselected);
    if (nPreselected >= 0)
        m_list.SetFocus();
    else
        m_searchEdit.SetFocus();
    return TRUE;
}

void CTagShowExDlg::ShowChoices() {
    const TagPageMemory& mem = Remembered();
    m_areaList.ResetContent();
    m_areaList.AddString(gbtext::AllAreas);
    for (int i = 0; i < m_arrAreaDesc.GetSize(); ++i)
        m_areaList.AddString(m_arrAreaDesc[i]);
    m_areaList.SetCurSel(mem.nAreaChoice);
    FillRegionList(mem.nAreaChoice);
    m_regionList.SetCurSel(mem.nRegionChoice);
    m_typeList.ResetContent();
    for (int code = memtag::kTypeBool; code <= kAllTypesCode; ++code)
        m_typeList.AddString(TagTypeText(code));
    m_typeList.SetCurSel(mem.nTypeChoice);
    m_trendList.ResetContent();
    for (int i = 0; i <= 2; ++i)
        m_trendList.AddString(TrendFilterText(i));
    m_trendList.SetCurSel(mem.nTrendChoice);
    m_searchEdit.SetWindowText(mem.strSearch);
}

void CTagShowExDlg::FillRegionList(int nAreaChoice) {
    m_regionList.ResetContent();
    m_regionList.SetItemData(m_regionList.AddString(gbtext::AllRegions), 0);
    const bool bAll = nAreaChoice <= 0 || nAreaChoice > m_arrAreaID.GetSize();
    const DWORD dwArea = bAll ? 0 : m_arrAreaID[nAreaChoice - 1];
    const int n = std::min(m_arrRegionID.GetSize(), m_arrRegionAreaID.GetSize());
    for (int i = 0; i < n && i < m_arrRegionName.GetSize(); ++i)
        if (bAll || m_arrRegionAreaID[i] == dwArea)
            m_regionList.SetItemData(m_regionList.AddString(m_arrRegionName[i]), m_arrRegionID[i]);
}

TagPageFilter CTagShowExDlg::ReadFilter() const {
    TagPageFilter f;
    const int a = m_areaList.GetCurSel();
    f.bByArea = a > 0 && a <= m_arrAreaID.GetSize();
    f.nArea = f.bByArea ? static_cast<int>(m_arrAreaID[a - 1]) : 0;
    const int r = m_regionList.GetCurSel();
    f.bByRegion = r > 0;
    f.nRegion = f.bByRegion ? static_cast<int>(m_regionList.GetItemData(r)) : 0;
    f.nType = m_typeList.GetCurSel() + 1;
    f.nTrend = m_trendList.GetCurSel();
    f.strSearch = Remembered().strSearch;
    return f;
}

int CTagShowExDlg::AddTagRow(int nRow, const CMemTag& tag) {
    CString strNo, strHigh, strLow;
    strNo.Format("%d", nRow);
    strHigh.Format("%f", tag.dRangeHigh);
    strLow.Format("%f", tag.dRangeLow);
    return m_list.AddRow(strNo, tag.strName, tag.strDesc, TagTypeText(tag.nDataType),
                         tag.nTrend ? gbtext::TrendYes : gbtext::TrendNo, strHigh, strLow);
}

void CTagShowExDlg::KeepPicks() {
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        m_picks.erase(static_cast<int>(m_list.GetItemData(i)));
    for (int nItem : m_list.GetSelectedItems())
        m_picks.insert(static_cast<int>(m_list.GetItemData(nItem)));
}

CStringArray CTagShowExDlg::PickedNames() {
    KeepPicks();
    CStringArray names;
    std::set<int> onPage;
    for (int nItem : m_list.GetSelectedItems()) {
        const int nPos = static_cast<int>(m_list.GetItemData(nItem));
        onPage.insert(nPos);
        names.Add(m_model.Tags()[nPos].strName);
    }
    for (int nPos : m_picks)
        if (!onPage.count(nPos))
            names.Add(m_model.Tags()[nPos].strName);
    return names;
}

void CTagShowExDlg::ShowTotal() {
    // Picks of other pages count with the rows selected here.
    size_t nPicked = m_list.GetSelectedItems().size();
    for (int nPos : m_picks)
        nPicked += std::binary_search(m_pageRows.begin(), m_pageRows.end(), nPos) ? 0 : 1;
    CString strTotal;
    if (nPicked)
        strTotal.Format(gbtext::TotalPickedFmt, m_model.MatchCount(), static_cast<int>(nPicked));
    else
        strTotal.Format(gbtext::TotalFmt, m_model.MatchCount());
    SetDlgItemText(IDC_TOTAL, strTotal);
}

void CTagShowExDlg::ShowPage(int nShowPos) {
    m_bFilling = true;
    m_list.DeleteAllItems();
    // The rows come back in store order: no column is sorted any more.
    m_list.ClearSortMark();
    const std::vector<int> rows = m_model.PageRows();
    m_pageRows = rows;
    std::sort(m_pageRows.begin(), m_pageRows.end());
    const int n = static_cast<int>(rows.size());
    int nPreselected = -1;
    for (int i = 0; i < n; ++i) {
        const int nPos = rows[static_cast<size_t>(i)];
        const int nItem = AddTagRow(i + 1, m_model.Tags()[nPos]);
        if (nItem < 0)
            continue;
        m_list.SetItemData(nItem, static_cast<DWORD>(nPos));
        if (m_picks.count(nPos))
            m_list.SetItemState(nItem, LVIS_SELECTED, LVIS_SELECTED);
        if (nPos == nShowPos)
            nPreselected = nItem;
    }
    // A refill starts at its top, the keyboard's cursor there too, unless it opens the browser
    // on a preselected tag.
    const int nCurrent = std::max(nPreselected, 0);
    m_list.SetItemState(nCurrent, LVIS_FOCUSED, LVIS_FOCUSED);
    m_list.EnsureVisible(nCurrent, FALSE);

    m_bFilling = false;

    CString strCount, strPage;
    strCount.Format(gbtext::RowCountFmt, n);
    strPage.Format(gbtext::PageNoFmt, Remembered().nPageNo + 1);
    SetDlgItemText(IDC_ROW_COUNT, strCount);
    SetDlgItemText(IDC_PAGE_NO, strPage);
    ShowTotal();
    // The steps OnPrevPage and OnNextPage would refuse are shown as unavailable.
    m_prevButton.EnableWindow(m_model.CanStepBack());
    m_nextButton.EnableWindow(m_model.CanStepOn());
}

void CTagShowExDlg::FillTagPage(BOOL bKeepPosition) {
    KeepPicks();
    if (!bKeepPosition)
        m_model.Restart();
    m_model.Refilter(ReadFilter());
    ShowPage();
}

void CTagShowExDlg::OnPrevPage() {
    KeepPicks();
    if (m_model.StepBack())
        ShowPage();
}

void CTagShowExDlg::OnNextPage() {
    KeepPicks();
    if (m_model.StepOn())
        ShowPage();
}

void CTagShowExDlg::OnAreaChange() {
    const int a = m_areaList.GetCurSel();
    FillRegionList(a);
    m_regionList.SetCurSel(0);
    Remembered().nAreaChoice = a;
    FillTagPage(FALSE);
}

void CTagShowExDlg::OnRegionChange() {
    Remembered().nRegionChoice = m_regionList.GetCurSel();
    FillTagPage(FALSE);
}

void CTagShowExDlg::OnTypeChange() {
    Remembered().nTypeChoice = m_typeList.GetCurSel();
    FillTagPage(FALSE);
}

void CTagShowExDlg::OnTrendChange() {
    Remembered().nTrendChoice = m_trendList.GetCurSel();
    FillTagPage(FALSE);
}

void CTagShowExDlg::OnSearchChange() {
    Remembered().strSearch = m_searchEdit.GetWindowText();
    FillTagPage(FALSE);
}

void CTagShowExDlg::OnOK() {
    if (m_pHost)
        m_pHost->SetSelectKind(1);
    m_arrChosen.RemoveAll();
    m_arrChosen.Append(PickedNames());
    Remembered().strSelectedTag = m_arrChosen.IsEmpty() ? CString() : m_arrChosen[0];
    if (m_pHost)
        m_pHost->EndBrowser(IDOK);
    CPropertyPage::OnOK();
}

BOOL CTagShowExDlg::OnSetActive() {
    if (m_pHost)
        m_pHost->SetSelectKind(1);
    return CPropertyPage::OnSetActive();
}
