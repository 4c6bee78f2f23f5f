// The browser sheet: which pages it shows, the data source it hands them, its modal run, and what
// it reports before anything was chosen.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTabWidget>
#include <filesystem>

#include "BrowserTestSupport.h"

using namespace mltest;

namespace {

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    ScratchStore store;
};

std::vector<std::string> TabTitles(QDialog* dialog) {
    std::vector<std::string> out;
    QTabWidget* tabs = dialog->findChild<QTabWidget*>();
    for (int i = 0; tabs && i < tabs->count(); ++i)
        out.push_back(tabs->tabText(i).toStdString());
    return out;
}

TEST_F(SheetTest, ConstructingTheSheetMakesNoWidget) {
    const auto before = QApplication::allWidgets().size();
    CMemTagShowSheet sheet("caption");
    EXPECT_EQ(QApplication::allWidgets().size(), before);
    EXPECT_FALSE(sheet.HasWindow());
    EXPECT_EQ(sheet.GetPageCount(), 1);  // the tag page by default
    EXPECT_EQ(sheet.GetPage(0), &sheet.GetTagPage());
    EXPECT_TRUE(sheet.m_psh.dwFlags & PSH_NOAPPLYNOW);
    EXPECT_FALSE(sheet.m_psh.dwFlags & PSH_HASHELP);
}

TEST_F(SheetTest, SetShowPageReplacesThePageSetInFixedOrder) {
    CListingSheet sheet;
    EXPECT_EQ(sheet.SetShowPage(0, 1, 1, 1), 1);
    ASSERT_EQ(sheet.GetPageCount(), 3);
    EXPECT_EQ(sheet.GetPage(0), &sheet.GetEventPage());
    EXPECT_EQ(sheet.GetPage(2), &sheet.GetStructPage());
    EXPECT_EQ(sheet.GetStructPage().m_pHost, &sheet);
    EXPECT_EQ(sheet.SetShowPage(1, 0, 0, 1), 1);
    ASSERT_EQ(sheet.GetPageCount(), 2);
    EXPECT_EQ(sheet.GetPage(0), &sheet.GetTagPage());
    EXPECT_EQ(sheet.GetPage(1), &sheet.GetStructPage());
    EXPECT_EQ(sheet.SetShowPage(0, 0, 0, 0), 0);
    EXPECT_EQ(sheet.GetPageCount(), 0);
    EXPECT_EQ(sheet.DoModal(), -1);  // nothing to show
}

TEST_F(SheetTest, AllFourPagesShowUnderTheirCaptions) {
    CListingSheet sheet;
    sheet.SetShowPage(1, 1, 1, 1);
    RunModal(sheet, [&](QDialog* dialog) {
        EXPECT_EQ(TabTitles(dialog),
                  (std::vector<std::string>{"位号选择", "事件表", "任务表", "结构表"}));
        EXPECT_TRUE(sheet.HasWindow());
        // Pages get their windows when first shown.
        EXPECT_TRUE(sheet.GetTagPage().HasWindow());
        EXPECT_FALSE(sheet.GetTaskPage().HasWindow());
        dialog->findChild<QTabWidget*>()->setCurrentIndex(2);
        EXPECT_TRUE(sheet.GetTaskPage().HasWindow());
        EXPECT_EQ(sheet.GetSelectKind(), 3);
    });
    EXPECT_FALSE(sheet.HasWindow());
    EXPECT_FALSE(sheet.GetTagPage().HasWindow());
    EXPECT_FALSE(sheet.GetTaskPage().HasWindow());
}

TEST_F(SheetTest, SetShowDataFromStopsAtTheFirstPageThatRefuses) {
    CMemTagShowSheet sheet("c");
    EXPECT_EQ(sheet.SetShowDataFrom(2), 1);
    EXPECT_EQ(sheet.GetStructPage().GetShowDataFrom(), 2);
    EXPECT_EQ(sheet.SetShowDataFrom(7), 0);
    EXPECT_EQ(sheet.GetTagPage().GetShowDataFrom(), 7);    // stored, though refused
    EXPECT_EQ(sheet.GetEventPage().GetShowDataFrom(), 2);  // never asked
    EXPECT_EQ(sheet.GetStructPage().GetShowDataFrom(), 2);
}

TEST_F(SheetTest, NothingIsReportedBeforeASelection) {
    CMemTagShowSheet sheet("c");
    CMemTag tag;
    tag.strName = "kept";
    EXPECT_EQ(sheet.GetSelectKind(), 0);
    EXPECT_EQ(sheet.GetSelectedTagInfo(tag), 0);
    EXPECT_EQ(tag.strName, "kept");
    sheet.SetSelectKind(9);
    EXPECT_EQ(sheet.GetSelectedTagInfo(tag), 0);
    sheet.SetSelectKind(2);  // event page with nothing chosen
    EXPECT_EQ(sheet.GetSelectedTagInfo(tag), 0);
    EXPECT_EQ(sheet.SetTagShowType(5, 6, 7, 8), 1);
}

TEST_F(SheetTest, ASecondSheetSharesTheSelectedTagName) {
    CListingSheet a, b;
    a.tags = b.tags = {MakeTag("N1", 1), MakeTag("N2", 2)};
    a.InputTagName(CString("N2"));
    RunModal(b, [&](QDialog* dialog) { ClickOk(dialog); });  // N2 preselected, so OK keeps it
    CStringArray chosen;
    b.GetSelectedTags(chosen);
    ASSERT_EQ(chosen.GetSize(), 1);
    EXPECT_EQ(chosen[0], "N2");
}

TEST_F(SheetTest, OkOnAnotherPageKeepsTheTagPickAndReportsThatPagesChoice) {
    CTagShowExDlg::Remembered() = TagPageMemory();
    CListingSheet sheet;
    sheet.tags = {MakeTag("N1", 1), MakeTag("N2", 2), MakeTag("N3", 3)};
    sheet.events = {MakeItem("4", 5, 1), MakeItem("9", 5, 1)};
    sheet.SetShowPage(1, 1, 0, 0);
    int result = RunModal(sheet, [&](QDialog* dialog) {
        ClickRow(Control<QTableView>(sheet.GetTagPage(), CTagShowExDlg::IDC_TAG_LIST), 1);
        dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
        ClickRow(Control<QTableView>(sheet.GetEventPage(), CEventListPage::IDC_EVENT_LIST), 1);
        ClickOk(dialog);
    });
    EXPECT_EQ(result, IDOK);
    CStringArray chosen;
    sheet.GetSelectedTags(chosen);
    ASSERT_EQ(chosen.GetSize(), 1);
    EXPECT_EQ(chosen[0], "N2");
    EXPECT_EQ(sheet.GetSelectKind(), 2);
    CMemTag tag;
    ASSERT_EQ(sheet.GetSelectedTagInfo(tag), 1);
    EXPECT_EQ(tag.strName, Gb("事件") + "9");
}

TEST_F(SheetTest, ListsGrowWithTheDialogWhoseSizeTheHostsSettingsKeep) {
    {
        QSettings settings;
        settings.remove("memlist");
    }
    CListingSheet sheet;
    sheet.SetShowPage(1, 1, 0, 0);
    QSize atTemplate, enlarged;
    RunModal(sheet, [&](QDialog* dialog) {
        QApplication::processEvents();
        atTemplate = dialog->size();
        EXPECT_EQ(atTemplate, dialog->sizeHint());
        CTagShowExDlg& page = sheet.GetTagPage();
        auto* list = Control<QTableView>(page, CTagShowExDlg::IDC_TAG_LIST);
        auto* next = Control<QPushButton>(page, CTagShowExDlg::IDC_NEXT_PAGE);
        auto* count = Control<QLabel>(page, CTagShowExDlg::IDC_ROW_COUNT);
        auto* area = Control<QComboBox>(page, CTagShowExDlg::IDC_AREA);
        const QRect list0 = list->geometry(), next0 = next->geometry(), count0 = count->geometry(),
                    area0 = area->geometry();
        dialog->resize(atTemplate + QSize(200, 120));
        QApplication::processEvents();
        enlarged = dialog->size();
        const QSize grown = list->size() - list0.size();
        EXPECT_EQ(grown, QSize(200, 120));
        EXPECT_EQ(next->geometry(), next0.translated(200, 120));  // bottom right
        EXPECT_EQ(count->geometry(), count0.translated(0, 120));  // bottom left
        EXPECT_EQ(area->geometry(), area0);                       // top left
        dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
        QApplication::processEvents();
        auto* events = Control<QTableView>(sheet.GetEventPage(), CEventListPage::IDC_EVENT_LIST);
        EXPECT_GT(events->width(), list0.width() + 150);
    });
    RunModal(sheet, [&](QDialog* dialog) { EXPECT_EQ(dialog->size(), enlarged); });
}

TEST_F(SheetTest, SetConfigureFilePathWithTheStoredPathDoesNotReachTheStore) {
    TempDir other;
    std::string target = other / "moved";
    CMemTagShowSheet sheet("c");
    ASSERT_EQ(sheet.SetConfigureFilePath(CString(target)), 1);
    ASSERT_TRUE(FileExists(target));
    std::filesystem::remove_all(target);
    EXPECT_EQ(sheet.SetConfigureFilePath(CString(target)), 1);
    EXPECT_FALSE(FileExists(target));  // not moved again
}

}  // namespace
