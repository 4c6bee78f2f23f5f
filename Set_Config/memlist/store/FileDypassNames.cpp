// Names: the engine's side of its two name caches, and where a write starts.
#include "Clock.h"
#include "FileDypass.h"

int CFileDypass::SourceOfTree(int nTree) {
    return nTree == kTreeBrakk ? memtag::kSourceBrakk : memtag::kSourceZuZir;
}

CFile* CFileDypass::TypedFile(int nTree, int nType) const {
    return memtag::IsTagType(nType) ? UsableFile(SlotOf(nType, SourceOfTree(nTree))) : nullptr;
}

CNameCache::SourceFiles CFileDypass::FilesOf(int nTree) const {
    CNameCache::SourceFiles files;
    files.pIndex = UsableFile(IndexSlotOfTree(nTree));
    for (int nType = memtag::kTypeBool; nType <= memtag::kTypeString; ++nType)
        files.typed[nType] = TypedFile(nTree, nType);
    return files;
}

// --- the write lock -------------------------------------------------------------------------

bool CFileDypass::WriteStarts(int nTree) {
    // A removed directory would take every later write with it, each one reporting success.
    if (m_locks[kTreeBrakk].Depth() > 0 || m_locks[kTreeZuZir].Depth() > 0 || m_bReadOnly ||
        mlplat::TickMs() - m_nSetCheckedMs < kSetCheckMs)
        return true;
    m_nSetCheckedMs = mlplat::TickMs();
    if (!SetRemoved(nTree))
        return true;
    ReviveSet();
    return false;
}

bool CFileDypass::LockSource(int nTree, unsigned nWaitMs) {
    const bool bOutermost = m_locks[nTree].Depth() == 0;
    if (!m_names[nTree]->Lock(FilesOf(nTree), nWaitMs))
        return false;
    // What this hold waited for may have been another program removing the source's files:
    // a write into them now would be lost with them. Looked at only after a wait, so that an
    // uncontended write pays nothing for it.
    if (!bOutermost || !m_locks[nTree].Waited() || !SetRemoved(nTree))
        return true;
    ReviveSet();
    return false;
}

void CFileDypass::UnlockSource(int nTree) {
    m_names[nTree]->Unlock(FilesOf(nTree));
}

CStoreWriteScope::CStoreWriteScope(CFileDypass& engine, int nSource, unsigned nWaitMs)
    : m_engine(engine), m_nTree(CFileDypass::TreeOfSource(nSource)), m_bHeld(false) {
    if (m_nTree < 0)
        return;
    if (m_engine.WriteStarts(m_nTree))
        m_bHeld = m_engine.LockSource(m_nTree, nWaitMs);
    else
        m_engine.m_locks[m_nTree].EnterRefused();
}

CStoreWriteScope::~CStoreWriteScope() {
    if (m_nTree >= 0)
        m_engine.UnlockSource(m_nTree);
}

CStoreWriteScope::CStoreWriteScope(CFileDypass& engine, int nTree, Started)
    : m_engine(engine), m_nTree(nTree), m_bHeld(m_engine.LockSource(nTree)) {}

// --- names ----------------------------------------------------------------------------------

bool CFileDypass::ReconcileNames(int nSource, std::vector<NameChange>* pChanges,
                                 bool bScreenRecords) {
    const int nTree = TreeOfSource(nSource);
    return nTree >= 0 && m_names[nTree]->Reconcile(FilesOf(nTree), pChanges, bScreenRecords);
}

bool CFileDypass::ResolveName(int nTree, const CString& strName, NameHit& hit,
                              tagfile::EntryFault* pFault, const int* pFound) {
    return m_names[nTree]->Resolve(FilesOf(nTree), strName, hit, pFault, pFound);
}

bool CFileDypass::ResolveEither(const CString& strName, NameHit& hit, tagfile::EntryFault* pFault) {
    if (pFault)
        *pFault = tagfile::EntryFault::kNoEntry;
    // Half the names are the second source's: both trees are searched at once, so a name not in
    // the first costs little more than one search.
    CNameCache* const caches[2] = {m_names[kTreeBrakk].get(), m_names[kTreeZuZir].get()};
    int found[2] = {0, 0};
    CNameCache::FindInEach(caches, strName, found);
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        tagfile::EntryFault fault;
        if (ResolveName(t, strName, hit, &fault, &found[t]))
            return true;
        if (pFault && *pFault == tagfile::EntryFault::kNoEntry)
            *pFault = fault;
    }
    return false;
}
