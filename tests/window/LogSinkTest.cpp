#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <QFile>

#include "app/LogFile.h"
#include "WindowTestSupport.h"

namespace {

std::u16string FileText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::u16string text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return text;
}

}  // namespace

TEST(LogLine, BytesAreUtf16LeWithCrLf) {
    const std::vector<unsigned char> bytes = LogLineBytes(u"a\u00e9\u4e2d");
    EXPECT_EQ(bytes, (std::vector<unsigned char>{'a', 0, 0xe9, 0, 0x2d, 0x4e, 0x0d, 0, 0x0a, 0}));
    EXPECT_EQ(LogLineBytes(u""), (std::vector<unsigned char>{0x0d, 0, 0x0a, 0}));
}

// The worker and the GUI thread log at once: every line arrives whole, in the pane and in
// the file in the same order, and the row counter counts them all.
TEST(LogSink, BothThreadsWriteWholeLines) {
    FrameFixture f;
    const QString path = f.folder.filePath(QStringLiteral("scan.txt"));
    ASSERT_TRUE(f.app.m_fileLog.Open(FromQString(path), CFile::modeCreate | CFile::modeWrite));
    constexpr int kLines = 300;
    ASSERT_TRUE(f.frame->StartWorker([&] {
        for (int i = 0; i < kLines; ++i) {
            CString line;
            line.Format(u"worker line %d with some text to make it longer than a few units", i);
            f.frame->AddLogLine(line);
        }
    }));
    int gui = 0;
    PumpUntil([&] {
        if (gui < kLines) {
            CString line;
            line.Format(u"window line %d", gui++);
            f.frame->AddLogLine(line);
        }
        return gui == kLines && !f.frame->WorkerRunning();
    });
    ASSERT_FALSE(f.frame->WorkerRunning());
    f.app.m_fileLog.Close();

    const CLogListModel& rows = f.frame->m_pLogList->m_model;
    ASSERT_EQ(rows.rowCount(), 1 + 2 * kLines);
    EXPECT_EQ(f.app.m_nLogLineCount, 1 + 2 * kLines);
    std::u16string expected;
    int workerSeen = 0, windowSeen = 0;
    for (int r = 1; r < rows.rowCount(); ++r) {
        const QString row = rows.Row(r);
        expected += reinterpret_cast<const char16_t*>(row.utf16());
        expected += u"\r\n";
        // Each side's lines keep their own order.
        if (row.startsWith(QStringLiteral("worker")))
            EXPECT_TRUE(row.startsWith(QStringLiteral("worker line %1 ").arg(workerSeen++)));
        else
            EXPECT_EQ(row, QStringLiteral("window line %1").arg(windowSeen++));
    }
    EXPECT_EQ(workerSeen, kLines);
    EXPECT_EQ(windowSeen, kLines);
    EXPECT_EQ(FileText(path), expected);
}

// A log file that cannot take more (a full disk) keeps the program going and is reported
// once in the pane. Log files are regular files, so a file-size limit of 0 stands in for
// the full disk: every write then fails with EFBIG.
TEST(LogSink, FailedWriteIsSaidOnce) {
    FrameFixture f;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("dralvek-full-log-" + std::to_string(::getpid()) + ".txt")).string();
    ASSERT_TRUE(f.app.m_fileLog.Open(CString::FromUtf8(path), CFile::modeCreate | CFile::modeWrite));
    f.app.m_strLogFilePath = CString::FromUtf8(path);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    f.frame->AddLogLine(u"first");
    f.frame->AddLogLine(u"second");
    f.frame->OnAddLogLine("third");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    const CLogListModel& rows = f.frame->m_pLogList->m_model;
    ASSERT_EQ(rows.rowCount(), 5);
    EXPECT_EQ(rows.Row(1), QStringLiteral("first"));
    EXPECT_TRUE(rows.Row(2).startsWith(QStringLiteral("The scan log file could not be written")));
    EXPECT_TRUE(rows.Row(2).contains(QString::fromStdString(path)));
    EXPECT_EQ(rows.Row(3), QStringLiteral("second"));
    EXPECT_EQ(rows.Row(4), QStringLiteral("third"));
    EXPECT_EQ(f.app.m_nLogLineCount, 5);
    EXPECT_TRUE(f.prompts.asked.empty());
    f.app.m_fileLog.Close();
    std::filesystem::remove(path);
}
