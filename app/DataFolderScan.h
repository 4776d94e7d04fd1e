#pragma once

#include <functional>
#include <vector>

#include "platform/core/CString.h"

// The folder walk of a scan, without the window: which databases, tables, views and
// trigger files a data folder holds, and the tree the window builds from them.

// Tree item data: a negative value marks a structural node; an object node holds its
// 1-based position in the scan's list of tables, views or triggers.
inline constexpr int TREE_ITEM_GROUP = -1;
inline constexpr int TREE_ITEM_KEYS = -2;
inline constexpr int TREE_ITEM_TRIGGERS = -3;
inline constexpr int TREE_ITEM_VIEWS = -4;

// Images of the tree pane's image list.
inline constexpr int kTreeImageFolder = 0;
inline constexpr int kTreeImageKeys = 2;
inline constexpr int kTreeImageViews = 15;
inline constexpr int kTreeImageTrigger = 21;

inline constexpr const char16_t* kTreeRootText = u"MYSQL database";
inline constexpr const char16_t* kTreeTablesText = u"Tables";
inline constexpr const char16_t* kTreeKeysText = u"Keys";
inline constexpr const char16_t* kTreeViewsText = u"Views";
inline constexpr const char16_t* kTreeTriggerText = u"Trigger";

struct TableEntry {
    int m_nDatabase = 0;  // position of its folder in m_databaseFolders
    CString m_strName;    // the name as stored: the .frm file name less ".frm"
};

struct TriggerEntry {
    CString m_strFileName;  // with its extension, as stored (t1.TRG)
    CString m_strFolder;    // the database folder, no trailing separator
};

// One item of the tree, in insertion order: a parent always comes before its children,
// and children follow one another in the order they are shown.
struct ScanTreeItem {
    int parent = -1;  // index of the parent item; -1 at the tree's root level
    int depth = 0;    // 0 for "MYSQL database"
    CString text;     // as the tree shows it (names decoded)
    int image = kTreeImageFolder;
    int data = TREE_ITEM_GROUP;
};

// Something the walk could not look at, and why; it is logged and the walk goes on.
struct ScanProblem {
    CString path;
    CString reason;
};

struct ScanResult {
    CString m_strScanRoot;  // the scanned folder with a trailing separator
    std::vector<CString> m_databaseFolders;
    std::vector<TableEntry> m_tables;
    std::vector<CString> m_viewFiles;
    std::vector<TriggerEntry> m_triggers;
    std::vector<ScanTreeItem> tree;
    std::vector<ScanProblem> problems;
    bool stopped = false;  // a stop request ended the walk before its end
};

struct ScanCallbacks {
    // After each database folder: folders done, folders in all.
    std::function<void(int done, int total)> progress;
    // Asked between entries; true ends the walk with what it found so far.
    std::function<bool()> stopRequested;
};

// Walks root: its subfolders are the databases, or, without subfolders, root itself is
// the one database. Entries are taken sorted case-insensitively (as a Windows volume
// lists them), so item numbers do not depend on the file system's order. Only regular
// files are opened, read-only; whatever cannot be listed or opened is in problems.
ScanResult ScanDataFolder(const CString& root, const ScanCallbacks& callbacks = {});

// Indices of tree in the order the tree shows its items (each item, then its children).
std::vector<int> TreeDisplayOrder(const std::vector<ScanTreeItem>& tree);

// Log line of a problem.
CString ScanProblemLogLine(const ScanProblem& problem);

// What a tree item stands for, from its item data and its parent's.
enum class TreeObjectKind { None, Table, Keys, View, Trigger };
struct TreeObject {
    TreeObjectKind kind = TreeObjectKind::None;
    std::size_t index = 0;  // 0-based position in its list
};
// An item without parent passes parentData = TREE_ITEM_GROUP. Item data 0 or below is
// no object, and so is a number past the end of its list.
TreeObject ResolveTreeItem(const ScanResult& scan, int data, int parentData);

// Paths of the scan's objects, from the names as stored (the dictionary key of a
// table is TableDictionaryKey of its folder and m_strName).
CString TableBasePath(const ScanResult& scan, std::size_t tableIndex);       // folder/name, no extension
CString TriggerFilePath(const ScanResult& scan, std::size_t triggerIndex);  // folder/t1.TRG

// The readable name of an object file: its file name less its last four characters
// (".frm", ".TRG"), decoded.
CString ObjectDisplayName(const CString& fileName);
