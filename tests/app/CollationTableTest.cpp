#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "app/DralvekOstruneApp.h"

namespace fs = std::filesystem;

namespace {

std::string Le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Record(std::uint32_t id, std::uint32_t minlen, std::uint32_t maxlen, const std::string& n1,
                   const std::string& n2) {
    return Le32(id) + Le32(minlen) + Le32(maxlen) + Le32(static_cast<std::uint32_t>(n1.size())) + n1 +
           Le32(static_cast<std::uint32_t>(n2.size())) + n2;
}

// Runs each case in a folder of its own, which is also the working folder.
class CollationTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        old = fs::current_path();
        dir = fs::temp_directory_path() / ("collation-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(old);
        fs::remove_all(dir);
    }
    void WriteFile(const std::string& bytes) {
        std::ofstream(dir / "collation (2)", std::ios::binary) << bytes;
    }
    CollationMap Load() {
        CollationMap map;
        EXPECT_TRUE(LoadCollationFile(u"collation (2)", map));
        return map;
    }
    fs::path old, dir;
};

TEST_F(CollationTableTest, ReadsRecordsLaterIdsWinAndUnsignedOrder) {
    WriteFile(Record(33, 1, 3, "utf8mb3_general_ci", "utf8mb3") + Record(0x80000001u, 1, 1, "high", "x") +
              Record(1, 1, 2, "big5_chinese_ci", "big5") + Record(33, 1, 4, "later", "wins"));
    CollationMap map = Load();
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map.at(33).mbmaxlen, 4u);
    EXPECT_EQ(map.at(33).name1, CString(u"later"));
    EXPECT_EQ(map.at(33).name2, CString(u"wins"));
    EXPECT_EQ(map.begin()->first, 1u);
    EXPECT_EQ(map.rbegin()->first, 0x80000001u) << "ids sort as unsigned numbers";
}

TEST_F(CollationTableTest, EmptyTextsZeroBytesAndAnsiNames) {
    WriteFile(Record(5, 1, 1, "", "") + Record(6, 2, 2, std::string("ab\0cd", 5), "\xE9t\xE9") +
              Record(7, 4, 4, "z", "z"));
    CollationMap map = Load();
    ASSERT_EQ(map.size(), 3u);
    EXPECT_TRUE(map.at(5).name1.IsEmpty());
    EXPECT_TRUE(map.at(5).name2.IsEmpty());
    EXPECT_EQ(map.at(6).name1, CString(u"ab")) << "a zero byte ends the text";
    EXPECT_EQ(map.at(6).name2, CString(u"\u00e9t\u00e9"));
    EXPECT_EQ(map.at(7).mbminlen, 4u) << "the record after the zero byte is still found";
}

TEST_F(CollationTableTest, CutShortRecordEndsLoadingKeepingEarlierOnes) {
    const std::string good = Record(8, 1, 1, "latin1_swedish_ci", "latin1");
    const std::string next = Record(9, 1, 3, "utf8mb3_bin", "utf8mb3");
    // Cut inside the fixed fields, inside the first text, inside the second length, and
    // a first length that claims far more than the file holds.
    const std::string damaged[] = {
        good + next.substr(0, 10),
        good + next.substr(0, 20),
        good + next.substr(0, 16 + 11 + 2),
        good + next.substr(0, next.size() - 1),
        good + Le32(9) + Le32(1) + Le32(1) + Le32(0xFFFFFFF0u) + "abc",
    };
    for (const auto& bytes : damaged) {
        WriteFile(bytes);
        CollationMap map = Load();
        ASSERT_EQ(map.size(), 1u) << bytes.size();
        EXPECT_EQ(map.at(8).name2, CString(u"latin1"));
    }
}

TEST_F(CollationTableTest, MissingOrEmptyFileLeavesTableEmpty) {
    CollationMap map;
    EXPECT_FALSE(LoadCollationFile(u"collation (2)", map));
    WriteFile("");
    EXPECT_TRUE(Load().empty());
}

TEST_F(CollationTableTest, AppStartsWithInitialStateAndFindsTableBesideProgram) {
    // The working folder has no collation file; the one beside the executable is used.
    CDralvekOstruneApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(GetDralvekApp(), &app);
    EXPECT_EQ(app.m_bBusy, 0);
    EXPECT_EQ(app.m_bSaveAsScript, 0);
    EXPECT_EQ(app.m_bSaveToServer, 0);
    EXPECT_EQ(app.m_bMySql56Format, 0);
    EXPECT_EQ(app.m_nBlobFileCounter, 0u);
    EXPECT_EQ(app.m_nLogLineCount, 0);
    EXPECT_FALSE(app.m_fileLog.IsOpen());
    EXPECT_TRUE(app.m_strDatabaseFolder.IsEmpty());
    // The server's own list: utf8mb4_general_ci is 45, binary 63, ucs2 has two bytes.
    ASSERT_GT(app.m_mapCollation.size(), 200u);
    EXPECT_EQ(app.m_mapCollation.at(45).mbmaxlen, 4u);
    EXPECT_EQ(app.m_mapCollation.at(45).name2, CString(u"utf8mb4"));
    EXPECT_EQ(app.m_mapCollation.at(63).name1, CString(u"binary"));
    EXPECT_EQ(app.m_mapCollation.at(8).name2, CString(u"latin1"));
    EXPECT_EQ(app.m_mapCollation.at(35).mbminlen, 2u);
    EXPECT_EQ(app.m_mapCollation.at(33).mbmaxlen, 3u);
}

TEST_F(CollationTableTest, WorkingFolderFileComesFirst) {
    WriteFile(Record(45, 9, 9, "local", "local"));
    CDralvekOstruneApp app;
    ASSERT_EQ(app.m_mapCollation.size(), 1u);
    EXPECT_EQ(app.m_mapCollation.at(45).mbmaxlen, 9u);
}

}  // namespace
