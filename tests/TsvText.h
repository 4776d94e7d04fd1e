#pragma once

// The tab-separated files of tests/fixtures/expected/: the server's batch output, with
// \\ \t \n \r escaped inside cells and \N for NULL.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The cells of one line, still escaped.
inline std::vector<std::string> SplitTsvLine(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return cells;
}

// Rows of a file, header included, cells still escaped.
inline std::vector<std::vector<std::string>> ReadTsvRows(const std::filesystem::path& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) rows.push_back(SplitTsvLine(line));
    return rows;
}

// The escapes undone: \\ \t \n \r.
inline std::string UnescapeTsv(const std::string& cell) {
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '\\' && i + 1 < cell.size()) {
            const char n = cell[++i];
            out.push_back(n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n);
        } else {
            out.push_back(cell[i]);
        }
    }
    return out;
}
