// Property sheet and property page: a modal QDialog with a QTabWidget and OK / Cancel.
//
// Neither the sheet nor its pages create a widget when constructed: the dialog and its page
// windows exist only while DoModal runs. A page's window is made from its dialog template the
// first time its tab is shown (DoDataExchange binds the controls, then OnInitDialog); OnSetActive
// and OnKillActive follow the tab changes. OK asks the active page (OnKillActive), then applies
// every page that has a window (OnApply, which calls OnOK), the active page last, and ends the
// run with IDOK unless a page ended it itself; Cancel, Escape and closing end it with IDCANCEL.
// The dialog can be made larger than its pages' templates, and lower as far as their lists keep
// a few rows; with RememberSizeIn it starts at the size the user gave it last, kept in the host
// application's profile. It never starts larger than the screen. User-interface thread
// only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTabWidget>
#include <vector>

#include "CString.h"
#include "DlgTemplate.h"
#include "Wnd.h"

class CPropertySheet;
class CPropertyPage;

// Sheet header flags.
enum : DWORD { PSH_HASHELP = 0x0200, PSH_NOAPPLYNOW = 0x0080 };

struct PROPSHEETHEADER {
    DWORD dwFlags = 0;
    UINT nStartPage = 0;
};

struct CDataExchange {
    CPropertyPage* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds `ctrl` to the page's control `nID` unless it is bound already.
void DDX_Control(CDataExchange* pDX, int nID, CWnd& ctrl);

class CPropertyPage : public CWnd {
public:
    explicit CPropertyPage(const mlui::DlgTemplate& tpl);
    ~CPropertyPage() override = default;

    virtual BOOL OnInitDialog();  // runs DoDataExchange; TRUE
    virtual void OnOK() {}
    virtual void OnCancel() {}
    virtual BOOL OnSetActive() { return TRUE; }
    virtual BOOL OnKillActive() { return TRUE; }
    // The sheet's OK reaches every page that has a window here.
    virtual BOOL OnApply() {
        OnOK();
        return TRUE;
    }
    virtual void DoDataExchange(CDataExchange* pDX) {}

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // A control of this page's window by ID; null without a window.
    QWidget* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, const char* gbText);
    const mlui::DlgTemplate& GetTemplate() const { return m_tpl; }

private:
    friend class CPropertySheet;
    QWidget* CreatePageWindow(QWidget* parent);

    const mlui::DlgTemplate& m_tpl;
};

class CPropertySheet {
public:
    CPropertySheet(const char* gbCaption, CWnd* pParent = nullptr, UINT iSelectPage = 0);
    virtual ~CPropertySheet();
    CPropertySheet(const CPropertySheet&) = delete;
    CPropertySheet& operator=(const CPropertySheet&) = delete;

    void AddPage(CPropertyPage* pPage);
    void RemovePage(CPropertyPage* pPage);
    void RemovePage(int nPage);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int nPage) const;
    int GetActiveIndex() const;
    CPropertyPage* GetActivePage() const;
    BOOL SetActivePage(int nPage);

    // Runs the sheet modally: IDOK, IDCANCEL, or -1 when no dialog can be shown (no pages, or no
    // QApplication can be had). Without a QApplication one is made for the call.
    virtual int DoModal();
    // Ends a running DoModal with `nResult`; the first call of a run decides the result.
    void EndDialog(int nResult);
    // Keeps the dialog's size in the profile section `pszSection` (entries "Width", "Height").
    void RememberSizeIn(const char* pszSection) { m_strSizeSection = pszSection; }
    // The dialog while DoModal runs, else null.
    QDialog* GetDialog() const { return m_pDialog.data(); }
    void SetCaption(const char* gbCaption) { m_strCaption = gbCaption; }
    void SetButtonTexts(const char* gbOk, const char* gbCancel);

    PROPSHEETHEADER m_psh;

private:
    void ShowPage(int nPage);
    void OnOkButton();
    // The dialog of a run: its tabs (one empty host per page), OK and Cancel.
    QDialog* BuildDialog(QWidget* parent);
    // The size it opens at: the remembered one, else its own, within the screen.
    QSize InitialSize(const QDialog& dialog, QWidget* parent) const;

    CString m_strCaption;
    CString m_strOk = "OK";
    CString m_strCancel = "Cancel";
    CString m_strSizeSection;
    CWnd* m_pParent;
    std::vector<CPropertyPage*> m_pages;
    QPointer<QDialog> m_pDialog;
    QPointer<QTabWidget> m_pTabs;
    std::vector<QWidget*> m_tabHosts;
    int m_nActive = -1;
};
