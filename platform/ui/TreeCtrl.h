#pragma once

#include "platform/ui/ImageList.h"
#include "platform/ui/Wnd.h"

#include "platform/core/CString.h"

#include <atomic>

#include <QRect>
#include <QTreeWidget>

class QPainter;
class QStyleOptionViewItem;

// An item of the tree. Handles stay valid until the item is deleted.
using HTREEITEM = QTreeWidgetItem*;

// Insert positions (never real items).
inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline HTREEITEM const TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));
inline HTREEITEM const TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFD));

// TVITEM::mask
constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_IMAGE = 0x0002;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIF_STATE = 0x0008;
constexpr UINT TVIF_HANDLE = 0x0010;
constexpr UINT TVIF_SELECTEDIMAGE = 0x0020;

// Item state bits
constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_DROPHILITED = 0x0008;
constexpr UINT TVIS_EXPANDED = 0x0020;
constexpr UINT TVIS_STATEIMAGEMASK = 0xF000;
constexpr UINT INDEXTOSTATEIMAGEMASK(UINT index) { return index << 12; }

// Expand codes
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;
constexpr UINT TVE_COLLAPSERESET = 0x8000;

// Hit-test flags
constexpr UINT TVHT_NOWHERE = 0x0001;
constexpr UINT TVHT_ONITEMICON = 0x0002;
constexpr UINT TVHT_ONITEMLABEL = 0x0004;
constexpr UINT TVHT_ONITEMINDENT = 0x0008;
constexpr UINT TVHT_ONITEMBUTTON = 0x0010;
constexpr UINT TVHT_ONITEMRIGHT = 0x0020;
constexpr UINT TVHT_ONITEMSTATEICON = 0x0040;
constexpr UINT TVHT_ABOVE = 0x0100;
constexpr UINT TVHT_BELOW = 0x0200;
constexpr UINT TVHT_TORIGHT = 0x0400;
constexpr UINT TVHT_TOLEFT = 0x0800;

// Image lists
constexpr int TVSIL_NORMAL = 0;
constexpr int TVSIL_STATE = 2;

// An image index that is never drawn but keeps its slot (see CCheckTreeCtrl::m_bImages).
constexpr int TREE_IMAGE_NONE = 0xFFFE;

struct TVITEM {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    UINT state = 0;
    UINT stateMask = 0;
    LPCTSTR pszText = nullptr;
    int iImage = 0;
    int iSelectedImage = 0;
    LPARAM lParam = 0;
};

struct TVINSERTSTRUCT {
    HTREEITEM hParent = TVI_ROOT;
    HTREEITEM hInsertAfter = TVI_LAST;
    TVITEM item;
};

// Custom drawing of rows: the control asks OnCustomDraw before it paints and before and
// after each item.
constexpr DWORD CDDS_PREPAINT = 0x00001;
constexpr DWORD CDDS_ITEMPREPAINT = 0x10001;
constexpr DWORD CDDS_ITEMPOSTPAINT = 0x10002;
constexpr LRESULT CDRF_DODEFAULT = 0x00;
constexpr LRESULT CDRF_NEWFONT = 0x02;
constexpr LRESULT CDRF_NOTIFYPOSTPAINT = 0x10;
constexpr LRESULT CDRF_NOTIFYITEMDRAW = 0x20;

struct NMTVCUSTOMDRAW {
    DWORD dwDrawStage = 0;
    QPainter* hdc = nullptr;
    HTREEITEM item = nullptr;
    QRect rc;                  // the item's cell (the row less the indentation)
    COLORREF clrText = 0;      // colour the control would draw the text with
    COLORREF clrTextBk = 0;
};

// A tree view with the item model of the common tree control: handles, per-item state
// bits (state image index in bits 12-15), a caller value per item, a caret item, a drop
// highlight, a normal and a state image list, and hit-testing by regions of a row
// (indent, button, state icon, icon, label, right of the label). The item operations may be
// called from any thread: off the GUI thread they run there while the caller waits.
class CTreeCtrl : public QTreeWidget, public CWnd {
    Q_OBJECT
public:
    explicit CTreeCtrl(QWidget* parent = nullptr);
    ~CTreeCtrl() override;

    void SetDlgCtrlID(UINT id) { m_nCtrlId = id; }
    UINT GetDlgCtrlID() const { return m_nCtrlId; }

    HTREEITEM InsertItem(const TVINSERTSTRUCT* pInsert);
    BOOL DeleteItem(HTREEITEM item);
    BOOL DeleteAllItems();
    BOOL Expand(HTREEITEM item, UINT code);
    // Moves the caret (TVGN_CARET); NULL removes it.
    BOOL SelectItem(HTREEITEM item);
    BOOL SelectDropTarget(HTREEITEM item);
    BOOL EnsureVisible(HTREEITEM item);
    void ScrollFullyLeft();

    HTREEITEM GetRootItem() const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetSelectedItem() const;
    HTREEITEM GetDropHilightItem() const { return m_hDropHilite; }
    HTREEITEM GetFirstVisibleItem() const;
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const;
    HTREEITEM GetPrevVisibleItem(HTREEITEM item) const;
    BOOL ItemHasChildren(HTREEITEM item) const;
    UINT GetCount() const { return m_nCount.load(); }
    // Whole rows that fit in the client area.
    UINT GetVisibleCount() const;
    int GetItemHeight() const;

    CString GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, LPCTSTR text);
    UINT GetItemState(HTREEITEM item, UINT mask) const;
    BOOL SetItemState(HTREEITEM item, UINT state, UINT mask);
    LPARAM GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, LPARAM data);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    // textOnly FALSE: the whole row across the client area; TRUE: the label.
    BOOL GetItemRect(HTREEITEM item, QRect* rect, BOOL textOnly) const;

    CImageList* GetImageList(int which) const;
    CImageList* SetImageList(CImageList* list, int which);

    // Hit-test at a point of the client area (viewport coordinates).
    HTREEITEM HitTest(QPoint point, UINT* flags) const;
    QRect GetClientRect() const;

    // Paints one item; called by the item delegate.
    void PaintItem(QPainter* painter, const QStyleOptionViewItem& option, HTREEITEM item);

protected:
    virtual LRESULT OnCustomDraw(NMTVCUSTOMDRAW* draw);
    // The caret is about to move from oldItem to newItem; TRUE refuses.
    virtual BOOL OnSelchanging(HTREEITEM oldItem, HTREEITEM newItem);
    virtual void OnSelchanged(HTREEITEM oldItem, HTREEITEM newItem);
    // The items are about to go (all of them for DeleteAllItems).
    virtual void OnItemsDeleting() {}

    // The common control's own click handling: a button click toggles the item, a click on
    // a row moves the caret, a click on the state icon is reported to OnClick.
    void DefaultLButtonDown(QPoint point);
    void DefaultRButtonDown(QPoint point);
    // Reflected NM_CLICK / NM_DBLCLK at a client point; TRUE when handled.
    virtual BOOL OnClick(QPoint point) { (void)point; return FALSE; }

    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void paintEvent(QPaintEvent* event) override;

    struct RowLayout {
        QRect cell;      // the item's part of the row
        QRect stateIcon; // empty when the item shows no state image
        QRect icon;      // empty without a normal image list
        QRect label;
        QRect button;    // the indentation cell holding the expand button
    };
    RowLayout LayoutItem(HTREEITEM item) const;
    int LabelTextWidth(HTREEITEM item) const;
    // Position among its siblings.
    int RowOf(HTREEITEM item) const;

private:
    friend class CTreeItemDelegate;
    UINT m_nCtrlId = 0;
    std::atomic<UINT> m_nCount{0};
    HTREEITEM m_hDropHilite = nullptr;
    CImageList* m_pNormalImages = nullptr;
    CImageList* m_pStateImages = nullptr;
    bool m_bInSelChange = false;
};
