// bench_browser: the tag browser's response times with 100,000 tags.
//
// Times, over repeated runs: opening the browser until its first page is painted, a filter
// change (a typical one and one that rejects every tag, so the walk reads the whole list), a
// keystroke in the search field (while narrowing to the tags TAG099xxx, which sit at the end of
// the list, and one that matches no tag), a page step, and a column sort (text and number
// columns), each including the repaint of the list.
// The tags come from the real store (filled once through the sheet, not timed) or, with
// --memory, from memory, which isolates the browser's own share.
//
//   bench_browser [--memory] [--tags N] [--runs N]
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TagShowSheet.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Tags spread over 8 areas, 4 regions, the four types and both trend flags.
void DescribeTag(int i, CMemTag& t) {
    char name[32];
    std::snprintf(name, sizeof name, "TAG%06d", i);
    t.strName = name;
    t.strDesc = CString("desc ") + name;
    t.nDataType = 1 + i % 4;
    t.nArea = 1 + i % 8;
    t.nRegion = 1 + (i / 8) % 4;
    t.nTrend = (i / 3) % 2;
    t.dRangeHigh = i % 1000;
    t.dRangeLow = -(i % 100);
    t.nDataSource = i % 2 ? 1 : 2;
}

class CMemorySheet : public CMemTagShowSheet {
public:
    explicit CMemorySheet(int nTags) : CMemTagShowSheet("bench") {
        for (int i = 0; i < nTags; ++i) {
            CMemTag t;
            DescribeTag(i, t);
            m_tags.Add(t);
        }
    }
    int GetAllTags(CArray<CMemTag, CMemTag&>& arr, int) override {
        arr.Copy(m_tags);
        return 1;
    }
    int GetAllAreaInfo(CDWordArray& no, CStringArray& name, CStringArray& desc) override {
        no.RemoveAll();
        name.RemoveAll();
        desc.RemoveAll();
        for (DWORD a = 1; a <= 9; ++a) {
            CString s;
            s.Format("area %u", a);
            no.Add(a);
            name.Add(s);
            desc.Add(s);
        }
        return 1;
    }

private:
    CArray<CMemTag, CMemTag&> m_tags;
};

// Adds `nTags` tags to the store of `sheet`; the number that failed.
int FillStore(CMemTagShowSheet& sheet, int nTags) {
    int nFailed = 0;
    for (int i = 0; i < nTags; ++i) {
        CMemTag t;
        DescribeTag(i, t);
        auto head = [&](auto& rec) {
            rec.Reset();
            std::strncpy(rec.szName, t.strName, sizeof rec.szName - 1);
            std::strncpy(rec.szDesc, t.strDesc, sizeof rec.szDesc - 1);
            rec.nArea = t.nArea;
            rec.nRegion = t.nRegion;
            rec.nTrend = t.nTrend;
        };
        int r;
        if (t.nDataType == 1) {
            BoolTagInfo rec;
            head(rec);
            r = sheet.AddData(1, t.nDataSource, &rec, "");
        } else if (t.nDataType == 2) {
            IntTagInfo rec;
            head(rec);
            rec.nRangeHigh = static_cast<int>(t.dRangeHigh);
            rec.nRangeLow = static_cast<int>(t.dRangeLow);
            r = sheet.AddData(2, t.nDataSource, &rec, "");
        } else if (t.nDataType == 3) {
            FloatTagInfo rec;
            head(rec);
            rec.dRangeHigh = t.dRangeHigh;
            rec.dRangeLow = t.dRangeLow;
            r = sheet.AddData(3, t.nDataSource, &rec, "");
        } else {
            StringTagInfo rec;
            head(rec);
            r = sheet.AddData(4, t.nDataSource, &rec, "");
        }
        nFailed += r == 1 ? 0 : 1;
    }
    return nFailed;
}

struct Series {
    const char* name;
    std::vector<double> ms;
    void Report() const {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        if (v.empty())
            return;
        std::printf("%-34s median %8.2f ms   max %8.2f ms   (%zu runs)\n", name, v[v.size() / 2],
                    v.back(), v.size());
    }
};

template <class T>
T* Find(CPropertyPage& page, int nID) {
    return qobject_cast<T*>(CWnd::FindControl(page.GetWidget(), nID));
}

void Choose(QComboBox* box, int i) {
    box->setCurrentIndex(i);
    emit box->activated(i);
}

// One key as the user types it.
void Key(QWidget* w, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
}

void ClearSearch(QLineEdit* edit) {
    edit->selectAll();
    Key(edit, Qt::Key_Backspace, QString());
}

}  // namespace

int main(int argc, char** argv) {
    bool bMemory = false;
    int nTags = 100000, nRuns = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--memory") == 0)
            bMemory = true;
        else if (std::strcmp(argv[i], "--tags") == 0 && i + 1 < argc)
            nTags = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            nRuns = std::max(1, std::atoi(argv[++i]));
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char templ[] = "/tmp/memlist-bench-XXXXXX";
    if (!mkdtemp(templ)) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("QLX_PATH_D_TEMP", templ, 1);
    QCoreApplication::setOrganizationName("memlist-bench");
    QApplication app(argc, argv);

    CMemorySheet memorySheet(bMemory ? nTags : 0);
    CMemTagShowSheet storeSheet("bench");
    CMemTagShowSheet& sheet = bMemory ? static_cast<CMemTagShowSheet&>(memorySheet) : storeSheet;
    if (!bMemory) {
        auto t0 = Clock::now();
        int nFailed = FillStore(storeSheet, nTags);
        std::printf("store filled with %d tags in %.0f ms (%d failed)\n", nTags,
                    Ms(t0, Clock::now()), nFailed);
    }
    std::printf("tags: %d, source: %s\n", nTags, bMemory ? "memory" : "store");

    Series open{"open until first page painted", {}}, filter{"filter change (type)", {}},
        filterAll{"filter change rejecting all tags", {}}, step{"page step (next)", {}},
        searchKey{"search keystroke (typing tag099)", {}},
        searchNone{"search keystroke matching nothing", {}},
        sortText{"column sort (names, text)", {}}, sortNum{"column sort (range, number)", {}};
    CTagShowExDlg& page = sheet.GetTagPage();
    for (int run = 0; run < nRuns; ++run) {
        CTagShowExDlg::Remembered() = TagPageMemory();
        Clock::time_point t0;
        QTimer::singleShot(0, [&] {
            QDialog* dialog = sheet.GetDialog();
            auto* view = Find<QTableView>(page, CTagShowExDlg::IDC_TAG_LIST);
            dialog->repaint();
            open.ms.push_back(Ms(t0, Clock::now()));
            auto timed = [&](Series& s, const std::function<void()>& action) {
                auto a = Clock::now();
                action();
                view->viewport()->repaint();
                view->horizontalHeader()->viewport()->repaint();
                s.ms.push_back(Ms(a, Clock::now()));
            };
            QComboBox* type = Find<QComboBox>(page, CTagShowExDlg::IDC_TYPE);
            QComboBox* area = Find<QComboBox>(page, CTagShowExDlg::IDC_AREA);
            timed(filter, [&] { Choose(type, 1 + run % 3); });
            timed(step, [&] { Find<QPushButton>(page, CTagShowExDlg::IDC_NEXT_PAGE)->click(); });
            auto* search = Find<QLineEdit>(page, CTagShowExDlg::IDC_SEARCH);
            for (QChar c : QString("tag099"))
                timed(searchKey, [&] { Key(search, 0, QString(c)); });
            ClearSearch(search);
            timed(searchNone, [&] { Key(search, 0, QString("q")); });
            ClearSearch(search);
            QHeaderView* h = view->horizontalHeader();
            timed(sortText, [&] { emit h->sectionClicked(1); });
            timed(sortNum, [&] { emit h->sectionClicked(5); });
            Choose(type, 4);
            if (bMemory) {
                timed(filterAll, [&] { Choose(area, area->count() - 1); });  // area 9 holds no tag
                Choose(area, 0);
            }
            sheet.EndDialog(IDCANCEL);
        });
        t0 = Clock::now();
        sheet.DoModal();
    }
    open.Report();
    filter.Report();
    filterAll.Report();
    searchKey.Report();
    searchNone.Report();
    step.Report();
    sortText.Report();
    sortNum.Report();
    std::filesystem::remove_all(templ);
    return 0;
}
