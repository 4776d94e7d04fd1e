// The scan of a data folder to the tree the window fills: the folder walk, the probes of
// every .frm, the decoded names and the tree in display order. Median of RUNS, with the
// folder's entries in the page cache after the first run.
//
//   scan-bench [--runs N] DATADIR

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/DataFolderScan.h"

int main(int argc, char** argv) {
    int runs = 15;
    std::string dataDir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else dataDir = a;
    }
    if (dataDir.empty()) {
        std::fprintf(stderr, "usage: scan-bench [--runs N] DATADIR\n");
        return 2;
    }
    std::vector<double> times;
    ScanResult scan;
    std::size_t shown = 0;
    for (int r = 0; r < runs + 1; ++r) {
        auto start = std::chrono::steady_clock::now();
        scan = ScanDataFolder(CString::FromUtf8(dataDir));
        // What the window walks to fill its tree.
        std::vector<int> order = TreeDisplayOrder(scan.tree);
        for (int index : order) shown += static_cast<std::size_t>(scan.tree[static_cast<std::size_t>(index)].text.GetLength());
        auto end = std::chrono::steady_clock::now();
        // The first run warms the page cache.
        if (r > 0) times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("scan of %s: %zu databases, %zu tables, %zu views, %zu trigger files, %zu tree items, %zu problems\n",
                dataDir.c_str(), scan.m_databaseFolders.size(), scan.m_tables.size(), scan.m_viewFiles.size(),
                scan.m_triggers.size(), scan.tree.size(), scan.problems.size());
    std::printf("  median %.1f ms, fastest %.1f ms, slowest %.1f ms over %d runs (target <= 2000 ms)\n", median,
                times.front(), times.back(), runs);
    std::printf("figures scan tables=%zu ms=%.1f\n", scan.m_tables.size(), median);
    return shown == 0 ? 1 : 0;
}
