#include "engine/ColumnType.h"

namespace {

// Bytes per character of the column's character set; 0 when unknown (no division).
std::uint32_t BytesPerCharacter(const CTableEngine& engine, const ColumnInfo& column) {
    if (engine.m_nTableCharset == 0) return 0;
    const CollationEntry* entry = engine.m_context.FindCollation(column.m_nCharset);
    return entry ? entry->mbmaxlen : 0;
}

CString WithLength(const char16_t* name, std::uint32_t n) {
    CString text;
    text.Format(u"%s(%d)", name, static_cast<int>(n));
    return text;
}

CString WithPrecision(const char16_t* name, const ColumnInfo& column) {
    CString text;
    text.Format(u"%s(%d,%d)", name, static_cast<int>(column.m_nPrecision), static_cast<int>(column.m_nDecimals));
    return text;
}

CString WithList(const char16_t* name, const ColumnInfo& column) {
    CString text(name);
    if (!column.m_strEnumList.IsEmpty()) text += u"(" + column.m_strEnumList + u")";
    return text;
}

}  // namespace

CString FormatColumnTypeName(const CTableEngine& engine, ColumnInfo column) {
    const std::uint32_t perChar = BytesPerCharacter(engine, column);
    const std::uint32_t n = column.m_nLength;
    const std::uint32_t chars = (n != 0 && perChar != 0) ? n / perChar : n;
    const bool binary = column.m_nCharset == kBinaryCharset;
    switch (column.m_nType) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: return WithPrecision(u"DECIMAL", column);
    case MYSQL_TYPE_TINY: return u"TINYINT";
    case MYSQL_TYPE_SHORT: return u"SMALLINT";
    case MYSQL_TYPE_LONG: return u"INT";
    case MYSQL_TYPE_FLOAT: return column.m_nDecimals != 0 ? WithPrecision(u"FLOAT", column) : CString(u"FLOAT");
    case MYSQL_TYPE_DOUBLE: return column.m_nDecimals != 0 ? WithPrecision(u"DOUBLE", column) : CString(u"DOUBLE");
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2: return u"TIMESTAMP";
    case MYSQL_TYPE_LONGLONG: return u"BIGINT";
    case MYSQL_TYPE_INT24: return u"MEDIUMINT";
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE: return u"DATE";
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2: return u"TIME";
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2: return u"DATETIME";
    case MYSQL_TYPE_YEAR: return u"YEAR";
    case MYSQL_TYPE_VARCHAR: return WithLength(binary ? u"VARBINARY" : u"VARCHAR", chars);
    case MYSQL_TYPE_BIT: return WithLength(u"BIT", n);
    case MYSQL_TYPE_JSON: return u"JSON";
    case MYSQL_TYPE_ENUM: return WithList(u"ENUM", column);
    case MYSQL_TYPE_SET: return WithList(u"SET", column);
    case MYSQL_TYPE_TINY_BLOB: return binary ? u"TINYBLOB" : u"TINYTEXT";
    case MYSQL_TYPE_MEDIUM_BLOB: return binary ? u"MEDIUMBLOB" : u"MEDIUMTEXT";
    case MYSQL_TYPE_LONG_BLOB: return binary ? u"LONGBLOB" : u"LONGTEXT";
    case MYSQL_TYPE_BLOB: return binary ? u"BLOB" : u"TEXT";
    // The variable-length string of definitions older than MySQL 5.0 (.frm version 9 and
    // before): the server names it VARCHAR, or VARBINARY for the binary collation.
    case MYSQL_TYPE_VAR_STRING: return WithLength(binary ? u"VARBINARY" : u"VARCHAR", chars);
    case MYSQL_TYPE_STRING: return binary ? WithLength(u"BINARY", n) : WithLength(u"CHAR", chars);
    case MYSQL_TYPE_GEOMETRY:
        switch (column.m_nGeometryType) {
        case 1: return u"POINT";
        case 2: return u"LINESTRING";
        case 3: return u"POLYGON";
        case 4: return u"MULTIPOINT";
        case 5: return u"MULTILINESTRING";
        case 6: return u"MULTIPOLYGON";
        case 7: return u"GEOMETRYCOLLECTION";
        default: return u"GEOMETRY";
        }
    default: return u"UNKNOWN DATATYPE";
    }
}
