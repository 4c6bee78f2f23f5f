// A name tree whose file exists but cannot be read at open (another program holds its lock past
// the wait, or the file is damaged): names are still found from the index, and closing never
// replaces the file with an image that lacks the names this program never saw.
#include <gtest/gtest.h>

#include <string>

#include "EngineFixture.h"
#include "SynchronicLock.h"
#include "filebplustreenode.h"

using enginetest::EngineTest;

namespace {

class TreeUnreadable : public EngineTest {
protected:
    void SetUp() override {
        ASSERT_EQ(Add(2, 2, "OLD1"), 40);
        ASSERT_GT(Add(3, 2, "OLD2"), 0);
        engine.reset();  // saves the Brakk tree with both names
        ASSERT_TRUE(mltest::FileExists(Path("TmpBRKTagIndex.bpt")));
    }
    bool Finds(CFileDypass& e, const char* name) {
        CMemTag tag;
        return e.GetTagByName(name, tag) == 1;
    }
};

}  // namespace

TEST_F(TreeUnreadable, LockHeldAtOpenStillFindsOldNamesAndMergesNewOnesAtClose) {
    CSynchronicLock other;
    ASSERT_EQ(other.Create("TmpBRKTagIndex.bpt", 1), 1);
    ASSERT_EQ(other.TryWriteLock(500), 1);  // another program is rewriting the tree
    engine = std::make_unique<CFileDypass>();
    EXPECT_TRUE(Finds(*engine, "OLD1"));
    EXPECT_TRUE(Finds(*engine, "OLD2"));
    ASSERT_GT(Add(2, 2, "NEW"), 0);
    other.WriteUnlock();
    engine.reset();

    CFileDypass after;
    EXPECT_TRUE(Finds(after, "OLD1"));
    EXPECT_TRUE(Finds(after, "OLD2"));
    EXPECT_TRUE(Finds(after, "NEW"));
    EXPECT_EQ(after.JustTagFromBRK("OLD1"), 40);
}

TEST_F(TreeUnreadable, AReaderThatCouldNotLoadNeverSaves) {
    const auto before = Bytes("TmpBRKTagIndex.bpt");
    CSynchronicLock other;
    ASSERT_EQ(other.Create("TmpBRKTagIndex.bpt", 1), 1);
    ASSERT_EQ(other.TryWriteLock(500), 1);
    engine = std::make_unique<CFileDypass>();
    other.WriteUnlock();
    EXPECT_TRUE(Finds(*engine, "OLD2"));
    engine.reset();
    EXPECT_EQ(Bytes("TmpBRKTagIndex.bpt"), before);
}

TEST_F(TreeUnreadable, DamagedTreeFileIsRebuiltFromTheIndex) {
    mltest::WriteFileBytes(Path("TmpBRKTagIndex.bpt"), std::string(300, '\x7F'));
    const auto damaged = Bytes("TmpBRKTagIndex.bpt");
    engine = std::make_unique<CFileDypass>();
    EXPECT_TRUE(Finds(*engine, "OLD1"));
    ASSERT_GT(Add(4, 2, "NEW"), 0);
    EXPECT_EQ(engine->DeleteTag("OLD2"), 1);
    engine.reset();
    // The index holds every live name: the file is replaced by the tree rebuilt from it.
    EXPECT_NE(Bytes("TmpBRKTagIndex.bpt"), damaged);
    FileBPlusTree saved;
    ASSERT_EQ(saved.LoadFromFile(Path("TmpBRKTagIndex.bpt").c_str()), 1);

    CFileDypass after;
    EXPECT_TRUE(Finds(after, "OLD1"));
    EXPECT_TRUE(Finds(after, "NEW"));
    EXPECT_FALSE(Finds(after, "OLD2"));
}
