#pragma once

#include <cstdint>
#include <vector>

#include "engine/TableEngine.h"

// The field order and storage of an InnoDB table's clustered-index records.

// InnoDB main types.
inline constexpr std::uint32_t INNO_MTYPE_VARCHAR = 1;
inline constexpr std::uint32_t INNO_MTYPE_CHAR = 2;
inline constexpr std::uint32_t INNO_MTYPE_FIXBINARY = 3;
inline constexpr std::uint32_t INNO_MTYPE_BINARY = 4;
inline constexpr std::uint32_t INNO_MTYPE_INT = 6;
inline constexpr std::uint32_t INNO_MTYPE_FLOAT = 9;
inline constexpr std::uint32_t INNO_MTYPE_DOUBLE = 10;
inline constexpr std::uint32_t INNO_MTYPE_DECIMAL = 11;
inline constexpr std::uint32_t INNO_MTYPE_VARMYSQL = 12;
inline constexpr std::uint32_t INNO_MTYPE_MYSQL = 13;
inline constexpr std::uint32_t INNO_MTYPE_GEOMETRY = 14;

// Main type the server gives a column of this definition (what SYS_COLUMNS would say).
std::uint32_t MySqlTypeToInnoMtype(ColumnInfo column);
// Bytes the server stores for the column (SYS_COLUMNS LEN): the maximum for variable
// fields, the exact width for fixed ones.
std::uint32_t MySqlTypeStoredLength(ColumnInfo column);

// The field's length when the record stores it with a fixed length, 0 when variable.
std::uint32_t InnoFixedLength(std::uint32_t mtype, std::uint32_t prtype, std::uint32_t len,
                              std::uint32_t mbminmaxlen);
// A variable-length field whose length may take two bytes (and may be stored off-page).
inline bool InnoIsBigColumn(const InnoColumnDef& def) {
    return def.len > 255 || def.mtype == INNO_MTYPE_BLOB || def.mtype == INNO_MTYPE_GEOMETRY;
}

// The columns (indexes into m_columns, in key-part order) of the key the server clusters
// the table on: PRIMARY, else the first UNIQUE key whose columns are all NOT NULL; empty
// when it clusters on the hidden row id.
std::vector<std::uint32_t> ClusteredKeyColumns(const CTableEngine& engine);

// Offset from the origin of a COMPACT node-pointer record to its 4-byte child page
// number, following the layout's clustered key. False when the record's length bytes
// or the child number would lie outside the page (pageSize bytes). An offset of 0 is
// valid (a key of empty strings); CTableEngine::GetNodePtrChildOffset returns 0 on failure.
bool FindNodePtrChildOffset(const CTableEngine& engine, const unsigned char* page, std::uint16_t origin,
                            std::uint32_t& offset, std::uint32_t pageSize = INNO_PAGE_SIZE);

// Where one field of an InnoDB record lies, whatever the record format.
struct InnoFieldSlice {
    enum Kind : std::uint8_t { Data, Null, Missing, Default };
    Kind kind = Data;
    bool offPage = false;
    std::uint32_t offset = 0;  // from the page start
    std::uint32_t length = 0;
};

class CInnoPageView;

// Sets the cell of column from its field slice: the value text, the null flag, and whether
// an off-page part is missing. defaultIndex is the field's place among the instant-ALTER
// defaults.
void SetInnoCell(CTableEngine& engine, const CInnoPageView& page, const InnoColumnDef& def, std::uint32_t column,
                 std::size_t defaultIndex, const InnoFieldSlice& slice);

// Fields of the layout before the first non-key column: the key, DB_TRX_ID and
// DB_ROLL_PTR. 0 when the layout has no DB_ROLL_PTR.
std::uint32_t InnoFirstUserField(const std::vector<InnoColumnDef>& columns);
// Puts the non-key fields (from firstUser on) in the order the records store them after
// an instant DROP or reorder, from the field map the metadata record refers to (a
// 4-byte count, then a 2-byte entry per field; dropped fields come back as fields that
// no column receives). False, and the layout unchanged, when the map does not fit.
bool ApplyInstantFieldMap(std::vector<InnoColumnDef>& columns, std::uint32_t firstUser,
                          const std::vector<unsigned char>& map);
