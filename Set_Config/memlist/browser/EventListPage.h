// The event page and the base it shares with the task and struct-object pages.
//
// A group page reads its records (one kind, one data source) through the sheet once per opening,
// groups them by data group (CMemTag::nArea) and lists the records of one group, skipping names
// that begin with "*". The sorted drop-down list 7001 picks the group. At OK the page keeps the
// chosen record (a number for events and tasks, a name for struct objects) for the sheet.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Arrays.h"
#include "CString.h"
#include "PageHost.h"
#include "PropertySheet.h"
#include "SortListCtrl.h"
#include "TagRecords.h"

class CGroupListPage : public CPropertyPage {
public:
    enum { IDC_GROUP = 7001 };

    // Stores the data source to list; TRUE only for 0, 1 or 2.
    BOOL SetShowDataFrom(int nSource);
    int GetShowDataFrom() const { return m_nDataSource; }
    // Lists the records of data group `nGroup` and names it in list 7001.
    void ShowGroup(int nGroup);
    int GetCurrentGroup() const { return m_nCurrentGroup; }
    const std::vector<int>& GetGroups() const { return m_groups; }

    IPageHost* m_pHost = nullptr;

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;

protected:
    CGroupListPage(const mlui::DlgTemplate& tpl, int nListID, int nDataType, int nSelectKind);
    void DoDataExchange(CDataExchange* pDX) override;

    // The page's records through the sheet.
    virtual void ReadRecords(CArray<CMemTag, CMemTag&>& arr) = 0;
    virtual const char* ColumnSpec() const = 0;
    virtual void ClearIndex() = 0;
    virtual void IndexRecord(const CMemTag& rec) = 0;
    virtual CString Column1Text(const CMemTag& rec) const = 0;
    // Keeps the column-1 text of the marked row (null when no row is marked).
    virtual void KeepChoice(const CString* pText) = 0;

    CSortListCtrl m_list;
    CComboBox m_groupList;

private:
    void OnGroupChange();

    const int m_nListID;
    const int m_nDataType;
    const int m_nSelectKind;
    int m_nDataSource = 0;
    int m_nCurrentGroup = 0;
    std::vector<int> m_groups;
    CArray<CMemTag, CMemTag&> m_records;
};

// Events and tasks: rows are named prefix + number; the chosen number is -1 until an OK picks a
// row.
class CNumberedListPage : public CGroupListPage {
public:
    int GetChosenNo() const { return m_nChosenNo; }
    // The record read under `nNo`; FALSE when there is none.
    BOOL LookupNo(int nNo, CMemTag& rec) const;

protected:
    CNumberedListPage(const mlui::DlgTemplate& tpl, int nListID, int nDataType, int nSelectKind,
                      const char* pszPrefix);
    void ClearIndex() override { m_index.clear(); }
    void IndexRecord(const CMemTag& rec) override;
    CString Column1Text(const CMemTag& rec) const override;
    void KeepChoice(const CString* pText) override;

private:
    const char* m_pszPrefix;
    int m_nChosenNo = -1;
    std::map<int, CMemTag> m_index;
};

class CEventListPage : public CNumberedListPage {
public:
    enum { IDD = 7005, IDC_EVENT_LIST = 7002 };
    CEventListPage();

protected:
    void ReadRecords(CArray<CMemTag, CMemTag&>& arr) override;
    const char* ColumnSpec() const override;
};
