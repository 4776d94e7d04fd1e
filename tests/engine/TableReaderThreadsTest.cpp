#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/Collation.h"
#include "engine/TableReader.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(DRALVEK_FIXTURES) / "corpus";

struct Job {
    std::string database;
    std::string table;
    ValueMode mode;
};

// Every row of the table as "cell|cell|..." with SQL NULL marked, and the losses, read
// by a reader of its own (save mode writes off-page values into saveFolder).
std::vector<std::string> ReadAll(const CollationMap& collations, const Job& job, const fs::path& saveFolder) {
    ReadContext context;
    context.collations = &collations;
    context.mode = job.mode;
    context.blobFolder = CString::FromUtf8(saveFolder.string() + "/");
    CTableEngine engine;
    CTableReader reader(engine, std::move(context));
    engine.LoadDictionary(CString::FromUtf8((kCorpus / "ibdata1").string()));
    std::vector<std::string> rows;
    const CString base = CString::FromUtf8((kCorpus / job.database / job.table).string());
    if (!reader.Open(base, CString::FromUtf8(job.database + "/" + job.table))) return rows;
    PageBookmark page = reader.FirstPage();
    for (;;) {
        TablePageResult result;
        reader.ReadPage(page, result);
        for (const TableRow& row : reader.Rows()) {
            std::string line;
            for (const ColumnInfo& cell : row) {
                // The saved file names differ only by folder; their contents are compared
                // through the value (the folder is cut off).
                std::string text = cell.m_bNull ? std::string("\\N") : cell.m_strValue.ToUtf8();
                const std::string folder = saveFolder.string() + "/";
                if (text.rfind(folder, 0) == 0) text = text.substr(folder.size());
                line += text + "|";
            }
            rows.push_back(line);
        }
        for (const CString& loss : reader.TakeLosses()) rows.push_back("loss: " + loss.ToUtf8());
        if (result.end) break;
        page = result.next;
    }
    return rows;
}

// Two readers on two threads, one in display mode and one in save mode, on different
// tables at once, give what each gives alone: they share nothing but the collation table.
TEST(TableReaderThreads, TwoReadersAtOnceGiveWhatEachGivesAlone) {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not unpacked";
    CollationMap collations;
    ASSERT_TRUE(LoadProgramCollationFile(collations));
    const fs::path work = fs::temp_directory_path() / ("reader-threads-" + std::to_string(::getpid()));
    const Job pairs[][2] = {
        {{"innodb_features", "t_blob_dynamic", ValueMode::Save}, {"myisam_formats", "t_many_rows", ValueMode::Display}},
        {{"innodb_features", "t_many_rows", ValueMode::Display}, {"innodb_features", "t_blob_compact", ValueMode::Save}},
        {{"innodb_system", "t_sys_many", ValueMode::Display}, {"myisam_types", "t_geometry", ValueMode::Save}},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0].table + " with " + pair[1].table);
        std::vector<std::string> alone[2], together[2];
        for (int i = 0; i < 2; ++i) {
            const fs::path folder = work / ("alone" + std::to_string(i));
            fs::create_directories(folder / "blobdata");
            alone[i] = ReadAll(collations, pair[i], folder);
            ASSERT_FALSE(alone[i].empty()) << pair[i].table;
        }
        for (int round = 0; round < 3; ++round) {
            std::vector<std::thread> threads;
            for (int i = 0; i < 2; ++i) {
                const fs::path folder = work / ("together" + std::to_string(round) + std::to_string(i));
                fs::create_directories(folder / "blobdata");
                threads.emplace_back([&, i, folder] { together[i] = ReadAll(collations, pair[i], folder); });
            }
            for (std::thread& t : threads) t.join();
            for (int i = 0; i < 2; ++i) EXPECT_EQ(together[i], alone[i]) << pair[i].table << " round " << round;
        }
    }
    fs::remove_all(work);
}

}  // namespace
