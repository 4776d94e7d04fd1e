#include "app/TableBrowser.h"

#include <exception>
#include <new>

#include "app/DralvekOstruneApp.h"
#include "engine/ColumnType.h"

namespace {

const char16_t* const kNoMoreRecords = u"No more records in table";
const char16_t* const kPleaseWait = u"Please wait for the running process.";

bool IsEndMarker(const PageBookmark& b) { return b.m_nPage == kEndOfTablePage; }

bool SameBookmark(const PageBookmark& a, const PageBookmark& b) {
    return a.m_nPage == b.m_nPage && a.m_nOffset == b.m_nOffset;
}

CString RowsCaption(std::uint64_t first, std::uint64_t last) {
    CString text;
    text.Format(u"%lld rows to %lld", static_cast<long long>(first), static_cast<long long>(last));
    return text;
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// Sets the busy flag for one step; false when another step holds it.
class BusyScope {
public:
    BusyScope() : m_app(GetDralvekApp()) {}
    bool Enter() {
        if (m_app) {
            std::int32_t idle = 0;
            if (!m_app->m_bBusy.compare_exchange_strong(idle, 1)) return false;
        }
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

// A paging step asked for while another step or a scan holds the busy flag.
BrowserEffects RefusedWhileBusy() {
    BrowserEffects effects;
    effects.message = kPleaseWait;
    effects.accepted = false;
    return effects;
}

// The one catch boundary of an entry point: whatever a read throws ends the step with
// the rows it read and the reason as the message, never the process.
template <typename Step>
void Guarded(BrowserEffects& effects, Step&& step) {
    try {
        step();
    } catch (const std::bad_alloc&) {
        effects.message = u"Out of memory while reading the table.";
        effects.losses.push_back(effects.message);
    } catch (const std::exception& e) {
        effects.message = CString::FromUtf8(e.what());
        effects.losses.push_back(effects.message);
    }
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

CString TableDictionaryKey(const CString& folder, const CString& name) {
    std::u16string path(folder.View());
    while (!path.empty() && IsSeparator(path.back())) path.pop_back();
    std::size_t slash = path.find_last_of(u"/\\");
    if (slash == std::u16string::npos) return CString();
    return JoinTablePath(CString(path.substr(slash + 1)), name);
}

CTableBrowser::CTableBrowser(CTableEngine& engine) : m_engine(engine), m_reader(engine) {}

void CTableBrowser::BeginDisplay(BrowserEffects& effects) {
    m_reader.Close();
    m_engine.m_bookmarks.clear();
    effects.next = ButtonState::Enabled;
    effects.previous = ButtonState::Disabled;
    m_nRowsRead = 0;
    m_nPageFirstRow = 0;
    m_nPageLastRow = 0;
    m_engine.m_bNoBookmark = 0;
    m_currentBookmark = PageBookmark();
    m_bDefinitionRead = false;
    m_bRowsSourceOpened = false;
    // Every display reads in the window's mode with the application's collation table.
    if (const CDralvekOstruneApp* app = GetDralvekApp()) m_engine.m_context = app->WindowReadContext();
    m_engine.m_context.losses.clear();
}

void CTableBrowser::FinishStep(BrowserEffects& effects) {
    std::vector<CString> losses = m_reader.TakeLosses();
    effects.losses.insert(effects.losses.begin(), losses.begin(), losses.end());
    if (CDralvekOstruneApp* app = GetDralvekApp()) app->m_nBlobFileCounter = m_engine.m_context.blobCounter;
}

BrowserEffects CTableBrowser::ShowKeys(const CString& base, const CString& itemText, std::vector<KeyListRow>& rows) {
    BrowserEffects effects;
    BeginDisplay(effects);
    Guarded(effects, [&] {
        m_engine.m_columns.clear();
        m_bDefinitionRead = m_engine.ReadFrm(FindTableFile(base, u".frm"));
        rows = BuildKeyList(m_engine);
    });
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
    FinishStep(effects);
    return effects;
}

BrowserEffects CTableBrowser::ShowTable(const CString& base, const CString& itemText, const CString& dictionaryKey) {
    BrowserEffects effects;
    BeginDisplay(effects);
    Guarded(effects, [&] { ShowTableRows(base, itemText, dictionaryKey, effects); });
    m_nRowsRead = m_engine.m_rows.size();
    m_nPageFirstRow = 0;
    m_nPageLastRow = m_nRowsRead;
    effects.captionChanged = true;
    effects.caption.Format(u"%s[%lld]", itemText.GetString(), static_cast<long long>(m_nPageLastRow));
    effects.listRefilled = true;
    if (m_engine.m_rows.empty()) effects.next = effects.previous = ButtonState::Disabled;
    FinishStep(effects);
    return effects;
}

void CTableBrowser::ShowTableRows(const CString& base, const CString&, const CString& dictionaryKey,
                                  BrowserEffects& effects) {
    m_reader.Open(base, dictionaryKey);
    m_bDefinitionRead = m_reader.DefinitionRead();
    m_bRowsSourceOpened = m_reader.RowSourceOpened();
    if (!m_bRowsSourceOpened) return;
    m_engine.m_bookmarks.push_back(m_reader.FirstPage());
    ReadPage(m_reader.FirstPage(), true, effects);
}

bool CTableBrowser::LoadMyIsamFirstPage(const CString& path) {
    BrowserEffects effects;
    if (const CDralvekOstruneApp* app = GetDralvekApp()) m_engine.m_context = app->WindowReadContext();
    m_reader.OpenMyIsamData(path);
    if (!m_engine.m_fileMyd.IsOpen()) return true;
    m_engine.m_bookmarks.push_back(PageBookmark{0, 0});
    ReadPage(PageBookmark{0, 0}, true, effects);
    return effects.message.IsEmpty();
}

void CTableBrowser::ReadPage(const PageBookmark& start, bool push, BrowserEffects& effects) {
    TablePageResult result;
    m_reader.ReadPage(start, result);
    m_bLastFull = !result.end;
    if (!result.end && push) m_engine.m_bookmarks.push_back(result.next);
    // A file error ends the page: its reason is the message.
    if (!result.failure.IsEmpty()) effects.message = result.failure;
}

BrowserEffects CTableBrowser::OnNextRecords() {
    BusyScope busy;
    if (!busy.Enter()) return RefusedWhileBusy();
    BrowserEffects effects;
    Guarded(effects, [&] { NextRecords(effects); });
    FinishStep(effects);
    return effects;
}

void CTableBrowser::NextRecords(BrowserEffects& effects) {
    std::deque<PageBookmark>& stack = m_engine.m_bookmarks;
    const std::size_t depth = stack.size();
    if (depth < 2) {
        effects.next = ButtonState::Disabled;
        return;
    }
    const PageBookmark top = stack.back();
    if ((depth == m_engine.m_nShownPage && SameBookmark(top, m_currentBookmark)) || IsEndMarker(top)) {
        stack.push_back(PageBookmark{kEndOfTablePage, top.m_nOffset});
        effects.message = kNoMoreRecords;
        effects.next = ButtonState::Disabled;
        effects.accepted = false;
        return;
    }

    effects.previous = ButtonState::Enabled;
    m_currentBookmark = top;
    m_engine.m_nShownPage = static_cast<std::uint32_t>(depth);
    m_engine.m_bNoBookmark = 0;
    effects.listRefilled = true;
    CString failure;
    ReadPage(top, true, effects);
    failure = effects.message;
    const std::uint64_t rows = m_engine.m_rows.size();
    if (rows < kRowsPerPage || !m_bLastFull) {
        stack.push_back(PageBookmark{kEndOfTablePage, top.m_nOffset});
        effects.message = kNoMoreRecords;
        effects.next = ButtonState::Disabled;
    }
    if (!failure.IsEmpty()) effects.message = failure;
    m_nPageFirstRow = m_nPageLastRow;
    m_nPageLastRow += rows;
    m_nRowsRead = m_nPageLastRow;
    effects.captionChanged = true;
    effects.caption = RowsCaption(m_nPageFirstRow, m_nPageLastRow);
}

BrowserEffects CTableBrowser::OnPrevRecords() {
    BusyScope busy;
    if (!busy.Enter()) return RefusedWhileBusy();
    BrowserEffects effects;
    Guarded(effects, [&] { PrevRecords(effects); });
    FinishStep(effects);
    return effects;
}

void CTableBrowser::PrevRecords(BrowserEffects& effects) {
    std::deque<PageBookmark>& stack = m_engine.m_bookmarks;
    const std::size_t depth = stack.size();
    // The first page has no page before it (nor has a table without a page stack).
    if (depth < 2 || m_nPageFirstRow < kRowsPerPage) {
        effects.previous = ButtonState::Disabled;
        effects.accepted = depth >= 2 ? false : effects.accepted;
        return;
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
    m_engine.m_bNoBookmark = 1;
    effects.listRefilled = true;
    ReadPage(target, false, effects);
    const std::uint64_t rows = m_engine.m_rows.size();
    m_nPageFirstRow -= kRowsPerPage;
    m_nPageLastRow = m_nPageFirstRow + rows;
    m_nRowsRead = m_nPageLastRow;
    effects.captionChanged = true;
    effects.caption = RowsCaption(m_nPageFirstRow, m_nPageLastRow);
}
