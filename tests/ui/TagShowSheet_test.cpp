// The browser sheet: which pages it shows, the data source it hands them, its modal run, and what
// it reports before anything was chosen.
#include <gtest/gtest.h>

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
    EXPECT_EQ(sheet.GetStructPage().m_pSheet, &sheet);
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
