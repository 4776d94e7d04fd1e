#pragma once

#include <ostream>
#include <string>
#include <vector>

// table-dump --server SERVER PORT USER PASSWORD [--socket PATH] DATADIR [DATABASE [NAME...]]:
// the same statements run on a server through ODBC, each committed by itself.
// table-dump --script OUTDIR DATADIR [DATABASE [NAME...]]: what Save as Script writes for
// those objects (every database when only DATADIR is given; NAME a table, a view, or a
// table whose triggers are wanted, as shown or as stored), one OUTDIR/<database>.sql
// each. What was saved goes to out, every loss and failure to err.
// Exit 0 only when everything named was saved completely.
bool IsSaveDumpCommand(const std::vector<std::string>& args);
// collationFile: the collation table to read; empty: the program's own "collation (2)".
int RunSaveDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       const std::string& collationFile = {});
