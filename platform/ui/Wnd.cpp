#include "Wnd.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>

#include "UiText.h"

namespace {
constexpr const char* kIdProperty = "mlCtrlId";
constexpr const char* kSortedProperty = "mlSorted";
constexpr const char* kReturnFilterProperty = "mlReturnFilter";

// Turns Enter in a line edit into its returnPressed alone: unfiltered, the key goes on to the
// dialog, which presses its default button.
class CReturnFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(e)->key();
        auto* edit = qobject_cast<QLineEdit*>(o);
        if (!edit || (key != Qt::Key_Return && key != Qt::Key_Enter))
            return false;
        emit edit->returnPressed();
        return true;
    }
};
// The first item after `nStartAfter` that `match` accepts, going round past the end to it;
// CB_ERR when none does.
template <class Match>
int FindWrapping(QComboBox* box, int nStartAfter, Match match) {
    int n = box->count();
    int first = nStartAfter < 0 || nStartAfter >= n ? 0 : nStartAfter + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        if (match(box->itemText(i)))
            return i;
    }
    return CB_ERR;
}

}  // namespace

CWnd::~CWnd() {
    DisconnectAll();
}

void CWnd::DisconnectAll() {
    if (m_destroyed)
        QObject::disconnect(m_destroyed);
    for (const QMetaObject::Connection& c : m_connections)
        QObject::disconnect(c);
    m_connections.clear();
}

int CWnd::ControlID(const QWidget* w) {
    return w ? w->property(kIdProperty).toInt() : 0;
}

void CWnd::SetControlID(QWidget* w, int nID) {
    if (w)
        w->setProperty(kIdProperty, nID);
}

QWidget* CWnd::FindControl(const QWidget* parent, int nID) {
    if (!parent)
        return nullptr;
    for (QWidget* w : parent->findChildren<QWidget*>())
        if (ControlID(w) == nID)
            return w;
    return nullptr;
}

BOOL CWnd::SubclassWindow(QWidget* w) {
    if (!w || HasWindow())
        return FALSE;
    m_pWidget = w;
    m_nID = ControlID(w);
    m_destroyed = QObject::connect(w, &QObject::destroyed, [this] {
        OnDestroy();
        DisconnectAll();
        m_pWidget = nullptr;
    });
    PreSubclassWindow();
    return TRUE;
}

QWidget* CWnd::UnsubclassWindow() {
    QWidget* w = m_pWidget.data();
    DisconnectAll();
    m_pWidget = nullptr;
    return w;
}

void CWnd::SetWindowText(const char* gbText) {
    QWidget* w = GetWidget();
    if (!w)
        return;
    QString text = mlui::ToQ(gbText);
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else
        w->setWindowTitle(text);
}

CString CWnd::GetWindowText() const {
    QWidget* w = GetWidget();
    if (!w)
        return CString();
    if (auto* label = qobject_cast<QLabel*>(w))
        return mlui::FromQ(label->text());
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return mlui::FromQ(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return mlui::FromQ(button->text());
    if (auto* box = qobject_cast<QComboBox*>(w))
        return mlui::FromQ(box->currentText());
    return mlui::FromQ(w->windowTitle());
}

void CWnd::ShowWindow(bool bShow) {
    if (QWidget* w = GetWidget())
        w->setVisible(bShow);
}

void CWnd::EnableWindow(bool bEnable) {
    if (QWidget* w = GetWidget())
        w->setEnabled(bEnable);
}

BOOL CWnd::IsWindowEnabled() const {
    QWidget* w = GetWidget();
    return w && w->isEnabled();
}

void CWnd::SetFocus() {
    if (QWidget* w = GetWidget())
        w->setFocus(Qt::OtherFocusReason);
}

void CWnd::Invalidate() {
    if (QWidget* w = GetWidget())
        w->update();
}

void CButton::SetClickHandler(std::function<void()> fn) {
    m_onClick = std::move(fn);
}

void CButton::PreSubclassWindow() {
    if (auto* button = qobject_cast<QAbstractButton*>(GetWidget()))
        AddConnection(QObject::connect(button, &QAbstractButton::clicked, button, [this] {
            if (m_onClick)
                m_onClick();
        }));
}

void CEdit::SetChangeHandler(std::function<void()> fn) {
    m_onChange = std::move(fn);
}

void CEdit::SetReturnHandler(std::function<void()> fn) {
    m_onReturn = std::move(fn);
}

void CEdit::PreSubclassWindow() {
    auto* edit = qobject_cast<QLineEdit*>(GetWidget());
    if (!edit)
        return;
    // One filter per field, however often an object binds to it.
    if (!edit->property(kReturnFilterProperty).toBool()) {
        edit->installEventFilter(new CReturnFilter(edit));
        edit->setProperty(kReturnFilterProperty, true);
    }
    AddConnection(QObject::connect(edit, &QLineEdit::textEdited, edit, [this](const QString&) {
        if (m_onChange)
            m_onChange();
    }));
    AddConnection(QObject::connect(edit, &QLineEdit::returnPressed, edit, [this] {
        if (m_onReturn)
            m_onReturn();
    }));
}

QComboBox* CComboBox::Box() const {
    return qobject_cast<QComboBox*>(GetWidget());
}

bool CComboBox::IsSorted() const {
    QComboBox* box = Box();
    return box && box->property(kSortedProperty).toBool();
}

void CComboBox::PreSubclassWindow() {
    if (QComboBox* box = Box())
        AddConnection(QObject::connect(box, &QComboBox::activated, box, [this](int) {
            if (m_onSelChange)
                m_onSelChange();
        }));
}

void CComboBox::SetSelChangeHandler(std::function<void()> fn) {
    m_onSelChange = std::move(fn);
}

int CComboBox::AddString(const char* gbText) {
    QComboBox* box = Box();
    if (!box)
        return CB_ERR;
    int at = box->count();
    if (IsSorted()) {
        // After every entry that does not sort after the new one, so equal texts keep their order.
        at = 0;
        while (at < box->count() &&
               mlui::CompareLocale(mlui::FromQ(box->itemText(at)), gbText ? gbText : "") <= 0)
            ++at;
    }
    QSignalBlocker block(box);
    const int nSel = box->currentIndex();
    box->insertItem(at, mlui::ToQ(gbText), QVariant::fromValue<uint>(0));
    // Qt selects the first entry of an empty box; a list box keeps having no selection.
    if (nSel < 0)
        box->setCurrentIndex(-1);
    return at;
}

void CComboBox::ResetContent() {
    if (QComboBox* box = Box()) {
        QSignalBlocker block(box);
        box->clear();
    }
}

int CComboBox::GetCount() const {
    QComboBox* box = Box();
    return box ? box->count() : 0;
}

int CComboBox::GetCurSel() const {
    QComboBox* box = Box();
    return box ? box->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int nIndex) {
    QComboBox* box = Box();
    if (!box)
        return CB_ERR;
    QSignalBlocker block(box);
    if (nIndex < 0 || nIndex >= box->count()) {
        box->setCurrentIndex(-1);
        return nIndex == -1 ? -1 : CB_ERR;
    }
    box->setCurrentIndex(nIndex);
    return nIndex;
}

BOOL CComboBox::SetItemData(int nIndex, DWORD dwData) {
    QComboBox* box = Box();
    if (!box || nIndex < 0 || nIndex >= box->count())
        return FALSE;
    box->setItemData(nIndex, QVariant::fromValue<uint>(dwData));
    return TRUE;
}

DWORD CComboBox::GetItemData(int nIndex) const {
    QComboBox* box = Box();
    if (!box || nIndex < 0 || nIndex >= box->count())
        return 0;
    return box->itemData(nIndex).toUInt();
}

CString CComboBox::GetLBText(int nIndex) const {
    QComboBox* box = Box();
    if (!box || nIndex < 0 || nIndex >= box->count())
        return CString();
    return mlui::FromQ(box->itemText(nIndex));
}

int CComboBox::SelectString(int nStartAfter, const char* gbText) {
    QComboBox* box = Box();
    if (!box || box->count() == 0)
        return CB_ERR;
    QString prefix = mlui::ToQ(gbText);
    const int i = FindWrapping(box, nStartAfter, [&](const QString& item) {
        return item.startsWith(prefix, Qt::CaseInsensitive);
    });
    if (i != CB_ERR) {
        QSignalBlocker block(box);
        box->setCurrentIndex(i);
    }
    return i;
}

int CComboBox::FindStringExact(int nStartAfter, const char* gbText) const {
    QComboBox* box = Box();
    if (!box || box->count() == 0)
        return CB_ERR;
    QString text = mlui::ToQ(gbText);
    return FindWrapping(box, nStartAfter, [&](const QString& item) {
        return item.compare(text, Qt::CaseInsensitive) == 0;
    });
}
