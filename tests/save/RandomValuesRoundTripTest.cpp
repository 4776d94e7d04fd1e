#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/PrivateServer.h"
#include "tools/table-dump/SaveDump.h"

// Random values of every column type written by a real server, its files read back
// without it, saved as a script, loaded into a fresh server: every value the same.

namespace {

namespace fs = std::filesystem;

const std::string kCollationFile = std::string(DRALVEK_RESOURCES) + "/collation (2)";

struct ColumnDef {
    const char* name;
    const char* type;
    // How the comparison query prints it: 'h' HEX(), 'b' BIN(), 'p' as it is.
    char print;
};

const ColumnDef kColumns[] = {
    {"ti", "TINYINT", 'p'},
    {"siu", "SMALLINT UNSIGNED", 'p'},
    {"mi", "MEDIUMINT", 'p'},
    {"i", "INT", 'p'},
    {"bi", "BIGINT", 'p'},
    {"biu", "BIGINT UNSIGNED ZEROFILL", 'p'},
    {"de", "DECIMAL(30,10)", 'p'},
    {"f", "FLOAT", 'p'},
    {"d", "DOUBLE", 'p'},
    {"bt", "BIT(13)", 'b'},
    {"dt", "DATE", 'p'},
    {"dtm", "DATETIME(6)", 'p'},
    {"ts", "TIMESTAMP(3) NULL", 'p'},
    {"tm", "TIME(2)", 'p'},
    {"y", "YEAR", 'p'},
    {"c", "CHAR(10) CHARACTER SET utf8mb4", 'h'},
    {"vc", "VARCHAR(300) CHARACTER SET utf8mb4", 'h'},
    {"vl", "VARCHAR(50) CHARACTER SET latin1", 'h'},
    {"tx", "TEXT CHARACTER SET utf8mb4", 'h'},
    {"ltx", "LONGTEXT CHARACTER SET utf8mb4", 'h'},
    {"bn", "BINARY(8)", 'h'},
    {"vb", "VARBINARY(200)", 'h'},
    {"bl", "BLOB", 'h'},
    {"lbl", "LONGBLOB", 'h'},
    {"en", "ENUM('a','b''q','c\\\\d','')", 'h'},
    {"st", "SET('x','y','z''','w')", 'h'},
    {"g", "GEOMETRY", 'h'},
};


class ValueMaker {
public:
    explicit ValueMaker(std::uint32_t seed) : m_rng(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::int64_t Range(std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(m_rng);
    }

    // UTF-8 text with quotes, backslashes, zero bytes, non-BMP characters, "NULL".
    std::string Text(std::size_t maxChars) {
        static const char* const pieces[] = {"'", "\"", "\\", "" /* a zero byte */, "NULL", "\n", "\t", "%_",
                                             "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF0\x90\x8D\x88", "a",
                                             "Z", " ", ";", "}", "`"};
        if (Pick(12) == 0) return "NULL";
        std::string s;
        const std::size_t n = static_cast<std::size_t>(Range(0, static_cast<std::int64_t>(maxChars)));
        for (std::size_t i = 0; i < n; ++i) {
            const int p = Pick(18);
            if (p == 3) s.push_back('\0');
            else s += pieces[p];
        }
        return s;
    }
    std::string Bytes(std::size_t n) {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(Pick(256));
        return s;
    }

    std::string Literal(const ColumnDef& c, bool big) {
        if (Pick(10) == 0) return "NULL";
        const std::string t = c.type;
        char buf[128];
        if (t == "TINYINT") return std::to_string(Pick(3) == 0 ? (Pick(2) ? 127 : -128) : Range(-128, 127));
        if (t == "SMALLINT UNSIGNED") return std::to_string(Pick(3) == 0 ? 65535 : Range(0, 65535));
        if (t == "MEDIUMINT") return std::to_string(Pick(3) == 0 ? -8388608 : Range(-8388608, 8388607));
        if (t == "INT") return std::to_string(Pick(3) == 0 ? INT32_MIN : Range(INT32_MIN, INT32_MAX));
        if (t == "BIGINT") return std::to_string(Pick(3) == 0 ? (Pick(2) ? INT64_MIN : INT64_MAX) : Range(INT64_MIN, INT64_MAX));
        if (t.rfind("BIGINT UNSIGNED", 0) == 0) {
            const std::uint64_t v = Pick(3) == 0 ? UINT64_MAX : std::uniform_int_distribution<std::uint64_t>()(m_rng);
            return std::to_string(v);
        }
        if (t == "DECIMAL(30,10)") {
            std::snprintf(buf, sizeof buf, "%s%lld.%010lld", Pick(2) ? "-" : "",
                          static_cast<long long>(Range(0, 99999999999999999LL) % 100000000000000000LL),
                          static_cast<long long>(Range(0, 9999999999LL)));
            return buf;
        }
        if (t == "FLOAT") {
            const float vals[] = {3.4028234e38f, -1.17549435e-38f, 1e-45f, 0.1f, -0.0f};
            const float v = Pick(3) == 0 ? vals[Pick(5)] : static_cast<float>(std::uniform_real_distribution<double>(-1e6, 1e6)(m_rng));
            std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
            return buf;
        }
        if (t == "DOUBLE") {
            const double vals[] = {1.7976931348623157e308, -2.2250738585072014e-308, 4.9e-324, 0.1, 1.0 / 3};
            const double v = Pick(3) == 0 ? vals[Pick(5)] : std::uniform_real_distribution<double>(-1e15, 1e15)(m_rng);
            std::snprintf(buf, sizeof buf, "%.17g", v);
            return buf;
        }
        if (t == "BIT(13)") return "b'" + [&] {
            std::string b;
            for (int i = 0; i < 13; ++i) b += Pick(2) ? '1' : '0';
            return b;
        }() + "'";
        if (t == "DATE") {
            std::snprintf(buf, sizeof buf, "'%04lld-%02lld-%02lld'", static_cast<long long>(Pick(4) == 0 ? (Pick(2) ? 1000 : 9999) : Range(1000, 9999)),
                          static_cast<long long>(Range(1, 12)), static_cast<long long>(Range(1, 28)));
            return buf;
        }
        if (t == "DATETIME(6)") {
            std::snprintf(buf, sizeof buf, "'%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%06lld'",
                          static_cast<long long>(Range(1000, 9999)), static_cast<long long>(Range(1, 12)),
                          static_cast<long long>(Range(1, 28)), static_cast<long long>(Range(0, 23)),
                          static_cast<long long>(Range(0, 59)), static_cast<long long>(Range(0, 59)),
                          static_cast<long long>(Range(0, 999999)));
            return buf;
        }
        if (t == "TIMESTAMP(3) NULL") {
            // Seconds since the epoch, inside the type's range; loaded in UTC.
            const long long s = Pick(5) == 0 ? (Pick(2) ? 1 : 2147483647) : Range(1, 2147483647);
            std::snprintf(buf, sizeof buf, "FROM_UNIXTIME(%lld.%03lld)", s, static_cast<long long>(Range(0, 999)));
            return buf;
        }
        if (t == "TIME(2)") {
            std::snprintf(buf, sizeof buf, "'%s%03lld:%02lld:%02lld.%02lld'", Pick(2) ? "-" : "",
                          static_cast<long long>(Range(0, 838)), static_cast<long long>(Range(0, 59)),
                          static_cast<long long>(Range(0, 59)), static_cast<long long>(Range(0, 99)));
            return buf;
        }
        if (t == "YEAR") return std::to_string(Pick(5) == 0 ? 0 : Range(1901, 2155));
        if (t.rfind("CHAR(10)", 0) == 0) return "_utf8mb4 X'" + HexOf(TrimChars(Text(10), 10)) + "'";
        if (t.rfind("VARCHAR(300)", 0) == 0) return "_utf8mb4 X'" + HexOf(TrimChars(Text(300), 300)) + "'";
        if (t.rfind("VARCHAR(50)", 0) == 0) return "_latin1 X'" + HexOf(Bytes(static_cast<std::size_t>(Range(0, 50)))) + "'";
        if (t.rfind("TEXT", 0) == 0) return "_utf8mb4 X'" + HexOf(TrimChars(Text(big ? 8000 : 200), 16000)) + "'";
        if (t.rfind("LONGTEXT", 0) == 0) return "_utf8mb4 X'" + HexOf(Text(big ? 40000 : 100)) + "'";
        if (t == "BINARY(8)") return "X'" + HexOf(Bytes(static_cast<std::size_t>(Range(0, 8)))) + "'";
        if (t == "VARBINARY(200)") return "X'" + HexOf(Bytes(static_cast<std::size_t>(Range(0, 200)))) + "'";
        if (t == "BLOB") return "X'" + HexOf(Bytes(static_cast<std::size_t>(Range(0, big ? 60000 : 300)))) + "'";
        if (t == "LONGBLOB") return "X'" + HexOf(Bytes(static_cast<std::size_t>(Range(0, big ? 200000 : 100)))) + "'";
        if (t.rfind("ENUM", 0) == 0) {
            const char* v[] = {"'a'", "'b''q'", "'c\\\\d'", "''"};
            return v[Pick(4)];
        }
        if (t.rfind("SET", 0) == 0) {
            std::string v;
            const char* e[] = {"x", "y", "w"};
            for (const char* x : e)
                if (Pick(2)) v += (v.empty() ? "" : ",") + std::string(x);
            return "'" + v + "'";
        }
        if (t == "GEOMETRY") {
            std::snprintf(buf, sizeof buf, "ST_GeomFromText('POINT(%.17g %.17g)')",
                          std::uniform_real_distribution<double>(-180, 180)(m_rng),
                          std::uniform_real_distribution<double>(-90, 90)(m_rng));
            return Pick(3) ? buf : "ST_GeomFromText('LINESTRING(0 0,1.5 2.25,-3 1e10)')";
        }
        return "NULL";
    }

private:
    // At most n characters of UTF-8 text s.
    static std::string TrimChars(const std::string& s, std::size_t n) {
        std::size_t chars = 0, i = 0;
        while (i < s.size() && chars < n) {
            const unsigned char b = static_cast<unsigned char>(s[i]);
            i += b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            ++chars;
        }
        return s.substr(0, i);
    }
    std::mt19937 m_rng;
};

std::string PrintQuery(const std::string& table) {
    std::string select = "id";
    for (const ColumnDef& c : kColumns) {
        const std::string n = std::string("`") + c.name + "`";
        const std::string e = c.print == 'h' ? "HEX(" + n + ")" : c.print == 'b' ? "BIN(" + n + ")" : n;
        select += ", IF(" + n + " IS NULL, 'N', CONCAT('v', " + e + "))";
    }
    return "SELECT " + select + " FROM prop." + table + " ORDER BY id;\n";
}


TEST(RandomValuesRoundTrip, EveryColumnTypeSavedFromTheFilesReloadsToTheSameValues) {
    if (!privateserver::Server::Available()) GTEST_SKIP() << "mariadbd is not installed";
    const std::uint32_t seed = [] {
        const char* s = std::getenv("DRALVEK_SEED");
        return s ? static_cast<std::uint32_t>(std::strtoul(s, nullptr, 10)) : 20261210u;
    }();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (DRALVEK_SEED repeats it)");
    ValueMaker maker(seed);

    std::string ddl = "SET sql_mode='NO_ENGINE_SUBSTITUTION';\nCREATE DATABASE prop CHARACTER SET utf8mb4;\n";
    const char* tables[] = {"t_innodb", "t_myisam"};
    const char* engines[] = {"InnoDB", "MyISAM"};
    for (int k = 0; k < 2; ++k) {
        ddl += std::string("CREATE TABLE prop.") + tables[k] + " (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY";
        for (const ColumnDef& c : kColumns) ddl += std::string(", `") + c.name + "` " + c.type;
        ddl += std::string(") ENGINE=") + engines[k] + ";\n";
    }
    std::string rows;
    for (int k = 0; k < 2; ++k) {
        for (int r = 0; r < 1300; ++r) {
            const bool big = r % 97 == 5;
            std::string tuple;
            for (const ColumnDef& c : kColumns) tuple += (tuple.empty() ? "" : ",") + maker.Literal(c, big);
            rows += std::string("INSERT INTO prop.") + tables[k] + " (";
            bool first = true;
            for (const ColumnDef& c : kColumns) {
                rows += (first ? "`" : ",`") + std::string(c.name) + "`";
                first = false;
            }
            rows += ") VALUES (" + tuple + ");\n";
        }
    }

    privateserver::Server original;
    ASSERT_EQ(original.Start(), "");
    std::string out, err;
    ASSERT_EQ(original.Sql(ddl + rows, out, err), 0) << err;
    std::vector<std::string> wanted;
    for (const char* t : tables) {
        ASSERT_EQ(original.Sql(PrintQuery(t), out, err), 0) << err;
        wanted.push_back(out);
    }
    original.Shutdown();

    privateserver::TempFolder scripts("prop");
    std::ostringstream log, errors;
    {
        // The saved TIMESTAMPs must not depend on the local zone.
        const char* tz = std::getenv("TZ");
        const std::string old = tz ? tz : "";
        setenv("TZ", "Australia/Lord_Howe", 1);
        tzset();
        EXPECT_EQ(RunSaveDumpCommand({"--script", scripts.Path().string(), original.DataDir().string(), "prop"}, log,
                                     errors, kCollationFile),
                  0)
            << errors.str();
        if (tz) setenv("TZ", old.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

    privateserver::Server reloaded;
    ASSERT_EQ(reloaded.Start(), "");
    ASSERT_EQ(reloaded.Sql(privateserver::ReadWhole(scripts.Path() / "prop.sql"), out, err), 0) << err;
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(reloaded.Sql(PrintQuery(tables[k]), out, err), 0) << err;
        EXPECT_EQ(out.size(), wanted[k].size()) << tables[k];
        // The first row that differs, rather than two huge texts.
        std::istringstream a(out), b(wanted[k]);
        std::string la, lb;
        int line = 0;
        while (std::getline(b, lb)) {
            std::getline(a, la);
            ++line;
            if (la != lb) {
                ADD_FAILURE() << tables[k] << " row " << line << "\n got: " << la.substr(0, 2000)
                              << "\nwant: " << lb.substr(0, 2000);
                break;
            }
        }
    }
}

}  // namespace
