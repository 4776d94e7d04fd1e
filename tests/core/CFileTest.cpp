#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// A read-only file is served from its read window: every read and seek must give what
// the descriptor itself gives (a file opened for writing reads directly).
TEST_F(CFileTest, ReadWindowGivesTheFileAsItIs) {
    constexpr std::uint64_t W = CFile::kReadWindow;
    const std::uint64_t size = 3 * W + 777;
    std::string bytes(size, '\0');
    for (std::uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    WriteBytes("data", bytes);

    struct Step {
        CFile::SeekPosition from;
        std::int64_t offset;
        std::uint32_t count;
    };
    const std::int64_t w = static_cast<std::int64_t>(W);
    const std::int64_t n = static_cast<std::int64_t>(size);
    std::vector<Step> steps = {
        {CFile::begin, 0, 20},                 // fills the window
        {CFile::current, 5, 70},               // inside it, forwards
        {CFile::begin, w - 3, 10},             // across the window's end
        {CFile::begin, 2, 4},                  // backwards, before the window
        {CFile::begin, w - 1, 1},              // the last byte of a window
        {CFile::current, 0, 1},                // the next one starts another
        {CFile::begin, 10, static_cast<std::uint32_t>(W + 100)},  // bigger than the window
        {CFile::current, -50, 100},            // back into what the big read passed
        {CFile::begin, 2 * w + 5, static_cast<std::uint32_t>(W / 4)},  // a quarter: direct
        {CFile::begin, 2 * w + 5, static_cast<std::uint32_t>(W / 4 - 1)},
        {CFile::end, -10, 20},                 // short read at the end
        {CFile::current, 0, 20},               // at the end: nothing
        {CFile::end, 5, 20},                   // past the end: nothing
        {CFile::begin, n + 1000, 1},
        {CFile::begin, n - 1, 1},
        {CFile::current, -w - 2, 40},          // far back
        {CFile::begin, w / 2, static_cast<std::uint32_t>(W)},  // exactly a window, across two
        {CFile::begin, 0, 0},
    };
    // Then runs of small reads, as a record walk does, forwards and backwards.
    std::uint64_t seed = 12345;
    auto next = [&seed](std::uint64_t bound) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return (seed >> 33) % bound;
    };
    for (int i = 0; i < 400; ++i) {
        if (i % 3 == 0) steps.push_back({CFile::begin, static_cast<std::int64_t>(next(size + 64)), static_cast<std::uint32_t>(next(300))});
        else steps.push_back({CFile::current, static_cast<std::int64_t>(next(2000)) - 1000, static_cast<std::uint32_t>(next(90))});
    }

    CFile cached, direct;
    ASSERT_TRUE(cached.Open(Path("data"), CFile::modeRead | CFile::shareDenyWrite));
    ASSERT_TRUE(direct.Open(Path("data"), CFile::modeReadWrite));
    std::vector<char> a(2 * W), b(2 * W);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        std::uint64_t wantPos = 0;
        bool directThrew = false;
        try {
            wantPos = direct.Seek(s.offset, s.from);
        } catch (const CFileException&) {
            directThrew = true;
        }
        if (directThrew) {
            EXPECT_THROW(cached.Seek(s.offset, s.from), CFileException);
            continue;
        }
        EXPECT_EQ(cached.Seek(s.offset, s.from), wantPos);
        const std::uint32_t got = cached.Read(a.data(), s.count);
        const std::uint32_t want = direct.Read(b.data(), s.count);
        ASSERT_EQ(got, want);
        EXPECT_EQ(std::memcmp(a.data(), b.data(), got), 0);
        EXPECT_EQ(cached.GetPosition(), direct.GetPosition());
        if (wantPos < size) {
            EXPECT_EQ(std::string(a.data(), got), bytes.substr(wantPos, s.count));
        }
    }
    // Positions below zero are refused as lseek refuses them, and leave the position.
    const std::uint64_t before = cached.GetPosition();
    EXPECT_THROW(cached.Seek(-static_cast<std::int64_t>(before) - 1, CFile::current), CFileException);
    EXPECT_EQ(cached.GetPosition(), before);
    EXPECT_THROW(cached.Seek(-1, CFile::begin), CFileException);
    EXPECT_THROW(cached.Seek(-n - 1, CFile::end), CFileException);
    // Reopening starts at the beginning, whatever the window held.
    ASSERT_TRUE(cached.Open(Path("data"), CFile::modeRead));
    EXPECT_EQ(cached.GetPosition(), 0u);
    char first[3];
    ASSERT_EQ(cached.Read(first, 3), 3u);
    EXPECT_EQ(std::string(first, 3), bytes.substr(0, 3));
}

// A closed file fails loudly rather than reading the window it had.
TEST_F(CFileTest, ClosedFileNeitherReadsNorSeeks) {
    WriteBytes("data", std::string(1000, 'x'));
    CFile f;
    ASSERT_TRUE(f.Open(Path("data"), CFile::modeRead));
    char buf[10];
    ASSERT_EQ(f.Read(buf, 10), 10u);
    f.Close();
    EXPECT_THROW(f.Read(buf, 10), CFileException);
    EXPECT_THROW(f.Seek(0, CFile::begin), CFileException);
    EXPECT_THROW(f.GetPosition(), CFileException);
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
