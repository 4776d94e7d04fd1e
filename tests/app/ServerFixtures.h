#pragma once

// The fixture archives' own lists of databases and tables, for the round trips through
// a private server.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/SqlScript.h"
#include "tests/app/PrivateServer.h"

namespace {

namespace fs = std::filesystem;

// How the fixture generator printed a column, by its DATA_TYPE.
enum class Kind { Hex, Text, Bit, Float, Plain };

inline Kind KindOf(const std::string& dataType) {
    static const std::set<std::string> hex = {"binary", "varbinary", "tinyblob", "blob", "mediumblob", "longblob",
                                              "geometry", "point", "linestring", "polygon", "multipoint",
                                              "multilinestring", "multipolygon", "geometrycollection"};
    static const std::set<std::string> text = {"char", "varchar", "tinytext", "text", "mediumtext", "longtext",
                                               "enum", "set", "json"};
    if (hex.count(dataType)) return Kind::Hex;
    if (text.count(dataType)) return Kind::Text;
    if (dataType == "bit") return Kind::Bit;
    if (dataType == "float") return Kind::Float;
    return Kind::Plain;
}

// The column as the fixture generator printed it: 'N' for NULL, else 'v' and the value in
// the column's kind of text.
inline std::string ReadBackExpression(const std::string& name, Kind kind, const std::string& precision) {
    const std::string n = QuoteIdentifier(CString::FromUtf8(name));
    std::string e;
    switch (kind) {
    case Kind::Hex: e = "HEX(" + n + ")"; break;
    case Kind::Text: e = "HEX(CAST(" + n + " AS CHAR CHARACTER SET utf8mb4))"; break;
    case Kind::Bit: e = "LPAD(BIN(" + n + "), " + precision + ", '0')"; break;
    case Kind::Float: e = "CAST(" + n + " AS DOUBLE)"; break;
    case Kind::Plain: e = n; break;
    }
    return "IF(" + n + " IS NULL, 'N', CONCAT('v', " + e + "))";
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

inline std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells(1);
    for (char c : line) {
        if (c == '\t') cells.emplace_back();
        else cells.back() += c;
    }
    return cells;
}

// The fixture's own lists: SCHEMA_NAME/DIR_NAME per database, TABLE_NAME/FILE_NAME per
// base table (no escapes occur in these names).
struct FixtureTable {
    std::string name, file;
};
struct FixtureDb {
    std::string name, dir;
    std::vector<FixtureTable> tables;
};

inline std::vector<FixtureDb> FixtureDatabases(const std::string& label) {
    const fs::path expected = fs::path(DRALVEK_FIXTURE_SOURCE) / "expected";
    std::vector<FixtureDb> dbs;
    std::vector<std::string> lines = Lines(privateserver::ReadWhole(expected / (label + ".databases.tsv")));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto c = Cells(lines[i]);
        FixtureDb db{c[0], c[1], {}};
        const auto tl = Lines(privateserver::ReadWhole(expected / db.dir / "tables.tsv"));
        for (std::size_t t = 1; t < tl.size(); ++t) {
            const auto tc = Cells(tl[t]);
            if (tc.size() > 2 && tc[2] == "BASE TABLE") db.tables.push_back({tc[0], tc[1]});
        }
        dbs.push_back(std::move(db));
    }
    return dbs;
}

inline std::string SqlString(const std::string& s) {
    std::string out;
    AppendQuotedText(out, CString::FromUtf8(s).View());
    return out;
}


// One cell of an expected/ TSV file: \N is NULL (null set), \\ \t \n \r are escapes.
inline std::string TsvCell(const std::string& raw, bool& null) {
    null = raw == "\\N";
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            const char e = raw[++i];
            out += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            out += raw[i];
        }
    }
    return out;
}

}  // namespace
