#include <gtest/gtest.h>

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
