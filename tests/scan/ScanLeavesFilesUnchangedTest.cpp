// A scan and the view and trigger text only ever read the files a user brings: on a
// read-only copy of each real-server folder, an inotify watch sees every .frm and .TRG
// opened and closed read-only and nothing opened for writing (running as root would let a
// write through the read-only modes), and every file hashes as before.

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>

#include "app/DataFolderScan.h"
#include "app/ViewTriggerSql.h"
#include "tests/scan/ScanTestSupport.h"
#include "tools/table-dump/ScanDump.h"

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Contents(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), root).string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

void SetWritable(const fs::path& root, bool writable) {
    const auto perms = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    const auto how = writable ? fs::perm_options::add : fs::perm_options::remove;
    std::error_code ec;
    fs::permissions(root, perms, how, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), perms, how, ec);
}

class ScanLeavesFilesUnchanged : public testing::TestWithParam<const char*> {};

TEST_P(ScanLeavesFilesUnchanged, OnlyReadOnlyOpens) {
    ScratchDir work;
    const fs::path data = work.path() / "data";
    fs::copy(FixtureDir(GetParam()), data, fs::copy_options::recursive);
    SetWritable(data, false);
    const auto before = Contents(data);

    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::map<int, std::string> folders;
    const auto mask = IN_CLOSE_NOWRITE | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                      IN_MOVED_TO;
    folders[::inotify_add_watch(fd, data.c_str(), mask)] = "";
    for (const auto& entry : fs::recursive_directory_iterator(data))
        if (entry.is_directory())
            folders[::inotify_add_watch(fd, entry.path().c_str(), mask)] = fs::relative(entry.path(), data).string() + "/";

    const ScanResult scan = ScanDataFolder(CString::FromUtf8(data.string()));
    EXPECT_TRUE(scan.problems.empty());
    for (const CString& view : scan.m_viewFiles) EXPECT_TRUE(BuildViewSql(view).fileRead);
    for (std::size_t i = 0; i < scan.m_triggers.size(); ++i) EXPECT_TRUE(BuildTriggerSql(TriggerFilePath(scan, i)).fileRead);
    std::ostringstream out, err;
    EXPECT_EQ(RunScanDumpCommand({"--scan", data.string()}, out, err), 0);

    std::set<std::string> readOnly;
    std::vector<std::string> changes;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            const std::string name = folders[e->wd] + (e->len ? std::string(e->name) : std::string());
            EXPECT_FALSE(e->mask & IN_Q_OVERFLOW);
            if (e->mask & IN_CLOSE_NOWRITE) readOnly.insert(name);
            else if (e->mask & mask) changes.push_back(name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    ::close(fd);
    for (const std::string& c : changes) ADD_FAILURE() << "opened for writing or changed: " << c;
    std::size_t objects = 0;
    for (const auto& [name, bytes] : before) {
        const std::string ext = fs::path(name).extension().string();
        if (ext == ".frm" || ext == ".TRG") {
            EXPECT_TRUE(readOnly.count(name)) << name << " was never read";
            ++objects;
        }
    }
    EXPECT_GT(objects, 3u);
    EXPECT_EQ(Contents(data), before);
    SetWritable(data, true);
}

INSTANTIATE_TEST_SUITE_P(Archives, ScanLeavesFilesUnchanged, testing::Values("corpus", "view_shapes"));

}  // namespace
