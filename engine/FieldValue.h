#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/TableEngine.h"

// Value text of stored fields, by the column's MySQL type.

// Bytes a fixed-length MyISAM record gives this column, read from its record position.
std::uint32_t StaticFieldWidth(const CTableEngine& engine, const ColumnInfo& column);

// Static-row member: formats column columnIndex of m_columns from the bytes read at its
// record position (count may be short at the end of the file) and applies the NULL test
// with the record's null bitmap; writes m_columns[columnIndex].m_strValue.
void FormatMyIsamStaticField(CTableEngine& engine, std::size_t columnIndex, const unsigned char* bytes,
                             std::uint32_t count, const unsigned char* nullBitmap, std::uint32_t nullBytes);

// Dynamic-row member: fieldIndex counts the .MYI column definitions; nullFlags are the
// record's null-flag bytes (null when the record has none).
bool FormatMyIsamFieldValue(CTableEngine& engine, std::uint32_t fieldIndex, const unsigned char* nullFlags,
                            std::uint32_t declaredLength, const unsigned char* bytes, std::uint32_t count);
// FormatMyIsamFieldValue for every definition from firstField on, in order, with the
// bytes the definitions' m_pData and m_nDataLength give; the columns none of them fills
// are emptied first.
void FormatMyIsamDynamicFields(CTableEngine& engine, std::uint32_t firstField, const unsigned char* nullFlags);

// ---- Shared by every member (MyISAM static and dynamic, InnoDB) ----

// Which member asks: the members differ only in their BLOB/TEXT placeholders.
enum class FieldMember {
    MyIsamStatic,
    MyIsamDynamic,  // "Large Blob Data" in display mode from 1000 bytes on
    Inno,           // BLOB/TEXT held in the record: no placeholder
};

// How the bytes of a text column are read, from the collation's character-set name.
enum class TextCharset { Binary, Utf8, Latin1, Ucs2, Utf16, Utf16Le, Utf32, Other };
TextCharset ClassifyCharset(const ReadContext& context, std::uint32_t charsetId);

// Text of string bytes in the column's character set (every byte is kept, zero bytes
// included). The Other sets are read by the server's own tables of the set; only a
// collation or set unknown here goes through Utf8ToCString, which stops at a zero byte.
CString DecodeCharsetText(const ReadContext& context, std::uint32_t charsetId, const unsigned char* bytes,
                          std::size_t count);

// "0x" and two upper-case hex digits per byte; no bytes give the empty text.
CString HexText(const unsigned char* bytes, std::size_t count);

// Digits after the point (0-6) of a TIME, DATETIME or TIMESTAMP column, from its length.
std::uint32_t TemporalFractionDigits(const ColumnInfo& column);

// Bytes a value of this type occupies when stored whole: integers, temporal types,
// DECIMAL, ENUM (1 or 2), SET (1, 2, 3, 4 or 8), BIT ((bits + 7) / 8), strings and
// GEOMETRY their length; 0 for BLOB/TEXT and unknown types.
std::uint32_t FieldValueWidth(const ColumnInfo& column);

// The type rules: text of one non-NULL field whose bytes are in MyISAM's layout
// (integers, FLOAT/DOUBLE and the old temporal forms least significant byte first;
// DECIMAL, BIT and the 5.6 temporal forms big-endian). Fixed-width values shorter than
// their width read as if zero-filled. VARCHAR bytes come without their length prefix.
// The InnoDB member turns its integer columns into this layout before calling.
CString FormatTypedFieldValue(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                              std::uint32_t count, FieldMember member);
