// Names: the two trees as checked caches of the index files, and the sources' write locks.
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Clock.h"
#include "FileDypass.h"
#include "MyKey.h"
#include "SharedMemory.h"
#include "filebplustreenode.h"

namespace {

constexpr std::uint32_t kEntrySize = sizeof(TagIndexEntry);

// Sorts by the high 32 bits (stable in the low ones): four passes of a radix sort, as the
// reconciliation of a large index must not spend its time comparing.
void SortByHighWord(std::vector<std::uint64_t>& v) {
    if (std::is_sorted(v.begin(), v.end()))
        return;
    std::vector<std::uint64_t> tmp(v.size());
    for (int shift = 32; shift < 64; shift += 8) {
        std::array<std::size_t, 257> start{};
        for (std::uint64_t x : v)
            ++start[((x >> shift) & 0xFF) + 1];
        for (std::size_t i = 1; i < start.size(); ++i)
            start[i] += start[i - 1];
        for (std::uint64_t x : v)
            tmp[start[(x >> shift) & 0xFF]++] = x;
        v.swap(tmp);
    }
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
    st.agreed.reset();
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
    CSourceWriteLock& lock = m_locks[nTree];
    if (lock.Depth() > 0)
        return lock.Enter(nullptr, nWaitMs, m_bReadOnly);
    const bool bHeld = lock.Enter(UsableFile(IndexSlotOfTree(nTree)), nWaitMs, m_bReadOnly);
    // Under the lock: what this hold writes is counted where every program looks.
    if (bHeld)
        FollowChangeCount(nTree, true);
    return bHeld;
}

bool CFileDypass::BeforeIndexWrite(int nTree) {
    CSourceWriteLock& lock = m_locks[nTree];
    if (!lock.MarkIndexWritten())
        return lock.Held();
    // Whether the image agrees with the index before this engine's own writes: then, as no
    // other program writes while the lock is held, it agrees after them too.
    const NameState& st = m_names[nTree];
    CIndexMark now;
    lock.SetInSync(lock.Held() && st.agreed &&
                   CIndexMark::Take(ChangeCount(nTree), UsableFile(IndexSlotOfTree(nTree)), now) &&
                   now == *st.agreed);
    return lock.Held();
}

void CFileDypass::CountIndexWrite(int nTree, bool bInSync) {
    NameState& st = m_names[nTree];
    CIndexMark now;
    if (std::uint64_t* pCount = ChangeCount(nTree)) {
        // Every program's image learns of this write by the count.
        now = CIndexMark::Counted(std::atomic_ref<std::uint64_t>(*pCount).fetch_add(1) + 1);
    } else if (!bInSync || !CIndexMark::Take(nullptr, UsableFile(IndexSlotOfTree(nTree)), now)) {
        return;
    }
    if (bInSync && st.agreed)
        st.agreed = now;
}

void CFileDypass::UnlockSource(int nTree) {
    CSourceWriteLock& lock = m_locks[nTree];
    lock.Leave(UsableFile(IndexSlotOfTree(nTree)), [&] { CountIndexWrite(nTree, lock.InSync()); });
}

CFileDypass::CWriteScope::CWriteScope(CFileDypass& engine, int nSource, unsigned nWaitMs)
    : m_engine(engine), m_nTree(TreeOfSource(nSource)), m_bHeld(false) {
    if (m_nTree < 0)
        return;
    if (m_engine.WriteStarts(m_nTree))
        m_bHeld = m_engine.LockSource(m_nTree, nWaitMs);
    else
        m_engine.m_locks[m_nTree].EnterRefused();
}

CFileDypass::CWriteScope::~CWriteScope() {
    if (m_nTree >= 0)
        m_engine.UnlockSource(m_nTree);
}

CFileDypass::CSourceHold::CSourceHold(CFileDypass& engine, int nTree, unsigned nWaitMs)
    : m_engine(engine), m_nTree(nTree), m_bHeld(m_engine.LockSource(nTree, nWaitMs)) {}

CFileDypass::CSourceHold::~CSourceHold() {
    m_engine.UnlockSource(m_nTree);
}

// --- agreement with the index ---------------------------------------------------------------

bool CFileDypass::IndexChanged(int nTree) {
    FollowChangeCount(nTree, false);
    const NameState& st = m_names[nTree];
    if (!st.agreed)
        return true;
    CIndexMark now;
    return CIndexMark::Take(ChangeCount(nTree), UsableFile(IndexSlotOfTree(nTree)), now) &&
           now != *st.agreed;
}

bool CFileDypass::ReconcileNames(int nSource, std::vector<NameChange>* pChanges,
                                 bool bScreenRecords) {
    const int nTree = TreeOfSource(nSource);
    return nTree >= 0 && ReconcileTree(nTree, pChanges, bScreenRecords);
}

bool CFileDypass::ReconcileTree(int nTree, std::vector<NameChange>* pChanges, bool bScreenRecords) {
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    FileBPlusTree* pTree = m_pTrees[nTree].get();
    if (!pIndex || !pTree || pTree->GetMode() != FileBPlusTree::kMemory)
        return false;
    // Under the write lock the index holds still: what is read is one state of it. A program
    // that keeps the lock (stopped, say) delays this by a tree's lock time-out at most: what is
    // read without it is at worst older than the next look.
    CSourceHold scope(*this, nTree, kReconcileLockWaitMs);
    CIndexMark mark;
    const bool bMarked = CIndexMark::Take(ChangeCount(nTree), pIndex, mark);
    std::uint32_t dwEnd = 0;
    if (!tagfile::ReadEnd(*pIndex, kEntrySize, dwEnd))
        return false;
    const int nSource = SourceOfTree(nTree);

    // The keys that lead somewhere, in the order of the entries they lead to (the value in
    // the high word, the key's number in the low one), so that the index is read once, in
    // blocks, whatever its F claims.
    std::vector<std::array<char, CMyKey::kSize>> keyTexts;
    std::vector<std::uint64_t> keys;
    const auto nExpected = static_cast<std::size_t>(
        std::clamp<std::int64_t>(pTree->GetRecordCount(), 0, FileBPlusTree::kMaxImage / 40));
    keyTexts.reserve(nExpected);
    keys.reserve(nExpected);
    pTree->ForEachEntry([&](const CMyKey& key, int nValue) {
        if (nValue != 0) {
            keys.push_back(std::uint64_t{static_cast<std::uint32_t>(nValue)} << 32 |
                           keyTexts.size());
            std::memcpy(keyTexts.emplace_back().data(), key.GetText(), CMyKey::kSize);
        }
        return true;
    });
    SortByHighWord(keys);
    auto valueOf = [&](std::size_t k) { return static_cast<std::uint32_t>(keys[k] >> 32); };
    auto textOf = [&](std::size_t k) {
        const auto& t = keyTexts[static_cast<std::uint32_t>(keys[k])];
        return std::string_view(t.data(), strnlen(t.data(), t.size()));
    };
    // Keys that lead to a live entry of their name mark that entry; the others are stale.
    std::unordered_set<std::string> staleNames;
    std::vector<std::pair<CMyKey, int>> stale;
    std::size_t nextKey = 0;
    auto markStale = [&](std::size_t k) {
        stale.emplace_back(CMyKey(std::string(textOf(k)).c_str()), static_cast<int>(valueOf(k)));
        staleNames.emplace(textOf(k));
    };
    // Live entries no key leads to, and those whose record is to be screened.
    std::vector<SlotEntry> unnamed, screened, cutAppends;
    const bool bWalked = tagfile::WalkSlots(
        *pIndex, kEntrySize, [&](std::uint32_t dwOffset, const unsigned char* p, std::size_t n) {
            if (n < kEntrySize)
                return false;
            TagIndexEntry e;
            std::memcpy(&e, p, sizeof e);
            bool bNamed = false;
            for (; nextKey < keys.size() && valueOf(nextKey) <= dwOffset; ++nextKey) {
                if (valueOf(nextKey) == dwOffset &&
                    tagfile::IsLiveEntryOf(e, nSource, textOf(nextKey)))
                    bNamed = true;
                else
                    markStale(nextKey);
            }
            if (bNamed) {
                if (bScreenRecords)
                    screened.push_back({dwOffset, e});
            } else if (tagfile::IsLiveEntryOf(e, nSource,
                                              {e.szName, strnlen(e.szName, sizeof e.szName)})) {
                unnamed.push_back({dwOffset, e});
            } else if (e.szName[0] == 0 && e.szName[1] == 0 && !e.IsDeleted() &&
                       e.Source() == nSource && memtag::IsTagType(e.Type())) {
                // An append killed before its last write keeps the old zero count in the first
                // two bytes, and a rename cut before its record write has no name yet: a live
                // entry without a name.
                cutAppends.push_back({dwOffset, e});
            }
            return true;
        });
    if (!bWalked)
        return false;
    for (; nextKey < keys.size(); ++nextKey)
        markStale(nextKey);

    // Whether a key leads to a live entry of its name, as the keys stand now.
    std::unordered_map<std::string, bool> moved;
    auto leadsToLive = [&](const CMyKey& key, int& nValue) {
        int nStatus = 0;
        CMyKey found;
        nValue = 0;
        const bool bKey = pTree->Find(key, &found, &nValue, &nStatus) != 0;
        const auto it = moved.find(key.GetText());
        if (it != moved.end())
            return it->second;
        return bKey && nValue != 0 && !staleNames.count(key.GetText());
    };
    auto record = [&](const CMyKey& key, int nNew) {
        int nOld = 0;
        leadsToLive(key, nOld);
        if (m_pTrees[nTree]->Insert(key, nNew, 1))
            m_bTreeChanged[nTree] = true;
        moved[key.GetText()] = nNew != 0;
        if (pChanges)
            pChanges->push_back({nSource, key.ToString(), nOld, nNew});
    };
    // Live entries no key leads to: their name is missing, or leads to another live entry of
    // the same name (kept), or is one of the stale keys (set to this entry).
    std::unordered_set<std::string> heldTwice;
    for (const SlotEntry& s : unnamed) {
        const CMyKey key(static_cast<const char*>(s.entry.szName));
        int nValue = 0;
        if (leadsToLive(key, nValue)) {
            heldTwice.insert(key.GetText());
            continue;
        }
        record(key, static_cast<int>(s.dwOffset));
        screened.push_back(s);
    }
    // What a killed writer may have left half done is finished or undone by a writer under the
    // lock: no live program is in the middle of an add or a rename then, as both hold it
    // throughout.
    if (scope.Held() && !m_bReadOnly) {
        auto taken = [&](const CMyKey& key) {
            int nValue = 0;
            return leadsToLive(key, nValue);
        };
        for (const auto& [strName, nEntry] : FinishCutWrites(nTree, cutAppends, screened, taken))
            record(CMyKey(strName.c_str()), nEntry);
    }
    for (const auto& [key, nValue] : stale) {
        if (!moved.count(key.GetText()))
            record(key, 0);
    }
    NameState& st = m_names[nTree];
    st.heldTwice = std::move(heldTwice);
    if (bMarked) {
        st.agreed = mark;
        // Under the lock the image now agrees, this engine's own earlier writes of the same
        // hold included; those still raise the count when the hold ends.
        m_locks[nTree].SetInSync(m_locks[nTree].Held());
    }
    return true;
}

std::vector<std::pair<std::string, int>> CFileDypass::FinishCutWrites(
    int nTree, const std::vector<SlotEntry>& cutAppends, const std::vector<SlotEntry>& screened,
    const std::function<bool(const CMyKey&)>& leadsToLive) {
    std::vector<std::pair<std::string, int>> moves;
    CFile* pIndex = UsableFile(IndexSlotOfTree(nTree));
    if (!pIndex)
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
        return claimed.count(key.GetText()) > 0 || leadsToLive(key);
    };
    // The entry takes back the name of its record `pSlot`, unless another tag holds that name;
    // the key of the name it had (when it had one) then leads nowhere.
    auto takeBack = [&](const SlotEntry& s, const unsigned char* pSlot, const CString& strHad) {
        memtag::AnyTagRecord rec;
        std::memcpy(&rec, pSlot, static_cast<std::size_t>(memtag::TagRecordSize(s.entry.Type())));
        const CMyKey old(CStringFromField(rec.s.szName, sizeof rec.s.szName).GetString());
        TagIndexEntry e = s.entry;
        if (taken(old) || !TakeBackRecordName(nTree, s.dwOffset, e, rec))
            return;
        claimed.insert(old.GetText());
        if (!strHad.IsEmpty())
            moves.emplace_back(strHad.str(), 0);
        moves.emplace_back(old.GetText(), static_cast<int>(s.dwOffset));
    };

    // An add cut before its entry was whole: the entry gets its first two bytes from the
    // record, whose name it carries from the third byte on. A rename cut before its record
    // carried the new name (the entry is written without those two bytes until then): the
    // entry takes back the record's name, as if the rename had not begun.
    for (const SlotEntry& s : cutAppends) {
        TagIndexEntry e = s.entry;
        const unsigned char* pSlot = liveRecord(e);
        if (!pSlot)
            continue;
        const char* szRecName = reinterpret_cast<const char*>(pSlot) + memtag::kTagNameOffset;
        if (std::memcmp(szRecName + 2, e.szName + 2, sizeof e.szName - 2) != 0) {
            takeBack(s, pSlot, CString());
            continue;
        }
        std::memcpy(e.szName, szRecName, 2);
        const CMyKey key(CStringFromField(e.szName, sizeof e.szName).GetString());
        if (!tagfile::IsLiveEntryOf(e, nSource, key.GetText()) || taken(key) ||
            !BeforeIndexWrite(nTree) || !pIndex->WriteAt(s.dwOffset, e.szName, 2))
            continue;
        claimed.insert(key.GetText());
        moves.emplace_back(key.GetText(), static_cast<int>(s.dwOffset));
    }
    // An entry that gained its name since the tree was written (or any entry, when records are
    // screened) may be a rename cut between its two writes by a program that wrote the entry
    // whole first: the rename is undone. The old name taken by another tag since: the rename
    // stays as the entry has it.
    for (const SlotEntry& s : screened) {
        const TagIndexEntry& e = s.entry;
        const unsigned char* pSlot = liveRecord(e);
        if (!pSlot || std::memcmp(pSlot + memtag::kTagNameOffset, e.szName, sizeof e.szName) == 0)
            continue;
        const CString strName = CStringFromField(e.szName, sizeof e.szName);
        if (CStringFromField(reinterpret_cast<const char*>(pSlot) + memtag::kTagNameOffset,
                             sizeof e.szName) == strName)
            continue;  // the same name, other bytes after its end
        takeBack(s, pSlot, strName);
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

void CFileDypass::AfterNameLeft(int nTree, const CString& strName) {
    if (m_locks[nTree].Held() && m_names[nTree].heldTwice.count(strName.str()))
        ReconcileTree(nTree, nullptr);
}

bool CFileDypass::ReserveName(int nTree, const CString& strName) {
    FileBPlusTree* pTree = m_pTrees[nTree].get();
    int nValue = 0;
    if (!pTree || pTree->GetMode() != FileBPlusTree::kMemory ||
        strName.GetLength() > memtag::kTagNameMax || FindName(nTree, strName, nValue))
        return true;
    if (!pTree->Insert(CMyKey(strName), 0, 1))
        return false;
    m_bTreeChanged[nTree] = true;
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
            // An entry whose record carries another name is a rename cut between its two
            // writes, whatever the tree says: a writer settles it (the entry takes back the
            // record's name unless another tag holds that name, as damage would have it).
            if (fault == tagfile::EntryFault::kRecordOtherName && attempt == 0 && !m_bReadOnly &&
                ReconcileTree(nTree, nullptr, true))
                continue;
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
