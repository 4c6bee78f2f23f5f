// The tag page as a person uses it with many tags: the pick that must come back at OK whatever
// page, tab or key took the user elsewhere, the keyboard, the window on a small screen, the
// search's words and total, copying and the column widths.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <set>

#include "BrowserTestSupport.h"
#include "Profile.h"

using namespace mltest;

namespace {

class TagPicksTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ClearListProfile();
        QSettings().remove("memlist");
        CTagShowExDlg::Remembered() = TagPageMemory();
    }
    void AddPlainTags(int n) {
        for (int i = 0; i < n; ++i)
            sheet.tags.push_back(MakeTag(Name(i), 1 + i % 4));
    }
    CTagShowExDlg& Page() { return sheet.GetTagPage(); }
    QTableView* List() { return Control<QTableView>(Page(), CTagShowExDlg::IDC_TAG_LIST); }
    QLineEdit* Search() { return Control<QLineEdit>(Page(), CTagShowExDlg::IDC_SEARCH); }
    std::string Text(int id) {
        QLabel* l = Control<QLabel>(Page(), id);
        return l ? Utf8(l->text()) : "?";
    }
    QPushButton* Button(int id) { return Control<QPushButton>(Page(), id); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    std::vector<std::string> Chosen() {
        CStringArray chosen;
        sheet.GetSelectedTags(chosen);
        return mltest::Strings(chosen);
    }
    std::set<int> SelectedRows() {
        std::set<int> rows;
        for (const QModelIndex& i : List()->selectionModel()->selectedRows())
            rows.insert(i.row());
        return rows;
    }
    bool RowInView(int row) {
        QApplication::processEvents();
        const QRect r = List()->visualRect(List()->model()->index(row, 1));
        return List()->viewport()->rect().contains(r);
    }

    ScratchStore store;
    CListingSheet sheet;
};

TEST_F(TagPicksTest, APreselectedTagOnALaterPageIsShownPickedAndReturnedByOk) {
    AddPlainTags(1000);
    sheet.InputTagName(CString(Name(570)));
    RunModal(sheet, [&](QDialog* dialog) {
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第6页");
        EXPECT_EQ(List()->currentIndex().row(), 70);
        EXPECT_EQ(SelectedRows(), std::set<int>{70});
        EXPECT_TRUE(RowInView(70));
        EXPECT_EQ(dialog->focusWidget(), List());
        ClickOk(dialog);
    });
    EXPECT_EQ(Chosen(), std::vector<std::string>{Name(570)});
    EXPECT_TRUE(ChosenIs(sheet, Name(570), 1 + 570 % 4, "d" + Name(570)));

    // A remembered filter that hides the tag asked for gives way to it.
    RunModal(sheet, [&](QDialog*) {
        Choose(Control<QComboBox>(Page(), CTagShowExDlg::IDC_TYPE), 0);  // booleans only
    });
    sheet.InputTagName(CString(Name(571)));  // a string tag
    RunModal(sheet, [&](QDialog* dialog) {
        EXPECT_EQ(Control<QComboBox>(Page(), CTagShowExDlg::IDC_TYPE)->currentIndex(), 4);
        ASSERT_EQ(SelectedRows().size(), 1u);
        EXPECT_EQ(ColumnTexts(List(), 1)[static_cast<size_t>(*SelectedRows().begin())], Name(571));
        ClickOk(dialog);
    });
    EXPECT_EQ(Chosen(), std::vector<std::string>{Name(571)});
}

TEST_F(TagPicksTest, ARememberedSearchReopensOnTheTruePageAndPagesBackToItsFirst) {
    for (int i = 0; i < 600; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "XV%04d", i);
        sheet.tags.push_back(MakeTag(i % 2 ? std::string(name) : Name(i), 1));
    }
    auto xv = [](int k) {  // the k-th tag the search finds
        char name[16];
        std::snprintf(name, sizeof name, "XV%04d", 2 * k + 1);
        return std::string(name);
    };
    RunModal(sheet, [&](QDialog* dialog) {
        QTest::keyClicks(Search(), "xv");
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第3页");
        EXPECT_FALSE(Button(CTagShowExDlg::IDC_NEXT_PAGE)->isEnabled());
        ClickRow(List(), 5);
        ClickOk(dialog);
    });
    EXPECT_EQ(Chosen(), std::vector<std::string>{xv(205)});
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第3页");
        EXPECT_EQ(ColumnTexts(List(), 1).front(), xv(200));
        EXPECT_EQ(SelectedRows(), std::set<int>{5});
        Click(CTagShowExDlg::IDC_PREV_PAGE);
        Click(CTagShowExDlg::IDC_PREV_PAGE);
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");
        EXPECT_EQ(List()->model()->rowCount(), 100);
        EXPECT_EQ(ColumnTexts(List(), 1).back(), xv(0));  // a step back lists downwards
        EXPECT_FALSE(Button(CTagShowExDlg::IDC_PREV_PAGE)->isEnabled());
        EXPECT_TRUE(Button(CTagShowExDlg::IDC_NEXT_PAGE)->isEnabled());
        // Without a pick, the remembered page is the search's own third page.
        sheet.InputTagName(CString());
    });
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第1页");  // where the last run ended
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
    });
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(Text(CTagShowExDlg::IDC_PAGE_NO), "第3页");
        EXPECT_EQ(ColumnTexts(List(), 1).front(), xv(200));
    });
}

TEST_F(TagPicksTest, PicksOnEveryPageAreKeptUntilOk) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog* dialog) {
        ClickRow(List(), 1);
        for (int row = 2; row <= 5; ++row)
            ClickRow(List(), row, Qt::ControlModifier);
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_TRUE(SelectedRows().empty());
        ClickRow(List(), 10);
        EXPECT_EQ(Text(CTagShowExDlg::IDC_TOTAL), "共250条，已选6");  // the kept ones count
        Click(CTagShowExDlg::IDC_PREV_PAGE);                          // rows 99 down to 0
        EXPECT_EQ(SelectedRows(), (std::set<int>{94, 95, 96, 97, 98}));
        EXPECT_EQ(Text(CTagShowExDlg::IDC_TOTAL), "共250条，已选6");
        ClickOk(dialog);
    });
    const std::vector<std::string> chosen = Chosen();
    EXPECT_EQ(std::set<std::string>(chosen.begin(), chosen.end()),
              (std::set<std::string>{Name(1), Name(2), Name(3), Name(4), Name(5), Name(110)}));
    EXPECT_EQ(chosen.size(), 6u);
    EXPECT_EQ(chosen.front(), Name(5));  // the top picked row of the page shown
}

TEST_F(TagPicksTest, OkOnAnotherTabWithNothingPickedThereReportsTheTagPick) {
    sheet.tags = {MakeTag("PS000", 1), MakeTag("PS001", 2)};
    sheet.events = {MakeItem("4", 5, 1)};
    sheet.SetShowPage(1, 1, 0, 0);
    RunModal(sheet, [&](QDialog* dialog) {
        ClickRow(List(), 0);
        QTabBar* bar = dialog->findChild<QTabWidget*>()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(1).center());
        ASSERT_EQ(dialog->findChild<QTabWidget*>()->currentIndex(), 1);
        ClickOk(dialog);
    });
    EXPECT_EQ(Chosen(), std::vector<std::string>{"PS000"});
    EXPECT_TRUE(ChosenIs(sheet, "PS000", 1, "dPS000"));
}

TEST_F(TagPicksTest, HomeAndEndGoToTheFirstAndLastRowAndPickIt) {
    AddPlainTags(100);
    const int result = RunModal(sheet, [&](QDialog*) {
        ClickRow(List(), 3);
        QTest::keyClick(List(), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(List()->currentIndex().row(), 99);
        EXPECT_EQ(SelectedRows(), std::set<int>{99});
        QTest::keyClick(List(), Qt::Key_Home);
        EXPECT_EQ(List()->currentIndex().row(), 0);
        QTest::keyClick(List(), Qt::Key_End);
        EXPECT_EQ(List()->currentIndex().row(), 99);
        QTest::keyClick(List(), Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(List(), Qt::Key_End, Qt::ControlModifier);
        EXPECT_TRUE(RowInView(99));
        // Ctrl+arrows move without picking; Ctrl+Space adds the row.
        QTest::keyClick(List(), Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(List(), Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(List(), Qt::Key_Space, Qt::ControlModifier);
        EXPECT_EQ(SelectedRows(), (std::set<int>{97, 99}));
        QTest::keyClick(List(), Qt::Key_Return);  // the dialog's OK
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Chosen(), (std::vector<std::string>{Name(97), Name(99)}));
}

TEST_F(TagPicksTest, TypingAtOnceSearchesTabLeavesTheListAndCtrlTabSwitchesPages) {
    AddPlainTags(250);
    sheet.events = {MakeItem("4", 5, 1)};
    sheet.SetShowPage(1, 1, 0, 0);
    RunModal(sheet, [&](QDialog* dialog) {
        QApplication::processEvents();
        ASSERT_NE(dialog->focusWidget(), nullptr);
        QTest::keyClicks(dialog->focusWidget(), "t12");
        EXPECT_EQ(Search()->text(), "t12");
        EXPECT_EQ(ColumnTexts(List(), 1), Names(120, 129));

        QTest::keyClick(Search(), Qt::Key_Return);  // into the list
        ASSERT_EQ(dialog->focusWidget(), List());
        QTest::keyClicks(List(), "t125");  // type-ahead picks the row it finds
        EXPECT_EQ(SelectedRows(), std::set<int>{5});
        QTest::keyClick(List(), Qt::Key_Tab);
        EXPECT_NE(dialog->focusWidget(), List());
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(dialog->focusWidget(), List());
        QTest::keyClick(List(), Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(dialog->findChild<QTabWidget*>()->currentIndex(), 1);
    });
}

TEST_F(TagPicksTest, ARefillShowsItsFirstRow) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog*) {
        ClickRow(List(), 0);
        QTest::keyClick(List(), Qt::Key_End);
        ASSERT_FALSE(RowInView(0));
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_TRUE(RowInView(0));
        QTest::keyClick(List(), Qt::Key_End);
        ASSERT_FALSE(RowInView(0));
        QTest::keyClicks(Search(), "t");
        EXPECT_TRUE(RowInView(0));
    });
}

TEST_F(TagPicksTest, ASavedSizeLargerThanTheScreenIsClampedAndTheDialogShrinksBelowItsTemplate) {
    AddPlainTags(250);
    {
        QSettings settings;
        settings.setValue("memlist/Width", 5000);
        settings.setValue("memlist/Height", 5000);
    }
    RunModal(sheet, [&](QDialog* dialog) {
        QApplication::processEvents();
        const QRect screen = dialog->screen()->availableGeometry();
        EXPECT_LE(dialog->width(), screen.width());
        EXPECT_LE(dialog->height(), screen.height());
        const int templateHeight = List()->parentWidget()->sizeHint().height();
        EXPECT_LT(dialog->minimumSizeHint().height(), templateHeight);
        const QSize small(dialog->width(), dialog->minimumSizeHint().height());
        dialog->resize(small);
        QApplication::processEvents();
        // Everything but the list keeps its size; the list scrolls what it cannot show.
        for (int id : {CTagShowExDlg::IDC_NEXT_PAGE, CTagShowExDlg::IDC_PREV_PAGE}) {
            QWidget* b = Button(id);
            const QRect r(b->mapTo(dialog, QPoint(0, 0)), b->size());
            EXPECT_TRUE(dialog->rect().contains(r)) << id;
            EXPECT_GE(r.top(), List()->mapTo(dialog, QPoint(0, List()->height())).y());
        }
        EXPECT_GT(List()->height(), 3 * List()->verticalHeader()->defaultSectionSize());
        EXPECT_TRUE(List()->verticalScrollBar()->maximum() > 0);
    });
}

TEST_F(TagPicksTest, PastedTextWithATabAndALineBreakFindsTheTagAndTheTotalIsShown) {
    AddPlainTags(250);
    sheet.tags.push_back(MakeTag("LIC101", 3));
    RunModal(sheet, [&](QDialog*) {
        EXPECT_EQ(Text(CTagShowExDlg::IDC_TOTAL), "共251条");
        QGuiApplication::clipboard()->setText("LIC101\t\r\n");
        Search()->setFocus();
        QTest::keyClick(Search(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(ColumnTexts(List(), 1), std::vector<std::string>{"LIC101"});
        EXPECT_EQ(Text(CTagShowExDlg::IDC_TOTAL), "共1条");

        Search()->selectAll();
        QTest::keyClicks(Search(), "t1*");  // T100..T199
        EXPECT_EQ(Text(CTagShowExDlg::IDC_TOTAL), "共100条");
        QTest::keyClicks(Search(), " d*5");  // and a description ending in 5
        EXPECT_EQ(Text(CTagShowExDlg::IDC_TOTAL), "共10条");
        EXPECT_EQ(Text(CTagShowExDlg::IDC_ROW_COUNT), "条数：10");
    });
}

TEST_F(TagPicksTest, CtrlCCopiesThePickedNamesOfEveryPage) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog*) {
        ClickRow(List(), 7);
        ClickRow(List(), 3, Qt::ControlModifier);
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        ClickRow(List(), 0, Qt::ControlModifier);
        QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
                  Name(100) + "\n" + Name(3) + "\n" + Name(7) + "\n");
    });
}

TEST_F(TagPicksTest, TheSortMarkGoesWhenARefillPutsTheRowsBackInListOrder) {
    AddPlainTags(250);
    RunModal(sheet, [&](QDialog*) {
        QHeaderView* h = List()->horizontalHeader();
        auto markPixel = [h] {
            QApplication::processEvents();
            const int R = h->sectionViewportPosition(1) + h->sectionSize(1);
            const int o = h->height() / 4;
            return h->grab().toImage().pixel(R - 2 * o, h->height() - o - 3) & 0xFFFFFF;
        };
        const QRgb mark = GetSysColor(COLOR_BTNTEXT).rgb() & 0xFFFFFF;
        ASSERT_NE(markPixel(), mark);
        QApplication::processEvents();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(1) + 10, h->height() / 2));
        EXPECT_EQ(markPixel(), mark);
        EXPECT_EQ(ColumnTexts(List(), 1).front(), Name(0));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(1) + 10, h->height() / 2));
        EXPECT_EQ(ColumnTexts(List(), 1).front(), Name(99));  // descending
        Click(CTagShowExDlg::IDC_NEXT_PAGE);
        EXPECT_EQ(ColumnTexts(List(), 1).front(), Name(100));
        EXPECT_NE(markPixel(), mark);
    });
}

// Drags the right edge of column `c` in `header` by `dx` pixels, button held throughout.
void DragColumnEdge(QHeaderView* header, int c, int dx) {
    QApplication::processEvents();
    const QPoint from(header->sectionViewportPosition(c) + header->sectionSize(c) - 1,
                      header->height() / 2);
    QWidget* vp = header->viewport();
    auto send = [vp](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, vp->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int step = 1; step <= 4; ++step)
        send(QEvent::MouseMove, from + QPoint(dx * step / 4, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + QPoint(dx, 0), Qt::NoButton);
}

TEST_F(TagPicksTest, DraggedColumnWidthsComeBackWithoutTouchingTheSharedEntry) {
    AddPlainTags(10);
    int widened = 0;
    RunModal(sheet, [&](QDialog*) {
        QHeaderView* h = List()->horizontalHeader();
        const int before = h->sectionSize(2);
        DragColumnEdge(h, 2, 60);
        widened = h->sectionSize(2);
        EXPECT_GT(widened, before + 30);
        // The last column takes the rest of the list's width.
        const int last = h->count() - 1;
        EXPECT_GE(h->sectionViewportPosition(last) + h->sectionSize(last),
                  List()->viewport()->width() - 1);
    });
    std::string bytes;
    EXPECT_FALSE(mlui::GetProfileBinary("ListCtrls", "1003", bytes));
    RunModal(sheet,
             [&](QDialog*) { EXPECT_EQ(List()->horizontalHeader()->sectionSize(2), widened); });
}

}  // namespace
