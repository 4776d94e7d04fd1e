#pragma once

#include "platform/ui/GuiThread.h"
#include "platform/ui/Messages.h"
#include "platform/ui/ToolTipCtrl.h"
#include "platform/ui/TreeCtrl.h"

#include <memory>
#include <unordered_map>

#include <QString>

// Registered by name before main runs; the tree sends them to its parent window with a
// TreeNotifyData* as wParam.
extern const UINT WM_CHECKTREE_CHECKBOX_CLICKED;  // lParam: the new check state (0 or 1)
extern const UINT WM_CHECKTREE_ITEM_EXPANDED;     // lParam: the new expanded state (0 or 1)
extern const UINT WM_CHECKTREE_DISPLAY_TOOLTIP;   // lParam: CToolTipCtrl*; non-zero answer = shown by the parent
extern const UINT WM_CHECKTREE_INIT_TOOLTIP;      // lParam: CToolTipCtrl*

// Lives on the sender's stack for the duration of the send.
struct TreeNotifyData {
    HWND hwndTree = nullptr;
    UINT nCtrlId = 0;
    std::uintptr_t dwValue = 0;  // the item, or 0
};

// Per-item drawing values. Nothing in the program sets the colours, styles or link yet; a
// colour of CLR_DEFAULT_COLOUR means the control's own.
struct ItemDrawInfo {
    COLORREF crItemText = CLR_DEFAULT_COLOUR;
    COLORREF crLink = RGB(0, 0, 255);
    COLORREF crItemBackground = CLR_DEFAULT_COLOUR;
    COLORREF crItemTextBackground = CLR_DEFAULT_COLOUR;
    BOOL bColourSubstituted = FALSE;
    BOOL bBold = FALSE;
    BOOL bItalic = FALSE;
    BOOL bUnderline = FALSE;
    BOOL bStrikeOut = FALSE;
    BOOL bLink = FALSE;
    UINT uFormat = 0x824;  // single line, vertically centred, no prefix
    int nTextRight = 0;    // client x where the drawn text ends
    QRect rcLink;
};

// The tree's own record of one item: check state and the counts that make parents
// tri-state, expansion bookkeeping, drawing values.
struct CHECKTREEDATA {
    virtual ~CHECKTREEDATA() = default;
    BOOL bChecked = FALSE;
    BOOL bEnabled = TRUE;
    BOOL bSeparator = FALSE;
    HWND hWndTree = nullptr;
    BOOL bExpanded = FALSE;
    BOOL bHasBeenExpanded = FALSE;
    int nDescendants = 0;          // items inserted below while propagation was on
    int nCheckedDescendants = 0;   // checked items below, intermediate nodes included
    int nExcludedDescendants = 0;  // left out of every "all checked" comparison
    QString strNote;               // tool-tip text instead of the item's own
    int nNoteWidth = 0;
    ItemDrawInfo drawInfo;
};

// Whether check boxes are drawn in the style's look (the default) or in the plain flat
// classic look.
class CUxThemeLoader {
public:
    static BOOL IsThemeActive();
    static BOOL IsAppThemed();
    // Forces the classic look (false) or the style's look (true) for strips built later.
    static void SetThemeActive(bool active);
};

// A tree whose items carry check boxes with tri-state parents, drawn by the control itself.
// Every operation belongs to the GUI thread; the operations a scan uses (Initialize,
// InsertItem, InsertItemText, Expand, DeleteAllItems, SelectItem, GetItemText, GetCheck,
// SetCheck, GetCheckedCount) may be called from another thread and then run on the GUI
// thread while the caller waits.
class CCheckTreeCtrl : public CTreeCtrl {
    Q_OBJECT
public:
    explicit CCheckTreeCtrl(QWidget* parent = nullptr);
    ~CCheckTreeCtrl() override;

    CCheckTreeCtrl& Initialize();
    // Turns check boxes on as the window style did (before Initialize).
    void EnableCheckBoxes();

    HTREEITEM InsertItem(const TVINSERTSTRUCT* pInsert);
    HTREEITEM InsertItemText(LPCTSTR text, int image, int selectedImage, HTREEITEM parent);
    BOOL Expand(HTREEITEM item, UINT code);
    // Also forgets every handle the control held and tells the notify window
    // (WM_TREE_ITEMS_DELETED), so nothing reaches a deleted item afterwards.
    BOOL DeleteAllItems();
    BOOL SelectItem(HTREEITEM item);
    CString GetItemText(HTREEITEM item) const;
    int GetCheckedCount() const;

    CHECKTREEDATA* GetItemDataStruct(HTREEITEM item) const;
    int GetStateImage(HTREEITEM item) const;
    void SetCheck(HTREEITEM item, BOOL bCheck);
    void SetCheckItem(HTREEITEM item, BOOL bCheck);
    void SetCheckChildren(HTREEITEM item, BOOL bCheck);
    int UpdateParentCheck(HTREEITEM item, int delta);
    BOOL GetCheck(HTREEITEM item) const;
    BOOL IsSeparator(HTREEITEM item) const;
    HTREEITEM GetNextTreeItem(HTREEITEM item) const;
    HTREEITEM GetLastTreeItem(HTREEITEM item) const;
    void ExpandBranch(HTREEITEM item);
    void CollapseBranch(HTREEITEM item);
    void CollapseAll();
    void DeleteMap();
    LRESULT SendRegisteredMessage(UINT msg, std::uintptr_t value, LPARAM lParam);
    virtual HTREEITEM FindItem(const QString& find, BOOL bMatchCase, BOOL bDown, BOOL bWholeWord, BOOL bWrap,
                               HTREEITEM start);
    virtual BOOL IsItemMatch(HTREEITEM item);

    // Drawing
    // Draws the 17 cells of `size` pixels (cell n = state image n) into list; styleSource
    // gives the style and palette of the themed look.
    static BOOL CreateCheckboxImages(int size, const QWidget* styleSource, CImageList* list, COLORREF background);
    BOOL InitCheckboxImages();
    void LoadSysColors();
    int DrawItemText(const QString& text, const QRect& rect, QPainter* dc, HTREEITEM item, COLORREF text_colour,
                     COLORREF text_background, COLORREF fill);
    int DrawSeparator(HTREEITEM item, COLORREF line, COLORREF fill, const QRect& rect, QPainter* dc);
    int GetImageShift(HTREEITEM item) const;
    void AdjustTextRect(QRect& rect, HTREEITEM item) const;

    // Tool tips
    void ResetToolTipTools();
    int GetMaxTipWidth() const;
    // The tip for the row at a client point; FALSE and an empty text when none.
    BOOL GetToolTipText(QPoint point, QString& text);
    // A tip is at most 78 UTF-16 units and never ends inside a surrogate pair.
    static QString CutTipText(const QString& text);
    // Hit-test at a client point, or at the cursor when point is null.
    HTREEITEM HitTestPoint(const QPoint* point, UINT* flags) const;

    BOOL m_bPropagateCheck = FALSE;
    BOOL m_bReadOnly = FALSE;
    BOOL m_bImages = TRUE;
    HWND m_hWndNotify = nullptr;

protected:
    // Input, as the Windows-style handlers of the control
    virtual BOOL PreTranslateKey(QKeyEvent* event);
    virtual void OnLButtonDown(UINT nFlags, QPoint point);
    virtual void OnRButtonDown(UINT nFlags, QPoint point);
    BOOL OnClick(QPoint point) override;
    // NM_DBLCLK: TRUE keeps the common control from toggling the item.
    virtual BOOL OnDblclk(QPoint point);
    BOOL OnSelchanging(HTREEITEM oldItem, HTREEITEM newItem) override;
    void OnSelchanged(HTREEITEM oldItem, HTREEITEM newItem) override;
    LRESULT OnCustomDraw(NMTVCUSTOMDRAW* draw) override;
    void OnSysColorChange();
    virtual BOOL OnToolTipText(QPoint point, QPoint globalPos);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

    std::unordered_map<HTREEITEM, std::unique_ptr<CHECKTREEDATA>> m_DataMap;
    BOOL m_bCheckBoxes = FALSE;
    BOOL m_bSelectOnCheck = TRUE;
    BOOL m_bToolTips = FALSE;
    BOOL m_bDeleting = FALSE;
    BOOL m_bRebuildToolTips = TRUE;
    HTREEITEM m_hHotItem = nullptr;
    HTREEITEM m_hLastSelected = nullptr;
    int m_nCheckBoxSize = 16;
    int m_nToolCount = 0;
    CImageList m_CheckBoxImages;
    int m_nSavedHScroll = 0;
    std::unique_ptr<CToolTipCtrl> m_pToolTip;
    COLORREF m_crBackground = 0;
    COLORREF m_crText = 0;
    COLORREF m_crDisabledText = 0;
    COLORREF m_crHighlight = 0;
    COLORREF m_crHighlightText = 0;
    COLORREF m_crSeparator = 0;

private:
    void ClearItemHandles();
};
