#include "SortListCtrl.h"

#include <climits>
#include <cstdlib>

#include "Profile.h"
#include "Trace.h"
#include "UiText.h"

namespace {

constexpr const char* kProfileSection = "ListCtrls";

// atoi with the overflow behaviour pinned down: out-of-range values saturate.
int ToInt(const char* s) {
    long long v = std::strtoll(s, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

int ToInt(const CString& s) {
    return ToInt(s.GetString());
}

bool IsDigit(char c) {
    // Taken as a signed char: bytes of double-byte characters are negative and never digits.
    return c >= '0' && c <= '9';
}

bool IsNumber(const char* s) {
    for (; *s; ++s)
        if (!IsDigit(*s))
            return false;
    return true;
}

bool IsSlashDate(const CString& s) {
    if (s.GetLength() != 10)
        return false;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (!IsDigit(s[i]))
            return false;
    return s[2] == '/' && s[5] == '/';
}

int Sign(int a, int b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

CSortListCtrl::~CSortListCtrl() {
    FreeRows();
}

void CSortListCtrl::PreSubclassWindow() {
    if ((GetStyle() & LVS_TYPEMASK) != LVS_REPORT)
        MLTRACE("sort list %d without report style\n", GetDlgCtrlID());
    CListCtrl::PreSubclassWindow();
    m_header.SubclassWindow(GetHeaderCtrl());
}

void CSortListCtrl::OnDestroy() {
    FreeRows();
    CListCtrl::OnDestroy();
}

BOOL CSortListCtrl::SetColumnSpec(const CString& strSpec) {
    int nStart = 0;
    for (;;) {
        int nComma = strSpec.Find(',', nStart);
        if (nComma < 0)
            return TRUE;
        CString strName = strSpec.Mid(nStart, nComma - nStart);
        nStart = nComma + 1;
        int nSemi = strSpec.Find(';', nStart);
        if (nSemi < 0)
            nSemi = strSpec.GetLength();
        int nWidth = ToInt(strSpec.Mid(nStart, nSemi - nStart));
        nStart = nSemi + 1;
        int nCol = m_nColumnCount++;
        if (InsertColumn(nCol, strName, LVCFMT_LEFT, nWidth, -1) == -1)
            return FALSE;
    }
}

int CSortListCtrl::AddRowV(const std::vector<const char*>& texts) {
    const int nItem = GetItemCount();
    auto get = [&texts](int i) -> const char* {
        const char* s =
            static_cast<size_t>(i) < texts.size() ? texts[static_cast<size_t>(i)] : nullptr;
        return s ? s : "";
    };
    if (CListCtrl::InsertItem(nItem, get(0)) != nItem)
        return -1;
    auto* row = new SortListRow;
    row->texts.reserve(static_cast<size_t>(m_nColumnCount));
    for (int i = 0; i < m_nColumnCount; ++i) {
        if (i > 0)
            CListCtrl::SetItemText(nItem, i, get(i));
        row->texts.emplace_back(get(i));
    }
    CListCtrl::SetItemData(nItem, reinterpret_cast<DWORD_PTR>(row));
    return nItem;
}

SortListRow* CSortListCtrl::Row(int nItem) const {
    if (nItem < 0 || nItem >= GetItemCount())
        return nullptr;
    return reinterpret_cast<SortListRow*>(CListCtrl::GetItemData(nItem));
}

void CSortListCtrl::FreeRows() {
    const int n = GetItemCount();
    for (int i = 0; i < n; ++i) {
        delete Row(i);
        CListCtrl::SetItemData(i, 0);
    }
}

BOOL CSortListCtrl::DeleteItem(int nItem) {
    if (nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    delete Row(nItem);
    CListCtrl::SetItemData(nItem, 0);
    return CListCtrl::DeleteItem(nItem);
}

BOOL CSortListCtrl::DeleteAllItems() {
    FreeRows();
    return CListCtrl::DeleteAllItems();
}

BOOL CSortListCtrl::SetItemText(int nItem, int nSubItem, const char* pszText) {
    if (!CListCtrl::SetItemText(nItem, nSubItem, pszText))
        return FALSE;
    SortListRow* row = Row(nItem);
    if (row && nSubItem >= 0 && static_cast<size_t>(nSubItem) < row->texts.size())
        row->texts[static_cast<size_t>(nSubItem)] = pszText ? pszText : "";
    return TRUE;
}

BOOL CSortListCtrl::SetItemData(int nItem, DWORD dwData) {
    SortListRow* row = Row(nItem);
    if (!row)
        return FALSE;
    row->data = dwData;
    return TRUE;
}

DWORD CSortListCtrl::GetItemData(int nItem) const {
    SortListRow* row = Row(nItem);
    return row ? row->data : 0;
}

const std::vector<CString>* CSortListCtrl::GetRowTexts(int nItem) const {
    SortListRow* row = Row(nItem);
    return row ? &row->texts : nullptr;
}

void CSortListCtrl::OnColumnClick(int nColumn) {
    BOOL bAscending = nColumn == m_nSortColumn ? !m_bSortAscending : TRUE;
    SortByColumn(nColumn, bAscending);
}

void CSortListCtrl::SortByColumn(int nColumn, BOOL bAscending) {
    m_nSortColumn = nColumn;
    m_bSortAscending = bAscending;
    m_header.SetSortMark(nColumn, bAscending);
    SortItems(&CSortListCtrl::CompareRows, reinterpret_cast<DWORD_PTR>(this));
}

int CSortListCtrl::CompareTexts(const char* t1, const char* t2, BOOL bAscending) {
    t1 = t1 ? t1 : "";
    t2 = t2 ? t2 : "";
    // The kind of comparison is chosen from the first row's text in either direction.
    const CString kind(t1);
    const CString a(bAscending ? t1 : t2), b(bAscending ? t2 : t1);
    if (IsNumber(t1))
        return Sign(ToInt(a), ToInt(b));
    if (IsSlashDate(kind)) {
        // dd/mm/yyyy; Mid clamps, so a shorter second text reads as far as it goes.
        if (int r = Sign(ToInt(a.Mid(6, 4)), ToInt(b.Mid(6, 4))))
            return r;
        if (int r = Sign(ToInt(a.Mid(3, 2)), ToInt(b.Mid(3, 2))))
            return r;
        return Sign(ToInt(a.Mid(0, 2)), ToInt(b.Mid(0, 2)));
    }
    return mlui::CompareLocale(a, b);
}

int CSortListCtrl::CompareRows(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort) {
    auto* self = reinterpret_cast<CSortListCtrl*>(lParamSort);
    auto* r1 = reinterpret_cast<SortListRow*>(lParam1);
    auto* r2 = reinterpret_cast<SortListRow*>(lParam2);
    const int s = self ? self->m_nSortColumn : -1;
    if (!r1 || !r2 || s < 0 || static_cast<size_t>(s) >= r1->texts.size() ||
        static_cast<size_t>(s) >= r2->texts.size())
        return 0;
    return CompareTexts(r1->texts[static_cast<size_t>(s)], r2->texts[static_cast<size_t>(s)],
                        self->m_bSortAscending);
}

void CSortListCtrl::ClearSortMark() {
    m_nSortColumn = -1;
    m_bSortAscending = TRUE;
    m_header.ClearSortMark();
}

void CSortListCtrl::RestoreWidthsFrom(const char* pszSection, const char* pszEntry) {
    std::string bytes;
    if (mlui::GetProfileBinary(pszSection, pszEntry, bytes) && !bytes.empty()) {
        m_header.Serialize(bytes, FALSE);
        m_header.Invalidate();
    }
}

void CSortListCtrl::StoreWidthsIn(const char* pszSection, const char* pszEntry) {
    std::string bytes;
    if (m_header.Serialize(bytes, TRUE))
        mlui::WriteProfileBinary(pszSection, pszEntry, bytes);
}

void CSortListCtrl::RestoreColumnWidths() {
    if (m_nColumnCount > 0)
        RestoreWidthsFrom(kProfileSection, ProfileEntry());
}

void CSortListCtrl::StoreColumnWidths() {
    if (m_nColumnCount > 0)
        StoreWidthsIn(kProfileSection, ProfileEntry());
}

CString CSortListCtrl::ProfileEntry() const {
    CString strEntry;
    strEntry.Format("%d", GetDlgCtrlID());
    return strEntry;
}

void CSortListCtrl::KeepColumnWidthsIn(const char* pszSection, const char* pszEntry) {
    if (m_nColumnCount <= 0)
        return;
    m_strWidthSection = pszSection;
    m_strWidthEntry = pszEntry;
    RestoreWidthsFrom(m_strWidthSection, m_strWidthEntry);
    m_header.SetUserResizeHandler([this] { StoreWidthsIn(m_strWidthSection, m_strWidthEntry); });
}
