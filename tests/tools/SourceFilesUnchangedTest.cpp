// The files a user brings are evidence: reading them must leave every byte, size and time
// as it was, and must never open one for writing. A read-only copy of each real-server
// data folder is read every way the program reads a table (display with every page forward
// and back, the key list, save mode), and afterwards each file hashes as before. An
// inotify watch on the folders sees every open: a file opened for writing reports its
// close as such even when nothing was written, and running as root would otherwise let a
// write through the read-only modes unnoticed.

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"
#include "engine/TableEngine.h"
#include "tools/table-dump/TableDump.h"

namespace fs = std::filesystem;

namespace {

struct FileState {
    std::uint64_t hash = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    bool operator==(const FileState&) const = default;
};

std::ostream& operator<<(std::ostream& os, const FileState& s) {
    return os << "{hash " << std::hex << s.hash << std::dec << ", " << s.size << " bytes, mtime " << s.mtimeNs
              << ", ctime " << s.ctimeNs << "}";
}

// FNV-1a over the whole file.
std::uint64_t HashFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t h = 0xcbf29ce484222325ull;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            h ^= static_cast<unsigned char>(buffer[i]);
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

std::map<std::string, FileState> Snapshot(const fs::path& root) {
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        EXPECT_EQ(::lstat(entry.path().c_str(), &st), 0);
        const std::string name = fs::relative(entry.path(), root).string();
        FileState s;
        s.mtimeNs = st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
        s.ctimeNs = st.st_ctim.tv_sec * 1000000000ll + st.st_ctim.tv_nsec;
        if (entry.is_regular_file()) {
            s.size = static_cast<std::uint64_t>(st.st_size);
            s.hash = HashFile(entry.path());
        }
        files[name] = s;
    }
    return files;
}

// Opens and closes seen in the watched folders.
class OpenWatch {
public:
    explicit OpenWatch(const fs::path& root) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(m_fd, 0) << "inotify: " << errno;
        Watch(root, "");
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_directory()) Watch(entry.path(), fs::relative(entry.path(), root).string() + "/");
    }
    ~OpenWatch() {
        if (m_fd >= 0) ::close(m_fd);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    // Takes the events queued so far; called after each table so that the queue never
    // overflows.
    void Drain() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = m_folders[e->wd] + (e->len ? std::string(e->name) : std::string());
                if (e->mask & IN_Q_OVERFLOW) m_overflowed = true;
                if (e->mask & IN_CLOSE_NOWRITE) m_readOnlyCloses.insert(name);
                if (e->mask & (IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                               IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF))
                    m_changes.push_back(name + " (" + std::to_string(e->mask) + ")");
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }

    bool m_overflowed = false;
    std::set<std::string> m_readOnlyCloses;
    std::vector<std::string> m_changes;

private:
    void Watch(const fs::path& folder, const std::string& prefix) {
        const int wd = ::inotify_add_watch(m_fd, folder.c_str(),
                                           IN_CLOSE_NOWRITE | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE |
                                               IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF);
        EXPECT_GE(wd, 0) << folder;
        m_folders[wd] = prefix;
    }

    int m_fd;
    std::map<int, std::string> m_folders;
};

struct TableEntry {
    std::string database;
    std::string table;
    std::size_t rows = 0;
    bool readable = true;  // compressed rows are not read
};

// Every table and view the server listed for the archive's databases.
std::vector<TableEntry> ListedTables(const fs::path& data) {
    const fs::path expected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";
    std::vector<TableEntry> tables;
    for (const auto& folder : fs::directory_iterator(data)) {
        if (!folder.is_directory()) continue;
        std::ifstream in(expected / folder.path().filename() / "tables.tsv");
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::vector<std::string> cells(1);
            for (char c : line) {
                if (c == '\t') cells.emplace_back();
                else cells.back() += c;
            }
            if (cells.size() < 7) continue;
            TableEntry t{folder.path().filename().string(), cells[1]};
            t.rows = cells[6] == "\\N" ? 0 : std::stoul(cells[6]);
            t.readable = cells[2] == "BASE TABLE" && cells[4] != "Compressed";
            tables.push_back(t);
        }
    }
    return tables;
}

void MakeReadOnly(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root))
        fs::permissions(entry.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    fs::permissions(root, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

void MakeWritable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
}

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

class SourceFilesUnchanged : public testing::TestWithParam<const char*> {};

TEST_P(SourceFilesUnchanged, EveryWayOfReadingLeavesTheFilesAsTheyWere) {
    const fs::path source = fs::path(DRALVEK_FIXTURES) / GetParam();
    if (!fs::exists(source)) GTEST_SKIP() << GetParam() << " not unpacked";
    const fs::path work = fs::temp_directory_path() / ("unchanged-" + std::to_string(::getpid()) + "-" + GetParam());
    MakeWritable(work);
    fs::remove_all(work);
    const fs::path data = work / "data";
    const fs::path save = work / "save";
    fs::create_directories(work);
    fs::copy(source, data, fs::copy_options::recursive);
    MakeReadOnly(data);

    const std::vector<TableEntry> tables = ListedTables(data);
    ASSERT_FALSE(tables.empty());
    const std::map<std::string, FileState> before = Snapshot(data);
    OpenWatch watch(data);

    std::size_t rowsRead = 0;
    for (const TableEntry& t : tables) {
        SCOPED_TRACE(t.database + "/" + t.table);
        CDralvekOstruneApp app;
        // table-dump: display, the key list, save mode; each reads the dictionary first.
        for (int mode = 0; mode < 3; ++mode) {
            TableDumpArgs args;
            args.dataDir = data.string();
            args.database = t.database;
            args.table = t.table;
            args.keys = mode == 1;
            if (mode == 2) args.saveFolder = (save / t.database / t.table).string();
            std::ostringstream out, err;
            const int result = RunTableDump(args, out, err);
            if (!t.readable) continue;
            EXPECT_EQ(result, kDumpOk) << err.str();
            // The header line, then every row (the key list: one line per column).
            if (mode != 1) {
                EXPECT_EQ(Lines(out.str()), t.rows + 1) << (mode == 2 ? "saved" : "shown");
            }
            if (mode == 0) rowsRead += t.rows;
        }
        // The window: every page forward, then back to the first.
        AppEngine engine;
        if (fs::exists(data / "ibdata1")) engine.LoadDictionary(CString::FromUtf8((data / "ibdata1").string()));
        CTableBrowser browser(engine);
        BrowserEffects effects = browser.ShowTable(CString::FromUtf8((data / t.database / t.table).string()),
                                                   CString::FromUtf8(t.table), CString::FromUtf8(t.database + "/" + t.table));
        std::size_t shown = engine.m_rows.size();
        for (int guard = 0; guard < 1000 && effects.next != ButtonState::Disabled; ++guard) {
            effects = browser.OnNextRecords();
            if (effects.listRefilled) shown += engine.m_rows.size();
        }
        for (int guard = 0; guard < 1000 && engine.m_bookmarks.size() > 2; ++guard) {
            effects = browser.OnPrevRecords();
            if (effects.previous == ButtonState::Disabled) break;
        }
        if (t.readable) {
            EXPECT_EQ(shown, t.rows);
        }
        watch.Drain();
    }
    watch.Drain();
    EXPECT_GT(rowsRead, 0u);

    const std::map<std::string, FileState> after = Snapshot(data);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [name, state] : before) {
        auto it = after.find(name);
        ASSERT_NE(it, after.end()) << name << " is gone";
        EXPECT_EQ(it->second, state) << name << " changed";
    }
    EXPECT_FALSE(watch.m_overflowed);
    for (const std::string& change : watch.m_changes) ADD_FAILURE() << "opened for writing or changed: " << change;
    // Every file a table is read from was opened, and opened read-only.
    for (const auto& [name, state] : before) {
        const std::string ext = fs::path(name).extension().string();
        if (ext == ".frm" || ext == ".MYD" || ext == ".MYI" || ext == ".ibd" || name == "ibdata1") {
            EXPECT_TRUE(watch.m_readOnlyCloses.count(name)) << name << " was never read";
        }
    }
    EXPECT_FALSE(fs::exists(data / "blobdata")) << "nothing is written into the data folder";

    MakeWritable(work);
    fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Archives, SourceFilesUnchanged, testing::Values("corpus", "sample"));

}  // namespace
