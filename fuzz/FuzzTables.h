#pragma once

// The real tables the targets pair an input with. The first input byte picks one (modulo
// the count); the seed maker writes its seeds with the same numbers.

#include <cstddef>

namespace fuzz {

struct CorpusTable {
    const char* database;
    const char* table;
};

// MyISAM tables of dynamic records: t_split has records in several blocks, t_dynamic
// deleted blocks; the types give every formatter.
inline constexpr CorpusTable kDynamicTables[] = {
    {"myisam_formats", "t_dynamic"},  {"myisam_formats", "t_split"},  {"myisam_types", "t_null_zero"},
    {"myisam_types", "t_string"},     {"myisam_types", "t_text_blob"}, {"myisam_types", "t_geometry"},
    {"myisam_types", "t_json"},       {"myisam_types", "t_charset"},  {"views_triggers", "products"},
};

// MyISAM tables of fixed-length records (t_many_nulls: two null-flag bytes).
inline constexpr CorpusTable kFixedTables[] = {
    {"myisam_formats", "t_fixed"},   {"myisam_formats", "t_many_nulls"}, {"myisam_formats", "t_not_null"},
    {"myisam_types", "t_int"},       {"myisam_types", "t_bit"},          {"myisam_types", "t_decimal"},
    {"myisam_types", "t_float"},     {"myisam_types", "t_temporal"},     {"myisam_types", "t_enum_set"},
    {"old_temporal", "t_old_myisam"},
};

// InnoDB tables read from their .ibd without the dictionary (layout from the .frm).
inline constexpr CorpusTable kInnoTables[] = {
    {"innodb_features", "t_many_rows"},    {"innodb_features", "t_blob_compact"},
    {"innodb_features", "t_blob_dynamic"}, {"innodb_features", "t_many_nulls"},
    {"innodb_features", "t_long_varchar"}, {"innodb_features", "t_deep"},
    {"innodb_features", "t_nokey"},        {"innodb_features", "t_pk_order"},
    {"innodb_types", "t_string_dynamic"},  {"innodb_types", "t_temporal_compact"},
    {"innodb_types", "t_text_blob_dynamic"}, {"innodb_types", "t_enum_set_compact"},
    {"innodb_types", "t_geometry_dynamic"},  {"innodb_types", "t_json_compact"},
    {"innodb_types", "t_bit_compact"},     {"innodb_types", "t_decimal_dynamic"},
};

// Tables the dictionary target reads after loading the fuzzed ibdata1: two inside it,
// one through its own .ibd.
inline constexpr CorpusTable kSystemTables[] = {
    {"innodb_system", "t_sys_compact"},
    {"innodb_system", "t_sys_dynamic"},
    {"innodb_types", "t_int_compact"},
};

template <typename T, std::size_t N>
constexpr std::size_t Count(const T (&)[N]) {
    return N;
}

}  // namespace fuzz
