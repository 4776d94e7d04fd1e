#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(DRALVEK_FIXTURES) / "corpus";
constexpr std::uint64_t kPage = 16384;

std::size_t CountLines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

void Overwrite(const fs::path& file, std::uint64_t at, const std::string& bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A copy of one corpus table in a data folder of its own, damaged as a case says, read by
// table-dump.
struct DamagedCopy {
    fs::path dataDir;
    std::string table;
    int exit = -1;
    std::string out, err;

    DamagedCopy(const std::string& database, const std::string& name, const fs::path& archive = kCorpus)
        : table(name) {
        dataDir = fs::temp_directory_path() / ("dump-loss-" + std::to_string(::getpid()));
        fs::remove_all(dataDir);
        fs::create_directories(dataDir / "db");
        for (const auto& entry : fs::directory_iterator(archive / database))
            if (entry.path().stem() == name) fs::copy_file(entry.path(), dataDir / "db" / entry.path().filename());
    }
    ~DamagedCopy() { fs::remove_all(dataDir); }
    fs::path File(const std::string& extension) const { return dataDir / "db" / (table + extension); }

    void Dump(const std::string& collationFile = "") {
        TableDumpArgs args;
        args.dataDir = dataDir.string();
        args.database = "db";
        args.table = table;
        args.collationFile = collationFile;
        std::ostringstream o, e;
        exit = RunTableDump(args, o, e);
        out = o.str();
        err = e.str();
    }
};

// Every loss is a line "table-dump: db.TABLE: <what>" on stderr, with the exit code that
// tells a clean read (0), nothing read (1) and rows read with losses (3) apart.
TEST(TableDumpLosses, EachDamageIsReportedWithWhereAndWhy) {
    struct Case {
        const char* what;
        const char* database;  // "v" names the full_crc32 tablespaces of the pagesize archive
        const char* table;
        std::function<void(const DamagedCopy&)> damage;
        int exit;
        std::size_t rows;  // data lines printed (the heading line not counted)
        std::vector<const char*> said;
    };
    const Case cases[] = {
        {"undamaged", "innodb_features", "t_many_rows", [](const DamagedCopy&) {}, kDumpOk, 20000, {}},
        {"missing .ibd", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) { fs::remove(c.File(".ibd")); }, kDumpNoTable, 0,
         {"cannot open t_many_rows.ibd: No such file or directory"}},
        {"empty .ibd", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) { fs::resize_file(c.File(".ibd"), 0); }, kDumpNoTable, 0,
         {"t_many_rows.ibd: shorter than one page (0 bytes)"}},
        {"zeroed .ibd", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) {
             const auto size = fs::file_size(c.File(".ibd"));
             fs::resize_file(c.File(".ibd"), 0);
             fs::resize_file(c.File(".ibd"), size);
         },
         kDumpNoTable, 0, {"no leaf page of the clustered index found"}},
        {"FIFO in place of the .ibd", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) {
             fs::remove(c.File(".ibd"));
             ASSERT_EQ(::mkfifo(c.File(".ibd").c_str(), 0600), 0);
         },
         kDumpNoTable, 0, {"cannot open t_many_rows.ibd: not a regular file"}},
        {"one byte of a leaf page changed", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) { Overwrite(c.File(".ibd"), 12 * kPage + 9000, "\x55"); }, kDumpLosses, 20000,
         {"t_many_rows.ibd page 12: checksum mismatch"}},
        {"one byte of a full_crc32 leaf page changed", "v", "vpk",
         [](const DamagedCopy& c) { Overwrite(c.File(".ibd"), 4 * kPage + 5000, "\x55"); }, kDumpLosses, 3001,
         {"vpk.ibd page 4: checksum mismatch"}},
        {"ibdata1 of zeros beside the table", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) { std::ofstream(c.dataDir / "ibdata1") << std::string(4 * kPage, '\0'); },
         kDumpLosses, 20000, {"ibdata1: no data dictionary could be read from it"}},
        // A page size other than 16 KiB is read, and is no loss.
        {"4 KiB pages", "v", "t", [](const DamagedCopy&) {}, kDumpOk, 3, {}},
        {"leaf page overwritten with zeros", "innodb_features", "t_many_rows",
         [](const DamagedCopy& c) { Overwrite(c.File(".ibd"), 12 * kPage, std::string(kPage, '\0')); },
         kDumpLosses, 0, {"the leaf chain is cut short"}},
        {".MYD cut in half (fixed rows)", "myisam_formats", "t_fixed",
         [](const DamagedCopy& c) { fs::resize_file(c.File(".MYD"), fs::file_size(c.File(".MYD")) / 2); },
         kDumpLosses, 12,
         {"t_fixed.MYD: 750 bytes, the index header says 1500", "the index header counts 26 rows, 14 of them were not found"}},
        {".MYD cut in half (dynamic rows)", "myisam_formats", "t_dynamic",
         [](const DamagedCopy& c) { fs::resize_file(c.File(".MYD"), fs::file_size(c.File(".MYD")) / 2); },
         kDumpLosses, 13, {"t_dynamic.MYD: 850 bytes, the index header says 1700", "damaged record at offset 812 skipped"}},
        {"missing .MYD", "myisam_formats", "t_fixed", [](const DamagedCopy& c) { fs::remove(c.File(".MYD")); },
         kDumpNoTable, 0, {"cannot open t_fixed.MYD: No such file or directory"}},
        {"missing .frm", "myisam_formats", "t_fixed", [](const DamagedCopy& c) { fs::remove(c.File(".frm")); },
         kDumpNoTable, 0, {"t_fixed.frm: No such file or directory"}},
        {"REDUNDANT records", "innodb_features", "t_redundant", [](const DamagedCopy&) {}, kDumpOk, 3, {}},
        // The infimum's link (page offset 99 on a REDUNDANT page) sent past the page.
        {"REDUNDANT first link damaged", "innodb_features", "t_redundant",
         [](const DamagedCopy& c) { Overwrite(c.File(".ibd"), 3 * kPage + 99, "\x7F\xFF"); }, kDumpNoTable, 0,
         {"t_redundant.ibd page 3: the REDUNDANT record at offset 101 links outside the records"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path pagesize = fs::path(DRALVEK_FIXTURES) / "pagesize";
        const bool fullCrc32 = std::string(c.database) == "v";
        DamagedCopy copy(c.database, c.table,
                         !fullCrc32 ? kCorpus : pagesize / (std::string(c.table) == "t" ? "p4k" : "fcrc"));
        c.damage(copy);
        copy.Dump();
        EXPECT_EQ(copy.exit, c.exit) << copy.err;
        const std::size_t lines = CountLines(copy.out);
        if (c.rows == 0 && c.exit == kDumpNoTable) EXPECT_LE(lines, 1u);
        else if (std::string(c.what) == "leaf page overwritten with zeros") EXPECT_LT(lines, 20001u);
        else EXPECT_EQ(lines, c.rows + 1);
        for (const char* text : c.said) EXPECT_NE(copy.err.find(text), std::string::npos) << "expected: " << text;
        if (c.said.empty()) {
            EXPECT_EQ(copy.err, "");
        }
        std::istringstream errLines(copy.err);
        for (std::string line; std::getline(errLines, line);)
            EXPECT_EQ(line.rfind("table-dump: db." + std::string(c.table) + ": ", 0), 0u) << line;
    }
}

// A missing collation file costs no row: the common character sets (UTF-8, latin1, the
// wide ones) still read as with it. A collation file that knows nothing names every text
// column it leaves unknown.
TEST(TableDumpLosses, MissingCollationFileIsReportedAndCostsNoRow) {
    for (const char* database : {"innodb_types", "myisam_types"}) {
        const std::string table = std::string(database) == "innodb_types" ? "t_charset_dynamic" : "t_charset";
        SCOPED_TRACE(table);
        DamagedCopy copy(database, table);
        copy.Dump();
        ASSERT_EQ(copy.exit, kDumpOk) << copy.err;
        const std::string withFile = copy.out;
        copy.Dump((copy.dataDir / "no such collation file").string());
        EXPECT_EQ(copy.exit, kDumpOk) << copy.err;
        EXPECT_EQ(copy.out, withFile);
        EXPECT_NE(copy.err.find("cannot open the collation file"), std::string::npos) << copy.err;

        const fs::path empty = copy.dataDir / "empty collation file";
        std::ofstream(empty).close();
        copy.Dump(empty.string());
        EXPECT_EQ(copy.exit, kDumpLosses) << copy.err;
        EXPECT_NE(copy.err.find("collation 35 is not in the collation table"), std::string::npos) << copy.err;
    }
}

// --save never writes into the data folder and never overwrites a save before it.
TEST(TableDumpLosses, SaveFolderGuards) {
    DamagedCopy copy("innodb_features", "t_blob_dynamic");
    TableDumpArgs args;
    args.dataDir = copy.dataDir.string();
    args.database = "db";
    args.table = "t_blob_dynamic";
    for (const fs::path& inside : {copy.dataDir, copy.dataDir / "db", copy.dataDir / "db" / ".." / "saved"}) {
        args.saveFolder = inside.string();
        std::ostringstream out, err;
        EXPECT_EQ(RunTableDump(args, out, err), kDumpUsage) << inside;
        EXPECT_NE(err.str().find("inside the data folder"), std::string::npos);
        EXPECT_FALSE(fs::exists(inside / "blobdata")) << inside;
    }

    const fs::path save = copy.dataDir.string() + "-save";
    fs::remove_all(save);
    args.saveFolder = save.string();
    std::ostringstream first, err1;
    ASSERT_EQ(RunTableDump(args, first, err1), kDumpOk) << err1.str();
    std::vector<std::string> firstFiles;
    for (const auto& e : fs::directory_iterator(save / "blobdata")) firstFiles.push_back(e.path().filename().string());
    ASSERT_FALSE(firstFiles.empty());
    std::ofstream(save / "blobdata" / "0", std::ios::app) << "";  // the first save's object 0 stays as it is
    const auto firstSize = fs::file_size(save / "blobdata" / "0");
    std::ostringstream second, err2;
    ASSERT_EQ(RunTableDump(args, second, err2), kDumpOk) << err2.str();
    EXPECT_EQ(fs::file_size(save / "blobdata" / "0"), firstSize);
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(save / "blobdata")) (void)e, ++files;
    EXPECT_EQ(files, 2 * firstFiles.size()) << "the second save numbers on";
    EXPECT_EQ(second.str().find((save / "blobdata" / "0").string() + "\t"), std::string::npos);
    fs::remove_all(save);
}

}  // namespace
