// Shared memory as a hostile or broken system leaves it: blocks made by another user or open to
// others, garbage in the lock's registry and counter, a full or unwritable /dev/shm, the user's
// blocks removed under running programs, and blocks that killed programs left behind.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "FileFace.h"
#include "ProcessSupport.h"
#include "SharedMemory.h"
#include "SynchronicLock.h"
#include "filebplustreenode.h"
#include "gbtext/StoreTexts.h"

namespace {

using enginetest::AnyTag;
using enginetest::StoreDirTest;

constexpr int kSkip = 77;
constexpr uid_t kOtherUid = 54321;

std::string ShmPath(const std::string& sysName) {
    return "/dev/shm" + sysName;
}

std::string Unique(const char* what) {
    return std::string("mltest.") + what + "." + std::to_string(getpid());
}

// Makes the block `sysName` as a program of another kind would: sized, with `mode`.
bool MakeForeign(const std::string& sysName, mode_t mode, std::size_t size) {
    const int fd = shm_open(sysName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return false;
    const bool ok = fchmod(fd, mode) == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
    close(fd);
    return ok;
}

// Runs `fn` in a child with a private mount namespace and a 64 KiB tmpfs on /dev/shm; the
// child exits kSkip where the machine does not allow that.
template <class Fn>
int InTinyShm(Fn&& fn) {
    const pid_t pid = proctest::Spawn([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
            return kSkip;
        if (mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=64k,mode=1777") != 0)
            return kSkip;
        return fn();
    });
    return proctest::WaitBounded(pid, 60000);
}

// Fills the file system of /dev/shm to the last byte.
bool FillShm() {
    const int fd = open("/dev/shm/filler", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    static char buf[4096];
    while (write(fd, buf, sizeof buf) > 0) {
    }
    const bool full = errno == ENOSPC;
    close(fd);
    return full;
}

int AddTag(CFileFace& face, const std::string& name) {
    AnyTag t = enginetest::MakeTag(2, name);
    return face.AddData(2, 2, &t, CString());
}

// --- blocks that are not the user's alone ---------------------------------------------------

TEST(SharedMemoryEdges, BlocksOfAnotherUserOrOpenToOthersAreRefusedAndNewOnesAre0600) {
    const std::string name = Unique("open");
    const std::string sys = mlplat::CSharedBlock::SystemName(name.c_str());
    ASSERT_TRUE(MakeForeign(sys, 0666, 64));
    mlplat::CSharedBlock b;
    EXPECT_EQ(b.Open(name.c_str(), 8, true), mlplat::CSharedBlock::kRefused);
    EXPECT_FALSE(b.IsOpen());
    shm_unlink(sys.c_str());

    // A umask that leaves no write bit must not leave a block its maker cannot open again.
    const mode_t old = umask(0277);
    const std::string mine = Unique("umask");
    EXPECT_EQ(b.Open(mine.c_str(), 8, true), mlplat::CSharedBlock::kCreated);
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(ShmPath(b.HeldName()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    mlplat::CSharedBlock again;
    EXPECT_EQ(again.Open(mine.c_str(), 8, true), mlplat::CSharedBlock::kAttached);

    if (geteuid() != 0)
        GTEST_SKIP() << "another user's block needs root to make";
    // Root opens anything: the owner alone tells.
    const std::string theirs = Unique("theirs");
    const std::string theirSys = mlplat::CSharedBlock::SystemName(theirs.c_str());
    const pid_t pid = proctest::Spawn([&] {
        if (setgid(kOtherUid) != 0 || setuid(kOtherUid) != 0)
            return 1;
        return MakeForeign(theirSys, 0600, 64) ? 0 : 2;
    });
    ASSERT_EQ(proctest::WaitBounded(pid, 10000), 0);
    EXPECT_EQ(b.Open(theirs.c_str(), 8, true), mlplat::CSharedBlock::kRefused);
    shm_unlink(theirSys.c_str());
}

TEST(SharedMemoryEdges, ARegistrySlotHoldingWhatNoHolderWritesIsNeverApplied) {
    const CString name(Unique("slots").c_str());
    // Garbage in the first free slot (claimed at once) and in another (seen by a turned-away
    // writer).
    mlplat::CSharedBlock registry("memlist-holders");
    ASSERT_NE(registry.Open(name.GetString(), CSynchronicLock::kHolderSlots * 4, true),
              mlplat::CSharedBlock::kFailed);
    auto* slots = static_cast<std::int32_t*>(registry.Data());
    slots[0] = -CSynchronicLock::kWriterShare;
    slots[7] = -2 * CSynchronicLock::kWriterShare;
    CSynchronicLock reader;
    ASSERT_EQ(reader.Create(name, 1), 1);
    EXPECT_EQ(reader.PeekCounter(), 0);
    ASSERT_EQ(reader.TryReadLock(100), 1);
    CSynchronicLock writer;
    ASSERT_EQ(writer.Create(name, 1), 1);
    EXPECT_EQ(writer.TryWriteLock(200), 0);  // the reader holds it, and went through slot 7
    EXPECT_EQ(reader.PeekCounter(), 1);
    EXPECT_EQ(slots[7], 0);
    reader.ReadUnlock();
    EXPECT_EQ(writer.TryWriteLock(100), 1);
    writer.WriteUnlock();
    EXPECT_EQ(writer.PeekCounter(), 0);
}

TEST(SharedMemoryEdges, ADamagedLockCounterNeitherBlocksNorStopsATreeSave) {
    mltest::TempDir dir;
    const std::string file = Unique("damaged") + ".bpt";
    const std::string path = dir / file;
    for (std::int32_t bad : {-1, 2000000000}) {
        mlplat::CSharedBlock counter;
        ASSERT_NE(counter.Open(file.c_str(), 4, true), mlplat::CSharedBlock::kFailed);
        *static_cast<std::int32_t*>(counter.Data()) = bad;
        FileBPlusTree t;
        ASSERT_EQ(t.CreateInMemory(CString(path.c_str()), 10, 0), 1);
        ASSERT_EQ(t.Insert(CMyKey("K"), 40), 1);
        EXPECT_EQ(t.SaveToFile(), 1) << bad;
        FileBPlusTree u;
        ASSERT_EQ(u.LoadFromFile(CString(path.c_str())), 1) << bad;
        int v = 0;
        EXPECT_EQ(u.Find(CMyKey("K"), nullptr, &v), 1);
        EXPECT_EQ(v, 40);
        EXPECT_EQ(*static_cast<std::int32_t*>(counter.Data()), bad);  // untouched
    }
}

// A program that refuses the lock's block (here: opened to others after the first program had
// attached it) has only the tree file's flock; the other has both. Saves rewrite in place (the
// file has a second link), so a load that overlapped a save would read a torn image.
TEST(SharedMemoryEdges, AProgramWithoutTheSharedLockAndOneWithItStillExcludeEachOther) {
    mltest::TempDir dir;
    const std::string file = Unique("mixed") + ".bpt";
    const std::string path = dir / file;
    constexpr int kKeys = 20000;
    // Two images of the same shape, which differ in every value.
    FileBPlusTree writers[2];
    for (int w = 0; w < 2; ++w) {
        ASSERT_EQ(writers[w].CreateInMemory(CString(path.c_str()), 10, kKeys), 1);
        for (int i = 0; i < kKeys; ++i)
            ASSERT_EQ(writers[w].Insert(CMyKey(("K" + std::to_string(i)).c_str()), w + 1), 1);
    }
    ASSERT_EQ(writers[0].SaveToFile(), 1);
    ASSERT_EQ(link(path.c_str(), (dir / "second-link").c_str()), 0);
    ASSERT_EQ(chmod(ShmPath(mlplat::CSharedBlock::SystemName(file.c_str())).c_str(), 0666), 0);

    const proctest::ReportFile report(dir / "report");
    const pid_t loader = proctest::Spawn([&] {
        int loaded = 0;
        for (int round = 0; round < 100; ++round) {
            FileBPlusTree t;
            if (!t.LoadFromFile(CString(path.c_str())))
                continue;  // a time-out is allowed; a torn image is not
            if (t.RefusedLockName().empty())
                return 3;
            int first = -1;
            bool torn = false;
            t.ForEachEntry([&](const CMyKey&, int v) {
                if (first < 0)
                    first = v;
                torn = torn || v != first;
                return !torn;
            });
            if (torn)
                return 2;
            ++loaded;
        }
        report.Send(std::to_string(loaded));
        return 0;
    });
    // The writers keep the block they attached before it was opened to others.
    for (int n = 0; n < 20000 && report.Lines().empty(); ++n)
        writers[n % 2].SaveToFile();
    ASSERT_EQ(proctest::WaitBounded(loader, 60000), 0) << "2: a load read a save half done";
    ASSERT_EQ(report.Lines().size(), 1u);
    EXPECT_GT(std::stoi(report.Lines()[0]), 0)
        << "the program without the shared lock never loaded";
}

// --- a full or unwritable /dev/shm ------------------------------------------------------------

TEST(SharedMemoryEdges, AFullShmMakesNoProgramFault) {
    mltest::TempDir dir;
    mltest::ScopedEnv env("QLX_PATH_D_TEMP", dir.path().c_str());
    mltest::ScopedEnv noAreas("QLX_PATH_D_AREAINFO", nullptr);
    const int rc = InTinyShm([] {
        if (!FillShm())
            return kSkip;
        CFileFace face;
        if (AddTag(face, "FULLTAG") != 1)
            return 3;
        CFileFace other;
        if (other.JustTagFromBRK(CString("FULLTAG")) <= 0)
            return 4;
        mlplat::CSharedBlock b;
        return b.Open("mltest.full", 4096, true) == mlplat::CSharedBlock::kFailed ? 0 : 2;
    });
    if (rc == kSkip)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here";
    EXPECT_EQ(rc, 0) << (rc > 128 ? "killed by signal " + std::to_string(rc - 128) : "");
}

TEST(SharedMemoryEdges, TreesAreSavedAndLoadedWhenShmIsNotWritable) {
    mltest::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir / "unwritable.bpt";
    const int rc = InTinyShm([&] {
        // Root ignores modes: the program runs as another user.
        if (chmod("/dev/shm", 0555) != 0 || setgid(kOtherUid) != 0 || setuid(kOtherUid) != 0)
            return kSkip;
        FileBPlusTree t;
        if (!t.CreateInMemory(CString(path.c_str()), 10, 0) || !t.Insert(CMyKey("K"), 40))
            return 2;
        if (!t.SaveToFile())
            return 3;
        FileBPlusTree u;
        int v = 0;
        return u.LoadFromFile(CString(path.c_str())) && u.Find(CMyKey("K"), nullptr, &v) && v == 40
                   ? 0
                   : 4;
    });
    if (rc == kSkip)
        GTEST_SKIP() << "needs root and a private mount namespace with a tmpfs";
    EXPECT_EQ(rc, 0);
}

// --- blocks removed under running programs, and blocks left by killed ones ------------------

class SharedMemoryStore : public StoreDirTest {
protected:
    // The system names of the change counts of the store's files.
    std::vector<std::string> ChangeCountNames() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir.path().c_str());
        if (!d)
            return names;
        while (const dirent* e = readdir(d)) {
            struct stat st {};
            if (stat((dir / e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            const std::string name =
                "names." + std::to_string(st.st_dev) + "." + std::to_string(st.st_ino);
            names.push_back(mlplat::CSharedBlock::SystemName(name.c_str()));
        }
        closedir(d);
        return names;
    }
    // Removes the change counts of the store's index files, as the system does to a user's
    // blocks when the user's last session ends.
    int RemoveChangeCounts() const {
        int n = 0;
        for (const std::string& name : ChangeCountNames())
            n += shm_unlink(name.c_str()) == 0;
        return n;
    }
};

TEST_F(SharedMemoryStore, ProgramsOnEitherSideOfARemovedChangeCountSeeEachOthersAdds) {
    CFileFace before;
    ASSERT_EQ(AddTag(before, "FIRST"), 1);
    ASSERT_GT(RemoveChangeCounts(), 0);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t pid = proctest::Spawn([&] {
        close(toChild[1]);
        close(toParent[0]);
        CFileFace after;  // makes a new change count
        char c = 0;
        if (AddTag(after, "FROMAFTER") != 1 || write(toParent[1], "a", 1) != 1 ||
            read(toChild[0], &c, 1) != 1)
            return 1;
        return after.JustTagFromBRK(CString("FROMBEFORE")) > 0 ? 0 : 2;
    });
    close(toChild[0]);
    close(toParent[1]);
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    proctest::SleepUs(5000);  // past the look-ups' pause between looks at the name
    // A look-up that finds nothing notices; so does a write.
    EXPECT_GT(before.JustTagFromBRK(CString("FROMAFTER")), 0);
    EXPECT_EQ(AddTag(before, "FROMBEFORE"), 1);
    ASSERT_EQ(write(toChild[1], "b", 1), 1);
    EXPECT_EQ(proctest::WaitBounded(pid, 30000), 0) << "2: the later program missed the add";
    close(toChild[1]);
    close(toParent[0]);
}

TEST_F(SharedMemoryStore, ChangeCountsMadeByOthersAreRefusedToldOnceAndNamesStillSeen) {
    if (geteuid() != 0)
        GTEST_SKIP() << "another user's block needs root to make";
    { CFileFace first; }  // the set's files
    const std::vector<std::string> names = ChangeCountNames();
    for (const std::string& name : names)
        shm_unlink(name.c_str());
    const pid_t maker = proctest::Spawn([&] {
        if (setgid(kOtherUid) != 0 || setuid(kOtherUid) != 0)
            return 1;
        for (const std::string& name : names)
            MakeForeign(name, 0666, 8);
        return 0;
    });
    ASSERT_EQ(proctest::WaitBounded(maker, 10000), 0);
    std::vector<std::string> planted;
    for (const std::string& name : names) {
        if (access(ShmPath(name).c_str(), F_OK) == 0)
            planted.push_back(name);
    }
    ASSERT_EQ(planted.size(), names.size());
    // Its maker could hold the count still: adds would never be noticed.
    const pid_t pid = proctest::Spawn([] {
        CFileFace a;
        CFileFace b;  // a second engine of the same program tells nothing again
        if (AddTag(a, "SEENBYNAME") != 1)
            return 1;
        return b.JustTagFromBRK(CString("SEENBYNAME")) > 0 ? 0 : 2;
    });
    ASSERT_EQ(proctest::WaitBounded(pid, 30000), 0);
    CFileDypass engine;  // another program tells again
    CStringArray arr;
    ASSERT_NE(engine.GetErrStringArray(arr), 0);
    int nTold = 0;
    for (const std::string& name : planted) {
        CString line;
        line.Format(gbtext::SharedObjectRefused, name.c_str());
        int n = 0;
        for (int i = 0; i < arr.GetSize(); ++i)
            n += arr[i] == line;
        EXPECT_TRUE(n == 0 || n == 2) << name;  // once per program, or not a count in use
        nTold += n;
        shm_unlink(name.c_str());
    }
    EXPECT_EQ(nTold, 2 * 2) << "both sources' counts, once by each program";
}

TEST_F(SharedMemoryStore, OpeningSweepsBlocksThatKilledProgramsLeftAndKeepsLiveOnes) {
    const std::string dead = Unique("killed");
    const std::string live = Unique("live");
    const pid_t pid = proctest::Spawn([&] {
        mlplat::CSharedBlock b;
        if (b.Open(dead.c_str(), 64, true) != mlplat::CSharedBlock::kCreated)
            return 1;
        proctest::SleepUs(30 * 1000 * 1000);
        return 0;
    });
    const std::string deadPath = ShmPath(mlplat::CSharedBlock::SystemName(dead.c_str()));
    for (int i = 0; i < 2000 && access(deadPath.c_str(), F_OK) != 0; ++i)
        proctest::SleepUs(1000);
    ASSERT_EQ(access(deadPath.c_str(), F_OK), 0);
    kill(pid, SIGKILL);
    ASSERT_EQ(proctest::WaitBounded(pid, 10000), 128 + SIGKILL);
    mlplat::CSharedBlock held;
    ASSERT_EQ(held.Open(live.c_str(), 64, true), mlplat::CSharedBlock::kCreated);
    // A block in another user's namespace is never touched.
    const std::string otherName =
        "/memlist." + std::to_string(getuid() + 1) + "." + Unique("other");
    ASSERT_TRUE(MakeForeign(otherName, 0600, 64));

    CFileFace face;
    EXPECT_NE(access(deadPath.c_str(), F_OK), 0) << "the killed program's block is still there";
    EXPECT_TRUE(held.StillNamed());
    EXPECT_EQ(access(ShmPath(otherName).c_str(), F_OK), 0);
    shm_unlink(otherName.c_str());
}

}  // namespace
