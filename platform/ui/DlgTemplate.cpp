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
        // Below the template's height (as far as the page's minimum lets it) the stretching
        // controls give up the room.
        const int dx = std::max(0, size.width() - m_base.width());
        const int dy = size.height() - m_base.height();
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

// A page widget: the template's size is the size it asks for, whatever its minimum.
class CPageWidget : public QWidget {
public:
    CPageWidget(QWidget* parent, QSize base) : QWidget(parent), m_base(base) {}
    QSize sizeHint() const override { return m_base; }

private:
    QSize m_base;
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
    QFont font = DialogFont();
    const QSize base = MapDialogRect(font, 0, 0, tpl.cx, tpl.cy).size();
    auto* page = new CPageWidget(parent, base);
    page->setFont(font);
    // A page is as wide as its template at least; it may be lower, down to where a control that
    // stretches downwards keeps kMinStretchHeight dialog units (a list still shows a few rows
    // and scrolls the rest), so it fits a low screen.
    constexpr int kMinStretchHeight = 60;
    int nShrink = base.height();
    bool bStretches = false;
    for (int i = 0; i < tpl.nItems; ++i)
        if (tpl.pItems[i].flags & CTL_STRETCH_Y) {
            bStretches = true;
            const int cy = std::max(0, tpl.pItems[i].cy - kMinStretchHeight);
            nShrink = std::min(nShrink, MapDialogRect(font, 0, 0, 0, cy).height());
        }
    page->setMinimumSize(base.width(), base.height() - (bStretches ? nShrink : 0));
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
