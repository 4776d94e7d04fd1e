#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/CString.h"

// Command line of table-dump: [--save DIR] [--keys] DATADIR DATABASE TABLE
struct TableDumpArgs {
    std::string saveFolder;  // empty: display mode
    bool keys = false;
    std::string dataDir;
    std::string database;
    std::string table;
    // The collation file to read; empty: the program's own "collation (2)".
    std::string collationFile;
};

inline constexpr int kDumpOk = 0;
inline constexpr int kDumpNoTable = 1;
inline constexpr int kDumpUsage = 2;
inline constexpr int kDumpLosses = 3;

// False with a one-line reason when the arguments are not of the form above.
bool ParseTableDumpArgs(const std::vector<std::string>& args, TableDumpArgs& out, std::string& error);

// One cell as a line of TAB-separated text can carry it: \ \t \n \r escaped.
std::string EscapeCell(const CString& text);
// The same, appended to out in UTF-8.
void AppendEscapedCell(std::string& out, std::u16string_view text);

// Reads the table and prints it; returns the exit code: kDumpOk for a clean read,
// kDumpNoTable when nothing could be read, kDumpLosses when rows were read but something
// was lost. Every loss is one line on err, "table-dump: DB.TABLE: <what>".
int RunTableDump(const TableDumpArgs& args, std::ostream& out, std::ostream& err);
