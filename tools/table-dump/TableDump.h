#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/core/CString.h"

// Command line of table-dump: [--save DIR] [--keys] DATADIR DATABASE TABLE
struct TableDumpArgs {
    std::string saveFolder;  // empty: display mode
    bool keys = false;
    std::string dataDir;
    std::string database;
    std::string table;
};

inline constexpr int kDumpOk = 0;
inline constexpr int kDumpNoTable = 1;
inline constexpr int kDumpUsage = 2;

// False with a one-line reason when the arguments are not of the form above.
bool ParseTableDumpArgs(const std::vector<std::string>& args, TableDumpArgs& out, std::string& error);

// One cell as a line of TAB-separated text can carry it: \ \t \n \r escaped.
std::string EscapeCell(const CString& text);

// Reads the table and prints it; returns the exit code. Messages go to err, one line.
int RunTableDump(const TableDumpArgs& args, std::ostream& out, std::ostream& err);
