// The event, task and struct-object pages in a running browser: grouping, the sorted group list,
// skipped "*" names, and the record the sheet returns after OK or a double click.
#include <gtest/gtest.h>

#include "BrowserTestSupport.h"

using namespace mltest;

namespace {

class GroupPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ClearListProfile();
    }
    QTableView* List(CPropertyPage& page, int id) { return Control<QTableView>(page, id); }
    QComboBox* Groups(CPropertyPage& page) {
        return Control<QComboBox>(page, CGroupListPage::IDC_GROUP);
    }

    ScratchStore store;
    CListingSheet sheet;
};

TEST_F(GroupPageTest, EventsAreGroupedAndTheFirstGroupIsShownInStoreOrder) {
    sheet.events = {MakeItem("3", 5, 1), MakeItem("7", 5, 1), MakeItem("12", 5, 1),
                    MakeItem("5", 5, 2)};
    sheet.SetShowPage(0, 1, 0, 0);
    RunModal(sheet, [&](QDialog*) {
        CEventListPage& page = sheet.GetEventPage();
        QComboBox* groups = Groups(page);
        ASSERT_EQ(groups->count(), 2);
        EXPECT_EQ(Utf8(groups->itemText(0)), "数据组1");
        EXPECT_EQ(Utf8(groups->itemText(1)), "数据组2");
        QTableView* list = List(page, CEventListPage::IDC_EVENT_LIST);
        EXPECT_EQ(ColumnTexts(list, 0), (std::vector<std::string>{"1", "2", "3"}));
        EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"事件3", "事件7", "事件12"}));
        EXPECT_EQ(ColumnTexts(list, 2), (std::vector<std::string>{"d3", "d7", "d12"}));
        EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(),
                  QString::fromUtf8(" 事件名称"));
        Choose(groups, 1);
        EXPECT_EQ(page.GetCurrentGroup(), 2);
        EXPECT_EQ(ColumnTexts(list, 1), std::vector<std::string>{"事件5"});
    });
}

TEST_F(GroupPageTest, StarNamesAndOtherKindsAreNotListedButStarNamesAreIndexed) {
    sheet.events = {MakeItem("*9", 5, 1), MakeItem("4", 6, 1), MakeItem("8", 5, 1)};
    sheet.SetShowPage(0, 1, 0, 0);
    RunModal(sheet, [&](QDialog*) {
        QTableView* list = List(sheet.GetEventPage(), CEventListPage::IDC_EVENT_LIST);
        EXPECT_EQ(ColumnTexts(list, 1), std::vector<std::string>{"事件8"});
        EXPECT_EQ(ColumnTexts(list, 0), std::vector<std::string>{"1"});
    });
    CMemTag rec;
    EXPECT_FALSE(sheet.GetEventPage().LookupNo(9, rec));  // atoi("*9") is 0
    EXPECT_TRUE(sheet.GetEventPage().LookupNo(0, rec));
    EXPECT_EQ(rec.strName, "*9");
}

TEST_F(GroupPageTest, TheGroupListNamesTheShownGroupEvenWhenAnotherSortsFirst) {
    sheet.events = {MakeItem("1", 5, 2), MakeItem("2", 5, 10), MakeItem("3", 5, 1)};
    sheet.SetShowPage(0, 1, 0, 0);
    RunModal(sheet, [&](QDialog*) {
        QComboBox* groups = Groups(sheet.GetEventPage());
        ASSERT_EQ(groups->count(), 3);
        EXPECT_EQ(Utf8(groups->itemText(0)), "数据组1");
        EXPECT_EQ(Utf8(groups->itemText(1)), "数据组10");
        EXPECT_EQ(Utf8(groups->itemText(2)), "数据组2");
        EXPECT_EQ(Utf8(groups->currentText()), "数据组2");
        sheet.GetEventPage().ShowGroup(1);
        EXPECT_EQ(Utf8(groups->currentText()), "数据组1");  // not 数据组10
    });
}

TEST_F(GroupPageTest, ChoosingTheShownGroupAgainKeepsTheSortedOrder) {
    sheet.events = {MakeItem("3", 5, 1), MakeItem("7", 5, 1), MakeItem("12", 5, 1)};
    sheet.SetShowPage(0, 1, 0, 0);
    RunModal(sheet, [&](QDialog*) {
        QTableView* list = List(sheet.GetEventPage(), CEventListPage::IDC_EVENT_LIST);
        QApplication::processEvents();
        QHeaderView* h = list->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(0) + 5, h->height() / 2));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(0) + 5, h->height() / 2));
        ASSERT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"事件12", "事件7", "事件3"}));
        Choose(Groups(sheet.GetEventPage()), 0);
        EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"事件12", "事件7", "事件3"}));
    });
}

TEST_F(GroupPageTest, OkOnTheEventPageReturnsThePrefixedEventRecord) {
    sheet.events = {MakeItem("3", 5, 1), MakeItem("12", 5, 1, "boiler")};
    sheet.SetShowPage(1, 1, 0, 0);
    sheet.tags = {MakeTag("T1", 1)};
    int result = RunModal(sheet, [&](QDialog* dialog) {
        dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
        EXPECT_EQ(sheet.GetSelectKind(), 2);
        ClickRow(List(sheet.GetEventPage(), CEventListPage::IDC_EVENT_LIST), 1);
        ClickOk(dialog);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(sheet.GetEventPage().GetChosenNo(), 12);
    EXPECT_TRUE(ChosenIs(sheet, Gb("事件") + "12", 5, "boiler"));
}

TEST_F(GroupPageTest, OkWithNoRowMarkedReportsNothingChosen) {
    sheet.events = {MakeItem("3", 5, 1)};
    sheet.SetShowPage(0, 1, 0, 0);
    RunModal(sheet, [&](QDialog* dialog) { ClickOk(dialog); });
    EXPECT_EQ(sheet.GetEventPage().GetChosenNo(), -1);
    CMemTag tag;
    tag.strName = "kept";
    EXPECT_EQ(sheet.GetSelectedTagInfo(tag), 0);
    EXPECT_EQ(tag.strName, "kept");
}

TEST_F(GroupPageTest, DoubleClickOnATaskEndsTheSheetWithThePrefixedTask) {
    sheet.tasks = {MakeItem("21", 6, 3), MakeItem("22", 6, 3, "pump")};
    sheet.SetShowPage(0, 0, 1, 0);
    int result = RunModal(sheet, [&](QDialog*) {
        QTableView* list = List(sheet.GetTaskPage(), CTaskListPage::IDC_TASK_LIST);
        EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"任务21", "任务22"}));
        DoubleClickRow(list, 1);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(ChosenIs(sheet, Gb("任务") + "22", 6, "pump"));
}

TEST_F(GroupPageTest, StructPageHidesItsGroupListAndReturnsTheChosenObject) {
    sheet.structs = {MakeItem("LOOP1", 7, 0, "#LOOP"), MakeItem("*HID", 7, 0, "#PAT"),
                     MakeItem("AI1", 7, 0, "#AISM")};
    sheet.SetShowPage(0, 0, 0, 1);
    RunModal(sheet, [&](QDialog* dialog) {
        CStructListPage& page = sheet.GetStructPage();
        QComboBox* groups = Groups(page);
        EXPECT_FALSE(groups->isVisible());
        EXPECT_FALSE(groups->isEnabled());
        QTableView* list = List(page, CStructListPage::IDC_STRUCT_LIST);
        EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"LOOP1", "AI1"}));
        EXPECT_EQ(ColumnTexts(list, 2), (std::vector<std::string>{"#LOOP", "#AISM"}));
        ClickRow(list, 1);
        ClickOk(dialog);
    });
    EXPECT_EQ(sheet.GetSelectKind(), 4);
    EXPECT_EQ(sheet.GetStructPage().GetChosenName(), "AI1");
    EXPECT_TRUE(ChosenIs(sheet, "AI1", 7, "#AISM"));
}

TEST_F(GroupPageTest, SetShowDataFromAcceptsOnlyKnownSourcesButStoresAny) {
    EXPECT_TRUE(sheet.GetEventPage().SetShowDataFrom(1));
    EXPECT_FALSE(sheet.GetEventPage().SetShowDataFrom(3));
    EXPECT_EQ(sheet.GetEventPage().GetShowDataFrom(), 3);
    EXPECT_FALSE(sheet.GetStructPage().SetShowDataFrom(-1));
}

}  // namespace
