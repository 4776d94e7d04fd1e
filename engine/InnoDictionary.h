#pragma once

#include <cstdint>

#include "engine/TableEngine.h"

// The data dictionary of ibdata1 (SYS_TABLES, SYS_COLUMNS, SYS_INDEXES).

inline constexpr std::uint32_t INNO_DICT_SYS_TABLES_ROOT = 8;
inline constexpr std::uint32_t INNO_DICT_SYS_COLUMNS_ROOT = 10;
inline constexpr std::uint32_t INNO_DICT_SYS_INDEXES_ROOT = 11;
enum InnoDictionaryKind : int { INNO_DICT_TABLES = 0, INNO_DICT_COLUMNS = 1, INNO_DICT_INDEXES = 2 };

// Bytes per character of a collation from the application's collation table; both 0
// when the number is not there (or no application object exists).
void LookupCollation(const ReadContext& context, std::uint32_t collation, std::uint32_t& mbminlen,
                     std::uint32_t& mbmaxlen);

// Adds the collation a SYS_COLUMNS PRTYPE leaves out and the character widths that
// follow from it.
void CompleteSysColumnType(const ReadContext& context, SysColumnsRecord& record);
