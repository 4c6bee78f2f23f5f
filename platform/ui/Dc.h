// A device context over a QPainter: the few drawing calls the owner-drawn header makes, with the
// class library's rules (a line drawn with LineTo leaves out its end point; rectangles are given
// with exclusive right and bottom edges).
#pragma once

#include <QColor>
#include <QPainter>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <vector>

#include "WinTypes.h"

// Windows-style rectangle: right and bottom are exclusive.
struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    CRect() = default;
    CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    explicit CRect(const QRect& q)
        : left(q.x()), top(q.y()), right(q.x() + q.width()), bottom(q.y() + q.height()) {}
    QRect ToQ() const { return QRect(left, top, right - left, bottom - top); }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// System colours the header uses.
enum { COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_BTNTEXT = 18, COLOR_BTNHIGHLIGHT = 20 };

// DrawText format flags.
enum : UINT {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_SINGLELINE = 0x20,
    DT_NOCLIP = 0x100,
    DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
};

// The colour of a system colour index, from the application palette.
QColor GetSysColor(int nIndex);

class CPen {
public:
    CPen(QColor color, int nWidth) : m_color(color), m_nWidth(nWidth) {}
    QColor GetColor() const { return m_color; }
    int GetWidth() const { return m_nWidth; }

private:
    QColor m_color;
    int m_nWidth;
};

class CDC {
public:
    explicit CDC(QPainter* p) : m_p(p) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    int SaveDC();
    BOOL RestoreDC(int nSaved);
    void IntersectClipRect(const CRect& rc);
    void FillRect(const CRect& rc, QColor color);
    // Draws one line of text in `rc` with the DT_ flags; the text is GB2312.
    void DrawText(const char* gbText, const CRect& rc, UINT nFormat);
    // Fills the polygon through `pts` with `color`, edges included, without smoothing.
    void FillPolygon(const std::vector<QPoint>& pts, QColor color);
    // Selects a pen; returns the previous one (null for the default pen).
    const CPen* SelectObject(const CPen* pen);
    void MoveTo(int x, int y);
    // Draws from the current position to (x, y), without the end point, and moves there.
    void LineTo(int x, int y);

private:
    QPainter* m_p;
    const CPen* m_pPen = nullptr;
    QPoint m_pos;
    std::vector<int> m_saved;
};
