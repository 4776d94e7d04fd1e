#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/TableEngine.h"
#include "engine/TableReader.h"
#include "platform/core/CString.h"

// What the window shows of a table, and how it pages through its rows, without the
// window: the page stack, the captions and the busy flag. The rows come from a
// CTableReader; each operation returns what the frame must apply.

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
    // What this step could not read whole, one line each (for the log pane).
    std::vector<CString> losses;
};

inline constexpr std::size_t kKeyListColumns = 5;
inline constexpr const char16_t* kKeyListHeadings[kKeyListColumns] = {u"Column Name", u"Data Type", u"size",
                                                                      u"Allow Nulls", u"Key Name"};
using KeyListRow = std::array<CString, kKeyListColumns>;

// The "Keys" list of the column list the engine holds: one row per column.
std::vector<KeyListRow> BuildKeyList(const CTableEngine& engine);

// The name the InnoDB dictionary knows the table by: the folder's last component and the
// table name ("db/t1"); empty when the folder has no separator.
CString TableDictionaryKey(const CString& folder, const CString& name);

class CTableBrowser {
public:
    // The engine's context is the window's: rebuilt from the application object (when
    // there is one) at every display.
    explicit CTableBrowser(CTableEngine& engine);

    // A table item: base is the table's path without extension, itemText the tree
    // item's text, dictionaryKey the "database/table" name the InnoDB dictionary uses.
    // Reads the definition and the first page of rows.
    BrowserEffects ShowTable(const CString& base, const CString& itemText, const CString& dictionaryKey);

    // A "Keys" item of the table at base: rows receives the list's rows.
    BrowserEffects ShowKeys(const CString& base, const CString& itemText, std::vector<KeyListRow>& rows);

    // Opens the .MYD of the MyISAM definition the engine holds and reads the first page;
    // false when a file error ended it.
    bool LoadMyIsamFirstPage(const CString& path);

    BrowserEffects OnNextRecords();
    BrowserEffects OnPrevRecords();

    // Paging state shown in the caption and compared by Next. m_nRowsRead is the last
    // row of the page shown, so it cannot drift with Next and Previous.
    std::uint64_t m_nRowsRead = 0;
    std::uint64_t m_nPageFirstRow = 0;
    std::uint64_t m_nPageLastRow = 0;
    PageBookmark m_currentBookmark;

    // What the last ShowTable or ShowKeys could read (for callers that report it).
    bool m_bDefinitionRead = false;
    bool m_bRowsSourceOpened = false;

    CTableReader& Reader() { return m_reader; }

private:
    // Start of every accepted display: closes the files, empties the page stack.
    void BeginDisplay(BrowserEffects& effects);
    // Reads the page at start; push: a full page pushes the next page's position.
    void ReadPage(const PageBookmark& start, bool push, BrowserEffects& effects);
    void ShowTableRows(const CString& base, const CString& itemText, const CString& dictionaryKey,
                       BrowserEffects& effects);
    void NextRecords(BrowserEffects& effects);
    void PrevRecords(BrowserEffects& effects);
    // The losses of the step, and the window's large-object counter, back to the caller.
    void FinishStep(BrowserEffects& effects);

    CTableEngine& m_engine;
    CTableReader m_reader;
    bool m_bLastFull = false;
};
