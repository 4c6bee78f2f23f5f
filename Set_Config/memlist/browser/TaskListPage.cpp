#include "TaskListPage.h"

#include "gbtext/StoreTexts.h"
#include "gbtext/UiTexts.h"

namespace {

using mlui::CtlKind;

const mlui::DlgItem kTaskItems[] = {
    {CtlKind::Label, -1, gbtext::LabelGroup, 5, 8, 36, 10, 0},
    {CtlKind::DropList, CGroupListPage::IDC_GROUP, "", 43, 6, 90, 12, mlui::CTL_SORTED},
    {CtlKind::ListView, CTaskListPage::IDC_TASK_LIST, "", 5, 24, 240, 196,
     mlui::CTL_SINGLESEL | mlui::CTL_STRETCH_X | mlui::CTL_STRETCH_Y},
};
const mlui::DlgTemplate kTaskPage = {CTaskListPage::IDD,
                                     gbtext::TaskPageCaption,
                                     250,
                                     225,
                                     kTaskItems,
                                     static_cast<int>(std::size(kTaskItems))};

}  // namespace

CTaskListPage::CTaskListPage()
    : CNumberedListPage(kTaskPage, IDC_TASK_LIST, 6, 3, gbtext::TaskPrefix) {}

void CTaskListPage::ReadRecords(CArray<CMemTag, CMemTag&>& arr) {
    if (m_pHost)
        m_pHost->GetAllTasks(arr, GetShowDataFrom());
    else
        arr.RemoveAll();
}

const char* CTaskListPage::ColumnSpec() const {
    return gbtext::TaskColumnSpec;
}
