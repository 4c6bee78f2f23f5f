// The store's error file: its header, CR LF line ends, the header checks, exclusive access and
// appends from another process.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "File.h"
#include "FileDypass.h"
#include "TestSupport.h"

using mltest::Gb;
using mltest::ScopedEnv;
using mltest::TempDir;

namespace {

std::string Header() {
    return Gb("文件标识：ZORVEN_TEMPERR\r\n文件版本号：10000\r\n");
}

// The messages the engine reads back from its error file; none when the read fails.
std::vector<std::string> ReadBack(CFileDypass& engine) {
    CStringArray arr;
    std::vector<std::string> lines;
    if (engine.GetErrStringArray(arr) == 0) {
        ADD_FAILURE() << "the error file was not read";
        return lines;
    }
    for (int i = 0; i < arr.GetSize(); ++i)
        lines.emplace_back(arr[i].GetString());
    return lines;
}

// A read that fails still leaves no stale messages in the caller's array.
void ExpectReadRefused(CFileDypass& engine) {
    CStringArray arr;
    arr.Add("stale");
    EXPECT_EQ(engine.GetErrStringArray(arr), 0);
    EXPECT_EQ(arr.GetSize(), 0);
}

struct ErrFileTest : ::testing::Test {
    TempDir dir;
    ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
    std::string path = dir / "TempErrFile.txt";
};

}  // namespace

TEST_F(ErrFileTest, FirstAppendWritesHeaderThenMessageWithCrLf) {
    CFileDypass engine;
    EXPECT_FALSE(mltest::FileExists(path));  // nothing before the first append
    CString msg = mltest::GbS("添加事件3失败！");
    ASSERT_NE(engine.AddError(msg), 0);
    EXPECT_EQ(msg, mltest::GbS("添加事件3失败！") + "\n");  // the caller's string gets the line end
    EXPECT_EQ(mltest::ReadFileText(path), Header() + Gb("添加事件3失败！") + "\r\n");

    CStringArray arr;
    ASSERT_NE(engine.GetErrStringArray(arr), 0);
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_EQ(arr[0], mltest::GbS("添加事件3失败！"));
}

TEST_F(ErrFileTest, MessagesComeBackInOrderAndEmptyMessageWritesNothing) {
    CFileDypass engine;
    CString empty;
    ASSERT_NE(engine.AddError(empty), 0);
    EXPECT_EQ(mltest::ReadFileText(path), Header());
    for (int i = 0; i < 5; ++i) {
        CString m;
        m.Format("message %d", i);
        ASSERT_NE(engine.AddError(m), 0);
    }
    CStringArray arr;
    ASSERT_NE(engine.GetErrStringArray(arr), 0);
    ASSERT_EQ(arr.GetSize(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(arr[i], CString("message ") + std::to_string(i));
}

TEST_F(ErrFileTest, ReadingAMissingFileCreatesItWithHeaderOnly) {
    CFileDypass engine;
    CStringArray arr;
    arr.Add("stale");
    ASSERT_NE(engine.GetErrStringArray(arr), 0);
    EXPECT_EQ(arr.GetSize(), 0);
    EXPECT_EQ(mltest::ReadFileText(path), Header());
}

TEST_F(ErrFileTest, DamagedHeaderIsReportedBeforeTheMessages) {
    mltest::WriteFileBytes(path, Gb("文件标识：OTHER\r\n文件版本号：20000\r\nfirst\r\nsecond\r\n"));
    CFileDypass engine;
    EXPECT_EQ(ReadBack(engine),
              (std::vector<std::string>{Gb("ZORVEN_TEMPERR文件标识错误"), Gb("10000文件版本号错误"),
                                        "first", "second"}));
}

TEST_F(ErrFileTest, OnlyTheVersionLineDamagedAndReadingStopsAtAnEmptyLine) {
    mltest::WriteFileBytes(path, Gb("文件标识：ZORVEN_TEMPERR\r\n版本\r\nfirst\r\n\r\nhidden\r\n"));
    CFileDypass engine;
    EXPECT_EQ(ReadBack(engine), (std::vector<std::string>{Gb("10000文件版本号错误"), "first"}));
}

TEST_F(ErrFileTest, RemoveDeletesTheFileAndSucceedsWhenItIsMissing) {
    CFileDypass engine;
    CString m("x");
    engine.AddError(m);
    ASSERT_TRUE(mltest::FileExists(path));
    EXPECT_EQ(engine.RemoveErrorFile(), 1);
    EXPECT_FALSE(mltest::FileExists(path));
    EXPECT_EQ(engine.RemoveErrorFile(), 1);
}

TEST_F(ErrFileTest, FileHeldByAnotherHolderFailsAppendAndRead) {
    CFileDypass engine;
    CString first("first");
    ASSERT_NE(engine.AddError(first), 0);
    int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    CString lost("lost");
    EXPECT_EQ(engine.AddError(lost), 0);
    ExpectReadRefused(engine);
    ::close(fd);
    EXPECT_EQ(ReadBack(engine), std::vector<std::string>{"first"});
}

TEST(ErrFileNoDirectory, OperationsDoNothingWithoutATemporaryDirectory) {
    ScopedEnv env("QLX_PATH_D_TEMP", nullptr);
    ScopedEnv table("DIRKEEPER_PATHS", nullptr);
    CFileDypass engine;
    EXPECT_TRUE(engine.GetTempDir().IsEmpty());
    CString m("x");
    EXPECT_EQ(engine.AddError(m), 0);
    ExpectReadRefused(engine);
    EXPECT_EQ(engine.RemoveErrorFile(), 1);
}

TEST_F(ErrFileTest, AppendsOfAnotherProcessAreNeverLostWhileThisOneReads) {
    // The child appends and records which appends reported success; the parent keeps reading.
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipefd[0]);
        CFileDypass writer;
        for (int i = 0; i < 300; ++i) {
            CString m;
            m.Format("child %d", i);
            char ok = writer.AddError(m) ? 1 : 0;
            if (::write(pipefd[1], &ok, 1) != 1)
                ::_exit(2);
        }
        ::_exit(0);
    }
    ::close(pipefd[1]);
    {
        CFileDypass reader;
        for (int i = 0; i < 200; ++i) {
            CStringArray arr;
            reader.GetErrStringArray(arr);
        }
    }
    std::set<std::string> reported;
    char ok;
    int i = 0;
    while (::read(pipefd[0], &ok, 1) == 1) {
        if (ok)
            reported.insert("child " + std::to_string(i));
        ++i;
    }
    ::close(pipefd[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(i, 300);
    EXPECT_GT(reported.size(), 0u);

    CFileDypass check;
    CStringArray arr;
    ASSERT_NE(check.GetErrStringArray(arr), 0);
    std::set<std::string> found;
    for (const CString& s : arr)
        found.insert(s.str());
    for (const std::string& r : reported)
        EXPECT_TRUE(found.count(r)) << r;
}

TEST_F(ErrFileTest, LineBreaksInAMessageCannotForgeLinesOrHideLaterMessages) {
    CFileDypass engine;
    CString forged("GHOST\n\nforged\r\nline");
    ASSERT_NE(engine.AddError(forged), 0);
    EXPECT_EQ(forged, CString("GHOST  forged  line\n"));
    engine.ReportError("%s", "name\r\n");
    CString after("after");
    ASSERT_NE(engine.AddError(after), 0);
    EXPECT_EQ(mltest::ReadFileText(path), Header() + "GHOST  forged  line\r\nname  \r\nafter\r\n");
    EXPECT_EQ(ReadBack(engine),
              (std::vector<std::string>{"GHOST  forged  line", "name  ", "after"}));
}

TEST_F(ErrFileTest, ALongFileGivesItsNewestWholeLinesWithinTheBound) {
    const std::string text = Header() + "aaa\r\nbbb\r\nccc\r\n";
    mltest::WriteFileBytes(path, text);
    auto read = [&](std::size_t nMax) {
        CFile f;
        EXPECT_TRUE(f.Open(path.c_str(), CFile::modeRead));
        CStringArray arr;
        CFileDypass::ReadErrMessages(f, nMax, 64, arr);
        std::vector<std::string> lines;
        for (const CString& s : arr)
            lines.push_back(s.str());
        return lines;
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(read(text.size()), (Lines{"aaa", "bbb", "ccc"}));
    EXPECT_EQ(read(10), (Lines{"bbb", "ccc"}));  // the cut falls on a line's start
    EXPECT_EQ(read(9), (Lines{"ccc"}));          // ... or inside "bbb", which is left out
    EXPECT_EQ(read(0), Lines{});
    // The header is still checked when only the newest lines are read.
    mltest::WriteFileBytes(path, Gb("文件标识：OTHER\r\n文件版本号：10000\r\nold\r\nnew\r\n"));
    EXPECT_EQ(read(5), (Lines{Gb("ZORVEN_TEMPERR文件标识错误"), "new"}));
}

// A 1 GiB sparse error file (a hole between old and new messages) read in a child whose address
// space may grow by no more than 256 MiB: the whole file would not fit.
TEST_F(ErrFileTest, AHugeSparseFileIsReadWithinAnAddressSpaceLimit) {
    {
        std::string start = Header() + "oldest\r\n";
        mltest::WriteFileBytes(path, start);
        int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string end = "\r\nnewest 1\r\nnewest 2\r\n";
        const off_t at = (off_t{1} << 30) - static_cast<off_t>(end.size());
        ASSERT_EQ(::pwrite(fd, end.data(), end.size(), at), static_cast<ssize_t>(end.size()));
        ::close(fd);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CFileDypass engine;
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        if (pages <= 0)
            ::_exit(3);
        const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (256u << 20);
        const rlimit rl{limit, limit};
        if (::setrlimit(RLIMIT_AS, &rl) != 0)
            ::_exit(4);
        CStringArray arr;
        if (engine.GetErrStringArray(arr) == 0)
            ::_exit(5);
        const bool bOk =
            arr.GetSize() == 2 && arr[0] == CString("newest 1") && arr[1] == CString("newest 2");
        ::_exit(bOk ? 0 : 6);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the reader died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
