#include "ListCtrl.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <set>

#include "UiText.h"

namespace {
constexpr const char* kStyleProperty = "mlStyle";
constexpr const char* kExStyleProperty = "mlExStyle";
}  // namespace

// The items of one list, in display order.
class CListModel : public QAbstractTableModel {
public:
    struct Item {
        std::vector<QString> texts;
        LPARAM data = 0;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(items.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(headings.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return QVariant();
        const Item& item = items[static_cast<size_t>(index.row())];
        size_t col = static_cast<size_t>(index.column());
        return col < item.texts.size() ? QVariant(item.texts[col]) : QVariant();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 ||
            section >= static_cast<int>(headings.size()))
            return QVariant();
        if (role == Qt::DisplayRole)
            return headings[static_cast<size_t>(section)];
        if (role == Qt::TextAlignmentRole) {
            int fmt = formats[static_cast<size_t>(section)];
            int h = (fmt & HDF_CENTER)  ? Qt::AlignHCenter
                    : (fmt & HDF_RIGHT) ? Qt::AlignRight
                                        : Qt::AlignLeft;
            return QVariant(h | Qt::AlignVCenter);
        }
        return QVariant();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    int InsertColumn(int at, const QString& heading, int fmt) {
        at = std::clamp(at, 0, static_cast<int>(headings.size()));
        beginInsertColumns(QModelIndex(), at, at);
        headings.insert(headings.begin() + at, heading);
        formats.insert(formats.begin() + at, fmt);
        for (Item& item : items)
            if (static_cast<int>(item.texts.size()) > at)
                item.texts.insert(item.texts.begin() + at, QString());
        endInsertColumns();
        return at;
    }
    int InsertItem(int at, const QString& text) {
        at = std::clamp(at, 0, static_cast<int>(items.size()));
        beginInsertRows(QModelIndex(), at, at);
        Item item;
        item.texts.push_back(text);
        items.insert(items.begin() + at, std::move(item));
        endInsertRows();
        return at;
    }
    void SetText(int row, int col, const QString& text) {
        Item& item = items[static_cast<size_t>(row)];
        if (item.texts.size() <= static_cast<size_t>(col))
            item.texts.resize(static_cast<size_t>(col) + 1);
        item.texts[static_cast<size_t>(col)] = text;
        QModelIndex i = index(row, col);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
    void RemoveItem(int row) {
        beginRemoveRows(QModelIndex(), row, row);
        items.erase(items.begin() + row);
        endRemoveRows();
    }
    void RemoveAll() {
        beginResetModel();
        items.clear();
        endResetModel();
    }
    void SetHeading(int col, const QString& text) {
        headings[static_cast<size_t>(col)] = text;
        emit headerDataChanged(Qt::Horizontal, col, col);
    }
    void SetFormat(int col, int fmt) {
        formats[static_cast<size_t>(col)] = fmt;
        emit headerDataChanged(Qt::Horizontal, col, col);
    }
    // Puts the items in the order `order` (new position -> old position); selections follow.
    void Reorder(const std::vector<int>& order) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newPos(order.size());
        std::vector<Item> sorted;
        sorted.reserve(items.size());
        for (size_t i = 0; i < order.size(); ++i) {
            newPos[static_cast<size_t>(order[i])] = static_cast<int>(i);
            sorted.push_back(std::move(items[static_cast<size_t>(order[i])]));
        }
        items = std::move(sorted);
        QModelIndexList from = persistentIndexList(), to;
        to.reserve(from.size());
        for (const QModelIndex& i : from)
            to.append(i.isValid() ? index(newPos[static_cast<size_t>(i.row())], i.column()) : i);
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    std::vector<QString> headings;
    std::vector<int> formats;
    std::vector<Item> items;
};

// The header widget: default painting, except for items the bound CHeaderCtrl draws itself.
class CHeaderView : public QHeaderView {
public:
    explicit CHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}
    void SetOwner(CHeaderCtrl* owner) { m_pOwner = owner; }
    std::function<void()> m_onUserResize;
    CListModel* ListModel() const { return dynamic_cast<CListModel*>(model()); }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        CListModel* m = ListModel();
        if (m_pOwner && m && logicalIndex >= 0 &&
            logicalIndex < static_cast<int>(m->formats.size()) &&
            (m->formats[static_cast<size_t>(logicalIndex)] & HDF_OWNERDRAW)) {
            // The section's background and frame (separator, bottom line) are the style's, as
            // for every other section; the owner draws label and mark over them.
            QStyleOptionHeader opt;
            initStyleOption(&opt);
            initStyleOptionForIndex(&opt, logicalIndex);
            opt.rect = rect;
            painter->save();
            style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
            painter->restore();
            CDC dc(painter);
            DRAWITEMSTRUCT dis;
            dis.itemID = static_cast<UINT>(logicalIndex);
            dis.itemState = logicalIndex == m_nPressed ? UINT{ODS_SELECTED} : UINT{0};
            dis.pDC = &dc;
            dis.rcItem = CRect(rect);
            painter->save();
            m_pOwner->DrawItem(&dis);
            painter->restore();
            return;
        }
        QHeaderView::paintSection(painter, rect, logicalIndex);
    }
    void mousePressEvent(QMouseEvent* e) override {
        m_nPressed = logicalIndexAt(e->position().toPoint());
        viewport()->update();
        m_bResized = false;
        m_resizing = connect(this, &QHeaderView::sectionResized, this,
                             [this](int, int, int) { m_bResized = true; });
        QHeaderView::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        m_nPressed = -1;
        viewport()->update();
        QHeaderView::mouseReleaseEvent(e);
        disconnect(m_resizing);
        // A column edge the user dragged; the widths the window gives on its own do not count.
        if (m_bResized && m_onUserResize)
            m_onUserResize();
        m_bResized = false;
    }

private:
    CHeaderCtrl* m_pOwner = nullptr;
    int m_nPressed = -1;
    bool m_bResized = false;
    QMetaObject::Connection m_resizing;
};

// The list view widget: a table view whose type-ahead can look in one column whatever the
// current cell, whose Home and End go to the first and last row (the current row is what the
// user picked wherever they take it), and whose copy gives what the owner makes of the pick.
class CListView : public QTableView {
public:
    using QTableView::QTableView;
    int m_nTypeAheadColumn = -1;
    std::function<QString()> m_copyText;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        // Rows, not cells: the column (and so the horizontal scroll) stays.
        QAbstractItemModel* m = model();
        if ((action == MoveHome || action == MoveEnd) && m) {
            const int nRows = m->rowCount(rootIndex());
            if (nRows == 0)
                return QModelIndex();
            const QModelIndex cur = currentIndex();
            return m->index(action == MoveHome ? 0 : nRows - 1, cur.isValid() ? cur.column() : 0,
                            rootIndex());
        }
        return QTableView::moveCursor(action, modifiers);
    }
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        if (event && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<const QKeyEvent*>(event);
            if (key->key() == Qt::Key_Home || key->key() == Qt::Key_End) {
                // Ctrl would only move the cursor; here it goes to the end row and picks it.
                QKeyEvent plain(QEvent::KeyPress, key->key(),
                                key->modifiers() & ~Qt::ControlModifier);
                return QTableView::selectionCommand(index, &plain);
            }
        }
        return QTableView::selectionCommand(index, event);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (m_copyText && e->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(m_copyText());
            e->accept();
            return;
        }
        QTableView::keyPressEvent(e);
    }

public:
    void keyboardSearch(const QString& search) override {
        QAbstractItemModel* m = model();
        const int col = m_nTypeAheadColumn;
        if (!m || col < 0 || col >= m->columnCount()) {
            QTableView::keyboardSearch(search);
            return;
        }
        // Letters typed in quick succession extend one search, as the toolkit's own does.
        const bool bFresh = search.isEmpty() || !m_typed.isValid() ||
                            m_typed.elapsed() > QApplication::keyboardInputInterval();
        m_typed.start();
        m_strTyped = bFresh ? search : m_strTyped + search;
        const int nRows = m->rowCount();
        if (m_strTyped.isEmpty() || nRows == 0)
            return;
        // The same letter again and again steps through the rows that begin with it.
        const QChar last = m_strTyped.back();
        const bool bSameKey = m_strTyped.count(last) == m_strTyped.size();
        const QString needle = bSameKey ? QString(last) : m_strTyped;
        const QModelIndex cur = currentIndex();
        int row = cur.isValid() ? cur.row() : 0;
        if (cur.isValid() && (bFresh || bSameKey))
            row = (row + 1) % nRows;
        const QModelIndexList hits = m->match(m->index(row, col), Qt::DisplayRole, needle, 1,
                                              Qt::MatchStartsWith | Qt::MatchWrap);
        if (!hits.isEmpty())
            setCurrentIndex(hits.front());
    }

private:
    QElapsedTimer m_typed;
    QString m_strTyped;
};

QTableView* mlui::CreateListView(QWidget* parent) {
    return new CListView(parent);
}

// --- CHeaderCtrl ---------------------------------------------------------------------------

CHeaderView* CHeaderCtrl::View() const {
    return dynamic_cast<CHeaderView*>(GetWidget());
}

void CHeaderCtrl::PreSubclassWindow() {
    if (CHeaderView* v = View())
        v->SetOwner(this);
}

CHeaderCtrl::~CHeaderCtrl() {
    if (CHeaderView* v = View()) {
        v->SetOwner(nullptr);
        v->m_onUserResize = nullptr;
    }
}

void CHeaderCtrl::OnDestroy() {
    if (CHeaderView* v = View()) {
        v->SetOwner(nullptr);
        v->m_onUserResize = nullptr;
    }
}

int CHeaderCtrl::GetItemCount() const {
    CHeaderView* v = View();
    return v ? v->count() : -1;
}

BOOL CHeaderCtrl::GetItem(int nPos, HDITEM* pItem) const {
    CHeaderView* v = View();
    CListModel* m = v ? v->ListModel() : nullptr;
    if (!m || !pItem || nPos < 0 || nPos >= static_cast<int>(m->headings.size()))
        return FALSE;
    if (pItem->mask & HDI_WIDTH)
        pItem->cxy = v->sectionSize(nPos);
    if (pItem->mask & HDI_FORMAT)
        pItem->fmt = m->formats[static_cast<size_t>(nPos)];
    if ((pItem->mask & HDI_TEXT) && pItem->pszText && pItem->cchTextMax > 0) {
        CString text = mlui::FromQ(m->headings[static_cast<size_t>(nPos)]);
        size_t n = std::min(static_cast<size_t>(text.GetLength()),
                            static_cast<size_t>(pItem->cchTextMax - 1));
        std::memcpy(pItem->pszText, text.GetString(), n);
        pItem->pszText[n] = '\0';
    }
    return TRUE;
}

BOOL CHeaderCtrl::SetItem(int nPos, const HDITEM* pItem) {
    CHeaderView* v = View();
    CListModel* m = v ? v->ListModel() : nullptr;
    if (!m || !pItem || nPos < 0 || nPos >= static_cast<int>(m->headings.size()))
        return FALSE;
    if (pItem->mask & HDI_WIDTH)
        v->resizeSection(nPos, std::max(0, pItem->cxy));
    if (pItem->mask & HDI_FORMAT)
        m->SetFormat(nPos, pItem->fmt);
    if ((pItem->mask & HDI_TEXT) && pItem->pszText)
        m->SetHeading(nPos, mlui::ToQ(pItem->pszText));
    return TRUE;
}

void CHeaderCtrl::DrawItem(DRAWITEMSTRUCT*) {}

// --- CListCtrl -----------------------------------------------------------------------------

CListCtrl::CListCtrl() = default;

CListCtrl::~CListCtrl() {
    UnsubclassWindow();
}

void CListCtrl::PreSubclassWindow() {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view)
        return;
    m_pModel = new CListModel(view);
    auto* header = new CHeaderView(view);
    header->setSectionsClickable(true);
    header->setMinimumSectionSize(0);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setHorizontalHeader(header);
    header->show();  // a header put into a view already shown starts hidden
    view->setModel(m_pModel);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->setWordWrap(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(false);
    // Tab leaves the list for the next control instead of walking its cells.
    view->setTabKeyNavigation(false);
    DWORD style = GetStyle();
    view->setSelectionMode((style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                   : QAbstractItemView::ExtendedSelection);
    SetExtendedStyle(GetExtendedStyle());
    AddConnection(QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged,
                                   view, [this] {
                                       if (m_onSelChange)
                                           m_onSelChange();
                                   }));
    AddConnection(QObject::connect(header, &QHeaderView::sectionClicked, view,
                                   [this](int col) { OnColumnClick(col); }));
    AddConnection(
        QObject::connect(view, &QAbstractItemView::doubleClicked, view, [this](const QModelIndex&) {
            if (m_onDblClk)
                m_onDblClk();
        }));
}

void CListCtrl::OnDestroy() {
    m_pModel = nullptr;  // goes with the view
}

DWORD CListCtrl::GetStyle() const {
    QWidget* w = GetWidget();
    return w ? w->property(kStyleProperty).toUInt() : 0;
}

DWORD CListCtrl::GetExtendedStyle() const {
    QWidget* w = GetWidget();
    return w ? w->property(kExStyleProperty).toUInt() : 0;
}

void CListCtrl::SetExtendedStyle(DWORD dwExStyle) {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view)
        return;
    view->setProperty(kExStyleProperty, QVariant::fromValue<uint>(dwExStyle));
    view->setShowGrid((dwExStyle & LVS_EX_GRIDLINES) != 0);
    view->setSelectionBehavior((dwExStyle & LVS_EX_FULLROWSELECT) ? QAbstractItemView::SelectRows
                                                                  : QAbstractItemView::SelectItems);
}

int CListCtrl::InsertColumn(int nCol, const char* gbHeading, int nFormat, int nWidth, int) {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!m_pModel || !view || nCol < 0)
        return -1;
    int fmt = HDF_STRING | (nFormat & (HDF_CENTER | HDF_RIGHT));
    int at = m_pModel->InsertColumn(nCol, mlui::ToQ(gbHeading), fmt);
    if (nWidth >= 0)
        view->horizontalHeader()->resizeSection(at, nWidth);
    return at;
}

int CListCtrl::GetColumnCount() const {
    return m_pModel ? static_cast<int>(m_pModel->headings.size()) : 0;
}

int CListCtrl::InsertItem(int nItem, const char* gbText) {
    if (!m_pModel || nItem < 0)
        return -1;
    return m_pModel->InsertItem(nItem, mlui::ToQ(gbText));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const char* gbText) {
    if (!m_pModel || nItem < 0 || nItem >= GetItemCount() || nSubItem < 0 ||
        nSubItem >= GetColumnCount())
        return FALSE;
    m_pModel->SetText(nItem, nSubItem, mlui::ToQ(gbText));
    return TRUE;
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    if (!m_pModel || nItem < 0 || nItem >= GetItemCount() || nSubItem < 0)
        return CString();
    const auto& texts = m_pModel->items[static_cast<size_t>(nItem)].texts;
    return static_cast<size_t>(nSubItem) < texts.size()
               ? mlui::FromQ(texts[static_cast<size_t>(nSubItem)])
               : CString();
}

int CListCtrl::GetItemCount() const {
    return m_pModel ? static_cast<int>(m_pModel->items.size()) : 0;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
    if (nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    m_pModel->items[static_cast<size_t>(nItem)].data = static_cast<LPARAM>(dwData);
    return TRUE;
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
    if (nItem < 0 || nItem >= GetItemCount())
        return 0;
    return static_cast<DWORD_PTR>(m_pModel->items[static_cast<size_t>(nItem)].data);
}

BOOL CListCtrl::DeleteItem(int nItem) {
    if (nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    m_pModel->RemoveItem(nItem);
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems() {
    if (!m_pModel)
        return FALSE;
    m_pModel->RemoveAll();
    return TRUE;
}

BOOL CListCtrl::SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData) {
    if (!m_pModel || !pfnCompare)
        return FALSE;
    const auto& items = m_pModel->items;
    const size_t n = items.size();
    std::vector<int> order(n), buffer(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = static_cast<int>(i);
    // Bottom-up merge: every access is bounded by the run lengths, so a comparison function
    // that contradicts itself can only give an odd order, never a fault.
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi) {
                int r = pfnCompare(items[static_cast<size_t>(order[b])].data,
                                   items[static_cast<size_t>(order[a])].data,
                                   static_cast<LPARAM>(dwData));
                buffer[out++] = r < 0 ? order[b++] : order[a++];
            }
            while (a < mid)
                buffer[out++] = order[a++];
            while (b < hi)
                buffer[out++] = order[b++];
        }
        order.swap(buffer);
    }
    m_pModel->Reorder(order);
    return TRUE;
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view || nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    QModelIndex idx = m_pModel->index(nItem, 0);
    if (nMask & LVIS_SELECTED) {
        auto flags = ((nState & LVIS_SELECTED) ? QItemSelectionModel::Select
                                               : QItemSelectionModel::Deselect) |
                     QItemSelectionModel::Rows;
        view->selectionModel()->select(idx, flags);
    }
    if ((nMask & LVIS_FOCUSED) && (nState & LVIS_FOCUSED))
        view->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    return TRUE;
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL) {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view || nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    QPersistentModelIndex idx(m_pModel->index(nItem, 0));
    if (view->isVisible()) {
        view->scrollTo(idx);
    } else {
        // A view not shown yet has no scroll range to move in. Once it has, the row is brought
        // into view unless the user has moved the cursor meanwhile.
        QPersistentModelIndex current(view->currentIndex());
        QTimer::singleShot(0, view, [view, idx, current] {
            if (idx.isValid() && QModelIndex(current) == view->currentIndex())
                view->scrollTo(idx);
        });
    }
    return TRUE;
}

void CListCtrl::SetTypeAheadColumn(int nColumn) {
    if (auto* view = dynamic_cast<CListView*>(GetWidget()))
        view->m_nTypeAheadColumn = nColumn;
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view || nItem < 0 || nItem >= GetItemCount())
        return 0;
    UINT state = 0;
    if ((nMask & LVIS_SELECTED) && view->selectionModel()->isRowSelected(nItem, QModelIndex()))
        state |= LVIS_SELECTED;
    if ((nMask & LVIS_FOCUSED) && view->selectionModel()->currentIndex().row() == nItem)
        state |= LVIS_FOCUSED;
    return state;
}

std::vector<int> CListCtrl::GetSelectedItems() const {
    std::vector<int> rows;
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view)
        return rows;
    std::set<int> seen;
    for (const QModelIndex& i : view->selectionModel()->selectedIndexes())
        seen.insert(i.row());
    rows.assign(seen.begin(), seen.end());
    return rows;
}

int CListCtrl::GetSelectionMark() const {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    if (!view)
        return -1;
    int current = view->selectionModel()->currentIndex().row();
    if (current >= 0 && view->selectionModel()->isRowSelected(current, QModelIndex()))
        return current;
    std::vector<int> rows = GetSelectedItems();
    return rows.empty() ? -1 : rows.front();
}

QWidget* CListCtrl::GetHeaderCtrl() const {
    auto* view = qobject_cast<QTableView*>(GetWidget());
    return view ? view->horizontalHeader() : nullptr;
}

void CListCtrl::SetStretchLastColumn(bool bStretch) {
    if (auto* view = qobject_cast<QTableView*>(GetWidget()))
        view->horizontalHeader()->setStretchLastSection(bStretch);
}

void CListCtrl::SetCopyHandler(std::function<CString()> fn) {
    if (auto* view = dynamic_cast<CListView*>(GetWidget())) {
        if (fn)
            view->m_copyText = [fn = std::move(fn)] { return mlui::ToQ(fn()); };
        else
            view->m_copyText = nullptr;
    }
}

void CHeaderCtrl::SetUserResizeHandler(std::function<void()> fn) {
    if (CHeaderView* v = View())
        v->m_onUserResize = std::move(fn);
}

void CListCtrl::SetSelChangeHandler(std::function<void()> fn) {
    m_onSelChange = std::move(fn);
}

void CListCtrl::SetDblClkHandler(std::function<void()> fn) {
    m_onDblClk = std::move(fn);
}
