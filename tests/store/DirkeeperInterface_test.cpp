// The path service: labels from the environment or a label file (a regular file of at most
// 1 MiB, read without blocking), and a missing service.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
