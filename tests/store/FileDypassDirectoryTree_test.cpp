// Creating a directory tree: every missing level, existing levels kept, relative paths, and a
// failed level reported while the walk goes on; relative store directories stay put.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FileDypass.h"
#include "FileFace.h"
#include "FileSystem.h"
#include "TestSupport.h"

using mltest::ScopedEnv;
using mltest::TempDir;

namespace {

struct DirTreeTest : ::testing::Test {
    ScopedEnv env{"QLX_PATH_D_TEMP", nullptr};
    TempDir dir;
    std::string cwd = mlplat::GetCurrentDir();
    ~DirTreeTest() override { mlplat::SetCurrentDir(cwd.c_str()); }
};

}  // namespace

TEST_F(DirTreeTest, CreatesEveryMissingLevelWithOrWithoutTrailingSeparator) {
    CFileDypass engine;
    std::string deep = dir / "a/b/c";
    EXPECT_EQ(engine.CreateDirectoryTree(deep.c_str()), 1);
    EXPECT_TRUE(mlplat::IsDirectory(deep.c_str()));
    std::string deep2 = dir / "x/y/";
    EXPECT_EQ(engine.CreateDirectoryTree(deep2.c_str()), 1);
    EXPECT_TRUE(mlplat::IsDirectory((dir / "x/y").c_str()));
    // Existing levels are fine, and the last created one became the current directory.
    EXPECT_EQ(engine.CreateDirectoryTree(deep.c_str()), 1);
    EXPECT_EQ(mlplat::GetCurrentDir(), dir / "x/y");
}

TEST_F(DirTreeTest, EmptyPathYieldsZero) {
    CFileDypass engine;
    EXPECT_EQ(engine.CreateDirectoryTree(""), 0);
}

TEST_F(DirTreeTest, RelativePathIsTakenFromTheCurrentDirectoryOnce) {
    CFileDypass engine;
    ASSERT_TRUE(mlplat::SetCurrentDir(dir.path().c_str()));
    // Moving into "r" while walking must not put "s" inside "r/r".
    EXPECT_EQ(engine.CreateDirectoryTree("r/s/t"), 1);
    EXPECT_TRUE(mlplat::IsDirectory((dir / "r/s/t").c_str()));
    EXPECT_FALSE(mlplat::PathExists((dir / "r/r").c_str()));
}

TEST_F(DirTreeTest, FailedLevelGivesZeroAndTheWalkGoesOn) {
    CFileDypass engine;
    mltest::WriteFileBytes(dir / "file", "x");
    EXPECT_EQ(engine.CreateDirectoryTree((dir / "file/sub").c_str()), 0);
    EXPECT_FALSE(mlplat::IsDirectory((dir / "file/sub").c_str()));
}

TEST_F(DirTreeTest, EngineCreatesItsTemporaryDirectoryAtConstruction) {
    std::string store = dir / "store/tmp";
    ScopedEnv temp("QLX_PATH_D_TEMP", store.c_str());
    CFileDypass engine;
    EXPECT_EQ(engine.GetTempDir(), store.c_str());
    EXPECT_TRUE(mlplat::IsDirectory(store.c_str()));
}

// The walk moves the current directory into each new level: a store named relatively must be
// kept where it was named, or every later operation looks for it elsewhere.
TEST_F(DirTreeTest, RelativeStoreDirectoriesAreKeptWhereTheyWereNamed) {
    ASSERT_TRUE(mlplat::SetCurrentDir(dir.path().c_str()));
    ScopedEnv temp("QLX_PATH_D_TEMP", "sub/store");
    CFileFace face;
    IntTagInfo t;
    t.Reset();
    std::strcpy(t.szName, "T1");
    const auto works = [&](const std::string& where) {
        CString msg("m");
        return face.GetEngine()->GetTempDir() == where.c_str() && face.AddData(2, 2, &t, "") == 1 &&
               face.AddError(msg) != 0 &&
               mltest::FileSize(where + "/TmpBrakkIntTagInfo.tag") == 42 + 1006 &&
               mltest::FileExists(where + "/TempErrFile.txt");
    };
    EXPECT_TRUE(works(dir / "sub/store"));
    // Taken from the current directory of the moment: the walk left the process in the store.
    ASSERT_EQ(mlplat::GetCurrentDir(), dir / "sub/store");
    EXPECT_EQ(face.SetConfigureFilePath("relA/x/"), 1);
    EXPECT_TRUE(works(dir / "sub/store/relA/x/"));
}
