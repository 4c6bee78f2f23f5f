// CNameCache: one source's name tree as a checked cache of its index file.
//
// The index file is the authority on names; the tree is a memory image that serves as its
// cache. Every entry the tree gives is read back and checked (a live entry of that name, whose
// record is a live record of that name) before it is used, so a stale key finds nothing and is
// healed; a name not found while the index changed since the image last agreed with it
// (another program wrote it) brings the image up to date first. Bringing it up to date
// (reconciliation) also finishes or undoes, under the source's write lock, what a killed
// writer left half done.
//
// The cache reaches the files only through what the engine passes it (SourceFiles); it holds
// the source's write lock only as the engine's CSourceWriteLock, and never opens, closes or
// looks for the set's files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "CString.h"
#include "IndexMark.h"
#include "SourceWriteLock.h"
#include "TagIndex.h"
#include "TagRecords.h"

class FileBPlusTree;
class CMyKey;
namespace mlplat {
class CSharedBlock;
}  // namespace mlplat

class CNameCache {
public:
    // The source's files as the engine has them open now (null when not usable): its index and
    // its typed tag files by type (1..4).
    struct SourceFiles {
        CFile* pIndex = nullptr;
        CFile* typed[memtag::kTypeString + 1] = {};
        CFile* Typed(int nType) const { return memtag::IsTagType(nType) ? typed[nType] : nullptr; }
    };
    // One key a reconciliation changed: its value before and after (0: the name has no tag).
    struct NameChange {
        int nSource;
        CString strName;
        int nOld;
        int nNew;
    };
    // A tag found by name: its entry's offset, the entry and its record.
    struct Hit {
        std::uint32_t dwEntry = 0;
        TagIndexEntry entry{};
        memtag::AnyTagRecord record{};
    };
    // How long bringing the image up to date waits for the write lock; without it, the image
    // is brought up to date all the same and cut writes are left to a writer.
    static constexpr unsigned kReconcileLockWaitMs = 500;
    // How often at most a look-up that finds nothing looks whether the change count's block
    // still has its name (a write looks every time).
    static constexpr unsigned kNameCheckMs = 3;

    // `reportRefused` tells a shared block that is not this user's alone (once per name is the
    // engine's business).
    CNameCache(int nSource, CSourceWriteLock& lock, bool bReadOnly,
               std::function<void(const std::string&)> reportRefused);
    ~CNameCache();
    CNameCache(const CNameCache&) = delete;
    CNameCache& operator=(const CNameCache&) = delete;

    FileBPlusTree& Tree() { return *m_pTree; }
    // Whether the image holds what its file does not.
    bool Changed() const { return m_bChanged; }
    void SetChanged(bool bChanged) { m_bChanged = bChanged; }

    // --- the shared change count ------------------------------------------------------------
    // Meets the change count of the index `pIndex` (named after the file's device and inode)
    // and forgets the agreement.
    void Attach(CFile* pIndex);
    // Lets go of the change count and forgets the agreement (the set closes).
    void Detach();
    // The image no longer agrees with anything (a tree loaded afresh).
    void ForgetAgreement() { m_agreed.reset(); }

    // --- the write lock ---------------------------------------------------------------------
    // Takes a hold of the source's write lock; the outermost follows the change count. Never
    // closes or opens a file. Whether the lock is held.
    bool Lock(const SourceFiles& files, unsigned nWaitMs);
    // Leaves a hold; the outermost counts what it wrote and lets go of the flock.
    void Unlock(const SourceFiles& files);
    // Called under the lock before the engine writes the index. False when the write must not
    // happen (the lock is not held).
    bool BeforeIndexWrite(const SourceFiles& files);

    // --- names ------------------------------------------------------------------------------
    // True when the key is in the tree; its value in `nValue`. Names over 31 bytes are no key.
    bool Find(const CString& strName, int& nValue);
    // Stores `nValue` under the name (replace); failures are silent, as the tree reports them.
    void Store(const CString& strName, int nValue);
    // Makes sure the tree can hold `strName` before anything of an add or a rename is
    // written: a missing key is put in leading nowhere. False when the tree cannot take it.
    bool Reserve(const CString& strName);
    // The live tag `strName`, checked against the index and record files. A key that leads
    // nowhere valid, or a name missing while the index changed, first brings the image up to
    // date. False when the source has no such tag; `*pFault` then tells whether a live entry
    // of the name was found with a record that is not its own.
    // `pFound`, when given, is what Find gave for the name just now (0: nothing), as FindInEach
    // gives it: the first look at the tree is then spared.
    bool Resolve(const SourceFiles& files, const CString& strName, Hit& hit,
                 tagfile::EntryFault* pFault = nullptr, const int* pFound = nullptr);
    // Find in several caches' trees at once: values[i] is the name's value in caches[i], 0 when
    // it has none. Their waits on memory overlap, so two trees cost little more than one.
    static void FindInEach(std::span<CNameCache* const> caches, const CString& strName,
                           std::span<int> values);
    // False when the tree surely has no such name: no key, and the index unchanged since the
    // image agreed with it. A write then need not take the source's lock to look.
    bool MayKnow(const SourceFiles& files, const CString& strName);
    // After a name left the entry its key led to: of a name held by two live entries, the
    // other one gets the key (the image is brought up to date under the hold).
    void AfterNameLeft(const SourceFiles& files, const CString& strName);
    // True when the index changed since the image last agreed with it.
    bool IndexChanged(const SourceFiles& files);
    // Brings the image into agreement with the index (see CFileDypass::ReconcileNames). False
    // when the index file or tree is not usable.
    bool Reconcile(const SourceFiles& files, std::vector<NameChange>* pChanges,
                   bool bScreenRecords = false);

private:
    // An index entry as read, and where.
    struct SlotEntry {
        std::uint32_t dwOffset;
        TagIndexEntry entry;
    };
    // What a walk of the index found against the keys (Reconcile's first step).
    struct IndexWalk;

    std::uint64_t* ChangeCount() const;
    // Whether the change count's name still leads to the block held; when it does not (the
    // system removed the user's blocks, and another program may have made a new one), moves
    // to the block of that name and forgets the agreement, which was counted on the old one.
    // Without bNow it looks at most every kNameCheckMs.
    void Follow(CFile* pIndex, bool bNow);
    // Under the lock, after the index was written: every program's image learns of it by the
    // change count; this image keeps agreeing when `bInSync`.
    void CountIndexWrite(CFile* pIndex, bool bInSync);
    // Reconcile's steps: the keys against the index's entries, then the keys set right.
    bool WalkIndex(CFile& index, bool bScreenRecords, IndexWalk& walk);
    void SetKeys(const SourceFiles& files, bool bFinish, IndexWalk& walk,
                 std::vector<NameChange>* pChanges);
    // Finishes or undoes in the index what a killed writer left half done among the entries
    // given: an entry without a name (an add whose entry lacks its first two bytes, a rename
    // cut before its record write), a rename whose record kept the old name. `leadsToLive`
    // tells whether a name's key leads to a live entry of that name. The keys to move, in
    // order: a name and the entry it must lead to (0: none). Under the write lock only.
    std::vector<std::pair<std::string, int>> FinishCutWrites(
        const SourceFiles& files, const std::vector<SlotEntry>& cutAppends,
        const std::vector<SlotEntry>& screened,
        const std::function<bool(const CMyKey&)>& leadsToLive);
    // A rename cut short by a killed program leaves the entry under the new name and the record
    // under the old: the entry takes back the record's name. Under the write lock only.
    bool TakeBackRecordName(const SourceFiles& files, std::uint32_t dwEntry, TagIndexEntry& entry,
                            const memtag::AnyTagRecord& rec);

    int m_nSource;
    CSourceWriteLock& m_lock;
    bool m_bReadOnly;
    std::function<void(const std::string&)> m_reportRefused;
    std::unique_ptr<FileBPlusTree> m_pTree;
    bool m_bChanged = false;
    // The change count of the index, kept in shared memory by every program that writes it
    // through this library: reading it costs no system call, where a stat before and after
    // each write would make the file system stamp every write afresh. Without the block, the
    // file's stamp stands in.
    std::unique_ptr<mlplat::CSharedBlock> m_pChanges;
    std::uint64_t m_nNameCheckedMs = 0;  // tick of the last look at the block's name
    std::optional<CIndexMark> m_agreed;  // set while the image agrees with the index
    // Names that more than one live entry held when the image last agreed with the index, or
    // that this engine gave a second entry since.
    std::unordered_set<std::string> m_heldTwice;
};
