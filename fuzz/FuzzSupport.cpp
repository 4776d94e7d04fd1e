#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "app/TableBrowser.h"
#include "engine/TableEngine.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

constexpr std::uint32_t kPageSize = INNO_PAGE_SIZE;
// No table of the corpus needs more pages than this; Next Records on a damaged table
// ends long before it, or the browser's own bounds are broken.
constexpr std::size_t kMaxPagesShown = 100000;

std::string g_workDir;

void RemoveWorkDir() {
    if (g_workDir.empty()) return;
    std::error_code ec;
    fs::remove_all(g_workDir, ec);
}

std::string TempRoot();

void RemoveFoldersOfDeadProcesses() {
    const std::string prefix = "dralvek-fuzz-";
    std::error_code ec;
    for (fs::directory_iterator it(TempRoot(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string pid = name.substr(prefix.size());
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        if (fs::exists("/proc/" + pid, ec)) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

std::string TempRoot() {
    if (const char* own = std::getenv("DRALVEK_FUZZ_TMP"); own && *own) return own;
    if (::access("/dev/shm", W_OK) == 0) return "/dev/shm";
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) return tmp;
    return "/tmp";
}

[[noreturn]] void Stop(const std::string& why) {
    std::fprintf(stderr, "fuzz target: %s\n", why.c_str());
    std::_Exit(2);
}

}  // namespace

const std::string& WorkDir() {
    if (g_workDir.empty()) {
        g_workDir = TempRoot() + "/dralvek-fuzz-" + std::to_string(::getpid());
        std::error_code ec;
        fs::remove_all(g_workDir, ec);
        fs::create_directories(g_workDir, ec);
        if (ec) Stop("cannot create " + g_workDir + ": " + ec.message());
        // libFuzzer keeps the sanitizers' death callback for writing the crashing input, so
        // a folder left by a process that died is removed by the next one.
        std::atexit(RemoveWorkDir);
        RemoveFoldersOfDeadProcesses();
    }
    return g_workDir;
}

CDralvekOstruneApp& ResetApp(bool save) {
    // The collation table is found beside the program, as the real one finds it.
    static std::unique_ptr<CDralvekOstruneApp> app = std::make_unique<CDralvekOstruneApp>();
    app->m_bBusy = 0;
    app->m_bSaveAsScript = save ? 1 : 0;
    app->m_bSaveToServer = 0;
    app->m_nBlobFileCounter = 0;
    if (save) {
        const std::string folder = WorkDir() + "/save";
        MakeDirs(folder + "/blobdata");
        EmptyFolder(folder + "/blobdata");
        app->m_strSaveFolder = CString::FromUtf8(folder + "/");
    } else {
        app->m_strSaveFolder = CString();
    }
    return *app;
}

const Bytes& CorpusFile(const std::string& relative) {
    static std::map<std::string, Bytes> cache;
    auto it = cache.find(relative);
    if (it != cache.end()) return it->second;
    const std::string path = std::string(DRALVEK_FUZZ_CORPUS) + "/" + relative;
    std::ifstream in(path, std::ios::binary);
    if (!in) Stop("missing corpus file " + path + " (build the fixtures target)");
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return cache.emplace(relative, std::move(bytes)).first->second;
}

void WriteFile(const std::string& path, const unsigned char* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Stop("cannot write " + path);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) Stop("cannot write " + path);
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void MakeDirs(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) Stop("cannot create " + path + ": " + ec.message());
}

void EmptyFolder(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) fs::remove_all(it->path(), ec);
}

std::vector<PackedPage> UnpackPages(const unsigned char* data, std::size_t size, std::uint32_t maxPages) {
    std::vector<PackedPage> pages;
    std::size_t at = 0;
    while (size - at >= 4) {
        const std::uint32_t number = static_cast<std::uint32_t>(data[at]) << 8 | data[at + 1];
        std::uint32_t length = static_cast<std::uint32_t>(data[at + 2]) << 8 | data[at + 3];
        at += 4;
        if (length > size - at) length = static_cast<std::uint32_t>(size - at);
        const std::uint32_t kept = length > kPageSize ? kPageSize : length;
        if (number < maxPages) pages.push_back(PackedPage{number, data + at, kept});
        at += length;
    }
    return pages;
}

void WriteTablespace(const std::string& path, const std::vector<PackedPage>& pages) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Stop("cannot write " + path);
    std::uint64_t highest = 0;
    bool any = false;
    for (const PackedPage& p : pages) {
        if (!any || p.number > highest) highest = p.number;
        any = true;
    }
    if (any) {
        if (::ftruncate(fd, static_cast<off_t>((highest + 1) * kPageSize)) != 0) Stop("cannot size " + path);
        static const Bytes zeros(kPageSize, 0);
        for (const PackedPage& p : pages) {
            const off_t at = static_cast<off_t>(std::uint64_t{p.number} * kPageSize);
            // A shorter record for a page written before clears what it does not cover.
            if (::pwrite(fd, zeros.data(), kPageSize, at) != static_cast<ssize_t>(kPageSize) ||
                (p.size && ::pwrite(fd, p.data, p.size, at) != static_cast<ssize_t>(p.size)))
                Stop("cannot write " + path);
        }
    }
    ::close(fd);
}

void AppendPackedPage(Bytes& out, std::uint32_t number, const unsigned char* data, std::uint32_t size) {
    out.push_back(static_cast<unsigned char>(number >> 8));
    out.push_back(static_cast<unsigned char>(number));
    out.push_back(static_cast<unsigned char>(size >> 8));
    out.push_back(static_cast<unsigned char>(size));
    out.insert(out.end(), data, data + size);
}

TableRun ReadWholeTable(const std::string& dataDir, const std::string& database, const std::string& table,
                        bool dictionary, bool keys) {
    CTableEngine engine;
    if (dictionary) engine.LoadDictionary(CString::FromUtf8(dataDir + "/ibdata1"));
    return ReadWholeTable(engine, dataDir, database, table, keys);
}

TableRun ReadWholeTable(CTableEngine& engine, const std::string& dataDir, const std::string& database,
                        const std::string& table, bool keys) {
    TableRun run;
    CTableBrowser browser(engine);
    const CString base = CString::FromUtf8(dataDir + "/" + database + "/" + table);
    const CString item = CString::FromUtf8(table);
    if (keys) {
        std::vector<KeyListRow> rows;
        browser.ShowKeys(base, item, rows);
        run.rows = rows.size();
        return run;
    }
    BrowserEffects effects = browser.ShowTable(base, item, CString::FromUtf8(database + "/" + table));
    run.rows += engine.m_rows.size();
    run.pages = 1;
    while (effects.next != ButtonState::Disabled) {
        effects = browser.OnNextRecords();
        if (effects.listRefilled) run.rows += engine.m_rows.size();
        if (!effects.accepted) break;
        if (++run.pages > kMaxPagesShown) __builtin_trap();  // paging that never ends
    }
    if (std::getenv("DRALVEK_FUZZ_VERBOSE"))
        std::fprintf(stderr, "%s/%s: %zu rows in %zu pages\n", database.c_str(), table.c_str(), run.rows, run.pages);
    // And back to the first page, as far as the page stack goes.
    for (std::size_t back = 0; back < run.pages && engine.m_bookmarks.size() > 2; ++back) {
        effects = browser.OnPrevRecords();
        if (effects.previous == ButtonState::Disabled) break;
    }
    return run;
}

}  // namespace fuzz
