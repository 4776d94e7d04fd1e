#include <iostream>

#include "tools/table-dump/SaveDump.h"
#include "tools/table-dump/ScanDump.h"
#include "tools/table-dump/TableDump.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (IsSaveDumpCommand(args)) return RunSaveDumpCommand(args, std::cout, std::cerr);
    if (IsScanDumpCommand(args)) return RunScanDumpCommand(args, std::cout, std::cerr);
    TableDumpArgs parsed;
    std::string error;
    if (!ParseTableDumpArgs(args, parsed, error)) {
        std::cerr << "table-dump: " << error << "\n"
                  << "usage: table-dump [--save DIR] [--keys] DATADIR DATABASE TABLE\n"
                  << "       table-dump --scan DATADIR\n"
                  << "       table-dump --sql DATADIR DATABASE NAME\n"
                  << "       table-dump --script OUTDIR DATADIR [DATABASE [NAME...]]\n";
        return kDumpUsage;
    }
    std::ios::sync_with_stdio(false);
    return RunTableDump(parsed, std::cout, std::cerr);
}
