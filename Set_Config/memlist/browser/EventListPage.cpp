#include "EventListPage.h"

#include <algorithm>
#include <cstdlib>

#include "gbtext/StoreTexts.h"
#include "gbtext/UiTexts.h"

namespace {

using mlui::CtlKind;

const mlui::DlgItem kEventItems[] = {
    {CtlKind::Label, -1, gbtext::LabelGroup, 5, 8, 36, 10, 0},
    {CtlKind::DropList, CGroupListPage::IDC_GROUP, "", 43, 6, 90, 12, mlui::CTL_SORTED},
    {CtlKind::ListView, CEventListPage::IDC_EVENT_LIST, "", 5, 24, 240, 196,
     mlui::CTL_SINGLESEL | mlui::CTL_STRETCH_X | mlui::CTL_STRETCH_Y},
};
const mlui::DlgTemplate kEventPage = {CEventListPage::IDD,
                                      gbtext::EventPageCaption,
                                      250,
                                      225,
                                      kEventItems,
                                      static_cast<int>(std::size(kEventItems))};

// Bytes of the prefix ("事件", "任务") and of "数据组" in GB2312.
constexpr int kNumberPrefixBytes = 4;
constexpr int kGroupPrefixBytes = 6;

}  // namespace

CGroupListPage::CGroupListPage(const mlui::DlgTemplate& tpl, int nListID, int nDataType,
                               int nSelectKind)
    : CPropertyPage(tpl), m_nListID(nListID), m_nDataType(nDataType), m_nSelectKind(nSelectKind) {}

BOOL CGroupListPage::SetShowDataFrom(int nSource) {
    m_nDataSource = nSource;
    return nSource >= 0 && nSource <= 2;
}

void CGroupListPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, m_nListID, m_list);
    DDX_Control(pDX, IDC_GROUP, m_groupList);
}

BOOL CGroupListPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_list.SetDblClkHandler([this] { OnOK(); });
    m_list.SetTypeAheadColumn(1);  // the record's name
    m_groupList.SetSelChangeHandler([this] { OnGroupChange(); });
    m_list.SetColumnSpec(ColumnSpec());
    m_list.RestoreColumnWidths();

    ClearIndex();
    ReadRecords(m_records);
    m_groups.clear();
    for (const CMemTag& rec : m_records) {
        IndexRecord(rec);
        if (std::find(m_groups.begin(), m_groups.end(), rec.nArea) == m_groups.end())
            m_groups.push_back(rec.nArea);
    }
    m_groupList.ResetContent();
    for (int g : m_groups) {
        CString strGroup;
        strGroup.Format(gbtext::GroupFmt, g);
        m_groupList.AddString(strGroup);
    }
    if (!m_groups.empty())
        m_nCurrentGroup = m_groups.front();
    m_groupList.SetCurSel(0);
    if (!m_groups.empty())
        ShowGroup(m_groups.front());
    return TRUE;
}

void CGroupListPage::ShowGroup(int nGroup) {
    m_list.DeleteAllItems();
    CString strGroup;
    strGroup.Format(gbtext::GroupFmt, nGroup);
    // The entry whose whole text names the group: a prefix match could pick group 10 for 1.
    int nEntry = m_groupList.FindStringExact(-1, strGroup);
    if (nEntry != CB_ERR)
        m_groupList.SetCurSel(nEntry);
    int n = 1;
    for (const CMemTag& rec : m_records) {
        if (rec.nArea != nGroup || rec.nDataType != m_nDataType)
            continue;
        if (!rec.strName.IsEmpty() && rec.strName[0] == '*')
            continue;
        CString strNo;
        strNo.Format("%d", n++);
        m_list.AddRow(strNo, Column1Text(rec), rec.strDesc);
    }
}

void CGroupListPage::OnGroupChange() {
    CString strText = m_groupList.GetWindowText();
    int g = std::atoi(strText.Mid(kGroupPrefixBytes));
    if (g != m_nCurrentGroup) {
        m_nCurrentGroup = g;
        ShowGroup(g);
    }
}

void CGroupListPage::OnOK() {
    if (m_pHost)
        m_pHost->SetSelectKind(m_nSelectKind);
    const std::vector<CString>* texts = m_list.GetRowTexts(m_list.GetSelectionMark());
    KeepChoice(texts && texts->size() > 1 ? &(*texts)[1] : nullptr);
    if (m_pHost)
        m_pHost->EndBrowser(IDOK);
    CPropertyPage::OnOK();
}

BOOL CGroupListPage::OnSetActive() {
    if (m_pHost)
        m_pHost->SetSelectKind(m_nSelectKind);
    return CPropertyPage::OnSetActive();
}

BOOL CGroupListPage::OnKillActive() {
    if (m_pHost)
        m_pHost->SetSelectKind(m_nSelectKind);
    return CPropertyPage::OnKillActive();
}

CNumberedListPage::CNumberedListPage(const mlui::DlgTemplate& tpl, int nListID, int nDataType,
                                     int nSelectKind, const char* pszPrefix)
    : CGroupListPage(tpl, nListID, nDataType, nSelectKind), m_pszPrefix(pszPrefix) {}

void CNumberedListPage::IndexRecord(const CMemTag& rec) {
    m_index[std::atoi(rec.strName)] = rec;
}

BOOL CNumberedListPage::LookupNo(int nNo, CMemTag& rec) const {
    auto it = m_index.find(nNo);
    if (it == m_index.end())
        return FALSE;
    rec = it->second;
    return TRUE;
}

CString CNumberedListPage::Column1Text(const CMemTag& rec) const {
    return CString(m_pszPrefix) + rec.strName;
}

void CNumberedListPage::KeepChoice(const CString* pText) {
    m_nChosenNo = pText && !pText->IsEmpty() ? std::atoi(pText->Mid(kNumberPrefixBytes)) : -1;
}

CEventListPage::CEventListPage()
    : CNumberedListPage(kEventPage, IDC_EVENT_LIST, 5, 2, gbtext::EventPrefix) {}

void CEventListPage::ReadRecords(CArray<CMemTag, CMemTag&>& arr) {
    if (m_pHost)
        m_pHost->GetAllEvents(arr, GetShowDataFrom());
    else
        arr.RemoveAll();
}

const char* CEventListPage::ColumnSpec() const {
    return gbtext::EventColumnSpec;
}
