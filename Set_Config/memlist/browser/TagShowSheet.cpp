#include "TagShowSheet.h"

#include "FileFace.h"
#include "gbtext/StoreTexts.h"
#include "gbtext/UiTexts.h"

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
    m_pStore = std::make_unique<CFileFace>();
}

CMemTagShowSheet::~CMemTagShowSheet() {
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
        m_tagPage.m_pHost = this;
    }
    if (nEvent) {
        AddPage(&m_eventPage);
        m_eventPage.m_pHost = this;
    }
    if (nTask) {
        AddPage(&m_taskPage);
        m_taskPage.m_pHost = this;
    }
    if (nStruct) {
        AddPage(&m_structPage);
        m_structPage.m_pHost = this;
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
    // OK on a page where nothing was picked leaves the tag page's pick to report.
    if (const int nResult = GetSelectedInfo(m_nSelectKind, tag);
        nResult || m_nSelectKind == 1 || m_tagPage.GetChosenNames().IsEmpty())
        return nResult;
    return GetSelectedInfo(1, tag);
}

int CMemTagShowSheet::GetSelectedInfo(int nKind, CMemTag& tag) {
    switch (nKind) {
        case 1: {
            const CString& strName = CTagShowExDlg::Remembered().strSelectedTag;
            if (strName.IsEmpty())
                return 0;
            return m_tagPage.LookupTag(strName, tag) ? 1 : 0;
        }
        case 2:
        case 3: {
            const CNumberedListPage& page = nKind == 2
                                                ? static_cast<const CNumberedListPage&>(m_eventPage)
                                                : static_cast<const CNumberedListPage&>(m_taskPage);
            const int nNo = page.GetChosenNo();
            if (nNo < 0)
                return 0;
            page.LookupNo(nNo, tag);
            tag.strName =
                CString(nKind == 2 ? gbtext::EventPrefix : gbtext::TaskPrefix) + tag.strName;
            tag.nDataType = nKind == 2 ? 5 : 6;
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
    // Straight into the page's list: a working copy of a million tags here would cost as much
    // time as memory.
    arr.RemoveAll();
    return m_pStore->GetAllTags(arr, nSource);
}

int CMemTagShowSheet::GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    return m_pStore->GetAllEvents(arr, nSource);
}

int CMemTagShowSheet::GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    return m_pStore->GetAllTasks(arr, nSource);
}

int CMemTagShowSheet::GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    return m_pStore->GetAllStructObjects(arr, nSource);
}

int CMemTagShowSheet::SetConfigureFilePath(const CString& strPath) {
    if (strPath == m_strConfigPath)
        return 1;
    m_strConfigPath = strPath;
    return m_pStore->SetConfigureFilePath(strPath) ? 1 : 0;
}

int CMemTagShowSheet::AddData(int nType, int nSource, void* pData, CString strStructType) {
    return m_pStore->AddData(nType, nSource, pData, strStructType);
}
int CMemTagShowSheet::AddStruct(int nSource, StructObject_Info* p) {
    return m_pStore->AddStruct(nSource, p);
}
int CMemTagShowSheet::AddEvent(int nSource, Thing_Info* p) {
    return m_pStore->AddEvent(nSource, p);
}
int CMemTagShowSheet::AddTask(int nSource, Task_Info* p) {
    return m_pStore->AddTask(nSource, p);
}
int CMemTagShowSheet::DelData(int nType, int nSource, void* pData) {
    return m_pStore->DelData(nType, nSource, pData);
}
int CMemTagShowSheet::DelData(const CString& strName) {
    return m_pStore->DelData(strName);
}
int CMemTagShowSheet::DelStruct(int nSource, StructObject_Info* p) {
    return m_pStore->DelStruct(nSource, p);
}
int CMemTagShowSheet::DelStruct(int nSource, const CString& strName) {
    return m_pStore->DelStruct(nSource, strName);
}
int CMemTagShowSheet::DelEvent(int nSource, Thing_Info* p) {
    return m_pStore->DelEvent(nSource, p);
}
int CMemTagShowSheet::DelEvent(int nSource, const int& nNo) {
    return m_pStore->DelEvent(nSource, nNo);
}
int CMemTagShowSheet::DelTask(int nSource, Task_Info* p) {
    return m_pStore->DelTask(nSource, p);
}
int CMemTagShowSheet::DelTask(int nSource, const int& nNo) {
    return m_pStore->DelTask(nSource, nNo);
}
int CMemTagShowSheet::ModifyData(int nType, int nSource, void* pNew, CString strOldName,
                                 CString strStructType) {
    return m_pStore->ModifyData(nType, nSource, pNew, strOldName, strStructType);
}
int CMemTagShowSheet::ModifyStruct(int nSource, StructObject_Info* pNew, CString strOldName) {
    return m_pStore->ModifyStruct(nSource, pNew, strOldName);
}
int CMemTagShowSheet::ModifyEvent(int nSource, Thing_Info* pNew, int nOldNo) {
    return m_pStore->ModifyEvent(nSource, pNew, nOldNo);
}
int CMemTagShowSheet::ModifyTask(int nSource, Task_Info* pNew, int nOldNo) {
    return m_pStore->ModifyTask(nSource, pNew, nOldNo);
}
int CMemTagShowSheet::GetSpecyStructObj(const CString& strType,
                                        CArray<StructObject_Info, StructObject_Info>& arr,
                                        int nSource) {
    return m_pStore->GetSpecyStructObj(strType, arr, nSource);
}
int CMemTagShowSheet::GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource) {
    return m_pStore->GetTagArray(arr, nSource);
}
int CMemTagShowSheet::GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData) {
    return m_pStore->GetTagInfoWithIdx(idx, pData);
}
int CMemTagShowSheet::GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag) {
    return m_pStore->GetTagInfoWithIdx(idx, tag);
}
int CMemTagShowSheet::JustTagFromBRK(CString strName) {
    return m_pStore->JustTagFromBRK(strName);
}
int CMemTagShowSheet::JustTagFromRMP(CString strName) {
    return m_pStore->JustTagFromRMP(strName);
}
int CMemTagShowSheet::GetSelute(CString strName, CMemTag& tag) {
    return m_pStore->GetSelute(strName, tag);
}
int CMemTagShowSheet::RemoveAllBRKFile(int nScope) {
    return m_pStore->RemoveAllBRKFile(nScope);
}
int CMemTagShowSheet::RemoveAllRMPFile(int nScope) {
    return m_pStore->RemoveAllRMPFile(nScope);
}
int CMemTagShowSheet::BackupAsOldFile(int nSource) {
    return m_pStore->BackupAsOldFile(nSource);
}
int CMemTagShowSheet::RecoverWithOldFile(int nSource) {
    return m_pStore->RecoverWithOldFile(nSource);
}
int CMemTagShowSheet::AddError(CString& strMsg) {
    return m_pStore->AddError(strMsg);
}
int CMemTagShowSheet::GetErrStringArray(CStringArray& arr) {
    return m_pStore->GetErrStringArray(arr);
}
int CMemTagShowSheet::RemoveErrorFile() {
    return m_pStore->RemoveErrorFile();
}
int CMemTagShowSheet::GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName,
                                     CStringArray& arrDesc) {
    return m_pStore->GetAllAreaInfo(arrNo, arrName, arrDesc);
}
int CMemTagShowSheet::GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo,
                                       CStringArray& arrName, CStringArray& arrDesc) {
    return m_pStore->GetAllRegionInfo(arrAreaNo, arrRegionNo, arrName, arrDesc);
}
