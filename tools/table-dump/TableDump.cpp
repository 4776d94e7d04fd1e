#include "tools/table-dump/TableDump.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/TableBrowser.h"
#include "engine/Collation.h"
#include "engine/TableEngine.h"
#include "engine/TableReader.h"
#include "platform/core/CFile.h"

bool ParseTableDumpArgs(const std::vector<std::string>& args, TableDumpArgs& out, std::string& error) {
    out = TableDumpArgs();
    std::vector<std::string> positional;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a == "--keys") {
            out.keys = true;
        } else if (!optionsDone && a == "--save") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--save needs a folder";
                return false;
            }
            out.saveFolder = args[++i];
        } else if (!optionsDone && a.rfind("--save=", 0) == 0) {
            out.saveFolder = a.substr(7);
            if (out.saveFolder.empty()) {
                error = "--save needs a folder";
                return false;
            }
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) {
        error = positional.empty() ? "missing DATADIR DATABASE TABLE"
                                   : "expected DATADIR DATABASE TABLE, got " + std::to_string(positional.size()) +
                                         " argument(s)";
        return false;
    }
    for (const auto& p : positional) {
        if (p.empty()) {
            error = "empty argument";
            return false;
        }
    }
    out.dataDir = positional[0];
    out.database = positional[1];
    out.table = positional[2];
    return true;
}

namespace {

// Writes text as UTF-8 with \ TAB LF CR escaped at o, which has room for 3 bytes per
// unit; returns the end. Most cells are ASCII without anything to escape: they are
// copied eight units at a time.
char* WriteEscaped(char* o, std::u16string_view text) {
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    while (p < end) {
        while (end - p >= 8) {
            std::uint64_t a, b;
            std::memcpy(&a, p, 8);
            std::memcpy(&b, p + 4, 8);
            // Any unit of 0x80 or more, or below 0x20 (TAB, LF, CR among them), or a
            // backslash, leaves the fast path.
            constexpr std::uint64_t kHigh = 0xFF80FF80FF80FF80ull;
            const auto plain = [](std::uint64_t w) {
                for (int k = 0; k < 4; ++k) {
                    const auto u = static_cast<std::uint16_t>(w >> (16 * k));
                    if (u < 0x20 || u == u'\\') return false;
                }
                return true;
            };
            if (((a | b) & kHigh) != 0 || !plain(a) || !plain(b)) break;
            for (int k = 0; k < 8; ++k) o[k] = static_cast<char>(p[k]);
            o += 8;
            p += 8;
        }
        if (p >= end) break;
        const char16_t c = *p++;
        if (c < 0x80) {
            switch (c) {
            case u'\\': *o++ = '\\'; *o++ = '\\'; break;
            case u'\t': *o++ = '\\'; *o++ = 't'; break;
            case u'\n': *o++ = '\\'; *o++ = 'n'; break;
            case u'\r': *o++ = '\\'; *o++ = 'r'; break;
            default: *o++ = static_cast<char>(c);
            }
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (*p++ - 0xDC00);
            *o++ = static_cast<char>(0xF0 | (cp >> 18));
            *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            // A lone surrogate becomes U+FFFD, as every other conversion here does.
            const char32_t cp = (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c;
            *o++ = static_cast<char>(0xE0 | (cp >> 12));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return o;
}

}  // namespace

void AppendEscapedCell(std::string& out, std::u16string_view text) {
    const std::size_t at = out.size();
    out.resize(at + text.size() * 3);
    char* const end = WriteEscaped(out.data() + at, text);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

std::string EscapeCell(const CString& text) {
    std::string out;
    AppendEscapedCell(out, text.View());
    return out;
}

namespace {

bool IsTableDefinition(const std::string& path) {
    CFile file;
    if (!file.Open(CString::FromUtf8(path), CFile::modeRead)) return false;
    unsigned char magic[2] = {};
    return file.Read(magic, 2) == 2 && magic[0] == 0xFE && magic[1] == 0x01;
}

// The page's rows as lines into buffer, which keeps its size from page to page (only
// the first used bytes are the page's), so growing it zero-fills nothing twice.
std::size_t WritePage(std::string& buffer, const TablePage& rows) {
    std::size_t used = 0;
    for (const TableRow& row : rows) {
        std::size_t bound = 1;
        for (const ColumnInfo& cell : row) bound += static_cast<std::size_t>(cell.m_strValue.GetLength()) * 3 + 3;
        if (buffer.size() < used + bound) buffer.resize(std::max(buffer.size() * 2, used + bound));
        char* o = buffer.data() + used;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i) *o++ = '\t';
            // SQL NULL as the server's own tab-separated output writes it; a text
            // "NULL" stays four letters.
            if (row[i].m_bNull) {
                *o++ = '\\';
                *o++ = 'N';
            } else if (row[i].m_bNotStored) {
                // A VIRTUAL column's value is the server's to compute: the file holds none.
                *o++ = '\\';
                *o++ = 'V';
            } else {
                o = WriteEscaped(o, row[i].m_strValue.View());
            }
        }
        *o++ = '\n';
        used = static_cast<std::size_t>(o - buffer.data());
    }
    return used;
}

// True when inner is folder or lies inside it (both as the file system resolves them).
bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& folder) {
    std::error_code ec;
    const auto a = std::filesystem::weakly_canonical(inner, ec);
    if (ec) return false;
    const auto b = std::filesystem::weakly_canonical(folder, ec);
    if (ec) return false;
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty()) continue;  // the trailing separator of a folder
        if (ai == a.end() || *ai != *bi) return false;
    }
    return true;
}

// The number after the highest numbered file already in blobdata, so that a second save
// into the same folder never overwrites the first one's objects.
std::uint64_t FirstFreeBlobNumber(const std::filesystem::path& blobdata) {
    std::uint64_t next = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(blobdata, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        long long n = 0;
        const auto r = std::from_chars(name.data(), name.data() + name.size(), n);
        if (r.ec == std::errc() && r.ptr == name.data() + name.size() && n >= 0 &&
            static_cast<std::uint64_t>(n) >= next)
            next = static_cast<std::uint64_t>(n) + 1;
    }
    return next;
}

}  // namespace

int RunTableDump(const TableDumpArgs& args, std::ostream& out, std::ostream& err) {
    const std::string prefix = "table-dump: " + args.database + "." + args.table + ": ";
    std::string base = args.dataDir + "/" + args.database + "/" + args.table;
    {
        CFile frm;
        if (!frm.Open(CString::FromUtf8(base + ".frm"), CFile::modeRead)) {
            err << prefix << "cannot open " << base << ".frm: " << frm.OpenFailureReason() << "\n";
            if (const CString why = DescribeIbdWithoutFrm(CString::FromUtf8(base)); !why.IsEmpty())
                err << prefix << why.ToUtf8() << "\n";
            return kDumpNoTable;
        }
    }
    if (!IsTableDefinition(base + ".frm")) {
        err << prefix << base << ".frm is no table definition\n";
        return kDumpNoTable;
    }

    ReadContext context;
    std::uint64_t firstBlob = 0;
    if (!args.saveFolder.empty()) {
        namespace fs = std::filesystem;
        // Saving into the data folder would mix written files with the source files.
        if (IsInside(args.saveFolder, args.dataDir)) {
            err << prefix << "the save folder " << args.saveFolder << " lies inside the data folder " << args.dataDir
                << "; choose another\n";
            return kDumpUsage;
        }
        // Off-page values are written into blobdata/; without the folder they would be lost.
        std::error_code ec;
        const fs::path blobdata = fs::path(args.saveFolder) / "blobdata";
        fs::create_directories(blobdata, ec);
        if (ec) {
            err << prefix << "cannot create " << args.saveFolder << "/blobdata: " << ec.message() << "\n";
            return kDumpNoTable;
        }
        firstBlob = FirstFreeBlobNumber(blobdata);
        std::string folder = args.saveFolder;
        if (folder.back() != '/') folder += '/';
        context.mode = ValueMode::Save;
        context.blobFolder = CString::FromUtf8(folder);
        context.blobCounter = firstBlob;
    }

    CollationMap collations;
    bool haveCollations = args.collationFile.empty() ? LoadProgramCollationFile(collations)
                                                     : LoadCollationFile(CString::FromUtf8(args.collationFile), collations);
    bool lost = false;
    if (!haveCollations) {
        err << prefix << "cannot open the collation file "
            << (args.collationFile.empty() ? std::string("\"collation (2)\"") : args.collationFile)
            << "; the common character sets are read with built-in widths\n";
        collations = BuiltInCollations();
    }
    context.collations = &collations;

    CTableEngine engine;
    CTableReader reader(engine, std::move(context));
    // As a scan does when it opens the folder: the data dictionary of DATADIR/ibdata1.
    const std::string ibdata = args.dataDir + "/ibdata1";
    struct stat st {};
    if (::stat(ibdata.c_str(), &st) == 0) {
        // Without the dictionary a table's layout comes from its .frm alone, and a table
        // inside ibdata1 cannot be read at all: say so.
        if (!engine.LoadDictionary(CString::FromUtf8(ibdata))) {
            err << prefix << "cannot open ibdata1: " << engine.m_fileIbdata.OpenFailureReason()
                << "; its data dictionary is not used\n";
            lost = true;
        } else if (engine.m_sysTables.empty()) {
            err << prefix << "ibdata1: no data dictionary could be read from it\n";
            lost = true;
        }
    }
    const CString tableBase = CString::FromUtf8(base);
    auto printLosses = [&] {
        for (const CString& loss : reader.TakeLosses()) {
            err << prefix << loss.ToUtf8() << "\n";
            lost = true;
        }
    };

    if (args.keys) {
        CTableBrowser browser(engine);
        std::vector<KeyListRow> rows;
        browser.ShowKeys(tableBase, CString::FromUtf8(args.table), rows);
        if (!browser.m_bDefinitionRead) {
            err << prefix << "cannot read the table definition " << base << ".frm\n";
            return kDumpNoTable;
        }
        std::string text;
        for (std::size_t i = 0; i < kKeyListColumns; ++i) {
            if (i) text.push_back('\t');
            AppendEscapedCell(text, CString(kKeyListHeadings[i]).View());
        }
        text.push_back('\n');
        for (const KeyListRow& row : rows) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i) text.push_back('\t');
                AppendEscapedCell(text, row[i].View());
            }
            text.push_back('\n');
        }
        out << text;
        return kDumpOk;
    }

    if (!reader.Open(tableBase, CString::FromUtf8(args.database + "/" + args.table))) {
        printLosses();
        return kDumpNoTable;
    }
    if (!reader.RowSourceOpened()) {
        printLosses();
        return kDumpNoTable;
    }
    std::string text;
    for (std::size_t i = 0; i < engine.m_columns.size(); ++i) {
        if (i) text.push_back('\t');
        AppendEscapedCell(text, engine.m_columns[i].m_strName.View());
    }
    text.push_back('\n');
    out << text;
    printLosses();

    std::uint64_t rowsRead = 0;
    PageBookmark page = reader.FirstPage();
    for (;;) {
        TablePageResult result;
        reader.ReadPage(page, result);
        const std::size_t used = WritePage(text, engine.m_rows);
        out.write(text.data(), static_cast<std::streamsize>(used));
        rowsRead += engine.m_rows.size();
        printLosses();
        if (result.end) break;
        page = result.next;
    }
    out.flush();
    if (!lost) return kDumpOk;
    return rowsRead == 0 ? kDumpNoTable : kDumpLosses;
}
