// Tasks, events and struct objects: plain record files walked for every search.
#include <vector>

#include "StoreItems.h"
#include "TagIndex.h"
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

auto Numbered(int nNo) {
    return [nNo](const auto& rec) { return rec.nNo == nNo; };
}

auto NamedObject(const CString& strName) {
    return [&strName](const StructObject_Info& rec) {
        return CStringFromField(rec.szObjName, sizeof rec.szObjName) == strName;
    };
}

// Offsets of the live records of `f` that `match` accepts, in slot order; only the first one
// with bFirstOnly, whose record then goes to *pFound when given.
template <class T, class Match>
std::vector<std::uint32_t> LiveMatches(CFile& f, const Match& match, bool bFirstOnly,
                                       T* pFound = nullptr) {
    std::vector<std::uint32_t> found;
    tagfile::WalkLive<T>(f, [&](std::uint32_t dwOffset, const T& rec) {
        if (!match(rec))
            return true;
        found.push_back(dwOffset);
        if (pFound)
            *pFound = rec;
        return !bFirstOnly;
    });
    return found;
}

// Marks the records of kind T at `offsets` deleted and releases their slots, in that order.
template <class T>
bool DeleteSlots(CFile& f, const std::vector<std::uint32_t>& offsets) {
    const std::uint16_t wDeleted = 1;
    std::uint32_t dwEnd;
    if (!tagfile::ReadEnd(f, sizeof(T), dwEnd))
        return false;
    for (std::uint32_t off : offsets) {
        tagfile::ReleasePlan plan;
        if (!tagfile::PlanRelease(f, sizeof(T), dwEnd, off, plan) ||
            !f.WriteAt(std::uint64_t{off} + offsetof(T, wDeleted), &wDeleted, 2) ||
            !tagfile::CommitRelease(f, plan))
            return false;
    }
    return true;
}

}  // namespace

int CStoreItems::AddRecord(int nKind, int nSource, const void* pRecord, int nSize) {
    return UnderWriteLock(nKind, nSource, [&](CFile& f) {
        const long long nOffset = tagfile::TakeSlot(f, pRecord, nSize);
        return nOffset < 0 ? -1 : static_cast<int>(nOffset);
    });
}

int CStoreItems::AddTask(Task_Info* pTask) {
    return pTask ? AddRecord(tagfile::kKindTask, m_nDataSource, pTask, sizeof *pTask) : -1;
}
int CStoreItems::AddEvent(Thing_Info* pEvent) {
    return pEvent ? AddRecord(tagfile::kKindEvent, m_nDataSource, pEvent, sizeof *pEvent) : -1;
}
int CStoreItems::AddStruct(StructObject_Info* pStruct) {
    return pStruct ? AddRecord(tagfile::kKindStruct, m_nDataSource, pStruct, sizeof *pStruct) : -1;
}

// --- change and delete ----------------------------------------------------------------------

template <class T, class Match>
int CStoreItems::ModifyFirst(int nKind, int nSource, const T* pNew, const Match& match,
                             const char* pszNotFound, int nNo) {
    if (!pNew)
        return -1;
    return UnderWriteLock(nKind, nSource, [&](CFile& f) {
        const std::vector<std::uint32_t> at = LiveMatches<T>(f, match, true);
        if (at.empty()) {
            if (pszNotFound)
                ReportError(pszNotFound, nNo);
            return -1;
        }
        return f.WriteAt(at[0], pNew, sizeof *pNew) ? 1 : -1;
    });
}

int CStoreItems::ModifyTask(Task_Info* pNew, int nNo) {
    return ModifyFirst(tagfile::kKindTask, m_nDataSource, pNew, Numbered(nNo),
                       gbtext::ModifyTaskNotFound, nNo);
}

int CStoreItems::ModifyEvent(Thing_Info* pNew, int nNo) {
    return ModifyFirst(tagfile::kKindEvent, m_nDataSource, pNew, Numbered(nNo), nullptr, nNo);
}

int CStoreItems::ModifyStruct(StructObject_Info* pNew, const CString& strName) {
    return ModifyFirst(tagfile::kKindStruct, m_nDataSource, pNew, NamedObject(strName), nullptr, 0);
}

template <class T>
int CStoreItems::DelNumbered(int nKind, int nSource, int nNo, const char* pszNotFound) {
    return UnderWriteLock(nKind, nSource, [&](CFile& f) {
        const std::vector<std::uint32_t> at = LiveMatches<T>(f, Numbered(nNo), true);
        if (at.empty()) {
            ReportError(pszNotFound, nNo);
            return -1;
        }
        return DeleteSlots<T>(f, at) ? 1 : -1;
    });
}

int CStoreItems::DelTask(int nNo) {
    return DelNumbered<Task_Info>(tagfile::kKindTask, m_nDataSource, nNo,
                                  gbtext::DeleteTaskNotFound);
}

int CStoreItems::DelEvent(int nNo) {
    return DelNumbered<Thing_Info>(tagfile::kKindEvent, m_nDataSource, nNo,
                                   gbtext::DeleteEventNotFound);
}

int CStoreItems::DelStruct(const CString& strName) {
    return UnderWriteLock(tagfile::kKindStruct, m_nDataSource, [&](CFile& f) {
        DeleteSlots<StructObject_Info>(
            f, LiveMatches<StructObject_Info>(f, NamedObject(strName), false));
        return 1;
    });
}

// --- look-ups -------------------------------------------------------------------------------

template <class T>
int CStoreItems::FindNumbered(int nKind, int nType, const char* pszNameFormat, int nNo,
                              CMemTag& tag) {
    if (!HasDirectory())
        return 0;
    for (int src : {memtag::kSourceZuZir, memtag::kSourceBrakk}) {
        CFile* pFile = ItemFile(nKind, src);
        T rec{};
        if (pFile && !LiveMatches<T>(*pFile, Numbered(nNo), true, &rec).empty()) {
            FillNumbered(rec, nType, pszNameFormat, tag);
            return 1;
        }
    }
    return 0;
}

int CStoreItems::FindEvent(int nNo, CMemTag& tag) {
    return FindNumbered<Thing_Info>(tagfile::kKindEvent, memtag::kTypeEvent, gbtext::EventName, nNo,
                                    tag);
}

int CStoreItems::FindTask(int nNo, CMemTag& tag) {
    return FindNumbered<Task_Info>(tagfile::kKindTask, memtag::kTypeTask, gbtext::TaskName, nNo,
                                   tag);
}

int CStoreItems::FindStructType(const CString& strName, CString& strType) {
    strType.Empty();
    if (strName.IsEmpty() || !HasDirectory())
        return 0;
    for (int src : {memtag::kSourceBrakk, memtag::kSourceZuZir}) {
        CFile* pFile = ItemFile(tagfile::kKindStruct, src);
        if (!pFile)
            continue;
        StructObject_Info rec{};
        if (!LiveMatches<StructObject_Info>(*pFile, NamedObject(strName), true, &rec).empty()) {
            strType = CStringFromField(rec.szStructType, sizeof rec.szStructType);
            return 1;
        }
    }
    return 0;
}

// --- listings -------------------------------------------------------------------------------

template <class T, class Fn>
bool CStoreItems::WalkListed(int nKind, int nSource, Fn&& fn) {
    SetDataSource(nSource);
    CheckDataSource();
    bool bWalked = false;
    for (int src : ListedSources(nSource)) {
        if (CFile* pFile = ItemFile(nKind, src)) {
            bWalked = true;
            tagfile::WalkLive<T>(*pFile, [&](std::uint32_t, const T& rec) {
                fn(rec);
                return true;
            });
        }
    }
    return bWalked;
}

int CStoreItems::GetSpecyStructObj(const CString& strType,
                                   CArray<StructObject_Info, StructObject_Info>& arr, int nSource) {
    arr.RemoveAll();
    const bool bWalked = WalkListed<StructObject_Info>(
        tagfile::kKindStruct, nSource, [&](const StructObject_Info& rec) {
            if (CStringFromField(rec.szStructType, sizeof rec.szStructType) == strType)
                arr.Add(rec);
        });
    return bWalked ? 1 : 0;
}

template <class T>
void CStoreItems::ListNumbered(int nKind, int nType, CArray<CMemTag, CMemTag&>& arr, int nSource) {
    arr.RemoveAll();
    WalkListed<T>(nKind, nSource,
                  [&](const T& rec) { FillNumbered(rec, nType, "%d", arr.vec().emplace_back()); });
}

void CStoreItems::GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    ListNumbered<Thing_Info>(tagfile::kKindEvent, memtag::kTypeEvent, arr, nSource);
}

void CStoreItems::GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    ListNumbered<Task_Info>(tagfile::kKindTask, memtag::kTypeTask, arr, nSource);
}

void CStoreItems::GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int nSource) {
    arr.RemoveAll();
    WalkListed<StructObject_Info>(tagfile::kKindStruct, nSource, [&](const StructObject_Info& rec) {
        CMemTag& tag = arr.vec().emplace_back();
        tag.strName = CStringFromField(rec.szObjName, sizeof rec.szObjName);
        tag.strDesc = CStringFromField(rec.szStructType, sizeof rec.szStructType);
        tag.nUserWord = 0;
        tag.nArea = 0;
        tag.nRegion = 0;
        tag.nDataType = memtag::kTypeStruct;
        tag.nDataSource = rec.byDataSource;
    });
}
