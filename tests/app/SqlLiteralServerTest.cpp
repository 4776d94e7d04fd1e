#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/SqlScript.h"
#include "tests/app/PrivateServer.h"

namespace {

ColumnInfo Column(std::uint32_t type, std::uint32_t charset = 0) {
    ColumnInfo c;
    c.m_nType = type;
    c.m_nCharset = charset;
    return c;
}

constexpr std::uint32_t kUtf8mb4 = 45;  // utf8mb4_general_ci
constexpr std::uint32_t kLatin1 = 8;    // latin1_swedish_ci


// How a case's stored value is read back and what it must be.
enum class Read {
    Hex,     // HEX(v) equals the expected bytes' hex
    Text,    // v as the server prints it equals expected
    Bits,    // BIN(v) padded to the width equals expected
    Double,  // CAST(v AS DOUBLE) reads back as the very double of expected
};

struct Case {
    const char* what;
    const char* sqlType;
    ColumnInfo column;
    std::u16string text;  // the save-mode value text
    bool isNull;
    Read read;
    std::string expected;  // bytes (Hex), text (Text, Bits) or a double's text (Double); "\x01" = NULL
};

const std::string kIsNull = "\x01";

std::vector<Case> Cases() {
    const ColumnInfo text = Column(MYSQL_TYPE_VARCHAR, kUtf8mb4);
    const ColumnInfo blob = Column(MYSQL_TYPE_BLOB, kBinaryCharset);
    const ColumnInfo bin = Column(MYSQL_TYPE_STRING, kBinaryCharset);
    using namespace std::string_literals;
    return {
        {"quotes", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"it's \"q\" ''", false, Read::Hex, "it's \"q\" ''"},
        {"backslashes", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"a\\b\\\\c\\'\\0\\", false, Read::Hex,
         "a\\b\\\\c\\'\\0\\"},
        {"zero bytes and controls", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"a\0b\n\r\t\x1A\x7F"s, false,
         Read::Hex, "a\0b\n\r\t\x1A\x7F"s},
        {"non-BMP and accents", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"\U0001F600 \u00E9\u20AC\U00010348",
         false, Read::Hex, "\xF0\x9F\x98\x80 \xC3\xA9\xE2\x82\xAC\xF0\x90\x8D\x88"},
        {"the text NULL", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"NULL", false, Read::Hex, "NULL"},
        {"NULL", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"NULL", true, Read::Hex, kIsNull},
        {"empty text", "VARCHAR(100) CHARACTER SET utf8mb4", text, u"", false, Read::Hex, ""},
        {"latin1 column", "VARCHAR(100) CHARACTER SET latin1", Column(MYSQL_TYPE_VARCHAR, kLatin1),
         u"\u00E9\u20AC'\\", false, Read::Hex, "\xE9\x80'\\"},
        {"text column", "TEXT CHARACTER SET utf8mb4", Column(MYSQL_TYPE_BLOB, kUtf8mb4), u"line\nline\\n", false,
         Read::Hex, "line\nline\\n"},
        {"enum", "ENUM('a','it''s','NULL') CHARACTER SET utf8mb4", Column(MYSQL_TYPE_ENUM, kUtf8mb4), u"it's",
         false, Read::Text, "it's"},
        {"set", "SET('a','b','c') CHARACTER SET utf8mb4", Column(MYSQL_TYPE_SET, kUtf8mb4), u"a,c", false,
         Read::Text, "a,c"},
        {"binary every byte", "BLOB", blob,
         [] {
             std::u16string s = u"0x";
             static const char16_t d[] = u"0123456789ABCDEF";
             for (int b = 0; b < 256; ++b) {
                 s += d[b >> 4];
                 s += d[b & 15];
             }
             return s;
         }(),
         false, Read::Hex,
         [] {
             std::string s;
             for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
             return s;
         }()},
        {"empty binary", "VARBINARY(10)", Column(MYSQL_TYPE_VARCHAR, kBinaryCharset), u"", false, Read::Hex, ""},
        {"binary with padding", "BINARY(4)", bin, u"0x00610000", false, Read::Hex, "\0a\0\0"s},
        {"geometry", "GEOMETRY", Column(MYSQL_TYPE_GEOMETRY),
         u"0x000000000101000000000000000000F03F0000000000000040", false, Read::Hex,
         "\0\0\0\0\x01\x01\0\0\0\0\0\0\0\0\0\xF0\x3F\0\0\0\0\0\0\0\x40"s},
        {"geometry in the escaped form", "GEOMETRY", Column(MYSQL_TYPE_GEOMETRY),
         u"\\0\\0\\0\\0\x01\x01\\0\\0\\0\\0\\0\\0\\0\\0\\0\u00F0?\\0\\0\\0\\0\\0\\0\\0@", false, Read::Hex,
         "\0\0\0\0\x01\x01\0\0\0\0\0\0\0\0\0\xF0\x3F\0\0\0\0\0\0\0\x40"s},
        {"BIT(1)", "BIT(1)", Column(MYSQL_TYPE_BIT), u"1", false, Read::Bits, "1"},
        {"BIT(10)", "BIT(10)", Column(MYSQL_TYPE_BIT), u"1000000001", false, Read::Bits, "1000000001"},
        {"BIT(64)", "BIT(64)", Column(MYSQL_TYPE_BIT),
         u"1111111111111111111111111111111111111111111111111111111111111110", false, Read::Bits,
         "1111111111111111111111111111111111111111111111111111111111111110"},
        {"BIGINT minimum", "BIGINT", Column(MYSQL_TYPE_LONGLONG), u"-9223372036854775808", false, Read::Text,
         "-9223372036854775808"},
        {"BIGINT UNSIGNED maximum", "BIGINT UNSIGNED", Column(MYSQL_TYPE_LONGLONG), u"18446744073709551615", false,
         Read::Text, "18446744073709551615"},
        {"ZEROFILL text", "INT(6) UNSIGNED ZEROFILL", Column(MYSQL_TYPE_LONG), u"000042", false, Read::Text,
         "000042"},
        {"DECIMAL(65,30)", "DECIMAL(65,30)", Column(MYSQL_TYPE_NEWDECIMAL),
         u"-99999999999999999999999999999999999.999999999999999999999999999999", false, Read::Text,
         "-99999999999999999999999999999999999.999999999999999999999999999999"},
        {"DECIMAL tiny", "DECIMAL(65,30)", Column(MYSQL_TYPE_NEWDECIMAL), u"0.000000000000000000000000000001", false,
         Read::Text, "0.000000000000000000000000000001"},
        {"FLOAT 0.1", "FLOAT", Column(MYSQL_TYPE_FLOAT), u"0.1", false, Read::Double, "0.10000000149011612"},
        {"FLOAT max", "FLOAT", Column(MYSQL_TYPE_FLOAT), u"3.4028235e+38", false, Read::Double,
         "3.4028234663852886e38"},
        {"FLOAT smallest subnormal", "FLOAT", Column(MYSQL_TYPE_FLOAT), u"1e-45", false, Read::Double,
         "1.401298464324817e-45"},
        {"FLOAT 2^24+1 rounded", "FLOAT", Column(MYSQL_TYPE_FLOAT), u"16777216", false, Read::Double, "16777216"},
        // The server keeps no negative zero, whatever the literal.
        {"FLOAT negative zero", "FLOAT", Column(MYSQL_TYPE_FLOAT), u"-0", false, Read::Double, "0"},
        {"DOUBLE 0.1+0.2", "DOUBLE", Column(MYSQL_TYPE_DOUBLE), u"0.30000000000000004", false, Read::Double,
         "0.30000000000000004"},
        {"DOUBLE max", "DOUBLE", Column(MYSQL_TYPE_DOUBLE), u"1.7976931348623157e+308", false, Read::Double,
         "1.7976931348623157e308"},
        {"DOUBLE smallest subnormal", "DOUBLE", Column(MYSQL_TYPE_DOUBLE), u"5e-324", false, Read::Double, "5e-324"},
        {"DOUBLE 2^53+1 neighbour", "DOUBLE", Column(MYSQL_TYPE_DOUBLE), u"9007199254740994", false, Read::Double,
         "9007199254740994"},
        {"DOUBLE display text", "DOUBLE", Column(MYSQL_TYPE_DOUBLE), u"1.500000", false, Read::Double, "1.5"},
        {"DOUBLE negative zero", "DOUBLE", Column(MYSQL_TYPE_DOUBLE), u"-0", false, Read::Double, "0"},
        {"DATE range end", "DATE", Column(MYSQL_TYPE_NEWDATE), u"9999-12-31", false, Read::Text, "9999-12-31"},
        {"zero DATE", "DATE", Column(MYSQL_TYPE_NEWDATE), u"0000-00-00", false, Read::Text, "0000-00-00"},
        {"DATE with zero day", "DATE", Column(MYSQL_TYPE_NEWDATE), u"2010-02-00", false, Read::Text, "2010-02-00"},
        {"negative TIME", "TIME(6)", Column(MYSQL_TYPE_TIME2), u"-838:59:59.000000", false, Read::Text,
         "-838:59:59.000000"},
        {"DATETIME(6)", "DATETIME(6)", Column(MYSQL_TYPE_DATETIME2), u"1000-01-01 00:00:00.000001", false,
         Read::Text, "1000-01-01 00:00:00.000001"},
        {"TIMESTAMP in UTC", "TIMESTAMP(3) NULL", Column(MYSQL_TYPE_TIMESTAMP2), u"2038-01-19 03:14:07.999", false,
         Read::Text, "2038-01-19 03:14:07.999"},
        {"zero TIMESTAMP", "TIMESTAMP NULL", Column(MYSQL_TYPE_TIMESTAMP2), u"0000-00-00 00:00:00", false,
         Read::Text, "0000-00-00 00:00:00"},
        {"YEAR zero", "YEAR", Column(MYSQL_TYPE_YEAR), u"0000", false, Read::Text, "0000"},
        {"YEAR", "YEAR", Column(MYSQL_TYPE_YEAR), u"2155", false, Read::Text, "2155"},
        {"AUTO_INCREMENT zero", "INT NOT NULL AUTO_INCREMENT PRIMARY KEY", Column(MYSQL_TYPE_LONG), u"0", false,
         Read::Text, "0"},
    };
}

std::string ReadExpression(const Case& c) {
    switch (c.read) {
    case Read::Hex: return "HEX(v)";
    case Read::Text: return "v";
    case Read::Bits: return "LPAD(BIN(v), " + std::to_string(std::strlen(c.expected.c_str())) + ", '0')";
    case Read::Double: return "CAST(v AS DOUBLE)";
    }
    return "v";
}

// Every case goes through the literal builder and the INSERT batcher into a private
// server and comes back as the very value: bytes, digits, bits or the same double.
TEST(SqlLiteralServer, ValuesReadBackExactly) {
    if (!privateserver::Server::Available()) GTEST_SKIP() << "mariadbd is not installed";
    const std::vector<Case> cases = Cases();
    std::string script = ScriptHeader() + "CREATE DATABASE lit;\nUSE lit;\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string table = "t" + std::to_string(i);
        script += "CREATE TABLE " + table + " (v " + c.sqlType + ");\n";
        std::string tuple = "(";
        EXPECT_TRUE(AppendSqlLiteral(tuple, c.column, CString(c.text), c.isNull)) << c.what;
        tuple += ")";
        CInsertBatcher batcher(InsertPrefix(CString::FromUtf8(table), {CString(u"v")}),
                               [&](std::string_view statement, std::size_t rows) {
                                   EXPECT_EQ(rows, 1u);
                                   script += statement;
                                   return true;
                               });
        ASSERT_TRUE(batcher.AddRow(tuple));
        ASSERT_TRUE(batcher.Flush());
    }
    script += ScriptFooter();
    std::string query;
    for (std::size_t i = 0; i < cases.size(); ++i)
        query += "SELECT v IS NULL, " + ReadExpression(cases[i]) + " FROM lit.t" + std::to_string(i) + ";\n";

    privateserver::Server server;
    ASSERT_EQ(server.Start(), "");
    std::string out, err;
    ASSERT_EQ(server.Sql(script, out, err), 0) << err << "\n" << script;
    // Raw output: the cells hold no TAB or LF (hex, digits, the controls case is hex).
    ASSERT_EQ(server.Sql(query, out, err, {"--raw"}), 0) << err;
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < out.size();) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), cases.size()) << out;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string& line = lines[i];
        const std::string isNull = line.substr(0, line.find('\t'));
        const std::string value = line.substr(line.find('\t') + 1);
        if (c.expected == kIsNull) {
            EXPECT_EQ(isNull, "1") << c.what;
            continue;
        }
        EXPECT_EQ(isNull, "0") << c.what;
        switch (c.read) {
        case Read::Hex: EXPECT_EQ(value, HexOf(c.expected)) << c.what; break;
        case Read::Text:
        case Read::Bits: EXPECT_EQ(value, c.expected) << c.what; break;
        case Read::Double: {
            double got = 0, want = 0;
            std::from_chars(value.data(), value.data() + value.size(), got);
            std::from_chars(c.expected.data(), c.expected.data() + c.expected.size(), want);
            std::uint64_t a, b;
            std::memcpy(&a, &got, 8);
            std::memcpy(&b, &want, 8);
            EXPECT_EQ(a, b) << c.what << ": server says " << value;
            break;
        }
        }
    }
}

// Seeded random values of every kind the literal builder treats differently, through a
// private server and back: texts of any code point (quotes, backslashes, zero bytes,
// controls, non-BMP), bytes of any value, floats and doubles of any finite bit pattern,
// BIT values of several widths, long DECIMALs and BIGINTs, NULL and the text "NULL".
TEST(SqlLiteralServer, RandomValuesReadBackExactly) {
    if (!privateserver::Server::Available()) GTEST_SKIP() << "mariadbd is not installed";
    std::mt19937_64 random(0x5EED2026);
    auto below = [&](std::uint64_t n) { return random() % n; };
    struct Col {
        const char* sql;
        ColumnInfo column;
        Read read;
        int bits;
    };
    const std::vector<Col> cols = {
        {"VARCHAR(200) CHARACTER SET utf8mb4", Column(MYSQL_TYPE_VARCHAR, kUtf8mb4), Read::Hex, 0},
        {"TEXT CHARACTER SET utf8mb4", Column(MYSQL_TYPE_BLOB, kUtf8mb4), Read::Hex, 0},
        {"VARBINARY(300)", Column(MYSQL_TYPE_VARCHAR, kBinaryCharset), Read::Hex, 0},
        {"DOUBLE", Column(MYSQL_TYPE_DOUBLE), Read::Double, 0},
        {"FLOAT", Column(MYSQL_TYPE_FLOAT), Read::Double, 0},
        {"BIT(1)", Column(MYSQL_TYPE_BIT), Read::Bits, 1},
        {"BIT(13)", Column(MYSQL_TYPE_BIT), Read::Bits, 13},
        {"BIT(64)", Column(MYSQL_TYPE_BIT), Read::Bits, 64},
        {"DECIMAL(40,10)", Column(MYSQL_TYPE_NEWDECIMAL), Read::Text, 0},
        {"BIGINT", Column(MYSQL_TYPE_LONGLONG), Read::Text, 0},
    };
    auto randomText = [&]() {
        static const char16_t kSpecial[] = u"'\\\"\0\n\r\t\x1A%_`";
        std::u16string t;
        const std::size_t n = below(40);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint32_t cp;
            switch (below(4)) {
            case 0: cp = kSpecial[below(sizeof kSpecial / sizeof kSpecial[0] - 1)]; break;
            case 1: cp = 0x20 + static_cast<std::uint32_t>(below(0x5F)); break;
            case 2:
                do cp = static_cast<std::uint32_t>(below(0x10000));
                while (cp >= 0xD800 && cp <= 0xDFFF);
                break;
            default: cp = 0x10000 + static_cast<std::uint32_t>(below(0x100000)); break;
            }
            if (cp >= 0x10000) {
                t += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                t += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                t += static_cast<char16_t>(cp);
            }
        }
        return t;
    };
    struct Value {
        std::u16string text;
        bool null;
        std::string expected;
    };
    const int kRows = 400;
    std::vector<std::vector<Value>> rows;
    for (int r = 0; r < kRows; ++r) {
        std::vector<Value> row;
        for (const Col& c : cols) {
            Value v{u"", below(10) == 0, ""};
            if (c.column.m_nType == MYSQL_TYPE_VARCHAR && c.column.m_nCharset == kBinaryCharset) {
                std::string bytes;
                for (std::size_t i = below(60); i > 0; --i) bytes += static_cast<char>(below(256));
                v.text = bytes.empty() ? u"" : u"0x" + CString::FromUtf8(HexOf(bytes)).Str();
                v.expected = bytes;
            } else if (c.read == Read::Hex) {
                v.text = below(20) == 0 ? u"NULL" : randomText();
                v.expected = CString(v.text).ToUtf8();
            } else if (c.column.m_nType == MYSQL_TYPE_DOUBLE || c.column.m_nType == MYSQL_TYPE_FLOAT) {
                const bool single = c.column.m_nType == MYSQL_TYPE_FLOAT;
                double d;
                do {
                    if (single) {
                        const std::uint32_t raw = static_cast<std::uint32_t>(random());
                        float f;
                        std::memcpy(&f, &raw, 4);
                        d = f;
                    } else {
                        const std::uint64_t raw = random();
                        std::memcpy(&d, &raw, 8);
                    }
                } while (!std::isfinite(d));
                char buffer[64];
                const auto end = single ? std::to_chars(buffer, buffer + 64, static_cast<float>(d)).ptr
                                        : std::to_chars(buffer, buffer + 64, d).ptr;
                v.text = CString::FromUtf8(std::string(buffer, end)).Str();
                // The server keeps no negative zero.
                if (d == 0) d = 0;
                const auto e = std::to_chars(buffer, buffer + 64, d).ptr;
                v.expected = std::string(buffer, e);
            } else if (c.read == Read::Bits) {
                std::string digits;
                for (int b = 0; b < c.bits; ++b) digits += below(2) ? '1' : '0';
                v.text = CString::FromUtf8(digits).Str();
                v.expected = digits;
            } else if (c.column.m_nType == MYSQL_TYPE_NEWDECIMAL) {
                std::string digits = below(2) ? "-" : "";
                std::string whole;
                for (std::size_t i = 1 + below(30); i > 0; --i) whole += static_cast<char>('0' + below(10));
                whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
                std::string frac;
                for (int i = 0; i < 10; ++i) frac += static_cast<char>('0' + below(10));
                digits += whole + "." + frac;
                if (digits == "-0.0000000000") digits = "0.0000000000";
                v.text = CString::FromUtf8(digits).Str();
                v.expected = digits;
            } else {
                const std::string n = std::to_string(static_cast<std::int64_t>(random()));
                v.text = CString::FromUtf8(n).Str();
                v.expected = n;
            }
            if (v.null) v.expected = kIsNull;
            row.push_back(std::move(v));
        }
        rows.push_back(std::move(row));
    }

    std::string script = ScriptHeader() + "CREATE DATABASE lit;\nUSE lit;\nCREATE TABLE r (id INT PRIMARY KEY";
    std::vector<CString> names = {CString(u"id")};
    for (std::size_t c = 0; c < cols.size(); ++c) {
        script += ", c" + std::to_string(c) + " " + cols[c].sql;
        names.push_back(CString::FromUtf8("c" + std::to_string(c)));
    }
    script += ");\n";
    // Small statements, so that the batcher's limits are crossed many times.
    CInsertBatcher batcher(InsertPrefix(CString(u"r"), names),
                           [&](std::string_view statement, std::size_t) {
                               script += statement;
                               return true;
                           },
                           37, 4096);
    for (int r = 0; r < kRows; ++r) {
        std::string tuple = "(" + std::to_string(r);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            tuple += ',';
            EXPECT_TRUE(AppendSqlLiteral(tuple, cols[c].column, CString(rows[r][c].text), rows[r][c].null));
        }
        ASSERT_TRUE(batcher.AddRow(tuple + ")"));
    }
    ASSERT_TRUE(batcher.Flush());
    EXPECT_GT(batcher.StatementsWritten(), 10u);

    std::string select = "SELECT id";
    for (std::size_t c = 0; c < cols.size(); ++c) {
        const std::string n = "c" + std::to_string(c);
        std::string e;
        switch (cols[c].read) {
        case Read::Hex: e = cols[c].column.m_nCharset == kBinaryCharset ? "HEX(" + n + ")" : "HEX(CAST(" + n + " AS CHAR CHARACTER SET utf8mb4))"; break;
        case Read::Bits: e = "LPAD(BIN(" + n + "), " + std::to_string(cols[c].bits) + ", '0')"; break;
        case Read::Double: e = "CAST(" + n + " AS DOUBLE)"; break;
        case Read::Text: e = n; break;
        }
        select += ", IF(" + n + " IS NULL, 'N', CONCAT('v', " + e + "))";
    }
    select += " FROM lit.r ORDER BY id;\n";

    privateserver::Server server;
    ASSERT_EQ(server.Start(), "");
    std::string out, err;
    ASSERT_EQ(server.Sql(script, out, err), 0) << err;
    ASSERT_EQ(server.Sql(select, out, err, {"--raw"}), 0) << err;
    std::size_t start = 0;
    int checked = 0;
    for (int r = 0; r < kRows; ++r) {
        const std::size_t end = out.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        std::vector<std::string> cells(1);
        for (char ch : out.substr(start, end - start)) {
            if (ch == '\t') cells.emplace_back();
            else cells.back() += ch;
        }
        start = end + 1;
        ASSERT_EQ(cells.size(), cols.size() + 1);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            const Value& v = rows[r][c];
            const std::string& got = cells[c + 1];
            if (v.null) {
                EXPECT_EQ(got, "N") << "row " << r << " column " << c;
                continue;
            }
            ASSERT_FALSE(got.empty());
            const std::string value = got.substr(1);
            if (cols[c].read == Read::Hex) {
                EXPECT_EQ(value, HexOf(v.expected)) << "row " << r << " column " << c;
            } else if (cols[c].read == Read::Double) {
                double a = 0, b = 0;
                std::from_chars(value.data(), value.data() + value.size(), a);
                std::from_chars(v.expected.data(), v.expected.data() + v.expected.size(), b);
                EXPECT_EQ(std::memcmp(&a, &b, 8), 0) << "row " << r << " column " << c << ": " << value << " vs "
                                                     << v.expected;
            } else {
                EXPECT_EQ(value, v.expected) << "row " << r << " column " << c;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, kRows * 8);
}

// Texts that cannot stand for the column's value are not passed off as exact: the caller
// learns of the loss, and the statement still loads.
TEST(SqlLiteral, TextsThatAreNotTheValueAreReported) {
    struct Bad {
        const char* what;
        ColumnInfo column;
        std::u16string text;
        std::string written;
    };
    const Bad bad[] = {
        {"binary placeholder", Column(MYSQL_TYPE_VARCHAR, kBinaryCharset), u"0x<Binarydata>", "'0x<Binarydata>'"},
        {"odd hex digits", Column(MYSQL_TYPE_BLOB, kBinaryCharset), u"0xABC", "'0xABC'"},
        {"spatial placeholder", Column(MYSQL_TYPE_GEOMETRY), u"Spatial Data", "NULL"},
        {"all-zero geometry", Column(MYSQL_TYPE_GEOMETRY), u"NULL", "NULL"},
        {"geometry bytes that are no WKB", Column(MYSQL_TYPE_GEOMETRY), u"0x00000000090100000000", "NULL"},
        {"number with text", Column(MYSQL_TYPE_LONG), u"12abc", "'12abc'"},
        {"empty number", Column(MYSQL_TYPE_NEWDECIMAL), u"", "''"},
        {"infinite double", Column(MYSQL_TYPE_DOUBLE), u"inf", "NULL"},
        {"not a number", Column(MYSQL_TYPE_FLOAT), u"nan", "NULL"},
        {"float past its range", Column(MYSQL_TYPE_FLOAT), u"1e39", "NULL"},
        {"BIT as a number", Column(MYSQL_TYPE_BIT), u"12", "NULL"},
        {"lone surrogate", Column(MYSQL_TYPE_VARCHAR, kUtf8mb4), std::u16string(1, u'\xD800'), "'\xEF\xBF\xBD'"},
    };
    for (const Bad& b : bad) {
        std::string out;
        EXPECT_FALSE(AppendSqlLiteral(out, b.column, CString(b.text), false)) << b.what;
        EXPECT_EQ(out, b.written) << b.what;
    }
}

TEST(SqlLiteral, IdentifiersDoubleTheirBackticks) {
    EXPECT_EQ(QuoteIdentifier(CString(u"a`b``")), "`a``b`````");
    EXPECT_EQ(QuoteIdentifier(CString(u"\u00FC \U0001F600")), "`\xC3\xBC \xF0\x9F\x98\x80`");
}

// Statements hold at most the row and byte limits, a row longer than the byte limit
// alone; every row arrives once, in order; a failing sink stops the batcher.
TEST(InsertBatcher, StatementsStayWithinTheirLimits) {
    struct Shape {
        const char* what;
        std::vector<std::size_t> rowSizes;
        std::size_t maxRows, maxBytes;
        std::vector<std::size_t> rowsPerStatement;
    };
    const std::string prefix = "INSERT INTO `t` (`v`) VALUES";
    const Shape shapes[] = {
        {"row limit", std::vector<std::size_t>(2500, 5), 1000, 1 << 20, {1000, 1000, 500}},
        {"exactly the row limit", std::vector<std::size_t>(1000, 5), 1000, 1 << 20, {1000}},
        {"byte limit", std::vector<std::size_t>(7, 300), 1000, 1000, {3, 3, 1}},
        {"a row over the byte limit alone", {10, 2000, 10, 10}, 1000, 1000, {1, 1, 2}},
        {"no rows", {}, 1000, 1000, {}},
    };
    for (const Shape& s : shapes) {
        std::vector<std::size_t> got;
        std::string all;
        std::size_t largest = 0;
        CInsertBatcher b(prefix, [&](std::string_view st, std::size_t rows) {
            got.push_back(rows);
            all += st;
            largest = std::max(largest, st.size());
            return true;
        }, s.maxRows, s.maxBytes);
        std::string expectedRows;
        for (std::size_t i = 0; i < s.rowSizes.size(); ++i) {
            std::string tuple = "(" + std::string(s.rowSizes[i] - 2, static_cast<char>('a' + i % 26)) + ")";
            expectedRows += tuple;
            ASSERT_TRUE(b.AddRow(tuple));
        }
        ASSERT_TRUE(b.Flush());
        EXPECT_EQ(got, s.rowsPerStatement) << s.what;
        EXPECT_EQ(b.RowsWritten(), s.rowSizes.size()) << s.what;
        bool oversized = false;
        for (std::size_t r : s.rowSizes) oversized = oversized || r + prefix.size() + 3 > s.maxBytes;
        if (!oversized) {
            EXPECT_LE(largest, s.maxBytes) << s.what;
        }
        // The rows, in order, once each.
        std::string rows;
        for (std::size_t at = 0; (at = all.find('(', at)) != std::string::npos;) {
            const std::size_t end = all.find(')', at);
            if (all.compare(at, 5, "(`v`)") != 0) rows += all.substr(at, end - at + 1);
            at = end;
        }
        EXPECT_EQ(rows, expectedRows) << s.what;
    }

    int calls = 0;
    CInsertBatcher failing(prefix, [&](std::string_view, std::size_t) { return ++calls < 2; }, 2, 1 << 20);
    bool ok = true;
    for (int i = 0; i < 10 && ok; ++i) ok = failing.AddRow("(1)");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(failing.Failed());
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(failing.RowsWritten(), 2u);
    EXPECT_FALSE(failing.Flush());
}

}  // namespace
