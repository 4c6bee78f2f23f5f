// CFileDypass: the tag store engine.
//
// Owns the temporary directory and everything in it: the error file, the 16 record and index
// files of the two data sources (ZuZir = 1, Brakk = 2), the two name trees, the area/region list,
// and the path service that names the directories. All work happens on the caller's thread.
// Nothing of the record files is cached: every operation reads what it needs, so what another
// process writes is seen at the next call.
//
// The index files are the authority on names; the two name trees are their checked caches
// (CNameCache, one per source), brought into agreement when the set is opened, so a kill at any
// moment loses no name that an add or a rename returned 1 for. Images are saved at close when
// they changed, and a failed save is reported. Writes to a source are serialized between
// programs by its write lock (CSourceWriteLock), held for the moment of one add, change or
// delete, and for the whole of a backup, recovery or removal of the source; readers take no
// lock.
//
// Damaged files are failures, never wild writes: a free list, a released slot, an index entry or
// a record offset that does not fit its file makes the operation fail before anything is written.
// Tag names are at most 31 bytes: a record whose 32-byte name field has no terminating zero is
// refused, and a longer name given to a look-up names no tag. Nothing throws out of the engine.
//
// A directory removed under the open set is noticed by a write: writes look (by the index
// file's link count) at most every kSetCheckMs, so that looking costs an add nothing. The write
// that notices fails, the directory is made anew with a header-only set and a message saying so
// goes into its new error file; later writes work. Writes within kSetCheckMs before it are lost
// with the removed files. Backup, recovery and removal look first. Reads go on seeing the removed
// files until then.
//
// Shared memory is an aid, never a need: the change counts and the trees' locks work on without
// it (by the index file's stamp, by a flock on the tree file), a block that is not this user's
// alone is refused and told once in the error file, and a change count whose block the system
// removed is followed to the block that took its name: every write looks, and a look-up that
// finds nothing looks at most every kNameCheckMs. Opening the set clears a few dozen blocks
// that killed programs left behind.
//
// Its bases, in store/Store*.h: the error file, the codes, the items, the areas, the file table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Arrays.h"
#include "CString.h"
#include "DirkeeperInterface.h"
#include "NameCache.h"
#include "SourceWriteLock.h"
#include "StoreAreas.h"
#include "StoreFileTable.h"
#include "StoreItems.h"
#include "StoreWriteScope.h"
#include "TagIndex.h"
#include "TagRecords.h"

namespace mlplat {
class StoreDir;
}  // namespace mlplat

class CFileDypass : public CStoreItems, public CStoreAreas, public CStoreFileTable {
public:
    // Resolves "QLX_PATH_D_TEMP" through the path service (empty when that fails), makes it
    // absolute against the current directory, creates the directory tree (moving the current
    // directory into each directory it creates) and opens the file set, the name trees and the
    // area/region list.
    CFileDypass();
    // The store in `strDir`, made and opened as above unless bReadOnly. With bReadOnly, a
    // read-only view for tools that look into a directory: files are opened for reading only,
    // nothing is created, no header is written, the name trees are loaded but never saved and
    // nothing goes into the error file. A missing file stays closed; operations that would
    // write fail or do nothing. The area/region list comes from `strAreaInfoDir`, or through
    // the path service when that is empty.
    CFileDypass(const CString& strDir, bool bReadOnly, const CString& strAreaInfoDir = CString());
    bool IsReadOnly() const { return m_bReadOnly; }
    // Closes the set (saving changed name trees).
    ~CFileDypass() override;
    CFileDypass(const CFileDypass&) = delete;
    CFileDypass& operator=(const CFileDypass&) = delete;

    // --- directories ------------------------------------------------------------------------
    // Creates every missing directory of `strPath`; 1 unless a creation failed (0 for an empty
    // path). Changes the process's current directory to each directory it creates.
    int CreateDirectoryTree(const CString& strPath);

    // Absolute, or empty.
    const CString& GetTempDir() const { return m_strTempDir; }
    // Path of `name` in the temporary directory (directory, a separator, the name).
    CString TempPath(const char* name) const;

    // --- the file set -----------------------------------------------------------------------
    // Closes the set, makes `strPath` absolute against the current directory, creates its
    // directory tree (without trailing separators) when it differs from the current directory
    // or is missing, takes it (trailing separators kept) as the new directory and opens the
    // set there. Always 1.
    int SetConfigureFilePath(const CString& strPath);
    // Backup, recovery and removal of a source hold its write lock throughout, so that they
    // take or replace one state of the source and cut no other program's write; when another
    // program keeps the lock past the write wait they do nothing, say so in the error file and
    // return 0.
    //
    // Copies each file of source 1 or 2 (and its name tree, saved first: brought up to date
    // with the index) to its "Old" name, creating a missing file first. 1; 0 without a
    // directory. A bad source only reports the source check's message and copies nothing.
    int BackupAsOldFile(int nSource);
    // Closes the set, copies each "Old" file of source 1 or 2 over the current one (a missing
    // backup of a data file is created header-only first; a missing tree backup keeps the
    // tree), reopens. Counted as an index write, so other programs bring their names up to
    // date. 1; 0 without a directory (the set then stays closed).
    int RecoverWithOldFile(int nSource);
    // Empties the Brakk set: tag files, index and name tree; with scope 2 also the event, task
    // and struct files. The set is reopened, so the files come back header-only. 1.
    int RemoveAllBRKFile(int nScope);
    // Empties the whole ZuZir set (scope is not looked at). 1.
    int RemoveAllRMPFile(int nScope);
    // A copy of file slot `nSlot` (0..15); an empty slot for another number.
    TempFileSlot GetFileSlot(int nSlot) const;

    // --- record files and the tag index -----------------------------------------------------
    // Writes an index entry for the tag record `pData` just written at `nRecordOffset` in the
    // typed file of the current type and source, and stores its name in the source's name tree.
    // The entry's offset, or -1 (a bad current source also reports "数据来源指定错误！").
    int AddIndexEntry(int nRecordOffset, const void* pData);
    // Finds a tag by name, Brakk first: 1 and its type, source and record offset (and they
    // become the current type and source), or 0 (current type and source become 0).
    int LocateTag(const CString& strName, int& nType, int& nSource, int& nOffset);
    // The typed tag file of the current type (1..4) and source (1, 2): its path and a copy of
    // its slot; an empty path and slot otherwise.
    void GetTagFile(CString& strPath, TempFileSlot& slot) const;
    // The name held in a typed tag record (at most 32 bytes, never past the field).
    static CString GetTagName(const void* pData);

    // --- tags: add, change, delete ----------------------------------------------------------
    // Writes the typed record of the current type (1..4) into its source's file (1, 2), as
    // given: exactly that type's record size is read from `pData`, whatever its own type field
    // says. The record's offset, or -1. A null record or a name without terminating zero is
    // refused.
    int WriteTagRecord(void* pData);
    // Moves the index entry and name of tag `strOldName` (Brakk first) to the new record's
    // name; the tag's stored type and source become current (the declared ones only need to be
    // codes: type 0..4, source 0..2). The record offset, or -1 when the name is no tag, the
    // name field has no terminating zero or no valid codes are current; nothing changes then.
    int RelinkTag(void* pNew, const CString& strOldName);
    // Overwrites the record at `nOffset` of the current type's file with `pNew`, at the stored
    // type's size. `pNew` holds a record of `nDeclaredType` (0: of the stored type); a shorter
    // one keeps the stored bytes beyond it, and no byte past it is read. 1, or -1.
    int RewriteTagRecord(int nOffset, void* pNew, int nDeclaredType = memtag::kTypeNone);
    // RelinkTag and RewriteTagRecord under one hold of the source's write lock, so that no other
    // program sees the entry renamed and the record not; a failed record write puts the entry
    // and the names back. A new name goes into the entry without its first two bytes until the
    // record carries it, so that a rename cut by a kill shows in the index itself. 1; -1 when
    // the name is no tag (as RelinkTag); -2 when the record could not be written (or the name
    // tree cannot take the new name); -3 when another program kept the source's write lock past
    // the wait. Nothing changes unless it returns 1.
    int RenameTag(void* pNew, const CString& strOldName, int nDeclaredType);
    // Deletes the tag `strName` (Brakk first): index entry and record flagged and released,
    // name unlinked. 1; -1 with "未找到指定要删除的位号:%s！" when no source has it.
    int DeleteTag(const CString& strName);

    // --- name trees against the index files ----------------------------------------------
    // One key a reconciliation changed: its value before and after (0: the name has no tag).
    using NameChange = CNameCache::NameChange;
    // Brings the name tree of source 1 or 2 into agreement with the index file: every live
    // entry's name leads to a live entry of that name (a key that already does is kept, so of
    // a name held twice the tree's choice stays), and no key leads to a deleted entry or to
    // another name's. With bScreenRecords, every live entry's record is read too, and an entry
    // whose record carries another name takes that name back (a rename cut between its two
    // writes by a program of an earlier version). Appends what it changed to `*pChanges`.
    // False when the source's index file or tree is not usable.
    bool ReconcileNames(int nSource, std::vector<NameChange>* pChanges = nullptr,
                        bool bScreenRecords = false);
    // What bringing the trees into agreement changed when the set was last opened.
    const std::vector<NameChange>& GetOpenChanges() const { return m_openChanges; }
    // Writes the changed name trees to their files now (as closing does). 1 when every tree
    // that needed it was saved.
    int SaveNames();

    // The write lock of a source held for a scope (see CStoreWriteScope).
    using CWriteScope = CStoreWriteScope;
    // How long a writer waits for another program's write of the same source.
    static constexpr unsigned kWriteLockTimeoutMs = CStoreWriteScope::kWaitMs;
    // How long bringing a tree up to date waits for it (a tree's own lock time-out); without
    // it, the tree is brought up to date all the same and cut writes are left to a writer.
    static constexpr unsigned kReconcileLockWaitMs = CNameCache::kReconcileLockWaitMs;
    // How often at most a write looks whether the set's files still have names.
    static constexpr unsigned kSetCheckMs = 10;
    // How often at most a look-up that finds nothing looks whether the change count's block
    // still has its name (a write looks every time).
    static constexpr unsigned kNameCheckMs = CNameCache::kNameCheckMs;

    // --- tag queries ------------------------------------------------------------------------
    // The offset of the tag's index entry when `strName` is a live tag of that source, else 0.
    int JustTagFromBRK(const CString& strName);
    int JustTagFromRMP(const CString& strName);
    // The tag `strName` (Brakk first): 1 and `tag` filled, or 0 with "返回位号信息错误：…"
    // messages for an offset beyond the file, another name in the record or a deleted record.
    int GetTagByName(const CString& strName, CMemTag& tag);
    // Every live index entry of the source (0: Brakk then ZuZir). 1; 0 when the source is
    // rejected (the array is then empty).
    int GetTagArray(CArray<_INDEX_STRUCT, _INDEX_STRUCT&>& arr, int nSource);
    // The typed record an index entry names, into `pData` (which must hold the entry type's
    // record size; null only checks the entry). 1, or 0 (bad entry, deleted record).
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, void* pData);
    // The same as a CMemTag (boolean and string tags get no unit and zero ranges).
    int GetTagInfoWithIdx(_INDEX_STRUCT idx, CMemTag& tag);
    // Every live tag of both sources, Brakk first (`nSource` is not used). 1.
    int GetAllTags(CArray<CMemTag, CMemTag&>& arr, int nSource);

private:
    friend class CStoreWriteScope;
    static constexpr int kTreeBrakk = 0;
    static constexpr int kTreeZuZir = 1;

    // FileDypass.cpp
    mlplat::StoreDir* ErrorFileDir() override;
    // The temporary directory, opened once and opened again (in place, for the trees that share
    // it) when it was replaced; closed when it cannot be opened.
    mlplat::StoreDir& StoreDirectory();
    // Reports `name` when the directory refuses it (a planted link or another user's file), so
    // that a refused file is told apart from an ordinary failure. Whether it reported.
    bool ReportIfRefused(const char* name);

    // FileDypassFiles.cpp
    // Fills the file table's names, makes the trees and opens the set.
    void OpenSetAtConstruction();
    void OpenAll();
    // Saves the changed trees and closes every file but slot `nKeepSlot`.
    void CloseAll(int nKeepSlot = -1);
    void CloseSlot(int nSlot);
    // With bAlways, the image is brought into agreement with the index and saved even when
    // this program changed nothing.
    void SaveTreeIfChanged(int nTree, bool bAlways = false);
    // Takes the write lock of source 1 or 2 into `hold` before its files are copied or replaced.
    // False, with `pszTimedOut` (formatted with the source) in the error file, when another
    // program kept it past the write wait. Other sources, and a source whose index is not open,
    // need no lock: `hold` stays empty.
    bool HoldSource(int nSource, const char* pszTimedOut, std::optional<CWriteScope>& hold);
    // RemoveAllBRKFile and RemoveAllRMPFile: the files of `slots`, then the source's tree.
    int RemoveSourceFiles(int nSource, std::span<const int> slots);
    // Both look-ups by index entry: the entry's codes set and checked (with their messages),
    // then the typed file of the entry's codes whose slot area holds its record offset, or null.
    bool CheckIndexCodes(const _INDEX_STRUCT& idx);
    CFile* IndexedRecordFile(const _INDEX_STRUCT& idx);
    // `nTree`: the tree whose file `pszName` is, or -1 for a data file.
    bool BackupOne(const char* pszName, int nTree);
    bool RestoreOne(const char* pszName, bool bTree);
    void DeleteOne(const char* pszName);
    static bool CreateEmptyDataFile(const mlplat::StoreDir& dir, const char* name);
    // True when the set was removed under this engine: the tree's index file is open but has no
    // name any more, or is not open and the directory is missing.
    bool SetRemoved(int nTree) const;
    // Closes the removed set (its trees unsaved), makes the directory anew, reopens the set
    // there and reports it. Writes under way hold no lock afterwards: the rest of their hold
    // fails.
    void ReviveSet();
    void ReviveIfRemoved();

    // FileDypassRecords.cpp
    bool HasDirectory() const override;
    CFile* ItemFile(int nKind, int nSource) const override;
    int UnderWriteLock(int nKind, int nSource, const std::function<int(CFile&)>& fn) override;
    CFile* UsableFile(int nSlot) const;
    static int TreeOfSource(int nSource);
    static int IndexSlotOfTree(int nTree);
    static int SourceOfTree(int nTree);
    // The source's files as they are open now, for its name cache.
    CNameCache::SourceFiles FilesOf(int nTree) const;

    // FileDypassNames.cpp
    using NameHit = CNameCache::Hit;
    // The live tag `strName` of one tree, checked against the index and record files (see
    // CNameCache::Resolve).
    bool ResolveName(int nTree, const CString& strName, NameHit& hit,
                     tagfile::EntryFault* pFault = nullptr, const int* pFound = nullptr);
    // The same, Brakk first: the first fault found is the one told.
    bool ResolveEither(const CString& strName, NameHit& hit, tagfile::EntryFault* pFault = nullptr);
    // Where a write starts, before any file pointer is taken: the outermost write looks, at
    // most every kSetCheckMs, whether the set was removed; when it was, the set is made anew
    // and the write must fail (false).
    bool WriteStarts(int nTree);
    // The source's write lock, never anything more: no file is closed or opened, except when
    // the outermost hold, had only after a wait, finds the source's files removed: the set is
    // then made anew as WriteStarts does, and the hold is not had.
    bool LockSource(int nTree, unsigned nWaitMs = kWriteLockTimeoutMs);
    void UnlockSource(int nTree);
    CFile* TypedFile(int nTree, int nType) const;
    // Writes the message about a refused shared block once per program and block.
    void ReportRefusedOnce(const std::string& strName);
    // FileDypassTags.cpp: the live tag `strName` (Brakk first) for a write, with `scope` holding
    // its source's write lock (or not, when another program kept it): its tree and `hit`. False
    // when no source has it (`scope` then holds nothing).
    bool ResolveForWrite(const CString& strName, std::optional<CWriteScope>& scope, int& nTree,
                         NameHit& hit);
    // The delete of a tag found by name, under its source's write lock.
    int DeleteResolved(int nTree, const CString& strName, const NameHit& hit);
    // RelinkTag; `whileHeld`, when given, runs with the tag's stored type, its source and its
    // record offset before the lock is let go and, returning false, has the relink undone (the
    // result is then -2).
    int Relink(void* pNew, const CString& strOldName,
               const std::function<bool(int, int, int)>& whileHeld);
    // RewriteTagRecord on the file of `nType` and `nSource`.
    int RewriteRecord(int nType, int nSource, int nOffset, void* pNew, int nDeclaredType);
    static bool NameFieldTerminated(const void* pData);
    void FillFromRecord(const void* pRecord, int nType, int nSource, CMemTag& tag,
                        bool bClearUnitForOthers) const;

    CString m_strTempDir;
    std::shared_ptr<mlplat::StoreDir>
        m_pDir;            // m_strTempDir opened, when it could be; the trees share it
    int m_nIndexSlot = 0;  // tree of the last index entry written: 0 Brakk, 1 ZuZir
    TempFileSlot m_files[kSlotCount];
    // Per tree: its source's write lock and its name cache (which holds that lock).
    CSourceWriteLock m_locks[2];
    std::unique_ptr<CNameCache> m_names[2];
    std::uint64_t m_nSetCheckedMs = 0;  // tick of the last look at the set's names
    std::vector<NameChange> m_openChanges;
    CDirkeeperInterface m_dirKeeper;
    bool m_bReadOnly = false;
};
