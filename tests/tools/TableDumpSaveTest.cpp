#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "app/DralvekOstruneApp.h"
#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

// A save folder that does not exist yet still receives every off-page value.
TEST(TableDumpSave, CreatesTheBlobFolderOfAFreshSaveFolder) {
    CDralvekOstruneApp app;
    const fs::path save = fs::temp_directory_path() / ("dump-save-" + std::to_string(::getpid())) / "new";
    fs::remove_all(save.parent_path());
    TableDumpArgs args;
    args.dataDir = (fs::path(DRALVEK_FIXTURES) / "corpus").string();
    args.database = "innodb_features";
    args.table = "t_blob_dynamic";
    args.saveFolder = save.string();
    std::ostringstream out, err;
    ASSERT_EQ(RunTableDump(args, out, err), kDumpOk) << err.str();
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(save / "blobdata")) {
        EXPECT_GT(fs::file_size(entry.path()), 768u);
        EXPECT_NE(out.str().find(entry.path().string()), std::string::npos) << "the cell names its file";
        ++files;
    }
    EXPECT_GT(files, 0u);
    fs::remove_all(save.parent_path());
}

TEST(TableDumpSave, UncreatableSaveFolderIsRefused) {
    CDralvekOstruneApp app;
    TableDumpArgs args;
    args.dataDir = (fs::path(DRALVEK_FIXTURES) / "corpus").string();
    args.database = "innodb_features";
    args.table = "t_blob_dynamic";
    args.saveFolder = "/proc/self/no-such-place";
    std::ostringstream out, err;
    EXPECT_EQ(RunTableDump(args, out, err), kDumpNoTable);
    EXPECT_TRUE(out.str().empty());
    EXPECT_NE(err.str().find("blobdata"), std::string::npos);
}

}  // namespace

namespace {

std::string Dump(const std::string& dataDir, const std::string& db, const std::string& table) {
    TableDumpArgs args;
    args.dataDir = dataDir;
    args.database = db;
    args.table = table;
    std::ostringstream out, err;
    EXPECT_EQ(RunTableDump(args, out, err), kDumpOk) << err.str();
    return out.str();
}

// A table the dictionary does not list (or lists with another tablespace) still has its
// rows in its .ibd: they are read through the .frm from page 3.
TEST(TableDumpDictionary, TableUnknownToTheDictionaryIsReadFromItsDefinition) {
    CDralvekOstruneApp app;
    const fs::path corpus = fs::path(DRALVEK_FIXTURES) / "corpus";
    const fs::path dir = fs::temp_directory_path() / ("dump-lost-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "lost");
    fs::copy_file(corpus / "ibdata1", dir / "ibdata1");
    // t_pk_order under a name the dictionary lacks; t_nokey's files under t_deleted's name,
    // whose dictionary entry belongs to another tablespace.
    for (const char* ext : {".frm", ".ibd"}) {
        fs::copy_file(corpus / "innodb_features" / (std::string("t_pk_order") + ext), dir / "lost" / (std::string("t_pk_order") + ext));
        fs::create_directories(dir / "innodb_features");
        fs::copy_file(corpus / "innodb_features" / (std::string("t_nokey") + ext), dir / "innodb_features" / (std::string("t_deleted") + ext));
    }
    const std::string expectedPk = Dump(corpus.string(), "innodb_features", "t_pk_order");
    const std::string expectedNokey = Dump(corpus.string(), "innodb_features", "t_nokey");
    ASSERT_GT(std::count(expectedPk.begin(), expectedPk.end(), '\n'), 1);
    EXPECT_EQ(Dump(dir.string(), "lost", "t_pk_order"), expectedPk);
    EXPECT_EQ(Dump(dir.string(), "innodb_features", "t_deleted"), expectedNokey);
    fs::remove_all(dir);
}

}  // namespace
