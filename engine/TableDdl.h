#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/TableEngine.h"
#include "platform/core/CString.h"

// The statements that recreate a database and a table from what their files hold.

// Key flag (FrmKeyDef::flags): the key names a full-text parser.
inline constexpr std::uint16_t kFrmKeyUsesParser = 0x4000;

// One collation as a script names it.
struct DdlCollation {
    std::string collation;  // utf8mb4_general_ci
    std::string charset;    // utf8mb4
    std::uint32_t mbmaxlen = 1;
};
using DdlCollations = std::map<std::uint32_t, DdlCollation>;

// One expression of a definition's expression block.
struct FrmExpression {
    enum Kind : std::uint8_t { Virtual = 0, Stored = 1, Default = 2, FieldCheck = 3, TableCheck = 4, UsingHash = 5 };
    std::uint8_t kind = 0;
    std::uint32_t field = 0;  // 0-based column for the per-column kinds
    std::string name;         // constraint name (UTF-8)
    std::string text;         // the expression as the server wrote it (UTF-8)
};

// What a .frm holds about its table beyond the column and key lists CTableEngine::ReadFrm
// builds: the table options of its header, the default-values record, the extra segment
// (engine name, connection, long comment) and the expression block.
struct FrmTableFacts {
    std::uint8_t dbType = 0;
    std::string engineName;  // from the extra segment; empty when it names none
    std::uint8_t rowType = 0;
    std::uint16_t createOptions = 0;
    std::uint32_t tableCharset = 0;
    std::uint32_t maxRows = 0;
    std::uint32_t minRows = 0;
    std::uint32_t avgRowLength = 0;
    std::uint16_t keyBlockSize = 0;
    std::uint16_t statsSamplePages = 0;
    std::uint8_t statsAutoRecalc = 0;
    std::uint8_t transactional = 0;  // header byte 39: TRANSACTIONAL and PAGE_CHECKSUM choices
    bool nullFlagsFirst = false;
    std::string comment;        // table comment, UTF-8
    std::string connection;     // CONNECTION string
    std::string partitionText;  // PARTITION BY ... as stored; not written into the script
    std::vector<std::string> parserNames;  // one per key that names a parser, in key order
    std::vector<unsigned char> defaultRecord;
    std::vector<FrmExpression> expressions;
    // Per field: visibility in the low two bits (1 INVISIBLE; 2 and 3 the server's own
    // hidden columns, such as the hash of a long UNIQUE key). Empty when not stated.
    std::vector<std::uint8_t> fieldFlags;
    // Per key: bit 0 set = IGNORED. Empty when not stated.
    std::vector<std::uint8_t> keyFlags;
    // Facts the file should hold but does not (cut short, lengths past its end).
    std::vector<std::string> problems;
};

// Reads the facts of the .frm at path. keysWithParser: how many of its keys name a
// full-text parser (FrmKeyDef::flags 0x4000), whose names precede the long comment.
// False when it is no readable table definition.
[[nodiscard]] bool ReadFrmTableFacts(const CString& path, FrmTableFacts& facts, std::size_t keysWithParser = 0);

// The character set and collation a database folder's db.opt states; false when the file
// is missing or names neither.
[[nodiscard]] bool ReadDbOpt(const CString& path, std::string& charset, std::string& collation);

// CREATE DATABASE IF NOT EXISTS `name` [CHARACTER SET cs] [COLLATE coll]; and USE `name`;
std::string BuildCreateDatabase(const CString& name, const std::string& charset, const std::string& collation);

// Result of building one CREATE TABLE.
struct TableDdl {
    std::string sql;  // "CREATE TABLE ... ;\n"
    // The columns an INSERT names, in order: every column but the generated ones.
    std::vector<CString> insertColumns;
    std::vector<std::uint32_t> insertColumnIndexes;
    // What the statement could not carry over, one sentence each.
    std::vector<std::string> losses;
};

// CREATE TABLE for the table whose definition engine.ReadFrm read last (m_columns,
// m_enumValues, m_frmKeys, m_frmFields, m_nTableCharset) and whose other facts are in
// facts. tableName is the table's SQL name.
TableDdl BuildCreateTable(const CTableEngine& engine, const FrmTableFacts& facts, const DdlCollations& collations,
                          const CString& tableName);
