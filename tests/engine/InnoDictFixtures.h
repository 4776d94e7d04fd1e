#pragma once

// The real-server fixtures as the dictionary and layout tests read them.

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace dictfixtures {

namespace fs = std::filesystem;

inline fs::path Corpus() { return fs::path(DRALVEK_FIXTURES) / "corpus"; }
inline fs::path PageSize() { return fs::path(DRALVEK_FIXTURES) / "pagesize"; }
inline fs::path Expected() { return fs::path(DRALVEK_FIXTURE_SOURCE) / "expected"; }

using Row = std::map<std::string, std::string>;
inline const std::string kNull = "\\N";

// One expected/ TSV file: rows keyed by the header's column names; escapes undone
// except the NULL marker, which stays "\N".
inline std::vector<Row> ReadTsv(const fs::path& path) {
    std::vector<Row> rows;
    std::ifstream in(path);
    std::string line;
    std::vector<std::string> header;
    auto split = [](const std::string& s) {
        std::vector<std::string> cells(1);
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\t') {
                cells.emplace_back();
            } else if (s[i] == '\\' && i + 1 < s.size()) {
                const char c = s[++i];
                if (c == 'N') cells.back() += "\\N";
                else cells.back() += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
            } else {
                cells.back() += s[i];
            }
        }
        return cells;
    };
    while (std::getline(in, line)) {
        std::vector<std::string> cells = split(line);
        if (header.empty()) {
            header = cells;
            continue;
        }
        Row row;
        for (std::size_t i = 0; i < header.size() && i < cells.size(); ++i) row[header[i]] = cells[i];
        rows.push_back(std::move(row));
    }
    return rows;
}

struct InnoTable {
    std::string dir;   // database folder as on disk
    std::string file;  // table file name without extension
    std::string rowFormat;
};

// Every InnoDB table of the corpus.
inline std::vector<InnoTable> CorpusInnoTables() {
    std::vector<InnoTable> result;
    for (const Row& db : ReadTsv(Expected() / "corpus.databases.tsv")) {
        for (const Row& t : ReadTsv(Expected() / db.at("DIR_NAME") / "tables.tsv"))
            if (t.at("ENGINE") == "InnoDB") result.push_back({db.at("DIR_NAME"), t.at("FILE_NAME"), t.at("ROW_FORMAT")});
    }
    return result;
}

inline std::vector<Row> Columns(const InnoTable& t) {
    return ReadTsv(Expected() / t.dir / (t.file + ".columns.tsv"));
}
inline std::vector<Row> Keys(const InnoTable& t) { return ReadTsv(Expected() / t.dir / (t.file + ".keys.tsv")); }
// innodb_indexes.tsv rows of one table (TABLE_NAME there is the SQL name).
inline std::vector<Row> Indexes(const InnoTable& t) {
    std::vector<Row> result;
    std::string sqlName;
    for (const Row& r : ReadTsv(Expected() / t.dir / "tables.tsv"))
        if (r.at("FILE_NAME") == t.file) sqlName = r.at("TABLE_NAME");
    for (const Row& r : ReadTsv(Expected() / t.dir / "innodb_indexes.tsv"))
        if (r.at("TABLE_NAME") == sqlName) result.push_back(r);
    return result;
}

}  // namespace dictfixtures
