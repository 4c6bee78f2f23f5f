#include "Browser.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Gb2312.h"
#include "MemTagList.h"

namespace {

std::string U(const CString& gb) {
    return mlplat::GbToUtf8(gb.view());
}

bool HaveDisplay() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && std::string(qpa).rfind("offscreen", 0) == 0)
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Offscreen: visits every page, selects its second row, saves a picture of it, and confirms on
// the tag page.
void ScriptOffscreen(const std::string& shotDir) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog)
        return;
    dialog->resize(dialog->sizeHint());
    QTabWidget* tabs = dialog->findChild<QTabWidget*>();
    for (int i = tabs ? tabs->count() - 1 : -1; i >= 0; --i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        if (auto* view = tabs->currentWidget()->findChild<QTableView*>();
            view && view->model()->rowCount() > 1)
            view->selectRow(1);
        QApplication::processEvents();
        if (!shotDir.empty()) {
            QString file =
                QDir(QString::fromStdString(shotDir)).filePath(QString("page%1.png").arg(i + 1));
            if (dialog->grab().save(file))
                std::printf("  page %d (%s): %s\n", i + 1, tabs->tabText(i).toStdString().c_str(),
                            file.toStdString().c_str());
        }
    }
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->isDefault()) {
            b->click();
            return;
        }
    dialog->accept();
}

// Offscreen, over a plant-sized store: the tag page in a browser as large as the screen lets it
// be, with `search` typed into its search field key by key and the rows sorted by name, saved
// as page5.png; then OK.
void ScriptSearchShot(const std::string& shotDir, const QString& search) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog)
        return;
    if (QScreen* screen = dialog->screen())
        dialog->resize(screen->availableGeometry().size());
    QApplication::processEvents();
    if (auto* edit = dialog->findChild<QLineEdit*>()) {
        edit->setFocus();
        for (QChar c : search) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    }
    if (auto* view = dialog->findChild<QTableView*>(); view && view->model()->rowCount() > 2) {
        emit view->horizontalHeader()->sectionClicked(1);  // sorted by name: the mark shows
        view->selectRow(2);
    }
    QApplication::processEvents();
    if (!shotDir.empty()) {
        QString file = QDir(QString::fromStdString(shotDir)).filePath("page5.png");
        if (dialog->grab().save(file))
            std::printf("  tag page, searching: %s\n", file.toStdString().c_str());
    }
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->isDefault()) {
            b->click();
            return;
        }
    dialog->accept();
}

}  // namespace

int RunBrowser(CMemTagList& list, const std::string& shotDir, const std::string& search) {
    const bool bWindow = HaveDisplay();
    // Offscreen keeps its options (a screen size from a configuration file, for pictures).
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (!bWindow && !(qpa && std::string(qpa).rfind("offscreen", 0) == 0))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "memlist-demo";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QApplication>(argc, argv);
    if (!shotDir.empty())
        QDir().mkpath(QString::fromStdString(shotDir));

    if (search.empty())
        list.SetShowPage(1, 1, 1, 1);
    else
        list.SetShowPage(1, 0, 0, 0);
    list.SetShowDataFrom(0);
    std::printf("browser: %s\n", bWindow ? "window (choose and press OK)" : "offscreen");
    if (!bWindow && search.empty())
        QTimer::singleShot(0, [shotDir] { ScriptOffscreen(shotDir); });
    else if (!bWindow)
        QTimer::singleShot(
            0, [shotDir, search] { ScriptSearchShot(shotDir, QString::fromStdString(search)); });
    int result = list.DoModal();
    std::printf("DoModal: %d\n", result);

    CStringArray names;
    list.GetSelectedTags(names);
    std::printf("selected tags: %d\n", names.GetSize());
    for (const CString& n : names)
        std::printf("  %s\n", U(n).c_str());
    CMemTag tag;
    if (list.GetSelectedTagInfo(tag) == 1)
        std::printf("selected: %s (%s), type %d, area %d, region %d\n", U(tag.strName).c_str(),
                    U(tag.strDesc).c_str(), tag.nDataType, tag.nArea, tag.nRegion);
    else
        std::printf("selected: nothing\n");
    return result;
}
