#include "DlgTemplate.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "ListCtrl.h"
#include "UiText.h"

namespace mlui {

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
    page->setMinimumSize(MapDialogRect(font, 0, 0, tpl.cx, tpl.cy).size());
    for (int i = 0; i < tpl.nItems; ++i) {
        const DlgItem& it = tpl.pItems[i];
        QWidget* w = nullptr;
        switch (it.kind) {
            case CtlKind::ListView: {
                auto* view = new QTableView(page);
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
        w->setGeometry(MapDialogRect(font, it.x, it.y, it.cx, it.cy));
        CWnd::SetControlID(w, it.nID);
        if (it.flags & CTL_HIDDEN)
            w->hide();
        if (it.flags & CTL_DISABLED)
            w->setEnabled(false);
    }
    return page;
}

}  // namespace mlui
