#include <gtest/gtest.h>

#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/ColumnType.h"
#include "engine/TableEngine.h"

namespace {

class ColumnTypeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Widths of our own, so the cases do not depend on the installed table.
        app.m_mapCollation.clear();
        app.m_mapCollation[8] = {1, 1, u"latin1_swedish_ci", u"latin1"};
        app.m_mapCollation[33] = {1, 3, u"utf8mb3_general_ci", u"utf8mb3"};
        app.m_mapCollation[45] = {1, 4, u"utf8mb4_general_ci", u"utf8mb4"};
        app.m_mapCollation[63] = {1, 1, u"binary", u"binary"};
        engine.m_nTableCharset = 45;
    }
    CDralvekOstruneApp app;
    AppEngine engine;
};

ColumnInfo Column(std::uint32_t type, std::uint32_t length = 0, std::uint32_t charset = 0) {
    ColumnInfo c;
    c.m_nType = type;
    c.m_nLength = length;
    c.m_nCharset = charset;
    return c;
}

ColumnInfo Numeric(std::uint32_t type, std::uint32_t precision, std::uint32_t decimals) {
    ColumnInfo c = Column(type);
    c.m_nPrecision = precision;
    c.m_nDecimals = decimals;
    return c;
}

ColumnInfo Listed(std::uint32_t type, const char16_t* list) {
    ColumnInfo c = Column(type, 1, 45);
    c.m_strEnumList = list;
    return c;
}

ColumnInfo Geometry(std::uint32_t subtype) {
    ColumnInfo c = Column(MYSQL_TYPE_GEOMETRY, 4, subtype);
    c.m_nGeometryType = subtype;
    return c;
}

TEST_F(ColumnTypeTest, TypeTextOfEveryCode) {
    struct Case {
        ColumnInfo column;
        const char16_t* text;
    };
    const std::vector<Case> cases = {
        {Numeric(MYSQL_TYPE_NEWDECIMAL, 10, 2), u"DECIMAL(10,2)"},
        {Numeric(MYSQL_TYPE_NEWDECIMAL, 65, 30), u"DECIMAL(65,30)"},
        {Numeric(MYSQL_TYPE_DECIMAL, 0, 0), u"DECIMAL(0,0)"},  // an old 11-byte record
        {Column(MYSQL_TYPE_TINY, 4), u"TINYINT"},
        {Column(MYSQL_TYPE_SHORT, 6), u"SMALLINT"},
        {Column(MYSQL_TYPE_LONG, 11), u"INT"},
        {Column(MYSQL_TYPE_INT24, 9), u"MEDIUMINT"},
        {Column(MYSQL_TYPE_LONGLONG, 20), u"BIGINT"},
        {Numeric(MYSQL_TYPE_FLOAT, 0, 0), u"FLOAT"},
        {Numeric(MYSQL_TYPE_FLOAT, 7, 3), u"FLOAT(7,3)"},
        {Numeric(MYSQL_TYPE_DOUBLE, 10, 0), u"DOUBLE"},
        {Numeric(MYSQL_TYPE_DOUBLE, 10, 2), u"DOUBLE(10,2)"},
        {Column(MYSQL_TYPE_TIMESTAMP), u"TIMESTAMP"},
        {Column(MYSQL_TYPE_TIMESTAMP2, 23), u"TIMESTAMP"},
        {Column(MYSQL_TYPE_DATE), u"DATE"},
        {Column(MYSQL_TYPE_NEWDATE), u"DATE"},
        {Column(MYSQL_TYPE_TIME), u"TIME"},
        {Column(MYSQL_TYPE_TIME2, 14), u"TIME"},
        {Column(MYSQL_TYPE_DATETIME), u"DATETIME"},
        {Column(MYSQL_TYPE_DATETIME2, 26), u"DATETIME"},
        {Column(MYSQL_TYPE_YEAR, 4), u"YEAR"},
        {Column(MYSQL_TYPE_VARCHAR, 150, 33), u"VARCHAR(50)"},
        {Column(MYSQL_TYPE_VARCHAR, 200, 45), u"VARCHAR(50)"},
        {Column(MYSQL_TYPE_VARCHAR, 20, 63), u"VARBINARY(20)"},
        {Column(MYSQL_TYPE_VARCHAR, 0, 33), u"VARCHAR(0)"},
        {Column(MYSQL_TYPE_VARCHAR, 7, 999), u"VARCHAR(7)"},  // not in the map: bytes
        {Column(MYSQL_TYPE_BIT, 10, 45), u"BIT(10)"},         // bits, never divided
        {Column(MYSQL_TYPE_JSON), u"JSON"},
        {Listed(MYSQL_TYPE_ENUM, u"'x','y'"), u"ENUM('x','y')"},
        {Listed(MYSQL_TYPE_ENUM, u""), u"ENUM"},
        {Listed(MYSQL_TYPE_SET, u"'a','b c'"), u"SET('a','b c')"},
        {Listed(MYSQL_TYPE_SET, u""), u"SET"},
        {Column(MYSQL_TYPE_TINY_BLOB, 255, 63), u"TINYBLOB"},
        {Column(MYSQL_TYPE_TINY_BLOB, 255, 45), u"TINYTEXT"},
        {Column(MYSQL_TYPE_MEDIUM_BLOB, 0, 63), u"MEDIUMBLOB"},
        {Column(MYSQL_TYPE_MEDIUM_BLOB, 0, 8), u"MEDIUMTEXT"},
        {Column(MYSQL_TYPE_LONG_BLOB, 0, 63), u"LONGBLOB"},
        {Column(MYSQL_TYPE_LONG_BLOB, 0, 46), u"LONGTEXT"},
        {Column(MYSQL_TYPE_BLOB, 0, 63), u"BLOB"},
        {Column(MYSQL_TYPE_BLOB, 0, 8), u"TEXT"},
        // The pre-5.0 variable-length string is named as the server names it.
        {Column(MYSQL_TYPE_VAR_STRING, 30, 33), u"VARCHAR(10)"},
        {Column(MYSQL_TYPE_VAR_STRING, 30, 63), u"VARBINARY(30)"},
        {Column(MYSQL_TYPE_STRING, 40, 45), u"CHAR(10)"},
        {Column(MYSQL_TYPE_STRING, 10, 8), u"CHAR(10)"},
        {Column(MYSQL_TYPE_STRING, 5, 63), u"BINARY(5)"},
        {Column(MYSQL_TYPE_STRING, 0, 45), u"CHAR(0)"},
        {Geometry(0), u"GEOMETRY"},
        {Geometry(1), u"POINT"},
        {Geometry(2), u"LINESTRING"},
        {Geometry(3), u"POLYGON"},
        {Geometry(4), u"MULTIPOINT"},
        {Geometry(5), u"MULTILINESTRING"},
        {Geometry(6), u"MULTIPOLYGON"},
        {Geometry(7), u"GEOMETRYCOLLECTION"},
        {Geometry(9), u"GEOMETRY"},
        {Column(MYSQL_TYPE_NULL), u"UNKNOWN DATATYPE"},
        {Column(100), u"UNKNOWN DATATYPE"},
        {Column(244), u"UNKNOWN DATATYPE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatColumnTypeName(engine, c.column), CString(c.text)) << c.column.m_nType;
    }
}

TEST_F(ColumnTypeTest, LengthsStayInBytesWithoutATableCharset) {
    engine.m_nTableCharset = 0;
    EXPECT_EQ(FormatColumnTypeName(engine, Column(MYSQL_TYPE_VARCHAR, 150, 33)), CString(u"VARCHAR(150)"));
    EXPECT_EQ(FormatColumnTypeName(engine, Column(MYSQL_TYPE_STRING, 40, 45)), CString(u"CHAR(40)"));
}

TEST_F(ColumnTypeTest, BinaryIsNeverDividedEvenWhenTheMapHasAWidth) {
    app.m_mapCollation[63].mbmaxlen = 4;
    EXPECT_EQ(FormatColumnTypeName(engine, Column(MYSQL_TYPE_STRING, 16, 63)), CString(u"BINARY(16)"));
}

}  // namespace
