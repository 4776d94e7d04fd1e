#pragma once

#include <cstdint>

#include "engine/TableEngine.h"

// Value text of stored fields, by the column's MySQL type.

// True while a save mode is set: full values instead of display placeholders.
bool IsSaveMode();

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
