// A source's name tree as a checked cache of its index file.
#include "NameCache.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Clock.h"
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

// A hold of the write lock for the length of a scope.
class CHold {
public:
    CHold(CNameCache& cache, const CNameCache::SourceFiles& files, unsigned nWaitMs)
        : m_cache(cache), m_files(files), m_bHeld(cache.Lock(files, nWaitMs)) {}
    ~CHold() { m_cache.Unlock(m_files); }
    CHold(const CHold&) = delete;
    CHold& operator=(const CHold&) = delete;
    bool Held() const { return m_bHeld; }

private:
    CNameCache& m_cache;
    const CNameCache::SourceFiles& m_files;
    bool m_bHeld;
};

// The live records index entries name, read in blocks: after a crash every name may be new.
class CLiveRecords {
public:
    explicit CLiveRecords(const CNameCache::SourceFiles& files) : m_files(files) {}
    // The live record the entry names, whole; null when there is none.
    const unsigned char* Of(const TagIndexEntry& e) {
        const int nType = e.Type();
        CFile* pTyped = m_files.Typed(nType);
        if (!pTyped)
            return nullptr;
        if (!m_readers[nType])
            m_readers[nType] =
                std::make_unique<tagfile::CSlotReader>(*pTyped, memtag::TagRecordSize(nType));
        std::size_t nAvail = 0;
        const unsigned char* pSlot = m_readers[nType]->Slot(e.RecordOffset(), nAvail);
        return pSlot && nAvail >= static_cast<std::size_t>(memtag::TagRecordSize(nType)) &&
                       !tagfile::IsDeletedSlot(nType, pSlot)
                   ? pSlot
                   : nullptr;
    }

private:
    const CNameCache::SourceFiles& m_files;
    std::unique_ptr<tagfile::CSlotReader> m_readers[memtag::kTypeString + 1];
};

}  // namespace

struct CNameCache::IndexWalk {
    // Keys that lead somewhere but not to a live entry of their name.
    std::unordered_set<std::string> staleNames;
    std::vector<std::pair<CMyKey, int>> stale;
    // Live entries no key leads to, those whose record is to be screened, and live entries
    // without a name.
    std::vector<SlotEntry> unnamed, screened, cutAppends;
};

CNameCache::CNameCache(int nSource, CSourceWriteLock& lock, bool bReadOnly,
                       std::function<void(const std::string&)> reportRefused)
    : m_nSource(nSource),
      m_lock(lock),
      m_bReadOnly(bReadOnly),
      m_reportRefused(std::move(reportRefused)),
      m_pTree(std::make_unique<FileBPlusTree>()) {}

CNameCache::~CNameCache() = default;

// --- the shared change count of an index -------------------------------------------------

std::uint64_t* CNameCache::ChangeCount() const {
    return m_pChanges && m_pChanges->IsOpen() ? static_cast<std::uint64_t*>(m_pChanges->Data())
                                              : nullptr;
}

void CNameCache::Attach(CFile* pIndex) {
    m_agreed.reset();
    m_pChanges.reset();
    FileStamp stamp;
    if (!pIndex || !pIndex->GetStamp(stamp))
        return;
    // Named after the file itself, so every program on it meets, however it spells the path.
    const std::string name =
        "names." + std::to_string(stamp.nDev) + "." + std::to_string(stamp.nIno);
    auto block = std::make_unique<mlplat::CSharedBlock>();
    const mlplat::CSharedBlock::OpenResult r =
        block->Open(name.c_str(), sizeof(std::uint64_t), true);
    m_nNameCheckedMs = mlplat::CoarseTickMs();
    if (r == mlplat::CSharedBlock::kRefused)
        m_reportRefused(block->HeldName());
    if (block->IsOpen())
        m_pChanges = std::move(block);
}

void CNameCache::Detach() {
    m_agreed.reset();
    m_pChanges.reset();
}

void CNameCache::Follow(CFile* pIndex, bool bNow) {
    if (!m_pChanges)
        return;
    const std::uint64_t now = mlplat::CoarseTickMs();
    if (!bNow && now - m_nNameCheckedMs < kNameCheckMs)
        return;
    m_nNameCheckedMs = now;
    if (m_pChanges->StillNamed())
        return;
    // Programs on the old block and on the new one would not see each other's writes: the
    // image is brought up to date against the new one before it answers "no such name" again.
    Attach(pIndex);
}

// --- the write lock -------------------------------------------------------------------------

bool CNameCache::Lock(const SourceFiles& files, unsigned nWaitMs) {
    if (m_lock.Depth() > 0)
        return m_lock.Enter(files.pIndex, nWaitMs, m_bReadOnly);
    const bool bHeld = m_lock.Enter(files.pIndex, nWaitMs, m_bReadOnly);
    // Under the lock: what this hold writes is counted where every program looks.
    if (bHeld)
        Follow(files.pIndex, true);
    return bHeld;
}

void CNameCache::Unlock(const SourceFiles& files) {
    m_lock.Leave(files.pIndex, [&] { CountIndexWrite(files.pIndex, m_lock.InSync()); });
}

bool CNameCache::BeforeIndexWrite(const SourceFiles& files) {
    if (!m_lock.MarkIndexWritten())
        return m_lock.Held();
    // Whether the image agrees with the index before this engine's own writes: then, as no
    // other program writes while the lock is held, it agrees after them too.
    CIndexMark now;
    m_lock.SetInSync(m_lock.Held() && m_agreed &&
                     CIndexMark::Take(ChangeCount(), files.pIndex, now) && now == *m_agreed);
    return m_lock.Held();
}

void CNameCache::CountIndexWrite(CFile* pIndex, bool bInSync) {
    CIndexMark now;
    if (std::uint64_t* pCount = ChangeCount()) {
        // Every program's image learns of this write by the count.
        now = CIndexMark::Counted(std::atomic_ref<std::uint64_t>(*pCount).fetch_add(1) + 1);
    } else if (!bInSync || !CIndexMark::Take(nullptr, pIndex, now)) {
        return;
    }
    if (bInSync && m_agreed)
        m_agreed = now;
}

// --- names ----------------------------------------------------------------------------------

bool CNameCache::Find(const CString& strName, int& nValue) {
    nValue = 0;
    // A longer name would match a stored name by its first 31 bytes only.
    if (strName.GetLength() > memtag::kTagNameMax)
        return false;
    int nStatus = 0;
    return m_pTree->Find(CMyKey(strName), nullptr, &nValue, &nStatus) != 0;
}

void CNameCache::FindInEach(std::span<CNameCache* const> caches, const CString& strName,
                            std::span<int> values) {
    constexpr std::size_t kMaxTrees = 4;
    FileBPlusTree* trees[kMaxTrees] = {};
    const std::size_t n = std::min({caches.size(), values.size(), kMaxTrees});
    for (std::size_t i = 0; i < n; ++i)
        trees[i] = caches[i] ? caches[i]->m_pTree.get() : nullptr;
    if (strName.GetLength() > memtag::kTagNameMax) {
        std::fill(values.begin(), values.end(), 0);
        return;
    }
    FileBPlusTree::FindInEach(std::span(trees, n), CMyKey(strName), values.first(n));
}

void CNameCache::Store(const CString& strName, int nValue) {
    if (strName.GetLength() > memtag::kTagNameMax)
        return;
    int nOld = 0;
    if (m_pTree->Insert(CMyKey(strName), nValue, 1, &nOld))
        m_bChanged = true;
    // The key led to another entry: the name is held twice.
    if (nValue != 0 && nOld != 0 && nOld != nValue)
        m_heldTwice.insert(strName.str());
}

bool CNameCache::Reserve(const CString& strName) {
    int nValue = 0;
    if (m_pTree->GetMode() != FileBPlusTree::kMemory || strName.GetLength() > memtag::kTagNameMax ||
        Find(strName, nValue))
        return true;
    if (!m_pTree->Insert(CMyKey(strName), 0, 1))
        return false;
    m_bChanged = true;
    return true;
}

bool CNameCache::MayKnow(const SourceFiles& files, const CString& strName) {
    int nValue = 0;
    return (Find(strName, nValue) && nValue != 0) || IndexChanged(files);
}

void CNameCache::AfterNameLeft(const SourceFiles& files, const CString& strName) {
    if (m_lock.Held() && m_heldTwice.count(strName.str()))
        Reconcile(files, nullptr);
}

bool CNameCache::IndexChanged(const SourceFiles& files) {
    Follow(files.pIndex, false);
    if (!m_agreed)
        return true;
    CIndexMark now;
    return CIndexMark::Take(ChangeCount(), files.pIndex, now) && now != *m_agreed;
}

bool CNameCache::Resolve(const SourceFiles& files, const CString& strName, Hit& hit,
                         tagfile::EntryFault* pFault, const int* pFound) {
    if (pFault)
        *pFault = tagfile::EntryFault::kNoEntry;
    CFile* pIndex = files.pIndex;
    if (!pIndex || strName.IsEmpty() || strName.GetLength() > memtag::kTagNameMax)
        return false;
    auto typed = [&](int nType) { return files.Typed(nType); };
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The key's value, 0 when the tree has none (Find's value is then the next key's).
        int nValue = 0;
        if (attempt == 0 && pFound)
            nValue = *pFound;
        else if (!Find(strName, nValue))
            nValue = 0;
        if (nValue != 0) {
            const tagfile::EntryFault fault =
                nValue > 0 ? tagfile::ReadNamedEntry(*pIndex, m_nSource,
                                                     static_cast<std::uint32_t>(nValue), strName,
                                                     typed, hit.entry, &hit.record)
                           : tagfile::EntryFault::kNoEntry;
            if (fault == tagfile::EntryFault::kNone) {
                hit.dwEntry = static_cast<std::uint32_t>(nValue);
                return true;
            }
            // An entry whose record carries another name is a rename cut between its two
            // writes, whatever the tree says: a writer settles it (the entry takes back the
            // record's name unless another tag holds that name, as damage would have it).
            if (fault == tagfile::EntryFault::kRecordOtherName && attempt == 0 && !m_bReadOnly &&
                Reconcile(files, nullptr, true))
                continue;
            if (fault != tagfile::EntryFault::kNoEntry) {
                // The entry is the name's own; its record is not: damage, not a stale key.
                if (pFault)
                    *pFault = fault;
                return false;
            }
            // The key leads to a released entry or another name's: heal the whole image.
            if (attempt == 0 && Reconcile(files, nullptr))
                continue;
            return false;
        }
        // Not known here: another program may have added it since the image agreed.
        if (attempt == 0 && IndexChanged(files) && Reconcile(files, nullptr))
            continue;
        return false;
    }
    return false;
}

// --- agreement with the index ---------------------------------------------------------------

bool CNameCache::Reconcile(const SourceFiles& files, std::vector<NameChange>* pChanges,
                           bool bScreenRecords) {
    CFile* pIndex = files.pIndex;
    if (!pIndex || m_pTree->GetMode() != FileBPlusTree::kMemory)
        return false;
    // Under the write lock the index holds still: what is read is one state of it. A program
    // that keeps the lock (stopped, say) delays this by the wait at most: what is read without
    // it is at worst older than the next look.
    CHold hold(*this, files, kReconcileLockWaitMs);
    CIndexMark mark;
    const bool bMarked = CIndexMark::Take(ChangeCount(), pIndex, mark);
    std::uint32_t dwEnd = 0;
    IndexWalk walk;
    if (!tagfile::ReadEnd(*pIndex, kEntrySize, dwEnd) || !WalkIndex(*pIndex, bScreenRecords, walk))
        return false;
    // What a killed writer may have left half done is finished or undone by a writer under the
    // lock: no live program is in the middle of an add or a rename then, as both hold it
    // throughout.
    SetKeys(files, hold.Held() && !m_bReadOnly, walk, pChanges);
    if (bMarked) {
        m_agreed = mark;
        // Under the lock the image now agrees, this engine's own earlier writes of the same
        // hold included; those still raise the count when the hold ends.
        m_lock.SetInSync(m_lock.Held());
    }
    return true;
}

bool CNameCache::WalkIndex(CFile& index, bool bScreenRecords, IndexWalk& walk) {
    // The keys that lead somewhere, in the order of the entries they lead to (the value in
    // the high word, the key's number in the low one), so that the index is read once, in
    // blocks, whatever its F claims.
    std::vector<std::array<char, CMyKey::kSize>> keyTexts;
    std::vector<std::uint64_t> keys;
    const auto nExpected = static_cast<std::size_t>(
        std::clamp<std::int64_t>(m_pTree->GetRecordCount(), 0, FileBPlusTree::kMaxImage / 40));
    keyTexts.reserve(nExpected);
    keys.reserve(nExpected);
    m_pTree->ForEachEntry([&](const CMyKey& key, int nValue) {
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
    std::size_t nextKey = 0;
    auto markStale = [&](std::size_t k) {
        walk.stale.emplace_back(CMyKey(std::string(textOf(k)).c_str()),
                                static_cast<int>(valueOf(k)));
        walk.staleNames.emplace(textOf(k));
    };
    const bool bWalked = tagfile::WalkSlots(
        index, kEntrySize, [&](std::uint32_t dwOffset, const unsigned char* p, std::size_t n) {
            if (n < kEntrySize)
                return false;
            TagIndexEntry e;
            std::memcpy(&e, p, sizeof e);
            bool bNamed = false;
            for (; nextKey < keys.size() && valueOf(nextKey) <= dwOffset; ++nextKey) {
                if (valueOf(nextKey) == dwOffset &&
                    tagfile::IsLiveEntryOf(e, m_nSource, textOf(nextKey)))
                    bNamed = true;
                else
                    markStale(nextKey);
            }
            if (bNamed) {
                if (bScreenRecords)
                    walk.screened.push_back({dwOffset, e});
            } else if (tagfile::IsLiveEntryOf(e, m_nSource,
                                              {e.szName, strnlen(e.szName, sizeof e.szName)})) {
                walk.unnamed.push_back({dwOffset, e});
            } else if (e.szName[0] == 0 && e.szName[1] == 0 && !e.IsDeleted() &&
                       e.Source() == m_nSource && memtag::IsTagType(e.Type())) {
                // An append killed before its last write keeps the old zero count in the first
                // two bytes, and a rename cut before its record write has no name yet: a live
                // entry without a name.
                walk.cutAppends.push_back({dwOffset, e});
            }
            return true;
        });
    if (!bWalked)
        return false;
    for (; nextKey < keys.size(); ++nextKey)
        markStale(nextKey);
    return true;
}

void CNameCache::SetKeys(const SourceFiles& files, bool bFinish, IndexWalk& walk,
                         std::vector<NameChange>* pChanges) {
    // Whether a key leads to a live entry of its name, as the keys stand now.
    std::unordered_map<std::string, bool> moved;
    auto leadsToLive = [&](const CMyKey& key, int& nValue) {
        int nStatus = 0;
        CMyKey found;
        nValue = 0;
        const bool bKey = m_pTree->Find(key, &found, &nValue, &nStatus) != 0;
        const auto it = moved.find(key.GetText());
        if (it != moved.end())
            return it->second;
        return bKey && nValue != 0 && !walk.staleNames.count(key.GetText());
    };
    auto record = [&](const CMyKey& key, int nNew) {
        int nOld = 0;
        leadsToLive(key, nOld);
        if (m_pTree->Insert(key, nNew, 1))
            m_bChanged = true;
        moved[key.GetText()] = nNew != 0;
        if (pChanges)
            pChanges->push_back({m_nSource, key.ToString(), nOld, nNew});
    };
    // Live entries no key leads to: their name is missing, or leads to another live entry of
    // the same name (kept), or is one of the stale keys (set to this entry).
    std::unordered_set<std::string> heldTwice;
    for (const SlotEntry& s : walk.unnamed) {
        const CMyKey key(static_cast<const char*>(s.entry.szName));
        int nValue = 0;
        if (leadsToLive(key, nValue)) {
            heldTwice.insert(key.GetText());
            continue;
        }
        record(key, static_cast<int>(s.dwOffset));
        walk.screened.push_back(s);
    }
    if (bFinish) {
        auto taken = [&](const CMyKey& key) {
            int nValue = 0;
            return leadsToLive(key, nValue);
        };
        for (const auto& [strName, nEntry] :
             FinishCutWrites(files, walk.cutAppends, walk.screened, taken))
            record(CMyKey(strName.c_str()), nEntry);
    }
    for (const auto& [key, nValue] : walk.stale) {
        if (!moved.count(key.GetText()))
            record(key, 0);
    }
    m_heldTwice = std::move(heldTwice);
}

std::vector<std::pair<std::string, int>> CNameCache::FinishCutWrites(
    const SourceFiles& files, const std::vector<SlotEntry>& cutAppends,
    const std::vector<SlotEntry>& screened, const std::function<bool(const CMyKey&)>& leadsToLive) {
    std::vector<std::pair<std::string, int>> moves;
    CFile* pIndex = files.pIndex;
    if (!pIndex)
        return moves;
    CLiveRecords live(files);
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
        if (taken(old) || !TakeBackRecordName(files, s.dwOffset, e, rec))
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
        const unsigned char* pSlot = live.Of(e);
        if (!pSlot)
            continue;
        const char* szRecName = reinterpret_cast<const char*>(pSlot) + memtag::kTagNameOffset;
        if (std::memcmp(szRecName + 2, e.szName + 2, sizeof e.szName - 2) != 0) {
            takeBack(s, pSlot, CString());
            continue;
        }
        std::memcpy(e.szName, szRecName, 2);
        const CMyKey key(CStringFromField(e.szName, sizeof e.szName).GetString());
        if (!tagfile::IsLiveEntryOf(e, m_nSource, key.GetText()) || taken(key) ||
            !BeforeIndexWrite(files) || !pIndex->WriteAt(s.dwOffset, e.szName, 2))
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
        const unsigned char* pSlot = live.Of(e);
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

bool CNameCache::TakeBackRecordName(const SourceFiles& files, std::uint32_t dwEntry,
                                    TagIndexEntry& entry, const memtag::AnyTagRecord& rec) {
    const std::string_view name(rec.s.szName, strnlen(rec.s.szName, sizeof rec.s.szName));
    CFile* pIndex = files.pIndex;
    if (name.empty() || name.size() > memtag::kTagNameMax || !pIndex)
        return false;
    TagIndexEntry back = entry;
    std::memset(back.szName, 0, sizeof back.szName);
    std::memcpy(back.szName, name.data(), name.size());
    back.byArea = static_cast<std::uint8_t>(rec.s.nArea & 0xFF);
    back.byRegion = static_cast<std::uint8_t>(rec.s.nRegion & 0xFF);
    if (!BeforeIndexWrite(files) || !pIndex->WriteAt(dwEntry, &back, sizeof back))
        return false;
    entry = back;
    return true;
}
