// CSortHeaderCtrl: the column header of a CSortListCtrl. It marks the sorted column with a small
// drawn triangle (up for ascending, down for descending) and writes and reads the column-width
// record: a 32-bit little-endian count n followed by n 32-bit widths in pixels.
#pragma once

#include <string>
#include <string_view>

#include "ListCtrl.h"

class CSortHeaderCtrl : public CHeaderCtrl {
public:
    CSortHeaderCtrl() = default;
    ~CSortHeaderCtrl() override = default;

    // Marks `nColumn` (it becomes owner-drawn) and repaints.
    void SetSortMark(int nColumn, BOOL bAscending);
    // No column is marked any more (an earlier marked one stays owner-drawn, without a mark).
    void ClearSortMark();
    int GetSortColumn() const { return m_nSortColumn; }
    BOOL IsSortAscending() const { return m_bSortAscending; }

    // Storing: appends the width record of the current columns to `bytes`; FALSE (nothing
    // written) without a window. Loading: applies the widths in `bytes` when the record's count
    // equals the column count and the record holds every width it announces; FALSE otherwise,
    // leaving the widths as they are.
    BOOL Serialize(std::string& bytes, BOOL bStoring);

    void DrawItem(DRAWITEMSTRUCT* pDraw) override;

private:
    BOOL StoreWidths(std::string& bytes) const;
    BOOL LoadWidths(std::string_view bytes);

    int m_nSortColumn = -1;
    BOOL m_bSortAscending = TRUE;
};
