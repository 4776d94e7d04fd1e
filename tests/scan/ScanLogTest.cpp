// The scan log file: its name, its UTF-16LE lines, and a second scan within the same second.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "app/ScanLog.h"
#include "tests/scan/ScanTestSupport.h"

namespace {

std::string Utf16(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::tm Stamp(int day, int month, int year, int hour, int minute, int second) {
    std::tm t{};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(ScanLog, FileNameWithoutLeadingZeros) {
    EXPECT_EQ(ScanLogFileName(Stamp(8, 12, 2026, 7, 5, 3)).ToUtf8(), "DralvekMySQLDBRec_log_8-12-2026-7-5-3.txt");
    EXPECT_EQ(ScanLogFileName(Stamp(31, 1, 2027, 23, 59, 0)).ToUtf8(), "DralvekMySQLDBRec_log_31-1-2027-23-59-0.txt");
}

TEST(ScanLog, LineBytes) {
    EXPECT_EQ(ScanLogLineBytes(u"Processing ibdata1 File"), Utf16(u"Processing ibdata1 File\r\n"));
    // A text that already ends in its line end gets no second one.
    EXPECT_EQ(ScanLogLineBytes(kLogScanCompleted), Utf16(u"Scanning completed for selected database file(s).\r\n"));
    EXPECT_EQ(ScanLogLineBytes(u"ü€ 𝄞"), Utf16(u"ü€ 𝄞\r\n"));
    EXPECT_EQ(ScanLogLineBytes(u""), Utf16(u"\r\n"));
}

TEST(ScanLog, NewFileThenSecondScanInTheSameSecond) {
    ScratchDir dir;
    const std::tm when = Stamp(8, 12, 2026, 7, 5, 3);
    const CString folder = CString::FromUtf8(dir.path().string() + "/");
    const std::u16string stars(80, u'*');
    const std::string header1 = Utf16(u"\r\n" + stars + u"\r\n/data/ File is selected for recovery....\r\n");
    {
        CScanLog log;
        CString error;
        ASSERT_TRUE(log.Open(folder, when, u"/data/", error)) << error.ToUtf8();
        EXPECT_EQ(log.Path().ToUtf8(), dir.path().string() + "/DralvekMySQLDBRec_log_8-12-2026-7-5-3.txt");
        EXPECT_TRUE(log.WriteLine(CString(kLogDataFolderPrefix) + u"/data/"));
    }
    {
        // The folder given without its trailing separator reaches the same file.
        CScanLog log;
        CString error;
        ASSERT_TRUE(log.Open(CString::FromUtf8(dir.path().string()), when, u"/other/", error));
        EXPECT_TRUE(log.WriteLine(kLogScanCompleted));
    }
    const std::string expected = "\xFF\xFE" + header1 + Utf16(u"MySql database File Path:\t/data/\r\n") +
                                 Utf16(u"\r\n" + stars + u"\r\n/other/ File is selected for recovery....\r\n") +
                                 Utf16(u"Scanning completed for selected database file(s).\r\n");
    EXPECT_EQ(ReadBytes(dir.path() / "DralvekMySQLDBRec_log_8-12-2026-7-5-3.txt"), expected);
}

TEST(ScanLog, FolderThatCannotTakeTheFileIsReported) {
    ScratchDir dir;
    CScanLog log;
    CString error;
    EXPECT_FALSE(log.Open(CString::FromUtf8((dir.path() / "missing").string()), Stamp(1, 1, 2026, 0, 0, 0), u"/d/",
                          error));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_FALSE(log.WriteLine(u"x"));
}

}  // namespace
