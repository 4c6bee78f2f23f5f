#include "PropertySheet.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "Profile.h"
#include "Trace.h"
#include "UiText.h"

void DDX_Control(CDataExchange* pDX, int nID, CWnd& ctrl) {
    if (!pDX || !pDX->m_pDlgWnd || ctrl.HasWindow())
        return;
    if (QWidget* w = pDX->m_pDlgWnd->GetDlgItem(nID))
        ctrl.SubclassWindow(w);
}

CPropertyPage::CPropertyPage(const mlui::DlgTemplate& tpl) : m_tpl(tpl) {}

BOOL CPropertyPage::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CPropertyPage::UpdateData(BOOL bSaveAndValidate) {
    if (!HasWindow())
        return FALSE;
    CDataExchange dx{this, bSaveAndValidate};
    DoDataExchange(&dx);
    return TRUE;
}

QWidget* CPropertyPage::GetDlgItem(int nID) const {
    return FindControl(GetWidget(), nID);
}

void CPropertyPage::SetDlgItemText(int nID, const char* gbText) {
    CStatic s;
    if (s.SubclassWindow(GetDlgItem(nID))) {
        s.SetWindowText(gbText);
        s.UnsubclassWindow();
    }
}

QWidget* CPropertyPage::CreatePageWindow(QWidget* parent) {
    QWidget* w = mlui::CreateFromTemplate(m_tpl, parent);
    SubclassWindow(w);
    OnInitDialog();
    return w;
}

CPropertySheet::CPropertySheet(const char* gbCaption, CWnd* pParent, UINT iSelectPage)
    : m_strCaption(gbCaption), m_pParent(pParent) {
    m_psh.nStartPage = iSelectPage;
}

CPropertySheet::~CPropertySheet() {
    delete m_pDialog.data();
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    if (pPage && std::find(m_pages.begin(), m_pages.end(), pPage) == m_pages.end())
        m_pages.push_back(pPage);
}

void CPropertySheet::RemovePage(CPropertyPage* pPage) {
    auto it = std::find(m_pages.begin(), m_pages.end(), pPage);
    if (it != m_pages.end())
        RemovePage(static_cast<int>(it - m_pages.begin()));
}

void CPropertySheet::RemovePage(int nPage) {
    if (nPage < 0 || nPage >= GetPageCount())
        return;
    if (m_pTabs) {
        // A running sheet drops the page's window too.
        delete m_tabHosts[static_cast<size_t>(nPage)];
        m_tabHosts.erase(m_tabHosts.begin() + nPage);
        if (m_nActive == nPage)
            m_nActive = -1;
        else if (m_nActive > nPage)
            --m_nActive;
    }
    m_pages.erase(m_pages.begin() + nPage);
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
    return nPage >= 0 && nPage < GetPageCount() ? m_pages[static_cast<size_t>(nPage)] : nullptr;
}

int CPropertySheet::GetActiveIndex() const {
    return m_pTabs ? m_nActive : static_cast<int>(m_psh.nStartPage);
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    return GetPage(GetActiveIndex());
}

BOOL CPropertySheet::SetActivePage(int nPage) {
    if (nPage < 0 || nPage >= GetPageCount())
        return FALSE;
    if (m_pTabs)
        m_pTabs->setCurrentIndex(nPage);
    else
        m_psh.nStartPage = static_cast<UINT>(nPage);
    return TRUE;
}

void CPropertySheet::SetButtonTexts(const char* gbOk, const char* gbCancel) {
    m_strOk = gbOk;
    m_strCancel = gbCancel;
}

void CPropertySheet::EndDialog(int nResult) {
    // Several pages applied at one OK may each end the run.
    if (m_pDialog && m_pDialog->isVisible())
        m_pDialog->done(nResult);
}

void CPropertySheet::ShowPage(int nPage) {
    if (nPage < 0 || nPage >= GetPageCount() || nPage == m_nActive)
        return;
    if (CPropertyPage* old = GetPage(m_nActive); old && old->HasWindow() && !old->OnKillActive()) {
        QSignalBlocker block(m_pTabs.data());
        m_pTabs->setCurrentIndex(m_nActive);
        return;
    }
    m_nActive = nPage;
    CPropertyPage* page = m_pages[static_cast<size_t>(nPage)];
    QWidget* host = m_tabHosts[static_cast<size_t>(nPage)];
    if (!page->HasWindow()) {
        QWidget* w = page->CreatePageWindow(host);
        host->layout()->addWidget(w);
    }
    page->OnSetActive();
}

void CPropertySheet::OnOkButton() {
    CPropertyPage* active = GetPage(m_nActive);
    if (active && active->HasWindow() && !active->OnKillActive())
        return;
    // Every page the user has seen keeps its choice; the active one goes last, so what it
    // records is what the run reports as the user's last selection.
    for (CPropertyPage* page : m_pages)
        if (page != active && page->HasWindow())
            page->OnApply();
    if (active && active->HasWindow())
        active->OnApply();
    // The page may have ended the run itself.
    if (m_pDialog && m_pDialog->isVisible())
        m_pDialog->done(IDOK);
}

namespace {

// The QApplication a dialog needs: the host's, or one made into `ownApp` for the call. False
// when none can be had (a non-widget application runs, or there is no display).
bool HaveApplication(std::unique_ptr<QApplication>& ownApp) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return true;
    if (QCoreApplication::instance())
        return false;  // a non-widget application cannot show a dialog
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!qpa || !*qpa) && (!x11 || !*x11) && (!wayland || !*wayland)) {
        MLTRACE("no display: the browser cannot be shown\n");
        return false;
    }
    static int argc = 1;
    static char name[] = "memlist";
    static char* argv[] = {name, nullptr};
    ownApp = std::make_unique<QApplication>(argc, argv);
    return true;
}

}  // namespace

int CPropertySheet::DoModal() {
    if (m_pages.empty() || m_pDialog)
        return -1;
    std::unique_ptr<QApplication> ownApp;
    if (!HaveApplication(ownApp))
        return -1;

    QWidget* parent = m_pParent ? m_pParent->GetWidget() : nullptr;
    QDialog* dialog = BuildDialog(parent);
    m_nActive = -1;
    int start = std::clamp(static_cast<int>(m_psh.nStartPage), 0, GetPageCount() - 1);
    {
        QSignalBlocker block(m_pTabs);
        m_pTabs->setCurrentIndex(start);
    }
    ShowPage(start);
    QObject::connect(m_pTabs, &QTabWidget::currentChanged, dialog, [this](int i) { ShowPage(i); });
    const QSize shown = InitialSize(*dialog, parent);
    dialog->resize(shown);

    int result = dialog->exec();
    if (!m_strSizeSection.IsEmpty() && dialog->size() != shown) {
        mlui::WriteProfileInt(m_strSizeSection, "Width", dialog->width());
        mlui::WriteProfileInt(m_strSizeSection, "Height", dialog->height());
    }
    if (result == QDialog::Rejected)
        result = IDCANCEL;
    m_pTabs = nullptr;
    m_tabHosts.clear();
    m_nActive = -1;
    delete dialog;  // the pages' windows go with it
    m_pDialog = nullptr;
    ownApp.reset();
    return result;
}

QDialog* CPropertySheet::BuildDialog(QWidget* parent) {
    auto* dialog = new QDialog(parent);
    m_pDialog = dialog;
    dialog->setWindowTitle(mlui::ToQ(m_strCaption));
    dialog->setFont(mlui::DialogFont());
    auto* layout = new QVBoxLayout(dialog);
    auto* tabs = new QTabWidget(dialog);
    m_pTabs = tabs;
    layout->addWidget(tabs);
    m_tabHosts.clear();
    for (CPropertyPage* page : m_pages) {
        auto* host = new QWidget;
        auto* hostLayout = new QVBoxLayout(host);
        hostLayout->setContentsMargins(0, 0, 0, 0);
        m_tabHosts.push_back(host);
        tabs->addTab(host, mlui::ToQ(page->GetTemplate().gbCaption));
    }
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* ok = buttons->addButton(mlui::ToQ(m_strOk), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(mlui::ToQ(m_strCancel), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    layout->addWidget(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, [this] { OnOkButton(); });
    QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog] { dialog->done(IDCANCEL); });
    return dialog;
}

QSize CPropertySheet::InitialSize(const QDialog& dialog, QWidget* parent) const {
    QSize shown = dialog.sizeHint();
    if (!m_strSizeSection.IsEmpty()) {
        const QSize saved(mlui::GetProfileInt(m_strSizeSection, "Width", -1),
                          mlui::GetProfileInt(m_strSizeSection, "Height", -1));
        if (saved.isValid())
            shown = saved.expandedTo(dialog.minimumSizeHint());
    }
    // Neither the saved size nor the pages' own may reach past the screen: OK and Cancel must
    // stay in reach. The window frame is not known before the window is shown.
    if (QScreen* screen = parent ? parent->screen() : dialog.screen()) {
        const QStyle* style = dialog.style();
        const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
        const QSize room = screen->availableGeometry().size() -
                           QSize(frame, frame + style->pixelMetric(QStyle::PM_TitleBarHeight));
        shown = shown.boundedTo(room).expandedTo(dialog.minimumSizeHint());
    }
    return shown;
}
