// The path service: labels from the environment or a label file (a regular file of at most
// 1 MiB, read without blocking), and a missing service.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "DirkeeperInterface.h"
#include "ProcessSupport.h"
#include "TestSupport.h"

using mltest::ScopedEnv;
using mltest::TempDir;

TEST(PathService, LabelResolvesFromEnvironmentFirst) {
    TempDir t;
    mltest::WriteFileBytes(t / "labels", "QLX_PATH_D_TEMP=/from/file\n");
    ScopedEnv table("DIRKEEPER_PATHS", (t / "labels").c_str());
    ScopedEnv env("QLX_PATH_D_TEMP", "/from/env");
    CDirkeeperInterface dk;
    CString dir;
    ASSERT_EQ(dk.GetCfgPath("QLX_PATH_D_TEMP", dir), 1);
    EXPECT_EQ(dir, "/from/env");
    EXPECT_TRUE(dk.IsLoaded());
}

TEST(PathService, LabelResolvesFromLabelFileWithWindowsLineEnds) {
    TempDir t;
    mltest::WriteFileBytes(
        t / "labels", "# comment\r\nQLX_PATH_D_TEMPX=/wrong\r\nQLX_PATH_D_AREAINFO=/cfg/area\r\n");
    ScopedEnv table("DIRKEEPER_PATHS", (t / "labels").c_str());
    ScopedEnv env("QLX_PATH_D_AREAINFO", nullptr);
    CDirkeeperInterface dk;
    CString dir;
    ASSERT_EQ(dk.GetCfgPath("QLX_PATH_D_AREAINFO", dir), 1);
    EXPECT_EQ(dir, "/cfg/area");
}

TEST(PathService, UnknownLabelFailsAndLeavesResultUntouched) {
    ScopedEnv table("DIRKEEPER_PATHS", nullptr);
    ScopedEnv env("QLX_PATH_D_NOSUCH", nullptr);
    CDirkeeperInterface dk;
    CString dir("keep");
    EXPECT_EQ(dk.GetCfgPath("QLX_PATH_D_NOSUCH", dir), 0);
    EXPECT_EQ(dir, "keep");
}

TEST(PathService, MissingLibraryFailsWithoutLoading) {
    ScopedEnv env("QLX_PATH_D_TEMP", "/from/env");
    CDirkeeperInterface dk("libNoSuchDirkeeper.so");
    CString dir("keep");
    EXPECT_EQ(dk.GetCfgPath("QLX_PATH_D_TEMP", dir), 0);
    EXPECT_EQ(dir, "keep");
    EXPECT_FALSE(dk.IsLoaded());
}

TEST(PathService, ResolvesEveryEntryPointByName) {
    CDirkeeperInterface dk;
    ASSERT_TRUE(dk.Load());
    for (int i = 0; i < CDirkeeperInterface::kEntryCount; ++i)
        EXPECT_NE(dk.GetEntry(i), nullptr) << CDirkeeperInterface::kEntryNames[i];
    EXPECT_STREQ(CDirkeeperInterface::kEntryNames[11], "Dirkeeper_GetCfgPath");
    EXPECT_STREQ(CDirkeeperInterface::kEntryNames[20], "Dirkeeper_GetPathByLable");
}

TEST(PathService, AFifoAsLabelFileIsNoFileAndDoesNotBlock) {
    TempDir t;
    const std::string fifo = t / "labels";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ScopedEnv table("DIRKEEPER_PATHS", fifo.c_str());
    ScopedEnv env("QLX_PATH_D_TEMP", nullptr);
    // In a child: a read that blocks for ever must fail the test, not hang it.
    const pid_t child = proctest::Spawn([] {
        CDirkeeperInterface dk;
        CString dir("keep");
        return dk.GetCfgPath("QLX_PATH_D_TEMP", dir) == 0 && dir == "keep" ? 0 : 1;
    });
    EXPECT_EQ(proctest::WaitBounded(child, 10000), 0);
}

TEST(PathService, ALabelFileOverOneMebibyteIsRefused) {
    TempDir t;
    const std::string line = "QLX_PATH_D_AREAINFO=/cfg/area\n";
    const std::string pad(std::size_t{1} << 20, '#');
    ScopedEnv table("DIRKEEPER_PATHS", (t / "labels").c_str());
    ScopedEnv env("QLX_PATH_D_AREAINFO", nullptr);
    CDirkeeperInterface dk;
    CString dir;
    // 1 MiB exactly, the label in its last line, is read.
    mltest::WriteFileBytes(t / "labels", pad.substr(line.size() + 1) + "\n" + line);
    ASSERT_EQ(dk.GetCfgPath("QLX_PATH_D_AREAINFO", dir), 1);
    EXPECT_EQ(dir, "/cfg/area");
    // One byte more is not, even with the label in its first line.
    mltest::WriteFileBytes(t / "labels", line + pad.substr(line.size() - 1));
    CString none("keep");
    EXPECT_EQ(dk.GetCfgPath("QLX_PATH_D_AREAINFO", none), 0);
    EXPECT_EQ(none, "keep");
    // Nor is a device that never ends.
    ScopedEnv zero("DIRKEEPER_PATHS", "/dev/zero");
    EXPECT_EQ(dk.GetCfgPath("QLX_PATH_D_AREAINFO", none), 0);
}

// A set-user-ID copy of memlist-inspect run by another user (uid 54321) must not take the
// directory of ARInfo.xml from that user's environment; run plainly it does.
TEST(PathService, ASetUserIdProgramIgnoresItsCallersEnvironment) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a set-user-ID program and to run it as another user";
    TempDir t;
    ASSERT_EQ(::chmod(t.path().c_str(), 0755), 0);
    const std::string out = std::string(MEMLIST_BINARY_DIR) + "/out/";
    const std::string tool = t / "memlist-inspect";
    mltest::WriteFileBytes(tool, mltest::ReadFileText(out + "memlist-inspect"));
    mltest::WriteFileBytes(t / CDirkeeperInterface::kLibraryName,
                           mltest::ReadFileText(out + CDirkeeperInterface::kLibraryName));
    ASSERT_EQ(::mkdir((t / "area").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((t / "store").c_str(), 0755), 0);
    mltest::WriteFileBytes(t / "area/ARInfo.xml",
                           "<CfgInfo><Area ID=\"42\" Name=\"x\"/></CfgInfo>");
    ASSERT_EQ(::chmod((t / "area/ARInfo.xml").c_str(), 0644), 0);
    ASSERT_EQ(::chmod((t / CDirkeeperInterface::kLibraryName).c_str(), 0755), 0);
    ScopedEnv table("DIRKEEPER_PATHS", nullptr);
    ScopedEnv area("QLX_PATH_D_AREAINFO", (t / "area").c_str());

    auto areas = [&](mode_t mode, uid_t uid) {
        EXPECT_EQ(::chmod(tool.c_str(), mode), 0);
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(fds[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            if (::setgid(uid) != 0 || ::setuid(uid) != 0)
                ::_exit(97);
            ::execl(tool.c_str(), tool.c_str(), "areas", (t / "store").c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(98);
        }
        ::close(fds[1]);
        std::string text;
        char buf[1024];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        EXPECT_EQ(proctest::WaitBounded(child, 30000), 0);
        return text;
    };
    EXPECT_NE(areas(0755, 0).find("42"), std::string::npos);  // the environment is read
    const std::string shown = areas(04755, 54321);
    EXPECT_NE(shown.find("area"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("42"), std::string::npos) << shown;
}
