// Tasks, events and struct objects: add, change, delete, look-ups and listings.
#include <gtest/gtest.h>

#include "EngineFixture.h"

using enginetest::U16;
using enginetest::U32;
using mltest::Gb;

namespace {

class ItemStore : public enginetest::EngineTest {
protected:
    static Task_Info MakeTask(int nNo, const char* desc = "task", int nGroup = 3) {
        Task_Info t{};
        t.Reset();
        t.nNo = nNo;
        std::snprintf(t.szDesc, sizeof t.szDesc, "%s", desc);
        t.nUserWord = 1000 + nNo;
        t.wGroup = static_cast<std::uint16_t>(nGroup);
        return t;
    }
    static Thing_Info MakeEvent(int nNo, const char* desc = "event", int nSource = 1) {
        Thing_Info t{};
        t.Reset();
        t.nNo = nNo;
        std::snprintf(t.szDesc, sizeof t.szDesc, "%s", desc);
        t.byDataSource = static_cast<std::uint8_t>(nSource);
        return t;
    }
    static StructObject_Info MakeStruct(const char* name, const char* type, int nSource = 2) {
        StructObject_Info s{};
        s.Reset();
        std::snprintf(s.szObjName, sizeof s.szObjName, "%s", name);
        std::snprintf(s.szStructType, sizeof s.szStructType, "%s", type);
        s.byDataSource = static_cast<std::uint8_t>(nSource);
        return s;
    }
    int AddTaskTo(int nSource, Task_Info t) {
        engine->SetDataSource(nSource);
        return engine->AddTask(&t);
    }
    int AddEventTo(int nSource, Thing_Info t) {
        engine->SetDataSource(nSource);
        return engine->AddEvent(&t);
    }
    int AddStructTo(int nSource, StructObject_Info s) {
        engine->SetDataSource(nSource);
        return engine->AddStruct(&s);
    }
};

}  // namespace

TEST_F(ItemStore, AddWritesTheWholeRecordIntoItsSourceFile) {
    Task_Info t = MakeTask(7);
    EXPECT_EQ(AddTaskTo(1, t), 40);
    auto b = Bytes("TmpZuzirTaskTagInfo.tag");
    ASSERT_EQ(b.size(), 42u + 78u);
    EXPECT_EQ(0, std::memcmp(b.data() + 40, &t, 78));
    EXPECT_EQ(AddStructTo(2, MakeStruct("LOOP1", "#LOOP")), 40);
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkStructTagInfo.tag")), 42 + 60);
    // Adding needs a source of its own.
    EXPECT_EQ(AddEventTo(0, MakeEvent(1)), -1);
    EXPECT_EQ(mltest::FileSize(Path("TmpBrakkEventTagInfo.tag")), 42);
    EXPECT_EQ(mltest::FileSize(Path("TmpZuzirEventTagInfo.tag")), 42);
}

TEST_F(ItemStore, DeletingTaskSevenTwiceReportsTheSecond) {
    AddTaskTo(2, MakeTask(7));
    engine->SetDataSource(2);
    EXPECT_EQ(engine->DelTask(7), 1);
    auto b = Bytes("TmpBrakkTaskTagInfo.tag");
    EXPECT_EQ(U16(b, 40 + 76), 1);
    EXPECT_EQ(U16(b, 118), 1);  // one released slot
    EXPECT_EQ(U32(b, 120), 40u);
    EXPECT_EQ(engine->DelTask(7), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("未找到所要删除的任务:任务7;")});
    EXPECT_EQ(engine->DelEvent(7), -1);
    EXPECT_EQ(Messages().back(), Gb("未找到所要删除的事件:事件7;"));
}

TEST_F(ItemStore, ChangingAnEventThatDoesNotExistSaysNothing) {
    AddTaskTo(1, MakeTask(3));
    engine->SetDataSource(1);
    Thing_Info e = MakeEvent(3);
    EXPECT_EQ(engine->ModifyEvent(&e, 3), -1);
    EXPECT_TRUE(Messages().empty());
    Task_Info t = MakeTask(4);
    EXPECT_EQ(engine->ModifyTask(&t, 9), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{Gb("未找到所要修改的任务:任务9;")});
}

TEST_F(ItemStore, ChangeActsOnTheFirstLiveMatchAndMayRenumber) {
    AddEventTo(2, MakeEvent(5, "first"));
    AddEventTo(2, MakeEvent(5, "second"));
    engine->SetDataSource(2);
    Thing_Info n = MakeEvent(6, "renumbered");
    EXPECT_EQ(engine->ModifyEvent(&n, 5), 1);
    CArray<CMemTag, CMemTag&> arr;
    engine->GetAllEvents(arr, 2);
    ASSERT_EQ(arr.GetSize(), 2);
    EXPECT_EQ(arr[0].strName, "6");
    EXPECT_EQ(arr[0].strDesc, "renumbered");
    EXPECT_EQ(arr[1].strName, "5");
    EXPECT_EQ(arr[1].strDesc, "second");
}

TEST_F(ItemStore, StructDeleteRemovesEveryMatchAndAlwaysSucceeds) {
    AddStructTo(2, MakeStruct("P1", "#PAT"));
    AddStructTo(2, MakeStruct("P2", "#PAT"));
    AddStructTo(2, MakeStruct("P1", "#AISM"));
    engine->SetDataSource(2);
    EXPECT_EQ(engine->DelStruct("P1"), 1);
    CArray<CMemTag, CMemTag&> arr;
    engine->GetAllStructObjects(arr, 2);
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_EQ(arr[0].strName, "P2");
    const auto before = Bytes("TmpBrakkStructTagInfo.tag");
    engine->SetDataSource(2);
    EXPECT_EQ(engine->DelStruct("P1"), 1);
    EXPECT_EQ(Bytes("TmpBrakkStructTagInfo.tag"), before);
}

TEST_F(ItemStore, StructChangeMatchesTheNameExactly) {
    AddStructTo(1, MakeStruct("Loop1", "#LOOP", 1));
    engine->SetDataSource(1);
    StructObject_Info n = MakeStruct("Loop2", "#USERLOOP", 1);
    EXPECT_EQ(engine->ModifyStruct(&n, "LOOP1"), -1);
    EXPECT_EQ(engine->ModifyStruct(&n, "Loop"), -1);
    EXPECT_EQ(engine->ModifyStruct(&n, "Loop1"), 1);
    CString type;
    EXPECT_EQ(engine->FindStructType("Loop2", type), 1);
    EXPECT_EQ(type, "#USERLOOP");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ItemStore, TasksAreFoundInZuZirFirstStructsInBrakkFirst) {
    AddTaskTo(2, MakeTask(4, "brakk task", 8));
    AddTaskTo(1, MakeTask(4, "zuzir task", 9));
    CMemTag tag;
    tag.nRegion = 55;
    ASSERT_EQ(engine->FindTask(4, tag), 1);
    EXPECT_EQ(tag.strName.str(), Gb("任务4"));
    EXPECT_EQ(tag.strDesc, "zuzir task");
    EXPECT_EQ(tag.nArea, 9);
    EXPECT_EQ(tag.nDataType, 6);
    EXPECT_EQ(tag.nUserWord, 1004);
    EXPECT_EQ(tag.nDataSource, 1);  // the record's own source byte
    EXPECT_EQ(tag.nRegion, 55);     // not set for tasks

    AddStructTo(1, MakeStruct("OBJ", "#PAT", 1));
    AddStructTo(2, MakeStruct("OBJ", "#AISM"));
    CString type = "stale";
    EXPECT_EQ(engine->FindStructType("OBJ", type), 1);
    EXPECT_EQ(type, "#AISM");
    EXPECT_EQ(engine->FindStructType("NONE", type), 0);
    EXPECT_TRUE(type.IsEmpty());
    EXPECT_EQ(engine->FindStructType("", type), 0);
}

TEST_F(ItemStore, EventLookupFallsBackToBrakkAndLeavesMissesUntouched) {
    AddEventTo(2, MakeEvent(12, "only brakk", 2));
    CMemTag tag;
    ASSERT_EQ(engine->FindEvent(12, tag), 1);
    EXPECT_EQ(tag.strName.str(), Gb("事件12"));
    EXPECT_EQ(tag.nDataType, 5);
    CMemTag miss;
    miss.strName = "keep";
    EXPECT_EQ(engine->FindEvent(13, miss), 0);
    EXPECT_EQ(miss.strName, "keep");
}

TEST_F(ItemStore, ListingsGoBrakkFirstWithBareNumbers) {
    AddEventTo(1, MakeEvent(1, "z1", 1));
    AddEventTo(2, MakeEvent(12, "b12", 2));
    AddEventTo(1, MakeEvent(3, "z3", 1));
    CArray<CMemTag, CMemTag&> arr;
    CMemTag pre;
    arr.Add(pre);  // emptied first
    engine->GetAllEvents(arr, 0);
    ASSERT_EQ(arr.GetSize(), 3);
    EXPECT_EQ(arr[0].strName, "12");
    EXPECT_EQ(arr[1].strName, "1");
    EXPECT_EQ(arr[2].strName, "3");
    EXPECT_EQ(arr[0].nDataType, 5);
    engine->GetAllEvents(arr, 1);
    EXPECT_EQ(arr.GetSize(), 2);
    engine->GetAllEvents(arr, 4);
    EXPECT_EQ(arr.GetSize(), 0);
    EXPECT_EQ(Messages().back(), Gb("指定数据来源错误！"));
}

TEST_F(ItemStore, StructListingAndTypeSelection) {
    AddStructTo(2, MakeStruct("A1", "#AISM"));
    AddStructTo(1, MakeStruct("A2", "#AISM", 1));
    AddStructTo(2, MakeStruct("L1", "#LOOP"));
    CArray<CMemTag, CMemTag&> arr;
    engine->GetAllStructObjects(arr, 0);
    ASSERT_EQ(arr.GetSize(), 3);
    EXPECT_EQ(arr[0].strName, "A1");
    EXPECT_EQ(arr[0].strDesc, "#AISM");
    EXPECT_EQ(arr[0].nDataType, 7);
    EXPECT_EQ(arr[0].nUserWord, 0);
    EXPECT_EQ(arr[2].strName, "A2");
    EXPECT_EQ(arr[2].nDataSource, 1);

    CArray<StructObject_Info, StructObject_Info> objs;
    EXPECT_EQ(engine->GetSpecyStructObj("#AISM", objs, 0), 1);
    ASSERT_EQ(objs.GetSize(), 2);
    EXPECT_STREQ(objs[0].szObjName, "A1");
    EXPECT_STREQ(objs[1].szObjName, "A2");
    EXPECT_EQ(engine->GetSpecyStructObj("#PAT", objs, 1), 1);
    EXPECT_EQ(objs.GetSize(), 0);
    EXPECT_EQ(engine->GetSpecyStructObj("#AISM", objs, 9), 0);
}
