#pragma once

#include "platform/ui/WinTypes.h"

#include <QString>

// Private messages between the program's own windows. They are delivered by direct,
// synchronous calls inside the process (see Wnd.h); the numbers are kept because the
// receivers dispatch on them.
constexpr UINT WM_USER = 0x0400;

// Tree -> notify window: a left click on an item's label. wParam: hit-test flags (always
// TVHT_ONITEMLABEL); lParam: the clicked HTREEITEM.
constexpr UINT WM_TREE_ITEM_CLICKED = WM_USER + 150;
// Tree -> notify window: every item (and every handle the receiver may hold) is gone.
// wParam 0, lParam 0.
constexpr UINT WM_TREE_ITEMS_DELETED = WM_USER + 151;
// Records panel -> frame: page back / forward. wParam 0, lParam 0.
constexpr UINT WM_PREVIOUS_RECORDS = WM_USER + 190;
constexpr UINT WM_NEXT_RECORDS = WM_USER + 191;

// Process-wide message numbers by name, from 0xC000 upwards; the same name always gets the
// same number. Thread-safe; may be called from static initialisers.
UINT RegisterWindowMessage(const QString& name);
