// The facade: fixed set-and-check order, one engine call, one message per failure.
#include "FileFace.h"

#include <cstdlib>

#include "FileDypass.h"
#include "gbtext/StoreTexts.h"

CFileFace::CFileFace() : m_pDypass(std::make_unique<CFileDypass>()) {}

CFileFace::CFileFace(const CString& strDir, bool bReadOnly, const CString& strAreaInfoDir)
    : m_pDypass(std::make_unique<CFileDypass>(strDir, bReadOnly, strAreaInfoDir)) {}

CFileFace::~CFileFace() = default;

// --- tags -------------------------------------------------------------------------------------

int CFileFace::AddData(int nType, int nSource, void* pData, CString strStructType) {
    CFileDypass& e = *m_pDypass;
    e.SetDataType(nType);
    e.SetDataSource(nSource);
    e.SetStructType(strStructType);
    if (!e.CheckDataType())
        return -1;
    if (!e.CheckDataSource())
        return -1;
    if (!strStructType.IsEmpty() && !e.CheckStructType())
        return -1;
    // The record and its index entry in one hold of the source's write lock.
    CFileDypass::CWriteScope scope(e, nSource);
    int nOffset = e.WriteTagRecord(pData);
    if (nOffset == -1) {
        e.ReportError("%s", gbtext::AddDataFileFailed);
        return -1;
    }
    if (e.AddIndexEntry(nOffset, pData) == -1) {
        e.ReportError("%s", gbtext::AddDataIndexFailed);
        return -1;
    }
    return 1;
}

int CFileFace::ModifyData(int nType, int nSource, void* pNew, CString strOldName,
                          CString strStructType) {
    if (strOldName.IsEmpty())
        return -1;
    CFileDypass& e = *m_pDypass;
    e.SetDataType(nType);
    e.SetDataSource(nSource);
    e.SetStructType(strStructType);
    // The relink makes the stored type current; the record is still of the type declared.
    const int r = e.RenameTag(pNew, strOldName, nType);
    if (r == -1)
        e.ReportError(gbtext::ModifyOldNameMissing, strOldName.GetString());
    else if (r == -2)
        e.ReportError(gbtext::ModifyDataFailed, strOldName.GetString());
    else if (r == -3)
        e.ReportError(gbtext::ModifyLockTimeout, strOldName.GetString());
    return r == 1 ? 1 : -1;
}

int CFileFace::DelData(int nType, int nSource, void* pData) {
    CFileDypass& e = *m_pDypass;
    e.SetDataType(nType);
    if (!e.CheckDataType())
        return -1;
    e.SetDataSource(nSource);
    if (!e.CheckDataSource())
        return -1;
    if (!pData)
        return -1;
    // Every typed record starts with the same head: the name field is found without the type.
    return DelData(CStringFromField(static_cast<const char*>(pData) + memtag::kTagNameOffset,
                                    memtag::kTagNameField));
}

int CFileFace::DelData(const CString& strName) {
    int r = m_pDypass->DeleteTag(strName);
    if (r == -1)
        m_pDypass->ReportError(gbtext::DelDataFailed, strName.GetString());
    return r;
}

// --- struct objects, events, tasks --------------------------------------------------------------

int CFileFace::AddStruct(int nSource, StructObject_Info* p) {
    if (!p)
        return -1;
    CFileDypass& e = *m_pDypass;
    CString strType = CStringFromField(p->szStructType, sizeof p->szStructType);
    e.SetStructType(strType);
    e.SetDataSource(nSource);
    if (!e.CheckDataSource())
        return -1;
    if (!e.CheckStructType())
        return -1;
    if (e.AddStruct(p) == -1) {
        e.ReportError(gbtext::AddStructFailed, strType.GetString());
        return -1;
    }
    return 1;
}

namespace {

// An event or a task, added to or changed in source nSource by number: shared by both kinds.
template <class T, class Fn>
int AddNumbered(CFileDypass& e, int nSource, T* p, const char* pszFailed, Fn add) {
    if (!p)
        return -1;
    e.SetDataSource(nSource);
    if (!e.CheckDataSource())
        return -1;
    if (add(p) < 1) {
        e.ReportError(pszFailed, p->nNo);
        return -1;
    }
    return 1;
}

template <class T, class Fn>
int ModifyNumbered(CFileDypass& e, int nSource, T* pNew, int nOldNo, const char* pszBadNo,
                   const char* pszFailed, Fn modify) {
    if (!pNew)
        return -1;
    e.SetDataSource(nSource);
    if (!e.CheckDataSource())
        return -1;
    if (nOldNo < 0) {
        e.ReportError(pszBadNo, pNew->nNo);
        return -1;
    }
    if (modify(pNew, nOldNo) < 1) {
        e.ReportError(pszFailed, pNew->nNo);
        return -1;
    }
    return 1;
}

// Delete an event or a task by number: shared by the record and the number forms.
template <class DelFn>
int DeleteNumbered(CFileDypass& e, int nSource, int nNo, bool bCheckSign, const char* pszBadNo,
                   const char* pszFailed, DelFn del) {
    e.SetDataSource(nSource);
    if (!e.CheckDataSource())
        return -1;
    if (bCheckSign && nNo < 0) {
        e.ReportError(pszBadNo, nNo);
        return -1;
    }
    if (del(nNo) < 1) {
        e.ReportError(pszFailed, nNo);
        return -1;
    }
    return 1;
}

}  // namespace

int CFileFace::AddEvent(int nSource, Thing_Info* p) {
    return AddNumbered(*m_pDypass, nSource, p, gbtext::AddEventFailed,
                       [this](Thing_Info* r) { return m_pDypass->AddEvent(r); });
}

int CFileFace::AddTask(int nSource, Task_Info* p) {
    return AddNumbered(*m_pDypass, nSource, p, gbtext::AddTaskFailed,
                       [this](Task_Info* r) { return m_pDypass->AddTask(r); });
}

int CFileFace::DelStruct(int nSource, const CString& strName) {
    m_pDypass->SetDataSource(nSource);
    if (!m_pDypass->CheckDataSource())
        return -1;
    m_pDypass->DelStruct(strName);
    return 1;
}

int CFileFace::DelStruct(int nSource, StructObject_Info* p) {
    if (!p)
        return -1;
    CFileDypass& e = *m_pDypass;
    e.SetDataSource(nSource);
    e.SetStructType(CStringFromField(p->szStructType, sizeof p->szStructType));
    if (!e.CheckDataSource())
        return -1;
    if (!e.CheckStructType())
        return -1;
    e.DelStruct(CStringFromField(p->szObjName, sizeof p->szObjName));
    return 1;
}

int CFileFace::DelEvent(int nSource, Thing_Info* p) {
    if (!p)
        return -1;
    CFileDypass& e = *m_pDypass;
    return DeleteNumbered(e, nSource, p->nNo, false, nullptr, gbtext::DelEventFailed,
                          [&](int n) { return e.DelEvent(n); });
}

int CFileFace::DelEvent(int nSource, const int& nNo) {
    CFileDypass& e = *m_pDypass;
    return DeleteNumbered(e, nSource, nNo, true, gbtext::DelEventBadNo, gbtext::DelEventFailed,
                          [&](int n) { return e.DelEvent(n); });
}

int CFileFace::DelTask(int nSource, Task_Info* p) {
    if (!p)
        return -1;
    CFileDypass& e = *m_pDypass;
    return DeleteNumbered(e, nSource, p->nNo, false, nullptr, gbtext::DelTaskFailed,
                          [&](int n) { return e.DelTask(n); });
}

int CFileFace::DelTask(int nSource, const int& nNo) {
    CFileDypass& e = *m_pDypass;
    return DeleteNumbered(e, nSource, nNo, true, gbtext::DelTaskBadNo, gbtext::DelTaskFailed,
                          [&](int n) { return e.DelTask(n); });
}

int CFileFace::ModifyStruct(int nSource, StructObject_Info* pNew, CString strOldName) {
    CFileDypass& e = *m_pDypass;
    if (strOldName.IsEmpty()) {
        e.ReportError(gbtext::ModifyStructNoName, strOldName.GetString());
        return -1;
    }
    if (!pNew)
        return -1;
    e.SetDataSource(nSource);
    e.CheckDataSource();  // reported, but the engine decides with whatever source is current
    int r = e.ModifyStruct(pNew, strOldName);
    if (r == -1)
        e.ReportError(gbtext::ModifyStructFailed,
                      CStringFromField(pNew->szObjName, sizeof pNew->szObjName).GetString());
    return r;
}

int CFileFace::ModifyEvent(int nSource, Thing_Info* pNew, int nOldNo) {
    return ModifyNumbered(*m_pDypass, nSource, pNew, nOldNo, gbtext::ModifyEventBadNo,
                          gbtext::ModifyEventFailed,
                          [this](Thing_Info* r, int n) { return m_pDypass->ModifyEvent(r, n); });
}

int CFileFace::ModifyTask(int nSource, Task_Info* pNew, int nOldNo) {
    return ModifyNumbered(*m_pDypass, nSource, pNew, nOldNo, gbtext::ModifyTaskBadNo,
                          gbtext::ModifyTaskFailed,
                          [this](Task_Info* r, int n) { return m_pDypass->ModifyTask(r, n); });
}

// --- queries ------------------------------------------------------------------------------------

int CFileFace::GetSelute(CString strName, CMemTag& tag) {
    if (strName.IsEmpty())
        return 0;
    return ResolveSelute(*m_pDypass, strName, tag);
}

int CFileFace::ResolveSelute(CFileDypass& e, const CString& strName, CMemTag& tag) {
    CString strBase(strName.GetString());  // up to the first zero character
    if (strBase.IsEmpty())
        return 0;
    const CString strEvent(gbtext::EventPrefix), strTask(gbtext::TaskPrefix);
    if (strBase.Left(strEvent.GetLength()) == strEvent)
        return e.FindEvent(std::atoi(strBase.Mid(strEvent.GetLength())), tag);
    if (strBase.Left(strTask.GetLength()) == strTask)
        return e.FindTask(std::atoi(strBase.Mid(strTask.GetLength())), tag);
    CString strLookup = strBase;
    if (strBase.Find('.') < 0) {
        CString strType;
        if (e.FindStructType(strBase, strType)) {
            if (strType == "#AISM")
                strLookup += ".VAL";
            else if (strType == "#LOOP" || strType == "#USERLOOP")
                strLookup += ".PV";
            else if (strType == "#PAT")
                strLookup += ".MV";
        }
    }
    return e.GetTagByName(strLookup, tag);
}

int CFileFace::JustTagFromBRK(CString strName) {
    return m_pDypass->JustTagFromBRK(strName);
}

int CFileFace::JustTagFromRMP(CString strName) {
    return m_pDypass->JustTagFromRMP(strName);
}

int CFileFace::GetSpecyStructObj(const CString& strType,
                                 CArray<StructObject_Info, StructObject_Info>& arr, int nSource) {
    return m_pDypass->GetSpecyStructObj(strType, arr, nSource);
}

int CFileFace::GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource) {
    return m_pDypass->GetTagArray(arr, nSource);
}

int CFileFace::GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData) {
    return m_pDypass->GetTagInfoWithIdx(idx, pData);
}

int CFileFace::GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag) {
    return m_pDypass->GetTagInfoWithIdx(idx, tag);
}

int CFileFace::GetAllTags(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    return m_pDypass->GetAllTags(arr, nSource);
}

int CFileFace::GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    m_pDypass->GetAllEvents(arr, nSource);  // empties the array itself
    return 1;
}

int CFileFace::GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    m_pDypass->GetAllTasks(arr, nSource);  // empties the array itself
    return 1;
}

int CFileFace::GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    m_pDypass->GetAllStructObjects(arr, nSource);  // empties the array itself
    return 1;
}

// --- the file set -------------------------------------------------------------------------------

int CFileFace::RemoveFilesOf(int nScope, int (CFileDypass::*remove)(int)) {
    if (nScope < 0 || nScope > 2) {
        m_pDypass->ReportError("%s", gbtext::SourceUndefined);
        return 0;
    }
    return (m_pDypass.get()->*remove)(nScope);
}

int CFileFace::RemoveAllBRKFile(int nScope) {
    return RemoveFilesOf(nScope, &CFileDypass::RemoveAllBRKFile);
}

int CFileFace::RemoveAllRMPFile(int nScope) {
    return RemoveFilesOf(nScope, &CFileDypass::RemoveAllRMPFile);
}

int CFileFace::BackupAsOldFile(int nSource) {
    return m_pDypass->BackupAsOldFile(nSource);
}

int CFileFace::RecoverWithOldFile(int nSource) {
    return m_pDypass->RecoverWithOldFile(nSource);
}

int CFileFace::SetConfigureFilePath(const CString& strPath) {
    return m_pDypass->SetConfigureFilePath(strPath);
}

// --- error file ---------------------------------------------------------------------------------

int CFileFace::AddError(CString& strMsg) {
    return m_pDypass->AddError(strMsg);
}

int CFileFace::GetErrStringArray(CStringArray& arr) {
    return m_pDypass->GetErrStringArray(arr);
}

int CFileFace::RemoveErrorFile() {
    return m_pDypass->RemoveErrorFile();
}

// --- areas and regions --------------------------------------------------------------------------

int CFileFace::GetAllAreaInfo(CDWordArray& arrNo, CStringArray& arrName, CStringArray& arrDesc) {
    return m_pDypass->GetAllAreaInfo(arrNo, arrName, arrDesc);
}

int CFileFace::GetAllRegionInfo(CDWordArray& arrAreaNo, CDWordArray& arrRegionNo,
                                CStringArray& arrName, CStringArray& arrDesc) {
    return m_pDypass->GetAllRegionInfo(arrAreaNo, arrRegionNo, arrName, arrDesc);
}
