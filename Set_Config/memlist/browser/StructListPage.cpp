#include "StructListPage.h"

#include "gbtext/UiTexts.h"

namespace {

using mlui::CtlKind;

const mlui::DlgItem kStructItems[] = {
    {CtlKind::Label, -1, gbtext::LabelGroup, 5, 8, 36, 10, mlui::CTL_HIDDEN},
    {CtlKind::DropList, CGroupListPage::IDC_GROUP, "", 43, 6, 90, 12,
     mlui::CTL_SORTED | mlui::CTL_HIDDEN | mlui::CTL_DISABLED},
    {CtlKind::ListView, CStructListPage::IDC_STRUCT_LIST, "", 5, 24, 240, 196,
     mlui::CTL_SINGLESEL | mlui::CTL_STRETCH_X | mlui::CTL_STRETCH_Y},
};
const mlui::DlgTemplate kStructPage = {CStructListPage::IDD,
                                       gbtext::StructPageCaption,
                                       250,
                                       225,
                                       kStructItems,
                                       static_cast<int>(std::size(kStructItems))};

}  // namespace

CStructListPage::CStructListPage() : CGroupListPage(kStructPage, IDC_STRUCT_LIST, 7, 4) {}

void CStructListPage::ReadRecords(CArray<CMemTag, CMemTag&>& arr) {
    if (m_pHost)
        m_pHost->GetAllStructObjects(arr, GetShowDataFrom());
    else
        arr.RemoveAll();
}

const char* CStructListPage::ColumnSpec() const {
    return gbtext::StructColumnSpec;
}

void CStructListPage::IndexRecord(const CMemTag& rec) {
    m_index[rec.strName.str()] = rec;
}

BOOL CStructListPage::LookupName(const CString& strName, CMemTag& rec) const {
    auto it = m_index.find(strName.str());
    if (it == m_index.end())
        return FALSE;
    rec = it->second;
    return TRUE;
}

void CStructListPage::KeepChoice(const CString* pText) {
    m_strChosenName = pText ? *pText : CString();
}
