// The toolkit layer under the pages: sorted and unsorted drop-down lists, exact and prefix
// look-ups, dialog units, texts crossing into Qt, and a sheet that has nothing to show.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <string>
#include <vector>

#include "DlgTemplate.h"
#include "PropertySheet.h"
#include "UiTestSupport.h"
#include "UiText.h"
#include "Wnd.h"

// The font library keeps its caches for the life of the process; they are not leaks of ours.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

using mltest::Gb;

namespace {

class ToolkitTest : public ::testing::Test {
protected:
    void SetUp() override {
        mltest::App();
        static const mlui::DlgItem items[] = {
            {mlui::CtlKind::DropList, 1, "", 0, 0, 80, 12, mlui::CTL_SORTED},
            {mlui::CtlKind::DropList, 2, "", 0, 20, 80, 12, 0},
            {mlui::CtlKind::Text, 3, "", 0, 40, 80, 12, mlui::CTL_HIDDEN | mlui::CTL_DISABLED},
        };
        static const mlui::DlgTemplate tpl = {100, "", 100, 60, items, 3};
        window.reset(mlui::CreateFromTemplate(tpl, nullptr));
        ASSERT_TRUE(sorted.SubclassWindow(CWnd::FindControl(window.get(), 1)));
        ASSERT_TRUE(plain.SubclassWindow(CWnd::FindControl(window.get(), 2)));
    }
    std::vector<std::string> Texts(CComboBox& box) {
        std::vector<std::string> out;
        for (int i = 0; i < box.GetCount(); ++i)
            out.push_back(box.GetLBText(i).str());
        return out;
    }

    std::unique_ptr<QWidget> window;
    CComboBox sorted, plain;
};

TEST_F(ToolkitTest, SortedListsOrderByTextAndPlainOnesKeepInsertionOrder) {
    for (const char* s : {"g2", "g10", "g1"}) {
        sorted.AddString(s);
        plain.AddString(s);
    }
    EXPECT_EQ(Texts(sorted), (std::vector<std::string>{"g1", "g10", "g2"}));
    EXPECT_EQ(Texts(plain), (std::vector<std::string>{"g2", "g10", "g1"}));
    EXPECT_EQ(sorted.AddString("g0"), 0);  // the index where it went
}

TEST_F(ToolkitTest, ItemDataSelectionAndLookUps) {
    plain.AddString("alpha");
    plain.AddString("alphabet");
    EXPECT_TRUE(plain.SetItemData(1, 77));
    EXPECT_FALSE(plain.SetItemData(2, 1));
    EXPECT_EQ(plain.GetItemData(1), 77u);
    EXPECT_EQ(plain.GetItemData(5), 0u);
    EXPECT_EQ(plain.GetCurSel(), -1);
    EXPECT_EQ(plain.SetCurSel(9), CB_ERR);
    EXPECT_EQ(plain.SetCurSel(1), 1);
    EXPECT_EQ(plain.GetWindowText(), "alphabet");
    EXPECT_EQ(plain.SelectString(-1, "ALPHA"), 0);  // prefix, any case
    EXPECT_EQ(plain.SelectString(0, "alpha"), 1);   // after the start entry
    EXPECT_EQ(plain.FindStringExact(-1, "alphabet"), 1);
    EXPECT_EQ(plain.FindStringExact(-1, "alph"), CB_ERR);
    plain.ResetContent();
    EXPECT_EQ(plain.GetCount(), 0);
}

TEST_F(ToolkitTest, ProgrammaticSelectionIsNotReportedAsAUserChange) {
    int changes = 0;
    plain.SetSelChangeHandler([&] { ++changes; });
    plain.AddString("a");
    plain.AddString("b");
    plain.SetCurSel(1);
    EXPECT_EQ(changes, 0);
    auto* box = qobject_cast<QComboBox*>(plain.GetWidget());
    box->setCurrentIndex(0);
    emit box->activated(0);
    EXPECT_EQ(changes, 1);
}

TEST_F(ToolkitTest, TextsCrossIntoQtAsUnicodeAndBackAsGb2312) {
    CStatic label;
    ASSERT_TRUE(label.SubclassWindow(CWnd::FindControl(window.get(), 3)));
    label.SetWindowText(Gb("第2页").c_str());
    EXPECT_EQ(qobject_cast<QLabel*>(label.GetWidget())->text(), QString::fromUtf8("第2页"));
    EXPECT_EQ(label.GetWindowText(), Gb("第2页"));
    EXPECT_FALSE(label.GetWidget()->isVisibleTo(window.get()));
    EXPECT_FALSE(label.GetWidget()->isEnabled());
}

TEST_F(ToolkitTest, ControlsComeUnboundWhenTheirWindowGoes) {
    window.reset();
    EXPECT_FALSE(sorted.HasWindow());
    EXPECT_EQ(sorted.AddString("x"), CB_ERR);
    EXPECT_EQ(sorted.GetCount(), 0);
}

TEST(DialogUnits, ScaleWithTheFont) {
    mltest::App();
    QFont small = mlui::DialogFont(), big = small;
    big.setPointSize(18);
    QRect a = mlui::MapDialogRect(small, 4, 8, 200, 80),
          b = mlui::MapDialogRect(big, 4, 8, 200, 80);
    EXPECT_GT(a.width(), 0);
    EXPECT_GT(b.width(), a.width());
    EXPECT_GT(b.height(), a.height());
    // Four horizontal units make one average character width.
    EXPECT_NEAR(a.width(), 50 * mlui::MapDialogRect(small, 0, 0, 4, 0).width(), 50);
}

TEST(Collation, ComparesGb2312TextsInPinyinOrder) {
    EXPECT_LT(mlui::CompareLocale(Gb("安").c_str(), Gb("北").c_str()), 0);
    EXPECT_EQ(mlui::CompareLocale("same", "same"), 0);
    EXPECT_GT(mlui::CompareLocale("b", nullptr), 0);
}

TEST(Collation, DigitsPunctuationAndLatinComeBeforeChineseWhichKeepsPinyinOrder) {
    std::vector<std::string> texts = {Gb("温度"), "Pump", Gb("阀门"), "#2", Gb("2号泵"), "abc"};
    std::sort(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) {
        return mlui::CompareLocale(a.c_str(), b.c_str()) < 0;
    });
    EXPECT_EQ(texts,
              (std::vector<std::string>{"#2", Gb("2号泵"), "abc", "Pump", Gb("阀门"), Gb("温度")}));
}

}  // namespace
