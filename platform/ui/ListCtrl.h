// The report-style list view and its column header, on a QTableView.
//
// CListCtrl keeps its items (cell texts converted for display, and one pointer-sized item word
// per item) in a table model it owns; the view only renders them. The items exist while the
// control is bound to its widget and are dropped when the widget is destroyed. CHeaderCtrl binds
// to the view's header; an item whose format carries HDF_OWNERDRAW is painted by DrawItem.
// Indices out of range are refused with FALSE / -1 rather than trusted. User-interface thread
// only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Dc.h"
#include "Wnd.h"

using LPARAM = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using PFNLVCOMPARE = int (*)(LPARAM, LPARAM, LPARAM);

// List view styles (GetStyle) and extended styles.
enum : DWORD {
    LVS_REPORT = 0x0001,
    LVS_SINGLESEL = 0x0004,
    LVS_SHOWSELALWAYS = 0x0008,
    LVS_TYPEMASK = 0x0003,
};
enum : DWORD { LVS_EX_GRIDLINES = 0x0001, LVS_EX_FULLROWSELECT = 0x0020 };
enum : UINT { LVIS_FOCUSED = 0x0001, LVIS_SELECTED = 0x0002 };
enum : int { LVCFMT_LEFT = 0, LVCFMT_RIGHT = 1, LVCFMT_CENTER = 2 };

// Header item fields.
enum : UINT { HDI_WIDTH = 0x0001, HDI_TEXT = 0x0002, HDI_FORMAT = 0x0004 };
enum : int {
    HDF_LEFT = 0,
    HDF_RIGHT = 1,
    HDF_CENTER = 2,
    HDF_STRING = 0x4000,
    HDF_OWNERDRAW = 0x8000
};
enum : UINT { ODS_SELECTED = 0x0001 };

struct HDITEM {
    UINT mask = 0;
    int cxy = 0;
    char* pszText = nullptr;  // GB2312; filled up to cchTextMax bytes including the NUL
    int cchTextMax = 0;
    int fmt = 0;
};

struct DRAWITEMSTRUCT {
    UINT itemID = 0;
    UINT itemState = 0;
    CDC* pDC = nullptr;
    CRect rcItem;
};

class CListModel;
class CHeaderView;
class QTableView;

namespace mlui {
// The widget of a report list view, for dialog templates.
QTableView* CreateListView(QWidget* parent);
}  // namespace mlui

class CHeaderCtrl : public CWnd {
public:
    CHeaderCtrl() = default;
    ~CHeaderCtrl() override;
    int GetItemCount() const;  // -1 without a window
    BOOL GetItem(int nPos, HDITEM* pItem) const;
    BOOL SetItem(int nPos, const HDITEM* pItem);

    // Called when the user has dragged a column edge (once the mouse is released).
    void SetUserResizeHandler(std::function<void()> fn);

    // Paints one owner-drawn item over the section background and frame the style has already
    // drawn for it; the default draws nothing more.
    virtual void DrawItem(DRAWITEMSTRUCT* pDraw);

protected:
    void PreSubclassWindow() override;
    void OnDestroy() override;

private:
    CHeaderView* View() const;
};

class CListCtrl : public CWnd {
public:
    CListCtrl();
    ~CListCtrl() override;

    DWORD GetStyle() const;
    DWORD GetExtendedStyle() const;
    void SetExtendedStyle(DWORD dwExStyle);

    int InsertColumn(int nCol, const char* gbHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    int GetColumnCount() const;
    int InsertItem(int nItem, const char* gbText);  // the new index, -1 on failure
    BOOL SetItemText(int nItem, int nSubItem, const char* gbText);
    CString GetItemText(int nItem, int nSubItem) const;
    int GetItemCount() const;
    // The raw item word (the list view item's lParam).
    BOOL SetItemData(int nItem, DWORD_PTR dwData);
    DWORD_PTR GetItemData(int nItem) const;
    BOOL DeleteItem(int nItem);
    BOOL DeleteAllItems();
    // Orders the items by `pfnCompare` (called with two item words and `dwData`); a stable
    // merge, safe with any answers the function gives.
    BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData);

    // LVIS_SELECTED selects or deselects the row; LVIS_FOCUSED makes it the current row without
    // touching the selection.
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    UINT GetItemState(int nItem, UINT nMask) const;
    // Scrolls the row into view (at once, or when a list not shown yet is first shown).
    BOOL EnsureVisible(int nItem, BOOL bPartialOK);
    // The selected items, top row first.
    std::vector<int> GetSelectedItems() const;
    // The item the user last selected (the current row when it is selected, else the first
    // selected row); -1 when nothing is selected.
    int GetSelectionMark() const;

    // The view's header widget, for a CHeaderCtrl to bind to; null without a window.
    QWidget* GetHeaderCtrl() const;

    // Type-ahead looks up the typed letters at the start of this column's texts, whichever cell
    // is current; -1 (the default) searches the current cell's column.
    void SetTypeAheadColumn(int nColumn);

    // The last column takes the room the window has to spare (and gives it back).
    void SetStretchLastColumn(bool bStretch);

    // Ctrl+C in the list puts the text `fn` gives on the clipboard (GB2312 in, converted);
    // without a handler the current cell's text is copied.
    void SetCopyHandler(std::function<CString()> fn);

    // LVN_ITEMCHANGED for the selection: called whenever rows are selected or deselected.
    void SetSelChangeHandler(std::function<void()> fn);

    // NM_DBLCLK for the parent: called when the user double-clicks an item.
    void SetDblClkHandler(std::function<void()> fn);

protected:
    void PreSubclassWindow() override;
    void OnDestroy() override;
    // LVN_COLUMNCLICK reflected to the list itself.
    virtual void OnColumnClick(int nColumn) {}

private:
    CListModel* m_pModel = nullptr;  // owned by the bound view
    std::function<void()> m_onDblClk, m_onSelChange;
};
