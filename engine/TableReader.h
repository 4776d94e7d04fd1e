#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/TableEngine.h"
#include "platform/core/CString.h"

// Reads one table from its files: the definition, then pages of at most 1000 rows from
// a bookmark. The caller keeps the page stack; the reader only says where the next page
// starts and whether the table ended. What a read could not give back whole is reported
// in the engine's context, one line per loss.

// folder + separator + name, with doubled separators collapsed.
CString JoinTablePath(const CString& folder, const CString& name);

// base + extension, as the file exists on disk whatever the case of its extension
// (".MYD" beside ".frm"); base + extension as given when no such file exists.
CString FindTableFile(const CString& base, const CString& extension);

// Engine bytes of the .frm for the two storage engines read.
inline constexpr std::uint8_t kDbTypeMyIsam = 9;
inline constexpr std::uint8_t kDbTypeInnoDb = 12;

// What one page read gave besides its rows (which are in the engine's m_rows).
struct TablePageResult {
    // Where the following page starts; meaningful while end is false.
    PageBookmark next;
    bool end = true;
    // The file error that ended the page early (also reported as a loss); empty: none.
    CString failure;
};

class CTableReader {
public:
    // Reads with engine (which may already hold ibdata1's data dictionary) in context.
    CTableReader(CTableEngine& engine, ReadContext context);
    // For a reader whose engine's context is already set (the window's).
    explicit CTableReader(CTableEngine& engine);

    // Reads the definition of the table at base (its path without extension) and opens its
    // row source: the .MYD, or the .ibd, or ibdata1 through the dictionary under
    // dictionaryKey ("database/table"). False when no definition could be read. Losses
    // (a missing data file, an unreadable format) are reported.
    bool Open(const CString& base, const CString& dictionaryKey);
    // The .MYD at path for the MyISAM definition the engine already holds (the .frm and
    // .MYI read before); no page is read.
    void OpenMyIsamData(const CString& path);

    // The first page's bookmark (valid once Open found a row source).
    const PageBookmark& FirstPage() const { return m_first; }
    bool DefinitionRead() const { return m_bDefinitionRead; }
    bool RowSourceOpened() const { return m_bRowSourceOpened; }

    // Reads the page of rows that starts at start into the engine's m_rows. A file error
    // ends the page with the rows before it (reported as a loss). False when the reader has
    // no open row source.
    bool ReadPage(const PageBookmark& start, TablePageResult& result);

    // Closes the row source's files (.MYD, .ibd), keeping the dictionary.
    void Close();

    CTableEngine& Engine() { return m_engine; }
    const TablePage& Rows() const { return m_engine.m_rows; }
    ReadContext& Context() { return m_engine.m_context; }
    // The losses reported since the last call; one already given for this table (a page
    // read again) is not given twice.
    std::vector<CString> TakeLosses();

private:
    void Loss(const CString& text) { m_engine.m_context.ReportLoss(text); }
    void OpenMyIsam(const CString& base);
    void OpenInno(const CString& base, const CString& dictionaryKey);
    bool OpenIbd(const CString& path, const CString& dictionaryKey);
    // The page size and count of the open .ibd; false (with the loss said) when its
    // pages cannot be read.
    bool OpenIbdPages(const CString& path);
    void ReadMyIsamPage(std::uint64_t start, TablePageResult& result);
    void FixedLengthWalk(std::uint64_t start, std::uint64_t length, TablePageResult& result);
    void DynamicRowWalk(std::uint64_t start, std::uint64_t length, TablePageResult& result);
    // Joins the parts of the record whose first block info describes; false for a
    // record whose chain is damaged, with why in reason.
    bool JoinRecordParts(BlockInfo info, std::uint64_t firstPos, std::uint64_t length, const char*& reason);
    void ReadInnoPage(const PageBookmark& start, TablePageResult& result);
    // After the last page of a MyISAM table: rows the header counts that no page held.
    void CheckMyIsamCount();

    CTableEngine& m_engine;
    CString m_base;
    PageBookmark m_first;
    bool m_bDefinitionRead = false;
    bool m_bRowSourceOpened = false;
    // Distinct page starts read so far: a damaged leaf chain that keeps giving full pages
    // is stopped once they pass what the file can hold. Re-reading a page (Previous)
    // adds nothing, so the bound cannot drift with paging.
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_pageStarts;
    // MyISAM: rows given by pages that ended the table, per distinct start.
    std::set<std::uint64_t> m_countedStarts;
    std::uint64_t m_nRowsCounted = 0;
    bool m_bCountChecked = false;
    bool m_bPacked = false;  // a myisampack data file: no rows are read
    std::set<std::u16string> m_lossesGiven;
    std::vector<unsigned char> m_record;
    std::vector<std::uint64_t> m_visitedParts;
};

// For a table without its .frm: why base + ".ibd", when it is there, cannot be read (a
// MySQL 8.0 or later tablespace keeps its definition inside); empty without an .ibd.
CString DescribeIbdWithoutFrm(const CString& base);
