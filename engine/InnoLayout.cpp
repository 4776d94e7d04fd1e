#include "engine/InnoLayout.h"

#include <algorithm>

#include "engine/FieldValue.h"
#include "engine/InnoDictionary.h"
#include "engine/InnoPage.h"

namespace {

constexpr std::uint32_t kLatin1SwedishCi = 8;
constexpr std::uint32_t kPrtypeLongTrueVarchar = 0x1000;

bool IsBinaryCharset(const ColumnInfo& c) { return c.m_nCharset == kBinaryCharset; }

// Fractional-second digits of a temporal column, from its display width.
std::uint32_t FractionDigits(const ColumnInfo& c) { return TemporalFractionDigits(c); }

// The older TIME, DATETIME and TIMESTAMP codes with fractional seconds are MariaDB's
// own high-resolution forms: byte strings, not integers.
bool IsHiresTemporal(const ColumnInfo& c) {
    return (c.m_nType == MYSQL_TYPE_TIME || c.m_nType == MYSQL_TYPE_DATETIME || c.m_nType == MYSQL_TYPE_TIMESTAMP) &&
           FractionDigits(c) > 0;
}

bool IsStringType(std::uint32_t type) {
    switch (type) {
    case MYSQL_TYPE_VARCHAR: case MYSQL_TYPE_VAR_STRING: case MYSQL_TYPE_STRING: case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB: case MYSQL_TYPE_LONG_BLOB: case MYSQL_TYPE_BLOB: case MYSQL_TYPE_JSON:
    case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET:
        return true;
    default:
        return false;
    }
}

// The type code the server keeps in the low byte of the precise type.
std::uint32_t StoredTypeCode(std::uint32_t type) {
    switch (type) {
    case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET: return MYSQL_TYPE_STRING;
    case MYSQL_TYPE_NEWDATE: return MYSQL_TYPE_DATE;
    case MYSQL_TYPE_TIME2: return MYSQL_TYPE_TIME;
    case MYSQL_TYPE_DATETIME2: return MYSQL_TYPE_DATETIME;
    case MYSQL_TYPE_TIMESTAMP2: return MYSQL_TYPE_TIMESTAMP;
    case MYSQL_TYPE_TINY_BLOB: case MYSQL_TYPE_MEDIUM_BLOB: case MYSQL_TYPE_LONG_BLOB: case MYSQL_TYPE_JSON:
        return MYSQL_TYPE_BLOB;
    default: return type & 0xFFu;
    }
}

// The server stores these integer-coded columns without the sign flip.
bool IsUnsignedStorage(const ColumnInfo& c) {
    switch (c.m_nType) {
    case MYSQL_TYPE_TINY: case MYSQL_TYPE_SHORT: case MYSQL_TYPE_INT24: case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG: case MYSQL_TYPE_FLOAT: case MYSQL_TYPE_DOUBLE: case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_DECIMAL:
        return c.m_bSigned == 0;
    case MYSQL_TYPE_YEAR: case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET: case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2: case MYSQL_TYPE_BIT:
        return true;
    default:
        return false;
    }
}

bool IsCharacterMtype(std::uint32_t mtype) {
    switch (mtype) {
    case INNO_MTYPE_VARCHAR: case INNO_MTYPE_CHAR: case INNO_MTYPE_BLOB: case INNO_MTYPE_VARMYSQL:
    case INNO_MTYPE_MYSQL:
        return true;
    default:
        return false;
    }
}

InnoColumnDef SystemColumn(const char16_t* name, std::uint32_t len) {
    InnoColumnDef def;
    def.mtype = INNO_MTYPE_SYS;
    def.prtype = INNO_PRTYPE_NOT_NULL;
    def.len = len;
    def.fixedLength = len;
    def.column.m_strName = name;
    return def;
}

}  // namespace

std::uint32_t MySqlTypeToInnoMtype(ColumnInfo c) {
    switch (c.m_nType) {
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
        if (IsBinaryCharset(c)) return INNO_MTYPE_BINARY;
        return c.m_nCharset == kLatin1SwedishCi ? INNO_MTYPE_VARCHAR : INNO_MTYPE_VARMYSQL;
    case MYSQL_TYPE_STRING:
        if (IsBinaryCharset(c)) return INNO_MTYPE_FIXBINARY;
        return c.m_nCharset == kLatin1SwedishCi ? INNO_MTYPE_CHAR : INNO_MTYPE_MYSQL;
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
        return IsHiresTemporal(c) ? INNO_MTYPE_FIXBINARY : INNO_MTYPE_INT;
    case MYSQL_TYPE_BIT:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_TIMESTAMP2:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIME2:
        return INNO_MTYPE_FIXBINARY;
    case MYSQL_TYPE_FLOAT: return INNO_MTYPE_FLOAT;
    case MYSQL_TYPE_DOUBLE: return INNO_MTYPE_DOUBLE;
    case MYSQL_TYPE_DECIMAL: return INNO_MTYPE_DECIMAL;
    case MYSQL_TYPE_GEOMETRY: return INNO_MTYPE_GEOMETRY;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_JSON:
        return INNO_MTYPE_BLOB;
    default:
        // Integers, ENUM, SET, YEAR and the older date and time forms.
        return INNO_MTYPE_INT;
    }
}

std::uint32_t MySqlTypeStoredLength(ColumnInfo c) {
    switch (c.m_nType) {
    // Only the length bytes of a BLOB lie in the record's column; the server records
    // the type by their count plus 8.
    case MYSQL_TYPE_TINY_BLOB: return 9;
    case MYSQL_TYPE_BLOB: return 10;
    case MYSQL_TYPE_MEDIUM_BLOB: return 11;
    case MYSQL_TYPE_LONG_BLOB: case MYSQL_TYPE_JSON: case MYSQL_TYPE_GEOMETRY: return 12;
    default: {
        // Fixed widths come from the one table the value formatter reads them by.
        const std::uint32_t width = FieldValueWidth(c);
        return width ? width : c.m_nLength;
    }
    }
}

std::uint32_t InnoFixedLength(std::uint32_t mtype, std::uint32_t prtype, std::uint32_t len,
                              std::uint32_t mbminmaxlen) {
    if (len > INNO_MAX_FIXED_LEN) return 0;
    switch (mtype) {
    case INNO_MTYPE_CHAR: case INNO_MTYPE_FIXBINARY: case INNO_MTYPE_INT: case INNO_MTYPE_SYS:
    case INNO_MTYPE_FLOAT: case INNO_MTYPE_DOUBLE:
        return len;
    case INNO_MTYPE_MYSQL: {
        // A character set of one width per character keeps CHAR fixed (latin1, ucs2,
        // utf32); one of varying width stores it with a length.
        const std::uint32_t mbmin = mbminmaxlen % 5, mbmax = mbminmaxlen / 5;
        return (prtype & INNO_PRTYPE_BINARY) || (mbmax != 0 && mbmin == mbmax) ? len : 0;
    }
    default:
        return 0;
    }
}

std::vector<std::uint32_t> ClusteredKeyColumns(const CTableEngine& e) {
    auto valid = [&](const FrmKeyDef& key) {
        if (key.columns.empty()) return false;
        for (std::uint32_t c : key.columns)
            if (c >= e.m_columns.size()) return false;
        return true;
    };
    for (const FrmKeyDef& key : e.m_frmKeys)
        if (key.name.CompareNoCase(u"PRIMARY") == 0) return valid(key) ? key.columns : std::vector<std::uint32_t>();
    for (const FrmKeyDef& key : e.m_frmKeys) {
        if (!key.unique || !valid(key)) continue;
        if (std::none_of(key.columns.begin(), key.columns.end(),
                         [&](std::uint32_t c) { return e.m_columns[c].m_bNullable != 0; }))
            return key.columns;
    }
    // Without the definition's keys only the PRIMARY flags of the columns are known.
    std::vector<std::uint32_t> result;
    if (e.m_frmKeys.empty())
        for (std::uint32_t i = 0; i < e.m_columns.size(); ++i)
            if (e.m_columns[i].m_bPrimaryKey) result.push_back(i);
    return result;
}

std::uint64_t CTableEngine::FindTableId(CString name) {
    name.Replace(u'\\', u'/');
    for (const SysTablesRecord& r : m_sysTables)
        if (r.NAME == name) return r.ID;
    return 0;
}

bool CTableEngine::BuildColumnsFromDictionary(std::uint64_t tableId) {
    for (const SysColumnsRecord& r : m_sysColumns)
        if (r.TABLE_ID == tableId) m_tableSysColumns.push_back(r);
    // A table the dictionary lists without a single column record (its SYS_COLUMNS
    // pages lost) would be cut into system fields only: the definition knows the columns.
    if (m_tableSysColumns.empty() && !m_columns.empty()) return BuildColumnsFromFrm();
    // The dictionary numbers the stored columns only; a VIRTUAL one has a record of its
    // own whose position is no stored column's.
    std::uint32_t storedPos = 0;
    for (const ColumnInfo& column : m_columns) {
        if (column.m_bNotStored) continue;
        const std::uint32_t pos = storedPos++;
        auto it = std::find_if(m_tableSysColumns.begin(), m_tableSysColumns.end(),
                               [&](const SysColumnsRecord& r) { return r.POS == pos; });
        if (it == m_tableSysColumns.end()) continue;
        InnoColumnEntry entry;
        entry.def.mtype = it->MTYPE;
        entry.def.prtype = it->PRTYPE;
        entry.def.len = it->LEN;
        entry.def.precision = it->PREC;
        entry.def.ordinal = it->POS;
        entry.def.mbminmaxlen = it->mbminmaxlen;
        entry.def.fixedLength = InnoFixedLength(it->MTYPE, it->PRTYPE, it->LEN, it->mbminmaxlen);
        entry.def.column = column;
        m_innoEntries.push_back(std::move(entry));
    }
    m_tableSysColumns.clear();
    return OrderClusteredColumns();
}

bool CTableEngine::BuildColumnsFromFrm() {
    for (std::uint32_t i = 0; i < m_columns.size(); ++i) {
        const ColumnInfo& c = m_columns[i];
        if (c.m_bNotStored) continue;
        InnoColumnEntry entry;
        InnoColumnDef& d = entry.def;
        d.mtype = MySqlTypeToInnoMtype(c);
        d.len = MySqlTypeStoredLength(c);
        // The precise type the server would have written: type code, NULL and sign
        // flags, binary flag (every non-text type) and collation.
        d.prtype = StoredTypeCode(c.m_nType) | (c.m_bNullable ? 0 : INNO_PRTYPE_NOT_NULL);
        if (IsUnsignedStorage(c)) d.prtype |= INNO_PRTYPE_UNSIGNED;
        const bool stringType = IsStringType(c.m_nType);
        if (!stringType || IsBinaryCharset(c)) {
            if (c.m_nType != MYSQL_TYPE_ENUM && c.m_nType != MYSQL_TYPE_SET) d.prtype |= INNO_PRTYPE_BINARY;
        }
        if ((c.m_nType == MYSQL_TYPE_VARCHAR || c.m_nType == MYSQL_TYPE_VAR_STRING) && c.m_nLength > 255)
            d.prtype |= kPrtypeLongTrueVarchar;
        if (stringType && c.m_nType != MYSQL_TYPE_ENUM && c.m_nType != MYSQL_TYPE_SET) {
            if (c.m_nCharset <= 0x7FFF) d.prtype |= c.m_nCharset << 16;
        } else if (c.m_nType == MYSQL_TYPE_BIT) {
            d.prtype |= kBinaryCharset << 16;
        } else if (d.mtype == INNO_MTYPE_FIXBINARY) {
            d.prtype |= kLatin1SwedishCi << 16;  // numbers and times count as latin1 there
        }
        if (IsCharacterMtype(d.mtype) || d.mtype == INNO_MTYPE_FIXBINARY || d.mtype == INNO_MTYPE_BINARY) {
            std::uint32_t mbmin = 0, mbmax = 0;
            LookupCollation(m_context, (d.prtype >> 16) & 0x7FFFu, mbmin, mbmax);
            d.mbminmaxlen = mbmin + 5 * mbmax;
        }
        d.precision = c.m_nPrecision;
        d.ordinal = i;
        d.fixedLength = InnoFixedLength(d.mtype, d.prtype, d.len, d.mbminmaxlen);
        d.column = c;
        m_innoEntries.push_back(std::move(entry));
    }
    return OrderClusteredColumns();
}

bool CTableEngine::OrderClusteredColumns() {
    std::vector<InnoColumnDef> key;
    for (std::uint32_t column : ClusteredKeyColumns(*this)) {
        for (InnoColumnEntry& entry : m_innoEntries) {
            if (entry.placed || entry.def.column.m_nColumn != column) continue;
            key.push_back(entry.def);
            entry.placed = 1;
            break;
        }
    }
    if (key.empty()) m_innoColumns.push_back(SystemColumn(u"DB_ROW_ID", 6));
    for (InnoColumnDef& def : key) m_innoColumns.push_back(std::move(def));
    m_innoColumns.push_back(SystemColumn(u"DB_TRX_ID", 6));
    m_innoColumns.push_back(SystemColumn(u"DB_ROLL_PTR", 7));
    for (InnoColumnEntry& entry : m_innoEntries)
        if (!entry.placed) m_innoColumns.push_back(std::move(entry.def));
    m_innoEntries.clear();
    return true;
}

std::uint32_t CTableEngine::FindClusteredRootPage(std::uint64_t tableId) {
    // The clustered index carries type bit 1; a UNIQUE secondary index (type 2) listed
    // first must not be taken for it.
    const SysIndexesRecord* fallback = nullptr;
    for (const SysIndexesRecord& r : m_sysIndexes) {
        if (r.TABLE_ID != tableId || r.TYPE == 0) continue;
        if (r.TYPE & 1u) return r.PAGE_NO == 0xFFFFFFFFu ? 0 : r.PAGE_NO;
        if (!fallback) fallback = &r;
    }
    if (!fallback || fallback->PAGE_NO == 0xFFFFFFFFu) return 0;
    return fallback->PAGE_NO;
}

bool FindNodePtrChildOffset(const CTableEngine& e, const unsigned char* bytes, std::uint16_t origin,
                            std::uint32_t& offset, std::uint32_t pageSize) {
    offset = 0;
    const CInnoPageView page(bytes, pageSize);
    std::uint32_t nullable = 0;
    for (const InnoColumnDef& d : e.m_innoColumns)
        if (!(d.prtype & INNO_PRTYPE_NOT_NULL)) ++nullable;
    // After an instant ADD COLUMN node pointers keep the null bitmap of the core fields.
    const std::uint32_t nullBytes = e.m_innoInstant.active ? e.m_innoInstant.coreNullBytes : (nullable + 7) / 8;
    // The key fields lead the layout up to DB_TRX_ID; the hidden row id is one of them.
    std::int64_t cursor = static_cast<std::int64_t>(origin) - 6 - nullBytes;
    bool sawTrxId = false;
    std::uint32_t sum = 0;
    for (const InnoColumnDef& d : e.m_innoColumns) {
        if (d.mtype == INNO_MTYPE_SYS && d.column.m_strName != u"DB_ROW_ID") {
            sawTrxId = true;
            break;
        }
        if (d.fixedLength != 0) {
            sum += d.fixedLength;
            continue;
        }
        if (cursor < 0 || !page.Inside(static_cast<std::uint32_t>(cursor), 1)) return false;
        std::uint32_t length = page.U8(static_cast<std::uint32_t>(cursor--));
        if (InnoIsBigColumn(d) && (length & INNO_VARLEN_LONG_FLAG)) {
            if (cursor < 0 || !page.Inside(static_cast<std::uint32_t>(cursor), 1)) return false;
            length = (length & 0x3Fu) << 8 | page.U8(static_cast<std::uint32_t>(cursor--));
        }
        sum += length;
    }
    if (!sawTrxId) sum = 6;  // no layout: the record can only start with a row id
    if (!page.Inside(static_cast<std::uint32_t>(origin) + std::min<std::uint32_t>(sum, page.Size()), 4)) return false;
    offset = sum;
    return true;
}

std::uint32_t CTableEngine::GetNodePtrChildOffset(const unsigned char* page, std::uint16_t origin) {
    std::uint32_t offset = 0;
    return FindNodePtrChildOffset(*this, page, origin, offset) ? offset : 0;
}
