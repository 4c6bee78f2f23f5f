// Helpers of the widget tests: one QApplication for the test program (offscreen), a profile of
// its own in a scratch directory, and a window holding one list control.
#pragma once

#include <QApplication>
#include <QHeaderView>
#include <QSettings>
#include <QTableView>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "DlgTemplate.h"
#include "TestSupport.h"
#include "Wnd.h"

namespace mltest {

inline QApplication& App() {
    static TempDir* profileDir = new TempDir;  // lives as long as the program
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "memlist_ui_tests";
        static char* argv[] = {name, nullptr};
        QCoreApplication::setOrganizationName("memlist-tests");
        QCoreApplication::setApplicationName("memlist_ui_tests");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(profileDir->path()));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(profileDir->path()));
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Empties the profile group the lists use.
inline void ClearListProfile() {
    App();
    QSettings s;
    s.remove("ListCtrls");
    s.sync();
}

// A shown window with one report list (control ID `nID`) of the given template flags.
class ListWindow {
public:
    explicit ListWindow(int nID = 1003, DWORD flags = 0) {
        App();
        m_items[0] = {mlui::CtlKind::ListView, nID, "", 5, 5, 240, 200, flags};
        m_tpl = {9000, "", 250, 210, m_items, 1};
        m_window.reset(mlui::CreateFromTemplate(m_tpl, nullptr));
        m_window->resize(700, 400);
        m_window->show();
    }
    QWidget* Window() const { return m_window.get(); }
    QTableView* View() const {
        return qobject_cast<QTableView*>(CWnd::FindControl(m_window.get(), m_items[0].nID));
    }
    QHeaderView* Header() const { return View()->horizontalHeader(); }
    void Close() { m_window.reset(); }

private:
    mlui::DlgItem m_items[1];
    mlui::DlgTemplate m_tpl{};
    std::unique_ptr<QWidget> m_window;
};

}  // namespace mltest
