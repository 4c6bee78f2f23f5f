// Dialog templates in code: a page's controls with their IDs, kinds and positions in dialog
// units, turned into widgets when the page's window is made. Dialog units convert to pixels from
// the dialog font's metrics (a quarter of the average character width across, an eighth of the
// character height down), so a layout keeps its proportions with whatever CJK font stands in for
// the template font "宋体".
//
// A page may be made larger than its template: each control then keeps its place relative to
// the top and left edges unless its flags tie it to the right or bottom edge or let it stretch
// with the page. It may be made lower than its template as far as the controls that stretch
// downwards keep a few lines.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

#include "WinTypes.h"

namespace mlui {

enum class CtlKind { ListView, DropList, Button, Label, Text, Edit };

// Control flags of a template entry.
enum : DWORD {
    CTL_SORTED = 0x01,  // drop-down list sorts its entries by text
    CTL_HIDDEN = 0x02,
    CTL_DISABLED = 0x04,
    CTL_SINGLESEL = 0x08,  // list view: one row at a time
    CTL_SHOWSELALWAYS = 0x10,
    CTL_STRETCH_X = 0x20,       // grows with the page's width
    CTL_STRETCH_Y = 0x40,       // grows with the page's height
    CTL_FOLLOW_RIGHT = 0x80,    // keeps its distance from the right edge
    CTL_FOLLOW_BOTTOM = 0x100,  // keeps its distance from the bottom edge
};

struct DlgItem {
    CtlKind kind;
    int nID;             // -1 for a label nobody addresses
    const char* gbText;  // GB2312
    int x, y, cx, cy;    // dialog units
    DWORD flags;
};

struct DlgTemplate {
    int nID;
    const char* gbCaption;
    int cx, cy;  // dialog units
    const DlgItem* pItems;
    int nItems;
};

// The template font: 9-point SimSun, falling back to an installed CJK face.
QFont DialogFont();
// Dialog units to pixels for `font`.
QRect MapDialogRect(const QFont& font, int x, int y, int cx, int cy);
// A page widget of the template's size (its minimum width) with every control of the template as a
// child, placed again whenever the page is resized.
QWidget* CreateFromTemplate(const DlgTemplate& tpl, QWidget* parent);

}  // namespace mlui
