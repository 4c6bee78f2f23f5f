// A browser sheet over a scratch store whose listings come from the test, and a way to drive a
// modal run: the script runs once the dialog is up, and the run is ended if the script did not.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Gb2312.h"
#include "TagShowSheet.h"
#include "UiTestSupport.h"

namespace mltest {

// The sheet's store directory for the life of a test.
struct ScratchStore {
    TempDir dir;
    ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
};

class CListingSheet : public CMemTagShowSheet {
public:
    CListingSheet() : CMemTagShowSheet("test") {}

    std::vector<CMemTag> tags, events, tasks, structs;
    std::vector<std::pair<DWORD, std::string>> areas;            // number, description
    std::vector<std::tuple<DWORD, DWORD, std::string>> regions;  // area, region, name

    int GetAllTags(CArray<CMemTag, CMemTag&>& arr, int) override { return Fill(arr, tags); }
    int GetAllEvents(CArray<CMemTag, CMemTag&>& arr, int) override { return Fill(arr, events); }
    int GetAllTasks(CArray<CMemTag, CMemTag&>& arr, int) override { return Fill(arr, tasks); }
    int GetAllStructObjects(CArray<CMemTag, CMemTag&>& arr, int) override {
        return Fill(arr, structs);
    }
    int GetAllAreaInfo(CDWordArray& no, CStringArray& name, CStringArray& desc) override {
        no.RemoveAll();
        name.RemoveAll();
        desc.RemoveAll();
        for (const auto& [n, d] : areas) {
            no.Add(n);
            name.Add(CString("A"));
            desc.Add(CString(d));
        }
        return 1;
    }
    int GetAllRegionInfo(CDWordArray& areaNo, CDWordArray& regionNo, CStringArray& name,
                         CStringArray& desc) override {
        areaNo.RemoveAll();
        regionNo.RemoveAll();
        name.RemoveAll();
        desc.RemoveAll();
        for (const auto& [a, r, n] : regions) {
            areaNo.Add(a);
            regionNo.Add(r);
            name.Add(CString(n));
            desc.Add(CString(n));
        }
        return 1;
    }

private:
    static int Fill(CArray<CMemTag, CMemTag&>& arr, const std::vector<CMemTag>& from) {
        arr.RemoveAll();
        for (CMemTag t : from)
            arr.Add(t);
        return 1;
    }
};

inline CMemTag MakeTag(const std::string& name, int type, int area = 0, int region = 0,
                       int trend = 0) {
    CMemTag t;
    t.strName = name;
    t.strDesc = "d" + name;
    t.nDataType = type;
    t.nArea = area;
    t.nRegion = region;
    t.nTrend = trend;
    t.nDataSource = 2;
    t.dRangeHigh = 100;
    return t;
}

// The tag names T000, T001, ... that plain test tags get.
inline std::string Name(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "T%03d", i);
    return buf;
}

inline std::vector<std::string> Names(int from, int to) {  // inclusive, either direction
    std::vector<std::string> out;
    for (int i = from;; i += from <= to ? 1 : -1) {
        out.push_back(Name(i));
        if (i == to)
            break;
    }
    return out;
}

// An event, task or struct object as the store lists it.
inline CMemTag MakeItem(const std::string& name, int type, int group,
                        const std::string& desc = "") {
    CMemTag t;
    t.strName = name;
    t.strDesc = desc.empty() ? "d" + name : desc;
    t.nDataType = type;
    t.nArea = group;
    t.nDataSource = 2;
    return t;
}

// Runs the sheet modally with `script` driving it; returns DoModal's result.
inline int RunModal(CMemTagShowSheet& sheet, const std::function<void(QDialog*)>& script) {
    App();
    QTimer::singleShot(0, [&sheet, &script] {
        QDialog* dialog = sheet.GetDialog();
        if (!dialog)
            return;
        script(dialog);
        if (sheet.GetDialog() && sheet.GetDialog()->isVisible())
            sheet.EndDialog(IDCANCEL);
    });
    return sheet.DoModal();
}

// The shown page's widget (the current tab's contents).
inline QWidget* PageWidget(CPropertyPage& page) {
    return page.GetWidget();
}

template <class T>
T* Control(CPropertyPage& page, int nID) {
    return qobject_cast<T*>(CWnd::FindControl(page.GetWidget(), nID));
}

inline std::string Utf8(const QString& s) {
    return s.toStdString();
}

// What a user does with a drop-down list: picks entry `i`.
inline void Choose(QComboBox* box, int i) {
    box->setCurrentIndex(i);
    emit box->activated(i);
}

inline std::vector<std::string> ColumnTexts(QTableView* view, int col) {
    std::vector<std::string> out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out.push_back(view->model()->index(r, col).data().toString().toStdString());
    return out;
}

inline void ClickRow(QTableView* view, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QApplication::processEvents();
    QRect r = view->visualRect(view->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, r.center());
}

inline void DoubleClickRow(QTableView* view, int row) {
    QApplication::processEvents();
    QRect r = view->visualRect(view->model()->index(row, 1));
    // As the window system delivers it: a click, then the second press as a double click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
}

// Whether the sheet's chosen item has this name, type and description.
inline ::testing::AssertionResult ChosenIs(CMemTagShowSheet& sheet, const std::string& name,
                                           int type, const std::string& desc) {
    CMemTag tag;
    if (sheet.GetSelectedTagInfo(tag) != 1)
        return ::testing::AssertionFailure() << "nothing chosen";
    if (tag.strName.str() != name || tag.nDataType != type || tag.strDesc.str() != desc)
        return ::testing::AssertionFailure()
               << "chosen " << tag.strName.str() << ", type " << tag.nDataType << ", \""
               << tag.strDesc.str() << "\"";
    return ::testing::AssertionSuccess();
}

inline void ClickOk(QDialog* dialog) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8("确定")) {
            QTest::mouseClick(b, Qt::LeftButton);
            return;
        }
    ADD_FAILURE() << "no OK button";
}

}  // namespace mltest
