// The temporary file set: opening, closing, moving, backing up, restoring and emptying it.
#include <mutex>
#include <optional>
#include <span>
#include <unordered_set>
#include <vector>

#include "Clock.h"
#include "File.h"
#include "FileDypass.h"
#include "FileSystem.h"
#include "SharedMemory.h"
#include "filebplustreenode.h"
#include "gbtext/StoreTexts.h"

namespace {

constexpr int kTreeOrder = 10;

// Whether a copy was made; when not, the first of its two files that was refused is told.
template <class Tell>
bool CopiedOrTold(bool bCopied, const char* pszFrom, const char* pszTo, Tell tell) {
    if (!bCopied && !tell(pszFrom))
        tell(pszTo);
    return bCopied;
}
// Abandoned shared blocks cleared at most per open of the set.
constexpr int kSweepPerOpen = 32;
constexpr unsigned kDataFileFlags = CFile::modeReadWrite | CFile::modeCreate |
                                    CFile::modeNoTruncate | CFile::shareDenyNone |
                                    CFile::typeBinary;

// Backup and recovery order of a source's files (slots); the name tree comes last.
constexpr int kZuZirOrder[] = {9, 10, 11, 12, 8, 14, 13, 15};
constexpr int kBrakkOrder[] = {1, 2, 3, 4, 0, 6, 5, 7};

std::span<const int> SourceOrder(bool bZuZir) {
    return bZuZir ? std::span<const int>(kZuZirOrder) : std::span<const int>(kBrakkOrder);
}

// Writes the 42-byte header when the open file is empty.
bool EnsureHeader(CFile& f) {
    const long long len = f.GetLength();
    if (len != 0)
        return len > 0;
    unsigned char header[tagfile::kNewFileSize];
    tagfile::BuildNewFileHeader(header);
    return f.WriteAt(0, header, sizeof header);
}

}  // namespace

CFileDypass::CFileDypass() : CStoreAreas(CString()) {
    if (!m_dirKeeper.GetCfgPath("QLX_PATH_D_TEMP", m_strTempDir))
        m_strTempDir.Empty();
    // Absolute before the walk: the walk moves the current directory, a relative path would
    // then name another place at every later operation.
    m_strTempDir = mlplat::MakeAbsolute(m_strTempDir.str());
    CreateDirectoryTree(m_strTempDir);
    OpenSetAtConstruction();
}

CFileDypass::CFileDypass(const CString& strDir, bool bReadOnly, const CString& strAreaInfoDir)
    : CStoreAreas(strAreaInfoDir), m_bReadOnly(bReadOnly) {
    m_strTempDir = mlplat::MakeAbsolute(strDir.str());
    if (!m_bReadOnly)
        CreateDirectoryTree(m_strTempDir);
    OpenSetAtConstruction();
}

void CFileDypass::OpenSetAtConstruction() {
    for (int i = 0; i < kSlotCount; ++i)
        m_files[i].strName = SlotFileName(i);
    m_pDir = std::make_shared<mlplat::StoreDir>();
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        m_names[t] = std::make_unique<CNameCache>(
            SourceOfTree(t), m_locks[t], m_bReadOnly,
            [this](const std::string& strName) { ReportRefusedOnce(strName); });
        m_names[t]->Tree().SetDirectory(m_pDir);
    }
    OpenAll();
}

CFileDypass::~CFileDypass() {
    CloseAll();
}

bool CFileDypass::CreateEmptyDataFile(const mlplat::StoreDir& dir, const char* name) {
    CFile f;
    return f.OpenIn(dir, name, kDataFileFlags) && EnsureHeader(f);
}

void CFileDypass::OpenAll() {
    if (m_strTempDir.IsEmpty())
        return;
    // Opened afresh: the directory may have been named anew or made again since.
    m_pDir->Close();
    const mlplat::StoreDir& dir = StoreDirectory();
    for (TempFileSlot& slot : m_files) {
        if (slot.nOpen || slot.strName.IsEmpty())
            continue;
        auto f = std::make_unique<CFile>();
        if (m_bReadOnly) {
            if (f->OpenIn(dir, slot.strName, CFile::modeRead | CFile::shareDenyNone)) {
                slot.pFile = f.release();
                slot.nOpen = 1;
            }
            continue;
        }
        if (f->OpenIn(dir, slot.strName, kDataFileFlags)) {
            EnsureHeader(*f);
            slot.pFile = f.release();
            slot.nOpen = 1;
        } else if (f->IsRefused()) {
            ReportError(gbtext::StoreFileRefused, TempPath(slot.strName).GetString());
        }
    }
    // Blocks of programs that were killed outlive their sets; a few go at each open.
    mlplat::CSharedBlock::SweepAbandoned(kSweepPerOpen);
    const char* names[2] = {kBrakkTreeName, kZuZirTreeName};
    m_openChanges.clear();
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        const CString path = TempPath(names[t]);
        // A tree that cannot be read (missing, damaged, its lock held too long) starts empty
        // and is rebuilt from the index, which holds every live name.
        CNameCache& cache = *m_names[t];
        const bool bLoaded = cache.Tree().LoadFromFile(path) != 0;
        if (!bLoaded)
            cache.Tree().CreateInMemory(path, kTreeOrder, 0);
        if (!cache.Tree().RefusedLockName().empty())
            ReportRefusedOnce(cache.Tree().RefusedLockName());
        cache.SetChanged(false);
        const CNameCache::SourceFiles files = FilesOf(t);
        cache.Attach(files.pIndex);
        cache.Reconcile(files, &m_openChanges);
        // An unreadable file is replaced at the next save, as a changed image would be.
        if (!bLoaded && dir.Holds(names[t]))
            cache.SetChanged(true);
    }
    LoadAreaRegions(m_dirKeeper, *this);
}

void CFileDypass::ReportRefusedOnce(const std::string& strName) {
    // Once per program: every engine of the process meets the same blocks.
    static std::mutex s_mutex;
    static std::unordered_set<std::string> s_told;
    if (m_strTempDir.IsEmpty() || m_bReadOnly)
        return;  // no error file to tell
    {
        std::lock_guard<std::mutex> hold(s_mutex);
        if (!s_told.insert(strName).second)
            return;
    }
    ReportError(gbtext::SharedObjectRefused, strName.c_str());
}

void CFileDypass::SaveTreeIfChanged(int nTree, bool bAlways) {
    // A program that changed nothing saves nothing: its image holds no more than the file.
    CNameCache& cache = *m_names[nTree];
    if (m_strTempDir.IsEmpty() || m_bReadOnly || cache.Tree().GetMode() != FileBPlusTree::kMemory)
        return;
    const char* pszName = nTree == kTreeBrakk ? kBrakkTreeName : kZuZirTreeName;
    // Looked at first in any case: the tree saves through the directory as it is now.
    const bool bHeld = StoreDirectory().Holds(pszName);
    if (!bAlways && !cache.Changed() && bHeld)
        return;
    // The names of a removed set went with it; a directory made anew must not get them.
    if (SetRemoved(nTree))
        return;
    // What other programs wrote since the image agreed goes in too, so the file written
    // agrees with the index as it is now. Under the source's write lock (when it can be had in
    // time), or another program's add could fall between the two, and a save of this older
    // image could come after that program's own, newer one.
    // Holding the other source's lock (a backup, a recovery), it does not wait: two programs
    // doing so for opposite sources would each wait for the other.
    const CNameCache::SourceFiles files = FilesOf(nTree);
    const bool bHoldsOther = m_locks[nTree == kTreeBrakk ? kTreeZuZir : kTreeBrakk].Depth() > 0;
    cache.Lock(files, bHoldsOther ? 0 : CNameCache::kReconcileLockWaitMs);
    if (cache.IndexChanged(files))
        cache.Reconcile(files, nullptr);
    if (cache.Tree().SaveToFile(CString()))
        cache.SetChanged(false);
    else if (!ReportIfRefused(pszName))
        ReportError(gbtext::TreeSaveFailed, pszName);
    cache.Unlock(files);
}

int CFileDypass::SaveNames() {
    int ok = 1;
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        SaveTreeIfChanged(t);
        if (m_names[t]->Changed())
            ok = 0;
    }
    return ok;
}

void CFileDypass::CloseAll(int nKeepSlot) {
    // The trees first, while the index files are open to bring them up to date.
    for (int t : {kTreeBrakk, kTreeZuZir}) {
        SaveTreeIfChanged(t);
        m_names[t]->Tree().Close();
        m_names[t]->SetChanged(false);
        m_names[t]->Detach();
    }
    for (int i = 0; i < kSlotCount; ++i) {
        if (i != nKeepSlot)
            CloseSlot(i);
    }
}

void CFileDypass::CloseSlot(int nSlot) {
    TempFileSlot& slot = m_files[nSlot];
    if (slot.pFile) {
        slot.pFile->Close();
        delete slot.pFile;
        slot.pFile = nullptr;
    }
    slot.nOpen = 0;
}

bool CFileDypass::HoldSource(int nSource, const char* pszTimedOut,
                             std::optional<CWriteScope>& hold) {
    const int nTree = TreeOfSource(nSource);
    if (nTree < 0 || m_strTempDir.IsEmpty() || m_bReadOnly)
        return true;
    hold.emplace(*this, nSource);
    if (hold->Held())
        return true;
    hold.reset();
    // A source whose index is not open has no lock to take: its files are treated as before.
    if (!m_locks[nTree].TimedOut())
        return true;
    ReportError(pszTimedOut, nSource);
    return false;
}

bool CFileDypass::SetRemoved(int nTree) const {
    if (m_strTempDir.IsEmpty() || m_bReadOnly)
        return false;
    if (CFile* pIndex = UsableFile(IndexSlotOfTree(nTree)))
        return pIndex->IsUnlinked();
    return !mlplat::IsDirectory(m_strTempDir);
}

void CFileDypass::ReviveSet() {
    for (CSourceWriteLock& lock : m_locks)
        lock.Forget();
    m_nSetCheckedMs = mlplat::TickMs();
    CloseAll();
    CString strBare = m_strTempDir;
    strBare.TrimRight('/');
    CreateDirectoryTree(strBare);
    OpenAll();
    ReportError(gbtext::StoreDirRemade, m_strTempDir.GetString());
}

void CFileDypass::ReviveIfRemoved() {
    if (SetRemoved(kTreeBrakk) || SetRemoved(kTreeZuZir))
        ReviveSet();
}

int CFileDypass::SetConfigureFilePath(const CString& strPath) {
    if (m_bReadOnly)
        return 0;
    CloseAll();
    // Absolute against the current directory of this moment, trailing separators kept.
    const CString strDir(mlplat::MakeAbsolute(strPath.str()));
    if (!strDir.IsEmpty()) {
        CString strBare = strDir;
        strBare.TrimRight('/');
        // The same directory is made again too when it was removed under the open set.
        if (strBare != m_strTempDir || !mlplat::IsDirectory(strBare))
            CreateDirectoryTree(strBare);
    }
    m_strTempDir = strDir;
    OpenAll();
    return 1;
}

bool CFileDypass::BackupOne(const char* pszName, int nTree) {
    const bool bTree = nTree >= 0;
    if (bTree) {
        // The source's own tree is written whatever this program changed: another program's
        // save may hold an older image, and the backup's tree must agree with its index.
        SaveTreeIfChanged(kTreeBrakk, nTree == kTreeBrakk);
        SaveTreeIfChanged(kTreeZuZir, nTree == kTreeZuZir);
    }
    const mlplat::StoreDir& dir = StoreDirectory();
    if (!dir.Holds(pszName)) {
        if (bTree) {
            FileBPlusTree empty;
            empty.SetDirectory(m_pDir);
            empty.CreateOnDisk(TempPath(pszName), kTreeOrder);
            empty.Close();
        } else {
            CreateEmptyDataFile(dir, pszName);
        }
    }
    // A new file takes the backup's name: whatever stood there is replaced, never written into.
    const CString old = CString("Old") + pszName;
    return CopiedOrTold(mlplat::CopyFileAnew(dir, pszName, old), pszName, old,
                        [this](const char* p) { return ReportIfRefused(p); });
}

int CFileDypass::BackupAsOldFile(int nSource) {
    SetDataSource(nSource);
    CheckDataSource();
    if (m_strTempDir.IsEmpty() || m_bReadOnly)
        return 0;
    ReviveIfRemoved();
    if (!memtag::IsSource(nSource))
        return 1;
    // One state of the source: no other program writes it between the copies of its files.
    std::optional<CWriteScope> hold;
    if (!HoldSource(nSource, gbtext::BackupLockTimedOut, hold))
        return 0;
    const bool bZuZir = nSource == memtag::kSourceZuZir;
    for (int slot : SourceOrder(bZuZir))
        BackupOne(SlotFileName(slot), -1);
    BackupOne(bZuZir ? kZuZirTreeName : kBrakkTreeName, TreeOfSource(nSource));
    return 1;
}

bool CFileDypass::RestoreOne(const char* pszName, bool bTree) {
    const mlplat::StoreDir& dir = StoreDirectory();
    const CString old = CString("Old") + pszName;
    if (!bTree && !dir.Holds(old))
        CreateEmptyDataFile(dir, old);
    // A tree without a backup keeps its current file.
    return CopiedOrTold(mlplat::CopyFileReplace(dir, old, pszName), old, pszName,
                        [this](const char* p) { return ReportIfRefused(p); });
}

int CFileDypass::RecoverWithOldFile(int nSource) {
    if (m_bReadOnly)
        return 0;
    ReviveIfRemoved();
    // Not in the middle of another program's write. The index file that bears the lock stays
    // open while the set is closed (closing it would let go of the lock); it is copied over in
    // place, so it is the file the set opens again.
    std::optional<CWriteScope> hold;
    if (!HoldSource(nSource, gbtext::RecoverLockTimedOut, hold)) {
        SetDataSource(nSource);
        return 0;
    }
    const int nTree = TreeOfSource(nSource);
    CloseAll(hold ? IndexSlotOfTree(nTree) : -1);
    SetDataSource(nSource);
    CheckDataSource();
    if (m_strTempDir.IsEmpty())
        return 0;
    if (memtag::IsSource(nSource)) {
        const bool bZuZir = nSource == memtag::kSourceZuZir;
        for (int slot : SourceOrder(bZuZir))
            RestoreOne(SlotFileName(slot), false);
        RestoreOne(bZuZir ? kZuZirTreeName : kBrakkTreeName, true);
    }
    OpenAll();
    // Counted as an index write, so that other programs bring their names up to date.
    if (hold && hold->Held())
        m_names[nTree]->BeforeIndexWrite(FilesOf(nTree));
    return 1;
}

void CFileDypass::DeleteOne(const char* pszName) {
    if (m_strTempDir.IsEmpty() || m_bReadOnly)
        return;
    StoreDirectory().Remove(pszName);
}

int CFileDypass::RemoveSourceFiles(int nSource, std::span<const int> slots) {
    ReviveIfRemoved();
    // Not in the middle of another program's write: the removed index keeps the lock until its
    // files are gone.
    std::optional<CWriteScope> hold;
    if (!HoldSource(nSource, gbtext::RemoveLockTimedOut, hold))
        return 0;
    const int nIndexSlot = IndexSlotOfTree(TreeOfSource(nSource));
    CloseAll(hold ? nIndexSlot : -1);
    for (int slot : slots)
        DeleteOne(SlotFileName(slot));
    DeleteOne(nSource == memtag::kSourceBrakk ? kBrakkTreeName : kZuZirTreeName);
    hold.reset();
    CloseSlot(nIndexSlot);
    OpenAll();
    return 1;
}

int CFileDypass::RemoveAllBRKFile(int nScope) {
    std::vector<int> slots;
    for (int nKind :
         {memtag::kTypeBool, memtag::kTypeInt, memtag::kTypeFloat, memtag::kTypeString, kKindIndex})
        slots.push_back(SlotOf(nKind, memtag::kSourceBrakk));
    if (nScope == 2) {
        for (int nKind : {kKindEvent, kKindTask, kKindStruct})
            slots.push_back(SlotOf(nKind, memtag::kSourceBrakk));
    }
    return RemoveSourceFiles(memtag::kSourceBrakk, slots);
}

int CFileDypass::RemoveAllRMPFile(int /*nScope*/) {
    return RemoveSourceFiles(memtag::kSourceZuZir, kZuZirOrder);
}
