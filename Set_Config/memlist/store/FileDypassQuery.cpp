// Tag queries: names, index listings and records by index entry. They never write.
#include <optional>
#include <vector>

#include "FileDypass.h"
#include "gbtext/StoreTexts.h"

namespace {

using memtag::AnyTagRecord;

_INDEX_STRUCT ToIndexStruct(const TagIndexEntry& e) {
    return _INDEX_STRUCT{e.Type(), e.Source(), static_cast<std::int32_t>(e.RecordOffset()),
                         e.byArea, e.byRegion};
}

}  // namespace

int CFileDypass::JustTagFromBRK(const CString& strName) {
    NameHit hit;
    return ResolveName(kTreeBrakk, strName, hit) ? static_cast<int>(hit.dwEntry) : 0;
}

int CFileDypass::JustTagFromRMP(const CString& strName) {
    NameHit hit;
    return ResolveName(kTreeZuZir, strName, hit) ? static_cast<int>(hit.dwEntry) : 0;
}

int CFileDypass::GetTagByName(const CString& strName, CMemTag& tag) {
    NameHit hit;
    tagfile::EntryFault fault;
    const bool bFound = ResolveEither(strName, hit, &fault);
    SetDataSource(bFound ? hit.entry.Source() : 0);
    SetDataType(bFound ? hit.entry.Type() : 0);
    if (!bFound) {
        // A live entry of the name whose record is not its own is damage worth a message.
        if (fault == tagfile::EntryFault::kRecordOutOfRange)
            ReportError(gbtext::TagIndexOutOfRange, strName.GetString());
        else if (fault == tagfile::EntryFault::kRecordOtherName)
            ReportError(gbtext::TagNameMismatch, strName.GetString());
        else if (fault == tagfile::EntryFault::kRecordDeleted)
            ReportError(gbtext::TagDeleted, strName.GetString());
        return 0;
    }
    const int nType = hit.entry.Type();
    FillFromRecord(&hit.record, nType, hit.entry.Source(), tag, false);
    return 1;
}

int CFileDypass::GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource) {
    arr.RemoveAll();
    SetDataSource(nSource);
    if (!CheckDataSource())
        return 0;
    const int sources[2] = {memtag::kSourceBrakk, memtag::kSourceZuZir};
    for (int src : sources) {
        if (nSource != memtag::kSourceBoth && nSource != src)
            continue;
        CFile* pFile = UsableFile(SlotOf(kKindIndex, src));
        if (!pFile)
            continue;
        tagfile::WalkLive<TagIndexEntry>(*pFile, [&](std::uint32_t, const TagIndexEntry& e) {
            _INDEX_STRUCT idx = ToIndexStruct(e);
            arr.Add(idx);
            return true;
        });
    }
    return 1;
}

bool CFileDypass::CheckIndexCodes(const _INDEX_STRUCT& idx) {
    SetDataType(idx.nDataType);
    if (!CheckDataType()) {
        ReportError("%s", gbtext::IdxTypeBad);
        return false;
    }
    SetDataSource(idx.nDataSource);
    if (!CheckDataSource()) {
        ReportError("%s", gbtext::IdxSourceBad);
        return false;
    }
    return true;
}

CFile* CFileDypass::IndexedRecordFile(const _INDEX_STRUCT& idx) {
    const int nSlot = SlotOf(idx.nDataType, idx.nDataSource);
    if (m_strTempDir.IsEmpty() || !memtag::IsTagType(idx.nDataType) || nSlot < 0)
        return nullptr;
    const TempFileSlot& slot = m_files[nSlot];
    if (!slot.nOpen || !slot.pFile)
        return nullptr;
    const int nSize = memtag::TagRecordSize(idx.nDataType);
    std::uint32_t dwEnd = 0;
    // An entry kept from an earlier listing may no longer fit the file: read only real slots.
    if (idx.nOffset < 0 || !tagfile::ReadEnd(*slot.pFile, nSize, dwEnd) ||
        !tagfile::IsSlot(static_cast<std::uint32_t>(idx.nOffset), dwEnd, nSize))
        return nullptr;
    return slot.pFile;
}

int CFileDypass::GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData) {
    if (!CheckIndexCodes(idx))
        return 0;
    if (!pData)
        return 1;
    CFile* pFile = IndexedRecordFile(idx);
    if (!pFile)
        return 0;
    const std::size_t nSize = static_cast<std::size_t>(memtag::TagRecordSize(idx.nDataType));
    if (pFile->ReadAt(static_cast<std::uint32_t>(idx.nOffset), pData, nSize) < 0)
        return 0;
    std::uint16_t wDeleted;
    std::memcpy(&wDeleted, static_cast<const char*>(pData) + memtag::kTagDeletedOffset, 2);
    return wDeleted == 1 ? 0 : 1;
}

int CFileDypass::GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag) {
    if (!CheckIndexCodes(idx))
        return 0;
    CFile* pFile = IndexedRecordFile(idx);
    if (!pFile)
        return 0;
    AnyTagRecord rec;
    rec.ResetAs(idx.nDataType);
    pFile->ReadAt(static_cast<std::uint32_t>(idx.nOffset), &rec,
                  static_cast<std::size_t>(memtag::TagRecordSize(idx.nDataType)));
    if (rec.s.wDeleted == 1)
        return 0;
    FillFromRecord(&rec, idx.nDataType, idx.nDataSource, tag, true);
    return 1;
}

int CFileDypass::GetAllTags(CArray<CMemTag, CMemTag&>& arr, int /*nSource*/) {
    arr.RemoveAll();
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> entries;
    GetTagArray(entries, memtag::kSourceBoth);
    arr.Reserve(entries.GetSize());
    // Each entry is resolved as GetTagInfoWithIdx resolves it, but the typed files are read in
    // blocks: entries mostly come in record order, so one read serves many tags.
    std::optional<tagfile::CSlotReader> readers[kSlotCount];
    for (const _INDEX_STRUCT& idx : entries) {
        if (!memtag::IsTagType(idx.nDataType) || !memtag::IsSource(idx.nDataSource)) {
            CMemTag unused;
            GetTagInfoWithIdx(idx, unused);  // its messages; it cannot succeed
            continue;
        }
        SetDataType(idx.nDataType);
        SetDataSource(idx.nDataSource);
        const int nSlot = SlotOf(idx.nDataType, idx.nDataSource);
        CFile* pFile = UsableFile(nSlot);
        if (!pFile || idx.nOffset < 0)
            continue;
        const int nSize = memtag::TagRecordSize(idx.nDataType);
        if (!readers[nSlot])
            readers[nSlot].emplace(*pFile, nSize);
        std::size_t nAvail = 0;
        const unsigned char* pSlot =
            readers[nSlot]->Slot(static_cast<std::uint32_t>(idx.nOffset), nAvail);
        if (!pSlot)
            continue;
        const void* pRecord = pSlot;
        AnyTagRecord rec;
        if (nAvail < static_cast<std::size_t>(nSize)) {
            // The file ends inside the record: the rest reads as reset.
            rec.ResetAs(idx.nDataType);
            std::memcpy(&rec, pSlot, nAvail);
            pRecord = &rec;
        }
        if (tagfile::IsDeletedSlot(idx.nDataType, pRecord))
            continue;
        // Filled in place: a copy into the array would double the string allocations.
        FillFromRecord(pRecord, idx.nDataType, idx.nDataSource, arr.vec().emplace_back(), true);
    }
    return 1;
}
