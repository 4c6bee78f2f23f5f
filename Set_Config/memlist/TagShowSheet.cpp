#include "TagShowSheet.h"

#include <new>

#include "FileFace.h"
#include "gbtext/StoreTexts.h"
#include "gbtext/UiTexts.h"

// A missing store (its construction failed) turns every data call into its failure result.
#define MEMLIST_FORWARD(call, fail) return m_pStore ? m_pStore->call : (fail)

CMemTagShowSheet::CMemTagShowSheet(const char* pszCaption, CWnd* pParent, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParent, iSelectPage),
      m_strCaption(pszCaption),
      m_pParentWnd(pParent) {
    m_psh.dwFlags |= PSH_NOAPPLYNOW;
    m_psh.dwFlags &= ~static_cast<DWORD>(PSH_HASHELP);
    SetButtonTexts(gbtext::SheetOk, gbtext::SheetCancel);
    // The host's settings keep the size the user gave the browser, beside the column widths.
    RememberSizeIn("memlist");
    SetShowPage(1, 0, 0, 0);
    m_nSelectKind = 0;
    m_strConfigPath.Empty();
    m_pStore = new (std::nothrow) CFileFace;
}

CMemTagShowSheet::~CMemTagShowSheet() {
    delete m_pStore;
    m_pStore = nullptr;
    m_strConfigPath.Empty();
}

int CMemTagShowSheet::DoModal() {
    return CPropertySheet::DoModal();
}

void CMemTagShowSheet::DestroyWindow() {
    if (HasWindow())
        EndDialog(IDCANCEL);
}

int CMemTagShowSheet::SetShowPage(int nTag, int nEvent, int nTask, int nStruct) {
    while (GetPageCount() > 0)
        RemovePage(0);
    if (nTag) {
        AddPage(&m_tagPage);
        m_tagPage.m_pSheet = this;
    }
    if (nEvent) {
        AddPage(&m_eventPage);
        m_eventPage.m_pSheet = this;
    }
    if (nTask) {
        AddPage(&m_taskPage);
        m_taskPage.m_pSheet = this;
    }
    if (nStruct) {
        AddPage(&m_structPage);
        m_structPage.m_pSheet = this;
    }
    return GetPageCount() > 0 ? 1 : 0;
}

int CMemTagShowSheet::SetShowDataFrom(int nSource) {
    if (!m_tagPage.SetShowDataFrom(nSource))
        return 0;
    if (!m_eventPage.SetShowDataFrom(nSource))
        return 0;
    if (!m_taskPage.SetShowDataFrom(nSource))
        return 0;
    if (!m_structPage.SetShowDataFrom(nSource))
        return 0;
    return 1;
}

void CMemTagShowSheet::InputTagName(CString strName) {
    CTagShowExDlg::Remembered().strSelectedTag = strName;
}

void CMemTagShowSheet::GetSelectedTags(CStringArray& arr) {
    arr.RemoveAll();
    arr.Append(m_tagPage.GetChosenNames());
}

int CMemTagShowSheet::GetSelectedTagInfo(CMemTag& tag) {
    switch (m_nSelectKind) {
        case 1: {
            const CString& strName = CTagShowExDlg::Remembered().strSelectedTag;
            if (strName.IsEmpty())
                return 0;
            return m_tagPage.LookupTag(strName, tag) ? 1 : 0;
        }
        case 2:
        case 3: {
            const CNumberedListPage& page = m_nSelectKind == 2
                                                ? static_cast<const CNumberedListPage&>(m_eventPage)
                                                : static_cast<const CNumberedListPage&>(m_taskPage);
            const int nNo = page.GetChosenNo();
            if (nNo < 0)
                return 0;
            page.LookupNo(nNo, tag);
            tag.strName = CString(m_nSelectKind == 2 ? gbtext::EventPrefix : gbtext::TaskPrefix) +
                          tag.strName;
            tag.nDataType = m_nSelectKind == 2 ? 5 : 6;
            return 1;
        }
        case 4: {
            const CString& strName = m_structPage.GetChosenName();
            if (strName.IsEmpty())
                return 0;
            return m_structPage.LookupName(strName, tag) ? 1 : 0;
        }
        default:
            return 0;
    }
}

int CMemTagShowSheet::GetAllTags(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    arr.RemoveAll();
    m_arrTags.RemoveAll();
    int nResult = m_pStore ? m_pStore->GetAllTags(m_arrTags, nSource) : 0;
    arr.Append(m_arrTags);
    return nResult;
}

int CMemTagShowSheet::GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    MEMLIST_FORWARD(GetAllEvents(arr, nSource), (arr.RemoveAll(), 0));
}

int CMemTagShowSheet::GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    MEMLIST_FORWARD(GetAllTasks(arr, nSource), (arr.RemoveAll(), 0));
}

int CMemTagShowSheet::GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    MEMLIST_FORWARD(GetAllStructObjects(arr, nSource), (arr.RemoveAll(), 0));
}

int CMemTagShowSheet::SetConfigureFilePath(const CString& strPath) {
    if (strPath == m_strConfigPath)
        return 1;
    m_strConfigPath = strPath;
    return m_pStore && m_pStore->SetConfigureFilePath(strPath) ? 1 : 0;
}

int CMemTagShowSheet::AddData(int nType, int nSource, void* pData, CString strStructType) {
    MEMLIST_FORWARD(AddData(nType, nSource, pData, strStructType), -1);
}
int CMemTagShowSheet::AddStruct(int nSource, StructObject_Info* p) {
    MEMLIST_FORWARD(AddStruct(nSource, p), -1);
}
int CMemTagShowSheet::AddEvent(int nSource, Thing_Info* p) {
    MEMLIST_FORWARD(AddEvent(nSource, p), -1);
}
int CMemTagShowSheet::AddTask(int nSource, Task_Info* p) {
    MEMLIST_FORWARD(AddTask(nSource, p), -1);
}
int CMemTagShowSheet::DelData(int nType, int nSource, void* pData) {
    MEMLIST_FORWARD(DelData(nType, nSource, pData), -1);
}
int CMemTagShowSheet::DelData(const CString& strName) {
    MEMLIST_FORWARD(DelData(strName), -1);
}
int CMemTagShowSheet::DelStruct(int nSource, StructObject_Info* p) {
    MEMLIST_FORWARD(DelStruct(nSource, p), -1);
}
int CMemTagShowSheet::DelStruct(int nSource, const CString& strName) {
    MEMLIST_FORWARD(DelStruct(nSource, strName), -1);
}
int CMemTagShowSheet::DelEvent(int nSource, Thing_Info* p) {
    MEMLIST_FORWARD(DelEvent(nSource, p), -1);
}
int CMemTagShowSheet::DelEvent(int nSource, const int& nNo) {
    MEMLIST_FORWARD(DelEvent(nSource, nNo), -1);
}
int CMemTagShowSheet::DelTask(int nSource, Task_Info* p) {
    MEMLIST_FORWARD(DelTask(nSource, p), -1);
}
int CMemTagShowSheet::DelTask(int nSource, const int& nNo) {
    MEMLIST_FORWARD(DelTask(nSource, nNo), -1);
}
int CMemTagShowSheet::ModifyData(int nType, int nSource, void* pNew, CString strOldName,
                                 CString strStructType) {
    MEMLIST_FORWARD(ModifyData(nType, nSource, pNew, strOldName, strStructType), -1);
}
int CMemTagShowSheet::ModifyStruct(int nSource, StructObject_Info* pNew, CString strOldName) {
    MEMLIST_FORWARD(ModifyStruct(nSource, pNew, strOldName), -1);
}
int CMemTagShowSheet::ModifyEvent(int nSource, Thing_Info* pNew, int nOldNo) {
    MEMLIST_FORWARD(ModifyEvent(nSource, pNew, nOldNo), -1);
}
int CMemTagShowSheet::ModifyTask(int nSource, Task_Info* pNew, int nOldNo) {
    MEMLIST_FORWARD(ModifyTask(nSource, pNew, nOldNo), -1);
}
int CMemTagShowSheet::GetSpecyStructObj(const CString& strType,
                                        CArray<StructObject_Info, StructObject_Info>& arr,
                                        int nSource) {
    MEMLIST_FORWARD(GetSpecyStructObj(strType, arr, nSource), -1);
}
int CMemTagShowSheet::GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource) {
    MEMLIST_FORWARD(GetTagArray(arr, nSource), -1);
}
int CMemTagShowSheet::GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData) {
    MEMLIST_FORWARD(GetTagInfoWithIdx(idx, pData), 0);
}
int CMemTagShowSheet::GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag) {
    MEMLIST_FORWARD(GetTagInfoWithIdx(idx, tag), 0);
}
int CMemTagShowSheet::JustTagFromBRK(CString strName) {
    MEMLIST_FORWARD(JustTagFromBRK(strName), 0);
}
int CMemTagShowSheet::JustTagFromRMP(CString strName) {
    MEMLIST_FORWARD(JustTagFromRMP(strName), 0);
}
int CMemTagShowSheet::GetSelute(CString strName, CMemTag& tag) {
    MEMLIST_FORWARD(GetSelute(strName, tag), 0);
}
int CMemTagShowSheet::RemoveAllBRKFile(int nScope) {
    MEMLIST_FORWARD(RemoveAllBRKFile(nScope), 0);
}
int CMemTagShowSheet::RemoveAllRMPFile(int nScope) {
    MEMLIST_FORWARD(RemoveAllRMPFile(nScope), 0);
}
int CMemTagShowSheet::BackupAsOldFile(int nSource) {
    MEMLIST_FORWARD(BackupAsOldFile(nSource), -1);
}
int CMemTagShowSheet::RecoverWithOldFile(int nSource) {
    MEMLIST_FORWARD(RecoverWithOldFile(nSource), -1);
}
int CMemTagShowSheet::AddError(CString& strMsg) {
    MEMLIST_FORWARD(AddError(strMsg), 0);
}
int CMemTagShowSheet::GetErrStringArray(CStringArray& arr) {
    MEMLIST_FORWARD(GetErrStringArray(arr), (arr.RemoveAll(), 0));
}
int CMemTagShowSheet::RemoveErrorFile() {
    MEMLIST_FORWARD(RemoveErrorFile(), 1);
}
int CMemTagShowSheet::GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName,
                                     CStringArray& arrDesc) {
    MEMLIST_FORWARD(GetAllAreaInfo(arrNo, arrName, arrDesc),
                    (arrNo.RemoveAll(), arrName.RemoveAll(), 0));
}
int CMemTagShowSheet::GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo,
                                       CStringArray& arrName, CStringArray& arrDesc) {
    MEMLIST_FORWARD(GetAllRegionInfo(arrAreaNo, arrRegionNo, arrName, arrDesc),
                    (arrAreaNo.RemoveAll(), arrRegionNo.RemoveAll(), 0));
}
