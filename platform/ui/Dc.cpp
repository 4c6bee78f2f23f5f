#include "Dc.h"

#include <QApplication>
#include <QFontMetrics>
#include <cstdlib>

#include "UiText.h"

QColor GetSysColor(int nIndex) {
    QPalette pal = QApplication::palette();
    switch (nIndex) {
        case COLOR_BTNFACE:
            return pal.color(QPalette::Button);
        case COLOR_BTNSHADOW:
            return pal.color(QPalette::Dark);
        case COLOR_BTNHIGHLIGHT:
            return pal.color(QPalette::Light);
        case COLOR_BTNTEXT:
            return pal.color(QPalette::ButtonText);
        default:
            return pal.color(QPalette::Window);
    }
}

int CDC::SaveDC() {
    m_p->save();
    m_saved.push_back(static_cast<int>(m_saved.size()) + 1);
    return m_saved.back();
}

BOOL CDC::RestoreDC(int nSaved) {
    if (m_saved.empty() || nSaved <= 0 || nSaved > static_cast<int>(m_saved.size()))
        return FALSE;
    while (static_cast<int>(m_saved.size()) >= nSaved) {
        m_p->restore();
        m_saved.pop_back();
    }
    return TRUE;
}

void CDC::IntersectClipRect(const CRect& rc) {
    m_p->setClipRect(rc.ToQ(), Qt::IntersectClip);
}

void CDC::FillRect(const CRect& rc, QColor color) {
    m_p->fillRect(rc.ToQ(), color);
}

void CDC::DrawText(const char* gbText, const CRect& rc, UINT nFormat) {
    QString text = mlui::ToQ(gbText);
    QRect r = rc.ToQ();
    int align = (nFormat & DT_CENTER)  ? Qt::AlignHCenter
                : (nFormat & DT_RIGHT) ? Qt::AlignRight
                                       : Qt::AlignLeft;
    align |= (nFormat & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
    if (nFormat & DT_END_ELLIPSIS)
        text = m_p->fontMetrics().elidedText(text, Qt::ElideRight, r.width());
    if (nFormat & DT_NOCLIP)
        align |= Qt::TextDontClip;
    m_p->save();
    m_p->setPen(GetSysColor(COLOR_BTNTEXT));
    m_p->drawText(r, align | Qt::TextSingleLine, text);
    m_p->restore();
}

const CPen* CDC::SelectObject(const CPen* pen) {
    const CPen* old = m_pPen;
    m_pPen = pen;
    return old;
}

void CDC::MoveTo(int x, int y) {
    m_pos = QPoint(x, y);
}

void CDC::FillPolygon(const std::vector<QPoint>& pts, QColor color) {
    m_p->save();
    m_p->setRenderHint(QPainter::Antialiasing, false);
    m_p->setPen(QPen(color, 1));
    m_p->setBrush(color);
    m_p->drawPolygon(pts.data(), static_cast<int>(pts.size()));
    m_p->restore();
}

void CDC::LineTo(int x, int y) {
    // Plotted point by point so that the pixels are those of the original drawing rules
    // (Bresenham, end point left out), whatever the paint engine's line rasterisation.
    QColor color = m_pPen ? m_pPen->GetColor() : GetSysColor(COLOR_BTNTEXT);
    int x0 = m_pos.x(), y0 = m_pos.y();
    int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
    int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    m_p->save();
    m_p->setPen(QPen(color, 1));
    m_p->setRenderHint(QPainter::Antialiasing, false);
    while (x0 != x || y0 != y) {
        m_p->drawPoint(x0, y0);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    m_p->restore();
    m_pos = QPoint(x, y);
}
