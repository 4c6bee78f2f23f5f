// Names: the two trees as checked caches of the index files, and the sources' write locks.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "Clock.h"
#include "FileDypass.h"
#include "MyKey.h"
#include "SharedMemory.h"
#include "filebplustreenode.h"

namespace {

constexpr std::uint32_t kEntrySize = sizeof(TagIndexEntry);

// The entry at `dwEntry` of the slot bytes `slots` (from offset 40) as the live entry of `key`.
bool IsLiveEntryAt(const std::vector<unsigned char>& slots, std::int64_t nEntry, int nSource,
                   const CMyKey& key) {
    if (nEntry < tagfile::kFirstSlot || (nEntry - tagfile::kFirstSlot) % kEntrySize != 0 ||
        nEntry - tagfile::kFirstSlot + kEntrySize > static_cast<std::int64_t>(slots.size()))
        return false;
    TagIndexEntry e;
    std::memcpy(&e, slots.data() + (nEntry - tagfile::kFirstSlot), sizeof e);
    return tagfile::IsLiveEntryOf(e, nSource, key.GetText());
}

// Whether `key` is in `tree` (its value in nValue) and leads to a live entry of its name.
bool KeyLeadsToLive(FileBPlusTree& tree, const std::vector<unsigned char>& slots, int nSource,
                    const CMyKey& key, bool& bKey, int& nValue) {
    int nStatus = 0;
    CMyKey found;
    nValue = 0;
    bKey = tree.Find(key, &found, &nValue, &nStatus) != 0;
    return bKey && nValue != 0 && IsLiveEntryAt(slots, nValue, nSource, key);
}

}  // namespace

int CFileDypass::SourceOfTree(int nTree) {
    return nTree == kTreeBrakk ? memtag::kSourceBrakk : memtag::kSourceZuZir;
}

CFile* CFileDypass::TypedFile(int nTree, int nType) const {
    return memtag::IsTagType(nType) ? UsableFile(SlotOf(nType, SourceOfTree(nTree))) : nullptr;
}

// --- the shared change count of an index -------------------------------------------------

std::uint64_t* CFileDypass::ChangeCount(int nTree) const {
    const NameState& st = m_names[nTree];
    return st.pChanges && st.pChanges->IsOpen() ? static_cast<std::uint64_t*>(st.pChanges->Data())
                                                : nullptr;
}

void CFileDypass::AttachChangeCount(int nTree) {
    NameState& st = m_names[nTree];
    st.pChanges.reset();
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    FileStamp stamp;
    if (!pIndex || !pIndex->GetStamp(stamp))
        return;
    // Named after the file itself, so every program on it meets, however it spells the path.
    const std::string name =
        "names." + std::to_string(stamp.nDev) + "." + std::to_string(stamp.nIno);
    auto block = std::make_unique<mlplat::CSharedBlock>();
    const mlplat::CSharedBlock::OpenResult r =
        block->Open(name.c_str(), sizeof(std::uint64_t), true);
    st.nNameCheckedMs = mlplat::TickMs();
    if (r == mlplat::CSharedBlock::kRefused)
        ReportRefusedOnce(block->HeldName());
    if (block->IsOpen())
        st.pChanges = std::move(block);
}

void CFileDypass::FollowChangeCount(int nTree, bool bNow) {
    NameState& st = m_names[nTree];
    if (!st.pChanges)
        return;
    const std::uint64_t now = mlplat::TickMs();
    if (!bNow && now - st.nNameCheckedMs < kNameCheckMs)
        return;
    st.nNameCheckedMs = now;
    if (st.pChanges->StillNamed())
        return;
    // Programs on the old block and on the new one would not see each other's writes: the
    // image is brought up to date against the new one before it answers "no such name" again.
    AttachChangeCount(nTree);
    st.pAgreed.reset();
}

// --- the write lock -------------------------------------------------------------------------

bool CFileDypass::LockSource(int nTree) {
    NameState& st = m_names[nTree];
    // The outermost write looks now and then whether the set still has names: a removed
    // directory would take every later write with it, each one reporting success.
    if (st.nLockDepth == 0 && m_names[1 - nTree].nLockDepth == 0 && !m_bReadOnly &&
        mlplat::TickMs() - m_nSetCheckedMs >= kSetCheckMs) {
        m_nSetCheckedMs = mlplat::TickMs();
        if (SetRemoved(nTree)) {
            ReviveSet();
            ++st.nLockDepth;
            return false;
        }
    }
    if (st.nLockDepth++ > 0)
        return st.bLocked;
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    // A reader never writes, so it never needs the lock.
    st.bLocked = !m_bReadOnly && pIndex && pIndex->LockExclusive(kWriteLockTimeoutMs);
    st.bIndexWritten = false;
    st.bInSync = false;
    // Under the lock: what this hold writes is counted where every program looks.
    if (st.bLocked)
        FollowChangeCount(nTree, true);
    return st.bLocked;
}

bool CFileDypass::BeforeIndexWrite(int nTree) {
    NameState& st = m_names[nTree];
    if (st.bIndexWritten)
        return st.bLocked;
    st.bIndexWritten = true;
    // Whether the image agrees with the index before this engine's own writes: then, as no
    // other program writes while the lock is held, it agrees after them too.
    if (!st.bLocked || !st.pAgreed) {
        st.bInSync = false;
    } else if (std::uint64_t* pCount = ChangeCount(nTree)) {
        st.bInSync = std::atomic_ref<std::uint64_t>(*pCount).load() == st.nAgreedChanges;
    } else {
        CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
        FileStamp now;
        st.bInSync = pIndex && pIndex->GetStamp(now) && now == *st.pAgreed;
    }
    return st.bLocked;
}

void CFileDypass::UnlockSource(int nTree) {
    NameState& st = m_names[nTree];
    if (st.nLockDepth == 0 || --st.nLockDepth > 0)
        return;
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    if (st.bLocked && pIndex) {
        if (st.bIndexWritten) {
            // Every program's image learns of this write by the count.
            if (std::uint64_t* pCount = ChangeCount(nTree)) {
                const std::uint64_t n = std::atomic_ref<std::uint64_t>(*pCount).fetch_add(1) + 1;
                if (st.bInSync)
                    st.nAgreedChanges = n;
            } else {
                FileStamp now;
                if (st.bInSync && pIndex->GetStamp(now))
                    *st.pAgreed = now;
            }
        }
        pIndex->Unlock();
    }
    st.bLocked = false;
    st.bIndexWritten = false;
    st.bInSync = false;
}

CFileDypass::CWriteScope::CWriteScope(CFileDypass& engine, int nSource)
    : m_engine(engine), m_nTree(TreeOfSource(nSource)), m_bHeld(false) {
    if (m_nTree >= 0)
        m_bHeld = m_engine.LockSource(m_nTree);
}

CFileDypass::CWriteScope::~CWriteScope() {
    if (m_nTree >= 0)
        m_engine.UnlockSource(m_nTree);
}

// --- agreement with the index ---------------------------------------------------------------

bool CFileDypass::IndexChanged(int nTree) {
    FollowChangeCount(nTree, false);
    const NameState& st = m_names[nTree];
    if (!st.pAgreed)
        return true;
    if (const std::uint64_t* pCount = ChangeCount(nTree))
        return std::atomic_ref<std::uint64_t>(*const_cast<std::uint64_t*>(pCount)).load() !=
               st.nAgreedChanges;
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    FileStamp now;
    return pIndex && pIndex->GetStamp(now) && now != *st.pAgreed;
}

bool CFileDypass::ReconcileNames(int nSource, std::vector<NameChange>* pChanges) {
    const int nTree = TreeOfSource(nSource);
    return nTree >= 0 && ReconcileTree(nTree, pChanges);
}

bool CFileDypass::ReconcileTree(int nTree, std::vector<NameChange>* pChanges) {
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    FileBPlusTree* pTree = m_pTrees[nTree].get();
    if (!pIndex || !pTree || pTree->GetMode() != FileBPlusTree::kMemory)
        return false;
    // Under the write lock the index holds still: what is read is one state of it.
    CWriteScope scope(*this, SourceOfTree(nTree));
    std::uint64_t* pCount = ChangeCount(nTree);
    const std::uint64_t nChanges = pCount ? std::atomic_ref<std::uint64_t>(*pCount).load() : 0;
    FileStamp stamp;
    const bool bStamped = pCount || pIndex->GetStamp(stamp);
    std::uint32_t dwEnd = 0;
    const long long nLength = pIndex->GetLength();
    if (!tagfile::ReadEnd(*pIndex, kEntrySize, dwEnd) || nLength < 0)
        return false;
    // A damaged F may claim far more than the file holds: read only what is there.
    const auto dwHeld = static_cast<std::uint32_t>(
        std::min<long long>(dwEnd, std::max<long long>(nLength, tagfile::kFirstSlot)));
    std::vector<unsigned char> slots(dwHeld - tagfile::kFirstSlot);
    const long long got = pIndex->ReadAt(tagfile::kFirstSlot, slots.data(), slots.size());
    if (got < 0)
        return false;
    slots.resize(static_cast<std::size_t>(got) - static_cast<std::size_t>(got) % kEntrySize);
    const std::size_t nSlots = slots.size() / kEntrySize;
    const int nSource = SourceOfTree(nTree);

    // Keys that lead to a live entry of their name mark that entry; the others are stale.
    std::vector<bool> named(nSlots, false);
    std::vector<std::pair<CMyKey, int>> stale;
    pTree->ForEachEntry([&](const CMyKey& key, int nValue) {
        if (nValue == 0)
            return true;
        if (IsLiveEntryAt(slots, nValue, nSource, key))
            named[static_cast<std::size_t>(nValue - tagfile::kFirstSlot) / kEntrySize] = true;
        else
            stale.emplace_back(key, nValue);
        return true;
    });
    auto record = [&](const CMyKey& key, int nOld, int nNew) {
        if (m_pTrees[nTree]->Insert(key, nNew, 1))
            m_bTreeChanged[nTree] = true;
        if (pChanges)
            pChanges->push_back({nSource, key.ToString(), nOld, nNew});
    };
    // Live entries no key leads to: their name is missing, or leads to another live entry of
    // the same name (kept), or is one of the stale keys (set to this entry).
    std::unordered_set<std::string> fixed;
    std::vector<std::size_t> newlyNamed, cutAppends;
    for (std::size_t i = 0; i < nSlots; ++i) {
        if (named[i])
            continue;
        TagIndexEntry e;
        std::memcpy(&e, slots.data() + i * kEntrySize, sizeof e);
        const auto nEntry = static_cast<int>(tagfile::kFirstSlot + i * kEntrySize);
        // Only the live entry of a name the tree can hold (31 bytes at most) gets a key.
        if (!tagfile::IsLiveEntryOf(e, nSource, {e.szName, strnlen(e.szName, sizeof e.szName)})) {
            // An append killed before its last write keeps the old zero count in the first two
            // bytes: a live entry without a name.
            if (e.szName[0] == 0 && e.szName[1] == 0 && !e.IsDeleted() && e.Source() == nSource &&
                memtag::IsTagType(e.Type()))
                cutAppends.push_back(i);
            continue;
        }
        const CMyKey key(static_cast<const char*>(e.szName));
        bool bKey = false;
        int nValue = 0;
        if (KeyLeadsToLive(*pTree, slots, nSource, key, bKey, nValue))
            continue;
        record(key, bKey ? nValue : 0, nEntry);
        named[i] = true;
        fixed.insert(key.GetText());
        newlyNamed.push_back(i);
    }
    // What a killed writer may have left half done is finished or undone by a writer under the
    // lock: no live program is in the middle of an add or a rename then, as both hold it
    // throughout.
    if (scope.Held() && !m_bReadOnly) {
        for (const auto& [strName, nEntry] :
             FinishCutWrites(nTree, slots, cutAppends, newlyNamed)) {
            const CMyKey key(strName.c_str());
            bool bKey = false;
            int nValue = 0;
            KeyLeadsToLive(*pTree, slots, nSource, key, bKey, nValue);  // for the old value
            record(key, bKey ? nValue : 0, nEntry);
            if (nEntry != 0)
                fixed.insert(strName);
            else
                fixed.erase(strName);
        }
    }
    for (const auto& [key, nValue] : stale) {
        if (!fixed.count(key.GetText()))
            record(key, nValue, 0);
    }
    NameState& st = m_names[nTree];
    if (bStamped) {
        if (!st.pAgreed)
            st.pAgreed = std::make_unique<FileStamp>();
        *st.pAgreed = stamp;
        st.nAgreedChanges = nChanges;
        // Under the lock the image now agrees, this engine's own earlier writes of the same
        // hold included; those still raise the count when the hold ends.
        st.bInSync = st.bLocked;
    }
    return true;
}

std::vector<std::pair<std::string, int>> CFileDypass::FinishCutWrites(
    int nTree, std::vector<unsigned char>& slots, const std::vector<std::size_t>& cutAppends,
    const std::vector<std::size_t>& newlyNamed) {
    std::vector<std::pair<std::string, int>> moves;
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    FileBPlusTree* pTree = m_pTrees[nTree].get();
    if (!pIndex || !pTree)
        return moves;
    const int nSource = SourceOfTree(nTree);
    // Records are screened in blocks: after a crash every name may be new.
    std::unique_ptr<tagfile::CSlotReader> readers[memtag::kTypeString + 1];
    // The live record an entry names, whole; null when there is none.
    auto liveRecord = [&](const TagIndexEntry& e) -> const unsigned char* {
        const int nType = e.Type();
        CFile* pTyped = TypedFile(nTree, nType);
        if (!pTyped)
            return nullptr;
        if (!readers[nType])
            readers[nType] =
                std::make_unique<tagfile::CSlotReader>(*pTyped, memtag::TagRecordSize(nType));
        std::size_t nAvail = 0;
        const unsigned char* pSlot = readers[nType]->Slot(e.RecordOffset(), nAvail);
        return pSlot && nAvail >= static_cast<std::size_t>(memtag::TagRecordSize(nType)) &&
                       !tagfile::IsDeletedSlot(nType, pSlot)
                   ? pSlot
                   : nullptr;
    };
    // A name another tag holds, or one given back here already, is not taken again.
    std::unordered_set<std::string> claimed;
    auto taken = [&](const CMyKey& key) {
        bool bKey = false;
        int nValue = 0;
        return claimed.count(key.GetText()) > 0 ||
               KeyLeadsToLive(*pTree, slots, nSource, key, bKey, nValue);
    };
    auto entryAt = [&](std::size_t i) {
        TagIndexEntry e;
        std::memcpy(&e, slots.data() + i * kEntrySize, sizeof e);
        return e;
    };
    auto offsetOf = [](std::size_t i) {
        return static_cast<std::uint32_t>(tagfile::kFirstSlot + i * kEntrySize);
    };

    // An add cut before its entry was whole: the entry gets its first two bytes from the
    // record, whose name it carries from the third byte on.
    for (std::size_t i : cutAppends) {
        TagIndexEntry e = entryAt(i);
        const unsigned char* pSlot = liveRecord(e);
        if (!pSlot)
            continue;
        const char* szRecName = reinterpret_cast<const char*>(pSlot) + memtag::kTagNameOffset;
        if (std::memcmp(szRecName + 2, e.szName + 2, sizeof e.szName - 2) != 0)
            continue;
        std::memcpy(e.szName, szRecName, 2);
        const CMyKey key(CStringFromField(e.szName, sizeof e.szName).GetString());
        if (!tagfile::IsLiveEntryOf(e, nSource, key.GetText()) || taken(key) ||
            !BeforeIndexWrite(nTree) || !pIndex->WriteAt(offsetOf(i), e.szName, 2))
            continue;
        std::memcpy(slots.data() + i * kEntrySize, &e, sizeof e);
        claimed.insert(key.GetText());
        moves.emplace_back(key.GetText(), static_cast<int>(offsetOf(i)));
    }
    // An entry that gained its name since the tree was written may be a rename cut between its
    // two writes (the entry renamed, the record not): the rename is undone.
    for (std::size_t i : newlyNamed) {
        TagIndexEntry e = entryAt(i);
        const unsigned char* pSlot = liveRecord(e);
        if (!pSlot || std::memcmp(pSlot + memtag::kTagNameOffset, e.szName, sizeof e.szName) == 0)
            continue;
        const CString strName = CStringFromField(e.szName, sizeof e.szName);
        memtag::AnyTagRecord rec;
        std::memcpy(&rec, pSlot, static_cast<std::size_t>(memtag::TagRecordSize(e.Type())));
        if (CStringFromField(rec.s.szName, sizeof rec.s.szName) == strName)
            continue;  // the same name, other bytes after its end
        const CMyKey old(CStringFromField(rec.s.szName, sizeof rec.s.szName).GetString());
        // The old name taken by another tag since: the rename stays as the entry has it.
        if (taken(old) || !TakeBackRecordName(nTree, offsetOf(i), e, rec))
            continue;
        std::memcpy(slots.data() + i * kEntrySize, &e, sizeof e);
        claimed.insert(old.GetText());
        moves.emplace_back(strName.str(), 0);
        moves.emplace_back(old.GetText(), static_cast<int>(offsetOf(i)));
    }
    return moves;
}

bool CFileDypass::TakeBackRecordName(int nTree, std::uint32_t dwEntry, TagIndexEntry& entry,
                                     const memtag::AnyTagRecord& rec) {
    const std::string_view name(rec.s.szName, strnlen(rec.s.szName, sizeof rec.s.szName));
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    if (name.empty() || name.size() > memtag::kTagNameMax || !pIndex)
        return false;
    TagIndexEntry back = entry;
    std::memset(back.szName, 0, sizeof back.szName);
    std::memcpy(back.szName, name.data(), name.size());
    back.byArea = static_cast<std::uint8_t>(rec.s.nArea & 0xFF);
    back.byRegion = static_cast<std::uint8_t>(rec.s.nRegion & 0xFF);
    if (!BeforeIndexWrite(nTree) || !pIndex->WriteAt(dwEntry, &back, sizeof back))
        return false;
    entry = back;
    return true;
}

bool CFileDypass::MayKnowName(int nTree, const CString& strName) {
    int nValue = 0;
    return (FindName(nTree, strName, nValue) && nValue != 0) || IndexChanged(nTree);
}

bool CFileDypass::ResolveName(int nTree, const CString& strName, NameHit& hit,
                              tagfile::EntryFault* pFault) {
    if (pFault)
        *pFault = tagfile::EntryFault::kNoEntry;
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    if (!pIndex || strName.IsEmpty() || strName.GetLength() > memtag::kTagNameMax)
        return false;
    const int nSource = SourceOfTree(nTree);
    auto typed = [&](int nType) { return TypedFile(nTree, nType); };
    for (int attempt = 0; attempt < 2; ++attempt) {
        int nValue = 0;
        if (FindName(nTree, strName, nValue) && nValue != 0) {
            const tagfile::EntryFault fault =
                nValue > 0
                    ? tagfile::ReadNamedEntry(*pIndex, nSource, static_cast<std::uint32_t>(nValue),
                                              strName, typed, hit.entry, &hit.record)
                    : tagfile::EntryFault::kNoEntry;
            if (fault == tagfile::EntryFault::kNone) {
                hit.dwEntry = static_cast<std::uint32_t>(nValue);
                return true;
            }
            if (fault != tagfile::EntryFault::kNoEntry) {
                // The entry is the name's own; its record is not: damage, not a stale key.
                if (pFault)
                    *pFault = fault;
                return false;
            }
            // The key leads to a released entry or another name's: heal the whole image.
            if (attempt == 0 && ReconcileTree(nTree, nullptr))
                continue;
            return false;
        }
        // Not known here: another program may have added it since the image agreed.
        if (attempt == 0 && IndexChanged(nTree) && ReconcileTree(nTree, nullptr))
            continue;
        return false;
    }
    return false;
}

bool CFileDypass::ResolveEither(const CString& strName, NameHit& hit, tagfile::EntryFault* pFault) {
    if (pFault)
        *pFault = tagfile::EntryFault::kNoEntry;
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        tagfile::EntryFault fault;
        if (ResolveName(t, strName, hit, &fault))
            return true;
        if (pFault && *pFault == tagfile::EntryFault::kNoEntry)
            *pFault = fault;
    }
    return false;
}
