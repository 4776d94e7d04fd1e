#include "engine/TableDdl.h"

#include <charconv>
#include <cstring>

#include "engine/Decoding.h"
#include "engine/FieldValue.h"
#include "engine/FrmReader.h"
#include "engine/SqlScript.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/CFile.h"

namespace {

constexpr std::uint32_t kHeaderSize = 64;
constexpr std::uint32_t kFormInfoSize = 288;
// A definition is a few hundred KB at most; a larger file is no definition to rebuild.
constexpr std::uint64_t kMaxFrmSize = 16u << 20;
constexpr std::uint32_t kExpressionBlockHeader = 16;
constexpr std::uint32_t kExpressionEntryHeader = 6;
// Table comment byte that sends the comment to the extra segment.
constexpr unsigned char kLongComment = 255;
// Extra2 entries read.
constexpr std::uint8_t kFieldInvisibleUser = 1;
constexpr std::uint8_t kKeyIgnored = 1;
// Definitions written since this server version carry an auto-partitioned byte.
constexpr std::uint32_t kAutoPartitionedSince = 50110;

// Field pack flags.
constexpr std::uint16_t kPackTreatBitAsChar = 0x1000;
constexpr std::uint16_t kPackNoDefault = 0x4000;
// Automatic values of a field record (byte 10).
constexpr std::uint8_t kUniregNextNumber = 15;
constexpr std::uint8_t kUniregTimestampDefault = 21;
constexpr std::uint8_t kUniregTimestampUpdate = 22;
constexpr std::uint8_t kUniregTimestampBoth = 23;
// Key flags and algorithms.
constexpr std::uint16_t kKeyFulltext = 0x0080;
constexpr std::uint16_t kKeySpatial = 0x0400;
constexpr std::uint8_t kKeyAlgBtree = 1;
constexpr std::uint8_t kKeyAlgRtree = 2;
constexpr std::uint8_t kKeyAlgHash = 3;
constexpr std::uint8_t kKeyAlgFulltext = 4;
constexpr std::uint8_t kKeyAlgLongHash = 5;
constexpr std::uint8_t kKeyPartReverse = 0x80;
// Create options of the header.
constexpr std::uint16_t kOptPackRecord = 0x0001;
constexpr std::uint16_t kOptPackKeys = 0x0002;
constexpr std::uint16_t kOptChecksum = 0x0020;
constexpr std::uint16_t kOptDelayKeyWrite = 0x0040;
constexpr std::uint16_t kOptNoPackKeys = 0x0080;
constexpr std::uint16_t kOptStatsPersistent = 0x1000;
constexpr std::uint16_t kOptNoStatsPersistent = 0x2000;

std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(ReadLittleEndian(p, 2)); }
std::uint32_t Le32(const unsigned char* p) { return static_cast<std::uint32_t>(ReadLittleEndian(p, 4)); }

std::string Bytes(const unsigned char* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// Text of the definition's 8-bit strings (comments, expressions) as UTF-8.
std::string Utf8Of(const std::string& bytes) { return Utf8ToCString(bytes.data(), bytes.size()).ToUtf8(); }

bool IsBlobType(std::uint32_t type) {
    return type == MYSQL_TYPE_TINY_BLOB || type == MYSQL_TYPE_MEDIUM_BLOB || type == MYSQL_TYPE_LONG_BLOB ||
           type == MYSQL_TYPE_BLOB;
}

bool IsIntegerType(std::uint32_t type) {
    return type == MYSQL_TYPE_TINY || type == MYSQL_TYPE_SHORT || type == MYSQL_TYPE_INT24 ||
           type == MYSQL_TYPE_LONG || type == MYSQL_TYPE_LONGLONG;
}

bool IsNumericType(std::uint32_t type) {
    return IsIntegerType(type) || type == MYSQL_TYPE_FLOAT || type == MYSQL_TYPE_DOUBLE ||
           type == MYSQL_TYPE_DECIMAL || type == MYSQL_TYPE_NEWDECIMAL;
}

bool HasCharset(const ColumnInfo& c) {
    switch (c.m_nType) {
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
        return c.m_nCharset != kBinaryCharset && c.m_nCharset != 0;
    default:
        return false;
    }
}

std::string Number(std::uint64_t n) { return std::to_string(n); }

std::string WithLength(const char* name, std::uint64_t n) { return std::string(name) + "(" + Number(n) + ")"; }

}  // namespace

bool ReadFrmTableFacts(const CString& path, FrmTableFacts& facts, std::size_t keysWithParser) {
    facts = FrmTableFacts();
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    const std::uint64_t length = file.GetLength();
    if (length < kHeaderSize + 4 || length > kMaxFrmSize) return false;
    std::vector<unsigned char> d(static_cast<std::size_t>(length));
    file.Seek(0, CFile::begin);
    if (file.Read(d.data(), static_cast<std::uint32_t>(length)) != length) return false;
    const unsigned char* h = d.data();
    if (h[0] != 0xFE || h[1] != 0x01) return false;
    const std::uint32_t version = h[2];
    if (version != 6 && version != 7 && version != 9 && version != 10 && version != 11) return false;

    facts.dbType = h[3];
    facts.createOptions = static_cast<std::uint16_t>(Le16(h + 30));
    facts.nullFlagsFirst = h[32] == 0;
    if (facts.nullFlagsFirst) facts.tableCharset = (static_cast<std::uint32_t>(h[41]) << 8) + h[38];
    facts.maxRows = Le32(h + 18);
    facts.minRows = Le32(h + 22);
    facts.avgRowLength = Le32(h + 34);
    facts.transactional = h[39];
    facts.rowType = h[40];
    facts.statsSamplePages = static_cast<std::uint16_t>(Le16(h + 42));
    facts.statsAutoRecalc = h[44];
    facts.keyBlockSize = static_cast<std::uint16_t>(Le16(h + 62));
    const std::uint32_t serverVersion = Le32(h + 51);

    {
        const std::uint64_t end2 = kHeaderSize + Le16(h + 4);
        if (end2 <= length) {
            facts.fieldFlags = FrmExtra2Entry(h + kHeaderSize, end2 - kHeaderSize, kExtra2FieldFlags);
            facts.keyFlags = FrmExtra2Entry(h + kHeaderSize, end2 - kHeaderSize, kExtra2IndexFlags);
        }
    }

    if (Le16(h + 8) == 0) return false;
    const std::uint64_t formPosAt = kHeaderSize + Le16(h + 4);
    if (formPosAt + 4 > length) return false;
    const std::uint64_t formPos = Le32(h + formPosAt);
    if (formPos + kFormInfoSize > length) return false;
    const unsigned char* fi = h + formPos;

    // Default values: a record laid out as the table's rows are.
    const std::uint32_t keyLength14 = Le16(h + 14);
    const std::uint64_t recordOffset = Le16(h + 6) + (keyLength14 == 0xFFFF ? Le32(h + 47) : keyLength14);
    const std::uint32_t recordLength = Le16(h + 16);
    if (recordOffset + recordLength <= length) {
        facts.defaultRecord.assign(h + recordOffset, h + recordOffset + recordLength);
    } else {
        facts.problems.push_back("the default values lie past the end of the definition file");
    }

    bool longComment = false;
    if (fi[46] != kLongComment) {
        facts.comment = Utf8Of(Bytes(fi + 47, std::min<std::size_t>(fi[46], kFormInfoSize - 47)));
    } else {
        longComment = true;
    }

    // Extra segment: connection string, engine name, partitioning, parser names, long
    // comment. Each piece is there only when the bytes before its end allow it.
    const std::uint64_t extraLength = Le32(h + 55);
    const std::uint64_t extraAt = recordOffset + recordLength;
    if (extraLength != 0 && extraAt + extraLength <= length) {
        const unsigned char* p = h + extraAt;
        const unsigned char* end = p + extraLength;
        auto piece16 = [&](std::string& out) {
            if (end - p < 2) return false;
            const std::uint32_t n = Le16(p);
            if (static_cast<std::uint64_t>(end - p - 2) < n) return false;
            out = Bytes(p + 2, n);
            p += 2 + n;
            return true;
        };
        if (piece16(facts.connection) && end - p > 2 && piece16(facts.engineName)) {
            if (end - p > 5) {
                const std::uint32_t n = Le32(p);
                if (static_cast<std::uint64_t>(end - p - 5) >= n) {
                    facts.partitionText = Bytes(p + 4, n);
                    p += 5 + n;
                } else {
                    p = end;
                }
            }
            if (serverVersion >= kAutoPartitionedSince && p < end) ++p;
        }
        // A full-text parser's name per key that names one, then the long comment.
        for (std::size_t k = 0; k < keysWithParser && p < end; ++k) {
            const unsigned char* name = p;
            while (p < end && *p != 0) ++p;
            facts.parserNames.push_back(Bytes(name, static_cast<std::size_t>(p - name)));
            if (p < end) ++p;
        }
        if (longComment) {
            std::string comment;
            if (piece16(comment)) facts.comment = Utf8Of(comment);
            else facts.problems.push_back("the table comment runs past the end of the extra segment");
        }
    } else if (extraLength != 0) {
        facts.problems.push_back("the extra segment (engine name, long comment) lies past the end of the file");
    }

    // Expression block (definition version 11): defaults, checks, generated columns.
    if (version == 11) {
        const std::uint64_t blockLength = static_cast<std::uint64_t>(Le16(fi + 260)) +
                                          static_cast<std::uint64_t>(Le16(fi + 258)) * 17 + Le16(fi + 268) +
                                          Le16(fi + 274) + Le16(fi + 284);
        const std::uint64_t at = formPos + kFormInfoSize + blockLength;
        const std::uint32_t n = Le16(fi + 286);
        if (at + n > length) {
            facts.problems.push_back("the expression block lies past the end of the definition file");
        } else if (n > kExpressionBlockHeader) {
            const unsigned char* e = h + at;
            std::size_t pos = kExpressionBlockHeader;
            while (pos + kExpressionEntryHeader <= n) {
                FrmExpression x;
                x.kind = e[pos];
                x.field = Le16(e + pos + 1);
                const std::size_t exprLength = Le16(e + pos + 3);
                const std::size_t nameLength = e[pos + 5];
                pos += kExpressionEntryHeader;
                if (pos + nameLength + exprLength > n) {
                    facts.problems.push_back("an expression runs past the end of its block");
                    break;
                }
                x.name = Utf8Of(Bytes(e + pos, nameLength));
                x.text = Utf8Of(Bytes(e + pos + nameLength, exprLength));
                pos += nameLength + exprLength;
                facts.expressions.push_back(std::move(x));
            }
        }
    } else if (version >= 9 && Le16(fi + 286) != 0) {
        // Older servers' generated columns: a screen of their own at the same place.
        const std::uint32_t fields = Le16(fi + 258);
        const std::uint64_t recordsAt = formPos + kFormInfoSize + Le16(fi + 260);
        const std::uint64_t at = recordsAt + static_cast<std::uint64_t>(fields) * 17 + Le16(fi + 268) +
                                 Le16(fi + 274) + Le16(fi + 284);
        const std::uint64_t n = Le16(fi + 286);
        OldGeneratedColumns generated;
        if (at > length) {
            facts.problems.push_back("the generated columns lie past the end of the definition file");
        } else if (!ReadOldGeneratedColumns(h + recordsAt, fields, h + at,
                                            static_cast<std::size_t>(std::min<std::uint64_t>(n, length - at)),
                                            serverVersion, generated)) {
            facts.problems.push_back("a generated column's expression cannot be read");
        } else {
            for (OldGeneratedColumn& g : generated.columns) {
                FrmExpression x;
                x.kind = g.stored ? FrmExpression::Stored : FrmExpression::Virtual;
                x.field = g.field;
                x.text = Utf8Of(g.text);
                facts.expressions.push_back(std::move(x));
            }
        }
    }
    return true;
}

bool ReadDbOpt(const CString& path, std::string& charset, std::string& collation) {
    charset.clear();
    collation.clear();
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    const std::uint64_t length = file.GetLength();
    if (length > 65536) return false;
    std::string text(static_cast<std::size_t>(length), '\0');
    if (file.Read(text.data(), static_cast<std::uint32_t>(length)) != length) return false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "default-character-set") charset = value;
            else if (key == "default-collation") collation = value;
        }
        start = end + 1;
    }
    return !charset.empty() || !collation.empty();
}

namespace {

// Names of a character set or collation are plain identifiers; anything else in a
// damaged db.opt is not written into the script.
bool IsPlainName(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

}  // namespace

std::string BuildCreateDatabase(const CString& name, const std::string& charset, const std::string& collation) {
    std::string s = "CREATE DATABASE IF NOT EXISTS " + QuoteIdentifier(name);
    if (IsPlainName(charset)) s += " CHARACTER SET " + charset;
    if (IsPlainName(collation)) s += " COLLATE " + collation;
    s += ";\nUSE " + QuoteIdentifier(name) + ";\n";
    return s;
}

namespace {

struct DdlContext {
    const CTableEngine& engine;
    const FrmTableFacts& facts;
    const DdlCollations& collations;
    std::vector<std::string>& losses;

    const DdlCollation* Collation(std::uint32_t id) const {
        auto it = collations.find(id);
        return it == collations.end() ? nullptr : &it->second;
    }
    std::uint32_t MaxBytes(const ColumnInfo& c) const {
        if (c.m_nCharset == kBinaryCharset || c.m_nCharset == 0) return 1;
        const DdlCollation* k = Collation(c.m_nCharset);
        return k && k->mbmaxlen ? k->mbmaxlen : 1;
    }
};

std::string TypeSql(const DdlContext& ctx, const ColumnInfo& c) {
    const bool binary = c.m_nCharset == kBinaryCharset;
    const std::uint64_t chars = c.m_nLength / ctx.MaxBytes(c);
    std::string t;
    switch (c.m_nType) {
    case MYSQL_TYPE_TINY: t = WithLength("tinyint", c.m_nLength); break;
    case MYSQL_TYPE_SHORT: t = WithLength("smallint", c.m_nLength); break;
    case MYSQL_TYPE_INT24: t = WithLength("mediumint", c.m_nLength); break;
    case MYSQL_TYPE_LONG: t = WithLength("int", c.m_nLength); break;
    case MYSQL_TYPE_LONGLONG: t = WithLength("bigint", c.m_nLength); break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        t = "decimal(" + Number(c.m_nPrecision) + "," + Number(c.m_nDecimals) + ")";
        break;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
        t = c.m_nType == MYSQL_TYPE_FLOAT ? "float" : "double";
        if (c.m_nPrecision != 0) t += "(" + Number(c.m_nPrecision) + "," + Number(c.m_nDecimals) + ")";
        break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE: t = "date"; break;
    case MYSQL_TYPE_YEAR: t = WithLength("year", c.m_nLength); break;
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2: {
        const bool time = c.m_nType == MYSQL_TYPE_TIME || c.m_nType == MYSQL_TYPE_TIME2;
        const bool datetime = c.m_nType == MYSQL_TYPE_DATETIME || c.m_nType == MYSQL_TYPE_DATETIME2;
        t = time ? "time" : datetime ? "datetime" : "timestamp";
        if (const std::uint32_t digits = TemporalFractionDigits(c)) t += "(" + Number(digits) + ")";
        break;
    }
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING: t = binary ? WithLength("varbinary", c.m_nLength) : WithLength("varchar", chars); break;
    case MYSQL_TYPE_STRING: t = binary ? WithLength("binary", c.m_nLength) : WithLength("char", chars); break;
    case MYSQL_TYPE_BIT: t = WithLength("bit", c.m_nLength); break;
    case MYSQL_TYPE_JSON: t = "json"; break;
    case MYSQL_TYPE_TINY_BLOB: t = binary ? "tinyblob" : "tinytext"; break;
    case MYSQL_TYPE_MEDIUM_BLOB: t = binary ? "mediumblob" : "mediumtext"; break;
    case MYSQL_TYPE_LONG_BLOB: t = binary ? "longblob" : "longtext"; break;
    case MYSQL_TYPE_BLOB: t = binary ? "blob" : "text"; break;
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET: {
        t = c.m_nType == MYSQL_TYPE_ENUM ? "enum(" : "set(";
        const std::size_t first = c.m_nEnumFirst;
        const std::size_t count = c.m_nEnumCount;
        if (count == 0 || first + count > ctx.engine.m_enumValues.size()) {
            ctx.losses.push_back("column " + c.m_strName.ToUtf8() + ": its element list is missing from the definition");
            t += "''";
        }
        for (std::size_t e = 0; e < count && first + e < ctx.engine.m_enumValues.size(); ++e) {
            if (e) t += ',';
            AppendQuotedText(t, ctx.engine.m_enumValues[first + e].View());
        }
        t += ')';
        break;
    }
    case MYSQL_TYPE_GEOMETRY:
        switch (c.m_nGeometryType) {
        case 1: t = "point"; break;
        case 2: t = "linestring"; break;
        case 3: t = "polygon"; break;
        case 4: t = "multipoint"; break;
        case 5: t = "multilinestring"; break;
        case 6: t = "multipolygon"; break;
        case 7: t = "geometrycollection"; break;
        default: t = "geometry"; break;
        }
        break;
    default:
        ctx.losses.push_back("column " + c.m_strName.ToUtf8() + ": type code " + Number(c.m_nType) +
                             " has no SQL type; written as longblob");
        t = "longblob";
        break;
    }
    if (IsNumericType(c.m_nType)) {
        if (!c.m_bSigned) t += " unsigned";
        if (c.m_bZeroFill) t += " zerofill";
    }
    if (HasCharset(c)) {
        if (const DdlCollation* k = ctx.Collation(c.m_nCharset)) {
            t += " CHARACTER SET " + k->charset + " COLLATE " + k->collation;
        } else {
            ctx.losses.push_back("column " + c.m_strName.ToUtf8() + ": collation id " + Number(c.m_nCharset) +
                                 " is unknown; the table's default is used");
        }
    }
    return t;
}

// Where each column's null bit and spare BIT bits lie in a record (bit numbers from the
// record's start), in the order the server hands them out.
struct BitPlaces {
    std::vector<std::int64_t> nullBit;
    std::vector<std::int64_t> spareBits;
};

BitPlaces PlaceBits(const CTableEngine& engine, const FrmTableFacts& facts) {
    BitPlaces p;
    const std::size_t n = engine.m_columns.size();
    p.nullBit.assign(n, -1);
    p.spareBits.assign(n, -1);
    std::int64_t bit = (facts.nullFlagsFirst && !(facts.createOptions & kOptPackRecord)) ? 1 : 0;
    // Stored columns first when the definition hands VIRTUAL columns their bits last.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < n; ++i)
        if (!engine.m_bVirtualFlagsLast || !engine.m_columns[i].m_bNotStored) order.push_back(i);
    for (std::size_t i = 0; i < n && engine.m_bVirtualFlagsLast; ++i)
        if (engine.m_columns[i].m_bNotStored) order.push_back(i);
    for (const std::size_t i : order) {
        const ColumnInfo& c = engine.m_columns[i];
        const std::uint16_t pack = i < engine.m_frmFields.size() ? engine.m_frmFields[i].packFlags : 0;
        if (c.m_bNullable) p.nullBit[i] = bit++;
        if (c.m_nType == MYSQL_TYPE_BIT && !(pack & kPackTreatBitAsChar)) {
            p.spareBits[i] = bit;
            bit += c.m_nLength & 7;
        }
    }
    return p;
}

std::uint64_t LoadLe(const unsigned char* b, std::size_t n) { return ReadLittleEndian(b, static_cast<int>(n)); }
std::uint64_t LoadBe(const unsigned char* b, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = v << 8 | b[i];
    return v;
}

std::string TwoDigits(std::uint32_t v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

// Seconds since 1970 as UTC text, the way a session in time zone +00:00 writes it.
CString TimestampText(std::uint64_t seconds, std::uint32_t micros, std::uint32_t digits) {
    if (seconds == 0 && micros == 0) {
        std::string z = "0000-00-00 00:00:00";
        if (digits) z += "." + std::string(digits, '0');
        return CString::FromUtf8(z);
    }
    std::int64_t days = static_cast<std::int64_t>(seconds / 86400);
    const std::uint32_t secs = static_cast<std::uint32_t>(seconds % 86400);
    // Civil date from a day count (days since 1970-01-01).
    days += 719468;
    const std::int64_t era = days / 146097;
    const std::uint32_t doe = static_cast<std::uint32_t>(days - era * 146097);
    const std::uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::uint32_t mp = (5 * doy + 2) / 153;
    const std::uint32_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::uint32_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
    std::string s = std::to_string(year) + "-" + TwoDigits(month) + "-" + TwoDigits(day) + " " +
                    TwoDigits(secs / 3600) + ":" + TwoDigits(secs / 60 % 60) + ":" + TwoDigits(secs % 60);
    if (digits) {
        std::string f = std::to_string(1000000 + micros).substr(1);
        s += "." + f.substr(0, digits);
    }
    return CString::FromUtf8(s);
}

std::string ShortestFloating(double v, bool single) {
    char buffer[64];
    const auto r = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v))
                          : std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

CString TrimTrailingSpaces(CString text) {
    std::u16string s = text.Str();
    while (!s.empty() && s.back() == u' ') s.pop_back();
    return CString(std::move(s));
}

// The value text of column i in the default record, as a save-mode read gives it; false
// when the record does not hold the column.
bool DefaultValueText(const DdlContext& ctx, std::size_t i, const BitPlaces& places, CString& text, bool& isNull) {
    const std::vector<unsigned char>& rec = ctx.facts.defaultRecord;
    const ColumnInfo& c = ctx.engine.m_columns[i];
    isNull = false;
    if (places.nullBit[i] >= 0) {
        const std::uint64_t byte = static_cast<std::uint64_t>(places.nullBit[i]) / 8;
        if (byte >= rec.size()) return false;
        if (rec[byte] & (1u << (places.nullBit[i] % 8))) {
            isNull = true;
            return true;
        }
    }
    if (c.m_nRecordPos == 0 || c.m_nRecordPos > rec.size()) return false;
    const std::size_t at = c.m_nRecordPos - 1;
    auto has = [&](std::size_t n) { return at + n <= rec.size(); };
    const unsigned char* b = rec.data() + at;
    switch (c.m_nType) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2: {
        const std::uint32_t width = FieldValueWidth(c);
        if (width == 0 || !has(width)) return false;
        text = FormatTypedFieldValue(ctx.engine, c, b, width, FieldMember::MyIsamStatic);
        return !text.IsEmpty();
    }
    case MYSQL_TYPE_DECIMAL:
        if (!has(c.m_nLength)) return false;
        text = CString::FromUtf8(std::string(reinterpret_cast<const char*>(b), c.m_nLength));
        text.Trim();
        return true;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE: {
        const bool single = c.m_nType == MYSQL_TYPE_FLOAT;
        if (!has(single ? 4 : 8)) return false;
        double v;
        if (single) {
            const std::uint32_t raw = static_cast<std::uint32_t>(LoadLe(b, 4));
            float f;
            std::memcpy(&f, &raw, 4);
            v = f;
        } else {
            const std::uint64_t raw = LoadLe(b, 8);
            std::memcpy(&v, &raw, 8);
        }
        text = CString::FromUtf8(ShortestFloating(v, single));
        return true;
    }
    case MYSQL_TYPE_YEAR:
        if (!has(1)) return false;
        text = CString::FromUtf8(b[0] ? std::to_string(1900 + b[0]) : std::string("0"));
        return true;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2: {
        const std::uint32_t digits = TemporalFractionDigits(c);
        const std::uint32_t fracBytes = (digits + 1) / 2;
        if (!has(4 + (c.m_nType == MYSQL_TYPE_TIMESTAMP2 ? fracBytes : 0))) return false;
        if (c.m_nType == MYSQL_TYPE_TIMESTAMP) {
            text = TimestampText(LoadLe(b, 4), 0, 0);
            return true;
        }
        std::uint32_t micros = static_cast<std::uint32_t>(LoadBe(b + 4, fracBytes));
        if (fracBytes == 1) micros *= 10000;
        else if (fracBytes == 2) micros *= 100;
        text = TimestampText(LoadBe(b, 4), micros, digits);
        return true;
    }
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_VAR_STRING: {
        if (!has(c.m_nLength)) return false;
        if (c.m_nCharset == kBinaryCharset) {
            text = HexText(b, c.m_nLength);
        } else {
            text = TrimTrailingSpaces(DecodeCharsetText(ctx.engine.m_context, c.m_nCharset, b, c.m_nLength));
        }
        return true;
    }
    case MYSQL_TYPE_VARCHAR: {
        const std::size_t prefix = c.m_nLength > 255 ? 2 : 1;
        if (!has(prefix)) return false;
        const std::size_t n = LoadLe(b, prefix);
        if (n > c.m_nLength || !has(prefix + n)) return false;
        text = c.m_nCharset == kBinaryCharset ? HexText(b + prefix, n) : DecodeCharsetText(ctx.engine.m_context, c.m_nCharset, b + prefix, n);
        return true;
    }
    case MYSQL_TYPE_ENUM: {
        const std::size_t width = c.m_nEnumCount < 256 ? 1 : 2;
        if (!has(width)) return false;
        const std::uint64_t v = LoadLe(b, width);
        if (v == 0) {
            text = CString();
        } else {
            if (v > c.m_nEnumCount || c.m_nEnumFirst + v > ctx.engine.m_enumValues.size()) return false;
            text = ctx.engine.m_enumValues[c.m_nEnumFirst + v - 1];
        }
        return true;
    }
    case MYSQL_TYPE_SET: {
        std::size_t width = (c.m_nEnumCount + 7) / 8;
        if (width > 4) width = 8;
        if (width == 0 || !has(width)) return false;
        const std::uint64_t v = LoadLe(b, width);
        std::u16string s;
        for (std::size_t e = 0; e < c.m_nEnumCount && e < 64; ++e) {
            if (!(v >> e & 1)) continue;
            if (c.m_nEnumFirst + e >= ctx.engine.m_enumValues.size()) return false;
            if (!s.empty()) s += u',';
            s += ctx.engine.m_enumValues[c.m_nEnumFirst + e].View();
        }
        text = CString(std::move(s));
        return true;
    }
    case MYSQL_TYPE_BIT: {
        const std::uint32_t bits = c.m_nLength;
        if (bits == 0 || bits > 64) return false;
        std::uint64_t v = 0;
        if (places.spareBits[i] >= 0) {
            const std::size_t whole = bits / 8;
            if (!has(whole)) return false;
            v = LoadBe(b, whole);
            if (const std::uint32_t spare = bits & 7) {
                const std::uint64_t bit = static_cast<std::uint64_t>(places.spareBits[i]);
                const std::size_t byte = bit / 8;
                if (byte >= rec.size()) return false;
                const std::uint32_t word = rec[byte] | (byte + 1 < rec.size() ? rec[byte + 1] << 8 : 0);
                const std::uint64_t high = (word >> (bit % 8)) & ((1u << spare) - 1);
                v |= high << (8 * whole);
            }
        } else {
            const std::size_t n = (bits + 7) / 8;
            if (!has(n)) return false;
            v = LoadBe(b, n);
        }
        std::u16string s;
        for (std::uint32_t k = bits; k-- > 0;) s += (v >> k & 1) ? u'1' : u'0';
        text = CString(std::move(s));
        return true;
    }
    default:
        return false;
    }
}

// Fraction digits of CURRENT_TIMESTAMP for this column.
std::string CurrentTimestamp(const ColumnInfo& c) {
    const std::uint32_t digits = TemporalFractionDigits(c);
    return digits ? "current_timestamp(" + Number(digits) + ")" : "current_timestamp()";
}

bool IsPrefixable(const ColumnInfo& c) {
    return c.m_nType == MYSQL_TYPE_VARCHAR || c.m_nType == MYSQL_TYPE_VAR_STRING || c.m_nType == MYSQL_TYPE_STRING ||
           IsBlobType(c.m_nType) || c.m_nType == MYSQL_TYPE_GEOMETRY || c.m_nType == MYSQL_TYPE_JSON;
}

}  // namespace

TableDdl BuildCreateTable(const CTableEngine& engine, const FrmTableFacts& facts, const DdlCollations& collations,
                          const CString& tableName) {
    TableDdl out;
    DdlContext ctx{engine, facts, collations, out.losses};
    for (const std::string& p : facts.problems) out.losses.push_back(p);

    // Expressions by column; table checks by themselves.
    const std::size_t n = engine.m_columns.size();
    std::vector<const FrmExpression*> generated(n), defaults(n), checks(n);
    std::vector<const FrmExpression*> tableChecks;
    for (const FrmExpression& x : facts.expressions) {
        if (x.kind == FrmExpression::TableCheck) {
            tableChecks.push_back(&x);
            continue;
        }
        if (x.field >= n) {
            out.losses.push_back("an expression names column " + Number(x.field) + ", which the table does not have");
            continue;
        }
        switch (x.kind) {
        case FrmExpression::Stored:
        case FrmExpression::Virtual: generated[x.field] = &x; break;
        case FrmExpression::Default: defaults[x.field] = &x; break;
        case FrmExpression::FieldCheck: checks[x.field] = &x; break;
        default: break;
        }
    }

    const BitPlaces places = PlaceBits(engine, facts);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnInfo& c = engine.m_columns[i];
        const std::uint8_t visibility = i < facts.fieldFlags.size() ? facts.fieldFlags[i] & 3 : 0;
        // The server's own hidden columns come back with the keys that made them.
        if (visibility > kFieldInvisibleUser) continue;
        const FrmFieldDef field = i < engine.m_frmFields.size() ? engine.m_frmFields[i] : FrmFieldDef();
        std::string line = "  " + QuoteIdentifier(c.m_strName) + " " + TypeSql(ctx, c);
        if (const FrmExpression* g = generated[i]) {
            line += " GENERATED ALWAYS AS (" + g->text + ")";
            line += g->kind == FrmExpression::Stored ? " STORED" : " VIRTUAL";
        } else {
            out.insertColumns.push_back(c.m_strName);
            out.insertColumnIndexes.push_back(static_cast<std::uint32_t>(i));
            line += c.m_bNullable ? " NULL" : " NOT NULL";
            const std::uint8_t unireg = field.uniregCheck;
            if (const FrmExpression* d = defaults[i]) {
                line += " DEFAULT (" + d->text + ")";
            } else if (unireg == kUniregTimestampDefault || unireg == kUniregTimestampBoth) {
                line += " DEFAULT " + CurrentTimestamp(c);
            } else if (unireg != kUniregNextNumber && !(field.packFlags & kPackNoDefault) && !IsBlobType(c.m_nType) &&
                       c.m_nType != MYSQL_TYPE_GEOMETRY && c.m_nType != MYSQL_TYPE_JSON) {
                CString text;
                bool isNull = false;
                if (DefaultValueText(ctx, i, places, text, isNull)) {
                    std::string literal;
                    if (!AppendSqlLiteral(literal, c, text, isNull))
                        out.losses.push_back("column " + c.m_strName.ToUtf8() + ": its default cannot be written exactly");
                    line += " DEFAULT " + literal;
                } else {
                    out.losses.push_back("column " + c.m_strName.ToUtf8() + ": its default value is not readable");
                }
            }
            if (unireg == kUniregTimestampUpdate || unireg == kUniregTimestampBoth)
                line += " ON UPDATE " + CurrentTimestamp(c);
            if (unireg == kUniregNextNumber) line += " AUTO_INCREMENT";
        }
        if (visibility == kFieldInvisibleUser) line += " INVISIBLE";
        if (!c.m_strComment.IsEmpty()) {
            line += " COMMENT ";
            AppendQuotedText(line, c.m_strComment.View());
        }
        if (const FrmExpression* k = checks[i]) line += " CHECK (" + k->text + ")";
        lines.push_back(std::move(line));
    }

    std::size_t parser = 0;
    for (std::size_t k = 0; k < engine.m_frmKeys.size(); ++k) {
        const FrmKeyDef& key = engine.m_frmKeys[k];
        const bool fulltext = (key.flags & kKeyFulltext) || key.algorithm == kKeyAlgFulltext;
        const bool spatial = (key.flags & kKeySpatial) || key.algorithm == kKeyAlgRtree;
        const bool primary = key.unique && key.name.ToUtf8() == "PRIMARY";
        std::string line = "  ";
        if (primary) line += "PRIMARY KEY";
        else if (fulltext) line += "FULLTEXT KEY " + QuoteIdentifier(key.name);
        else if (spatial) line += "SPATIAL KEY " + QuoteIdentifier(key.name);
        else if (key.unique) line += "UNIQUE KEY " + QuoteIdentifier(key.name);
        else line += "KEY " + QuoteIdentifier(key.name);
        line += " (";
        if (key.columns.empty()) out.losses.push_back("key " + key.name.ToUtf8() + " has no readable parts");
        for (std::size_t p = 0; p < key.columns.size(); ++p) {
            const ColumnInfo& c = engine.m_columns[key.columns[p]];
            if (p) line += ',';
            line += QuoteIdentifier(c.m_strName);
            const std::uint32_t length = p < key.partLengths.size() ? key.partLengths[p] : 0;
            if (!fulltext && !spatial && IsPrefixable(c) && length != 0) {
                const bool whole = !IsBlobType(c.m_nType) && c.m_nType != MYSQL_TYPE_GEOMETRY &&
                                   c.m_nType != MYSQL_TYPE_JSON && length >= c.m_nLength;
                if (!whole) line += "(" + Number(length / ctx.MaxBytes(c)) + ")";
            }
            if (p < key.partFlags.size() && (key.partFlags[p] & kKeyPartReverse)) line += " DESC";
        }
        line += ")";
        if (key.algorithm == kKeyAlgBtree) line += " USING BTREE";
        else if (key.algorithm == kKeyAlgHash || key.algorithm == kKeyAlgLongHash) line += " USING HASH";
        if (!key.comment.IsEmpty()) {
            line += " COMMENT ";
            AppendQuotedText(line, key.comment.View());
        }
        if (k < facts.keyFlags.size() && (facts.keyFlags[k] & kKeyIgnored)) line += " IGNORED";
        if (key.flags & kFrmKeyUsesParser) {
            if (parser < facts.parserNames.size() && IsPlainName(facts.parserNames[parser]))
                line += " WITH PARSER " + facts.parserNames[parser];
            else
                out.losses.push_back("key " + key.name.ToUtf8() + ": its full-text parser is not named");
            ++parser;
        }
        lines.push_back(std::move(line));
    }
    for (const FrmExpression* k : tableChecks) {
        std::string line = "  ";
        if (!k->name.empty()) line += "CONSTRAINT " + QuoteIdentifier(CString::FromUtf8(k->name)) + " ";
        line += "CHECK (" + k->text + ")";
        lines.push_back(std::move(line));
    }

    std::string& s = out.sql;
    s = "CREATE TABLE " + QuoteIdentifier(tableName) + " (\n";
    for (std::size_t l = 0; l < lines.size(); ++l) s += lines[l] + (l + 1 < lines.size() ? ",\n" : "\n");
    s += ")";
    std::string engineName = facts.engineName;
    if (engineName.empty()) {
        if (facts.dbType == 9) engineName = "MyISAM";
        else if (facts.dbType == 12) engineName = "InnoDB";
        else out.losses.push_back("the storage engine is not named (engine byte " + Number(facts.dbType) + ")");
    }
    if (IsPlainName(engineName)) s += " ENGINE=" + engineName;
    static const char* const kRowFormats[] = {nullptr, "FIXED", "DYNAMIC", "COMPRESSED", "REDUNDANT", "COMPACT", "PAGE"};
    if (facts.rowType > 0 && facts.rowType < 7) s += std::string(" ROW_FORMAT=") + kRowFormats[facts.rowType];
    const std::uint32_t charset = engine.m_nTableCharset ? engine.m_nTableCharset : facts.tableCharset;
    if (charset != 0) {
        if (const DdlCollation* k = ctx.Collation(charset)) {
            s += " DEFAULT CHARSET=" + k->charset + " COLLATE=" + k->collation;
        } else {
            out.losses.push_back("the table's collation id " + Number(charset) + " is unknown");
        }
    }
    if (facts.createOptions & kOptPackKeys) s += " PACK_KEYS=1";
    if (facts.createOptions & kOptNoPackKeys) s += " PACK_KEYS=0";
    if (facts.createOptions & kOptChecksum) s += " CHECKSUM=1";
    if (facts.createOptions & kOptDelayKeyWrite) s += " DELAY_KEY_WRITE=1";
    if (facts.createOptions & kOptStatsPersistent) s += " STATS_PERSISTENT=1";
    if (facts.createOptions & kOptNoStatsPersistent) s += " STATS_PERSISTENT=0";
    if (facts.statsAutoRecalc == 1) s += " STATS_AUTO_RECALC=1";
    if (facts.statsAutoRecalc == 2) s += " STATS_AUTO_RECALC=0";
    if (facts.statsSamplePages) s += " STATS_SAMPLE_PAGES=" + Number(facts.statsSamplePages);
    if (facts.maxRows) s += " MAX_ROWS=" + Number(facts.maxRows);
    if (facts.minRows) s += " MIN_ROWS=" + Number(facts.minRows);
    if (facts.avgRowLength) s += " AVG_ROW_LENGTH=" + Number(facts.avgRowLength);
    if (facts.keyBlockSize) s += " KEY_BLOCK_SIZE=" + Number(facts.keyBlockSize);
    // Choices of 0 (not stated), 1 (no) and 2 (yes).
    const std::uint8_t transactional = facts.transactional & 3, pageChecksum = (facts.transactional >> 2) & 3;
    if (transactional) s += transactional == 2 ? " TRANSACTIONAL=1" : " TRANSACTIONAL=0";
    if (pageChecksum) s += pageChecksum == 2 ? " PAGE_CHECKSUM=1" : " PAGE_CHECKSUM=0";
    if (!facts.connection.empty()) {
        s += " CONNECTION=";
        AppendQuotedText(s, CString::FromUtf8(facts.connection).View());
    }
    if (!facts.comment.empty()) {
        s += " COMMENT=";
        AppendQuotedText(s, CString::FromUtf8(facts.comment).View());
    }
    if (!facts.partitionText.empty())
        out.losses.push_back("the table's partitioning is not recreated; its rows go into one table");
    s += ";\n";
    return out;
}
