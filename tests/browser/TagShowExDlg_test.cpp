// The tag page in a running browser: the 100-row page walk, each filter, the state remembered
// across openings, preselection, and what OK and a double click leave for the sheet.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>

#include "BrowserTestSupport.h"

using namespace mltest;

namespace {

class TagPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ClearListProfile();
        CTagShowExDlg::Remembered() = TagPageMemory();
    }
    void AddPlainTags(int n) {
        for (int i = 0; i < n; ++i)
            sheet.tags.push_back(MakeTag(Name(i), 1 + i % 4));
    }
    QTableView* List() {
        return Control<QTableView>(sheet.GetTagPage(), CTagShowExDlg::IDC_TAG_LIST);
    }
    QComboBox* Box(int id) { return Control<QComboBox>(sheet.GetTagPage(), id); }
    std::string Text(int id) {
        QLabel* l = Control<QLabel>(sheet.GetTagPage(), id);
        return l ? Utf8(l->text()) : "?";
    }
    QPushButton* Button(int id) { return Control<QPushButton>(sheet.GetTagPage(), id); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    QLineEdit* Search() {
        return Control<QLineEdit>(sheet.GetTagPage(), CTagShowExDlg::IDC_SEARCH);
    }
    // Types `text` into the search field key by key, as a user (or an input method) does.
    void Type(const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Search(), &press);
        }
    }

    ScratchStore store;
    CListingSheet sheet;
};

TEST_F(TagPageTest, WalksTwoHundredFiftyTagsForwardAndBackInPagesOfAHundred) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(ColumnTexts(List(), 1), Names(0, 99));
        EXPECT_EQ(ColumnTexts(List(), 0).front(), "1");
        EXPECT_EQ(ColumnTexts(List(), 0).back(), "100");
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");
        EXPECT_EQ(Text(CTagShowExDlg::IDC_ROW_COUNT), "条数：100");
        EXPECT_FALSE(Button(CTagShowExDlg::IDC_PREV_PAGE)->isEnabled());
        EXPECT_TRUE(Button(CTagShowExDlg::IDC_NEXT_PAGE)->isEnabled());

        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_EQ(ColumnTexts(List(), 1), Names(100, 199));
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第2页");
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_EQ(ColumnTexts(List(), 1), Names(200, 249));
        EXPECT_EQ(Text(CTagShowExDlg::IDC_ROW_COUNT), "条数：50");
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第3页");
        EXPECT_TRUE(Button(CTagShowExDlg::IDC_PREV_PAGE)->isEnabled());
        EXPECT_FALSE(Button(CTagShowExDlg::IDC_NEXT_PAGE)->isEnabled());
        Click(CTagShowExDlg::IDC_NEXT_PAGE);  // fewer than 100 rows: nothing happens
        EXPECT_EQ(ColumnTexts(List(), 1), Names(200, 249));
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第3页");

        Click(CTagShowExDlg::IDC_PREV_PAGE);
        EXPECT_EQ(ColumnTexts(List(), 1), Names(199, 100));
        EXPECT_EQ(ColumnTexts(List(), 0).front(), "1");
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第2页");
    });
}

TEST_F(TagPageTest, AFullLastPageIsTheLast) {
    AddPlainTags(100);
    RunModal(sheet, [&](QDialog*) {
        EXPECT_FALSE(Button(CTagShowExDlg::IDC_NEXT_PAGE)->isEnabled());
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_EQ(List()->model()->rowCount(), 100);
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");
    });
}

TEST_F(TagPageTest, AnEmptyStoreShowsCountZeroOnPageOne) {
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(List()->model()->rowCount(), 0);
        EXPECT_EQ(Text(CTagShowExDlg::IDC_ROW_COUNT), "条数：0");
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");
    });
}

TEST_F(TagPageTest, RowsCarryTypeTrendAndRangeTexts) {
    CMemTag t = MakeTag("R1", 3, 0, 0, 1);
    t.dRangeHigh = 3.5;
    t.dRangeLow = -2;
    sheet.tags.push_back(t);
    sheet.tags.push_back(MakeTag("R2", 4));
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(ColumnTexts(List(), 2), (std::vector<std::string>{"dR1", "dR2"}));
        EXPECT_EQ(ColumnTexts(List(), 3), (std::vector<std::string>{"实型", "字符串型"}));
        EXPECT_EQ(ColumnTexts(List(), 4), (std::vector<std::string>{"是", "否"}));
        EXPECT_EQ(ColumnTexts(List(), 5).front(), "3.500000");
        EXPECT_EQ(ColumnTexts(List(), 6).front(), "-2.000000");
        EXPECT_EQ(List()->model()->headerData(4, Qt::Horizontal).toString(),
                  QString::fromUtf8("组入趋势"));
    });
}

class TagFilterTest : public TagPageTest {
protected:
    void SetUp() override {
        TagPageTest::SetUp();
        sheet.areas = {{10, Gb("一区")}, {20, Gb("二区")}};
        sheet.regions = {{10, 1, "r1"}, {10, 2, "r2"}, {20, 1, "r1b"}, {20, 3, "r3"}};
        // name, type, area, region, trend
        sheet.tags = {MakeTag("a10r1", 1, 10, 1, 1), MakeTag("a10r2", 2, 10, 2, 0),
                      MakeTag("a20r1", 2, 20, 1, 2), MakeTag("a20r3", 3, 20, 3, 1),
                      MakeTag("a30r1", 4, 30, 1, 0)};
    }
};

TEST_F(TagFilterTest, AreaChoiceKeepsItsTagsAndNarrowsTheRegionList) {
    RunModal(sheet, [&](QDialog*) {
        QComboBox* area = Box(CTagShowExDlg::IDC_AREA);
        QComboBox* region = Box(CTagShowExDlg::IDC_REGION);
        ASSERT_EQ(area->count(), 3);
        EXPECT_EQ(Utf8(area->itemText(0)), "全部分组");
        EXPECT_EQ(Utf8(area->itemText(2)), "二区");
        EXPECT_EQ(region->count(), 5);  // all regions of every area
        Choose(area, 2);
        EXPECT_EQ(ColumnTexts(List(), 1), (std::vector<std::string>{"a20r1", "a20r3"}));
        ASSERT_EQ(region->count(), 3);
        EXPECT_EQ(Utf8(region->itemText(0)), "全部分区");
        EXPECT_EQ(Utf8(region->itemText(2)), "r3");
        EXPECT_EQ(region->currentIndex(), 0);
        Choose(region, 2);
        EXPECT_EQ(ColumnTexts(List(), 1), std::vector<std::string>{"a20r3"});
    });
}

TEST_F(TagFilterTest, ARegionUnderAllAreasMatchesItsNumberInEveryArea) {
    RunModal(sheet, [&](QDialog*) {
        Choose(Box(CTagShowExDlg::IDC_REGION), 1);  // r1 of area 10, region number 1
        EXPECT_EQ(ColumnTexts(List(), 1), (std::vector<std::string>{"a10r1", "a20r1", "a30r1"}));
    });
}

TEST_F(TagFilterTest, TypeAndTrendChoicesFilter) {
    RunModal(sheet, [&](QDialog*) {
        QComboBox* type = Box(CTagShowExDlg::IDC_TYPE);
        QComboBox* trend = Box(CTagShowExDlg::IDC_TREND);
        EXPECT_EQ(type->currentIndex(), 4);
        EXPECT_EQ(Utf8(type->currentText()), "全部类型");
        EXPECT_EQ(trend->currentIndex(), 2);
        Choose(type, 1);  // integer
        EXPECT_EQ(ColumnTexts(List(), 1), (std::vector<std::string>{"a10r2", "a20r1"}));
        Choose(type, 4);
        Choose(trend, 0);  // in the trend database
        EXPECT_EQ(ColumnTexts(List(), 1), (std::vector<std::string>{"a10r1", "a20r1", "a20r3"}));
    });
}

TEST_F(TagPageTest, AFilterChangeReturnsToTheFirstPage) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog*) {
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Choose(Box(CTagShowExDlg::IDC_TYPE), 0);  // boolean: every fourth tag
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");
        EXPECT_EQ(ColumnTexts(List(), 1).front(), Name(0));
        EXPECT_EQ(ColumnTexts(List(), 1).size(), 63u);
    });
}

TEST_F(TagPageTest, ReopeningShowsTheRememberedPageAndChoices) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog*) {
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Click(CTagShowExDlg::IDC_PREV_PAGE);
        Choose(Box(CTagShowExDlg::IDC_TREND), 2);  // same entry: back to page one
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Click(CTagShowExDlg::IDC_PREV_PAGE);
    });
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第2页");
        EXPECT_EQ(ColumnTexts(List(), 1), Names(100, 199));  // walking forward from 100
    });
}

TEST_F(TagFilterTest, AnotherAreaKeepsTheOldRegionChoiceForTheNextOpening) {
    RunModal(sheet, [&](QDialog*) {
        Choose(Box(CTagShowExDlg::IDC_REGION), 4);  // r3
        Choose(Box(CTagShowExDlg::IDC_AREA), 1);    // area 10: region list back at "all"
        EXPECT_EQ(Box(CTagShowExDlg::IDC_REGION)->currentIndex(), 0);
        EXPECT_EQ(CTagShowExDlg::Remembered().nRegionChoice, 4);
    });
    RunModal(sheet, [&](QDialog*) {
        // Area 10 has two regions (entries 0..2): the remembered index 4 selects nothing, so
        // there is no region test.
        EXPECT_EQ(Box(CTagShowExDlg::IDC_AREA)->currentIndex(), 1);
        EXPECT_EQ(Box(CTagShowExDlg::IDC_REGION)->currentIndex(), -1);
        EXPECT_EQ(ColumnTexts(List(), 1), (std::vector<std::string>{"a10r1", "a10r2"}));
    });
}

TEST_F(TagPageTest, OkKeepsTheSelectedNamesAndPreselectsTheFirstNextTime) {
    AddPlainTags(20);
    int result = RunModal(sheet, [&](QDialog* dialog) {
        ClickRow(List(), 7);
        ClickRow(List(), 3, Qt::ControlModifier);
        ClickOk(dialog);
    });
    EXPECT_EQ(result, IDOK);
    CStringArray chosen;
    sheet.GetSelectedTags(chosen);
    ASSERT_EQ(chosen.GetSize(), 2);
    EXPECT_EQ(chosen[0], Name(3));  // top row first
    EXPECT_EQ(chosen[1], Name(7));
    EXPECT_TRUE(ChosenIs(sheet, Name(3), 1 + 3 % 4, "d" + Name(3)));

    RunModal(sheet, [&](QDialog*) {
        QItemSelectionModel* sel = List()->selectionModel();
        EXPECT_TRUE(sel->isRowSelected(3, QModelIndex()));
        EXPECT_FALSE(sel->isRowSelected(7, QModelIndex()));
    });
}

TEST_F(TagPageTest, InputTagNamePreselectsAndADoubleClickEndsTheSheet) {
    AddPlainTags(10);
    sheet.InputTagName(CString(Name(5)));
    int result = RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(List()->selectionModel()->selectedRows().size(), 1);
        EXPECT_TRUE(List()->selectionModel()->isRowSelected(5, QModelIndex()));
        DoubleClickRow(List(), 8);
    });
    EXPECT_EQ(result, IDOK);
    CMemTag tag;
    ASSERT_EQ(sheet.GetSelectedTagInfo(tag), 1);
    EXPECT_EQ(tag.strName, Name(8));
}

TEST_F(TagPageTest, OkWithoutSelectionLeavesNothingChosen) {
    AddPlainTags(5);
    RunModal(sheet, [&](QDialog* dialog) { ClickOk(dialog); });
    CStringArray chosen;
    chosen.Add(CString("stale"));
    sheet.GetSelectedTags(chosen);
    EXPECT_EQ(chosen.GetSize(), 0);
    CMemTag tag;
    EXPECT_EQ(sheet.GetSelectedTagInfo(tag), 0);
}

TEST_F(TagPageTest, CancelEndsWithIdCancel) {
    AddPlainTags(5);
    EXPECT_EQ(RunModal(sheet, [&](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }),
              IDCANCEL);
    EXPECT_EQ(sheet.GetSelectKind(), 1);  // the tag page was active
}

TEST_F(TagPageTest, SearchNarrowsByNameOrDescriptionWithTheFiltersFromTheFirstPage) {
    AddPlainTags(250);
    sheet.tags[120].strDesc = Gb("泵阀");  // its bytes hold those of 梅 across the two characters
    sheet.tags[130].strDesc = Gb("梅花");
    RunModal(sheet, [&](QDialog* dialog) {
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        ASSERT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第2页");
        Type(QString::fromUtf8("梅"));
        EXPECT_EQ(ColumnTexts(List(), 1), (std::vector<std::string>{Name(130)}));
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");

        Search()->clear();
        Type("t12");  // names T120..T129, whatever the case
        EXPECT_EQ(ColumnTexts(List(), 1), Names(120, 129));
        Choose(Box(CTagShowExDlg::IDC_TYPE), 0);  // boolean: every fourth tag
        EXPECT_EQ(ColumnTexts(List(), 1),
                  (std::vector<std::string>{Name(120), Name(124), Name(128)}));

        // Enter hands the focus to the list and leaves the browser open.
        QTest::keyClick(Search(), Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), List());
    });
    EXPECT_EQ(CTagShowExDlg::Remembered().strSearch, "t12");
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(Search()->text(), "t12");
        EXPECT_EQ(ColumnTexts(List(), 1),
                  (std::vector<std::string>{Name(120), Name(124), Name(128)}));
        Search()->selectAll();
        QTest::keyClick(Search(), Qt::Key_Backspace);
        std::vector<std::string> everyFourth;  // the type filter alone
        for (int i = 0; i < 250; i += 4)
            everyFourth.push_back(Name(i));
        EXPECT_EQ(ColumnTexts(List(), 1), everyFourth);
    });
}

TEST_F(TagPageTest, ThePreselectedRowIsCurrentAndScrolledIntoView) {
    AddPlainTags(100);
    sheet.InputTagName(CString(Name(90)));
    RunModal(sheet, [&](QDialog*) {
        QApplication::processEvents();
        EXPECT_EQ(List()->currentIndex().row(), 90);
        EXPECT_TRUE(List()->selectionModel()->isRowSelected(90, QModelIndex()));
        const QRect row = List()->visualRect(List()->model()->index(90, 1));
        EXPECT_TRUE(List()->viewport()->rect().contains(row));
    });
}

TEST(TagPageTexts, TypeAndTrendTextsByCode) {
    EXPECT_EQ(std::string(CTagShowExDlg::TagTypeText(2)), Gb("整型"));
    EXPECT_EQ(std::string(CTagShowExDlg::TagTypeText(5)), Gb("全部类型"));
    EXPECT_EQ(std::string(CTagShowExDlg::TagTypeText(6)), "");
    EXPECT_EQ(std::string(CTagShowExDlg::TagTypeText(0)), "");
    EXPECT_EQ(std::string(CTagShowExDlg::TrendFilterText(1)), Gb("未进入趋势库"));
    EXPECT_EQ(std::string(CTagShowExDlg::TrendFilterText(3)), "");
}

}  // namespace
