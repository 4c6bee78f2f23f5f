// Record files and the tag index: slots, walks, index entries, name look-ups.
#include "FileDypass.h"
#include "MyKey.h"
#include "filebplustreenode.h"
#include "gbtext/StoreTexts.h"

TempFileSlot CFileDypass::GetFileSlot(int nSlot) const {
    return nSlot >= 0 && nSlot < kSlotCount ? m_files[nSlot] : TempFileSlot{};
}

CFile* CFileDypass::UsableFile(int nSlot) const {
    if (m_strTempDir.IsEmpty() || nSlot < 0 || nSlot >= kSlotCount || !m_files[nSlot].nOpen)
        return nullptr;
    return m_files[nSlot].pFile;
}

void CFileDypass::GetTagFile(CString& strPath, TempFileSlot& slot) const {
    strPath.Empty();
    slot = TempFileSlot{};
    if (m_strTempDir.IsEmpty() || !memtag::IsTagType(m_nDataType))
        return;
    const int nSlot = SlotOf(m_nDataType, m_nDataSource);
    if (nSlot < 0)
        return;
    strPath = TempPath(SlotFileName(nSlot));
    slot = m_files[nSlot];
}

// --- names ----------------------------------------------------------------------------------

int CFileDypass::TreeOfSource(int nSource) {
    if (nSource == memtag::kSourceBrakk)
        return kTreeBrakk;
    if (nSource == memtag::kSourceZuZir)
        return kTreeZuZir;
    return -1;
}

int CFileDypass::IndexSlotOfTree(int nTree) {
    return SlotOf(kKindIndex, nTree == kTreeBrakk ? memtag::kSourceBrakk : memtag::kSourceZuZir);
}

bool CFileDypass::NameFieldTerminated(const void* pData) {
    const char* name = static_cast<const char*>(pData) + memtag::kTagNameOffset;
    return std::memchr(name, 0, memtag::kTagNameField) != nullptr;
}

CString CFileDypass::GetTagName(const void* pData) {
    if (!pData)
        return CString();
    return CStringFromField(static_cast<const char*>(pData) + memtag::kTagNameOffset,
                            memtag::kTagNameField);
}

// --- index entries --------------------------------------------------------------------------

int CFileDypass::AddIndexEntry(int nRecordOffset, const void* pData) {
    const int nTree = TreeOfSource(m_nDataSource);
    if (nTree < 0) {
        ReportError("%s", gbtext::IndexSourceBad);
        return -1;
    }
    if (!pData || !memtag::IsTagType(m_nDataType) || nRecordOffset < 0 ||
        !NameFieldTerminated(pData) || !WriteStarts(nTree))
        return -1;
    CFile* pFile = UsableFile(IndexSlotOfTree(nTree));
    if (!pFile)
        return -1;
    CWriteScope hold(*this, nTree, CWriteScope::Started{});
    if (!hold.Held())
        return -1;
    const char* rec = static_cast<const char*>(pData);
    std::int32_t nArea, nRegion;
    std::memcpy(&nArea, rec + offsetof(BoolTagInfo, nArea), 4);
    std::memcpy(&nRegion, rec + offsetof(BoolTagInfo, nRegion), 4);
    TagIndexEntry entry;
    entry.Reset();
    std::memcpy(entry.szName, rec + memtag::kTagNameOffset, sizeof entry.szName);
    entry.byArea = static_cast<std::uint8_t>(nArea & 0xFF);
    entry.byRegion = static_cast<std::uint8_t>(nRegion & 0xFF);
    entry.bySourceFlags = static_cast<std::uint8_t>(m_nDataSource);
    entry.dwTypeOffset =
        TagIndexEntry::PackTypeOffset(m_nDataType, static_cast<std::uint32_t>(nRecordOffset));
    CNameCache& names = *m_names[nTree];
    if (!names.BeforeIndexWrite(FilesOf(nTree)))
        return -1;
    const long long nEntry = tagfile::TakeSlot(*pFile, &entry, sizeof entry);
    if (nEntry < 0)
        return -1;
    m_nIndexSlot = nTree;
    names.Store(GetTagName(pData), static_cast<int>(nEntry));
    return static_cast<int>(nEntry);
}

int CFileDypass::LocateTag(const CString& strName, int& nType, int& nSource, int& nOffset) {
    NameHit hit;
    const bool bFound = ResolveEither(strName, hit);
    SetDataSource(bFound ? hit.entry.Source() : 0);
    SetDataType(bFound ? hit.entry.Type() : 0);
    nType = m_nDataType;
    nSource = m_nDataSource;
    nOffset = bFound ? static_cast<int>(hit.entry.RecordOffset()) : 0;
    return bFound ? 1 : 0;
}

// --- records to CMemTag ---------------------------------------------------------------------

namespace {

// Integer and real records differ only in how they store the range.
template <class Record>
void TakeRangedTail(const Record& r, double dHigh, double dLow, CMemTag& tag) {
    tag.dRangeHigh = dHigh;
    tag.dRangeLow = dLow;
    tag.strUnit.AssignField(r.szUnit, sizeof r.szUnit);
    tag.nTailWord = r.nTailWord;
}

}  // namespace

void CFileDypass::FillFromRecord(const void* pRecord, int nType, int nSource, CMemTag& tag,
                                 bool bClearUnitForOthers) const {
    const auto* head = static_cast<const StringTagInfo*>(pRecord);  // the shared head
    tag.strName.AssignField(head->szName, sizeof head->szName);
    tag.strDesc.AssignField(head->szDesc, sizeof head->szDesc);
    tag.nUserWord = head->nUserWord;
    tag.nArea = head->nArea;
    tag.nRegion = head->nRegion;
    tag.nDataType = head->nDataType;
    tag.nTrend = head->nTrend;
    tag.nDataSource = static_cast<WORD>(nSource);
    switch (nType) {
        case memtag::kTypeInt: {
            const auto& r = *static_cast<const IntTagInfo*>(pRecord);
            TakeRangedTail(r, r.nRangeHigh, r.nRangeLow, tag);
            break;
        }
        case memtag::kTypeFloat: {
            const auto& r = *static_cast<const FloatTagInfo*>(pRecord);
            TakeRangedTail(r, r.dRangeHigh, r.dRangeLow, tag);
            break;
        }
        case memtag::kTypeBool:
            tag.nTailWord = static_cast<const BoolTagInfo*>(pRecord)->nTailWord;
            [[fallthrough]];
        default:
            if (nType == memtag::kTypeString)
                tag.nTailWord = 0;
            if (bClearUnitForOthers) {
                tag.strUnit.Empty();
                tag.dRangeHigh = 0;
                tag.dRangeLow = 0;
            }
            break;
    }
}

bool CFileDypass::HasDirectory() const {
    return !m_strTempDir.IsEmpty();
}

CFile* CFileDypass::ItemFile(int nKind, int nSource) const {
    return UsableFile(SlotOf(nKind, nSource));
}

int CFileDypass::UnderWriteLock(int nKind, int nSource, const std::function<int(CFile&)>& fn) {
    const int nTree = TreeOfSource(nSource);
    if (nTree < 0 || !WriteStarts(nTree))
        return -1;
    CFile* pFile = UsableFile(SlotOf(nKind, nSource));
    if (!pFile)
        return -1;
    CWriteScope hold(*this, nTree, CWriteScope::Started{});
    if (!hold.Held())
        return -1;
    return fn(*pFile);
}
