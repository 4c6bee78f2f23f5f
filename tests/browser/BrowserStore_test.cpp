// The browser over a real store: what the host adds through the sheet is what the pages list,
// and what the user picks comes back as the store's records.
#include <gtest/gtest.h>

#include <cstring>

#include "BrowserTestSupport.h"

using namespace mltest;

namespace {

template <class Rec>
Rec TagRecord(const char* name, int area, int region, int trend) {
    Rec r;
    r.Reset();
    std::strncpy(r.szName, name, sizeof r.szName - 1);
    std::strncpy(r.szDesc, (std::string("about ") + name).c_str(), sizeof r.szDesc - 1);
    r.nArea = area;
    r.nRegion = region;
    r.nTrend = trend;
    return r;
}

class BrowserStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ClearListProfile();
        CTagShowExDlg::Remembered() = TagPageMemory();
    }
    ScratchStore store;
};

TEST_F(BrowserStoreTest, TagsOfBothSourcesListBrakkFirstAndOkReturnsTheStoredRecord) {
    CMemTagShowSheet sheet("browser");
    auto zuzirInt = TagRecord<IntTagInfo>("ZI1", 1, 2, 1);
    zuzirInt.nRangeHigh = 500;
    zuzirInt.nRangeLow = -5;
    auto brakkBool = TagRecord<BoolTagInfo>("BB1", 1, 1, 0);
    auto brakkReal = TagRecord<FloatTagInfo>("BR1", 2, 1, 0);
    brakkReal.dRangeHigh = 1.5;
    ASSERT_EQ(sheet.AddData(2, 1, &zuzirInt, ""), 1);
    ASSERT_EQ(sheet.AddData(1, 2, &brakkBool, ""), 1);
    ASSERT_EQ(sheet.AddData(3, 2, &brakkReal, ""), 1);

    int result = RunModal(sheet, [&](QDialog* dialog) {
        auto* list = Control<QTableView>(sheet.GetTagPage(), CTagShowExDlg::IDC_TAG_LIST);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"BB1", "BR1", "ZI1"}));
        EXPECT_EQ(ColumnTexts(list, 3), (std::vector<std::string>{"布尔型", "实型", "整型"}));
        EXPECT_EQ(ColumnTexts(list, 5),
                  (std::vector<std::string>{"0.000000", "1.500000", "500.000000"}));
        ClickRow(list, 2);
        ClickOk(dialog);
    });
    EXPECT_EQ(result, IDOK);
    CMemTag tag;
    ASSERT_EQ(sheet.GetSelectedTagInfo(tag), 1);
    EXPECT_EQ(tag.strName, "ZI1");
    EXPECT_EQ(tag.strDesc, "about ZI1");
    EXPECT_EQ(tag.nDataType, 2);
    EXPECT_EQ(tag.nDataSource, 1);
    EXPECT_EQ(tag.nRegion, 2);
    EXPECT_DOUBLE_EQ(tag.dRangeHigh, 500);
    EXPECT_DOUBLE_EQ(tag.dRangeLow, -5);
}

TEST_F(BrowserStoreTest, EventsAndStructObjectsOfTheStoreArePickedOnTheirPages) {
    CMemTagShowSheet sheet("browser");
    Thing_Info ev{};
    ev.Reset();
    ev.nNo = 12;
    std::strcpy(ev.szDesc, "feed pump");
    ev.wGroup = 3;
    ASSERT_EQ(sheet.AddEvent(2, &ev), 1);
    StructObject_Info so{};
    so.Reset();
    std::strcpy(so.szObjName, "LOOP7");
    std::strcpy(so.szStructType, "#LOOP");
    ASSERT_EQ(sheet.AddStruct(2, &so), 1);

    sheet.SetShowPage(0, 1, 0, 1);
    RunModal(sheet, [&](QDialog*) {
        auto* list = Control<QTableView>(sheet.GetEventPage(), CEventListPage::IDC_EVENT_LIST);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(ColumnTexts(list, 1), std::vector<std::string>{"事件12"});
        EXPECT_EQ(
            Utf8(
                Control<QComboBox>(sheet.GetEventPage(), CGroupListPage::IDC_GROUP)->currentText()),
            "数据组3");
        DoubleClickRow(list, 0);
    });
    EXPECT_TRUE(ChosenIs(sheet, Gb("事件") + "12", 5, "feed pump"));

    sheet.SetShowPage(0, 0, 0, 1);
    RunModal(sheet, [&](QDialog*) {
        auto* list = Control<QTableView>(sheet.GetStructPage(), CStructListPage::IDC_STRUCT_LIST);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(ColumnTexts(list, 1), std::vector<std::string>{"LOOP7"});
        EXPECT_EQ(ColumnTexts(list, 2), std::vector<std::string>{"#LOOP"});
        DoubleClickRow(list, 0);
    });
    EXPECT_TRUE(ChosenIs(sheet, "LOOP7", 7, "#LOOP"));
}

}  // namespace
