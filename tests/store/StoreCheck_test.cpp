// The store check: sound stores pass; each kind of damage is found at its file and offset; the
// check and the read-only engine never change the directory.
#include "StoreCheck.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

#include "EngineFixture.h"
#include "FileDypass.h"

namespace {

using enginetest::AnyTag;
using enginetest::MakeTag;

constexpr std::uint32_t kInt = sizeof(IntTagInfo);
constexpr std::uint32_t kTreeSlot = 28 + 40 * 10;  // order-10 node slot

std::string Describe(const std::vector<StoreFinding>& v) {
    std::string s;
    for (const auto& f : v)
        s += f.strFile.str() + " @" + std::to_string(f.nOffset) + ": " + f.strText.str() + "\n";
    return s;
}

class StoreCheckTest : public enginetest::EngineTest {
protected:
    std::vector<StoreFinding> Check() { return CStoreCheck::CheckDirectory(dir.path().c_str()); }
    // Whether one of the findings is at `file` @ `off` and says `words`; if not, all of them.
    ::testing::AssertionResult Has(const std::vector<StoreFinding>& v, const std::string& file,
                                   std::uint64_t off, const std::string& words) {
        for (const auto& f : v) {
            if (f.strFile.str() == file && f.nOffset == off &&
                f.strText.str().find(words) != std::string::npos)
                return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "no \"" << words << "\" at " << file << " @" << off << " among:\n"
               << Describe(v);
    }
    // Tags A (record 40, entry 40) and B (the next record, entry 80) of one type and source.
    void AddAB(int nType, int nSource) {
        ASSERT_EQ(Add(nType, nSource, "A"), 40);
        ASSERT_EQ(Add(nType, nSource, "B"), 40 + memtag::TagRecordSize(nType));
    }
    // Closes the engine so the trees are on disk: the files as another program finds them.
    void Close() { engine.reset(); }
    void Patch(const std::string& name, std::size_t at, const void* p, std::size_t n) {
        auto b = Bytes(name);
        if (b.size() < at + n)
            b.resize(at + n);
        std::memcpy(b.data() + at, p, n);
        mltest::WriteFileBytes(Path(name), std::string(b.begin(), b.end()));
    }
    void Patch32(const std::string& name, std::size_t at, std::uint32_t v) {
        Patch(name, at, &v, 4);
    }
    void Patch16(const std::string& name, std::size_t at, std::uint16_t v) {
        Patch(name, at, &v, 2);
    }
};

TEST_F(StoreCheckTest, FreshAndUnclosedStoresAreSound) {
    // Before the first close there are no tree files; that is sound for an empty index.
    EXPECT_TRUE(Check().empty()) << Describe(Check());
    Close();
    EXPECT_TRUE(Check().empty()) << Describe(Check());
}

TEST_F(StoreCheckTest, StoresBuiltByEveryOperationAreSound) {
    for (int src : {1, 2}) {
        for (int type = 1; type <= 4; ++type) {
            for (int k = 0; k < 5; ++k)
                ASSERT_GE(
                    Add(type, src,
                        "T" + std::to_string(src) + std::to_string(type) + "_" + std::to_string(k)),
                    0);
        }
    }
    // Enough names in one tree to split nodes.
    for (int k = 0; k < 40; ++k)
        ASSERT_GE(Add(2, 2, "N" + std::to_string(k)), 0);
    // Deletes, reuse of released slots, a name given twice, a rename onto another tag's name.
    ASSERT_EQ(engine->DeleteTag("T21_1"), 1);
    ASSERT_EQ(engine->DeleteTag("T12_3"), 1);
    ASSERT_EQ(engine->DeleteTag("N7"), 1);
    ASSERT_GE(Add(1, 2, "REUSED"), 0);
    ASSERT_GE(Add(2, 2, "N5"), 0);
    AnyTag renamed = MakeTag(2, "N9");
    ASSERT_EQ(Modify(2, 2, &renamed, "N8"), 1);
    AnyTag same = MakeTag(3, "T13_0", 9, 9);
    ASSERT_EQ(Modify(3, 1, &same, "T13_0"), 1);
    // Events, tasks and struct objects, with deletes.
    for (int src : {1, 2}) {
        engine->SetDataSource(src);
        for (int n = 1; n <= 3; ++n) {
            Thing_Info ev{};
            ev.Reset();
            ev.nNo = n;
            ASSERT_GE(engine->AddEvent(&ev), 0);
            Task_Info task{};
            task.Reset();
            task.nNo = n;
            ASSERT_GE(engine->AddTask(&task), 0);
            StructObject_Info so{};
            so.Reset();
            std::snprintf(so.szObjName, sizeof so.szObjName, "OBJ%d", n);
            std::snprintf(so.szStructType, sizeof so.szStructType, "#LOOP");
            ASSERT_GE(engine->AddStruct(&so), 0);
        }
        ASSERT_EQ(engine->DelEvent(2), 1);
        ASSERT_EQ(engine->DelTask(1), 1);
        ASSERT_EQ(engine->DelStruct("OBJ3"), 1);
    }
    Close();
    const auto findings = Check();
    EXPECT_TRUE(findings.empty()) << Describe(findings);
}

TEST_F(StoreCheckTest, ReleasedSlotWhoseDeletedFlagWasClearedIsFound) {
    AddAB(2, 2);
    ASSERT_EQ(engine->DeleteTag("A"), 1);
    Close();
    Patch16("TmpBrakkIntTagInfo.tag", 40 + 148, 0);
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpBrakkIntTagInfo.tag", 40, "not flagged deleted"));
    // The record now looks live, yet no entry names it.
    EXPECT_TRUE(Has(f, "TmpBrakkIntTagInfo.tag", 40, "named by no index entry"));
}

TEST_F(StoreCheckTest, LiveRecordFlaggedDeletedIsFoundWithTheEntryNamingIt) {
    AddAB(2, 1);
    Close();
    Patch16("TmpZuZirIntTagInfo.tag", 40 + kInt + 148, 1);
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpZuZirIntTagInfo.tag", 40 + kInt, "not on the free list"));
    EXPECT_TRUE(Has(f, "TmpZuzirTagIndex.idx", 80, "deleted record"));
    EXPECT_EQ(f.size(), 2u) << Describe(f);
}

TEST_F(StoreCheckTest, FreeListOffsetsOutsideTheFileAreFound) {
    Add(2, 2, "A");
    Add(1, 2, "B");
    Close();
    // F past the end (still on the slot grid).
    Patch32("TmpBrakkIntTagInfo.tag", 36, 40 + 100 * kInt);
    // F off the slot grid.
    Patch32("TmpBrakkTagIndex.idx", 36, 41);
    // A released offset past the slot area, and a count that runs past the end of the file.
    const std::uint32_t fBool = 40 + sizeof(BoolTagInfo);
    Patch16("TmpBrakkBoolTagInfo.tag", fBool, 1);
    Patch32("TmpBrakkBoolTagInfo.tag", fBool + 2, fBool + 4 * sizeof(BoolTagInfo));
    Patch16("TmpBrakkFloatTagInfo.tag", 40, 3);
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpBrakkIntTagInfo.tag", 36, "beyond the end"));
    EXPECT_TRUE(Has(f, "TmpBrakkTagIndex.idx", 36, "not on the grid"));
    EXPECT_TRUE(Has(f, "TmpBrakkBoolTagInfo.tag", fBool + 2, "not a slot boundary"));
    EXPECT_TRUE(Has(f, "TmpBrakkFloatTagInfo.tag", 40, "runs past the end"));
}

TEST_F(StoreCheckTest, ReleasedOffsetOffTheSlotGridAndReleasedTwiceAreFound) {
    AddAB(4, 2);
    ASSERT_EQ(engine->DeleteTag("A"), 1);
    Close();
    const std::uint32_t end = 40 + 2 * sizeof(StringTagInfo);
    Patch16("TmpBrakkStringTagInfo.tag", end, 3);
    Patch32("TmpBrakkStringTagInfo.tag", end + 6, 40);       // A again
    Patch32("TmpBrakkStringTagInfo.tag", end + 10, 40 + 7);  // inside A's slot
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpBrakkStringTagInfo.tag", end + 6, "released twice"));
    EXPECT_TRUE(Has(f, "TmpBrakkStringTagInfo.tag", end + 10, "not a slot boundary"));
}

TEST_F(StoreCheckTest, IndexEntryPointingAtAnotherTagsRecordIsFound) {
    AddAB(2, 2);
    Close();
    Patch32("TmpBrakkTagIndex.idx", 40 + 36, TagIndexEntry::PackTypeOffset(2, 40 + kInt));
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpBrakkTagIndex.idx", 40, "the record of"));
    EXPECT_TRUE(Has(f, "TmpBrakkTagIndex.idx", 80, "as the entry at 40 does"));
    EXPECT_TRUE(Has(f, "TmpBrakkIntTagInfo.tag", 40, "named by no index entry"));
}

TEST_F(StoreCheckTest, IndexEntryOfWrongTypeOrOffsetIsFound) {
    AddAB(2, 2);
    Close();
    Patch32("TmpBrakkTagIndex.idx", 40 + 36, TagIndexEntry::PackTypeOffset(3, 40));
    Patch32("TmpBrakkTagIndex.idx", 80 + 36, TagIndexEntry::PackTypeOffset(2, 41));
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpBrakkTagIndex.idx", 40, "not a slot there"));
    EXPECT_TRUE(Has(f, "TmpBrakkTagIndex.idx", 80, "not a slot there"));
}

TEST_F(StoreCheckTest, TreeKeyLeadingToADeletedEntryIsFound) {
    AddAB(1, 2);  // keys 0 (A) and 1 (B) of the root leaf
    Close();
    // The entry of B deleted and released behind the tree's back.
    std::uint8_t flags = 0x12;
    Patch("TmpBrakkTagIndex.idx", 80 + 34, &flags, 1);
    Patch16("TmpBrakkTagIndex.idx", 120, 1);
    Patch32("TmpBrakkTagIndex.idx", 122, 80);
    const auto f = Check();
    // Node 0 is the root leaf: the value of key 1 lies at 128 + 20 + 36.
    EXPECT_TRUE(Has(f, "TmpBRKTagIndex.bpt", 128 + 20 + 36, "deleted entry at 80"));
}

TEST_F(StoreCheckTest, LiveEntryTheTreeDoesNotLeadToIsFound) {
    AddAB(1, 1);
    Close();
    // B's value set to 0, as if the name had been removed.
    Patch32("TmpBRTaskTagIndex.bpt", 128 + 20 + 36, 0);
    auto f = Check();
    EXPECT_TRUE(Has(f, "TmpZuzirTagIndex.idx", 80, "cannot be found by name"));
    // A tree that leads a name to another name's entry.
    Patch32("TmpBRTaskTagIndex.bpt", 128 + 20 + 36, 40);
    f = Check();
    EXPECT_TRUE(Has(f, "TmpBRTaskTagIndex.bpt", 128 + 20 + 36, "which is \"A\""));
    // No tree at all while the index has live entries.
    std::remove(Path("TmpBRTaskTagIndex.bpt").c_str());
    f = Check();
    EXPECT_TRUE(Has(f, "TmpBRTaskTagIndex.bpt", 0, "missing"));
}

TEST_F(StoreCheckTest, DeletingOneOfANameGivenTwiceLeavesTheOtherFoundByIt) {
    Add(2, 2, "A");
    Add(2, 2, "A");
    Close();
    EXPECT_TRUE(Check().empty()) << Describe(Check());
    Reopen();
    ASSERT_EQ(engine->DeleteTag("A"), 1);
    EXPECT_EQ(engine->JustTagFromBRK("A"), 40);
    Close();
    EXPECT_TRUE(Check().empty()) << Describe(Check());
}

TEST_F(StoreCheckTest, TreeStructureDamageIsFoundAtTheNode) {
    for (int k = 0; k < 11; ++k)
        Add(1, 2, "K" + std::to_string(k));  // splits: leaves 0 and 1, root 2
    Close();
    auto before = Check();
    ASSERT_TRUE(before.empty()) << Describe(before);
    // Node 1's parent, then node 0's two first keys swapped.
    Patch32("TmpBRKTagIndex.bpt", 128 + kTreeSlot + 16, 0);
    auto b = Bytes("TmpBRKTagIndex.bpt");
    char k0[32], k1[32];
    std::memcpy(k0, b.data() + 128 + 24, 32);
    std::memcpy(k1, b.data() + 128 + 24 + 36, 32);
    Patch("TmpBRKTagIndex.bpt", 128 + 24, k1, 32);
    Patch("TmpBRKTagIndex.bpt", 128 + 24 + 36, k0, 32);
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpBRKTagIndex.bpt", 128 + kTreeSlot + 16, "names parent 0 instead of 2"));
    EXPECT_TRUE(Has(f, "TmpBRKTagIndex.bpt", 128 + 24 + 36, "not above the one before"));
}

TEST_F(StoreCheckTest, HeaderDamageIsFound) {
    Close();
    Patch("TmpZuZirStructTagInfo.tag", 0, "ZORVEN_TEMPFILX", 15);
    Patch32("TmpBrakkEventTagInfo.tag", 24, 0x20000);
    mltest::WriteFileBytes(Path("TmpBrakkTaskTagInfo.tag"), std::string(10, '\0'));
    std::remove(Path("TmpZuzirTaskTagInfo.tag").c_str());
    const auto f = Check();
    EXPECT_TRUE(Has(f, "TmpZuZirStructTagInfo.tag", 0, "identifier"));
    EXPECT_TRUE(Has(f, "TmpBrakkEventTagInfo.tag", 24, "version"));
    EXPECT_TRUE(Has(f, "TmpBrakkTaskTagInfo.tag", 0, "shorter than its header"));
    EXPECT_TRUE(Has(f, "TmpZuzirTaskTagInfo.tag", 0, "missing"));
    EXPECT_EQ(f.size(), 4u) << Describe(f);
}

// A store named by a link of the user's own making is checked where the link leads.
TEST_F(StoreCheckTest, AStoreNamedByAnOwnLinkIsCheckedThere) {
    AddAB(2, 2);
    Close();
    Patch32("TmpBrakkEventTagInfo.tag", 24, 0x20000);
    mltest::TempDir other;
    const std::string link = other / "store";
    ASSERT_EQ(symlink(dir.path().c_str(), link.c_str()), 0);
    const auto f = CStoreCheck::CheckDirectory(link.c_str());
    EXPECT_TRUE(Has(f, "TmpBrakkEventTagInfo.tag", 24, "version"));
    EXPECT_EQ(f.size(), 1u) << Describe(f);
}

TEST_F(StoreCheckTest, CheckAndReadOnlyEngineNeverChangeTheDirectory) {
    Add(2, 2, "A");
    Add(3, 1, "B");
    ASSERT_EQ(engine->DeleteTag("A"), 1);
    Close();
    Patch32("TmpBrakkTagIndex.idx", 36, 7);  // damaged, so the engine meets failures
    const auto before = mltest::SnapshotDir(dir.path());
    EXPECT_FALSE(Check().empty());
    {
        CFileDypass ro(dir.path().c_str(), true);
        EXPECT_TRUE(ro.IsReadOnly());
        CMemTag t;
        EXPECT_EQ(ro.GetTagByName("missing", t), 0);
        EXPECT_EQ(ro.GetTagByName("B", t), 1);
        ro.DeleteTag("B");  // fails on the files; the name tree changes in memory only
        AnyTag c = MakeTag(2, "C");
        EXPECT_EQ(Add(2, 2, c, &ro), -1);
        EXPECT_EQ(ro.BackupAsOldFile(2), 0);
        ro.RemoveAllRMPFile(1);
    }
    EXPECT_EQ(mltest::SnapshotDir(dir.path()), before);
    // A directory that does not exist is not created.
    const std::string absent = dir / "absent";
    { CFileDypass ro(absent.c_str(), true); }
    EXPECT_FALSE(mltest::FileExists(absent));
}

}  // namespace
