// File operations that fail under the open store: a failing write, a full disk, a file that can
// no longer be opened for writing, the directory removed. Every call reports its failure, and
// no other record is touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "FileDypass.h"
#include "FileFace.h"
#include "StoreCheck.h"
#include "StoreWorkload.h"
#include "TestSupport.h"
#include "Vfs.h"

namespace {

enum class Fault { kNone, kFailWrites, kDiskFull, kFailNth, kDenyWriteOpen };

struct FaultState {
    Fault kind = Fault::kNone;
    int nFailAt = 0;        // kFailNth: the store write that fails (1 = the first)
    int nStoreWrites = 0;   // store writes seen while the fault is in force
    std::string strDenied;  // kDenyWriteOpen: the file name refused
};
FaultState g_fault;

// The record, index and tree files; the error file is left alone so that messages still land.
bool IsStoreFile(int fd) {
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    const std::string p(path, static_cast<size_t>(n));
    for (const char* ext : {".tag", ".idx", ".bpt"}) {
        if (p.find(ext) != std::string::npos)
            return true;
    }
    return false;
}

ssize_t FaultyPwrite(int fd, const void* buf, size_t n, off_t off) {
    if (IsStoreFile(fd)) {
        switch (g_fault.kind) {
            case Fault::kFailWrites:
                errno = EIO;
                return -1;
            case Fault::kFailNth:
                if (++g_fault.nStoreWrites == g_fault.nFailAt) {
                    errno = EIO;
                    return -1;
                }
                break;
            case Fault::kDiskFull: {
                // No block is left: what fits in the file's length is written, nothing beyond.
                off_t len = 0;
                mlplat::PosixVfs().fsize(fd, &len);
                if (off + static_cast<off_t>(n) > len) {
                    if (off >= len) {
                        errno = ENOSPC;
                        return -1;
                    }
                    n = static_cast<size_t>(len - off);
                }
                break;
            }
            default:
                break;
        }
    }
    return mlplat::PosixVfs().pwrite(fd, buf, n, off);
}

int FaultyOpen(const char* path, int flags, mode_t mode) {
    if (g_fault.kind == Fault::kDenyWriteOpen && (flags & O_ACCMODE) != O_RDONLY) {
        const std::string p(path);
        if (p.size() >= g_fault.strDenied.size() &&
            p.compare(p.size() - g_fault.strDenied.size(), std::string::npos, g_fault.strDenied) ==
                0) {
            errno = EACCES;
            return -1;
        }
    }
    return mlplat::PosixVfs().open(path, flags, mode);
}

// The store opens its files by name in its directory.
int FaultyOpenat(int dirfd, const char* name, int flags, mode_t mode) {
    if (g_fault.kind == Fault::kDenyWriteOpen && (flags & O_ACCMODE) != O_RDONLY &&
        "/" + std::string(name) == g_fault.strDenied) {
        errno = EACCES;
        return -1;
    }
    return mlplat::PosixVfs().openat(dirfd, name, flags, mode);
}

// Puts a fault in force for the life of the object.
class ScopedFault {
public:
    explicit ScopedFault(Fault kind, int nFailAt = 0, std::string strDenied = {}) {
        g_fault = FaultState{kind, nFailAt, 0, std::move(strDenied)};
        mlplat::Vfs().pwrite = FaultyPwrite;
        mlplat::Vfs().open = FaultyOpen;
        mlplat::Vfs().openat = FaultyOpenat;
    }
    ~ScopedFault() {
        mlplat::Vfs() = mlplat::PosixVfs();
        g_fault = FaultState{};
    }
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;
};

class FaultInjection : public enginetest::StoreDirTest {
protected:
    std::unique_ptr<CFileFace> face = std::make_unique<CFileFace>();
    static constexpr int kTags = 12;  // per source

    void SetUp() override {
        for (int nSource : {memtag::kSourceZuZir, memtag::kSourceBrakk}) {
            for (int i = 0; i < kTags; ++i)
                ASSERT_EQ(Add(nSource, i), 1);
            for (int no = 1; no <= 3; ++no) {
                Thing_Info ev = Event(no);
                Task_Info task = Task(no);
                StructObject_Info obj = Struct(no);
                ASSERT_EQ(face->AddEvent(nSource, &ev), 1);
                ASSERT_EQ(face->AddTask(nSource, &task), 1);
                ASSERT_EQ(face->AddStruct(nSource, &obj), 1);
            }
        }
    }

    // A fresh store in the same directory, set up as SetUp sets it up.
    void Restart() {
        face.reset();
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(entry.path());
        face = std::make_unique<CFileFace>();
        SetUp();
    }
    int Add(int nSource, int i) {
        enginetest::AnyTag rec = reltest::Record(nSource, i);
        return face->AddData(reltest::TypeOf(i), nSource, &rec, CString());
    }
    // Events and tasks alike: numbered, and described by what they are and their number.
    template <class Item>
    static Item Numbered(int no, const char* szWhat) {
        Item item;
        item.Reset();
        item.nNo = no;
        std::snprintf(item.szDesc, sizeof item.szDesc, "%s %d", szWhat, no);
        return item;
    }
    static Thing_Info Event(int no) { return Numbered<Thing_Info>(no, "event"); }
    static Task_Info Task(int no) { return Numbered<Task_Info>(no, "task"); }
    static StructObject_Info Struct(int no) {
        StructObject_Info s;
        s.Reset();
        std::snprintf(s.szObjName, sizeof s.szObjName, "OBJ%d", no);
        std::snprintf(s.szStructType, sizeof s.szStructType, "#AISM");
        return s;
    }
    int MessageCount() {
        CStringArray arr;
        face->GetErrStringArray(arr);
        return static_cast<int>(arr.GetSize());
    }

    // Every tag set up (but `skip`) is found by name with its own fields; the events, tasks and
    // struct objects are all there.
    void ExpectSetUpIntact(const std::string& skip = {}) {
        for (int nSource : {memtag::kSourceZuZir, memtag::kSourceBrakk}) {
            for (int i = 0; i < kTags; ++i) {
                const std::string name = reltest::TagName(nSource, i);
                if (name == skip)
                    continue;
                CMemTag tag;
                ASSERT_EQ(face->GetSelute(CString(name), tag), 1) << name;
                EXPECT_EQ(reltest::Mismatch(tag), "");
            }
        }
        CArray<CMemTag, CMemTag&> arr;
        face->GetAllEvents(arr, 0);
        EXPECT_EQ(arr.GetSize(), 6);
        face->GetAllTasks(arr, 0);
        EXPECT_EQ(arr.GetSize(), 6);
        face->GetAllStructObjects(arr, 0);
        EXPECT_EQ(arr.GetSize(), 6);
    }
    // The files on disk after the trees are saved: only what an interrupted write may leave.
    void ExpectOnlyInterruptionFindings(const char* where) {
        face.reset();
        for (const StoreFinding& f : CStoreCheck::CheckDirectory(CString(dir.path())))
            EXPECT_TRUE(reltest::LeftByInterruptedWrite(f))
                << where << ": " << f.strFile.str() << " @" << f.nOffset << ": " << f.strText.str();
        face = std::make_unique<CFileFace>();
    }
};

TEST_F(FaultInjection, FailingWritesFailEveryChangeWithAMessageAndTouchNothing) {
    const CString strB0(reltest::TagName(memtag::kSourceBrakk, 0));
    {
        ScopedFault fault(Fault::kFailWrites);
        int nMsgs = MessageCount();
        auto failsWithMessage = [&](int r, const char* what) {
            EXPECT_EQ(r, -1) << what;
            const int n = MessageCount();
            EXPECT_GT(n, nMsgs) << what;
            nMsgs = n;
        };
        failsWithMessage(Add(memtag::kSourceBrakk, 100), "add");
        CStringArray msgs;
        face->GetErrStringArray(msgs);
        EXPECT_EQ(msgs[msgs.GetSize() - 1].str(), mltest::Gb("添加数据到Temp文件失败！"));
        enginetest::AnyTag renamed = reltest::Record(memtag::kSourceBrakk, 400);  // type 1 as 0
        failsWithMessage(face->ModifyData(1, 2, &renamed, strB0, CString()), "modify");
        failsWithMessage(face->DelData(strB0), "delete");
        Thing_Info ev = Event(9);
        Task_Info task = Task(9);
        StructObject_Info obj = Struct(9);
        failsWithMessage(face->AddEvent(2, &ev), "add event");
        failsWithMessage(face->AddTask(2, &task), "add task");
        failsWithMessage(face->AddStruct(2, &obj), "add struct");
        failsWithMessage(face->DelEvent(2, 1), "delete event");
        failsWithMessage(face->DelTask(2, 1), "delete task");
        failsWithMessage(face->ModifyEvent(2, &ev, 2), "modify event");
        failsWithMessage(face->ModifyTask(2, &task, 2), "modify task");
        failsWithMessage(face->ModifyStruct(2, &obj, CString("OBJ2")), "modify struct");
        ExpectSetUpIntact();
    }
    ExpectSetUpIntact();
    ExpectOnlyInterruptionFindings("after failed writes");
    ExpectSetUpIntact();
    EXPECT_EQ(Add(memtag::kSourceBrakk, 100), 1);
}

// Each write of an add, a change and a delete fails in turn: the call fails with a message, the
// other tags stay as they were, and the next add works.
TEST_F(FaultInjection, AWriteFailingAtAnyStepLeavesTheStoreUsable) {
    struct Op {
        const char* name;
        std::string target;  // the tag the operation works on
        std::function<int(CFileFace&)> run;
    };
    const std::string b4 = reltest::TagName(memtag::kSourceBrakk, 4);
    const std::string z5 = reltest::TagName(memtag::kSourceZuZir, 5);
    int nNext = 1000;
    const Op ops[] = {
        {"add", "",
         [&](CFileFace& f) {
             enginetest::AnyTag rec = reltest::Record(memtag::kSourceBrakk, nNext);
             return f.AddData(reltest::TypeOf(nNext), 2, &rec, CString());
         }},
        {"modify", b4,
         [&](CFileFace& f) {
             enginetest::AnyTag rec = reltest::Record(memtag::kSourceBrakk, 2000);  // type 1
             return f.ModifyData(1, 2, &rec, CString(b4), CString());
         }},
        {"delete", z5, [&](CFileFace& f) { return f.DelData(CString(z5)); }},
    };
    int nSteps = 0;
    for (const Op& op : ops) {
        for (int nFailAt = 1;; ++nFailAt) {
            ASSERT_LT(nFailAt, 20) << op.name;
            Restart();
            const int nMsgs = MessageCount();
            int r;
            int nWrites;
            {
                ScopedFault fault(Fault::kFailNth, nFailAt);
                r = op.run(*face);
                nWrites = g_fault.nStoreWrites;
            }
            if (nWrites < nFailAt) {
                EXPECT_EQ(r, 1) << op.name << ": no write failed";
                break;
            }
            ++nSteps;
            EXPECT_EQ(r, -1) << op.name << " with write " << nFailAt << " failing";
            EXPECT_GT(MessageCount(), nMsgs) << op.name << " write " << nFailAt;
            ExpectSetUpIntact(op.target);
            ExpectOnlyInterruptionFindings(op.name);
            ExpectSetUpIntact(op.target);
            // The store takes new tags of every type after the failure.
            for (int i = 3000; i < 3004; ++i) {
                ASSERT_EQ(Add(memtag::kSourceBrakk, i), 1) << op.name << " write " << nFailAt;
                CMemTag tag;
                ASSERT_EQ(face->GetSelute(CString(reltest::TagName(2, i)), tag), 1);
                EXPECT_EQ(reltest::Mismatch(tag), "");
            }
            // The tag worked on is listed once, whole, under its old or its new name.
            if (!op.target.empty() && op.target != z5) {
                CArray<CMemTag, CMemTag&> all;
                face->GetAllTags(all, 0);
                int nCopies = 0;
                for (int k = 0; k < all.GetSize(); ++k) {
                    const std::string n = all[k].strName.str();
                    if (n == op.target || n == reltest::TagName(2, 2000)) {
                        ++nCopies;
                        EXPECT_EQ(reltest::Mismatch(all[k]), "");
                    }
                }
                EXPECT_EQ(nCopies, 1) << op.name << " write " << nFailAt;
            }
        }
    }
    EXPECT_GE(nSteps, 6);
}

TEST_F(FaultInjection, AFullDiskFailsAddsButKeepsEveryRecordAndRecovers) {
    {
        ScopedFault fault(Fault::kDiskFull);
        int nMsgs = MessageCount();
        for (int i = 100; i < 104; ++i) {
            EXPECT_EQ(Add(memtag::kSourceBrakk, i), -1);
            EXPECT_EQ(MessageCount(), ++nMsgs);
        }
        Thing_Info ev = Event(9);
        EXPECT_EQ(face->AddEvent(1, &ev), -1);
        EXPECT_EQ(MessageCount(), ++nMsgs);
        // A change in place needs no new block.
        enginetest::AnyTag rec = reltest::Record(memtag::kSourceZuZir, 8);
        std::snprintf(rec.s.szDesc, sizeof rec.s.szDesc, "changed");
        EXPECT_EQ(face->ModifyData(reltest::TypeOf(8), 1, &rec, CString("Z000008"), CString()), 1);
        // The name trees cannot be saved on a full disk: their files keep the last image.
        EXPECT_EQ(face->BackupAsOldFile(2), 1);
    }
    CMemTag tag;
    ASSERT_EQ(face->GetSelute(CString("Z000008"), tag), 1);
    EXPECT_EQ(tag.strDesc.str(), "changed");
    ExpectSetUpIntact("Z000008");
    ExpectOnlyInterruptionFindings("after a full disk");
    ExpectSetUpIntact("Z000008");
    for (int i = 100; i < 104; ++i)
        EXPECT_EQ(Add(memtag::kSourceBrakk, i), 1);
}

TEST_F(FaultInjection, AFileThatCannotBeOpenedForWritingFailsOnlyItsOwnKind) {
    {
        ScopedFault fault(Fault::kDenyWriteOpen, 0, "/TmpBrakkIntTagInfo.tag");
        // The set is reopened: the integer file of Brakk stays closed, the rest opens.
        ASSERT_EQ(face->SetConfigureFilePath(CString(dir.path())), 1);
        const int nMsgs = MessageCount();
        EXPECT_EQ(Add(memtag::kSourceBrakk, 101), -1);  // an integer tag
        EXPECT_EQ(MessageCount(), nMsgs + 1);
        EXPECT_EQ(Add(memtag::kSourceBrakk, 100), 1);  // boolean
        EXPECT_EQ(Add(memtag::kSourceZuZir, 101), 1);  // integer, the other source
        // Tags of the other files still read back.
        CMemTag tag;
        ASSERT_EQ(face->GetSelute(CString("B000000"), tag), 1);
        EXPECT_EQ(reltest::Mismatch(tag), "");
        EXPECT_EQ(face->GetSelute(CString("B000001"), tag), 0);  // in the closed file
    }
    ASSERT_EQ(face->SetConfigureFilePath(CString(dir.path())), 1);
    ExpectSetUpIntact();
    ExpectOnlyInterruptionFindings("after the closed file");
    EXPECT_EQ(Add(memtag::kSourceBrakk, 101), 1);
}

// Making the directory again moves the process into it; later tests must not start in a
// removed directory.
struct KeepCwd {
    std::filesystem::path cwd = std::filesystem::current_path();
    ~KeepCwd() { std::filesystem::current_path(cwd); }
};

TEST_F(FaultInjection, ALookUpReadsTheRemovedSetAndOnlyAWriteMakesItAnew) {
    KeepCwd keepCwd;
    // Another program's add: the next look-up of that name brings the image up to date,
    // holding the source's write lock, while the files it reads have no names any more.
    {
        CFileFace other;
        enginetest::AnyTag rec = reltest::Record(memtag::kSourceBrakk, 200);
        ASSERT_EQ(other.AddData(reltest::TypeOf(200), memtag::kSourceBrakk, &rec, CString()), 1);
    }
    std::filesystem::remove_all(dir.path());
    mlplat::SleepMs(CFileDypass::kSetCheckMs + 20);
    CMemTag tag;
    EXPECT_EQ(face->GetSelute(CString("B000200"), tag), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.path()));
    EXPECT_EQ(Add(memtag::kSourceBrakk, 201), -1);
    EXPECT_TRUE(std::filesystem::exists(dir.path()));
    EXPECT_EQ(Add(memtag::kSourceBrakk, 202), 1);
}

TEST_F(FaultInjection, TheDirectoryRemovedUnderTheStoreFailsTheNextWriteAndComesBackEmpty) {
    KeepCwd keepCwd;
    const auto remove = [&] { std::filesystem::remove_all(dir.path()); };
    const auto messages = [&] { return mltest::Messages(*face); };
    const std::string remade =
        mltest::Gb("临时文件目录" + dir.path() + "已被删除，已重新建立空的临时文件！");
    remove();
    // Writes look at most every kSetCheckMs: the first one after that fails with its usual
    // message, after the store's own in the error file made anew.
    mlplat::SleepMs(CFileDypass::kSetCheckMs + 20);
    EXPECT_EQ(Add(memtag::kSourceBrakk, 100), -1);
    auto msgs = messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], remade);
    EXPECT_TRUE(msgs[1] == mltest::Gb("添加数据到索引失败！") ||
                msgs[1] == mltest::Gb("添加数据到Temp文件失败！"))
        << msgs[1];
    CArray<CMemTag, CMemTag&> all;
    face->GetAllTags(all, 0);
    EXPECT_EQ(all.GetSize(), 0);
    EXPECT_EQ(Add(memtag::kSourceBrakk, 101), 1);
    CMemTag tag;
    ASSERT_EQ(face->GetSelute(CString("B000101"), tag), 1);
    EXPECT_EQ(reltest::Mismatch(tag), "");

    // A write of records likewise.
    remove();
    mlplat::SleepMs(CFileDypass::kSetCheckMs + 20);
    Thing_Info ev = Event(9);
    EXPECT_EQ(face->AddEvent(2, &ev), -1);
    EXPECT_EQ(messages(), (std::vector<std::string>{remade, mltest::Gb("添加事件9失败！")}));
    EXPECT_EQ(face->AddEvent(2, &ev), 1);

    // Backup and recovery look first, and work on the set made anew.
    remove();
    EXPECT_EQ(face->BackupAsOldFile(2), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{remade});
    EXPECT_TRUE(mltest::FileExists(dir / "OldTmpBrakkTagIndex.idx"));
    remove();
    EXPECT_EQ(face->RecoverWithOldFile(2), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{remade});
    EXPECT_EQ(Add(memtag::kSourceBrakk, 102), 1);
    face.reset();
    EXPECT_TRUE(CStoreCheck::CheckDirectory(CString(dir.path())).empty());
}

}  // namespace
