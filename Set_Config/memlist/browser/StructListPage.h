// The struct-object page: the struct objects of the data source, listed by name with their struct
// type. They all carry data group 0, and the group list is hidden, so the page has one group.
#pragma once

#include <string>
#include <unordered_map>

#include "EventListPage.h"

class CStructListPage : public CGroupListPage {
public:
    enum { IDD = 7004, IDC_STRUCT_LIST = 7000 };
    CStructListPage();

    const CString& GetChosenName() const { return m_strChosenName; }
    // The record read under `strName`; FALSE when there is none.
    BOOL LookupName(const CString& strName, CMemTag& rec) const;

protected:
    void ReadRecords(CArray<CMemTag, CMemTag&>& arr) override;
    const char* ColumnSpec() const override;
    void ClearIndex() override { m_index.clear(); }
    void IndexRecord(const CMemTag& rec) override;
    CString Column1Text(const CMemTag& rec) const override { return rec.strName; }
    void KeepChoice(const CString* pText) override;

private:
    CString m_strChosenName;
    std::unordered_map<std::string, CMemTag> m_index;
};
