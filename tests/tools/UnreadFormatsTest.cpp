// Formats the reader does not read say so, with the reason, and never print an empty
// table as a clean read. The tables come from a real server (unread.tar.xz, made by
// tools/fixtures/make-unread-fixture.sh); MySQL 8.0 tablespaces, which that server
// cannot write, are a real .ibd given the marks of one by a documented byte edit.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

const fs::path kUnread = fs::path(DRALVEK_FIXTURES) / "unread";
constexpr std::uint64_t kPage = 16384;

struct DumpRun {
    int exit = -1;
    std::string out, err;
};

DumpRun Dump(const fs::path& dataDir, const std::string& database, const std::string& table) {
    TableDumpArgs args;
    args.dataDir = dataDir.string();
    args.database = database;
    args.table = table;
    std::ostringstream o, e;
    DumpRun run;
    run.exit = RunTableDump(args, o, e);
    run.out = o.str();
    run.err = e.str();
    return run;
}

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

void Overwrite(const fs::path& file, std::uint64_t at, const std::string& bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A scratch data folder holding copies of some of u's files, edited by the case.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("unread-" + std::to_string(::getpid()));
    Scratch() {
        fs::remove_all(dir);
        fs::create_directories(dir / "u");
    }
    ~Scratch() { fs::remove_all(dir); }
    void Copy(const std::string& from, const std::string& to) { fs::copy_file(kUnread / "u" / from, dir / "u" / to); }
    fs::path File(const std::string& name) const { return dir / "u" / name; }
};

// Each unread table: exit 1 (nothing read), no data line, and a "table-dump: u.TABLE:"
// line with the reason.
TEST(UnreadFormats, EachSaysWhyItIsNotRead) {
    if (!fs::exists(kUnread)) GTEST_SKIP() << "unread fixture not unpacked";
    struct Case {
        const char* what;
        const char* table;
        std::function<void(Scratch&)> prepare;  // copies (and edits) the table's files
        std::vector<const char*> said;
    };
    auto copyAll = [](const char* table, std::vector<const char*> extensions) {
        return [=](Scratch& s) {
            for (const char* e : extensions) s.Copy(std::string(table) + e, std::string(table) + e);
        };
    };
    const Case cases[] = {
        {"ROW_FORMAT=COMPRESSED", "t_zip", copyAll("t_zip", {".frm", ".ibd"}),
         {"t_zip.ibd: ROW_FORMAT=COMPRESSED pages (8192 bytes each, page size 16384) are not read"}},
        {"page-compressed", "t_pagecomp", copyAll("t_pagecomp", {".frm", ".ibd"}),
         {"t_pagecomp.ibd: page-compressed tablespace (PAGE_COMPRESSED=1)"}},
        {"packed MyISAM", "t_packed", copyAll("t_packed", {".frm", ".MYI", ".MYD"}),
         {"t_packed.MYD: compressed MyISAM rows (packed by myisampack) are not read"}},
        // Without the index file only the data file's own magic tells.
        {"packed MyISAM without its .MYI", "t_packed", copyAll("t_packed", {".frm", ".MYD"}),
         {"t_packed.MYD: compressed MyISAM rows (packed by myisampack) are not read"}},
        // MySQL 8.0 writes no .frm and sets bit 14 (SDI) of the flags at page 0 offset 54:
        // the edit sets it on the real 16 KB .ibd of t_plain (flags 0x21 -> 0x4021).
        {"MySQL 8.0 flags", "t8",
         [](Scratch& s) {
             s.Copy("t_plain.ibd", "t8.ibd");
             Overwrite(s.File("t8.ibd"), 54, std::string("\x00\x00\x40\x21", 4));
         },
         {"t8.frm: No such file or directory", "t8.ibd: a MySQL 8.0 or later tablespace, its table definition is inside the .ibd"}},
        // ... and keeps its SDI index at page 3, of page type 17853 (0x45BD) at offset 24.
        {"MySQL 8.0 SDI page", "t8",
         [](Scratch& s) {
             s.Copy("t_plain.ibd", "t8.ibd");
             Overwrite(s.File("t8.ibd"), 3 * kPage + 24, "\x45\xBD");
         },
         {"t8.ibd: a MySQL 8.0 or later tablespace"}},
        // Any .ibd without its .frm may be one: said as such.
        {"an .ibd without .frm", "t8", [](Scratch& s) { s.Copy("t_plain.ibd", "t8.ibd"); },
         {"t8.ibd is there without its .frm: MySQL 8.0 and later keep the definition inside the .ibd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        c.prepare(s);
        const DumpRun run = Dump(s.dir, "u", c.table);
        EXPECT_EQ(run.exit, kDumpNoTable) << run.err;
        EXPECT_LE(Lines(run.out), 1u) << "no data lines";
        for (const char* text : c.said) EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
        std::istringstream lines(run.err);
        for (std::string line; std::getline(lines, line);)
            EXPECT_EQ(line.rfind("table-dump: u." + std::string(c.table) + ": ", 0), 0u) << line;
    }
}

// The plain table beside them reads cleanly: the unread ones are told apart by their
// own files, not by the folder.
TEST(UnreadFormats, PlainTableBesideThemReads) {
    if (!fs::exists(kUnread)) GTEST_SKIP() << "unread fixture not unpacked";
    const DumpRun run = Dump(kUnread, "u", "t_plain");
    EXPECT_EQ(run.exit, kDumpOk) << run.err;
    EXPECT_EQ(run.out, "id\tv\n1\tplain\n");
    EXPECT_EQ(run.err, "");
}

// A page 0 whose flags name no page size (zeroed here, offset 54) still gives its rows,
// read at the size where the pages carry their own numbers; the guess is said and the
// read counts as one with losses (exit 3). Real 4 KB files of the pagesize archive.
TEST(UnreadFormats, GuessedPageSizeIsSaid) {
    const fs::path p4k = fs::path(DRALVEK_FIXTURES) / "pagesize" / "p4k";
    if (!fs::exists(p4k)) GTEST_SKIP() << "pagesize fixture not unpacked";
    struct Case {
        const char* table;
        const char* zeroed;  // file whose flags are zeroed
        const char* said;
        std::size_t rows;
    };
    const Case cases[] = {
        {"insys", "ibdata1", "ibdata1: page 0's flags (0x0) do not name its page size; read as 4096-byte pages", 1},
        {"tr", "v/tr.ibd", "tr.ibd: page 0's flags (0x0) name page size 16384; read as 4096-byte pages", 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zeroed);
        const fs::path dir = fs::temp_directory_path() / ("guessed-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "v");
        fs::copy_file(p4k / "ibdata1", dir / "ibdata1");
        for (const char* f : {"v/db.opt", "v/insys.frm", "v/tr.frm", "v/tr.ibd"})
            if (fs::exists(p4k / f)) fs::copy_file(p4k / f, dir / f);
        Overwrite(dir / c.zeroed, 54, std::string(4, '\0'));
        const DumpRun run = Dump(dir, "v", c.table);
        EXPECT_EQ(run.exit, kDumpLosses) << run.err;
        EXPECT_EQ(Lines(run.out), c.rows + 1);
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        fs::remove_all(dir);
    }
}

}  // namespace
