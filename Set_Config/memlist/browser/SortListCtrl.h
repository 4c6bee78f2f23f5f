// CSortListCtrl: the report list of every browser page. It keeps a private copy of every cell's
// text (so it can sort without asking the page) and the caller's item data word in a row record
// it owns, builds its columns from a one-line column specification ("name, width; ..."), sorts
// when a column title is clicked (numbers, dd/mm/yyyy dates, otherwise locale-aware text), marks
// the sorted column in its header and restores column widths from the host application's
// profile (section "ListCtrls", entry = the control ID). Rows are freed when they are deleted or
// the list's window goes. Texts are GB2312. User-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "CString.h"
#include "ListCtrl.h"
#include "SortHeaderCtrl.h"

struct SortListRow {
    std::vector<CString> texts;  // one per column, column 0 first
    DWORD data = 0;              // the caller's item data
};

class CSortListCtrl : public CListCtrl {
public:
    CSortListCtrl() = default;
    ~CSortListCtrl() override;

    // Appends one column per "name, width" entry; FALSE as soon as a column is refused.
    BOOL SetColumnSpec(const CString& strSpec);
    // Appends a row with one text per column (missing texts are empty, extra ones ignored); the
    // new row's index, or -1 when the list has no window.
    template <class... T>
    int AddRow(const char* pszFirst, const T&... rest) {
        std::vector<const char*> texts{pszFirst, TextOf(rest)...};
        return AddRowV(texts);
    }
    int AddRowV(const std::vector<const char*>& texts);
    void SortByColumn(int nColumn, BOOL bAscending);
    void RestoreColumnWidths();
    void StoreColumnWidths();
    // Restores the widths kept under `pszSection`/`pszEntry` of the profile, when there are
    // any, and keeps the widths there whenever the user drags a column edge.
    void KeepColumnWidthsIn(const char* pszSection, const char* pszEntry);
    // Forgets the sort: the rows are in the order they were added again.
    void ClearSortMark();

    BOOL DeleteItem(int nItem);
    BOOL DeleteAllItems();
    BOOL SetItemText(int nItem, int nSubItem, const char* pszText);
    BOOL SetItemData(int nItem, DWORD dwData);
    DWORD GetItemData(int nItem) const;
    // The row's texts; null when the row does not exist.
    const std::vector<CString>* GetRowTexts(int nItem) const;

    int GetColumnCount() const { return m_nColumnCount; }
    int GetSortColumn() const { return m_nSortColumn; }
    BOOL IsSortAscending() const { return m_bSortAscending; }
    CSortHeaderCtrl& GetSortHeader() { return m_header; }

    // The comparison the sort uses, on the two texts of the sort column: <0, 0 or >0.
    static int CompareTexts(const char* t1, const char* t2, BOOL bAscending);

protected:
    void PreSubclassWindow() override;
    void OnDestroy() override;
    void OnColumnClick(int nColumn) override;

private:
    static const char* TextOf(const char* s) { return s; }
    static const char* TextOf(const CString& s) { return s.GetString(); }
    static const char* TextOf(const std::string& s) { return s.c_str(); }
    static int CompareRows(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);
    SortListRow* Row(int nItem) const;
    void FreeRows();

    void RestoreWidthsFrom(const char* pszSection, const char* pszEntry);
    void StoreWidthsIn(const char* pszSection, const char* pszEntry);
    // The shared profile's entry of this list: its control ID.
    CString ProfileEntry() const;

    CString m_strWidthSection, m_strWidthEntry;
    int m_nColumnCount = 0;
    int m_nSortColumn = -1;
    BOOL m_bSortAscending = TRUE;
    CSortHeaderCtrl m_header;
};
