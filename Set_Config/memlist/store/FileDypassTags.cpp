// Tag add, change and delete: typed records, their index entries and their names.
#include <optional>
#include <vector>

#include "FileDypass.h"
#include "gbtext/StoreTexts.h"

int CFileDypass::WriteTagRecord(void* pData) {
    if (m_strTempDir.IsEmpty() || !memtag::IsTagType(m_nDataType) ||
        !memtag::IsSource(m_nDataSource) || !pData)
        return -1;
    // The record is stored as given, its type field included: hosts fill records without the
    // reset. Only the declared type's size is ever read from it.
    if (!NameFieldTerminated(pData))
        return -1;
    // A tree that cannot take the name would lose the tag: nothing is written then.
    if (!m_names[TreeOfSource(m_nDataSource)]->Reserve(GetTagName(pData)))
        return -1;
    return AddRecord(m_nDataType, m_nDataSource, pData, memtag::TagRecordSize(m_nDataType));
}

int CFileDypass::RelinkTag(void* pNew, const CString& strOldName) {
    return Relink(pNew, strOldName, nullptr);
}

int CFileDypass::RenameTag(void* pNew, const CString& strOldName, int nDeclaredType) {
    const int r = Relink(pNew, strOldName, [&](int nType, int nSource, int nOffset) {
        return RewriteRecord(nType, nSource, nOffset, pNew, nDeclaredType) == 1;
    });
    return r > 0 ? 1 : r;
}

int CFileDypass::Relink(void* pNew, const CString& strOldName,
                        const std::function<bool(int, int, int)>& whileHeld) {
    if (strOldName.IsEmpty() || m_strTempDir.IsEmpty())
        return -1;
    // Type and source come from the stored entry; a declared code that is no code at all leaves
    // the size of the caller's record unknown, so nothing is touched then.
    if (!pNew || m_nDataType < memtag::kTypeNone || m_nDataType > memtag::kTypeString ||
        m_nDataSource < memtag::kSourceBoth || m_nDataSource > memtag::kSourceBrakk ||
        !NameFieldTerminated(pNew))
        return -1;
    std::optional<CWriteScope> scope;
    int t = -1;
    NameHit hit;
    if (!ResolveForWrite(strOldName, scope, t, hit))
        return -1;
    if (!scope->Held())
        return m_locks[t].TimedOut() ? -3 : -1;
    const int nSource = SourceOfTree(t);
    CNameCache& names = *m_names[t];
    const CNameCache::SourceFiles files = FilesOf(t);
    CFile* pIndex = files.pIndex;
    const CString strNewName = GetTagName(pNew);
    if (!names.Reserve(strNewName))
        return -2;
    TagIndexEntry entry = hit.entry;
    SetDataSource(nSource);
    const auto* rec = static_cast<const StringTagInfo*>(pNew);  // the shared head
    std::memcpy(entry.szName, rec->szName, sizeof entry.szName);
    entry.byArea = static_cast<std::uint8_t>(rec->nArea & 0xFF);
    entry.byRegion = static_cast<std::uint8_t>(rec->nRegion & 0xFF);
    entry.bySourceFlags = static_cast<std::uint8_t>(nSource);
    // A new name written with the record after it goes in without its first two bytes
    // until the record carries it: a kill in between leaves an entry without a name, which
    // the next writer gives back the record's name, whatever the trees hold.
    const bool bLeft = strNewName != strOldName;
    const bool bNameless = whileHeld && bLeft;
    TagIndexEntry written = entry;
    if (bNameless)
        written.szName[0] = written.szName[1] = 0;
    // The names move only once the entry is written: a failed write keeps the tag under
    // its old name instead of leaving it under none.
    if (!names.BeforeIndexWrite(files) || !pIndex ||
        !pIndex->WriteAt(hit.dwEntry, &written, sizeof written))
        return -1;
    names.Store(strOldName, 0);
    names.Store(strNewName, static_cast<int>(hit.dwEntry));
    SetDataType(entry.Type());
    const int nOffset = static_cast<int>(entry.RecordOffset());
    if (!whileHeld) {
        if (bLeft)
            names.AfterNameLeft(files, strOldName);
        return nOffset;
    }
    if (whileHeld(entry.Type(), nSource, nOffset)) {
        if (!bNameless || pIndex->WriteAt(hit.dwEntry, entry.szName, 2)) {
            if (bLeft)
                names.AfterNameLeft(files, strOldName);
            return nOffset;
        }
        // The name could not be made whole: the record goes back as well.
        CFile* pTyped = files.Typed(entry.Type());
        if (!pTyped ||
            !pTyped->WriteAt(entry.RecordOffset(), &hit.record,
                             static_cast<std::size_t>(memtag::TagRecordSize(entry.Type()))))
            return -2;
    }
    // The record write failed: the entry goes back too, and the tag keeps its old name.
    if (pIndex->WriteAt(hit.dwEntry, &hit.entry, sizeof hit.entry)) {
        names.Store(strNewName, 0);
        names.Store(strOldName, static_cast<int>(hit.dwEntry));
    }
    return -2;
}

int CFileDypass::RewriteTagRecord(int nOffset, void* pNew, int nDeclaredType) {
    return RewriteRecord(m_nDataType, m_nDataSource, nOffset, pNew, nDeclaredType);
}

int CFileDypass::RewriteRecord(int nType, int nSource, int nOffset, void* pNew, int nDeclaredType) {
    if (nOffset < 1 || m_strTempDir.IsEmpty() || !memtag::IsTagType(nType) ||
        !memtag::IsSource(nSource) || !pNew || !NameFieldTerminated(pNew))
        return -1;
    const int nSize = memtag::TagRecordSize(nType);
    const int nCallerSize =
        nDeclaredType == memtag::kTypeNone ? nSize : memtag::TagRecordSize(nDeclaredType);
    const int nTree = TreeOfSource(nSource);
    if (!WriteStarts(nTree))
        return -1;
    CFile* pFile = UsableFile(SlotOf(nType, nSource));
    std::uint32_t dwEnd = 0;
    if (nCallerSize == 0 || !pFile || !tagfile::ReadEnd(*pFile, nSize, dwEnd) ||
        !tagfile::IsSlot(static_cast<std::uint32_t>(nOffset), dwEnd, nSize))
        return -1;
    CWriteScope hold(*this, nTree, CWriteScope::Started{});
    if (!hold.Held())
        return -1;
    const auto dwOffset = static_cast<std::uint32_t>(nOffset);
    if (nCallerSize >= nSize)
        return pFile->WriteAt(dwOffset, pNew, static_cast<std::size_t>(nSize)) ? 1 : -1;
    // A shorter record than the stored type: its own bytes, then the stored ones beyond it.
    std::vector<unsigned char> merged(static_cast<std::size_t>(nSize));
    if (!pFile->ReadExactAt(dwOffset, merged.data(), merged.size()))
        return -1;
    std::memcpy(merged.data(), pNew, static_cast<std::size_t>(nCallerSize));
    return pFile->WriteAt(dwOffset, merged.data(), merged.size()) ? 1 : -1;
}

bool CFileDypass::ResolveForWrite(const CString& strName, std::optional<CWriteScope>& scope,
                                  int& nTree, NameHit& hit) {
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        if (m_strTempDir.IsEmpty())
            break;
        if (!m_names[t]->MayKnow(FilesOf(t), strName))
            continue;
        scope.emplace(*this, SourceOfTree(t));
        // Only a live entry of this name whose record is a live record of this name is
        // written: a stale or damaged key can never touch another tag's slots.
        if (ResolveName(t, strName, hit)) {
            nTree = t;
            return true;
        }
        scope.reset();
    }
    return false;
}

int CFileDypass::DeleteTag(const CString& strName) {
    std::optional<CWriteScope> scope;
    int t = -1;
    NameHit hit;
    if (ResolveForWrite(strName, scope, t, hit))
        return scope->Held() ? DeleteResolved(t, strName, hit) : -1;
    ReportError(gbtext::DeleteTagNotFound, strName.GetString());
    return -1;
}

int CFileDypass::DeleteResolved(int nTree, const CString& strName, const NameHit& hit) {
    const TagIndexEntry& entry = hit.entry;
    const int nSource = SourceOfTree(nTree);
    SetDataType(entry.Type());
    if (!CheckDataType())
        return -1;
    SetDataSource(nSource);
    if (!CheckDataSource())
        return -1;
    // Everything the delete will write is checked first: a damaged free list fails the delete
    // with the files untouched.
    CNameCache& names = *m_names[nTree];
    const CNameCache::SourceFiles files = FilesOf(nTree);
    CFile* pIndex = files.pIndex;
    CFile* pTagFile = files.Typed(entry.Type());
    const int nSize = memtag::TagRecordSize(entry.Type());
    std::uint32_t dwIndexEnd = 0, dwTagEnd = 0;
    tagfile::ReleasePlan indexRelease, recordRelease;
    if (!pIndex || !pTagFile || !tagfile::ReadEnd(*pIndex, sizeof entry, dwIndexEnd) ||
        !tagfile::ReadEnd(*pTagFile, nSize, dwTagEnd) ||
        !tagfile::PlanRelease(*pIndex, sizeof entry, dwIndexEnd, hit.dwEntry, indexRelease) ||
        !tagfile::PlanRelease(*pTagFile, nSize, dwTagEnd, entry.RecordOffset(), recordRelease))
        return -1;

    // Unlink: the entry's deleted bits (its source kept), its slot released, the name gone.
    if (!names.BeforeIndexWrite(files))
        return -1;
    const std::uint8_t byFlags = static_cast<std::uint8_t>(0x10 | entry.Source());
    if (!pIndex->WriteAt(hit.dwEntry + offsetof(TagIndexEntry, bySourceFlags), &byFlags, 1) ||
        !tagfile::CommitRelease(*pIndex, indexRelease))
        return -1;
    names.Store(strName, 0);

    // The record: only its deleted flag changes, then its slot is released.
    const std::uint16_t wDeleted = 1;
    if (!pTagFile->WriteAt(entry.RecordOffset() + memtag::kTagDeletedOffset, &wDeleted, 2) ||
        !tagfile::CommitRelease(*pTagFile, recordRelease))
        return -1;
    names.AfterNameLeft(files, strName);
    return 1;
}
