#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/core/CFile.h"

namespace fs = std::filesystem;

namespace {

class CFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("cfile-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    CString Path(const char* name) const { return CString::FromUtf8((dir / name).string()); }
    void WriteBytes(const char* name, const std::string& bytes) const {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    fs::path dir;
};

TEST_F(CFileTest, PositionsPastFourGigabytesOnASparseFile) {
    const std::uint64_t far = (5ull << 30) + 12345;  // 5 GiB in
    {
        CFile f;
        ASSERT_TRUE(f.Open(Path("sparse"), CFile::modeCreate | CFile::modeReadWrite));
        EXPECT_EQ(f.Seek(static_cast<std::int64_t>(far), CFile::begin), far);
        f.Write("tail", 4);
        EXPECT_EQ(f.GetPosition(), far + 4);
        EXPECT_EQ(f.GetLength(), far + 4);
    }
    CFile f;
    ASSERT_TRUE(f.Open(Path("sparse"), CFile::modeRead));
    EXPECT_EQ(f.GetLength(), far + 4);
    f.Seek(static_cast<std::int64_t>(far), CFile::begin);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 4u);
    EXPECT_EQ(std::string(buf, 4), "tail");
    EXPECT_EQ(f.Seek(-4, CFile::end), far);
    f.Seek(16384ll * 300000, CFile::begin);  // page 300000: a hole reads as zeros
    char zero[4] = {1, 1, 1, 1};
    EXPECT_EQ(f.Read(zero, 4), 4u);
    EXPECT_EQ(std::string(zero, 4), std::string(4, '\0'));
}

TEST_F(CFileTest, ShortReadAtEndIsNotAnError) {
    WriteBytes("short", "abc");
    CFile f;
    ASSERT_TRUE(f.Open(Path("short"), CFile::modeRead));
    char buf[10];
    EXPECT_EQ(f.Read(buf, 10), 3u);
    EXPECT_EQ(f.Read(buf, 10), 0u);
    f.Seek(100, CFile::begin);  // past the end: reads deliver nothing
    EXPECT_EQ(f.Read(buf, 10), 0u);
    EXPECT_THROW(f.Seek(-1, CFile::begin), CFileException);
}

TEST_F(CFileTest, OpensReadOnlyFileWithoutWritePermission) {
    WriteBytes("ro", "data");
    fs::permissions(dir / "ro", fs::perms::owner_read);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    CFile f;
    ASSERT_TRUE(f.Open(Path("ro"), CFile::modeRead | CFile::shareDenyWrite));
    char buf[4];
    EXPECT_EQ(f.Read(buf, 4), 4u);
    // Writing through a read-only handle fails loudly, never silently.
    EXPECT_THROW(f.Write("x", 1), CFileException);
}

TEST_F(CFileTest, MissingFileOrFolderDoesNotOpen) {
    CFile f;
    EXPECT_FALSE(f.Open(Path("nothing-here"), CFile::modeRead));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Open(CString::FromUtf8(dir.string()), CFile::modeRead));
}

TEST_F(CFileTest, CreateTruncatesAndCloseIsIdempotent) {
    WriteBytes("t", "old content");
    CFile f;
    ASSERT_TRUE(f.Open(Path("t"), CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(f.GetLength(), 0u);
    f.Write("new", 3);
    f.Close();
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(fs::file_size(dir / "t"), 3u);
}

TEST_F(CFileTest, FileLockedByAnotherProcessIsRefusedForExclusiveUse) {
    WriteBytes("ibdata1", std::string(16384, '\0'));
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    pid_t child = ::fork();
    if (child == 0) {
        // Holds a write lock as a running server does on its tablespace.
        int fd = ::open((dir / "ibdata1").c_str(), O_RDWR);
        struct flock lk {};
        lk.l_type = F_WRLCK;
        lk.l_whence = SEEK_SET;
        ::fcntl(fd, F_SETLK, &lk);
        char c = 'r';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(done[0], &c, 1);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    CFile f;
    EXPECT_FALSE(f.Open(Path("ibdata1"), CFile::modeRead | CFile::shareExclusive));
    EXPECT_TRUE(f.Open(Path("ibdata1"), CFile::modeRead | CFile::shareDenyNone));
    f.Close();
    (void)!::write(done[1], &c, 1);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(f.Open(Path("ibdata1"), CFile::modeRead | CFile::shareExclusive));
}

TEST_F(CFileTest, StdioReadsLinesWithoutTheirEnds) {
    WriteBytes("lines", "TYPE=VIEW\r\nquery=select 1\n\nlast");
    CStdioFile f;
    ASSERT_TRUE(f.Open(Path("lines"), CFile::modeRead));
    std::string line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "TYPE=VIEW");
    CString wide;
    ASSERT_TRUE(f.ReadString(wide));
    EXPECT_EQ(wide, CString(u"query=select 1"));
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(f.ReadString(line));
}

}  // namespace
