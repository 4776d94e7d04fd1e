#include "platform/ui/TreeCtrl.h"

#include "platform/ui/GuiThread.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {
// The item record of the control itself: what the common control keeps per item.
class CTreeItem : public QTreeWidgetItem {
public:
    CTreeItem() : QTreeWidgetItem(UserType) {}
    UINT state = 0;
    LPARAM lParam = 0;
    int image = 0;
    int selectedImage = 0;
};

CTreeItem* Item(HTREEITEM item) { return static_cast<CTreeItem*>(item); }

bool IsInsertPosition(HTREEITEM item) {
    return item == TVI_ROOT || item == TVI_FIRST || item == TVI_LAST || item == TVI_SORT;
}

int SubtreeSize(const QTreeWidgetItem* item) {
    int n = 1;
    for (int i = 0; i < item->childCount(); ++i) n += SubtreeSize(item->child(i));
    return n;
}

// A worker (the scan) may drive the tree; the items and the view belong to the GUI thread,
// so a call from elsewhere runs there while the caller waits for its answer.
template <class F>
auto OnGuiThread(F&& f) {
    decltype(f()) result{};
    CallOnGuiThread([&] { result = f(); });
    return result;
}

constexpr int kRowHeight = 18;
constexpr int kLabelPadding = 2;
}  // namespace

class CTreeItemDelegate : public QStyledItemDelegate {
public:
    explicit CTreeItemDelegate(CTreeCtrl* tree) : QStyledItemDelegate(tree), m_pTree(tree) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        m_pTree->PaintItem(painter, option, m_pTree->itemFromIndex(index));
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(1, m_pTree->GetItemHeight());
    }

private:
    CTreeCtrl* m_pTree;
};

CTreeCtrl::CTreeCtrl(QWidget* parent) : QTreeWidget(parent), CWnd(this) {
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setRootIsDecorated(true);
    setIndentation(19);
    setItemDelegate(new CTreeItemDelegate(this));
    setFocusPolicy(Qt::StrongFocus);
}

CTreeCtrl::~CTreeCtrl() = default;

HTREEITEM CTreeCtrl::InsertItem(const TVINSERTSTRUCT* pInsert) {
    if (!IsGuiThread()) return OnGuiThread([&] { return InsertItem(pInsert); });
    if (pInsert == nullptr) return nullptr;
    QTreeWidgetItem* parent = pInsert->hParent;
    if (parent == TVI_ROOT || parent == nullptr) parent = invisibleRootItem();
    else if (IsInsertPosition(parent)) return nullptr;
    auto* item = new CTreeItem();
    const TVITEM& tv = pInsert->item;
    if ((tv.mask & TVIF_TEXT) && tv.pszText != nullptr) item->setText(0, QString::fromUtf16(tv.pszText));
    if (tv.mask & TVIF_IMAGE) item->image = tv.iImage;
    if (tv.mask & TVIF_SELECTEDIMAGE) item->selectedImage = tv.iSelectedImage;
    if (tv.mask & TVIF_PARAM) item->lParam = tv.lParam;
    if (tv.mask & TVIF_STATE) item->state = (tv.state & tv.stateMask) & ~TVIS_EXPANDED;

    HTREEITEM after = pInsert->hInsertAfter;
    if (after == TVI_FIRST) {
        parent->insertChild(0, item);
    } else if (after == TVI_LAST || after == TVI_SORT || after == nullptr || after == TVI_ROOT) {
        parent->addChild(item);
    } else {
        const int at = parent->indexOfChild(after);
        if (at < 0) parent->addChild(item);  // not a child of that parent: last, as the control does
        else parent->insertChild(at + 1, item);
    }
    ++m_nCount;
    return item;
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item) {
    if (!IsGuiThread()) return OnGuiThread([&] { return DeleteItem(item); });
    if (item == TVI_ROOT) return DeleteAllItems();
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    for (QTreeWidgetItem* p = m_hDropHilite; p != nullptr; p = p->parent()) {
        if (p == item) {
            m_hDropHilite = nullptr;
            break;
        }
    }
    m_nCount -= static_cast<UINT>(SubtreeSize(item));
    delete item;
    return TRUE;
}

BOOL CTreeCtrl::DeleteAllItems() {
    if (!IsGuiThread()) return OnGuiThread([&] { return DeleteAllItems(); });
    OnItemsDeleting();
    m_hDropHilite = nullptr;
    clear();
    m_nCount = 0;
    return TRUE;
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    if (!IsGuiThread()) return OnGuiThread([&] { return Expand(item, code); });
    if (item == nullptr || IsInsertPosition(item) || item->childCount() == 0) return FALSE;
    switch (code & 0x0003) {
    case TVE_COLLAPSE: item->setExpanded(false); break;
    case TVE_EXPAND: item->setExpanded(true); break;
    case TVE_TOGGLE: item->setExpanded(!item->isExpanded()); break;
    default: return FALSE;
    }
    return TRUE;
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item) {
    if (!IsGuiThread()) return OnGuiThread([&] { return SelectItem(item); });
    if (item == currentItem()) return TRUE;
    if (item != nullptr && IsInsertPosition(item)) return FALSE;
    setCurrentItem(item);
    if (item != nullptr && currentItem() != item) return FALSE;  // refused by OnSelchanging
    if (item != nullptr) scrollToItem(item);
    return TRUE;
}

BOOL CTreeCtrl::SelectDropTarget(HTREEITEM item) {
    if (!IsGuiThread()) return OnGuiThread([&] { return SelectDropTarget(item); });
    if (item != nullptr && IsInsertPosition(item)) return FALSE;
    if (m_hDropHilite != item) {
        HTREEITEM old = m_hDropHilite;
        m_hDropHilite = item;
        if (old != nullptr) viewport()->update(visualItemRect(old));
        if (item != nullptr) viewport()->update(visualItemRect(item));
    }
    return TRUE;
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item) {
    if (!IsGuiThread()) return OnGuiThread([&] { return EnsureVisible(item); });
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    for (QTreeWidgetItem* p = item->parent(); p != nullptr; p = p->parent()) p->setExpanded(true);
    scrollToItem(item);
    return TRUE;
}

void CTreeCtrl::ScrollFullyLeft() { horizontalScrollBar()->setValue(horizontalScrollBar()->minimum()); }

int CTreeCtrl::RowOf(HTREEITEM item) const {
    // The model remembers where it last found an item, so walking siblings stays linear
    // where a search of the parent's children would make it quadratic.
    return indexFromItem(item).row();
}

HTREEITEM CTreeCtrl::GetRootItem() const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetRootItem(); });
    return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetChildItem(item); });
    if (item == nullptr || item == TVI_ROOT) return GetRootItem();
    return item->childCount() > 0 ? item->child(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetNextSiblingItem(item); });
    if (item == nullptr || IsInsertPosition(item)) return nullptr;
    QTreeWidgetItem* parent = item->parent() ? item->parent() : invisibleRootItem();
    const int at = RowOf(item);
    return at >= 0 && at + 1 < parent->childCount() ? parent->child(at + 1) : nullptr;
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetPrevSiblingItem(item); });
    if (item == nullptr || IsInsertPosition(item)) return nullptr;
    QTreeWidgetItem* parent = item->parent() ? item->parent() : invisibleRootItem();
    const int at = RowOf(item);
    return at > 0 ? parent->child(at - 1) : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetParentItem(item); });
    if (item == nullptr || IsInsertPosition(item)) return nullptr;
    return item->parent();
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetSelectedItem(); });
    return currentItem();
}

HTREEITEM CTreeCtrl::GetFirstVisibleItem() const { return itemAt(QPoint(0, 0)); }

HTREEITEM CTreeCtrl::GetNextVisibleItem(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetNextVisibleItem(item); });
    if (item == nullptr || IsInsertPosition(item)) return nullptr;
    return itemBelow(item);
}

HTREEITEM CTreeCtrl::GetPrevVisibleItem(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetPrevVisibleItem(item); });
    if (item == nullptr || IsInsertPosition(item)) return nullptr;
    return itemAbove(item);
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return ItemHasChildren(item); });
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    return item->childCount() > 0 ? TRUE : FALSE;
}

UINT CTreeCtrl::GetVisibleCount() const {
    const int h = GetItemHeight();
    return h > 0 ? static_cast<UINT>(viewport()->height() / h) : 0;
}

int CTreeCtrl::GetItemHeight() const { return std::max(kRowHeight, fontMetrics().height() + 2); }

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetItemText(item); });
    if (item == nullptr || IsInsertPosition(item)) return CString();
    const QString text = item->text(0);
    return CString(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCTSTR text) {
    if (!IsGuiThread()) return OnGuiThread([&] { return SetItemText(item, text); });
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    item->setText(0, text ? QString::fromUtf16(text) : QString());
    return TRUE;
}

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT mask) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetItemState(item, mask); });
    if (item == nullptr || IsInsertPosition(item)) return 0;
    UINT state = Item(item)->state & ~(TVIS_EXPANDED | TVIS_DROPHILITED);
    if (item->isExpanded()) state |= TVIS_EXPANDED;
    if (item == m_hDropHilite) state |= TVIS_DROPHILITED;
    return state & mask;
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT mask) {
    if (!IsGuiThread()) return OnGuiThread([&] { return SetItemState(item, state, mask); });
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    CTreeItem* it = Item(item);
    if (mask & TVIS_EXPANDED) item->setExpanded((state & TVIS_EXPANDED) != 0);
    if (mask & TVIS_DROPHILITED) SelectDropTarget((state & TVIS_DROPHILITED) ? item : (m_hDropHilite == item ? nullptr : m_hDropHilite));
    const UINT kept = mask & ~(TVIS_EXPANDED | TVIS_DROPHILITED);
    const UINT next = (it->state & ~kept) | (state & kept);
    if (next != it->state) {
        it->state = next;
        // A check propagation rewrites thousands of states at once: no model signal and no
        // row geometry per item, one repaint of what is on screen.
        viewport()->update();
    }
    return TRUE;
}

LPARAM CTreeCtrl::GetItemData(HTREEITEM item) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetItemData(item); });
    if (item == nullptr || IsInsertPosition(item)) return 0;
    return Item(item)->lParam;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, LPARAM data) {
    if (!IsGuiThread()) return OnGuiThread([&] { return SetItemData(item, data); });
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    Item(item)->lParam = data;
    return TRUE;
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetItemImage(item, image, selectedImage); });
    if (item == nullptr || IsInsertPosition(item)) return FALSE;
    image = Item(item)->image;
    selectedImage = Item(item)->selectedImage;
    return TRUE;
}

CTreeCtrl::RowLayout CTreeCtrl::LayoutItem(HTREEITEM item) const {
    RowLayout layout;
    if (item == nullptr || IsInsertPosition(item)) return layout;
    layout.cell = visualItemRect(item);
    if (!layout.cell.isValid()) return layout;
    const int top = layout.cell.top();
    const int h = layout.cell.height();
    int x = layout.cell.left();
    layout.button = QRect(x - indentation(), top, indentation(), h);
    const UINT stateIndex = (Item(item)->state & TVIS_STATEIMAGEMASK) >> 12;
    if (m_pStateImages != nullptr && m_pStateImages->IsCreated() && stateIndex != 0) {
        const int w = m_pStateImages->GetWidth();
        layout.stateIcon = QRect(x, top + (h - m_pStateImages->GetHeight()) / 2, w, m_pStateImages->GetHeight());
        x += w;
    }
    if (m_pNormalImages != nullptr && m_pNormalImages->IsCreated()) {
        const int w = m_pNormalImages->GetWidth();
        layout.icon = QRect(x, top + (h - m_pNormalImages->GetHeight()) / 2, w, m_pNormalImages->GetHeight());
        x += w;
    }
    layout.label = QRect(x + 1, top, LabelTextWidth(item) + 2 * kLabelPadding, h);
    return layout;
}

int CTreeCtrl::LabelTextWidth(HTREEITEM item) const { return fontMetrics().horizontalAdvance(item->text(0)); }

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, QRect* rect, BOOL textOnly) const {
    if (!IsGuiThread()) return OnGuiThread([&] { return GetItemRect(item, rect, textOnly); });
    if (rect == nullptr || item == nullptr || IsInsertPosition(item)) return FALSE;
    const RowLayout layout = LayoutItem(item);
    if (!layout.cell.isValid()) return FALSE;  // under a collapsed parent
    *rect = textOnly ? layout.label : QRect(0, layout.cell.top(), viewport()->width(), layout.cell.height());
    return TRUE;
}

CImageList* CTreeCtrl::GetImageList(int which) const {
    return which == TVSIL_STATE ? m_pStateImages : which == TVSIL_NORMAL ? m_pNormalImages : nullptr;
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int which) {
    CImageList* old = GetImageList(which);
    if (which == TVSIL_STATE) m_pStateImages = list;
    else if (which == TVSIL_NORMAL) m_pNormalImages = list;
    else return nullptr;
    viewport()->update();
    return old;
}

QRect CTreeCtrl::GetClientRect() const { return viewport()->rect(); }

HTREEITEM CTreeCtrl::HitTest(QPoint point, UINT* flags) const {
    UINT f = 0;
    const QRect client = GetClientRect();
    if (!client.contains(point)) {
        if (point.y() < client.top()) f |= TVHT_ABOVE;
        if (point.y() > client.bottom()) f |= TVHT_BELOW;
        if (point.x() < client.left()) f |= TVHT_TOLEFT;
        if (point.x() > client.right()) f |= TVHT_TORIGHT;
        if (flags) *flags = f;
        return nullptr;
    }
    HTREEITEM item = itemAt(point);
    if (item == nullptr) {
        if (flags) *flags = TVHT_NOWHERE;
        return nullptr;
    }
    const RowLayout layout = LayoutItem(item);
    const int x = point.x();
    if (layout.stateIcon.isValid() && x >= layout.stateIcon.left() && x <= layout.stateIcon.right()) f = TVHT_ONITEMSTATEICON;
    else if (layout.icon.isValid() && x >= layout.icon.left() && x <= layout.icon.right()) f = TVHT_ONITEMICON;
    else if (x >= layout.label.left() && x <= layout.label.right()) f = TVHT_ONITEMLABEL;
    else if (x > layout.label.right()) f = TVHT_ONITEMRIGHT;
    else if (x >= layout.button.left() && x < layout.cell.left() && item->childCount() > 0) f = TVHT_ONITEMBUTTON;
    else f = TVHT_ONITEMINDENT;
    if (flags) *flags = f;
    return item;
}

void CTreeCtrl::PaintItem(QPainter* painter, const QStyleOptionViewItem& option, HTREEITEM item) {
    if (item == nullptr) return;
    const RowLayout layout = LayoutItem(item);
    const bool caret = item == currentItem();
    const bool hilite = caret || item == m_hDropHilite;
    NMTVCUSTOMDRAW draw;
    draw.hdc = painter;
    draw.item = item;
    draw.rc = option.rect;
    draw.clrText = FromQColor(palette().color(hilite ? QPalette::HighlightedText : QPalette::Text));
    draw.clrTextBk = FromQColor(palette().color(hilite ? QPalette::Highlight : QPalette::Base));
    draw.dwDrawStage = CDDS_ITEMPREPAINT;
    const LRESULT answer = OnCustomDraw(&draw);

    painter->save();
    if (layout.stateIcon.isValid()) {
        const int index = static_cast<int>((Item(item)->state & TVIS_STATEIMAGEMASK) >> 12);
        m_pStateImages->Draw(painter, index, layout.stateIcon.topLeft());
    }
    if (layout.icon.isValid()) m_pNormalImages->Draw(painter, caret ? Item(item)->selectedImage : Item(item)->image, layout.icon.topLeft());
    if (answer & CDRF_NOTIFYPOSTPAINT) {
        painter->restore();
        draw.dwDrawStage = CDDS_ITEMPOSTPAINT;
        OnCustomDraw(&draw);
        return;
    }
    if (hilite) painter->fillRect(layout.label, ToQColor(draw.clrTextBk));
    painter->setPen(ToQColor(draw.clrText));
    painter->drawText(layout.label.adjusted(kLabelPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, item->text(0));
    painter->restore();
}

LRESULT CTreeCtrl::OnCustomDraw(NMTVCUSTOMDRAW*) { return CDRF_DODEFAULT; }

BOOL CTreeCtrl::OnSelchanging(HTREEITEM, HTREEITEM) { return FALSE; }

void CTreeCtrl::OnSelchanged(HTREEITEM, HTREEITEM) {}

void CTreeCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeWidget::currentChanged(current, previous);
    if (m_bInSelChange) return;
    HTREEITEM newItem = itemFromIndex(current);
    HTREEITEM oldItem = itemFromIndex(previous);
    m_bInSelChange = true;
    if (OnSelchanging(oldItem, newItem)) {
        setCurrentItem(oldItem);  // refused: the caret goes back without a second round of notices
    } else {
        OnSelchanged(oldItem, newItem);
    }
    m_bInSelChange = false;
}

void CTreeCtrl::paintEvent(QPaintEvent* event) {
    NMTVCUSTOMDRAW draw;
    draw.dwDrawStage = CDDS_PREPAINT;
    OnCustomDraw(&draw);
    QTreeWidget::paintEvent(event);
}

void CTreeCtrl::DefaultLButtonDown(QPoint point) {
    setFocus(Qt::MouseFocusReason);
    UINT flags = 0;
    HTREEITEM item = HitTest(point, &flags);
    if (item != nullptr && (flags & TVHT_ONITEMBUTTON)) {
        item->setExpanded(!item->isExpanded());
    } else if (item != nullptr && (flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMRIGHT))) {
        SelectItem(item);
    }
    OnClick(point);
}

void CTreeCtrl::DefaultRButtonDown(QPoint point) {
    setFocus(Qt::MouseFocusReason);
    (void)point;
}
