#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Fixture data folders unpacked into the build tree, and small helpers the scan tests share.
inline std::filesystem::path FixtureDir(const std::string& archive) {
    return std::filesystem::path(DRALVEK_FIXTURES) / archive;
}
inline std::filesystem::path ExpectedDir() { return std::filesystem::path(DRALVEK_FIXTURE_SOURCE) / "expected"; }

// Rows of a TSV file of expected/, header included, cells still escaped.
inline std::vector<std::vector<std::string>> ReadTsv(const std::filesystem::path& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (;;) {
            std::size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

// The TSV escapes undone: \\ \t \n \r.
inline std::string UnescapeTsv(const std::string& cell) {
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '\\' && i + 1 < cell.size()) {
            char n = cell[++i];
            out.push_back(n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n);
        } else {
            out.push_back(cell[i]);
        }
    }
    return out;
}

// A scratch folder removed at the end of the test.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "scan-test.XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}
