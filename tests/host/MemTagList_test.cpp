// The exported class as a host sees it, through libmemlist.so: the chain built and torn down,
// copies sharing one store, and nothing else exported.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "MemTagList.h"
#include "TagAreaRegion.h"
#include "TestSupport.h"

using mltest::ScopedEnv;
using mltest::TempDir;

namespace {

struct HostTest : ::testing::Test {
    TempDir dir;
    ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
};

int MessageCount(CMemTagList& list) {
    CStringArray arr;
    return list.GetErrStringArray(arr) ? arr.GetSize() : -1;
}

}  // namespace

TEST_F(HostTest, ConstructionBuildsTheStoreAndErrorFileTravelsTheChain) {
    CMemTagList list;
    CString m("hello");
    EXPECT_NE(list.AddError(m), 0);
    EXPECT_EQ(MessageCount(list), 1);
    EXPECT_EQ(list.RemoveErrorFile(), 1);
    EXPECT_FALSE(mltest::FileExists(dir / "TempErrFile.txt"));
}

TEST_F(HostTest, CopiesShareOneStoreAndOutliveTheOriginal) {
    auto* original = new CMemTagList(static_cast<CWnd*>(nullptr));
    CMemTagList copy(*original);
    CString m("from original");
    original->AddError(m);
    delete original;  // must not tear down the store the copy still uses
    CString m2("from copy");
    EXPECT_NE(copy.AddError(m2), 0);
    EXPECT_EQ(MessageCount(copy), 2);

    CMemTagList other;
    other = copy;  // the old store of `other` goes, the shared one stays
    CString m3("from assigned");
    EXPECT_NE(other.AddError(m3), 0);
    EXPECT_EQ(MessageCount(copy), 3);
    CMemTagList& alias = other;
    other = alias;  // self-assignment keeps the store
    EXPECT_EQ(MessageCount(other), 3);
}

TEST(HostExports, OnlyTheExportedClassLeavesTheLibrary) {
    std::string cmd =
        std::string("nm -DC --defined-only ") + MEMLIST_BINARY_DIR + "/out/libmemlist.so";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[4096];
    int exported = 0;
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        // "address type name": keep the name.
        size_t sp = s.find(' ', s.find(' ') + 1);
        std::string name = s.substr(sp + 1);
        name.erase(name.find_last_not_of("\n") + 1);
        bool allowed = name.rfind("CMemTagList::", 0) == 0 || name == "typeinfo for CMemTagList" ||
                       name == "typeinfo name for CMemTagList" ||
                       name == "vtable for CMemTagList" || name == "CMyAboutDlg::~CMyAboutDlg()";
        EXPECT_TRUE(allowed) << "exported: " << name;
        ++exported;
    }
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_GT(exported, 5);
}

TEST_F(HostTest, OwnChecksReturnZeroWithoutReachingTheStore) {
    CMemTagList list;
    EXPECT_EQ(list.SetConfigureFilePath(""), 0);
    CMemTag tag;
    tag.strName = "keep";
    tag.nArea = 77;
    EXPECT_EQ(list.GetSelute("", tag), 0);
    EXPECT_EQ(tag.strName, "keep");
    EXPECT_EQ(tag.nArea, 77);
    EXPECT_EQ(MessageCount(list), 0);
}

TEST_F(HostTest, AcceptedAndIgnoredMembersChangeNothing) {
    CMemTagList list;
    auto before = mltest::SnapshotDir(dir.path(), "TempErrFile.txt");
    EXPECT_EQ(list.AddAreaRegionInfo(nullptr, nullptr), 1);
    CTagAreaArray areas;
    CTagRegionGroupArray groups;
    EXPECT_EQ(list.AddAreaRegionInfo(&areas, &groups), 1);
    EXPECT_EQ(list.RemoveAllInfo(), 1);
    EXPECT_EQ(list.SetTagShowType(-5, 0, 99, 1), 1);
    EXPECT_EQ(areas.GetSize(), 0);
    EXPECT_EQ(mltest::SnapshotDir(dir.path(), "TempErrFile.txt"), before);
}

TEST_F(HostTest, PointerFormsHandOutIndependentCopiesTheCallerOwns) {
    CMemTagList list;
    CTagAreaArray areas;
    CTagArea mine;  // the caller's old pointer is dropped, not freed
    areas.Add(&mine);
    ASSERT_EQ(list.GetAllAreaInfo(&areas), 1);
    ASSERT_EQ(areas.GetSize(), 1);
    EXPECT_NE(areas[0], &mine);
    CTagAreaArray second;
    ASSERT_EQ(list.GetAllAreaInfo(&second), 1);
    ASSERT_EQ(second.GetSize(), 1);
    EXPECT_NE(second[0], areas[0]);
    second[0]->strName = "changed";
    EXPECT_NE(areas[0]->strName, "changed");
    for (CTagArea* a : areas)
        delete a;
    for (CTagArea* a : second)
        delete a;

    CTagRegionGroupArray groups;
    ASSERT_EQ(list.GetAllRegionInfo(&groups), 1);
    ASSERT_EQ(groups.GetSize(), 1);
    ASSERT_EQ(groups[0]->GetSize(), 1);
    EXPECT_EQ(groups[0]->GetAt(0)->nRegion, 0u);
    for (CTagRegionArray* g : groups) {
        for (CTagRegion* r : *g)
            delete r;
        delete g;
    }
    EXPECT_EQ(list.GetAllAreaInfo(static_cast<CTagAreaArray*>(nullptr)), 0);
    EXPECT_EQ(list.GetAllRegionInfo(static_cast<CTagRegionGroupArray*>(nullptr)), 0);
}

TEST_F(HostTest, MovingTheStoreCreatesTheSetInTheNewDirectory) {
    CMemTagList list;
    std::string moved = dir / "moved/deeper";
    ASSERT_EQ(list.SetConfigureFilePath(moved.c_str()), 1);
    EXPECT_EQ(mltest::FileSize(moved + "/TmpBrakkTagIndex.idx"), 42);
    BoolTagInfo b;
    b.Reset();
    std::strcpy(b.szName, "XV1");
    ASSERT_EQ(list.AddData(1, 2, &b, ""), 1);
    EXPECT_GT(mltest::FileSize(moved + "/TmpBrakkBoolTagInfo.tag"), 42);
    EXPECT_EQ(mltest::FileSize(dir / "TmpBrakkBoolTagInfo.tag"), 42);
    EXPECT_EQ(list.SetConfigureFilePath(moved.c_str()), 1);  // same path: nothing happens
    EXPECT_NE(list.JustTagFromBRK("XV1"), 0);
}

TEST_F(HostTest, HostileArgumentsFailWithoutTouchingAnyFile) {
    CMemTagList list;
    BoolTagInfo b;
    b.Reset();
    std::strcpy(b.szName, "XV1");
    ASSERT_EQ(list.AddData(1, 2, &b, ""), 1);
    auto before = mltest::SnapshotDir(dir.path(), "TempErrFile.txt");

    EXPECT_EQ(list.AddData(1, 2, nullptr, ""), -1);
    EXPECT_EQ(list.AddData(-1, 2, &b, ""), -1);
    EXPECT_EQ(list.AddData(1, 99, &b, ""), -1);
    EXPECT_EQ(list.AddStruct(2, nullptr), -1);
    EXPECT_EQ(list.AddEvent(1, nullptr), -1);
    EXPECT_EQ(list.AddTask(1, nullptr), -1);
    EXPECT_EQ(list.DelData(1, 2, nullptr), -1);
    EXPECT_EQ(list.DelStruct(2, static_cast<StructObject_Info*>(nullptr)), -1);
    EXPECT_EQ(list.DelEvent(2, static_cast<Thing_Info*>(nullptr)), -1);
    EXPECT_EQ(list.DelTask(2, static_cast<Task_Info*>(nullptr)), -1);
    EXPECT_EQ(list.ModifyData(1, 2, nullptr, "XV1", ""), -1);
    EXPECT_EQ(list.ModifyStruct(2, nullptr, "X"), -1);
    EXPECT_EQ(list.ModifyEvent(2, nullptr, 1), -1);
    EXPECT_EQ(list.ModifyTask(2, nullptr, 1), -1);
    EXPECT_EQ(list.GetTagInfoWithIdx(_INDEX_STRUCT{9, 2, 40, 0, 0}, &b), 0);
    EXPECT_EQ(list.GetTagInfoWithIdx(_INDEX_STRUCT{1, 2, 0x7FFFFFF0, 0, 0}, &b), 0);
    EXPECT_EQ(list.GetTagInfoWithIdx(_INDEX_STRUCT{1, 2, 41, 0, 0}, &b), 0);  // off the grid
    std::string longName(200, 'N');
    EXPECT_EQ(list.JustTagFromBRK(longName.c_str()), 0);
    EXPECT_EQ(list.DelData(longName.c_str()), -1);
    CMemTag tag;
    EXPECT_EQ(list.GetSelute(longName.c_str(), tag), 0);
    BoolTagInfo unterminated = b;
    std::memset(unterminated.szName, 'U', sizeof unterminated.szName);
    EXPECT_EQ(list.AddData(1, 2, &unterminated, ""), -1);
    EXPECT_EQ(list.RemoveAllBRKFile(3), 0);
    EXPECT_EQ(list.BackupAsOldFile(-7), 1);  // reports the source check, copies nothing

    EXPECT_EQ(mltest::SnapshotDir(dir.path(), "TempErrFile.txt"), before);
    EXPECT_NE(list.JustTagFromBRK("XV1"), 0);
}
