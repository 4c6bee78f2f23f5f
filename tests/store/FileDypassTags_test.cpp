// Tag add, change and delete: typed records, index entries and names kept in step.
#include <gtest/gtest.h>

#include <string>

#include "EngineFixture.h"
#include "MyKey.h"
#include "StoreCheck.h"
#include "filebplustreenode.h"

using enginetest::AnyTag;
using enginetest::MakeTag;
using enginetest::U16;
using enginetest::U32;
using mltest::Gb;

namespace {

class TagStore : public enginetest::EngineTest {};

}  // namespace

TEST_F(TagStore, FirstBooleanTagOfZuZirLandsAtFortyWithItsIndexEntry) {
    AnyTag t = MakeTag(1, "PT101", 300, 258);
    ASSERT_EQ(Add(1, 1, t), 40);
    auto rec = Bytes("TmpZuZirBoolTagInfo.tag");
    ASSERT_EQ(rec.size(), 42u + 538u);
    EXPECT_EQ(U32(rec, 36), 40u + 538u);
    EXPECT_EQ(0, std::memcmp(rec.data() + 40, &t, 538));
    EXPECT_EQ(U16(rec, 40 + 538), 0);

    auto idx = Bytes("TmpZuzirTagIndex.idx");
    ASSERT_EQ(idx.size(), 42u + 40u);
    EXPECT_EQ(U32(idx, 36), 80u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(idx.data() + 40)), "PT101");
    EXPECT_EQ(idx[72], 300 % 256);  // area, low byte
    EXPECT_EQ(idx[73], 258 % 256);  // region, low byte
    EXPECT_EQ(idx[74], 1);          // source ZuZir, not deleted
    EXPECT_EQ(U32(idx, 76), (1u << 28) | 40u);
    EXPECT_EQ(engine->JustTagFromRMP("PT101"), 40);
    EXPECT_EQ(engine->JustTagFromBRK("PT101"), 0);
    // Nothing of the other source was touched.
    EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx").size(), 42u);
}

TEST_F(TagStore, RecordsOfEachTypeGoToTheirOwnFileAtTheirOwnSize) {
    const char* files[] = {"", "TmpBrakkBoolTagInfo.tag", "TmpBrakkIntTagInfo.tag",
                           "TmpBrakkFloatTagInfo.tag", "TmpBrakkStringTagInfo.tag"};
    for (int type = 1; type <= 4; ++type) {
        ASSERT_EQ(Add(type, 2, "T" + std::to_string(type)), 40);
        EXPECT_EQ(mltest::FileSize(Path(files[type])), 42 + memtag::TagRecordSize(type));
    }
    auto idx = Bytes("TmpBrakkTagIndex.idx");
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(U32(idx, 40 + 40 * k + 36) >> 28, static_cast<unsigned>(k + 1));
}

TEST_F(TagStore, AddWithoutAValidTypeOrSourceWritesNothing) {
    AnyTag t = MakeTag(2, "X");
    engine->SetDataSource(2);
    for (int type : {0, 5, -1}) {
        engine->SetDataType(type);
        EXPECT_EQ(engine->WriteTagRecord(&t), -1);
    }
    engine->SetDataType(2);
    engine->SetDataSource(0);
    EXPECT_EQ(engine->WriteTagRecord(&t), -1);
    EXPECT_EQ(engine->AddIndexEntry(40, &t), -1);
    EXPECT_EQ(Messages().back(), Gb("数据来源指定错误！"));
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkIntTagInfo.tag")), 42);
    EXPECT_EQ(mltest::FileSize(Path("TmpZuZirIntTagInfo.tag")), 42);
}

TEST_F(TagStore, BadRecordsAreRefusedBeforeAnythingIsWritten) {
    engine->SetDataType(2);
    engine->SetDataSource(2);
    EXPECT_EQ(engine->WriteTagRecord(nullptr), -1);
    EXPECT_EQ(engine->AddIndexEntry(40, nullptr), -1);
    // A name filling all 32 bytes has no terminating zero.
    AnyTag full = MakeTag(2, std::string(32, 'N'));
    EXPECT_EQ(engine->WriteTagRecord(&full), -1);
    EXPECT_EQ(engine->AddIndexEntry(40, &full), -1);
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkIntTagInfo.tag")), 42);
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkTagIndex.idx")), 42);
}

TEST_F(TagStore, NamesOfThirtyOneBytesAreKeptAndLongerOnesNameNoTag) {
    const std::string n31(31, 'A');
    ASSERT_EQ(Add(3, 2, n31), 40);
    EXPECT_EQ(engine->JustTagFromBRK(n31.c_str()), 40);
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName(n31.c_str(), tag), 1);
    EXPECT_EQ(tag.strName.str(), n31);
    // The tree keys on 31 bytes; a 32-byte name must not reach the 31-byte tag through it.
    const std::string n32 = n31 + "B";
    EXPECT_EQ(engine->JustTagFromBRK(n32.c_str()), 0);
    EXPECT_EQ(engine->GetTagByName(n32.c_str(), tag), 0);
    EXPECT_EQ(engine->DeleteTag(n32.c_str()), -1);
    EXPECT_EQ(engine->JustTagFromBRK(n31.c_str()), 40);
}

TEST_F(TagStore, SameNameTwiceLeavesTwoLiveEntriesAndFindsTheSecond) {
    AnyTag a = MakeTag(2, "DUP", 1);
    AnyTag b = MakeTag(2, "DUP", 9);
    ASSERT_EQ(Add(2, 2, a), 40);
    ASSERT_EQ(Add(2, 2, b), 40 + 1006);
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    EXPECT_EQ(engine->GetTagArray(arr, 2), 1);
    EXPECT_EQ(arr.GetSize(), 2);
    EXPECT_EQ(engine->JustTagFromBRK("DUP"), 80);
    CMemTag tag;
    ASSERT_EQ(engine->GetTagByName("DUP", tag), 1);
    EXPECT_EQ(tag.nArea, 9);
}

TEST_F(TagStore, ChangeUnderItsOwnNameRewritesInPlace) {
    AnyTag t = MakeTag(2, "FLOW");
    ASSERT_EQ(Add(2, 1, t), 40);
    const auto idxBefore = Bytes("TmpZuzirTagIndex.idx");
    AnyTag n = MakeTag(2, "FLOW", 5, 6);
    n.i.nRangeHigh = 250;
    // The caller's codes are replaced by the stored ones.
    ASSERT_EQ(Modify(2, 0, &n, "FLOW"), 1);
    EXPECT_EQ(engine->GetDataSource(), 1);
    auto rec = Bytes("TmpZuZirIntTagInfo.tag");
    EXPECT_EQ(0, std::memcmp(rec.data() + 40, &n, 1006));
    auto idx = Bytes("TmpZuzirTagIndex.idx");
    EXPECT_EQ(U32(idx, 76), U32(idxBefore, 76));
    EXPECT_EQ(idx[72], 5);
    EXPECT_EQ(idx[73], 6);
}

TEST_F(TagStore, RenameMovesTheNameAndKeepsBothSlots) {
    ASSERT_EQ(Add(1, 2, "OLD"), 40);
    AnyTag n = MakeTag(1, "NEW");
    ASSERT_EQ(Modify(1, 2, &n, "OLD"), 1);
    EXPECT_EQ(engine->JustTagFromBRK("OLD"), 0);
    EXPECT_EQ(engine->JustTagFromBRK("NEW"), 40);
    CMemTag tag;
    EXPECT_EQ(engine->GetTagByName("NEW", tag), 1);
    EXPECT_EQ(engine->GetTagByName("OLD", tag), 0);
}

TEST_F(TagStore, ChangeOfAnUnknownNameChangesNothing) {
    ASSERT_EQ(Add(1, 2, "A"), 40);
    const auto before = Bytes("TmpBrakkTagIndex.idx");
    AnyTag n = MakeTag(1, "B");
    EXPECT_EQ(Relink(1, 2, &n, "NOPE"), -1);
    EXPECT_EQ(engine->RelinkTag(&n, ""), -1);
    EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx"), before);
    EXPECT_EQ(engine->JustTagFromBRK("B"), 0);
}

TEST_F(TagStore, ChangeWithoutValidCurrentCodesLeavesFilesUntouched) {
    ASSERT_EQ(Add(2, 2, "K"), 40);
    const auto before = Bytes("TmpBrakkTagIndex.idx");
    AnyTag n = MakeTag(2, "K2");
    EXPECT_EQ(Relink(9, 2, &n, "K"), -1);
    EXPECT_EQ(Relink(2, 7, &n, "K"), -1);
    EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx"), before);
    EXPECT_EQ(engine->JustTagFromBRK("K"), 40);
}

TEST_F(TagStore, ChangeWithALongerTypeKeepsTheStoredTypeAndSize) {
    AnyTag b = MakeTag(1, "SW");
    b.b.nTailWord = 4;
    ASSERT_EQ(Add(1, 2, b), 40);
    AnyTag f = MakeTag(3, "SW", 8);
    ASSERT_EQ(Modify(3, 2, &f, "SW"), 1);
    EXPECT_EQ(engine->GetDataType(), 1);
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkBoolTagInfo.tag")), 42 + 538);
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkFloatTagInfo.tag")), 42);
    auto rec = Bytes("TmpBrakkBoolTagInfo.tag");
    EXPECT_EQ(0, std::memcmp(rec.data() + 40, &f, 538));
}

TEST_F(TagStore, ChangeWithAShorterTypeKeepsTheStoredBytesBeyondIt) {
    AnyTag i = MakeTag(2, "LVL");
    i.i.nTailWord = 0x1234;
    i.i.nRangeLow = -5;
    ASSERT_EQ(Add(2, 2, i), 40);
    // A string record for an integer tag: only its 310 bytes may be read.
    auto* s = new StringTagInfo;
    s->Reset();
    std::strcpy(s->szName, "LVL");
    std::strcpy(s->szDesc, "short");
    ASSERT_EQ(Modify(4, 2, s, "LVL"), 1);
    auto rec = Bytes("TmpBrakkIntTagInfo.tag");
    EXPECT_EQ(0, std::memcmp(rec.data() + 40, s, 310));
    EXPECT_EQ(0, std::memcmp(rec.data() + 40 + 310, reinterpret_cast<char*>(&i) + 310, 1006 - 310));
    delete s;
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkIntTagInfo.tag")), 42 + 1006);
}

TEST_F(TagStore, DeleteTakesBrakkFirstThenZuZirThenReports) {
    ASSERT_EQ(Add(2, 1, "BOTH"), 40);
    ASSERT_EQ(Add(2, 2, "BOTH"), 40);
    EXPECT_EQ(engine->DeleteTag("BOTH"), 1);
    EXPECT_EQ(engine->JustTagFromBRK("BOTH"), 0);
    EXPECT_EQ(engine->JustTagFromRMP("BOTH"), 40);
    int type, source, off;
    EXPECT_EQ(engine->LocateTag("BOTH", type, source, off), 1);
    EXPECT_EQ(source, 1);
    EXPECT_EQ(engine->DeleteTag("BOTH"), 1);
    EXPECT_EQ(engine->DeleteTag("BOTH"), -1);
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back(), Gb("未找到指定要删除的位号:BOTH！"));
    EXPECT_EQ(engine->LocateTag("BOTH", type, source, off), 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(source, 0);
}

TEST_F(TagStore, DeleteFlagsBothSlotsAndTheNextAddReusesThem) {
    ASSERT_EQ(Add(3, 2, "A"), 40);
    ASSERT_EQ(Add(3, 2, "B"), 40 + 1022);
    ASSERT_EQ(engine->DeleteTag("A"), 1);
    auto rec = Bytes("TmpBrakkFloatTagInfo.tag");
    EXPECT_EQ(U16(rec, 40 + 148), 1);
    const std::uint32_t end = U32(rec, 36);
    EXPECT_EQ(U16(rec, end), 1);
    EXPECT_EQ(U32(rec, end + 2), 40u);
    auto idx = Bytes("TmpBrakkTagIndex.idx");
    EXPECT_EQ(idx[40 + 34], 0x12);  // deleted, source kept
    EXPECT_EQ(U16(idx, 120), 1);
    EXPECT_EQ(U32(idx, 122), 40u);

    ASSERT_EQ(Add(3, 2, "C"), 40);
    EXPECT_EQ(engine->JustTagFromBRK("C"), 40);
    EXPECT_EQ(engine->JustTagFromBRK("A"), 0);
}

TEST_F(TagStore, DamagedIndexEntryFailsChangeAndDeleteWithoutWriting) {
    ASSERT_EQ(Add(2, 2, "D"), 40);
    ASSERT_EQ(Add(2, 2, "E"), 40 + 1006);
    // Point D's entry at the middle of a record, then past the slot area.
    for (std::uint32_t bad : {(2u << 28) | 41u, (2u << 28) | (40u + 2 * 1006u), (7u << 28) | 40u}) {
        CFile f;
        ASSERT_TRUE(f.Open(Path("TmpBrakkTagIndex.idx").c_str(), CFile::modeReadWrite));
        ASSERT_TRUE(f.WriteAt(40 + 36, &bad, 4));
        f.Close();
        const auto idx = Bytes("TmpBrakkTagIndex.idx");
        const auto rec = Bytes("TmpBrakkIntTagInfo.tag");
        EXPECT_EQ(engine->DeleteTag("D"), -1);
        AnyTag n = MakeTag(2, "D2");
        EXPECT_EQ(Modify(2, 2, &n, "D"), -1);
        EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx"), idx);
        EXPECT_EQ(Bytes("TmpBrakkIntTagInfo.tag"), rec);
        EXPECT_EQ(engine->JustTagFromBRK("D"), 0);  // its record cannot be D's
    }
}

TEST_F(TagStore, RewriteOutsideTheSlotAreaIsRefused) {
    ASSERT_EQ(Add(4, 1, "S"), 40);
    AnyTag n = MakeTag(4, "S");
    engine->SetDataType(4);
    engine->SetDataSource(1);
    const auto before = Bytes("TmpZuZirStringTagInfo.tag");
    for (int bad : {0, 39, 41, 40 + 310, 1 << 20})
        EXPECT_EQ(engine->RewriteTagRecord(bad, &n), -1) << bad;
    EXPECT_EQ(Bytes("TmpZuZirStringTagInfo.tag"), before);
    EXPECT_EQ(engine->RewriteTagRecord(40, &n), 1);
}

TEST_F(TagStore, DamagedFreeCountFailsDeleteWithNeitherFileWritten) {
    ASSERT_EQ(Add(1, 2, "V1"), 40);
    {
        CFile f;
        ASSERT_TRUE(f.Open(Path("TmpBrakkBoolTagInfo.tag").c_str(), CFile::modeReadWrite));
        const std::uint16_t count = 900;  // far more released slots than the file holds
        ASSERT_TRUE(f.WriteAt(40 + 538, &count, 2));
    }
    const auto idx = Bytes("TmpBrakkTagIndex.idx");
    const auto rec = Bytes("TmpBrakkBoolTagInfo.tag");
    EXPECT_EQ(engine->DeleteTag("V1"), -1);
    EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx"), idx);
    EXPECT_EQ(Bytes("TmpBrakkBoolTagInfo.tag"), rec);
    EXPECT_EQ(engine->JustTagFromBRK("V1"), 40);
}

// 65,535 released slots are all the 16-bit count holds: a delete still succeeds, its slot left
// off the list, and the check names it reclaimable, not damage.
TEST_F(TagStore, DeleteOntoAFullFreeListSucceedsAndLeavesItsSlotReclaimable) {
    ASSERT_EQ(Add(1, 2, "LAST"), 40);
    engine.reset();
    {
        // 65,535 deleted records after LAST's, every one on the list.
        constexpr std::uint32_t kFree = 0xFFFF, kSize = 538;
        AnyTag gone = MakeTag(1, "GONE");
        gone.b.wDeleted = 1;
        std::string bytes;
        for (std::uint32_t i = 0; i < kFree; ++i)
            bytes.append(reinterpret_cast<const char*>(&gone), kSize);
        const std::uint32_t dwEnd = 40 + kSize * (kFree + 1);
        const std::uint16_t wCount = kFree;
        bytes.append(reinterpret_cast<const char*>(&wCount), 2);
        for (std::uint32_t i = 0; i < kFree; ++i) {
            const std::uint32_t dwSlot = 40 + kSize * (i + 1);
            bytes.append(reinterpret_cast<const char*>(&dwSlot), 4);
        }
        CFile f;
        ASSERT_TRUE(f.Open(Path("TmpBrakkBoolTagInfo.tag").c_str(), CFile::modeReadWrite));
        ASSERT_TRUE(f.WriteAt(40 + kSize, bytes.data(), bytes.size()));
        ASSERT_TRUE(f.WriteAt(36, &dwEnd, 4));
    }
    ASSERT_TRUE(CStoreCheck::CheckDirectory(dir.path().c_str()).empty());
    Reopen();
    ASSERT_EQ(engine->DeleteTag("LAST"), 1);
    EXPECT_EQ(engine->JustTagFromBRK("LAST"), 0);
    EXPECT_EQ(U16(Bytes("TmpBrakkBoolTagInfo.tag"), 40 + 148), 1);  // flagged deleted
    engine.reset();
    const auto findings = CStoreCheck::CheckDirectory(dir.path().c_str());
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].nOffset, 40u);
    EXPECT_TRUE(findings[0].bReclaimable) << findings[0].strText.str();
    // The next add takes the slot released last, as always.
    Reopen();
    EXPECT_EQ(Add(1, 2, "NEXT"), 40 + 538 * 0xFFFF);
}

// An add the name tree cannot take (at its 50,000,000-byte image limit) fails before anything
// is written, instead of storing a tag no name finds.
TEST_F(TagStore, AnAddTheNameTreeCannotTakeFailsWithNothingWritten) {
    engine.reset();
    {
        // Keys leading nowhere fill the tree in ascending order until it takes no more.
        FileBPlusTree full;
        ASSERT_EQ(full.CreateInMemory(Path("TmpBRKTagIndex.bpt").c_str(), 10, 0), 1);
        char key[16];
        for (int i = 0;; ++i) {
            std::snprintf(key, sizeof key, "K%07d", i);
            if (!full.Insert(CMyKey(key), 0))
                break;
        }
        ASSERT_EQ(full.SaveToFile(), 1);
    }
    Reopen();
    const auto idx = Bytes("TmpBrakkTagIndex.idx");
    const auto rec = Bytes("TmpBrakkIntTagInfo.tag");
    // Past every key: the last leaf is full, and no node can be added.
    EXPECT_EQ(Add(2, 2, "ZLAST"), -1);
    EXPECT_EQ(Bytes("TmpBrakkTagIndex.idx"), idx);
    EXPECT_EQ(Bytes("TmpBrakkIntTagInfo.tag"), rec);
    // A name the tree can still take is added and found.
    ASSERT_GE(Add(2, 2, "K0000001A"), 40);
    EXPECT_NE(engine->JustTagFromBRK("K0000001A"), 0);
    AnyTag renamed = MakeTag(2, "ZLAST");
    EXPECT_EQ(Modify(2, 2, &renamed, "K0000001A"), -1);
    EXPECT_NE(engine->JustTagFromBRK("K0000001A"), 0);
}
