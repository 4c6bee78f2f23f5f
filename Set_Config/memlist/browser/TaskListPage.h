// The task page: the tasks of the data source, by data group (see CGroupListPage).
#pragma once

#include "EventListPage.h"

class CTaskListPage : public CNumberedListPage {
public:
    enum { IDD = 7006, IDC_TASK_LIST = 7003 };
    CTaskListPage();

protected:
    void ReadRecords(CArray<CMemTag, CMemTag&>& arr) override;
    const char* ColumnSpec() const override;
};
