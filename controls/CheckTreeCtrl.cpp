#include "controls/CheckTreeCtrl.h"

#include <algorithm>
#include <atomic>
#include <type_traits>
#include <vector>

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

const UINT WM_CHECKTREE_CHECKBOX_CLICKED = RegisterWindowMessage(QStringLiteral("WM_CHECKTREE_CHECKBOX_CLICKED"));
const UINT WM_CHECKTREE_ITEM_EXPANDED = RegisterWindowMessage(QStringLiteral("WM_CHECKTREE_ITEM_EXPANDED"));
const UINT WM_CHECKTREE_DISPLAY_TOOLTIP = RegisterWindowMessage(QStringLiteral("WM_CHECKTREE_DISPLAY_TOOLTIP"));
const UINT WM_CHECKTREE_INIT_TOOLTIP = RegisterWindowMessage(QStringLiteral("WM_CHECKTREE_INIT_TOOLTIP"));

namespace {
std::atomic<int> g_themeOverride{-1};  // -1: follow the application's style

// The scan drives the tree from its worker; the tree's records and the view belong to the
// GUI thread, so those calls run there while the worker waits.
template <class F>
auto RunOnGui(F&& f) {
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        CallOnGuiThread(std::forward<F>(f));
    } else {
        if (IsGuiThread()) return f();
        R result{};
        CallOnGuiThread([&] { result = f(); });
        return result;
    }
}

constexpr int kToolIdBase = 10000;
constexpr int kTipLength = 78;
constexpr int kTextPadding = 2;

// Flat classic check box: a one-pixel frame, a white (grey when inactive) square and a
// check mark; the three-state look is a grey mark on a light ground.
void DrawClassicCheckBox(QPainter& p, const QRect& r, int check, bool disabled) {
    const QColor frame = disabled ? QColor(0x80, 0x80, 0x80) : QColor(0, 0, 0);
    const QColor face = disabled ? QColor(0xE3, 0xE3, 0xE3) : check == 3 ? QColor(0xF0, 0xF0, 0xF0) : QColor(255, 255, 255);
    const QColor mark = disabled || check == 3 ? QColor(0x80, 0x80, 0x80) : QColor(0, 0, 0);
    p.fillRect(r, face);
    p.setPen(frame);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (check == 1) return;
    // A 7 by 7 tick centred in the box, three pixels thick, as the classic mark is drawn.
    const int x = r.left() + (r.width() - 7) / 2;
    const int y = r.top() + (r.height() - 7) / 2;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        const int top = i < 3 ? y + 2 + i : y + 4 - (i - 2);
        p.fillRect(x + i, top, 1, 3, mark);
    }
}
}  // namespace

BOOL CUxThemeLoader::IsThemeActive() {
    const int forced = g_themeOverride.load();
    if (forced >= 0) return forced ? TRUE : FALSE;
    // The classic "windows" style stands for a desktop without visual styles.
    const QStyle* style = QApplication::style();
    return style != nullptr && style->name().compare(QStringLiteral("windows"), Qt::CaseInsensitive) != 0;
}

BOOL CUxThemeLoader::IsAppThemed() { return IsThemeActive(); }

void CUxThemeLoader::SetThemeActive(bool active) { g_themeOverride.store(active ? 1 : 0); }

CCheckTreeCtrl::CCheckTreeCtrl(QWidget* parent) : CTreeCtrl(parent) { LoadSysColors(); }

CCheckTreeCtrl::~CCheckTreeCtrl() {
    m_bDeleting = TRUE;
    SetImageList(nullptr, TVSIL_STATE);
}

void CCheckTreeCtrl::EnableCheckBoxes() {
    m_bCheckBoxes = TRUE;
    InitCheckboxImages();
}

CCheckTreeCtrl& CCheckTreeCtrl::Initialize() {
    RunOnGui([this] {
        m_bDeleting = TRUE;
        DeleteAllItems();
        m_pToolTip.reset();
        SetImageList(nullptr, TVSIL_STATE);
        m_CheckBoxImages.DeleteImageList();
        m_DataMap.clear();
        m_bPropagateCheck = FALSE;
        m_bCheckBoxes = TRUE;
        m_bSelectOnCheck = TRUE;
        m_bToolTips = TRUE;
        m_bRebuildToolTips = TRUE;
        m_hHotItem = nullptr;
        m_nCheckBoxSize = 16;
        LoadSysColors();
        if (m_bToolTips) m_pToolTip = std::make_unique<CToolTipCtrl>(viewport());
        if (m_bCheckBoxes) InitCheckboxImages();
        m_bDeleting = FALSE;
    });
    return *this;
}

// ---------------------------------------------------------------------------------------
// Items and records

CHECKTREEDATA* CCheckTreeCtrl::GetItemDataStruct(HTREEITEM item) const {
    if (item == nullptr || m_bDeleting) return nullptr;
    auto it = m_DataMap.find(item);
    return it == m_DataMap.end() ? nullptr : it->second.get();
}

HTREEITEM CCheckTreeCtrl::InsertItem(const TVINSERTSTRUCT* pInsert) {
    if (pInsert == nullptr) return nullptr;
    return RunOnGui([&]() -> HTREEITEM {
        auto record = std::make_unique<CHECKTREEDATA>();
        record->hWndTree = this;
        TVINSERTSTRUCT insert = *pInsert;
        if (!m_bImages) {
            insert.item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
            insert.item.iImage = TREE_IMAGE_NONE;
            insert.item.iSelectedImage = TREE_IMAGE_NONE;
        }
        UINT index = record->bChecked && m_bCheckBoxes ? 2 : 1;
        if (!record->bEnabled) index += 4;
        insert.item.mask |= TVIF_STATE;
        insert.item.state = INDEXTOSTATEIMAGEMASK(index);
        insert.item.stateMask = TVIS_STATEIMAGEMASK;
        HTREEITEM item = CTreeCtrl::InsertItem(&insert);
        if (item == nullptr) return nullptr;
        const bool checked = record->bChecked != FALSE;
        m_DataMap[item] = std::move(record);
        if (m_bPropagateCheck) {
            int delta = checked ? 1 : 0;
            for (HTREEITEM p = GetParentItem(item); p != nullptr; p = GetParentItem(p)) {
                if (CHECKTREEDATA* data = GetItemDataStruct(p)) data->nDescendants = std::max(0, data->nDescendants + 1);
                delta = UpdateParentCheck(p, delta);
            }
        }
        return item;
    });
}

HTREEITEM CCheckTreeCtrl::InsertItemText(LPCTSTR text, int image, int selectedImage, HTREEITEM parent) {
    TVINSERTSTRUCT insert;
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = text;
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    return InsertItem(&insert);
}

int CCheckTreeCtrl::GetStateImage(HTREEITEM item) const {
    const CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data == nullptr) return 0;
    int index;
    if (m_bPropagateCheck && data->nDescendants != 0) {
        if (data->nCheckedDescendants == 0) index = 1;
        else if (data->nCheckedDescendants == data->nDescendants - data->nExcludedDescendants) index = 2;
        else index = 3;
    } else {
        index = data->bChecked ? 2 : 1;
    }
    if (!data->bEnabled) index += 4;
    return index;
}

int CCheckTreeCtrl::UpdateParentCheck(HTREEITEM item, int delta) {
    CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data == nullptr) return delta;
    data->nCheckedDescendants = std::max(0, data->nCheckedDescendants + delta);
    const BOOL checked = data->nCheckedDescendants == data->nDescendants - data->nExcludedDescendants ? TRUE : FALSE;
    if (checked != data->bChecked) delta += checked ? 1 : -1;  // the ancestor counts one level up too
    data->bChecked = checked;
    SetItemState(item, INDEXTOSTATEIMAGEMASK(static_cast<UINT>(GetStateImage(item))), TVIS_STATEIMAGEMASK);
    return delta;
}

void CCheckTreeCtrl::SetCheckItem(HTREEITEM item, BOOL bCheck) {
    CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data == nullptr || !data->bEnabled) return;
    if (data->bSeparator) {
        SetItemState(item, 0, TVIS_STATEIMAGEMASK);
        return;
    }
    data->bChecked = bCheck ? TRUE : FALSE;
    data->nCheckedDescendants = bCheck ? std::max(0, data->nDescendants - data->nExcludedDescendants) : 0;
    SetItemState(item, INDEXTOSTATEIMAGEMASK(bCheck ? 2 : 1), TVIS_STATEIMAGEMASK);
}

void CCheckTreeCtrl::SetCheckChildren(HTREEITEM item, BOOL bCheck) {
    if (item == nullptr) return;
    // Depth first in sibling order, without recursion: a branch may be deep.
    std::vector<HTREEITEM> pending{item};
    while (!pending.empty()) {
        HTREEITEM current = pending.back();
        pending.pop_back();
        SetCheckItem(current, bCheck);
        for (int i = current->childCount() - 1; i >= 0; --i) pending.push_back(current->child(i));
    }
}

void CCheckTreeCtrl::SetCheck(HTREEITEM item, BOOL bCheck) {
    RunOnGui([&] {
        if (item == nullptr || !m_bCheckBoxes) return;
        CHECKTREEDATA* data = GetItemDataStruct(item);
        if (data == nullptr || !data->bEnabled || data->bSeparator) return;
        const BOOL newState = bCheck ? TRUE : FALSE;
        const BOOL old = data->bChecked;
        const int delta = newState ? data->nDescendants - data->nCheckedDescendants + 1 : -(data->nCheckedDescendants + 1);
        data->bChecked = newState;
        SetItemState(item, INDEXTOSTATEIMAGEMASK(static_cast<UINT>(GetStateImage(item))), TVIS_STATEIMAGEMASK);
        if (m_bPropagateCheck && old != newState) {
            SetCheckChildren(item, newState);
            int up = delta;
            for (HTREEITEM p = GetParentItem(item); p != nullptr; p = GetParentItem(p)) up = UpdateParentCheck(p, up);
        }
        SendRegisteredMessage(WM_CHECKTREE_CHECKBOX_CLICKED, reinterpret_cast<std::uintptr_t>(item), newState);
    });
}

BOOL CCheckTreeCtrl::GetCheck(HTREEITEM item) const {
    return RunOnGui([&]() -> BOOL {
        if (!m_bCheckBoxes) return FALSE;
        const CHECKTREEDATA* data = GetItemDataStruct(item);
        if (data == nullptr) return FALSE;
        if (m_bPropagateCheck && data->nDescendants != 0)
            return data->nCheckedDescendants != 0 &&
                           data->nCheckedDescendants == data->nDescendants - data->nExcludedDescendants
                       ? TRUE
                       : FALSE;
        return data->bChecked;
    });
}

int CCheckTreeCtrl::GetCheckedCount() const {
    return RunOnGui([&]() -> int {
        if (!m_bCheckBoxes) return 0;
        int count = 0;
        for (HTREEITEM item = GetRootItem(); item != nullptr; item = GetNextTreeItem(item)) {
            if (GetItemDataStruct(item) != nullptr && GetCheck(item)) ++count;
        }
        return count;
    });
}

BOOL CCheckTreeCtrl::IsSeparator(HTREEITEM item) const {
    const CHECKTREEDATA* data = GetItemDataStruct(item);
    return data != nullptr && data->bSeparator ? TRUE : FALSE;
}

HTREEITEM CCheckTreeCtrl::GetNextTreeItem(HTREEITEM item) const {
    if (item == nullptr) return nullptr;
    if (HTREEITEM child = GetChildItem(item)) return child;
    for (HTREEITEM up = item; up != nullptr; up = GetParentItem(up)) {
        if (HTREEITEM next = GetNextSiblingItem(up)) return next;
    }
    return nullptr;
}

HTREEITEM CCheckTreeCtrl::GetLastTreeItem(HTREEITEM item) const {
    HTREEITEM last = item;
    if (last == nullptr) {
        if (topLevelItemCount() == 0) return nullptr;
        last = topLevelItem(topLevelItemCount() - 1);
    }
    while (last->childCount() > 0) last = last->child(last->childCount() - 1);
    return last;
}

BOOL CCheckTreeCtrl::Expand(HTREEITEM item, UINT code) {
    return RunOnGui([&]() -> BOOL {
        CHECKTREEDATA* data = GetItemDataStruct(item);
        if (data != nullptr && ItemHasChildren(item) && data->bEnabled) {
            const BOOL old = data->bExpanded;
            switch (code) {
            case TVE_COLLAPSE:
            case TVE_COLLAPSERESET: data->bExpanded = FALSE; break;
            case TVE_EXPAND: data->bExpanded = TRUE; break;
            case TVE_TOGGLE: data->bExpanded = data->bExpanded ? FALSE : TRUE; break;
            default: break;
            }
            if (data->bExpanded) data->bHasBeenExpanded = TRUE;
            if (data->bExpanded != old)
                SendRegisteredMessage(WM_CHECKTREE_ITEM_EXPANDED, reinterpret_cast<std::uintptr_t>(item), data->bExpanded);
        }
        return CTreeCtrl::Expand(item, code);
    });
}

void CCheckTreeCtrl::ExpandBranch(HTREEITEM item) {
    if (item == nullptr || !ItemHasChildren(item)) return;
    Expand(item, TVE_EXPAND);
    for (HTREEITEM child = GetChildItem(item); child != nullptr; child = GetNextSiblingItem(child)) ExpandBranch(child);
}

void CCheckTreeCtrl::CollapseBranch(HTREEITEM item) {
    if (item == nullptr || !ItemHasChildren(item)) return;
    Expand(item, TVE_COLLAPSE);
    HTREEITEM first = GetChildItem(item);
    if (!ItemHasChildren(first)) return;
    for (HTREEITEM child = first; child != nullptr; child = GetNextSiblingItem(child)) CollapseBranch(child);
}

void CCheckTreeCtrl::CollapseAll() {
    if (topLevelItemCount() == 0) return;
    for (HTREEITEM root = GetRootItem(); root != nullptr; root = GetNextSiblingItem(root)) CollapseBranch(root);
    SelectItem(GetRootItem());
    ScrollFullyLeft();
    viewport()->update();
}

BOOL CCheckTreeCtrl::DeleteAllItems() {
    return RunOnGui([&]() -> BOOL {
        CollapseAll();
        const BOOL old = m_bDeleting;
        m_bDeleting = TRUE;
        const BOOL result = CTreeCtrl::DeleteAllItems();
        DeleteMap();
        m_bDeleting = old;
        ClearItemHandles();
        return result;
    });
}

void CCheckTreeCtrl::ClearItemHandles() {
    // The handles are gone with their items; a later click or timer must not reach them,
    // and neither must the owner's idea of the last clicked item.
    m_hHotItem = nullptr;
    m_hLastSelected = nullptr;
    if (m_pToolTip) m_pToolTip->Hide();
    ::SendMessage(m_hWndNotify, WM_TREE_ITEMS_DELETED, 0, 0);
}

void CCheckTreeCtrl::DeleteMap() {
    const BOOL old = m_bDeleting;
    m_bDeleting = TRUE;
    m_DataMap.clear();
    m_bDeleting = old;
}

BOOL CCheckTreeCtrl::SelectItem(HTREEITEM item) {
    return RunOnGui([&]() -> BOOL {
        HTREEITEM caret = GetSelectedItem();
        if (item == caret) return TRUE;
        const CHECKTREEDATA* data = GetItemDataStruct(item);
        if (data != nullptr && data->bEnabled) return CTreeCtrl::SelectItem(item);
        return caret != nullptr ? CTreeCtrl::SelectItem(caret) : TRUE;
    });
}

CString CCheckTreeCtrl::GetItemText(HTREEITEM item) const {
    return RunOnGui([&]() -> CString { return CTreeCtrl::GetItemText(item); });
}

LRESULT CCheckTreeCtrl::SendRegisteredMessage(UINT msg, std::uintptr_t value, LPARAM lParam) {
    CWnd* parent = CWnd::ParentOf(this);
    if (parent == nullptr || !IsWindow(parent)) return 0;
    TreeNotifyData data;
    data.hwndTree = this;
    data.nCtrlId = GetDlgCtrlID();
    data.dwValue = value;
    return ::SendMessage(parent, msg, reinterpret_cast<WPARAM>(&data), lParam);
}

BOOL CCheckTreeCtrl::IsItemMatch(HTREEITEM) { return TRUE; }

HTREEITEM CCheckTreeCtrl::FindItem(const QString& find, BOOL bMatchCase, BOOL bDown, BOOL bWholeWord, BOOL bWrap,
                                   HTREEITEM start) {
    if (find.isEmpty()) return nullptr;
    const HTREEITEM from = start != nullptr ? start : GetSelectedItem();
    const QString needle = bMatchCase ? find : find.toLower();
    auto isWordChar = [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_';
    };
    auto matches = [&](HTREEITEM item) {
        const QString text = bMatchCase ? item->text(0) : item->text(0).toLower();
        for (qsizetype at = text.indexOf(needle); at >= 0; at = text.indexOf(needle, at + needle.size())) {
            if (!bWholeWord) return true;
            const bool freeBefore = at == 0 || !isWordChar(text[at - 1]);
            const qsizetype end = at + needle.size();
            const bool freeAfter = end >= text.size() || !isWordChar(text[end]);
            if (freeBefore && freeAfter) return true;
        }
        return false;
    };
    auto step = [&](HTREEITEM item) -> HTREEITEM {
        if (bDown) return GetNextTreeItem(item);
        if (HTREEITEM prev = GetPrevSiblingItem(item)) return GetLastTreeItem(prev);
        return GetParentItem(item);
    };
    HTREEITEM current = from != nullptr ? step(from) : nullptr;
    bool wrapped = from != nullptr ? false : !bWrap;
    if (from == nullptr) current = bDown ? GetRootItem() : GetLastTreeItem(nullptr);
    // Every item is tested at most once per round, so a search without a start ends too.
    for (UINT tested = 0; tested <= GetCount(); ++tested) {
        if (current == nullptr) {
            if (!bWrap || wrapped) return nullptr;
            wrapped = true;
            current = bDown ? GetRootItem() : GetLastTreeItem(nullptr);
            if (current == nullptr) return nullptr;
        }
        if (current == from) return nullptr;
        if (matches(current) && IsItemMatch(current)) return current;
        current = step(current);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Drawing

BOOL CCheckTreeCtrl::CreateCheckboxImages(int size, const QWidget* styleSource, CImageList* list, COLORREF background) {
    if (styleSource == nullptr || list == nullptr || size < 1) return FALSE;
    if (list->IsCreated()) list->DeleteImageList();
    QImage strip(17 * size, size, QImage::Format_ARGB32);
    if (strip.isNull() || !list->Create(size, size, ILC_COLOR32 | ILC_MASK, 17, 1)) return FALSE;
    const bool themed = CUxThemeLoader::IsThemeActive() && CUxThemeLoader::IsAppThemed();
    strip.fill(ToQColor(background));
    {
        QPainter painter(&strip);
        for (int cell = 0; cell <= 15; ++cell) {
            const int check = cell & 3;  // 1 unchecked, 2 checked, 3 mixed, 0 unused
            if (check == 0) continue;
            const bool disabled = (cell & 4) != 0;
            const bool hot = (cell & 8) != 0;
            const QRect box(cell * size + 1, 1, size - 2, size - 2);
            if (themed) {
                QStyleOptionButton option;
                option.initFrom(styleSource);
                option.rect = box;
                option.state = disabled ? QStyle::State_None : QStyle::State_Enabled;
                option.state |= check == 2 ? QStyle::State_On : check == 3 ? QStyle::State_NoChange : QStyle::State_Off;
                if (hot && !disabled) option.state |= QStyle::State_MouseOver;
                option.palette.setCurrentColorGroup(disabled ? QPalette::Disabled : QPalette::Active);
                styleSource->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, styleSource);
            } else {
                DrawClassicCheckBox(painter, box, check, disabled);
            }
        }
    }
    return list->AddMasked(strip, RGB(255, 0, 255)) >= 0 ? TRUE : FALSE;
}

BOOL CCheckTreeCtrl::InitCheckboxImages() {
    const BOOL created = CreateCheckboxImages(m_nCheckBoxSize, this, &m_CheckBoxImages, m_crBackground);
    SetImageList(&m_CheckBoxImages, TVSIL_STATE);
    return created;
}

void CCheckTreeCtrl::LoadSysColors() {
    const QPalette colours = palette();
    m_crBackground = FromQColor(colours.color(QPalette::Active, QPalette::Base));
    m_crText = FromQColor(colours.color(QPalette::Active, QPalette::Text));
    m_crDisabledText = FromQColor(colours.color(QPalette::Disabled, QPalette::Text));
    m_crHighlight = FromQColor(colours.color(QPalette::Active, QPalette::Highlight));
    m_crHighlightText = FromQColor(colours.color(QPalette::Active, QPalette::HighlightedText));
    m_crSeparator = m_crDisabledText;
}

void CCheckTreeCtrl::OnSysColorChange() { LoadSysColors(); }

LRESULT CCheckTreeCtrl::OnCustomDraw(NMTVCUSTOMDRAW* draw) {
    switch (draw->dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        draw->clrText = draw->clrTextBk;
        if (draw->rc.width() > 0 && draw->rc.height() > 0 && draw->hdc != nullptr)
            draw->hdc->fillRect(draw->rc, ToQColor(m_crBackground));
        return CDRF_NOTIFYPOSTPAINT | CDRF_NEWFONT;
    case CDDS_ITEMPOSTPAINT: break;
    default: return CDRF_DODEFAULT;
    }

    HTREEITEM item = draw->item;
    if (m_bRebuildToolTips) {
        if (m_bToolTips) ResetToolTipTools();
        if (GetImageList(TVSIL_NORMAL) == nullptr) m_bImages = FALSE;
        m_bRebuildToolTips = FALSE;
    }
    QRect text, row;
    if (!GetItemRect(item, &text, TRUE) || !GetItemRect(item, &row, FALSE)) return CDRF_DODEFAULT;
    const int shift = GetImageShift(item);
    if (shift < 0) text.translate(shift, 0);
    text.setRight(row.right());

    COLORREF fill = m_crBackground;
    COLORREF textBackground = m_crBackground;
    COLORREF textColour = m_crText;
    const CHECKTREEDATA* data = GetItemDataStruct(item);
    const bool hilite = item == GetSelectedItem() || (GetItemState(item, TVIS_DROPHILITED) & TVIS_DROPHILITED);
    if (data != nullptr) {
        fill = data->drawInfo.crItemBackground;
        textBackground = data->drawInfo.crItemTextBackground;
        textColour = data->drawInfo.crItemText;
        if (hilite) textBackground = m_crHighlight;
        if (!data->bEnabled) textColour = m_crDisabledText;
        else if (hilite) textColour = m_crHighlightText;
    }
    if (fill == CLR_DEFAULT_COLOUR) fill = m_crBackground;
    if (data != nullptr && data->bSeparator) {
        if (textColour == CLR_DEFAULT_COLOUR) textColour = m_crSeparator;
        if (item == GetSelectedItem()) fill = m_crHighlight;
        DrawSeparator(item, textColour, fill, text, draw->hdc);
    } else {
        if (textColour == CLR_DEFAULT_COLOUR) textColour = m_crText;
        DrawItemText(item->text(0), text, draw->hdc, item, textColour, textBackground, fill);
    }
    return CDRF_DODEFAULT;
}

int CCheckTreeCtrl::DrawItemText(const QString& text, const QRect& rect, QPainter* dc, HTREEITEM item,
                                 COLORREF text_colour, COLORREF text_background, COLORREF fill) {
    if (dc == nullptr || item == nullptr || rect.width() <= 0 || rect.height() <= 0) return 0;
    dc->fillRect(rect, ToQColor(fill));
    CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data == nullptr) return 0;  // nothing to say: the text area stays plain
    QFont font = dc->font();
    font.setWeight(data->drawInfo.bBold ? QFont::Bold : QFont::Normal);
    font.setItalic(data->drawInfo.bItalic);
    font.setUnderline(data->drawInfo.bUnderline);
    font.setStrikeOut(data->drawInfo.bStrikeOut);
    dc->save();
    dc->setFont(font);
    const int width = text.isEmpty() ? 0 : QFontMetrics(font).horizontalAdvance(text) + 2 * kTextPadding;
    const QRect measured(rect.left(), rect.top(), width, rect.height());
    if (width > 0) {
        dc->fillRect(measured, ToQColor(text_background == CLR_DEFAULT_COLOUR ? fill : text_background));
        dc->setPen(ToQColor(text_colour));
        // Plain text, one line: a name never becomes markup or a mnemonic.
        dc->drawText(measured.adjusted(kTextPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    dc->restore();
    data->drawInfo.nTextRight = rect.left() + width;
    return data->drawInfo.nTextRight;
}

int CCheckTreeCtrl::DrawSeparator(HTREEITEM item, COLORREF line, COLORREF fill, const QRect& rect, QPainter* dc) {
    if (dc == nullptr || item == nullptr || rect.width() <= 0 || rect.height() <= 0) return 0;
    dc->fillRect(rect, ToQColor(fill));
    CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data == nullptr) return 0;
    const int y = rect.top() + rect.height() / 2;
    const int right = rect.left() + rect.width();  // one past the last column, as the row's right edge
    dc->save();
    dc->setPen(QPen(ToQColor(line), 1));
    dc->drawLine(rect.left() - 2, y, right - 1, y);
    dc->restore();
    data->drawInfo.nTextRight = right - 1;
    return right - 1;
}

int CCheckTreeCtrl::GetImageShift(HTREEITEM item) const {
    const CImageList* images = GetImageList(TVSIL_NORMAL);
    if (images == nullptr || item == nullptr) return 0;
    int image = TREE_IMAGE_NONE, selected = 0;
    if (!GetItemImage(item, image, selected)) image = TREE_IMAGE_NONE;
    const int width = images->GetImageCount() > 0 ? images->GetWidth() : 0;
    return image == TREE_IMAGE_NONE ? -width : width;
}

void CCheckTreeCtrl::AdjustTextRect(QRect& rect, HTREEITEM item) const {
    const int shift = GetImageShift(item);
    if (shift < 0) rect.translate(shift, 0);
    if (const CHECKTREEDATA* data = GetItemDataStruct(item)) rect.setRight(data->drawInfo.nTextRight - 1);
}

// ---------------------------------------------------------------------------------------
// Input

HTREEITEM CCheckTreeCtrl::HitTestPoint(const QPoint* point, UINT* flags) const {
    const QPoint at = point != nullptr ? *point : viewport()->mapFromGlobal(QCursor::pos());
    return HitTest(at, flags);
}

void CCheckTreeCtrl::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton) OnLButtonDown(0, point);
    else if (event->button() == Qt::RightButton) OnRButtonDown(0, point);
    event->accept();
}

void CCheckTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    const QPoint point = event->position().toPoint();
    if (OnDblclk(point)) return;
    UINT flags = 0;
    HTREEITEM item = HitTest(point, &flags);
    if (item != nullptr && (flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL)) && ItemHasChildren(item))
        CTreeCtrl::Expand(item, TVE_TOGGLE);
}

void CCheckTreeCtrl::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

void CCheckTreeCtrl::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

void CCheckTreeCtrl::OnLButtonDown(UINT, QPoint point) {
    UINT flags = 0;
    HTREEITEM item = HitTest(point, &flags);
    if (HTREEITEM caret = GetSelectedItem()) SetItemState(caret, 0, TVIS_SELECTED);
    DefaultLButtonDown(point);
    // The default handling may have run check-box handlers that changed the tree; the item
    // is used below only while it is still one of ours.
    if (item != nullptr && GetItemDataStruct(item) == nullptr) item = nullptr;
    SelectItem(item);
    SelectDropTarget(item);
    if (item != nullptr) SetItemState(item, TVIS_SELECTED, TVIS_SELECTED);
    if (item != nullptr && flags == TVHT_ONITEMLABEL)
        ::SendMessage(m_hWndNotify, WM_TREE_ITEM_CLICKED, TVHT_ONITEMLABEL, reinterpret_cast<LPARAM>(item));
}

void CCheckTreeCtrl::OnRButtonDown(UINT, QPoint point) {
    HTREEITEM root = GetRootItem();
    if (root == nullptr) return;
    if (GetItemState(root, TVIS_SELECTED) & TVIS_SELECTED) SetItemState(root, 0, TVIS_SELECTED);
    UINT flags = 0;
    HTREEITEM item = HitTest(point, &flags);
    DefaultRButtonDown(point);
    SelectItem(item);
    SelectDropTarget(item);
    if (item != nullptr) SetItemState(item, TVIS_SELECTED, TVIS_SELECTED);
}

BOOL CCheckTreeCtrl::OnClick(QPoint point) {
    UINT flags = 0;
    HTREEITEM item = HitTestPoint(&point, &flags);
    CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data != nullptr) {
        if (data->bSeparator) return TRUE;
        if ((flags & TVHT_ONITEMSTATEICON) && data->bEnabled && !m_bReadOnly) {
            SetCheck(item, data->bChecked ? FALSE : TRUE);
            if (m_bSelectOnCheck) SelectItem(item);
            SetItemState(item, INDEXTOSTATEIMAGEMASK(static_cast<UINT>(GetStateImage(item) + 8)), TVIS_STATEIMAGEMASK);
            m_hHotItem = item;
        }
    }
    return TRUE;
}

BOOL CCheckTreeCtrl::OnDblclk(QPoint point) {
    UINT flags = 0;
    HTREEITEM item = HitTestPoint(&point, &flags);
    constexpr UINT kOnItem = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMBUTTON | TVHT_ONITEMSTATEICON;
    CHECKTREEDATA* data = GetItemDataStruct(item);
    if ((flags & kOnItem) && data != nullptr) {
        if (!data->bEnabled) return TRUE;
        if (ItemHasChildren(item)) {
            data->bHasBeenExpanded = TRUE;
            data->bExpanded = data->bExpanded ? FALSE : TRUE;
            SendRegisteredMessage(WM_CHECKTREE_ITEM_EXPANDED, reinterpret_cast<std::uintptr_t>(item), data->bExpanded);
        }
    }
    return FALSE;
}

BOOL CCheckTreeCtrl::OnSelchanging(HTREEITEM, HTREEITEM newItem) {
    const CHECKTREEDATA* data = GetItemDataStruct(newItem);
    return data != nullptr && !data->bEnabled ? TRUE : FALSE;
}

void CCheckTreeCtrl::OnSelchanged(HTREEITEM oldItem, HTREEITEM newItem) {
    const CHECKTREEDATA* data = GetItemDataStruct(newItem);
    if (data != nullptr && !data->bEnabled) {
        if (oldItem != nullptr) SelectItem(oldItem);
        return;
    }
    if (newItem != m_hLastSelected) m_hLastSelected = newItem;
}

void CCheckTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (PreTranslateKey(event)) {
        event->accept();
        return;
    }
    CTreeCtrl::keyPressEvent(event);
}

BOOL CCheckTreeCtrl::PreTranslateKey(QKeyEvent* event) {
    HTREEITEM caret = GetSelectedItem();
    switch (event->key()) {
    case Qt::Key_Space: {
        if (!m_bCheckBoxes || m_bReadOnly) return FALSE;
        CHECKTREEDATA* data = GetItemDataStruct(caret);
        if (data != nullptr && !data->bSeparator) SetCheck(caret, data->bChecked ? FALSE : TRUE);
        return TRUE;
    }
    case Qt::Key_Right:
    case Qt::Key_Left: {
        CHECKTREEDATA* data = GetItemDataStruct(caret);
        if (data == nullptr || !data->bEnabled || data->nDescendants == 0) return FALSE;
        if (event->key() == Qt::Key_Right && !data->bExpanded) {
            Expand(caret, TVE_EXPAND);
            return TRUE;
        }
        if (event->key() == Qt::Key_Left && data->bExpanded) {
            Expand(caret, TVE_COLLAPSE);
            return TRUE;
        }
        return FALSE;
    }
    case Qt::Key_Down:
    case Qt::Key_Up: {
        if (caret == nullptr) return FALSE;
        const bool down = event->key() == Qt::Key_Down;
        for (HTREEITEM next = down ? GetNextVisibleItem(caret) : GetPrevVisibleItem(caret); next != nullptr;
             next = down ? GetNextVisibleItem(next) : GetPrevVisibleItem(next)) {
            const CHECKTREEDATA* data = GetItemDataStruct(next);
            if (data != nullptr && data->bEnabled) {
                SelectItem(next);
                return TRUE;
            }
        }
        return FALSE;
    }
    case Qt::Key_Asterisk:
        if (caret != nullptr) {
            ExpandBranch(caret);
            EnsureVisible(caret);
            ScrollFullyLeft();
        }
        return TRUE;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
        if (caret != nullptr) Expand(caret, event->key() == Qt::Key_Plus ? TVE_EXPAND : TVE_COLLAPSE);
        return TRUE;
    default: return FALSE;
    }
}

void CCheckTreeCtrl::resizeEvent(QResizeEvent* event) {
    CTreeCtrl::resizeEvent(event);
    m_bRebuildToolTips = TRUE;
}

void CCheckTreeCtrl::changeEvent(QEvent* event) {
    CTreeCtrl::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange) OnSysColorChange();
}

// ---------------------------------------------------------------------------------------
// Tool tips

int CCheckTreeCtrl::GetMaxTipWidth() const {
    const QWidget* parent = parentWidget();
    if (parent == nullptr) return 200;
    const int threeQuarters = width() * 3 / 4;
    return threeQuarters >= 200 ? threeQuarters : parent->width() / 2;
}

void CCheckTreeCtrl::ResetToolTipTools() {
    if (!m_pToolTip) return;
    m_pToolTip->SetMaxTipWidth(GetMaxTipWidth());
    for (int i = 0; i < m_nToolCount; ++i) m_pToolTip->DelTool(static_cast<UINT>(kToolIdBase + i));
    const QRect client = GetClientRect();
    HTREEITEM first = GetFirstVisibleItem();
    QRect row;
    const int h = first != nullptr && GetItemRect(first, &row, FALSE) ? row.height() : 0;
    const int n = h > 0 ? static_cast<int>(GetVisibleCount()) : 0;
    for (int i = 0; i < n; ++i)
        m_pToolTip->AddTool(static_cast<UINT>(kToolIdBase + i), QRect(client.left(), i * h, client.width(), h - 1));
    m_nToolCount = n;
    SendRegisteredMessage(WM_CHECKTREE_INIT_TOOLTIP, 0, reinterpret_cast<LPARAM>(m_pToolTip.get()));
}

QString CCheckTreeCtrl::CutTipText(const QString& text) {
    if (text.size() <= kTipLength) return text;
    qsizetype cut = kTipLength;
    if (text[cut - 1].isHighSurrogate()) --cut;  // never half a character
    return text.left(cut);
}

BOOL CCheckTreeCtrl::GetToolTipText(QPoint point, QString& text) {
    text.clear();
    UINT flags = 0;
    HTREEITEM item = HitTestPoint(&point, &flags);
    if (item == nullptr || IsSeparator(item)) return FALSE;
    if (!(flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON))) return FALSE;
    const CHECKTREEDATA* data = GetItemDataStruct(item);
    if (data == nullptr) return FALSE;
    if (data->strNote.isEmpty() && data->drawInfo.nTextRight <= GetClientRect().width() - 3) return FALSE;
    if (m_pToolTip &&
        SendRegisteredMessage(WM_CHECKTREE_DISPLAY_TOOLTIP, reinterpret_cast<std::uintptr_t>(item),
                              reinterpret_cast<LPARAM>(m_pToolTip.get())) != 0)
        return FALSE;
    text = data->strNote.isEmpty() ? item->text(0) : data->strNote;
    if (m_pToolTip) m_pToolTip->SetMaxTipWidth(data->nNoteWidth != 0 ? data->nNoteWidth : GetMaxTipWidth());
    return TRUE;
}

BOOL CCheckTreeCtrl::OnToolTipText(QPoint point, QPoint globalPos) {
    if (!m_pToolTip) return FALSE;
    QString text;
    if (GetToolTipText(point, text)) m_pToolTip->Show(globalPos, CutTipText(text), m_pToolTip->ToolAt(point));
    else m_pToolTip->Hide();
    return TRUE;
}

bool CCheckTreeCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The row under the pointer when the tip was asked for, not wherever it is now.
        auto* help = static_cast<QHelpEvent*>(event);
        if (OnToolTipText(help->pos(), help->globalPos())) return true;
    }
    return CTreeCtrl::viewportEvent(event);
}
