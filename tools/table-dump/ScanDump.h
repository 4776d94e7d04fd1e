#pragma once

#include <ostream>
#include <string>
#include <vector>

// table-dump --scan DATADIR: the tree a scan of DATADIR builds, one item per line,
// two spaces of indent per level. What the scan could not look at goes to err.
// table-dump --sql DATADIR DATABASE NAME: the SQL text of view NAME, or of the
// triggers of table NAME; DATABASE and NAME as shown or as stored on disk.
// args are the command line without the program name, starting with the option.
// Returns the exit code; false from IsScanDumpCommand: not one of these commands.
bool IsScanDumpCommand(const std::vector<std::string>& args);
int RunScanDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
