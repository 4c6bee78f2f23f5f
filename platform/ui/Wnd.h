// The class library's window objects over Qt widgets.
//
// A CWnd is a plain object that is bound to a widget only while that widget exists, as the class
// library's objects are bound to window handles: constructing one creates no widget, so pages
// and their controls can be members of objects that live without a QApplication. When the widget
// is destroyed, the object hears of it (OnDestroy) and becomes unbound. Everything here runs on
// the user-interface thread.
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "CString.h"
#include "WinTypes.h"

class QComboBox;

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The bound widget, null when there is none.
    QWidget* GetWidget() const { return m_pWidget.data(); }
    bool HasWindow() const { return !m_pWidget.isNull(); }
    int GetDlgCtrlID() const { return m_nID; }

    // Binds this object to an existing widget (the control ID is read from the widget) and lets
    // the subclass take it over in PreSubclassWindow. FALSE when already bound or `w` is null.
    BOOL SubclassWindow(QWidget* w);
    // Unbinds without destroying the widget.
    QWidget* UnsubclassWindow();

    void SetWindowText(const char* gbText);
    CString GetWindowText() const;
    void ShowWindow(bool bShow);
    void EnableWindow(bool bEnable);
    BOOL IsWindowEnabled() const;
    void Invalidate();
    // Gives the keyboard focus to the bound widget.
    void SetFocus();

    // The control ID a dialog template gave a widget, or 0.
    static int ControlID(const QWidget* w);
    static void SetControlID(QWidget* w, int nID);
    // The child of `parent` with control ID `nID`, or null.
    static QWidget* FindControl(const QWidget* parent, int nID);

protected:
    virtual void PreSubclassWindow() {}
    // The bound widget is being destroyed; the object is unbound right after this returns.
    virtual void OnDestroy() {}
    // Keeps a connection whose slot reaches this object; it is cut when the object is unbound.
    void AddConnection(QMetaObject::Connection c) { m_connections.push_back(c); }

private:
    void DisconnectAll();

    QPointer<QWidget> m_pWidget;
    QMetaObject::Connection m_destroyed;
    std::vector<QMetaObject::Connection> m_connections;
    int m_nID = 0;
};

class CStatic : public CWnd {};

class CButton : public CWnd {
public:
    // Called on every click while bound (BN_CLICKED).
    void SetClickHandler(std::function<void()> fn);

protected:
    void PreSubclassWindow() override;

private:
    std::function<void()> m_onClick;
};

// A one-line edit field. Enter in it belongs to the field (the return handler), not to the
// dialog's default button.
class CEdit : public CWnd {
public:
    // Called when the user changes the text (EN_CHANGE), not for programmatic changes.
    void SetChangeHandler(std::function<void()> fn);
    // Called when the user presses Enter in the field.
    void SetReturnHandler(std::function<void()> fn);

protected:
    void PreSubclassWindow() override;

private:
    std::function<void()> m_onChange, m_onReturn;
};

constexpr int CB_ERR = -1;

// A drop-down list box. A sorted one (the template's CBS_SORT) keeps its entries in the order of
// the locale-aware comparison of their texts; an unsorted one keeps insertion order.
class CComboBox : public CWnd {
public:
    int AddString(const char* gbText);  // index of the new entry, CB_ERR without a window
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;      // CB_ERR when nothing is selected
    int SetCurSel(int nIndex);  // -1 clears; CB_ERR when out of range
    BOOL SetItemData(int nIndex, DWORD dwData);
    DWORD GetItemData(int nIndex) const;  // 0 when out of range
    CString GetLBText(int nIndex) const;
    // Selects the first entry after `nStartAfter` whose text begins with `gbText`
    // (case-insensitive, wrapping round); its index, or CB_ERR.
    int SelectString(int nStartAfter, const char* gbText);
    // The first entry after `nStartAfter` whose whole text is `gbText` (case-insensitive); CB_ERR.
    int FindStringExact(int nStartAfter, const char* gbText) const;
    // Called when the user changes the selection (CBN_SELCHANGE), not for programmatic changes.
    void SetSelChangeHandler(std::function<void()> fn);

protected:
    void PreSubclassWindow() override;

private:
    QComboBox* Box() const;
    bool IsSorted() const;
    std::function<void()> m_onSelChange;
};
