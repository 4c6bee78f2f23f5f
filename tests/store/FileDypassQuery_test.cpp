// Tag queries, and the files read back by a reader written from the format alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <map>

#include "EngineFixture.h"
#include "FileSystem.h"

using enginetest::AnyTag;
using enginetest::MakeTag;
using enginetest::U16;
using enginetest::U32;
using mltest::Gb;

namespace {

class TagQuery : public enginetest::EngineTest {};

}  // namespace

TEST_F(TagQuery, BooleanByNameLeavesUnitAndRangesByEntryClearsThem) {
    AnyTag b = MakeTag(1, "VALVE", 300, 4);
    b.b.nTailWord = 99;
    std::strcpy(b.s.szDesc, "valve open");
    ASSERT_EQ(Add(1, 2, b), 40);
    CMemTag tag;
    tag.strUnit = "bar";
    tag.dRangeHigh = 5;
    ASSERT_EQ(engine->GetTagByName("VALVE", tag), 1);
    EXPECT_EQ(tag.strName, "VALVE");
    EXPECT_EQ(tag.strDesc, "valve open");
    EXPECT_EQ(tag.nArea, 300);  // from the record, not the index byte
    EXPECT_EQ(tag.nRegion, 4);
    EXPECT_EQ(tag.nDataType, 1);
    EXPECT_EQ(tag.nDataSource, 2);
    EXPECT_EQ(tag.nTrend, 1);
    EXPECT_EQ(tag.nUserWord, 77);
    EXPECT_EQ(tag.nTailWord, 99);
    EXPECT_EQ(tag.strUnit, "bar");
    EXPECT_EQ(tag.dRangeHigh, 5.0);

    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    ASSERT_EQ(engine->GetTagArray(arr, 2), 1);
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_EQ(arr[0].nArea, 44);  // 300 modulo 256
    EXPECT_EQ(arr[0].nOffset, 40);
    CMemTag byIdx;
    byIdx.strUnit = "bar";
    byIdx.dRangeHigh = 5;
    ASSERT_EQ(engine->GetTagInfoWithIdx(arr[0], byIdx), 1);
    EXPECT_TRUE(byIdx.strUnit.IsEmpty());
    EXPECT_EQ(byIdx.dRangeHigh, 0.0);
    EXPECT_EQ(byIdx.nTailWord, 99);
    EXPECT_EQ(byIdx.nArea, 300);
}

TEST_F(TagQuery, IntegerAndRealTagsBringRangesAndUnit) {
    AnyTag i = MakeTag(2, "I1");
    i.i.nRangeHigh = 400;
    i.i.nRangeLow = -20;
    std::strcpy(i.i.szUnit, "kPa");
    i.i.nTailWord = 3;
    AnyTag f = MakeTag(3, "F1");
    f.f.dRangeHigh = 1.25;
    f.f.dRangeLow = -0.5;
    std::memset(f.f.szUnit, 'u', sizeof f.f.szUnit);  // a unit filling its whole field
    AnyTag s = MakeTag(4, "S1");
    ASSERT_GT(Add(2, 1, i), 0);
    ASSERT_GT(Add(3, 1, f), 0);
    ASSERT_GT(Add(4, 1, s), 0);
    CMemTag t;
    ASSERT_EQ(engine->GetTagByName("I1", t), 1);
    EXPECT_EQ(t.dRangeHigh, 400.0);
    EXPECT_EQ(t.dRangeLow, -20.0);
    EXPECT_EQ(t.strUnit, "kPa");
    EXPECT_EQ(t.nTailWord, 3);
    ASSERT_EQ(engine->GetTagByName("F1", t), 1);
    EXPECT_EQ(t.dRangeHigh, 1.25);
    EXPECT_EQ(t.strUnit.str(), std::string(16, 'u'));
    ASSERT_EQ(engine->GetTagByName("S1", t), 1);
    EXPECT_EQ(t.nTailWord, 0);
    EXPECT_EQ(t.nDataSource, 1);
}

TEST_F(TagQuery, ByNameReportsOffsetBeyondFileOtherNameAndDeletedRecord) {
    ASSERT_EQ(Add(2, 2, "T1"), 40);
    ASSERT_EQ(Add(2, 2, "T2"), 40 + 1006);
    CMemTag tag;
    tag.strName = "untouched";
    // Another tag's name written over T1's record (a name no tag holds would be taken back by
    // the entry, as a rename cut by a kill leaves it).
    {
        CFile f;
        ASSERT_TRUE(f.Open(Path("TmpBrakkIntTagInfo.tag").c_str(), CFile::modeReadWrite));
        ASSERT_TRUE(f.WriteAt(40 + 4, "T2", 3));
        std::uint16_t del = 1;
        ASSERT_TRUE(f.WriteAt(40 + 1006 + 148, &del, 2));  // T2 flagged deleted by hand
    }
    EXPECT_EQ(engine->GetTagByName("T1", tag), 0);
    EXPECT_EQ(Messages().back(),
              Gb("返回位号信息错误：从文件读出的位号名称与指定的位号名称T1不同！"));
    EXPECT_EQ(engine->GetTagByName("T2", tag), 0);
    EXPECT_EQ(Messages().back(), Gb("返回位号信息错误：指定的位号T2已被删除！"));
    // The free-list offset moved below the record: the index is out of range.
    {
        CFile f;
        ASSERT_TRUE(f.Open(Path("TmpBrakkIntTagInfo.tag").c_str(), CFile::modeReadWrite));
        std::uint32_t end = 40 + 1006;
        ASSERT_TRUE(f.WriteAt(36, &end, 4));
    }
    EXPECT_EQ(engine->GetTagByName("T2", tag), 0);
    EXPECT_EQ(Messages().back(), Gb("返回位号信息错误：位号T2索引值超限！"));
    EXPECT_EQ(tag.strName, "untouched");
}

TEST_F(TagQuery, JustTagReturnsTheEntryOffsetUntilDeleted) {
    ASSERT_EQ(Add(1, 2, "J"), 40);
    EXPECT_EQ(engine->JustTagFromBRK("J"), 40);
    EXPECT_EQ(engine->JustTagFromRMP("J"), 0);
    ASSERT_EQ(engine->DeleteTag("J"), 1);
    EXPECT_EQ(engine->JustTagFromBRK("J"), 0);
    EXPECT_EQ(engine->JustTagFromRMP("J"), 0);
}

TEST_F(TagQuery, TagArrayWithABadSourceReportsBothMessagesAndListsNothing) {
    ASSERT_EQ(Add(1, 2, "A"), 40);
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    ASSERT_EQ(engine->GetTagArray(arr, 2), 1);
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_EQ(engine->GetTagArray(arr, 3), 0);
    EXPECT_EQ(arr.GetSize(), 0);
    auto msgs = Messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], Gb("在数据来源类型转换时，数据来源类型指定错误！"));
    EXPECT_EQ(msgs[1], Gb("指定数据来源错误！"));
}

TEST_F(TagQuery, TagArrayOfAnEmptyStoreIsEmptyAndSucceeds) {
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    EXPECT_EQ(engine->GetTagArray(arr, 0), 1);
    EXPECT_EQ(arr.GetSize(), 0);
}

TEST_F(TagQuery, RecordByEntryIntoABuffer) {
    AnyTag f = MakeTag(3, "FB");
    f.f.dRangeHigh = 7.5;
    ASSERT_EQ(Add(3, 1, f), 40);
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
    engine->GetTagArray(arr, 1);
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_EQ(engine->GetTagInfoWithIdx(arr[0], static_cast<void*>(nullptr)), 1);
    FloatTagInfo out;
    ASSERT_EQ(engine->GetTagInfoWithIdx(arr[0], &out), 1);
    EXPECT_EQ(0, std::memcmp(&out, &f, sizeof out));

    // Entries kept from before a delete no longer read.
    ASSERT_EQ(engine->DeleteTag("FB"), 1);
    EXPECT_EQ(engine->GetTagInfoWithIdx(arr[0], &out), 0);
    CMemTag tag;
    EXPECT_EQ(engine->GetTagInfoWithIdx(arr[0], tag), 0);
}

TEST_F(TagQuery, BadEntriesReadNothing) {
    ASSERT_EQ(Add(4, 2, "S"), 40);
    _INDEX_STRUCT e{4, 2, 40, 0, 0};
    StringTagInfo out;
    // Type 0 passes the check but has no file; an offset off the slots or past them reads
    // nothing.
    for (_INDEX_STRUCT bad : {_INDEX_STRUCT{0, 2, 40, 0, 0}, _INDEX_STRUCT{4, 2, 41, 0, 0},
                              _INDEX_STRUCT{4, 2, 40 + 310, 0, 0}, _INDEX_STRUCT{4, 2, -40, 0, 0},
                              _INDEX_STRUCT{4, 2, 0x7FFFFFF0, 0, 0}}) {
        std::memset(&out, 0x11, sizeof out);
        EXPECT_EQ(engine->GetTagInfoWithIdx(bad, &out), 0) << bad.nOffset;
        CMemTag tag;
        EXPECT_EQ(engine->GetTagInfoWithIdx(bad, tag), 0) << bad.nOffset;
    }
    EXPECT_TRUE(Messages().empty());
    // A wrong type reports the codes' messages and its own.
    _INDEX_STRUCT badType{6, 2, 40, 0, 0};
    EXPECT_EQ(engine->GetTagInfoWithIdx(badType, &out), 0);
    auto msgs = Messages();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[2], Gb("数据类型错误！无法返回位号信息！"));
    _INDEX_STRUCT badSource{4, 3, 40, 0, 0};
    CMemTag tag;
    EXPECT_EQ(engine->GetTagInfoWithIdx(badSource, tag), 0);
    EXPECT_EQ(Messages().back(), Gb("数据来源类型错误！无法返回位号信息！"));
    EXPECT_EQ(engine->GetTagInfoWithIdx(e, &out), 1);
}

TEST_F(TagQuery, AllTagsListsBrakkFirstWhateverTheSource) {
    Add(1, 1, "Z1");
    Add(2, 2, "B1");
    Add(3, 1, "Z2");
    Add(4, 2, "B2");
    Add(2, 1, "Z3");
    Add(1, 2, "GONE");
    ASSERT_EQ(engine->DeleteTag("GONE"), 1);
    for (int src : {0, 1, 2, 9}) {
        CArray<CMemTag, CMemTag&> all;
        ASSERT_EQ(engine->GetAllTags(all, src), 1);
        ASSERT_EQ(all.GetSize(), 5);
        std::vector<std::string> names;
        for (int i = 0; i < all.GetSize(); ++i)
            names.push_back(all[i].strName.str());
        EXPECT_EQ(names, (std::vector<std::string>{"B1", "B2", "Z1", "Z2", "Z3"}));
        EXPECT_EQ(all[0].nDataSource, 2);
        EXPECT_EQ(all[2].nDataSource, 1);
    }
}

TEST_F(TagQuery, AllTagsMatchesTheLookUpByEntryOneByOne) {
    for (int i = 0; i < 60; ++i)
        Add(i % 4 + 1, i % 2 + 1, "M" + std::to_string(i));
    for (int i = 0; i < 60; i += 7)
        engine->DeleteTag(("M" + std::to_string(i)).c_str());
    // A file cut inside its last record: what is there reads, the rest as reset.
    ASSERT_EQ(0, truncate(Path("TmpBrakkIntTagInfo.tag").c_str(),
                          mltest::FileSize(Path("TmpBrakkIntTagInfo.tag")) - 600));
    CArray<CMemTag, CMemTag&> all;
    engine->GetAllTags(all, 0);
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> idx;
    engine->GetTagArray(idx, 0);
    std::vector<std::string> one;
    for (int i = 0; i < idx.GetSize(); ++i) {
        CMemTag t;
        if (engine->GetTagInfoWithIdx(idx[i], t))
            one.push_back(t.strName.str() + "/" + std::to_string(t.nDataType) + "/" +
                          t.strUnit.str());
    }
    std::vector<std::string> bulk;
    for (int i = 0; i < all.GetSize(); ++i)
        bulk.push_back(all[i].strName.str() + "/" + std::to_string(all[i].nDataType) + "/" +
                       all[i].strUnit.str());
    EXPECT_EQ(bulk, one);
    EXPECT_EQ(bulk.size(), 60u - 9u);
    EXPECT_NE(std::find(bulk.begin(), bulk.end(), "M57/2/"), bulk.end());  // the cut record
    // By name, the cut record reads the same way.
    CMemTag byName, byEntry;
    ASSERT_EQ(engine->GetTagByName("M57", byName), 1);
    for (int i = 0; i < idx.GetSize(); ++i)
        if (engine->GetTagInfoWithIdx(idx[i], byEntry) && byEntry.strName.str() == "M57")
            break;
    EXPECT_EQ(byName.strUnit.str(), byEntry.strUnit.str());
    EXPECT_EQ(byName.dRangeHigh, byEntry.dRangeHigh);
    EXPECT_EQ(byName.nTailWord, byEntry.nTailWord);
}

// A reader written from the file format alone: the index entries and the records they point
// at, decoded byte by byte.
TEST_F(TagQuery, IndependentReaderDecodesTheStoredFiles) {
    AnyTag a = MakeTag(2, "FT-101", 513, 7);
    a.i.nRangeHigh = 60;
    AnyTag b = MakeTag(4, "MSG", 1, 1);
    AnyTag c = MakeTag(3, "TT-9", 2, 3);
    ASSERT_GT(Add(2, 2, a), 0);
    ASSERT_GT(Add(4, 2, b), 0);
    ASSERT_GT(Add(3, 2, c), 0);
    ASSERT_EQ(engine->DeleteTag("MSG"), 1);
    engine.reset();  // everything on disk

    const char* typed[] = {"", "TmpBrakkBoolTagInfo.tag", "TmpBrakkIntTagInfo.tag",
                           "TmpBrakkFloatTagInfo.tag", "TmpBrakkStringTagInfo.tag"};
    auto idx = Bytes("TmpBrakkTagIndex.idx");
    ASSERT_GE(idx.size(), 42u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(idx.data()), 16),
              std::string("ZORVEN_TEMPFILE\0", 16));
    EXPECT_EQ(U32(idx, 24), 0x00010000u);
    const std::uint32_t end = U32(idx, 36);
    std::map<std::string, std::string> live;  // name -> "type area region | desc"
    for (std::uint32_t at = 40; at < end; at += 40) {
        if (idx[at + 34] >> 4)
            continue;
        std::string name(reinterpret_cast<const char*>(idx.data() + at));
        const std::uint32_t word = U32(idx, at + 36);
        const unsigned type = word >> 28, off = word & 0x0FFFFFFF;
        EXPECT_EQ(idx[at + 34] & 0x0F, 2);
        auto rec = Bytes(typed[type]);
        ASSERT_LT(off + 148u, rec.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec.data() + off + 4)), name);
        EXPECT_EQ(U32(rec, off + 104), type);
        EXPECT_EQ(U16(rec, off + 148), 0);
        live[name] = std::to_string(type) + " " + std::to_string(idx[at + 32]) + " " +
                     std::to_string(idx[at + 33]) + " | " +
                     std::string(reinterpret_cast<const char*>(rec.data() + off + 36));
    }
    EXPECT_EQ(live, (std::map<std::string, std::string>{{"FT-101", "2 1 7 | desc of FT-101"},
                                                        {"TT-9", "3 2 3 | desc of TT-9"}}));
    // The deleted string tag: entry flagged, slot on the list, record flagged.
    EXPECT_EQ(idx[80 + 34], 0x12);
    EXPECT_EQ(U16(idx, end), 1);
    EXPECT_EQ(U32(idx, end + 2), 80u);
    auto str = Bytes(typed[4]);
    EXPECT_EQ(U16(str, 40 + 148), 1);
}

TEST_F(TagQuery, TagWhoseTypedFileIsNotOpenIsNotFound) {
    ASSERT_EQ(Add(2, 2, "LOST"), 40);
    engine.reset();
    // The typed file cannot be opened at the next start: a directory stands in its place.
    ASSERT_EQ(0, std::remove(Path("TmpBrakkIntTagInfo.tag").c_str()));
    ASSERT_TRUE(mlplat::CreateDir(Path("TmpBrakkIntTagInfo.tag").c_str()));
    engine = std::make_unique<CFileDypass>();
    EXPECT_EQ(engine->GetFileSlot(2).nOpen, 0);
    // A name whose record cannot be read back is no tag.
    EXPECT_EQ(engine->JustTagFromBRK("LOST"), 0);
    CMemTag tag;
    tag.strName = "untouched";
    EXPECT_EQ(engine->GetTagByName("LOST", tag), 0);
    EXPECT_EQ(tag.strName, "untouched");
    _INDEX_STRUCT idx{2, 2, 40, 1, 2};
    EXPECT_EQ(engine->GetTagInfoWithIdx(idx, tag), 0);
    IntTagInfo rec;
    EXPECT_EQ(engine->GetTagInfoWithIdx(idx, &rec), 0);
    EXPECT_EQ(engine->DeleteTag("LOST"), -1);
}
