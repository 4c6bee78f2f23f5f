// CMemTagShowSheet: the coordinator behind CMemTagList, a property sheet that owns the store
// facade and the four browser pages. Data calls pass straight through it to the facade; display
// calls go to the pages; the pages reach the store through it. Constructing it opens the store
// (it throws when the store cannot be built) and creates no window: the sheet's dialog exists
// only while DoModal runs, and the page set, the data source and the last selection persist
// between showings. User-interface thread only.
#pragma once

#include <memory>

#include "Arrays.h"
#include "CString.h"
#include "EventListPage.h"
#include "PageHost.h"
#include "PropertySheet.h"
#include "StructListPage.h"
#include "TagRecords.h"
#include "TagShowExDlg.h"
#include "TaskListPage.h"

class CFileFace;

class CMemTagShowSheet : public CPropertySheet, public IPageHost {
public:
    CMemTagShowSheet(const char* pszCaption, CWnd* pParent = nullptr, UINT iSelectPage = 0);
    ~CMemTagShowSheet() override;

    // --- display ------------------------------------------------------------------------------
    // IDOK, IDCANCEL, or -1 when the sheet cannot be shown (no page, no display).
    int DoModal() override;
    // Shows the tag, event, task and struct pages whose flags are nonzero, in that order; 1 when
    // at least one page is shown, else 0.
    int SetShowPage(int nTag, int nEvent, int nTask, int nStruct);
    int SetTagShowType(int, int, int, int) { return 1; }
    // Tells every page the data source; 0 at the first page that refuses it.
    int SetShowDataFrom(int nSource);
    // Stores the process-wide selected tag name, which the tag page preselects.
    void InputTagName(CString strName);
    void GetSelectedTags(CStringArray& arr);
    // The record of what the user picked last (tag, event, task or struct object); 1 or 0.
    int GetSelectedTagInfo(CMemTag& tag);

    // True while the sheet's window exists (only during DoModal).
    bool HasWindow() const { return GetDialog() != nullptr; }
    // Ends a running DoModal (the window's destruction the exported object asks for).
    void DestroyWindow();

    // --- data, forwarded to the facade ---------------------------------------------------------
    int AddData(int nType, int nSource, void* pData, CString strStructType);
    int AddStruct(int nSource, StructObject_Info* p);
    int AddEvent(int nSource, Thing_Info* p);
    int AddTask(int nSource, Task_Info* p);
    int DelData(int nType, int nSource, void* pData);
    int DelData(const CString& strName);
    int DelStruct(int nSource, StructObject_Info* p);
    int DelStruct(int nSource, const CString& strName);
    int DelEvent(int nSource, Thing_Info* p);
    int DelEvent(int nSource, const int& nNo);
    int DelTask(int nSource, Task_Info* p);
    int DelTask(int nSource, const int& nNo);
    int ModifyData(int nType, int nSource, void* pNew, CString strOldName, CString strStructType);
    int ModifyStruct(int nSource, StructObject_Info* pNew, CString strOldName);
    int ModifyEvent(int nSource, Thing_Info* pNew, int nOldNo);
    int ModifyTask(int nSource, Task_Info* pNew, int nOldNo);
    int GetSpecyStructObj(const CString& strType, CArray<StructObject_Info, StructObject_Info>& arr,
                          int nSource);
    int GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource);
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData);
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag);
    int JustTagFromBRK(CString strName);
    int JustTagFromRMP(CString strName);
    int GetSelute(CString strName, CMemTag& tag);
    int RemoveAllBRKFile(int nScope);
    int RemoveAllRMPFile(int nScope);
    int BackupAsOldFile(int nSource);
    int RecoverWithOldFile(int nSource);
    // 1 at once when `strPath` is the path stored last; else moves the store there.
    int SetConfigureFilePath(const CString& strPath);
    int AddError(CString& strMsg);
    int GetErrStringArray(CStringArray& arr);
    int RemoveErrorFile();
    int GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName, CStringArray& arrDesc) override;
    int GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo, CStringArray& arrName,
                         CStringArray& arrDesc) override;

    // --- for the pages --------------------------------------------------------------------------
    void SetSelectKind(int nKind) override { m_nSelectKind = nKind; }
    int GetSelectKind() const { return m_nSelectKind; }
    void EndBrowser(int nResult) override { EndDialog(nResult); }
    // Every live tag of both sources, Brakk first.
    int GetAllTags(CArray<CMemTag, CMemTag&>& arr, int nSource) override;
    int GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) override;
    int GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) override;
    int GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) override;

    CFileFace& GetStore() const { return *m_pStore; }
    const CString& GetCaption() const { return m_strCaption; }
    CWnd* GetParentWnd() const { return m_pParentWnd; }
    CTagShowExDlg& GetTagPage() { return m_tagPage; }
    CEventListPage& GetEventPage() { return m_eventPage; }
    CTaskListPage& GetTaskPage() { return m_taskPage; }
    CStructListPage& GetStructPage() { return m_structPage; }

private:
    // The record of the pick of kind `nKind` (1 tag, 2 event, 3 task, 4 struct object); 1 or 0.
    int GetSelectedInfo(int nKind, CMemTag& tag);

    CString m_strCaption;
    CWnd* m_pParentWnd;
    std::unique_ptr<CFileFace> m_pStore;  // never null: the constructor throws without it
    CString m_strConfigPath;
    CTagShowExDlg m_tagPage;
    CStructListPage m_structPage;
    CEventListPage m_eventPage;
    CTaskListPage m_taskPage;
    int m_nSelectKind = 0;
};
