#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

struct App {
    CDralvekOstruneApp app;
    App() {
        app.m_mapCollation[8] = CollationEntry{1, 1, u"latin1_swedish_ci", u"latin1"};
        app.m_bSaveAsScript = 0;
    }
};

class StaticTable : public ::testing::Test {
protected:
    void TearDown() override {
        m_engine.m_fileMyd.Close();
        if (!m_path.empty()) fs::remove(m_path);
    }

    // Writes the data file (bytes at their offsets) and opens it as the engine's .MYD.
    void Open(const std::vector<std::pair<std::uint64_t, Bytes>>& pieces) {
        m_path = fs::temp_directory_path() / ("static-" + std::to_string(::getpid()) + ".MYD");
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        for (const auto& [at, bytes] : pieces) {
            out.seekp(static_cast<std::streamoff>(at));
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        out.close();
        ASSERT_TRUE(m_engine.m_fileMyd.Open(CString::FromUtf8(m_path.string()), CFile::modeRead));
    }

    void AddColumn(const char16_t* name, std::uint32_t type, std::uint32_t recordPos, std::uint32_t length,
                   std::uint32_t charset = 0, bool nullable = false) {
        ColumnInfo c;
        c.m_strName = name;
        c.m_nType = type;
        c.m_nRecordPos = recordPos;
        c.m_nLength = length;
        c.m_nCharset = charset;
        c.m_bNullable = nullable ? 1 : 0;
        c.m_bSigned = 1;
        c.m_nColumn = static_cast<std::uint32_t>(m_engine.m_columns.size());
        m_engine.m_columns.push_back(c);
    }

    // null flags (1 byte), id INT at 2, price DOUBLE NULL at 6, code CHAR(4) NULL at 14.
    void DefineTable() {
        AddColumn(u"id", MYSQL_TYPE_LONG, 2, 11);
        AddColumn(u"price", MYSQL_TYPE_DOUBLE, 6, 22, 0, true);
        AddColumn(u"code", MYSQL_TYPE_STRING, 14, 4, 8, true);
        m_engine.m_recinfo = {{MI_FIELD_NORMAL, 1, 0, 0},
                              {MI_FIELD_NORMAL, 4, 0, 0},
                              {MI_FIELD_NORMAL, 8, 0x02, 0},
                              {MI_FIELD_NORMAL, 4, 0x04, 0}};
        m_engine.m_nNullBytes = 1;
        m_engine.m_nRecordLength = 18;
    }

    std::vector<CString> Row(std::size_t i) const {
        std::vector<CString> v;
        for (const ColumnInfo& c : m_engine.m_rows.at(i)) v.push_back(c.m_strValue);
        return v;
    }

    App m_app;
    AppEngine m_engine;
    fs::path m_path;
};

Bytes Record(std::uint8_t nullFlags, std::uint32_t id, double price, const char* code) {
    Bytes b(18, 0);
    b[0] = nullFlags;
    for (int i = 0; i < 4; ++i) b[1 + i] = static_cast<unsigned char>(id >> (8 * i));
    std::memcpy(b.data() + 5, &price, 8);
    std::memcpy(b.data() + 13, code, 4);
    return b;
}

TEST_F(StaticTable, ColumnsAndNullFlagsOfOneRecord) {
    DefineTable();
    Open({{0, Record(0xF9, 7, 1.5, "abcd")}, {18, Record(0xFF, 8, 0, "    ")}});
    EXPECT_EQ(m_engine.ReadStaticRow(0), 13u) << "where the last column was read";
    EXPECT_EQ(m_engine.ReadStaticRow(18), 18u + 13);
    ASSERT_EQ(m_engine.m_rows.size(), 2u);
    EXPECT_EQ(Row(0), (std::vector<CString>{u"7", u"1.500000", u"abcd"}));
    EXPECT_EQ(Row(1), (std::vector<CString>{u"8", u"NULL", u"NULL"}));
}

TEST_F(StaticTable, RecordCutShortByTheEndOfTheFile) {
    DefineTable();
    Bytes cut = Record(0x01, 0x01020304, 2.0, "wxyz");
    cut.resize(3);  // null flags and half of id
    Open({{0, cut}});
    m_engine.ReadStaticRow(0);
    ASSERT_EQ(m_engine.m_rows.size(), 1u);
    EXPECT_EQ(Row(0), (std::vector<CString>{u"772", u"0.000000", u""}));
}

TEST_F(StaticTable, PositionsAsTheDefinitionGivesThem) {
    // A record position of 0 reads from the record's first byte; one far beyond the
    // record is read from where it points.
    AddColumn(u"first", MYSQL_TYPE_TINY, 0, 4);
    AddColumn(u"far", MYSQL_TYPE_LONG, 3000001, 11);
    m_engine.m_nRecordLength = 5;
    Open({{100, {0x2A, 0, 0, 0, 0}}, {100 + 3000000, {0x10, 0x27, 0, 0}}});
    EXPECT_EQ(m_engine.ReadStaticRow(100), 100u + 3000000);
    EXPECT_EQ(Row(0), (std::vector<CString>{u"42", u"10000"}));

    m_engine.m_columns.clear();
    m_engine.m_rows.clear();
    EXPECT_EQ(m_engine.ReadStaticRow(77), 77u) << "no columns: the given position";
    EXPECT_EQ(m_engine.m_rows.size(), 1u);
}

TEST_F(StaticTable, DamagedLengthsAllocateNoMoreThanAFieldCanHold) {
    // A CHAR whose definition claims four billion bytes and a null bitmap as long: the
    // reader takes what a column can really hold and still yields the row.
    AddColumn(u"id", MYSQL_TYPE_LONG, 2, 11);
    AddColumn(u"huge", MYSQL_TYPE_STRING, 6, 0xFFFFFFF0u, 8, true);
    m_engine.m_nNullBytes = 0xFFFFFFF0u;
    m_engine.m_nRecordLength = 10;
    Open({{0, {0xFF, 5, 0, 0, 0, 'o', 'k'}}});
    m_engine.ReadStaticRow(0);
    ASSERT_EQ(m_engine.m_rows.size(), 1u);
    EXPECT_EQ(m_engine.m_rows[0][0].m_strValue, CString(u"5"));
}

}  // namespace
