// The facade: the fixed order of set and check steps, what a failure appends to the error file,
// that a failed check touches no file, and how GetSelute resolves a user's name.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "FileFace.h"
#include "TestSupport.h"

using mltest::Gb;
using mltest::GbS;
using mltest::ScopedEnv;
using mltest::TempDir;

namespace {

struct FacadeTest : ::testing::Test {
    TempDir dir;
    ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
    ScopedEnv area{"QLX_PATH_D_AREAINFO", nullptr};
    CFileFace face;

    // The messages appended since the last call.
    std::vector<std::string> Messages() {
        std::vector<std::string> out = mltest::Messages(face);
        face.RemoveErrorFile();
        return out;
    }

    // Every data and index file's bytes: what a failed check must leave alone.
    std::map<std::string, std::string> Snapshot() {
        return mltest::SnapshotDir(dir.path(), "TempErrFile.txt");
    }
};

template <class T>
T Tag(const char* name, int area = 1, int region = 2) {
    T r;
    r.Reset();
    std::strncpy(r.szName, name, sizeof r.szName - 1);
    r.nArea = area;
    r.nRegion = region;
    return r;
}

Thing_Info Event(int no, int group = 0) {
    Thing_Info e{};
    e.nNo = no;
    e.Reset();
    e.wGroup = static_cast<std::uint16_t>(group);
    std::strcpy(e.szDesc, "event");
    return e;
}

Task_Info Task(int no) {
    Task_Info t{};
    t.nNo = no;
    t.Reset();
    return t;
}

StructObject_Info Struct(const char* name, const char* type) {
    StructObject_Info s;
    s.Reset();
    std::strncpy(s.szObjName, name, sizeof s.szObjName - 1);
    std::strncpy(s.szStructType, type, sizeof s.szStructType - 1);
    return s;
}

}  // namespace

TEST_F(FacadeTest, AddDataWithAStructObjectTypeFailsBothChecksAndWritesNothing) {
    IntTagInfo ok = Tag<IntTagInfo>("FIRST");
    ASSERT_EQ(face.AddData(2, 2, &ok, ""), 1);  // a valid type was current before
    Messages();
    auto before = Snapshot();
    IntTagInfo r = Tag<IntTagInfo>("T1");
    EXPECT_EQ(face.AddData(7, 2, &r, ""), -1);
    EXPECT_EQ(Messages(), (std::vector<std::string>{Gb("在数据类型转换时，数据类型指定错误！"),
                                                    Gb("指定数据类型错误！")}));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(FacadeTest, AddDataChecksTheStructTypeOnlyWhenOneIsGiven) {
    FloatTagInfo a = Tag<FloatTagInfo>("LIC1.PV");
    EXPECT_EQ(face.AddData(3, 1, &a, ""), 1);
    FloatTagInfo b = Tag<FloatTagInfo>("LIC2.PV");
    EXPECT_EQ(face.AddData(3, 1, &b, "#LOOP"), 1);
    EXPECT_TRUE(Messages().empty());
    auto before = Snapshot();
    FloatTagInfo c = Tag<FloatTagInfo>("LIC3.PV");
    EXPECT_EQ(face.AddData(3, 1, &c, "LOOP"), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("指定结构类型错误！")});
    EXPECT_EQ(Snapshot(), before);
    EXPECT_NE(face.JustTagFromRMP("LIC2.PV"), 0);
    EXPECT_EQ(face.JustTagFromRMP("LIC3.PV"), 0);
}

TEST_F(FacadeTest, AddDataWithABadSourceReportsTheConversionAndTheCheck) {
    BoolTagInfo r = Tag<BoolTagInfo>("XV1");
    auto before = Snapshot();
    EXPECT_EQ(face.AddData(1, 3, &r, ""), -1);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{Gb("在数据来源类型转换时，数据来源类型指定错误！"),
                                        Gb("指定数据来源错误！")}));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(face.AddData(1, 0, &r, ""), -1);  // source 0 passes the check, adds nowhere
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("添加数据到Temp文件失败！")});
}

TEST_F(FacadeTest, EventDeletesByNumberCheckTheSignButTheRecordFormDoesNot) {
    EXPECT_EQ(face.DelEvent(1, -3), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("所要删除事件的名称:事件-3 错误！")});
    Thing_Info e = Event(-3);
    EXPECT_EQ(face.DelEvent(1, &e), -1);
    auto m = Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back(), Gb("删除事件-3失败！"));
    for (const auto& s : m)
        EXPECT_EQ(s.find(Gb("所要删除事件的名称")), std::string::npos);
}

TEST_F(FacadeTest, EventsAndTasksAddChangeAndDeleteWithTheirMessages) {
    Thing_Info e = Event(12, 3);
    EXPECT_EQ(face.AddEvent(2, &e), 1);
    Task_Info t = Task(7);
    EXPECT_EQ(face.AddTask(1, &t), 1);
    EXPECT_TRUE(Messages().empty());

    Thing_Info renumbered = Event(13);
    EXPECT_EQ(face.ModifyEvent(2, &renumbered, -1), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("所要修改事件的名称:事件13 错误！")});
    EXPECT_EQ(face.ModifyEvent(2, &renumbered, 12), 1);
    EXPECT_EQ(face.ModifyEvent(2, &renumbered, 12), -1);  // now numbered 13
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("修改事件13失败！")});

    EXPECT_EQ(face.DelTask(1, 7), 1);
    EXPECT_EQ(face.DelTask(1, 7), -1);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{Gb("未找到所要删除的任务:任务7;"), Gb("删除任务7失败！")}));
    EXPECT_EQ(face.DelTask(0, 7), -1);  // source 0 passes the check, deletes nowhere
    EXPECT_EQ(face.AddTask(0, &t), -1);
    auto m = Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back(), Gb("添加任务7失败！"));
}

TEST_F(FacadeTest, ModifyDataWithAnEmptyOldNameAppendsNothing) {
    IntTagInfo r = Tag<IntTagInfo>("T1");
    auto before = Snapshot();
    EXPECT_EQ(face.ModifyData(2, 2, &r, "", ""), -1);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(FacadeTest, ModifyDataRenamesAndReportsAnUnknownOldName) {
    IntTagInfo r = Tag<IntTagInfo>("OLD");
    r.nRangeHigh = 10;
    ASSERT_EQ(face.AddData(2, 2, &r, ""), 1);
    IntTagInfo n = Tag<IntTagInfo>("NEW");
    n.nRangeHigh = 20;
    EXPECT_EQ(face.ModifyData(2, 2, &n, "OLD", ""), 1);
    EXPECT_EQ(face.JustTagFromBRK("OLD"), 0);
    CMemTag tag;
    ASSERT_EQ(face.GetSelute("NEW", tag), 1);
    EXPECT_EQ(tag.dRangeHigh, 20.0);
    EXPECT_EQ(face.ModifyData(2, 2, &n, "OLD", ""), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("未找到旧位号名称OLD;")});
}

// Records are stored as the host gives them, whatever their own type field says, and no more
// than the declared type's record is read: each buffer below ends where that record ends.
TEST_F(FacadeTest, TagRecordsAreStoredAsGivenAndReadToTheDeclaredSizeOnly) {
    const auto rec = [&](std::size_t at) {
        const auto bytes = mltest::ReadFileBytes(dir / "TmpBrakkIntTagInfo.tag");
        return bytes.size() < at + 1006
                   ? std::string()
                   : std::string(bytes.begin() + at, bytes.begin() + at + 1006);
    };
    IntTagInfo zero;
    std::memset(&zero, 0, sizeof zero);  // no reset: type field 0
    std::strcpy(zero.szName, "ZERO");
    ASSERT_EQ(face.AddData(2, 2, &zero, ""), 1);
    CMemTag tag;
    ASSERT_EQ(face.GetSelute("ZERO", tag), 1);
    EXPECT_EQ(rec(40), std::string(reinterpret_cast<const char*>(&zero), sizeof zero));

    const FloatTagInfo real = Tag<FloatTagInfo>("FT", 3, 4);
    auto asInt = std::make_unique<unsigned char[]>(1006);
    std::memcpy(asInt.get(), &real, 1006);
    ASSERT_EQ(face.AddData(2, 2, asInt.get(), ""), 1);
    EXPECT_EQ(rec(40 + 1006), std::string(reinterpret_cast<const char*>(asInt.get()), 1006));

    // Code 0 and another type field: the stored entry gives type and source, the stored
    // type's size is read.
    IntTagInfo changed = Tag<IntTagInfo>("FT", 5, 6);
    changed.nDataType = 3;
    changed.nRangeHigh = 99;
    auto exact = std::make_unique<unsigned char[]>(sizeof changed);
    std::memcpy(exact.get(), &changed, sizeof changed);
    ASSERT_EQ(face.ModifyData(0, 0, exact.get(), "FT", ""), 1);
    EXPECT_EQ(rec(40 + 1006), std::string(reinterpret_cast<const char*>(&changed), 1006));
    changed.nRangeHigh = 7;
    std::memcpy(exact.get(), &changed, sizeof changed);
    ASSERT_EQ(face.ModifyData(2, 1, exact.get(), "FT", ""), 1);
    ASSERT_EQ(face.GetSelute("FT", tag), 1);
    EXPECT_EQ(tag.dRangeHigh, 7.0);
    EXPECT_EQ(tag.nDataSource, 2);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(FacadeTest, DeletingAnUnknownTagAppendsTheEngineAndFacadeMessages) {
    EXPECT_EQ(face.DelData("NOPE"), -1);
    EXPECT_EQ(Messages(), (std::vector<std::string>{Gb("未找到指定要删除的位号:NOPE！"),
                                                    Gb("删除位号或结构对象成员NOPE失败！")}));
    StringTagInfo s = Tag<StringTagInfo>("MSG1");
    ASSERT_EQ(face.AddData(4, 1, &s, ""), 1);
    EXPECT_EQ(face.DelData(4, 1, &s), 1);
    EXPECT_EQ(face.JustTagFromRMP("MSG1"), 0);
    EXPECT_EQ(face.DelData(9, 1, &s), -1);  // the type check stops it first
    EXPECT_EQ(Messages(), (std::vector<std::string>{Gb("在数据类型转换时，数据类型指定错误！"),
                                                    Gb("指定数据类型错误！")}));
}

TEST_F(FacadeTest, StructObjectsCheckTheirTypeAndReportByName) {
    StructObject_Info bad = Struct("LOOP1", "LOOP");
    EXPECT_EQ(face.AddStruct(2, &bad), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("指定结构类型错误！")});
    StructObject_Info s = Struct("LOOP1", "#LOOP");
    EXPECT_EQ(face.AddStruct(2, &s), 1);
    EXPECT_EQ(face.ModifyStruct(2, &s, ""), -1);
    EXPECT_EQ(Messages(),
              std::vector<std::string>{Gb("修改结构对象错误：没有指定要修改的结构对象名称！")});
    StructObject_Info renamed = Struct("LOOP2", "#LOOP");
    EXPECT_EQ(face.ModifyStruct(2, &renamed, "NOSUCH"), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("修改结构LOOP2失败！")});
    EXPECT_EQ(face.ModifyStruct(2, &renamed, "LOOP1"), 1);
    EXPECT_EQ(face.DelStruct(2, "NOSUCH"), 1);  // found or not
    CArray<StructObject_Info, StructObject_Info> arr;
    EXPECT_EQ(face.GetSpecyStructObj("#LOOP", arr, 2), 1);
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_STREQ(arr[0].szObjName, "LOOP2");
    EXPECT_EQ(face.DelStruct(2, &renamed), 1);
    EXPECT_EQ(face.GetSpecyStructObj("#LOOP", arr, 2), 1);
    EXPECT_EQ(arr.GetSize(), 0);
}

TEST_F(FacadeTest, RemovalScopeOutsideTheThreeCodesIsRefused) {
    EXPECT_EQ(face.RemoveAllBRKFile(5), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("指定的数据来源未定义！")});
    EXPECT_EQ(face.RemoveAllRMPFile(-1), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("指定的数据来源未定义！")});
    BoolTagInfo r = Tag<BoolTagInfo>("XV1");
    ASSERT_EQ(face.AddData(1, 2, &r, ""), 1);
    EXPECT_EQ(face.RemoveAllBRKFile(1), 1);
    EXPECT_EQ(face.JustTagFromBRK("XV1"), 0);
}

TEST_F(FacadeTest, GetSeluteResolvesEventsTasksStructMembersAndPlainNames) {
    Thing_Info e = Event(12, 4);
    ASSERT_EQ(face.AddEvent(1, &e), 1);
    Task_Info t = Task(3);
    ASSERT_EQ(face.AddTask(2, &t), 1);
    for (auto [obj, type, member] :
         {std::tuple{"AI1", "#AISM", "AI1.VAL"}, std::tuple{"LOOP1", "#LOOP", "LOOP1.PV"},
          std::tuple{"ULOOP1", "#USERLOOP", "ULOOP1.PV"}, std::tuple{"PAT1", "#PAT", "PAT1.MV"}}) {
        StructObject_Info s = Struct(obj, type);
        ASSERT_EQ(face.AddStruct(2, &s), 1);
        FloatTagInfo m = Tag<FloatTagInfo>(member);
        ASSERT_EQ(face.AddData(3, 2, &m, type), 1);
    }
    FloatTagInfo plain = Tag<FloatTagInfo>("LOOP1");  // a tag of the object's own name
    ASSERT_EQ(face.AddData(3, 1, &plain, ""), 1);

    CMemTag tag;
    ASSERT_EQ(face.GetSelute(GbS("事件12"), tag), 1);
    EXPECT_EQ(tag.strName, GbS("事件12"));
    EXPECT_EQ(tag.nDataType, 5);
    EXPECT_EQ(tag.nArea, 4);
    ASSERT_EQ(face.GetSelute(GbS("任务3"), tag), 1);
    EXPECT_EQ(tag.nDataType, 6);
    EXPECT_EQ(face.GetSelute(GbS("任务4"), tag), 0);

    ASSERT_EQ(face.GetSelute("AI1", tag), 1);
    EXPECT_EQ(tag.strName, "AI1.VAL");
    ASSERT_EQ(face.GetSelute("LOOP1", tag), 1);
    EXPECT_EQ(tag.strName, "LOOP1.PV");
    ASSERT_EQ(face.GetSelute("ULOOP1", tag), 1);
    EXPECT_EQ(tag.strName, "ULOOP1.PV");
    ASSERT_EQ(face.GetSelute("PAT1", tag), 1);
    EXPECT_EQ(tag.strName, "PAT1.MV");
    ASSERT_EQ(face.GetSelute("LOOP1.PV", tag), 1);  // a point: looked up as it stands
    EXPECT_EQ(tag.strName, "LOOP1.PV");
    EXPECT_EQ(face.GetSelute("LOOP1.SV", tag), 0);

    CMemTag untouched;
    untouched.strName = "keep";
    EXPECT_EQ(face.GetSelute("", untouched), 0);
    EXPECT_EQ(untouched.strName, "keep");
    // A name with an embedded zero is taken up to it.
    EXPECT_EQ(face.GetSelute(CString(std::string("AI1\0junk", 8)), tag), 1);
    EXPECT_EQ(tag.strName, "AI1.VAL");
}

TEST_F(FacadeTest, AreasAndRegionsComeFromTheBuiltInListWithoutAFile) {
    CDWordArray no;
    CStringArray name, desc;
    no.Add(99);
    EXPECT_EQ(face.GetAllAreaInfo(no, name, desc), 1);
    ASSERT_EQ(no.GetSize(), 1);
    EXPECT_EQ(no[0], 0u);
    EXPECT_EQ(name[0], GbS("数据组0"));
    CDWordArray an, rn;
    EXPECT_EQ(face.GetAllRegionInfo(an, rn, name, desc), 1);
    ASSERT_EQ(rn.GetSize(), 1);
    EXPECT_EQ(name[0], GbS("0号公共区"));
}
