// Tasks, events and struct objects: plain record files walked for every search.
#include <vector>

#include "FileDypass.h"
#include "gbtext/StoreTexts.h"

namespace {

// The sources a listing of `nSource` walks, in order: Brakk then ZuZir for both.
std::vector<int> ListedSources(int nSource) {
    switch (nSource) {
        case memtag::kSourceBoth:
            return {memtag::kSourceBrakk, memtag::kSourceZuZir};
        case memtag::kSourceZuZir:
            return {memtag::kSourceZuZir};
        case memtag::kSourceBrakk:
            return {memtag::kSourceBrakk};
        default:
            return {};
    }
}

template <class T>
void FillNumbered(const T& rec, int nType, const char* pszNameFormat, CMemTag& tag) {
    tag.strName.Format(pszNameFormat, rec.nNo);
    tag.strDesc = CStringFromField(rec.szDesc, sizeof rec.szDesc);
    tag.nUserWord = rec.nUserWord;
    tag.nDataType = nType;
    tag.nDataSource = rec.byDataSource;
    tag.nArea = rec.wGroup;
}

bool SameObjName(const StructObject_Info& rec, const CString& strName) {
    return CStringFromField(rec.szObjName, sizeof rec.szObjName) == strName;
}

// Marks the records at `offsets` deleted and releases their slots, in that order.
bool DeleteSlots(CFile& f, int nSlotSize, std::size_t nFlagOffset,
                 const std::vector<std::uint32_t>& offsets) {
    const std::uint16_t wDeleted = 1;
    std::uint32_t dwEnd;
    if (!tagfile::ReadEnd(f, nSlotSize, dwEnd))
        return false;
    for (std::uint32_t off : offsets) {
        tagfile::ReleasePlan plan;
        if (!tagfile::PlanRelease(f, nSlotSize, dwEnd, off, plan) ||
            !f.WriteAt(std::uint64_t{off} + nFlagOffset, &wDeleted, 2) ||
            !tagfile::CommitRelease(f, plan))
            return false;
    }
    return true;
}

}  // namespace

template <class T>
int CFileDypass::AddItem(int nKind, T* pRec) {
    if (m_strTempDir.IsEmpty() || !pRec)
        return -1;
    CFile* pFile = UsableFile(SlotOf(nKind, m_nDataSource));
    if (!pFile)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    const long long nOffset = tagfile::TakeSlot(*pFile, pRec, sizeof(T));
    return nOffset < 0 ? -1 : static_cast<int>(nOffset);
}

int CFileDypass::AddTask(Task_Info* pTask) {
    return AddItem(kKindTask, pTask);
}
int CFileDypass::AddEvent(Thing_Info* pEvent) {
    return AddItem(kKindEvent, pEvent);
}
int CFileDypass::AddStruct(StructObject_Info* pStruct) {
    return AddItem(kKindStruct, pStruct);
}

namespace {

// The first live record numbered `nNo` in `f`: its offset, or -1.
template <class T>
long long FirstNumbered(CFile& f, int nNo, T* pFound = nullptr) {
    long long nAt = -1;
    tagfile::WalkLive<T>(f, [&](std::uint32_t dwOffset, const T& rec) {
        if (rec.nNo != nNo)
            return true;
        nAt = dwOffset;
        if (pFound)
            *pFound = rec;
        return false;
    });
    return nAt;
}

}  // namespace

int CFileDypass::ModifyTask(Task_Info* pNew, int nNo) {
    CFile* pFile = m_strTempDir.IsEmpty() ? nullptr : UsableFile(SlotOf(kKindTask, m_nDataSource));
    if (!pFile || !pNew)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    const long long nAt = FirstNumbered<Task_Info>(*pFile, nNo);
    if (nAt < 0) {
        ReportError(gbtext::ModifyTaskNotFound, nNo);
        return -1;
    }
    return pFile->WriteAt(static_cast<std::uint64_t>(nAt), pNew, sizeof *pNew) ? 1 : -1;
}

int CFileDypass::ModifyEvent(Thing_Info* pNew, int nNo) {
    CFile* pFile = m_strTempDir.IsEmpty() ? nullptr : UsableFile(SlotOf(kKindEvent, m_nDataSource));
    if (!pFile || !pNew)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    const long long nAt = FirstNumbered<Thing_Info>(*pFile, nNo);
    if (nAt < 0)
        return -1;
    return pFile->WriteAt(static_cast<std::uint64_t>(nAt), pNew, sizeof *pNew) ? 1 : -1;
}

int CFileDypass::ModifyStruct(StructObject_Info* pNew, const CString& strName) {
    CFile* pFile =
        m_strTempDir.IsEmpty() ? nullptr : UsableFile(SlotOf(kKindStruct, m_nDataSource));
    if (!pFile || !pNew)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    long long nAt = -1;
    tagfile::WalkLive<StructObject_Info>(*pFile,
                                         [&](std::uint32_t dwOffset, const StructObject_Info& rec) {
                                             if (!SameObjName(rec, strName))
                                                 return true;
                                             nAt = dwOffset;
                                             return false;
                                         });
    if (nAt < 0)
        return -1;
    return pFile->WriteAt(static_cast<std::uint64_t>(nAt), pNew, sizeof *pNew) ? 1 : -1;
}

int CFileDypass::DelTask(int nNo) {
    CFile* pFile = m_strTempDir.IsEmpty() ? nullptr : UsableFile(SlotOf(kKindTask, m_nDataSource));
    if (!pFile)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    const long long nAt = FirstNumbered<Task_Info>(*pFile, nNo);
    if (nAt < 0) {
        ReportError(gbtext::DeleteTaskNotFound, nNo);
        return -1;
    }
    return DeleteSlots(*pFile, sizeof(Task_Info), offsetof(Task_Info, wDeleted),
                       {static_cast<std::uint32_t>(nAt)})
               ? 1
               : -1;
}

int CFileDypass::DelEvent(int nNo) {
    CFile* pFile = m_strTempDir.IsEmpty() ? nullptr : UsableFile(SlotOf(kKindEvent, m_nDataSource));
    if (!pFile)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    const long long nAt = FirstNumbered<Thing_Info>(*pFile, nNo);
    if (nAt < 0) {
        ReportError(gbtext::DeleteEventNotFound, nNo);
        return -1;
    }
    return DeleteSlots(*pFile, sizeof(Thing_Info), offsetof(Thing_Info, wDeleted),
                       {static_cast<std::uint32_t>(nAt)})
               ? 1
               : -1;
}

int CFileDypass::DelStruct(const CString& strName) {
    CFile* pFile =
        m_strTempDir.IsEmpty() ? nullptr : UsableFile(SlotOf(kKindStruct, m_nDataSource));
    if (!pFile)
        return -1;
    CWriteScope scope(*this, m_nDataSource);
    if (!scope.Held())
        return -1;
    std::vector<std::uint32_t> offsets;
    tagfile::WalkLive<StructObject_Info>(*pFile,
                                         [&](std::uint32_t dwOffset, const StructObject_Info& rec) {
                                             if (SameObjName(rec, strName))
                                                 offsets.push_back(dwOffset);
                                             return true;
                                         });
    DeleteSlots(*pFile, sizeof(StructObject_Info), offsetof(StructObject_Info, wDeleted), offsets);
    return 1;
}

// --- look-ups -------------------------------------------------------------------------------

template <class T>
int CFileDypass::FindNumbered(int nKind, int nNo, int nFirstSource, T& found, int& nSource) {
    if (m_strTempDir.IsEmpty())
        return 0;
    const int nOther =
        nFirstSource == memtag::kSourceZuZir ? memtag::kSourceBrakk : memtag::kSourceZuZir;
    for (int src : {nFirstSource, nOther}) {
        CFile* pFile = UsableFile(SlotOf(nKind, src));
        if (pFile && FirstNumbered<T>(*pFile, nNo, &found) >= 0) {
            nSource = src;
            return 1;
        }
    }
    return 0;
}

int CFileDypass::FindEvent(int nNo, CMemTag& tag) {
    Thing_Info rec{};
    int nSource = 0;
    if (!FindNumbered(kKindEvent, nNo, memtag::kSourceZuZir, rec, nSource))
        return 0;
    FillNumbered(rec, memtag::kTypeEvent, gbtext::EventName, tag);
    return 1;
}

int CFileDypass::FindTask(int nNo, CMemTag& tag) {
    Task_Info rec{};
    int nSource = 0;
    if (!FindNumbered(kKindTask, nNo, memtag::kSourceZuZir, rec, nSource))
        return 0;
    FillNumbered(rec, memtag::kTypeTask, gbtext::TaskName, tag);
    return 1;
}

int CFileDypass::FindStructType(const CString& strName, CString& strType) {
    strType.Empty();
    if (strName.IsEmpty() || m_strTempDir.IsEmpty())
        return 0;
    for (int src : {memtag::kSourceBrakk, memtag::kSourceZuZir}) {
        CFile* pFile = UsableFile(SlotOf(kKindStruct, src));
        if (!pFile)
            continue;
        bool bFound = false;
        tagfile::WalkLive<StructObject_Info>(
            *pFile, [&](std::uint32_t, const StructObject_Info& rec) {
                if (!SameObjName(rec, strName))
                    return true;
                strType = CStringFromField(rec.szStructType, sizeof rec.szStructType);
                bFound = true;
                return false;
            });
        if (bFound)
            return 1;
    }
    return 0;
}

int CFileDypass::GetSpecyStructObj(const CString& strType,
                                   CArray<StructObject_Info, StructObject_Info>& arr, int nSource) {
    arr.RemoveAll();
    SetDataSource(nSource);
    CheckDataSource();
    if (m_strTempDir.IsEmpty())
        return 0;
    int nWalked = 0;
    for (int src : ListedSources(nSource)) {
        CFile* pFile = UsableFile(SlotOf(kKindStruct, src));
        if (!pFile)
            continue;
        nWalked = 1;
        tagfile::WalkLive<StructObject_Info>(
            *pFile, [&](std::uint32_t, const StructObject_Info& rec) {
                if (CStringFromField(rec.szStructType, sizeof rec.szStructType) == strType)
                    arr.Add(rec);
                return true;
            });
    }
    return nWalked;
}

// --- listings -------------------------------------------------------------------------------

void CFileDypass::GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    arr.RemoveAll();
    SetDataSource(nSource);
    if (!CheckDataSource() || m_strTempDir.IsEmpty())
        return;
    for (int src : ListedSources(nSource)) {
        if (CFile* pFile = UsableFile(SlotOf(kKindEvent, src))) {
            tagfile::WalkLive<Thing_Info>(*pFile, [&](std::uint32_t, const Thing_Info& rec) {
                FillNumbered(rec, memtag::kTypeEvent, "%d", arr.vec().emplace_back());
                return true;
            });
        }
    }
}

void CFileDypass::GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    arr.RemoveAll();
    SetDataSource(nSource);
    if (!CheckDataSource() || m_strTempDir.IsEmpty())
        return;
    for (int src : ListedSources(nSource)) {
        if (CFile* pFile = UsableFile(SlotOf(kKindTask, src))) {
            tagfile::WalkLive<Task_Info>(*pFile, [&](std::uint32_t, const Task_Info& rec) {
                FillNumbered(rec, memtag::kTypeTask, "%d", arr.vec().emplace_back());
                return true;
            });
        }
    }
}

void CFileDypass::GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    arr.RemoveAll();
    SetDataSource(nSource);
    if (!CheckDataSource() || m_strTempDir.IsEmpty())
        return;
    for (int src : ListedSources(nSource)) {
        if (CFile* pFile = UsableFile(SlotOf(kKindStruct, src))) {
            tagfile::WalkLive<StructObject_Info>(
                *pFile, [&](std::uint32_t, const StructObject_Info& rec) {
                    CMemTag& tag = arr.vec().emplace_back();
                    tag.strName = CStringFromField(rec.szObjName, sizeof rec.szObjName);
                    tag.strDesc = CStringFromField(rec.szStructType, sizeof rec.szStructType);
                    tag.nUserWord = 0;
                    tag.nArea = 0;
                    tag.nRegion = 0;
                    tag.nDataType = memtag::kTypeStruct;
                    tag.nDataSource = rec.byDataSource;
                    return true;
                });
        }
    }
}
