// Benchmark of the code the window runs to show a table: CTableBrowser for the first
// page and Next Records, CTableEngine::LoadDictionary for a folder's ibdata1.
//
//   table-bench [--runs N] [--traversals N] DATADIR DATABASE TABLE
//   table-bench [--runs N] --dictionary IBDATA1
//
// Prints a plain-text report ending in one "figures key=value ..." line for scripts;
// exit 0 when the measurement ran, 1 when the table or
// file could not be read, 2 on a usage error.

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"
#include "engine/TableEngine.h"
#include "platform/core/CString.h"

namespace {

using Clock = std::chrono::steady_clock;

// No real table needs more Next steps than this; a reader that never reports the end
// must not keep the benchmark running.
constexpr std::uint64_t kMaxPages = 100'000'000;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double MaxRssMb() {
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux: KiB
}

// Size of the file, or -1 when there is none.
long long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "table-bench: %s\n"
                 "usage: table-bench [--runs N] [--traversals N] DATADIR DATABASE TABLE\n"
                 "       table-bench [--runs N] --dictionary IBDATA1\n",
                 why);
    return 2;
}

bool ParseCount(const std::string& text, int& out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < 1 || v > 1000) return false;
    out = static_cast<int>(v);
    return true;
}

int BenchDictionary(const std::string& path, int runs) {
    std::vector<double> times;
    std::size_t tables = 0, columns = 0, indexes = 0;
    for (int i = 0; i < runs; ++i) {
        CTableEngine engine;
        Clock::time_point t0 = Clock::now();
        bool ok = engine.LoadDictionary(CString::FromUtf8(path));
        Clock::time_point t1 = Clock::now();
        if (!ok) {
            std::fprintf(stderr, "table-bench: cannot open %s\n", path.c_str());
            return 1;
        }
        times.push_back(Seconds(t0, t1));
        tables = engine.m_sysTables.size();
        columns = engine.m_sysColumns.size();
        indexes = engine.m_sysIndexes.size();
    }
    std::printf("dictionary   %s (%.1f MB)\n", path.c_str(), static_cast<double>(FileSize(path)) / 1e6);
    std::printf("  records    %zu SYS_TABLES, %zu SYS_COLUMNS, %zu SYS_INDEXES\n", tables, columns, indexes);
    std::printf("  load       median %.1f ms of %d runs (min %.1f, max %.1f)\n", Median(times) * 1e3, runs,
                *std::min_element(times.begin(), times.end()) * 1e3,
                *std::max_element(times.begin(), times.end()) * 1e3);
    std::printf("  peak rss   %.1f MB\n", MaxRssMb());
    std::printf("figures dictionary tables=%zu load_ms=%.3f rss_mb=%.1f\n", tables, Median(times) * 1e3, MaxRssMb());
    return 0;
}

struct Traversal {
    std::uint64_t rows = 0;
    std::uint64_t pages = 0;
    double seconds = 0;
};

// Shows the table and presses Next Records until the end, as table-dump does.
Traversal Traverse(CTableBrowser& browser, CTableEngine& engine, const CString& base, const CString& item,
                   const CString& key) {
    Traversal result;
    Clock::time_point t0 = Clock::now();
    BrowserEffects effects = browser.ShowTable(base, item, key);
    result.rows += engine.m_rows.size();
    result.pages = 1;
    while (effects.next != ButtonState::Disabled && result.pages < kMaxPages) {
        effects = browser.OnNextRecords();
        if (effects.listRefilled) result.rows += engine.m_rows.size();
        ++result.pages;
        if (!effects.accepted) break;
    }
    result.seconds = Seconds(t0, Clock::now());
    return result;
}

int BenchTable(const std::string& dataDir, const std::string& database, const std::string& table, int runs,
               int traversals) {
    const std::string base = dataDir + "/" + database + "/" + table;
    const CString tableBase = CString::FromUtf8(base);
    const CString itemText = CString::FromUtf8(table);
    const CString key = CString::FromUtf8(database + "/" + table);

    CTableEngine engine;
    // The scan loads the folder's dictionary once when it opens, before any table is shown.
    Clock::time_point d0 = Clock::now();
    bool haveDictionary = engine.LoadDictionary(CString::FromUtf8(dataDir + "/ibdata1"));
    double dictSeconds = Seconds(d0, Clock::now());
    CTableBrowser browser(engine);
    const double rssBefore = MaxRssMb();

    // Warm-up, and the check that the table can be read at all.
    browser.ShowTable(tableBase, itemText, key);
    if (!browser.m_bDefinitionRead) {
        std::fprintf(stderr, "table-bench: cannot read the table definition %s.frm\n", base.c_str());
        return 1;
    }
    if (!browser.m_bRowsSourceOpened) {
        std::fprintf(stderr, "table-bench: no data file for %s\n", base.c_str());
        return 1;
    }
    const bool myisam = engine.m_nDbType == 9;
    long long dataBytes = FileSize(base + (myisam ? ".MYD" : ".ibd"));

    std::vector<double> firstPage;
    std::size_t firstRows = 0;
    for (int i = 0; i < runs; ++i) {
        Clock::time_point t0 = Clock::now();
        browser.ShowTable(tableBase, itemText, key);
        firstPage.push_back(Seconds(t0, Clock::now()));
        firstRows = engine.m_rows.size();
    }
    const double rssFirstPage = MaxRssMb();

    std::vector<Traversal> walks;
    for (int i = 0; i < traversals; ++i) walks.push_back(Traverse(browser, engine, tableBase, itemText, key));
    const double rssAfter = MaxRssMb();
    std::vector<double> walkSeconds;
    for (const Traversal& w : walks) walkSeconds.push_back(w.seconds);
    const double walkMedian = Median(walkSeconds);
    const Traversal& last = walks.back();

    std::printf("table        %s/%s (%s, %s %.1f MB, %zu columns)\n", database.c_str(), table.c_str(),
                myisam ? "MyISAM" : "InnoDB", myisam ? ".MYD" : ".ibd",
                dataBytes < 0 ? 0.0 : static_cast<double>(dataBytes) / 1e6, engine.m_columns.size());
    std::printf("  dictionary %s/ibdata1 %s in %.1f ms (%zu tables)\n", dataDir.c_str(),
                haveDictionary ? "loaded" : "not loaded", dictSeconds * 1e3, engine.m_sysTables.size());
    std::printf("  first page %zu rows, median %.3f ms of %d runs (min %.3f, max %.3f)\n", firstRows,
                Median(firstPage) * 1e3, runs, *std::min_element(firstPage.begin(), firstPage.end()) * 1e3,
                *std::max_element(firstPage.begin(), firstPage.end()) * 1e3);
    const double rowsPerSecond = walkMedian > 0 ? static_cast<double>(last.rows) / walkMedian : 0;
    const double mbPerSecond =
        walkMedian > 0 && dataBytes > 0 ? static_cast<double>(dataBytes) / 1e6 / walkMedian : 0;
    std::printf("  traversal  %llu rows in %llu pages, median %.3f s of %d: %.0f rows/s, %.1f MB/s\n",
                static_cast<unsigned long long>(last.rows), static_cast<unsigned long long>(last.pages), walkMedian,
                traversals, rowsPerSecond, mbPerSecond);
    for (const Traversal& w : walks) {
        if (w.rows != last.rows) {
            std::printf("  WARNING    traversals disagree: %llu and %llu rows\n",
                        static_cast<unsigned long long>(w.rows), static_cast<unsigned long long>(last.rows));
            break;
        }
    }
    std::printf("  peak rss   %.1f MB before the table, %.1f MB after the first pages, %.1f MB after traversal\n",
                rssBefore, rssFirstPage, rssAfter);
    std::printf("figures table=%s first_ms=%.3f rows=%llu rows_per_s=%.0f mb_per_s=%.1f rss_mb=%.1f\n",
                table.c_str(), Median(firstPage) * 1e3, static_cast<unsigned long long>(last.rows), rowsPerSecond,
                mbPerSecond, rssAfter);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    int traversals = 3;
    std::string dictionary;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--runs" || a == "--traversals" || a == "--dictionary") && i + 1 >= argc)
            return Usage((a + " needs a value").c_str());
        if (a == "--runs") {
            if (!ParseCount(argv[++i], runs)) return Usage("--runs takes 1..1000");
        } else if (a == "--traversals") {
            if (!ParseCount(argv[++i], traversals)) return Usage("--traversals takes 1..1000");
        } else if (a == "--dictionary") {
            dictionary = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(("unknown option " + a).c_str());
        } else {
            positional.push_back(a);
        }
    }

    CDralvekOstruneApp app;
    app.m_bSaveAsScript = 0;  // the window shows values in display mode
    if (!dictionary.empty()) {
        if (!positional.empty()) return Usage("--dictionary takes no table");
        return BenchDictionary(dictionary, runs);
    }
    if (positional.size() != 3) return Usage("expected DATADIR DATABASE TABLE");
    return BenchTable(positional[0], positional[1], positional[2], runs, traversals);
}
