#include "DlgTemplate.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>
#include <algorithm>
#include <vector>

#include "ListCtrl.h"
#include "UiText.h"

namespace mlui {

namespace {

// Places a page's controls for the page's size: the template's rectangles, moved or stretched
// by how much the page exceeds the template.
class CControlPlacer : public QObject {
public:
    CControlPlacer(QWidget* page, QSize base) : QObject(page), m_base(base) {}
    void Add(QWidget* w, QRect rc, DWORD flags) {
        if (flags & (CTL_STRETCH_X | CTL_STRETCH_Y | CTL_FOLLOW_RIGHT | CTL_FOLLOW_BOTTOM))
            m_controls.push_back({w, rc, flags});
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Resize)
            return false;
        const QSize size = static_cast<QResizeEvent*>(e)->size();
        const int dx = std::max(0, size.width() - m_base.width());
        const int dy = std::max(0, size.height() - m_base.height());
        for (const Control& c : m_controls) {
            if (!c.w)
                continue;
            QRect rc = c.rc;
            if (c.flags & CTL_STRETCH_X)
                rc.setWidth(rc.width() + dx);
            if (c.flags & CTL_STRETCH_Y)
                rc.setHeight(rc.height() + dy);
            rc.translate((c.flags & CTL_FOLLOW_RIGHT) ? dx : 0,
                         (c.flags & CTL_FOLLOW_BOTTOM) ? dy : 0);
            c.w->setGeometry(rc);
        }
        return false;
    }

private:
    struct Control {
        QPointer<QWidget> w;
        QRect rc;
        DWORD flags;
    };
    QSize m_base;
    std::vector<Control> m_controls;
};

}  // namespace

QFont DialogFont() {
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QString::fromUtf8("宋体"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("Droid Sans Fallback")});
    f.setPointSize(9);
    return f;
}

QRect MapDialogRect(const QFont& font, int x, int y, int cx, int cy) {
    QFontMetrics fm(font);
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int baseX = (fm.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    int baseY = fm.height();
    if (baseX <= 0)
        baseX = 6;
    if (baseY <= 0)
        baseY = 12;
    auto mx = [baseX](int v) { return v * baseX / 4; };
    auto my = [baseY](int v) { return v * baseY / 8; };
    return QRect(mx(x), my(y), mx(cx), my(cy));
}

QWidget* CreateFromTemplate(const DlgTemplate& tpl, QWidget* parent) {
    auto* page = new QWidget(parent);
    QFont font = DialogFont();
    page->setFont(font);
    const QSize base = MapDialogRect(font, 0, 0, tpl.cx, tpl.cy).size();
    page->setMinimumSize(base);
    auto* placer = new CControlPlacer(page, base);
    page->installEventFilter(placer);
    for (int i = 0; i < tpl.nItems; ++i) {
        const DlgItem& it = tpl.pItems[i];
        QWidget* w = nullptr;
        switch (it.kind) {
            case CtlKind::ListView: {
                QTableView* view = CreateListView(page);
                DWORD style = LVS_REPORT;
                if (it.flags & CTL_SINGLESEL)
                    style |= LVS_SINGLESEL;
                if (it.flags & CTL_SHOWSELALWAYS)
                    style |= LVS_SHOWSELALWAYS;
                view->setProperty("mlStyle", QVariant::fromValue<uint>(style));
                w = view;
                break;
            }
            case CtlKind::DropList: {
                auto* box = new QComboBox(page);
                box->setEditable(false);
                box->setProperty("mlSorted", (it.flags & CTL_SORTED) != 0);
                w = box;
                break;
            }
            case CtlKind::Edit:
                w = new QLineEdit(page);
                break;
            case CtlKind::Button:
                w = new QPushButton(ToQ(it.gbText), page);
                break;
            case CtlKind::Label:
            case CtlKind::Text: {
                auto* label = new QLabel(ToQ(it.gbText), page);
                label->setAlignment((it.kind == CtlKind::Label ? Qt::AlignRight : Qt::AlignLeft) |
                                    Qt::AlignVCenter);
                w = label;
                break;
            }
        }
        const QRect rc = MapDialogRect(font, it.x, it.y, it.cx, it.cy);
        w->setGeometry(rc);
        placer->Add(w, rc, it.flags);
        CWnd::SetControlID(w, it.nID);
        if (it.flags & CTL_HIDDEN)
            w->hide();
        if (it.flags & CTL_DISABLED)
            w->setEnabled(false);
    }
    return page;
}

}  // namespace mlui
