#include "engine/TableReader.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "engine/InnoPage.h"

namespace {

constexpr std::uint32_t kRowFormatFixed = 0;
constexpr std::uint32_t kRowFormatDynamic = 1;
constexpr std::uint32_t kRowFormatCompressed = 2;
// Dynamic blocks start on this alignment; a header that cannot be decoded is passed
// over to the next such position.
constexpr std::uint64_t kBlockAlignment = 4;
// Without a dictionary the clustered index of a file-per-table tablespace is found at
// its first index page.
constexpr std::uint32_t kInnoFirstIndexPage = 3;

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

std::uint64_t NextAligned(std::uint64_t pos) { return (pos / kBlockAlignment + 1) * kBlockAlignment; }

CString Number(std::uint64_t n) {
    CString text;
    text.Format(u"%llu", static_cast<unsigned long long>(n));
    return text;
}

CString Hex(std::uint32_t n) {
    CString text;
    text.Format(u"%X", static_cast<unsigned>(n));
    return text;
}

// The smallest page a tablespace has.
constexpr std::uint32_t kInnoMinPageSize = 4096;

CString FileName(const CFile& file) {
    const std::string path = file.GetFilePath().ToUtf8();
    return CString::FromUtf8(std::filesystem::path(path).filename().string());
}

CString FileName(const CString& path) {
    return CString::FromUtf8(std::filesystem::path(path.ToUtf8()).filename().string());
}

CString CannotOpen(const CString& path, const CFile& file) {
    return u"cannot open " + FileName(path) + u": " + CString::FromUtf8(file.OpenFailureReason());
}

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

// Rows, and the large objects they point to, come from the .ibd while this lives; the
// engine pushes no bookmark of its own (the caller keeps the page stack).
class InnoReadScope {
public:
    InnoReadScope(CTableEngine& engine, bool fromIbd)
        : m_engine(engine), m_noBookmark(engine.m_bNoBookmark) {
        m_engine.m_bReadingIbd = fromIbd ? 1 : 0;
        m_engine.m_bNoBookmark = 1;
    }
    ~InnoReadScope() {
        m_engine.m_bReadingIbd = 0;
        m_engine.m_bNoBookmark = m_noBookmark;
    }
    InnoReadScope(const InnoReadScope&) = delete;
    InnoReadScope& operator=(const InnoReadScope&) = delete;

private:
    CTableEngine& m_engine;
    std::uint8_t m_noBookmark;
};

}  // namespace

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

CTableReader::CTableReader(CTableEngine& engine, ReadContext context) : m_engine(engine) {
    m_engine.m_context = std::move(context);
}

CTableReader::CTableReader(CTableEngine& engine) : m_engine(engine) {}

void CTableReader::Close() {
    if (m_engine.m_fileMyd.IsOpen()) m_engine.m_fileMyd.Close();
    if (m_engine.m_fileIbd.IsOpen()) m_engine.m_fileIbd.Close();
    m_bRowSourceOpened = false;
    m_bDefinitionRead = false;
    m_first = PageBookmark();
    m_pageStarts.clear();
    m_countedStarts.clear();
    m_nRowsCounted = 0;
    m_bCountChecked = false;
    m_lossesGiven.clear();
}

std::vector<CString> CTableReader::TakeLosses() {
    std::vector<CString> fresh;
    for (CString& loss : m_engine.m_context.TakeLosses())
        if (m_lossesGiven.emplace(loss.View()).second) fresh.push_back(std::move(loss));
    return fresh;
}

bool CTableReader::Open(const CString& base, const CString& dictionaryKey) {
    Close();
    m_base = base;
    m_engine.m_innoColumns.clear();
    m_engine.m_rows.clear();
    m_engine.m_recinfo.clear();
    m_engine.m_columns.clear();
    m_engine.m_enumValues.clear();
    m_engine.m_bookmarks.clear();

    const CString frm = FindTableFile(base, u".frm");
    {
        // The .frm reader says nothing of why a definition is missing: ask the system.
        CFile probe;
        if (!probe.Open(frm, CFile::modeRead)) {
            Loss(CannotOpen(frm, probe));
            if (const CString why = DescribeIbdWithoutFrm(base); !why.IsEmpty()) Loss(why);
            return false;
        }
    }
    m_bDefinitionRead = m_engine.ReadFrm(frm);
    if (!m_bDefinitionRead) {
        Loss(FileName(frm) + u": not a table definition that can be read");
        return false;
    }
    // A column whose collation the table does not know is read as UTF-8: say so.
    if (m_engine.m_context.collations) {
        for (const ColumnInfo& column : m_engine.m_columns) {
            if (column.m_nCharset == 0 || m_engine.m_context.FindCollation(column.m_nCharset)) continue;
            Loss(u"column " + column.m_strName + u": collation " + Number(column.m_nCharset) +
                 u" is not in the collation table; its text is read as UTF-8");
        }
    }
    try {
        if (m_engine.m_nDbType == kDbTypeMyIsam) OpenMyIsam(base);
        else if (m_engine.m_nDbType == kDbTypeInnoDb) OpenInno(base, dictionaryKey);
        else Loss(u"rows of storage engine " + Number(m_engine.m_nDbType) + u" are not read");
    } catch (const CFileException& e) {
        Loss(CString::FromUtf8(e.what()));
    } catch (const std::bad_alloc&) {
        Loss(u"out of memory while opening the table");
    }
    return true;
}

void CTableReader::OpenMyIsam(const CString& base) {
    const CString myi = FindTableFile(base, u".MYI");
    if (!m_engine.ReadMyiHeader(myi)) {
        CFile probe;
        if (!probe.Open(myi, CFile::modeRead)) Loss(CannotOpen(myi, probe));
        else Loss(FileName(myi) + u": index header too short; rows are read without it");
    }
    OpenMyIsamData(FindTableFile(base, u".MYD"));
}

void CTableReader::OpenMyIsamData(const CString& myd) {
    CFile& file = m_engine.m_fileMyd;
    if (file.IsOpen()) file.Close();
    m_countedStarts.clear();
    m_nRowsCounted = 0;
    m_bCountChecked = false;
    m_bPacked = false;
    if (!file.Open(myd, CFile::modeRead | CFile::shareExclusive)) {
        Loss(CannotOpen(myd, file));
        return;
    }
    m_bRowSourceOpened = true;
    m_first = PageBookmark{0, 0};
    // myisampack marks the index header and starts the data file with its own magic;
    // either is enough (the index file may be missing or damaged).
    unsigned char magic[4] = {};
    const bool packedMagic = file.Read(magic, 4) == 4 && magic[0] == 0xFE && magic[1] == 0xFE && magic[2] == 0x08;
    if (m_engine.m_nRowFormat == kRowFormatCompressed || packedMagic) {
        m_bPacked = true;
        Loss(FileName(myd) + u": compressed MyISAM rows (packed by myisampack) are not read, no rows");
        return;
    }
    const MyIsamState& state = m_engine.m_myiState;
    const std::uint64_t length = file.GetLength();
    if (state.known && length < state.dataFileLength)
        Loss(FileName(myd) + u": " + Number(length) + u" bytes, the index header says " +
             Number(state.dataFileLength) + u"; the rows past the end are lost");
}

CString DescribeIbdWithoutFrm(const CString& base) {
    const CString path = FindTableFile(base, u".ibd");
    CFile ibd;
    if (!ibd.Open(path, CFile::modeRead)) return CString();
    // MySQL 8.0 and later keep the definition in the tablespace's SDI pages (type 17853,
    // the index at page 3) and say so in bit 14 of the flags; they write no .frm.
    constexpr std::uint32_t kSdiFlag = 1u << 14;
    constexpr std::uint16_t kPageTypeSdi = 17853;
    bool sdi = false;
    try {
        const InnoSpaceFlags flags = DecodeFspFlags(ReadFspFlags(ibd));
        const std::uint32_t pageSize = flags.physicalSize != 0 ? flags.physicalSize : INNO_PAGE_SIZE;
        sdi = !flags.fullCrc32 && (flags.raw & kSdiFlag) != 0;
        unsigned char type[2] = {};
        ibd.Seek(static_cast<std::int64_t>(3) * pageSize + 24, CFile::begin);
        if (ibd.Read(type, 2) == 2 && (type[0] << 8 | type[1]) == kPageTypeSdi) sdi = true;
    } catch (const CFileException&) {
    }
    if (sdi)
        return FileName(path) + u": a MySQL 8.0 or later tablespace, its table definition is inside the .ibd (no "
                                u".frm); such tables are not read, no rows";
    return FileName(path) + u" is there without its .frm: MySQL 8.0 and later keep the definition inside the "
                            u".ibd, and such tables are not read; no rows";
}

bool CTableReader::OpenIbdPages(const CString& path) {
    CFile& ibd = m_engine.m_fileIbd;
    m_engine.m_nIbdPages = 0;
    m_engine.m_nIbdPageSize = INNO_PAGE_SIZE;
    if (ibd.GetLength() < kInnoMinPageSize) {
        Loss(FileName(path) + u": shorter than one page (" + Number(ibd.GetLength()) + u" bytes), no rows");
        return false;
    }
    const InnoSpaceFlags flags = DecodeFspFlags(ReadFspFlags(ibd));
    const std::uint32_t pageSize = InnoTablespacePageSize(ibd);
    if (pageSize == 0) {
        Loss(FileName(path) + u": ROW_FORMAT=COMPRESSED pages (" + Number(flags.physicalSize) +
             u" bytes each, page size " + Number(flags.logicalSize) + u") are not read, no rows");
        return false;
    }
    // Flags that name no page size, or one at which the pages do not carry their own
    // numbers: the size found from the pages is a guess worth saying.
    if (flags.logicalSize != pageSize)
        Loss(FileName(path) + u": page 0's flags (0x" + Hex(flags.raw) + u") " +
             (flags.logicalSize == 0 ? CString(u"name no page size") : u"name page size " + Number(flags.logicalSize)) +
             u"; read as " + Number(pageSize) + u"-byte pages");
    // MariaDB's page compression (PAGE_COMPRESSED=1): each page is compressed on its own,
    // named in bit 16 of the flags, or bits 5-7 (the algorithm) in the full_crc32 layout.
    const bool pageCompressed =
        flags.fullCrc32 ? ((flags.raw >> 5) & 7u) != 0 : (flags.raw & (1u << 16)) != 0;
    if (pageCompressed)
        Loss(FileName(path) + u": page-compressed tablespace (PAGE_COMPRESSED=1); its compressed pages are not "
                              u"read");
    m_engine.m_nIbdPageSize = pageSize;
    m_engine.m_nIbdPages = InnoPageCount(ibd, pageSize);
    if (m_engine.m_nIbdPages == 0) {
        Loss(FileName(path) + u": shorter than one page of " + Number(pageSize) + u" bytes (" +
             Number(ibd.GetLength()) + u" bytes), no rows");
        return false;
    }
    return true;
}

bool CTableReader::OpenIbd(const CString& path, const CString& dictionaryKey) {
    CFile& ibd = m_engine.m_fileIbd;
    if (!ibd.Open(path, CFile::modeRead | CFile::shareExclusive)) return false;
    m_bRowSourceOpened = true;
    if (!OpenIbdPages(path)) return true;
    std::uint32_t leaf = 0;
    if (m_engine.m_fileIbdata.IsOpen()) {
        const std::uint64_t id = m_engine.FindTableId(dictionaryKey);
        if (id != 0 && DictionaryDescribesTablespace(m_engine, id, ibd)) {
            m_engine.BuildColumnsFromDictionary(id);
            const std::uint32_t root = m_engine.FindClusteredRootPage(id);
            if (root != 0) leaf = m_engine.DescendToLeafIbd(root);
        }
    }
    if (leaf == 0) {
        // Without a usable dictionary entry the rows are still in the .ibd: the layout
        // comes from the .frm and the clustered index starts at page 3.
        m_engine.m_innoColumns.clear();
        m_engine.BuildColumnsFromFrm();
        leaf = m_engine.DescendToLeafIbd(kInnoFirstIndexPage);
    }
    if (leaf == 0) {
        Loss(FileName(path) + u": no leaf page of the clustered index found (page " + Number(kInnoFirstIndexPage) +
             u" is no readable index page), no rows");
        return true;
    }
    m_first = PageBookmark{leaf, 0};
    return true;
}

void CTableReader::OpenInno(const CString& base, const CString& dictionaryKey) {
    // From base + ".ibd" when it opens, else from ibdata1 through the dictionary.
    const CString ibdPath = FindTableFile(base, u".ibd");
    if (OpenIbd(ibdPath, dictionaryKey)) return;
    CFile probe;
    const bool ibdOpens = probe.Open(ibdPath, CFile::modeRead);
    const CString ibdFailure = CannotOpen(ibdPath, probe);
    probe.Close();
    if (!m_engine.m_fileIbdata.IsOpen()) {
        Loss(ibdOpens ? FileName(ibdPath) + u": locked by another program" : ibdFailure);
        return;
    }
    const std::uint64_t id = m_engine.FindTableId(dictionaryKey);
    if (id == 0) {
        Loss(ibdFailure + u", and ibdata1's dictionary has no table " + dictionaryKey);
        return;
    }
    // A table with a tablespace of its own whose .ibd is missing (or held by a running
    // server) has its pages there, not in ibdata1.
    if (!IsInSystemTablespace(m_engine, id)) {
        Loss(ibdFailure);
        return;
    }
    // ibdata1's page size when its page 0 names none, or a wrong one, was found from the
    // pages themselves: a guess worth saying.
    const InnoSpaceFlags flags = DecodeFspFlags(ReadFspFlags(m_engine.m_fileIbdata));
    if (flags.logicalSize != m_engine.m_nIbdataPageSize || flags.physicalSize != flags.logicalSize)
        Loss(u"ibdata1: page 0's flags (0x" + Hex(flags.raw) + u") do not name its page size; read as " +
             Number(m_engine.m_nIbdataPageSize) + u"-byte pages");
    m_engine.BuildColumnsFromDictionary(id);
    const std::uint32_t root = m_engine.FindClusteredRootPage(id);
    const std::uint32_t leaf = root == 0 ? 0 : m_engine.DescendToLeafSystem(root);
    if (leaf == 0) {
        Loss(u"ibdata1: no leaf page of table " + dictionaryKey + u" found from root page " + Number(root) +
             u", no rows");
        return;
    }
    m_bRowSourceOpened = true;
    m_first = PageBookmark{leaf, 0};
}

bool CTableReader::ReadPage(const PageBookmark& start, TablePageResult& result) {
    result = TablePageResult();
    m_engine.m_rows.clear();
    m_engine.m_bBatchFull = 0;
    if (!m_bRowSourceOpened) return false;
    try {
        if (m_engine.m_nDbType == kDbTypeInnoDb) ReadInnoPage(start, result);
        else ReadMyIsamPage(start.m_nOffset, result);
    } catch (const CFileException& e) {
        // The rows before the error are kept; the page counts as the last one.
        result.failure = CString::FromUtf8(e.what());
        Loss(result.failure);
        result.end = true;
    } catch (const std::bad_alloc&) {
        Loss(u"out of memory: the page ends after " + Number(m_engine.m_rows.size()) + u" rows");
        result.end = true;
    }
    if (m_engine.m_nDbType == kDbTypeMyIsam) {
        if (m_countedStarts.insert(start.m_nOffset).second) m_nRowsCounted += m_engine.m_rows.size();
        if (result.end) CheckMyIsamCount();
    }
    return true;
}

void CTableReader::CheckMyIsamCount() {
    const MyIsamState& state = m_engine.m_myiState;
    // Only a read of every page from the first on has seen every row.
    if (m_bCountChecked || m_bPacked || !state.known || m_countedStarts.count(0) == 0) return;
    m_bCountChecked = true;
    if (m_nRowsCounted < state.records)
        Loss(FileName(m_engine.m_fileMyd) + u": the index header counts " + Number(state.records) +
             u" rows, " + Number(state.records - m_nRowsCounted) + u" of them were not found");
}

void CTableReader::ReadMyIsamPage(std::uint64_t start, TablePageResult& result) {
    if (m_bPacked) return;
    const std::uint64_t length = m_engine.m_fileMyd.GetLength();
    if (m_engine.m_nRowFormat == kRowFormatDynamic) DynamicRowWalk(start, length, result);
    else if (m_engine.m_nRowFormat == kRowFormatFixed) FixedLengthWalk(start, length, result);
    // Compressed records are not read (reported on opening).
}

void CTableReader::FixedLengthWalk(std::uint64_t start, std::uint64_t length, TablePageResult& result) {
    const std::uint32_t packLength = m_engine.m_myiBase.pack_reclength;
    std::uint64_t step = packLength;
    if (m_engine.m_nRecordLength == packLength || packLength >= length || packLength == 0)
        step = m_engine.m_nRecordLength;
    if (step == 0) {
        Loss(FileName(m_engine.m_fileMyd) + u": no record length known, no rows");
        return;
    }
    CFile& file = m_engine.m_fileMyd;
    for (std::uint64_t pos = start; pos < length;) {
        // MyISAM clears a fixed-length record's first byte when it deletes it (the
        // reserved first null bit of every live record keeps that byte non-zero): such
        // a record is a link of the free chain, not a row.
        unsigned char mark = 0;
        file.Seek(static_cast<std::int64_t>(pos), CFile::begin);
        file.Read(&mark, 1);
        const std::uint64_t next = pos + step;
        // A last record cut short is read as far as it goes; a file shorter than its
        // header says was reported on opening.
        if (mark != 0) m_engine.ReadStaticRow(pos);
        if (next > length) break;
        if (m_engine.m_rows.size() >= kRowsPerPage) {
            m_engine.m_bBatchFull = 1;
            result.end = false;
            result.next = PageBookmark{0, next};
            return;
        }
        pos = next;
    }
}

bool CTableReader::JoinRecordParts(BlockInfo info, std::uint64_t firstPos, std::uint64_t length,
                                   const char*& reason) {
    // A record cannot hold more than the file, nor more than MyISAM's own bound for the
    // table, which it checks itself before reading a record.
    std::uint64_t bound = length;
    const std::uint32_t maxPack = m_engine.m_myiBase.max_pack_length;
    if (maxPack != 0 && maxPack < bound) bound = maxPack;
    const std::uint64_t recordLength = info.m_nRecLen;
    if (recordLength == 0 || recordLength > bound) {
        reason = "its length is impossible";
        return false;
    }
    m_record.clear();
    m_visitedParts.clear();
    std::uint64_t remaining = recordLength;
    std::uint64_t partPos = firstPos;
    CFile& file = m_engine.m_fileMyd;
    for (;;) {
        // Every part holds bytes, lies inside the file and fits what the record lacks:
        // the parts' total never passes the record length, so the chain is finite.
        if (info.m_nDataLen == 0 || info.m_nDataLen > remaining) {
            reason = "a part's length does not fit the record";
            return false;
        }
        if (info.m_nFilePos > length || info.m_nDataLen > length - info.m_nFilePos) {
            reason = "a part runs past the end of the file";
            return false;
        }
        const std::size_t at = m_record.size();
        m_record.resize(at + info.m_nDataLen);
        file.Seek(static_cast<std::int64_t>(info.m_nFilePos), CFile::begin);
        if (file.Read(m_record.data() + at, info.m_nDataLen) != info.m_nDataLen) {
            reason = "a part cannot be read";
            return false;
        }
        remaining -= info.m_nDataLen;
        if (remaining == 0) return true;

        // More bytes are due: the block must name a next part that is new to this record.
        reason = "its chain of parts is broken";
        if (info.m_header[0] <= 4 || (info.m_header[0] >= 7 && info.m_header[0] <= 10)) return false;
        if (m_visitedParts.empty()) m_visitedParts.push_back(partPos);
        partPos = info.m_nNextFilePos;
        if (partPos >= length) return false;
        if (std::find(m_visitedParts.begin(), m_visitedParts.end(), partPos) != m_visitedParts.end()) return false;
        m_visitedParts.push_back(partPos);
        const std::uint32_t flags = m_engine.GetBlockInfo(info, partPos);
        if (info.m_header[0] > 13 || (flags & (BLOCK_DELETED | BLOCK_SYNC_ERROR))) return false;
    }
}

void CTableReader::DynamicRowWalk(std::uint64_t start, std::uint64_t length, TablePageResult& result) {
    // pos only moves forward (to the block after a record's first block, or past a
    // block that starts no record), so the walk ends at the end of the file.
    std::uint64_t pos = start;
    std::uint64_t unreadableFrom = 0;
    bool unreadable = false;
    auto endUnreadable = [&](std::uint64_t at) {
        if (!unreadable) return;
        unreadable = false;
        Loss(FileName(m_engine.m_fileMyd) + u": bytes " + Number(unreadableFrom) + u" to " + Number(at) +
             u" hold no readable block header, skipped");
    };
    while (pos < length) {
        BlockInfo info;
        const std::uint32_t flags = m_engine.GetBlockInfo(info, pos);
        if (info.m_header[0] > 13) {
            if (!unreadable) unreadableFrom = pos;
            unreadable = true;
            pos = NextAligned(pos);
            continue;
        }
        endUnreadable(pos);
        // A block that would end past the end of the file has a damaged length: the
        // blocks after it are looked for from the next aligned position on, not given up.
        const std::uint64_t blockEnd = info.m_nFilePos + info.m_nBlockLen;
        const std::uint64_t after = blockEnd > pos && blockEnd <= length ? blockEnd : NextAligned(pos);
        if (flags & (BLOCK_DELETED | BLOCK_SYNC_ERROR)) {
            // A deleted block or the continuation of a record that starts elsewhere.
            pos = after;
            continue;
        }
        const char* reason = "";
        if (JoinRecordParts(info, pos, length, reason)) {
            m_engine.UnpackDynamicRow(m_record.data(), static_cast<std::uint32_t>(m_record.size()));
        } else {
            Loss(FileName(m_engine.m_fileMyd) + u": damaged record at offset " + Number(pos) + u" skipped (" +
                 CString::FromUtf8(reason) + u")");
        }
        // A damaged record costs that record: the walk goes on after its first block.
        pos = after;
        if (m_engine.m_rows.size() >= kRowsPerPage) {
            m_engine.m_bBatchFull = 1;
            result.end = false;
            result.next = PageBookmark{0, pos};
            return;
        }
    }
    endUnreadable(length);
}

void CTableReader::ReadInnoPage(const PageBookmark& start, TablePageResult& result) {
    const bool fromIbd = m_engine.m_fileIbd.IsOpen();
    if (!fromIbd && !m_engine.m_fileIbdata.IsOpen()) return;
    if (start.m_nPage == 0 && start.m_nOffset == 0) return;  // no leaf was found on opening
    // Each walk is bounded, but a damaged leaf chain that cycles through pages full of
    // rows would give one page after another for ever: no table holds more rows than its
    // file has pages times the records a page can hold.
    const std::uint64_t pages = fromIbd ? m_engine.m_nIbdPages : m_engine.m_nIbdataPages;
    const std::uint32_t pageSize = fromIbd ? m_engine.m_nIbdPageSize : m_engine.m_nIbdataPageSize;
    m_pageStarts.emplace(start.m_nPage, start.m_nOffset);
    if ((m_pageStarts.size() - 1) * kRowsPerPage / (InnoMaxRecordsPerPage(pageSize) + 1) >= pages) {
        Loss(FileName(fromIbd ? m_engine.m_fileIbd : m_engine.m_fileIbdata) + u": the leaf chain gives more rows than " +
             Number(pages) + u" pages can hold; the walk stops at page " + Number(start.m_nPage));
        return;
    }
    const auto page = static_cast<std::uint32_t>(start.m_nPage & 0xFFFFFFFFu);
    const auto offset = static_cast<std::uint16_t>(start.m_nOffset & 0xFFFFu);
    InnoReadScope scope(m_engine, fromIbd);
    if (fromIbd) m_engine.ReadLeafRowsIbd(page, offset);
    else m_engine.ReadLeafRowsSystem(page, offset);
    if (m_engine.m_bBatchFull) {
        result.end = false;
        result.next = m_engine.m_nextBookmark;
    }
}
