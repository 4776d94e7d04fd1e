#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TsvText.h"

// Fixture data folders unpacked into the build tree, and small helpers the scan tests share.
inline std::filesystem::path FixtureDir(const std::string& archive) {
    return std::filesystem::path(DRALVEK_FIXTURES) / archive;
}
inline std::filesystem::path ExpectedDir() { return std::filesystem::path(DRALVEK_FIXTURE_SOURCE) / "expected"; }

// Rows of a TSV file of expected/, header included, cells still escaped.
inline std::vector<std::vector<std::string>> ReadTsv(const std::filesystem::path& path) { return ReadTsvRows(path); }

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
