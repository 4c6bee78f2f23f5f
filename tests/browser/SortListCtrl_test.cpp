// The sortable list control on a real list view: column spec, rows and their copies, the three
// comparison kinds, clicks on the header, the drawn sort mark and the column-width record.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <cstdlib>
#include <string>
#include <vector>

#include "Dc.h"
#include "Profile.h"
#include "SortListCtrl.h"
#include "UiTestSupport.h"

using mltest::Gb;

namespace {

class SortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        mltest::ClearListProfile();
        ASSERT_TRUE(list.SubclassWindow(win.View()));
    }
    void Fill(const std::vector<std::vector<std::string>>& rows) {
        for (const auto& r : rows)
            list.AddRowV({r[0].c_str(), r[1].c_str(), r[2].c_str()});
    }
    std::vector<std::string> Column(int c) {
        std::vector<std::string> out;
        for (int i = 0; i < list.GetItemCount(); ++i) {
            const auto* texts = list.GetRowTexts(i);
            out.push_back(texts ? (*texts)[static_cast<size_t>(c)].str() : "?");
            // What the view shows must be the control's copy.
            EXPECT_EQ(list.GetItemText(i, c), (*texts)[static_cast<size_t>(c)]);
        }
        return out;
    }
    void ClickColumn(int c) {
        QApplication::processEvents();
        QHeaderView* h = win.Header();
        QPoint at(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    std::string HeadingOf(int c) {
        char buf[64] = {};
        HDITEM item;
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = buf;
        item.cchTextMax = sizeof buf;
        EXPECT_TRUE(list.GetSortHeader().GetItem(c, &item));
        return buf;
    }

    mltest::ListWindow win;
    CSortListCtrl list;
};

TEST_F(SortListTest, ColumnSpecKeepsTheBlankAfterEachSemicolonAndTheWidths) {
    ASSERT_TRUE(list.SetColumnSpec(mltest::GbS("序号, 50; 事件名称, 120; 事件描述, 170")));
    ASSERT_EQ(list.GetColumnCount(), 3);
    ASSERT_EQ(list.GetSortHeader().GetItemCount(), 3);
    EXPECT_EQ(HeadingOf(0), Gb("序号"));
    EXPECT_EQ(HeadingOf(1), " " + Gb("事件名称"));
    EXPECT_EQ(HeadingOf(2), " " + Gb("事件描述"));
    EXPECT_EQ(win.Header()->sectionSize(0), 50);
    EXPECT_EQ(win.Header()->sectionSize(1), 120);
    EXPECT_EQ(win.Header()->sectionSize(2), 170);
    EXPECT_EQ(win.View()->model()->headerData(1, Qt::Horizontal).toString(),
              QString::fromUtf8(" 事件名称"));
}

TEST_F(SortListTest, ColumnSpecIgnoresATrailingEntryWithoutComma) {
    ASSERT_TRUE(list.SetColumnSpec("a, 10; b"));
    EXPECT_EQ(list.GetColumnCount(), 1);
    EXPECT_EQ(HeadingOf(0), "a");
    EXPECT_EQ(win.Header()->sectionSize(0), 10);
}

TEST_F(SortListTest, ColumnSpecFailsWithoutAWindow) {
    CSortListCtrl unbound;
    EXPECT_FALSE(unbound.SetColumnSpec("a, 10; b, 20"));
    EXPECT_EQ(unbound.AddRow("x", "y"), -1);
}

TEST_F(SortListTest, RowsKeepPrivateCopiesAndTheirOwnItemData) {
    ASSERT_TRUE(list.SetColumnSpec("a, 10; b, 10; c, 10"));
    std::string first = "one";
    EXPECT_EQ(list.AddRow(first.c_str(), CString("two"), std::string("three")), 0);
    first[0] = 'X';  // the caller's buffer changes: the row keeps its copy
    EXPECT_EQ(list.AddRow("four", "five"), 1);  // a missing text is empty
    EXPECT_EQ(Column(0), (std::vector<std::string>{"one", "four"}));
    EXPECT_EQ(Column(2), (std::vector<std::string>{"three", ""}));

    EXPECT_EQ(list.GetItemData(0), 0u);
    EXPECT_TRUE(list.SetItemData(1, 77));
    EXPECT_FALSE(list.SetItemData(2, 5));
    EXPECT_FALSE(list.SetItemData(-1, 5));
    EXPECT_EQ(list.GetItemData(1), 77u);
    // The toolkit word holds the row record, not the caller's data.
    EXPECT_NE(list.CListCtrl::GetItemData(1), 77u);

    EXPECT_TRUE(list.SetItemText(0, 1, "TWO"));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"TWO", "five"}));
    EXPECT_FALSE(list.SetItemText(0, 3, "nope"));
    EXPECT_FALSE(list.SetItemText(5, 0, "nope"));

    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"four"}));
    EXPECT_EQ(list.GetItemData(0), 77u);
    EXPECT_FALSE(list.DeleteItem(1));
    EXPECT_EQ(list.GetRowTexts(1), nullptr);
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST_F(SortListTest, ClicksSortAscendingThenToggleAndANewColumnStartsAscending) {
    ASSERT_TRUE(list.SetColumnSpec("a, 60; b, 60; c, 60"));
    Fill({{"x", "q", "2"}, {"z", "p", "10"}, {"y", "r", "9"}});
    EXPECT_EQ(list.GetSortColumn(), -1);
    ClickColumn(2);
    EXPECT_EQ(list.GetSortColumn(), 2);
    EXPECT_TRUE(list.IsSortAscending());
    EXPECT_EQ(Column(2), (std::vector<std::string>{"2", "9", "10"}));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"x", "y", "z"}));  // rows move whole
    ClickColumn(2);
    EXPECT_FALSE(list.IsSortAscending());
    EXPECT_EQ(Column(2), (std::vector<std::string>{"10", "9", "2"}));
    ClickColumn(1);
    EXPECT_EQ(list.GetSortColumn(), 1);
    EXPECT_TRUE(list.IsSortAscending());
    EXPECT_EQ(Column(1), (std::vector<std::string>{"p", "q", "r"}));
    EXPECT_EQ(list.GetSortHeader().GetSortColumn(), 1);
}

TEST_F(SortListTest, SortKeepsSelectionAndItemDataWithTheirRows) {
    ASSERT_TRUE(list.SetColumnSpec("a, 60; b, 60; c, 60"));
    Fill({{"b", "", ""}, {"c", "", ""}, {"a", "", ""}});
    list.SetItemData(1, 42);
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list.SortByColumn(0, FALSE);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(list.GetItemData(0), 42u);
    EXPECT_EQ(list.GetSelectedItems(), std::vector<int>{0});
}

TEST(SortCompare, DigitsCompareAsNumbersAndDecimalsAsText) {
    EXPECT_LT(CSortListCtrl::CompareTexts("9", "10", TRUE), 0);
    EXPECT_LT(CSortListCtrl::CompareTexts("10", "100", TRUE), 0);
    EXPECT_GT(CSortListCtrl::CompareTexts("9", "10", FALSE), 0);
    EXPECT_EQ(CSortListCtrl::CompareTexts("007", "7", TRUE), 0);
    // 10.000000 is not all digits: text order puts it first.
    EXPECT_LT(CSortListCtrl::CompareTexts("10.000000", "9.000000", TRUE), 0);
    EXPECT_LT(CSortListCtrl::CompareTexts("-5", "3", TRUE), 0);  // as text: '-' before '3'
}

TEST(SortCompare, AnEmptyFirstTextCountsAsANumber) {
    EXPECT_EQ(CSortListCtrl::CompareTexts("", "abc", TRUE), 0);  // atoi("abc") = 0
    EXPECT_LT(CSortListCtrl::CompareTexts("", "5", TRUE), 0);
    EXPECT_GT(CSortListCtrl::CompareTexts("12", "", TRUE), 0);
    // Overlong digit strings saturate instead of overflowing.
    EXPECT_GT(CSortListCtrl::CompareTexts("99999999999999999999", "5", TRUE), 0);
}

TEST(SortCompare, SlashDatesCompareYearThenPositionThreeThenPositionZero) {
    EXPECT_LT(CSortListCtrl::CompareTexts("15/01/2003", "31/01/2003", TRUE), 0);
    EXPECT_LT(CSortListCtrl::CompareTexts("31/01/2003", "01/02/2003", TRUE), 0);
    EXPECT_LT(CSortListCtrl::CompareTexts("31/12/2002", "01/01/2003", TRUE), 0);
    EXPECT_EQ(CSortListCtrl::CompareTexts("01/02/2003", "01/02/2003", TRUE), 0);
    EXPECT_GT(CSortListCtrl::CompareTexts("15/01/2003", "31/01/2003", FALSE), 0);
    // Only the first text must be a date; a short second one is read as far as it goes.
    EXPECT_GT(CSortListCtrl::CompareTexts("01/01/2003", "x", TRUE), 0);
    // Not quite a date: compared as text.
    EXPECT_GT(CSortListCtrl::CompareTexts("1/01/2003", "01/01/2003", TRUE), 0);
}

TEST(SortCompare, TextFollowsChinesePinyinOrderAndIsCaseSensitive) {
    // 亟 (ji) is a second-level character with a higher GB2312 code than 做 (zuo).
    std::string ji = Gb("亟"), zuo = Gb("做");
    ASSERT_GT(static_cast<unsigned char>(ji[0]), static_cast<unsigned char>(zuo[0]));
    EXPECT_LT(CSortListCtrl::CompareTexts(ji.c_str(), zuo.c_str(), TRUE), 0);
    EXPECT_LT(CSortListCtrl::CompareTexts(Gb("北京").c_str(), Gb("天津").c_str(), TRUE), 0);
    EXPECT_NE(CSortListCtrl::CompareTexts("abc", "ABC", TRUE), 0);
    EXPECT_EQ(CSortListCtrl::CompareTexts("abc", "abc", TRUE), 0);
    EXPECT_GT(CSortListCtrl::CompareTexts(ji.c_str(), zuo.c_str(), FALSE), 0);
}

class SortMarkTest : public SortListTest {
protected:
    QImage Grab() {
        QApplication::processEvents();
        return win.Header()->grab().toImage();
    }
    QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }
};

TEST_F(SortMarkTest, TrianglesSitAtTheirPixelsInColoursThatStandOutOnTheStylesSection) {
    ASSERT_TRUE(list.SetColumnSpec("a, 80; b, 80"));
    QApplication::processEvents();
    const QImage plain = Grab();  // every section as the style draws it
    list.SortByColumn(1, TRUE);
    QApplication::processEvents();
    QHeaderView* h = win.Header();
    const int R = h->sectionViewportPosition(1) + h->sectionSize(1);
    const int B = h->height();
    const int o = B / 4;
    ASSERT_GE(o, 3);
    const QRgb light = GetSysColor(COLOR_BTNSHADOW).rgb() & 0xFFFFFF,
               shadow = GetSysColor(COLOR_BTNTEXT).rgb() & 0xFFFFFF;
    // Both edges must be told apart from the header behind them.
    for (QRgb c : {light, shadow})
        EXPECT_GT(std::abs(qGray(c) - qGray(At(plain, R - 2 * o, B / 2))), 60);
    auto face = [&](int x, int y) { return At(plain, x, y); };

    // Lines leave out their end points, as the drawing rules of the original toolkit do.
    QImage up = Grab();
    EXPECT_EQ(At(up, R - o, B - o - 1), light);  // right end of the base
    EXPECT_EQ(At(up, R - 2 * o, B - o - 1), light);
    EXPECT_EQ(At(up, R - 3 * o - 1, B - o - 1), shadow);  // left end, where the shadow starts
    EXPECT_EQ(At(up, R - 3 * o - 2, B - o - 1), face(R - 3 * o - 2, B - o - 1));  // left out
    EXPECT_NE(At(up, R - 2 * o, o), face(R - 2 * o, o));                          // apex
    EXPECT_EQ(At(up, R - 2 * o, o - 2), face(R - 2 * o, o - 2));  // nothing above it
    EXPECT_EQ(At(up, R - 2 * o, B - o - 3), shadow);              // solid inside
    // The section keeps the style's separator and bottom line.
    EXPECT_EQ(At(up, R - 1, B / 2), face(R - 1, B / 2));
    EXPECT_EQ(At(up, R - 5 * o, B - 1), face(R - 5 * o, B - 1));

    list.SortByColumn(1, FALSE);
    QImage down = Grab();
    EXPECT_EQ(At(down, R - o - 1, o), light);  // the shadow's last line stops short of it
    EXPECT_EQ(At(down, R - o - 2, o), shadow);
    EXPECT_EQ(At(down, R - 2 * o, o), shadow);
    EXPECT_EQ(At(down, R - 3 * o - 1, o), shadow);
    EXPECT_EQ(At(down, R - 2 * o - 2, B - o), shadow);                      // bottom apex
    EXPECT_EQ(At(down, R - 2 * o - 1, B - o), face(R - 2 * o - 1, B - o));  // left out
    EXPECT_EQ(At(down, R - 2 * o - 1, o + 3), shadow);                      // solid inside
    EXPECT_EQ(At(down, R - o - 1, B - o - 1), face(R - o - 1, B - o - 1));  // old base

    // Column 0 is not the sort column: no triangle in its corner.
    const int R0 = h->sectionViewportPosition(0) + h->sectionSize(0);
    EXPECT_NE(At(down, R0 - o - 1, o), light);
    EXPECT_NE(At(down, R0 - 2 * o, o), shadow);
}

TEST_F(SortMarkTest, AnEarlierMarkedColumnStaysOwnerDrawnWithoutTriangle) {
    ASSERT_TRUE(list.SetColumnSpec("a, 80; b, 80"));
    QApplication::processEvents();
    const QImage plain = Grab();
    list.SortByColumn(0, TRUE);
    list.SortByColumn(1, TRUE);
    QApplication::processEvents();
    HDITEM item;
    item.mask = HDI_FORMAT;
    ASSERT_TRUE(list.GetSortHeader().GetItem(0, &item));
    EXPECT_TRUE(item.fmt & HDF_OWNERDRAW);
    QHeaderView* h = win.Header();
    const int R0 = h->sectionViewportPosition(0) + h->sectionSize(0);
    const int B0 = h->height(), o = B0 / 4;
    QImage img = Grab();
    EXPECT_EQ(At(img, R0 - 2 * o, o), At(plain, R0 - 2 * o, o));
    EXPECT_EQ(At(img, R0 - o - 1, B0 - o - 1), At(plain, R0 - o - 1, B0 - o - 1));
}

TEST_F(SortListTest, TypeAheadLooksInTheNameColumnWhicheverCellIsCurrent) {
    ASSERT_TRUE(list.SetColumnSpec("no, 40; name, 80"));
    list.SetTypeAheadColumn(1);
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    list.AddRow("1", "beta");
    list.AddRow("2", "alpha");
    list.AddRow("3", "bravo");
    list.AddRow("4", "Brown");
    QTableView* view = win.View();
    view->setFocus();
    QApplication::processEvents();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(1, 0)).center());
    ASSERT_EQ(view->currentIndex().column(), 0);
    QTest::keyClicks(view, "br");
    EXPECT_EQ(view->currentIndex().row(), 2);
    EXPECT_TRUE(view->selectionModel()->isRowSelected(2, QModelIndex()));
    // Typing the same letter again steps on to the next name that begins with it (any case).
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClick(view, Qt::Key_B);
    EXPECT_EQ(view->currentIndex().row(), 3);
}

std::string WidthRecord(const std::vector<int>& widths, int count) {
    std::string out;
    auto put = [&out](int v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((static_cast<unsigned>(v) >> (8 * i)) & 0xFF));
    };
    put(count);
    for (int w : widths)
        put(w);
    return out;
}

TEST_F(SortListTest, StoredWidthsComeBackFromTheProfileUnderTheControlId) {
    ASSERT_TRUE(list.SetColumnSpec("a, 50; b, 60; c, 70"));
    ASSERT_TRUE(mlui::WriteProfileBinary("ListCtrls", "1003", WidthRecord({11, 22, 33}, 3)));
    list.RestoreColumnWidths();
    EXPECT_EQ(win.Header()->sectionSize(0), 11);
    EXPECT_EQ(win.Header()->sectionSize(1), 22);
    EXPECT_EQ(win.Header()->sectionSize(2), 33);

    win.Header()->resizeSection(1, 99);
    list.StoreColumnWidths();
    std::string bytes;
    ASSERT_TRUE(mlui::GetProfileBinary("ListCtrls", "1003", bytes));
    EXPECT_EQ(bytes, WidthRecord({11, 99, 33}, 3));
}

TEST_F(SortListTest, WidthRecordsOfAnotherCountOrCutShortChangeNothing) {
    ASSERT_TRUE(list.SetColumnSpec("a, 50; b, 60; c, 70"));
    ASSERT_TRUE(mlui::WriteProfileBinary("ListCtrls", "1003", WidthRecord({1, 2}, 2)));
    list.RestoreColumnWidths();
    ASSERT_TRUE(mlui::WriteProfileBinary("ListCtrls", "1003", WidthRecord({5, 6}, 3)));  // short
    list.RestoreColumnWidths();
    ASSERT_TRUE(mlui::WriteProfileBinary("ListCtrls", "1003", std::string("\x03\x00", 2)));
    list.RestoreColumnWidths();
    ASSERT_TRUE(
        mlui::WriteProfileBinary("ListCtrls", "1004", WidthRecord({7, 8, 9}, 3)));  // other ID
    list.RestoreColumnWidths();
    EXPECT_EQ(win.Header()->sectionSize(0), 50);
    EXPECT_EQ(win.Header()->sectionSize(1), 60);
    EXPECT_EQ(win.Header()->sectionSize(2), 70);
}

TEST(SortListWindow, RowsGoWithTheWindowAndTheControlCanBindAgain) {
    CSortListCtrl list;
    {
        mltest::ListWindow win;
        ASSERT_TRUE(list.SubclassWindow(win.View()));
        ASSERT_TRUE(list.SetColumnSpec("a, 10; b, 10"));
        list.AddRow("1", "2");
        list.AddRow("3", "4");
        win.Close();
        EXPECT_FALSE(list.HasWindow());
        EXPECT_EQ(list.GetItemCount(), 0);
    }
    mltest::ListWindow again;
    EXPECT_TRUE(list.SubclassWindow(again.View()));
}

}  // namespace
