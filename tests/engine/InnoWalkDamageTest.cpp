// Real tablespaces with bytes overwritten at random, as a failing disk leaves them: the
// descent, the leaf walks and the large-object chains must end, and (under the
// sanitizers) never read outside a page.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(DRALVEK_FIXTURES) / "corpus";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Reads every page of rows the way Next Records does, as long as the rows fit in what a
// file of that size can hold (a leaf chain damaged into a cycle would go on for ever).
std::size_t ReadAllRows(CTableEngine& e) {
    std::size_t rows = 0;
    e.m_bookmarks.clear();
    const std::uint32_t leaf = e.DescendToLeafIbd(3);
    if (leaf == 0) return 0;
    e.m_rows.clear();
    e.m_bookmarks.push_back({leaf, 0});
    e.m_bReadingIbd = 1;
    e.ReadLeafRowsIbd(leaf, 0);
    rows += e.m_rows.size();
    const std::uint64_t bound = e.m_nIbdPages * (INNO_MAX_RECS_PER_PAGE + 1);
    while (e.m_bBatchFull && rows < bound) {
        const PageBookmark b = e.m_bookmarks.back();
        e.m_rows.clear();
        e.ReadLeafRowsIbd(static_cast<std::uint32_t>(b.m_nPage), static_cast<std::uint16_t>(b.m_nOffset));
        rows += e.m_rows.size();
    }
    e.m_bReadingIbd = 0;
    return rows;
}

TEST(InnoWalkDamage, OverwrittenBytesCostRowsNotTheProcess) {
    const char* tables[][2] = {
        {"innodb_features", "t_many_rows"},     // two levels, many leaves
        {"innodb_features", "t_deep"},          // three levels, long keys
        {"innodb_features", "t_blob_compact"},  // off-page chains
        {"innodb_features", "t_many_nulls"},    // two-byte null bitmaps
        {"innodb_features", "t_long_varchar"},  // two-byte lengths
    };
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not unpacked";
    CDralvekOstruneApp app;
    const fs::path work = fs::temp_directory_path() / ("innowalk-damage-" + std::to_string(::getpid()));
    fs::create_directories(work / "blobdata");
    app.m_strSaveFolder = CString::FromUtf8(work.string());
    app.m_bSaveAsScript = 1;
    std::mt19937 random(20240305);
    for (const auto& t : tables) {
        const fs::path frm = kCorpus / t[0] / (std::string(t[1]) + ".frm");
        const std::string original = ReadBytes(kCorpus / t[0] / (std::string(t[1]) + ".ibd"));
        ASSERT_GE(original.size(), 4u * INNO_PAGE_SIZE) << t[1];
        for (int round = 0; round < 40; ++round) {
            std::string damaged = original;
            // Bytes of the index pages (from page 3 on); every tenth round whole runs of them.
            const std::size_t first = 3 * INNO_PAGE_SIZE;
            std::uniform_int_distribution<std::size_t> where(first, damaged.size() - 1);
            const int hits = 1 + round % 7 * 20;
            for (int i = 0; i < hits; ++i) {
                const std::size_t at = where(random);
                const std::size_t run = round % 10 == 9 ? 64 : 1;
                for (std::size_t k = at; k < at + run && k < damaged.size(); ++k)
                    damaged[k] = static_cast<char>(random());
            }
            const fs::path ibd = work / "t.ibd";
            std::ofstream(ibd, std::ios::binary | std::ios::trunc).write(damaged.data(),
                                                                          static_cast<std::streamsize>(damaged.size()));
            AppEngine e;
            e.ReadFrm(CString::FromUtf8(frm.string()));
            e.BuildColumnsFromFrm();
            ASSERT_TRUE(e.m_fileIbd.Open(CString::FromUtf8(ibd.string()), CFile::modeRead));
            e.m_nIbdPages = e.m_fileIbd.GetLength() / INNO_PAGE_SIZE;
            const std::size_t rows = ReadAllRows(e);
            EXPECT_LE(rows, e.m_nIbdPages * (INNO_MAX_RECS_PER_PAGE + 1) + kRowsPerPage) << t[1] << " " << round;
            for (const auto& entry : fs::directory_iterator(work / "blobdata")) fs::remove(entry.path());
        }
    }
    fs::remove_all(work);
}

}  // namespace
