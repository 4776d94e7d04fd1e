#pragma once

#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "engine/TableEngine.h"
#include "platform/core/CString.h"

// What the window shows of a table, and how it pages through its rows, without the
// window: each operation changes the engine and returns what the frame must apply.

enum class ButtonState : std::uint8_t { Unchanged, Enabled, Disabled };

struct BrowserEffects {
    // The handler's result: false when it refused (busy) or met the end at once.
    bool accepted = true;
    // Text of the information message box to show; empty: none.
    CString message;
    ButtonState next = ButtonState::Unchanged;
    ButtonState previous = ButtonState::Unchanged;
    bool captionChanged = false;
    CString caption;
    // The record list is to be rebuilt from the engine's page (m_rows).
    bool listRefilled = false;
};

inline constexpr std::size_t kKeyListColumns = 5;
inline constexpr const char16_t* kKeyListHeadings[kKeyListColumns] = {u"Column Name", u"Data Type", u"size",
                                                                      u"Allow Nulls", u"Key Name"};
using KeyListRow = std::array<CString, kKeyListColumns>;

// The "Keys" list of the column list the engine holds: one row per column.
std::vector<KeyListRow> BuildKeyList(const CTableEngine& engine);

// folder + separator + name, with doubled separators collapsed.
CString JoinTablePath(const CString& folder, const CString& name);

// The name the InnoDB dictionary knows the table by: the folder's last component and the
// table name ("db/t1"); empty when the folder has no separator.
CString TableDictionaryKey(const CString& folder, const CString& name);

// base + extension, as the file exists on disk whatever the case of its extension
// (".MYD" beside ".frm"); base + extension as given when no such file exists.
CString FindTableFile(const CString& base, const CString& extension);

class CTableBrowser {
public:
    explicit CTableBrowser(CTableEngine& engine);

    // A table item: base is the table's path without extension, itemText the tree
    // item's text, dictionaryKey the "database/table" name the InnoDB dictionary uses.
    // Reads the definition and the first page of rows.
    BrowserEffects ShowTable(const CString& base, const CString& itemText, const CString& dictionaryKey);

    // A "Keys" item of the table at base: rows receives the list's rows.
    BrowserEffects ShowKeys(const CString& base, const CString& itemText, std::vector<KeyListRow>& rows);

    // Opens the .MYD and reads the first page; false when a file error ended it.
    bool LoadMyIsamFirstPage(const CString& path);

    BrowserEffects OnNextRecords();
    BrowserEffects OnPrevRecords();

    // Paging state shown in the caption and compared by Next.
    std::uint64_t m_nRowsRead = 0;
    std::uint64_t m_nPageFirstRow = 0;
    std::uint64_t m_nPageLastRow = 0;
    PageBookmark m_currentBookmark;

    // What the last ShowTable or ShowKeys could read (for callers that report it).
    bool m_bDefinitionRead = false;
    bool m_bRowsSourceOpened = false;

private:
    // Start of every accepted display: closes the files, empties the page stack.
    void BeginDisplay(BrowserEffects& effects);
    // Reads one page from start; push: a full page pushes the next page's position.
    void ReadPage(std::uint64_t start, bool push);
    void ReadMyIsamPage(std::uint64_t start, bool push);
    void FixedLengthWalk(std::uint64_t start, bool push, std::uint64_t length);
    void DynamicRowWalk(std::uint64_t start, bool push, std::uint64_t length);
    // Joins the parts of the record whose first block info describes; false for a
    // record whose chain is damaged.
    bool JoinRecordParts(BlockInfo info, std::uint64_t firstPos, std::uint64_t length);
    void FinishPage(BrowserEffects& effects, std::uint64_t rows);

    // InnoDB tables: the first page, from the table's .ibd or from ibdata1.
    void ReadInnoFirstPage(const CString& base, const CString& dictionaryKey);
    // InnoDB tables: the page at bookmark, for Next and Previous.
    void ReadInnoPage(const PageBookmark& bookmark);

    CTableEngine& m_engine;
    std::vector<unsigned char> m_record;
    std::unordered_set<std::uint64_t> m_visitedParts;
};
