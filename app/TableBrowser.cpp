#include "app/TableBrowser.h"

#include <filesystem>
#include <new>
#include <system_error>

#include "app/DralvekOstruneApp.h"
#include "engine/ColumnType.h"
#include "engine/InnoPage.h"

namespace {

constexpr std::uint8_t kDbTypeMyIsam = 9;
constexpr std::uint8_t kDbTypeInnoDb = 12;
constexpr std::uint32_t kRowFormatFixed = 0;
constexpr std::uint32_t kRowFormatDynamic = 1;
// Dynamic blocks start on this alignment; a header that cannot be decoded is passed
// over to the next such position.
constexpr std::uint64_t kBlockAlignment = 4;

const char16_t* const kNoMoreRecords = u"No more records in table";
const char16_t* const kPleaseWait = u"Please wait for the running process.";

bool IsEndMarker(const PageBookmark& b) { return b.m_nPage == kEndOfTablePage; }

bool SameBookmark(const PageBookmark& a, const PageBookmark& b) {
    return a.m_nPage == b.m_nPage && a.m_nOffset == b.m_nOffset;
}

std::uint64_t NextAligned(std::uint64_t pos) { return (pos / kBlockAlignment + 1) * kBlockAlignment; }

CString RowsCaption(std::uint64_t first, std::uint64_t last) {
    CString text;
    text.Format(u"%lld rows to %lld", static_cast<long long>(first), static_cast<long long>(last));
    return text;
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// Sets the busy flag for one paging step; false when another step holds it.
class BusyScope {
public:
    BusyScope() : m_app(GetDralvekApp()) {}
    bool Enter() {
        if (m_app && m_app->m_bBusy == 1) return false;
        if (m_app) m_app->m_bBusy = 1;
        m_entered = true;
        return true;
    }
    ~BusyScope() {
        if (m_entered && m_app) m_app->m_bBusy = 0;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    CDralvekOstruneApp* m_app;
    bool m_entered = false;
};

// Rows, and the large objects they point to, come from the .ibd while this lives.
class InnoIbdScope {
public:
    explicit InnoIbdScope(CTableEngine& engine) : m_engine(engine) { m_engine.m_bReadingIbd = 1; }
    ~InnoIbdScope() { m_engine.m_bReadingIbd = 0; }
    InnoIbdScope(const InnoIbdScope&) = delete;
    InnoIbdScope& operator=(const InnoIbdScope&) = delete;

private:
    CTableEngine& m_engine;
};

// Without a dictionary the clustered index of a file-per-table tablespace is found at
// its first index page.
constexpr std::uint32_t kInnoFirstIndexPage = 3;

// The dictionary places the table in ibdata1 (space 0).
bool IsInSystemTablespace(const CTableEngine& engine, std::uint64_t tableId) {
    for (const SysTablesRecord& table : engine.m_sysTables)
        if (table.ID == tableId) return table.SPACE == 0;
    return false;
}

// The dictionary's entry describes this .ibd: same tablespace id as its page 0. An .ibd
// restored from elsewhere, or a table the dictionary lost, is read from its .frm instead.
bool DictionaryDescribesTablespace(const CTableEngine& engine, std::uint64_t tableId, CFile& ibd) {
    for (const SysTablesRecord& table : engine.m_sysTables) {
        if (table.ID != tableId) continue;
        FilHeader fil;
        ReadPageHeaders(ibd, 0, fil, nullptr);
        return fil.spaceId == table.SPACE;
    }
    return false;
}

// A paging step asked for while another step or a scan holds the busy flag.
BrowserEffects RefusedWhileBusy() {
    BrowserEffects effects;
    effects.message = kPleaseWait;
    effects.accepted = false;
    return effects;
}

void SetResumeRead() {
    if (CDralvekOstruneApp* app = GetDralvekApp()) app->m_bResumeRead = 1;
}

}  // namespace

std::vector<KeyListRow> BuildKeyList(const CTableEngine& engine) {
    std::vector<KeyListRow> rows;
    rows.reserve(engine.m_columns.size());
    for (const ColumnInfo& column : engine.m_columns) {
        KeyListRow row;
        row[0] = column.m_strName;
        row[1] = FormatColumnTypeName(engine, column);
        row[2].Format(u"%d", static_cast<int>(column.m_nLength));
        row[3] = column.m_bNullable == 1 ? u"True" : u"False";
        if (column.m_bPrimaryKey == 1) row[4] = u"Primary Key";
        else if (column.m_bUniqueKey == 1) row[4] = u"Unique Key";
        rows.push_back(row);
    }
    return rows;
}

CString JoinTablePath(const CString& folder, const CString& name) {
    CString joined = folder + u"/" + name;
    std::u16string out;
    out.reserve(static_cast<std::size_t>(joined.GetLength()));
    for (char16_t c : joined.View()) {
        if (IsSeparator(c) && !out.empty() && IsSeparator(out.back())) continue;
        out.push_back(c);
    }
    return CString(std::move(out));
}

CString FindTableFile(const CString& base, const CString& extension) {
    namespace fs = std::filesystem;
    const CString wanted = base + extension;
    std::error_code ec;
    const fs::path path(wanted.ToUtf8());
    if (fs::exists(path, ec)) return wanted;
    // Servers on case-sensitive systems write ".MYD" and ".MYI" beside a ".frm"; the
    // table name itself must match exactly.
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const CString stem = CString::FromUtf8(fs::path(base.ToUtf8()).filename().string());
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const CString name = CString::FromUtf8(it->path().filename().string());
        if (name.GetLength() != stem.GetLength() + extension.GetLength()) continue;
        if (name.Left(stem.GetLength()) != stem) continue;
        if (name.Mid(stem.GetLength()).CompareNoCase(extension) != 0) continue;
        return CString::FromUtf8(it->path().string());
    }
    return wanted;
}

CString TableDictionaryKey(const CString& folder, const CString& name) {
    std::u16string path(folder.View());
    while (!path.empty() && IsSeparator(path.back())) path.pop_back();
    std::size_t slash = path.find_last_of(u"/\\");
    if (slash == std::u16string::npos) return CString();
    return JoinTablePath(CString(path.substr(slash + 1)), name);
}

CTableBrowser::CTableBrowser(CTableEngine& engine) : m_engine(engine) {}

void CTableBrowser::BeginDisplay(BrowserEffects& effects) {
    if (m_engine.m_fileMyd.IsOpen()) m_engine.m_fileMyd.Close();
    if (m_engine.m_fileIbd.IsOpen()) m_engine.m_fileIbd.Close();
    m_engine.m_bookmarks.clear();
    effects.next = ButtonState::Enabled;
    effects.previous = ButtonState::Disabled;
    m_nRowsRead = 0;
    m_engine.m_bNoBookmark = 0;
    m_currentBookmark = PageBookmark();
    m_bDefinitionRead = false;
    m_bRowsSourceOpened = false;
}

BrowserEffects CTableBrowser::ShowKeys(const CString& base, const CString& itemText, std::vector<KeyListRow>& rows) {
    BrowserEffects effects;
    BeginDisplay(effects);
    m_engine.m_columns.clear();
    m_bDefinitionRead = m_engine.ReadFrm(FindTableFile(base, u".frm"));
    rows = BuildKeyList(m_engine);
    // The next display removes as many list columns as m_columns has entries.
    m_engine.m_columns.clear();
    for (const char16_t* heading : kKeyListHeadings) {
        ColumnInfo placeholder;
        placeholder.m_strName = heading;
        m_engine.m_columns.push_back(placeholder);
    }
    effects.captionChanged = true;
    if (rows.size() > 1) effects.caption.Format(u"%s[%d]", itemText.GetString(), static_cast<int>(rows.size()));
    effects.listRefilled = true;
    if (rows.empty()) effects.next = effects.previous = ButtonState::Disabled;
    return effects;
}

BrowserEffects CTableBrowser::ShowTable(const CString& base, const CString& itemText, const CString& dictionaryKey) {
    BrowserEffects effects;
    BeginDisplay(effects);
    m_engine.m_innoColumns.clear();
    m_engine.m_rows.clear();
    m_engine.m_recinfo.clear();
    m_engine.m_columns.clear();
    m_engine.m_enumValues.clear();

    m_bDefinitionRead = m_engine.ReadFrm(FindTableFile(base, u".frm"));
    // Without a definition the engine byte is the previous table's: no rows to read.
    const std::uint8_t dbType = m_bDefinitionRead ? m_engine.m_nDbType : 0;
    if (dbType == kDbTypeMyIsam) {
        m_engine.ReadMyiHeader(FindTableFile(base, u".myi"));
        LoadMyIsamFirstPage(FindTableFile(base, u".myd"));
        m_bRowsSourceOpened = m_engine.m_fileMyd.IsOpen();
    } else if (dbType == kDbTypeInnoDb) {
        ReadInnoFirstPage(base, dictionaryKey);
    }

    m_nRowsRead += m_engine.m_rows.size();
    m_nPageFirstRow = 0;
    m_nPageLastRow = m_nRowsRead;
    effects.captionChanged = true;
    effects.caption.Format(u"%s[%lld]", itemText.GetString(), static_cast<long long>(m_nPageLastRow));
    effects.listRefilled = true;
    if (m_engine.m_rows.empty()) effects.next = effects.previous = ButtonState::Disabled;
    return effects;
}

void CTableBrowser::ReadInnoFirstPage(const CString& base, const CString& dictionaryKey) {
    // From base + ".ibd" when it opens, else from ibdata1 through the dictionary; the
    // first page's position goes on the page stack.
    const bool dictionary = m_engine.m_fileIbdata.IsOpen();
    CFile& ibd = m_engine.m_fileIbd;
    if (ibd.Open(FindTableFile(base, u".ibd"), CFile::modeRead | CFile::shareExclusive)) {
        m_bRowsSourceOpened = true;
        m_engine.m_nIbdPageSize = InnoTablespacePageSize(ibd);
        m_engine.m_nIbdPages = InnoPageCount(ibd, m_engine.m_nIbdPageSize);
        // A loss: ROW_FORMAT=COMPRESSED pages (page size 0) are not read, the table shows
        // no rows.
        if (m_engine.m_nIbdPageSize == 0) {
            m_engine.m_nIbdPageSize = INNO_PAGE_SIZE;
            return;
        }
        std::uint32_t leaf = 0;
        if (dictionary) {
            const std::uint64_t id = m_engine.FindTableId(dictionaryKey);
            if (id != 0 && DictionaryDescribesTablespace(m_engine, id, ibd)) {
                m_engine.BuildColumnsFromDictionary(id);
                const std::uint32_t root = m_engine.FindClusteredRootPage(id);
                if (root != 0) leaf = m_engine.DescendToLeafIbd(root);
            }
        }
        if (leaf == 0) {
            // Without a usable dictionary entry the rows are still in the .ibd: the
            // layout comes from the .frm and the clustered index starts at page 3.
            m_engine.m_innoColumns.clear();
            m_engine.BuildColumnsFromFrm();
            leaf = m_engine.DescendToLeafIbd(kInnoFirstIndexPage);
        }
        if (leaf == 0) return;
        m_engine.m_bookmarks.push_back(PageBookmark{leaf, 0});
        InnoIbdScope reading(m_engine);
        m_engine.ReadLeafRowsIbd(leaf, 0);
    } else if (dictionary) {
        const std::uint64_t id = m_engine.FindTableId(dictionaryKey);
        if (id == 0) return;
        // A table with a tablespace of its own whose .ibd is missing (or held by a
        // running server) has its pages there, not in ibdata1.
        if (!IsInSystemTablespace(m_engine, id)) return;
        m_engine.BuildColumnsFromDictionary(id);
        const std::uint32_t root = m_engine.FindClusteredRootPage(id);
        if (root == 0) return;
        const std::uint32_t leaf = m_engine.DescendToLeafSystem(root);
        if (leaf == 0) return;
        m_bRowsSourceOpened = true;
        m_engine.m_bookmarks.push_back(PageBookmark{leaf, 0});
        m_engine.ReadLeafRowsSystem(leaf, 0);
    }
}

void CTableBrowser::ReadInnoPage(const PageBookmark& bookmark) {
    // Each walk is bounded, but a damaged leaf chain that cycles through pages full of
    // rows would give one page after another for ever: no table holds more rows than
    // its file has pages times the records a page can hold.
    const bool fromIbd = m_engine.m_fileIbd.IsOpen();
    if (!fromIbd && !m_engine.m_fileIbdata.IsOpen()) return;
    const std::uint64_t pages = fromIbd ? m_engine.m_nIbdPages : m_engine.m_nIbdataPages;
    const std::uint32_t pageSize = fromIbd ? m_engine.m_nIbdPageSize : m_engine.m_nIbdataPageSize;
    if (m_nRowsRead / (InnoMaxRecordsPerPage(pageSize) + 1) >= pages) return;
    const auto page = static_cast<std::uint32_t>(bookmark.m_nPage & 0xFFFFFFFFu);
    const auto offset = static_cast<std::uint16_t>(bookmark.m_nOffset & 0xFFFFu);
    if (fromIbd) {
        InnoIbdScope reading(m_engine);
        m_engine.ReadLeafRowsIbd(page, offset);
    } else {
        m_engine.ReadLeafRowsSystem(page, offset);
    }
}

bool CTableBrowser::LoadMyIsamFirstPage(const CString& path) {
    try {
        if (!m_engine.m_fileMyd.Open(path, CFile::modeRead | CFile::shareExclusive)) return true;
        m_engine.m_bBatchFull = 0;
        m_engine.m_bookmarks.push_back(PageBookmark{0, 0});
        ReadMyIsamPage(0, true);
        return true;
    } catch (const CFileException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void CTableBrowser::ReadMyIsamPage(std::uint64_t start, bool push) {
    const std::uint64_t length = m_engine.m_fileMyd.GetLength();
    if (m_engine.m_nRowFormat == kRowFormatDynamic) DynamicRowWalk(start, push, length);
    else if (m_engine.m_nRowFormat == kRowFormatFixed) FixedLengthWalk(start, push, length);
    // Compressed records (2) are not read.
}

void CTableBrowser::FixedLengthWalk(std::uint64_t start, bool push, std::uint64_t length) {
    const std::uint32_t packLength = m_engine.m_myiBase.pack_reclength;
    std::uint64_t step = packLength;
    if (m_engine.m_nRecordLength == packLength || packLength >= length || packLength == 0)
        step = m_engine.m_nRecordLength;
    if (step == 0) return;  // no record length known: no record can be found

    for (std::uint64_t pos = start; pos < length;) {
        // MyISAM clears a fixed-length record's first byte when it deletes it (the
        // reserved first null bit of every live record keeps that byte non-zero): such
        // a record is a link of the free chain, not a row.
        unsigned char mark = 0;
        m_engine.m_fileMyd.Seek(static_cast<std::int64_t>(pos), CFile::begin);
        m_engine.m_fileMyd.Read(&mark, 1);
        if (mark != 0) m_engine.ReadStaticRow(pos);
        const std::uint64_t next = pos + step;
        if (next > length) break;
        if (m_engine.m_rows.size() >= kRowsPerPage) {
            m_engine.m_bBatchFull = 1;
            if (push) m_engine.m_bookmarks.push_back(PageBookmark{0, next});
            break;
        }
        pos = next;
    }
}

bool CTableBrowser::JoinRecordParts(BlockInfo info, std::uint64_t firstPos, std::uint64_t length) {
    // A record cannot hold more than the file, nor more than MyISAM's own bound for the
    // table, which it checks itself before reading a record.
    std::uint64_t bound = length;
    const std::uint32_t maxPack = m_engine.m_myiBase.max_pack_length;
    if (maxPack != 0 && maxPack < bound) bound = maxPack;
    const std::uint64_t recordLength = info.m_nRecLen;
    if (recordLength == 0 || recordLength > bound) return false;

    m_record.clear();
    m_visitedParts.clear();
    std::uint64_t remaining = recordLength;
    std::uint64_t partPos = firstPos;
    for (;;) {
        // Every part holds bytes, lies inside the file and fits what the record lacks:
        // the parts' total never passes the record length, so the chain is finite.
        if (info.m_nDataLen == 0 || info.m_nDataLen > remaining) return false;
        if (info.m_nFilePos > length || info.m_nDataLen > length - info.m_nFilePos) return false;
        const std::size_t at = m_record.size();
        m_record.resize(at + info.m_nDataLen);
        m_engine.m_fileMyd.Seek(static_cast<std::int64_t>(info.m_nFilePos), CFile::begin);
        if (m_engine.m_fileMyd.Read(m_record.data() + at, info.m_nDataLen) != info.m_nDataLen) return false;
        remaining -= info.m_nDataLen;
        if (remaining == 0) return true;

        // More bytes are due: the block must name a next part that is new to this record.
        if (info.m_header[0] <= 4 || (info.m_header[0] >= 7 && info.m_header[0] <= 10)) return false;
        if (m_visitedParts.empty()) m_visitedParts.insert(partPos);
        partPos = info.m_nNextFilePos;
        if (partPos >= length || !m_visitedParts.insert(partPos).second) return false;
        const std::uint32_t flags = m_engine.GetBlockInfo(info, partPos);
        if (info.m_header[0] > 13 || (flags & (BLOCK_DELETED | BLOCK_SYNC_ERROR))) return false;
    }
}

void CTableBrowser::DynamicRowWalk(std::uint64_t start, bool push, std::uint64_t length) {
    // pos only moves forward (to the block after a record's first block, or past a
    // block that starts no record), so the walk ends at the end of the file.
    std::uint64_t pos = start;
    while (pos < length) {
        BlockInfo info;
        const std::uint32_t flags = m_engine.GetBlockInfo(info, pos);
        if (info.m_header[0] > 13) {
            pos = NextAligned(pos);
            continue;
        }
        // A block that would end past the end of the file has a damaged length: the
        // blocks after it are looked for from the next aligned position on, not given up.
        const std::uint64_t blockEnd = info.m_nFilePos + info.m_nBlockLen;
        const std::uint64_t after = blockEnd > pos && blockEnd <= length ? blockEnd : NextAligned(pos);
        if (flags & (BLOCK_DELETED | BLOCK_SYNC_ERROR)) {
            // A deleted block or the continuation of a record that starts elsewhere.
            pos = after;
            continue;
        }
        if (JoinRecordParts(info, pos, length)) {
            m_engine.UnpackDynamicRow(m_record.data(), static_cast<std::uint32_t>(m_record.size()));
        }
        // A damaged record costs that record: the walk goes on after its first block.
        pos = after;
        if (m_engine.m_rows.size() >= kRowsPerPage) {
            m_engine.m_bBatchFull = 1;
            if (push) m_engine.m_bookmarks.push_back(PageBookmark{0, pos});
            break;
        }
    }
}

void CTableBrowser::ReadPage(std::uint64_t start, bool push) {
    if (m_engine.m_nDbType == kDbTypeMyIsam) {
        if (!m_engine.m_fileMyd.IsOpen()) return;
        if (push) m_engine.m_bBatchFull = 0;
        ReadMyIsamPage(start, push);
    }
}

BrowserEffects CTableBrowser::OnNextRecords() {
    BrowserEffects effects;
    BusyScope busy;
    if (!busy.Enter()) return RefusedWhileBusy();
    std::deque<PageBookmark>& stack = m_engine.m_bookmarks;
    const std::size_t depth = stack.size();
    if (depth < 2) {
        effects.next = ButtonState::Disabled;
        return effects;
    }
    const PageBookmark top = stack.back();
    if ((depth == m_engine.m_nShownPage && SameBookmark(top, m_currentBookmark)) || IsEndMarker(top)) {
        stack.push_back(PageBookmark{kEndOfTablePage, top.m_nOffset});
        effects.message = kNoMoreRecords;
        effects.next = ButtonState::Disabled;
        effects.accepted = false;
        return effects;
    }

    effects.previous = ButtonState::Enabled;
    m_currentBookmark = top;
    m_engine.m_nShownPage = static_cast<std::uint32_t>(depth);
    m_engine.m_bNoBookmark = 0;
    SetResumeRead();
    m_engine.m_rows.clear();
    CString failure;
    try {
        if (m_engine.m_nDbType == kDbTypeInnoDb) ReadInnoPage(top);
        else ReadPage(top.m_nOffset, true);
    } catch (const CFileException& e) {
        // The rows before the error are shown; the page counts as the last one.
        failure = CString::FromUtf8(e.what());
        m_engine.m_bBatchFull = 0;
    }
    effects.listRefilled = true;
    const std::uint64_t rows = m_engine.m_rows.size();
    if (rows < kRowsPerPage || m_engine.m_bBatchFull == 0) {
        stack.push_back(PageBookmark{kEndOfTablePage, top.m_nOffset});
        effects.message = kNoMoreRecords;
        effects.next = ButtonState::Disabled;
    }
    if (!failure.IsEmpty()) effects.message = failure;
    m_nPageFirstRow = m_nPageLastRow;
    m_nRowsRead += rows;
    m_nPageLastRow += rows;
    effects.captionChanged = true;
    effects.caption = RowsCaption(m_nPageFirstRow, m_nPageLastRow);
    return effects;
}

BrowserEffects CTableBrowser::OnPrevRecords() {
    BrowserEffects effects;
    BusyScope busy;
    if (!busy.Enter()) return RefusedWhileBusy();
    std::deque<PageBookmark>& stack = m_engine.m_bookmarks;
    const std::size_t depth = stack.size();
    if (depth < 2) {
        effects.previous = ButtonState::Disabled;
        return effects;
    }
    effects.next = ButtonState::Enabled;
    effects.previous = ButtonState::Enabled;

    PageBookmark target;
    if (depth > 2) {
        stack.pop_back();
        const PageBookmark keep = stack.back();
        stack.pop_back();
        target = stack.back();
        stack.push_back(keep);
        if (stack.size() == 2) effects.previous = ButtonState::Disabled;
    } else {
        m_engine.m_nShownPage = 2;
        const PageBookmark keep = stack.back();
        stack.pop_back();
        target = stack.back();
        stack.push_back(keep);
        effects.previous = ButtonState::Disabled;
    }

    m_currentBookmark = target;
    SetResumeRead();
    m_engine.m_rows.clear();
    m_engine.m_bNoBookmark = 1;
    CString failure;
    try {
        if (m_engine.m_nDbType == kDbTypeInnoDb) ReadInnoPage(target);
        else ReadPage(target.m_nOffset, false);
    } catch (const CFileException& e) {
        failure = CString::FromUtf8(e.what());
    }
    effects.listRefilled = true;
    if (!failure.IsEmpty()) effects.message = failure;
    const std::uint64_t rows = m_engine.m_rows.size();
    m_nPageFirstRow -= kRowsPerPage;
    m_nPageLastRow = m_nPageFirstRow + rows;
    effects.captionChanged = true;
    effects.caption = RowsCaption(m_nPageFirstRow, m_nPageLastRow);
    m_nRowsRead -= rows;
    return effects;
}
