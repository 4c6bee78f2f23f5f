#include "SortHeaderCtrl.h"

#include <cstdint>
#include <vector>

#include "Trace.h"

namespace {

void PutInt32(std::string& out, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

std::int32_t GetInt32(std::string_view in, size_t at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + static_cast<size_t>(i)]))
             << (8 * i);
    return static_cast<std::int32_t>(u);
}

}  // namespace

void CSortHeaderCtrl::SetSortMark(int nColumn, BOOL bAscending) {
    m_nSortColumn = nColumn;
    m_bSortAscending = bAscending;
    HDITEM item;
    item.mask = HDI_FORMAT;
    if (GetItem(nColumn, &item)) {
        item.fmt |= HDF_OWNERDRAW;
        SetItem(nColumn, &item);
    }
    Invalidate();
}

void CSortHeaderCtrl::ClearSortMark() {
    m_nSortColumn = -1;
    m_bSortAscending = TRUE;
    Invalidate();
}

BOOL CSortHeaderCtrl::Serialize(std::string& bytes, BOOL bStoring) {
    return bStoring ? StoreWidths(bytes) : LoadWidths(bytes);
}

BOOL CSortHeaderCtrl::StoreWidths(std::string& bytes) const {
    int n = GetItemCount();
    if (n < 0)
        return FALSE;
    PutInt32(bytes, n);
    for (int i = 0; i < n; ++i) {
        HDITEM item;
        item.mask = HDI_WIDTH;
        GetItem(i, &item);
        PutInt32(bytes, item.cxy);
    }
    return TRUE;
}

BOOL CSortHeaderCtrl::LoadWidths(std::string_view bytes) {
    if (bytes.size() < 4)
        return FALSE;
    std::int32_t n = GetInt32(bytes, 0);
    if (n != GetItemCount()) {
        MLTRACE("Different number of columns in registry.\n");
        return FALSE;
    }
    // A record shorter than its count announces is not trusted in part.
    if ((bytes.size() - 4) / 4 < static_cast<size_t>(n))
        return FALSE;
    for (int i = 0; i < n; ++i) {
        HDITEM item;
        item.mask = HDI_WIDTH;
        item.cxy = GetInt32(bytes, 4 + 4 * static_cast<size_t>(i));
        SetItem(i, &item);
    }
    return TRUE;
}

void CSortHeaderCtrl::DrawItem(DRAWITEMSTRUCT* pDraw) {
    if (!pDraw || !pDraw->pDC)
        return;
    CDC& dc = *pDraw->pDC;
    const CRect rcItem = pDraw->rcItem;
    const int nSaved = dc.SaveDC();
    dc.IntersectClipRect(rcItem);

    char szText[256] = {};
    HDITEM item;
    item.mask = HDI_TEXT | HDI_FORMAT;
    item.pszText = szText;
    item.cchTextMax = static_cast<int>(sizeof szText);
    GetItem(static_cast<int>(pDraw->itemID), &item);

    UINT uFormat = DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP | DT_VCENTER | DT_END_ELLIPSIS;
    if (item.fmt & HDF_CENTER)
        uFormat |= DT_CENTER;
    else if (item.fmt & HDF_RIGHT)
        uFormat |= DT_RIGHT;

    CRect rcLabel = rcItem;
    if (pDraw->itemState == ODS_SELECTED) {
        rcLabel.left++;
        rcLabel.top += 2;
        rcLabel.right++;
    }
    const int o = (rcItem.bottom - rcItem.top) / 4;
    const bool bSorted = static_cast<int>(pDraw->itemID) == m_nSortColumn;
    if (bSorted)
        rcLabel.right -= 3 * o;
    rcLabel.left += o;
    rcLabel.right -= o;
    if (rcLabel.left < rcLabel.right)
        dc.DrawText(szText, rcLabel, uFormat);

    if (bSorted) {
        const int R = rcItem.right, B = rcItem.bottom;
        // A highlight-coloured edge vanishes against the header's face; both edges take
        // colours that stand out from it, the lit edge the softer of the two.
        CPen penLight(GetSysColor(COLOR_BTNSHADOW), 1);
        CPen penShadow(GetSysColor(COLOR_BTNTEXT), 1);
        // A solid triangle in the header's text colour, which every style keeps readable on its
        // face; the two edges are drawn over it.
        if (m_bSortAscending)
            dc.FillPolygon({{R - 2 * o, o}, {R - o, B - o - 1}, {R - 3 * o - 1, B - o - 1}},
                           GetSysColor(COLOR_BTNTEXT));
        else
            dc.FillPolygon({{R - 3 * o - 1, o}, {R - o - 1, o}, {R - 2 * o - 2, B - o}},
                           GetSysColor(COLOR_BTNTEXT));
        const CPen* pOld = dc.SelectObject(&penLight);
        if (m_bSortAscending) {
            dc.MoveTo(R - 2 * o, o);
            dc.LineTo(R - o, B - o - 1);
            dc.LineTo(R - 3 * o - 2, B - o - 1);
            dc.SelectObject(&penShadow);
            dc.MoveTo(R - 3 * o - 1, B - o - 1);
            dc.LineTo(R - 2 * o, o - 1);
        } else {
            dc.MoveTo(R - o - 1, o);
            dc.LineTo(R - 2 * o - 1, B - o);
            dc.SelectObject(&penShadow);
            dc.MoveTo(R - 2 * o - 2, B - o);
            dc.LineTo(R - 3 * o - 1, o);
            dc.LineTo(R - o - 1, o);
        }
        dc.SelectObject(pOld);
    }
    dc.RestoreDC(nSaved);
}
