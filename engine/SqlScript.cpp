#include "engine/SqlScript.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/core/CodePage.h"

std::string ScriptHeader() {
    return "SET NAMES utf8mb4;\n"
           "SET TIME_ZONE='+00:00';\n"
           "SET FOREIGN_KEY_CHECKS=0;\n"
           "SET UNIQUE_CHECKS=0;\n"
           "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n"
           // Without it a server whose setting is off gives the first TIMESTAMP column
           // a default and an update rule the definition did not have.
           "SET SESSION explicit_defaults_for_timestamp=1;\n";
}

std::string ScriptFooter() { return "SET FOREIGN_KEY_CHECKS=1;\nSET UNIQUE_CHECKS=1;\n"; }

namespace {

// UTF-8 of one code point.
void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Appends text as UTF-8, each character passed through escape first (which appends it
// and returns true, or returns false to have it appended as it is). False when a lone
// surrogate had to become U+FFFD.
template <typename Escape>
bool AppendUtf8Escaped(std::string& out, std::u16string_view text, Escape escape) {
    bool exact = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
            exact = false;
        }
        if (!escape(out, cp)) AppendUtf8(out, cp);
    }
    return exact;
}

bool EscapeForString(std::string& out, std::uint32_t cp) {
    switch (cp) {
    case 0: out += "\\0"; return true;
    case '\'': out += "\\'"; return true;
    case '\\': out += "\\\\"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    case 0x1A: out += "\\Z"; return true;
    default: return false;
    }
}

bool QuoteText(std::string& out, std::u16string_view text) {
    out += '\'';
    const bool exact = AppendUtf8Escaped(out, text, EscapeForString);
    out += '\'';
    return exact;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(char16_t c) { return IsDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

// [+-]digits[.digits]: what the server prints for integers and DECIMAL.
bool IsPlainNumber(std::u16string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) ++i;
    const std::size_t start = i;
    while (i < t.size() && IsDigit(t[i])) ++i;
    if (i == start) return false;
    if (i < t.size() && t[i] == u'.') {
        const std::size_t frac = ++i;
        while (i < t.size() && IsDigit(t[i])) ++i;
        if (i == frac) return false;
    }
    return i == t.size();
}

// "0x" and an even number of hex digits.
bool IsHexForm(std::u16string_view t) {
    if (t.size() < 2 || t[0] != u'0' || (t[1] != u'x' && t[1] != u'X') || t.size() % 2 != 0) return false;
    for (std::size_t i = 2; i < t.size(); ++i)
        if (!IsHexDigit(t[i])) return false;
    return true;
}

std::string Ascii(std::u16string_view t) {
    std::string s;
    s.reserve(t.size());
    for (char16_t c : t) s += static_cast<char>(c);
    return s;
}

bool IsBlobType(std::uint32_t type) {
    return type == MYSQL_TYPE_TINY_BLOB || type == MYSQL_TYPE_MEDIUM_BLOB || type == MYSQL_TYPE_LONG_BLOB ||
           type == MYSQL_TYPE_BLOB;
}

bool IsBinaryString(const ColumnInfo& c) {
    if (c.m_nCharset != kBinaryCharset) return false;
    return c.m_nType == MYSQL_TYPE_VARCHAR || c.m_nType == MYSQL_TYPE_VAR_STRING || c.m_nType == MYSQL_TYPE_STRING ||
           IsBlobType(c.m_nType);
}

template <typename T>
bool ParseFloating(std::u16string_view t, T& value) {
    const std::string s = Ascii(t);
    // from_chars takes no leading '+'.
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+') ++first;
    const auto r = std::from_chars(first, last, value);
    return r.ec == std::errc() && r.ptr == last && !s.empty();
}

// A GEOMETRY value as an older save mode wrote it: each zero byte as backslash and "0",
// a backslash doubled, every other byte a Windows-1252 character.
bool UnescapeGeometry(std::u16string_view t, std::string& bytes) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == u'\\') {
            if (i + 1 >= t.size()) return false;
            ++i;
            if (t[i] == u'0') bytes += '\0';
            else if (t[i] == u'\\') bytes += '\\';
            else return false;
            continue;
        }
        const std::string b = codepage::Utf16ToAnsi(&t[i], 1);
        if (b.size() != 1 || (b[0] == '?' && t[i] != u'?')) return false;
        bytes += b;
    }
    return true;
}

// The stored form of a geometry: a 4-byte SRID, then WKB (byte order 0 or 1, a 32-bit
// type of 1-7). Anything else the server refuses, failing the whole statement.
bool IsGeometryBytes(const std::string& b) {
    if (b.size() < 9 || (b[4] != 0 && b[4] != 1)) return false;
    const auto* u = reinterpret_cast<const unsigned char*>(b.data());
    const std::uint32_t type = b[4] == 1 ? (u[5] | u[6] << 8 | u[7] << 16 | static_cast<std::uint32_t>(u[8]) << 24)
                                         : (static_cast<std::uint32_t>(u[5]) << 24 | u[6] << 16 | u[7] << 8 | u[8]);
    return type >= 1 && type <= 7;
}

std::string HexBytes(std::u16string_view hex) {
    std::string b;
    for (std::size_t i = 2; i + 1 < hex.size(); i += 2) {
        auto v = [](char16_t c) { return c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10; };
        b += static_cast<char>(v(hex[i]) << 4 | v(hex[i + 1]));
    }
    return b;
}

void AppendHex(std::string& out, const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    out += "0x";
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
}

}  // namespace

std::string QuoteIdentifier(std::u16string_view name) {
    std::string out = "`";
    (void)AppendUtf8Escaped(out, name, [](std::string& o, std::uint32_t cp) {
        if (cp != '`') return false;
        o += "``";
        return true;
    });
    out += '`';
    return out;
}

std::string QuoteIdentifier(const CString& name) { return QuoteIdentifier(name.View()); }

void AppendQuotedText(std::string& out, std::u16string_view text) { (void)QuoteText(out, text); }

std::string DoubleLiteral(double value) {
    char buffer[64];
    // Scientific form: the server reads it as a double, never as an exact DECIMAL.
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    return std::string(buffer, r.ptr);
}

// The float widened to double is exact, and so is its text read back as a double: the
// server's narrowing to FLOAT then meets no rounding.
std::string FloatLiteral(float value) { return DoubleLiteral(static_cast<double>(value)); }

bool AppendSqlLiteral(std::string& out, const ColumnInfo& column, const CString& text, bool isNull) {
    if (isNull) {
        out += "NULL";
        return true;
    }
    const std::u16string_view t = text.View();
    switch (column.m_nType) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_YEAR:
        // YEAR as a number: the text '0' would be the year 2000.
        if (IsPlainNumber(t)) {
            out += Ascii(t);
            return true;
        }
        (void)QuoteText(out, t);
        return false;
    case MYSQL_TYPE_FLOAT: {
        float f = 0;
        if (ParseFloating(t, f) && std::isfinite(f)) {
            out += FloatLiteral(f);
            return true;
        }
        out += "NULL";
        return false;
    }
    case MYSQL_TYPE_DOUBLE: {
        double d = 0;
        if (ParseFloating(t, d) && std::isfinite(d)) {
            out += DoubleLiteral(d);
            return true;
        }
        out += "NULL";
        return false;
    }
    case MYSQL_TYPE_BIT: {
        bool digits = !t.empty();
        for (char16_t c : t) digits = digits && (c == u'0' || c == u'1');
        if (digits) {
            out += "b'" + Ascii(t) + "'";
            return true;
        }
        out += "NULL";
        return false;
    }
    case MYSQL_TYPE_GEOMETRY: {
        if (IsHexForm(t) && IsGeometryBytes(HexBytes(t))) {
            out += Ascii(t);
            return true;
        }
        std::string bytes;
        // An older save mode's escaped bytes; its "NULL" stands for no usable value.
        if (!IsHexForm(t) && UnescapeGeometry(t, bytes) && IsGeometryBytes(bytes)) {
            AppendHex(out, bytes);
            return true;
        }
        out += "NULL";
        return false;
    }
    default:
        break;
    }
    if (IsBinaryString(column)) {
        if (t.empty()) {
            out += "''";
            return true;
        }
        if (IsHexForm(t)) {
            out += Ascii(t);
            return true;
        }
        (void)QuoteText(out, t);
        return false;
    }
    return QuoteText(out, t);
}

CInsertBatcher::CInsertBatcher(std::string prefix, Sink sink, std::size_t maxRows, std::size_t maxBytes)
    : m_prefix(std::move(prefix)), m_sink(std::move(sink)), m_nMaxRows(maxRows ? maxRows : 1), m_nMaxBytes(maxBytes) {}

bool CInsertBatcher::AddRow(std::string_view tuple) {
    if (m_bFailed) return false;
    if (m_nRows > 0) {
        // ",\n" before the tuple, ";\n" after the last one.
        const std::size_t grown = m_statement.size() + 2 + tuple.size() + 2;
        if (m_nRows >= m_nMaxRows || grown > m_nMaxBytes) {
            if (!Flush()) return false;
        }
    }
    if (m_nRows == 0) {
        m_statement.assign(m_prefix);
        m_statement += '\n';
    } else {
        m_statement += ",\n";
    }
    m_statement.append(tuple);
    ++m_nRows;
    return true;
}

bool CInsertBatcher::Flush() {
    if (m_bFailed) return false;
    if (m_nRows == 0) return true;
    m_statement += ";\n";
    const std::size_t rows = m_nRows;
    m_nRows = 0;
    if (!m_sink(m_statement, rows)) {
        m_bFailed = true;
        return false;
    }
    m_nRowsWritten += rows;
    ++m_nStatements;
    // A statement swollen by one very long row does not keep its memory.
    if (m_statement.capacity() > 2 * m_nMaxBytes) std::string().swap(m_statement);
    m_statement.clear();
    return true;
}

std::string InsertPrefix(const CString& table, const std::vector<CString>& columns) {
    std::string s = "INSERT INTO " + QuoteIdentifier(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i) s += ',';
        s += QuoteIdentifier(columns[i]);
    }
    s += ") VALUES";
    return s;
}
