// The path service: labels from the environment or a label file, and a missing service.
#include <gtest/gtest.h>

#include "DirkeeperInterface.h"
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
