#include "tools/table-dump/SaveDump.h"

#include <filesystem>
#include <system_error>

#include "app/DataFolderScan.h"
#include "app/OdbcSave.h"
#include "app/SaveWriter.h"
#include "engine/Collation.h"
#include "tools/table-dump/TableDump.h"

namespace {

// True when inner is folder or lies inside it, as the file system resolves both.
bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& folder) {
    std::error_code ec;
    const auto a = std::filesystem::weakly_canonical(inner, ec);
    if (ec) return false;
    const auto b = std::filesystem::weakly_canonical(folder, ec);
    if (ec) return false;
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty()) continue;
        if (ai == a.end() || *ai != *bi) return false;
    }
    return true;
}

}  // namespace

bool IsSaveDumpCommand(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "--script" || args[0] == "--server");
}

namespace {

int SaveFrom(const std::vector<std::string>& args, std::size_t first, ISaveTarget& target, std::ostream& out,
             std::ostream& err, const std::string& collationFile);

}  // namespace

int RunSaveDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       const std::string& collationFile) {
    if (args[0] == "--server") {
        // --server SERVER PORT USER PASSWORD [--socket PATH] DATADIR [DATABASE [NAME...]]
        std::size_t at = 5;
        ServerSettings settings;
        if (args.size() >= 5) settings = {args[1], args[2], args[3], args[4], {}};
        if (args.size() > at + 1 && args[at] == "--socket") {
            settings.socket = args[at + 1];
            at += 2;
        }
        if (args.size() <= at) {
            err << "table-dump: usage: table-dump --server SERVER PORT USER PASSWORD [--socket PATH] DATADIR "
                   "[DATABASE [NAME...]]\n";
            return kDumpUsage;
        }
        unsigned port = 0;
        if (!ParseServerPort(settings.port, port)) {
            err << "table-dump: the port must be a number from 1 to 65535\n";
            return kDumpUsage;
        }
        COdbcConnection connection;
        std::string driver, error;
        if (!connection.Connect(settings, driver, error)) {
            err << "table-dump: cannot connect"
                << (driver.empty() ? std::string() : " through the ODBC driver \"" + driver + "\"") << ": " << error
                << "\n";
            return kDumpNoTable;
        }
        out << "Connected through the ODBC driver \"" << driver << "\"\n";
        COdbcSaveTarget target(connection);
        return SaveFrom(args, at, target, out, err, collationFile);
    }
    if (args.size() < 3) {
        err << "table-dump: usage: table-dump --script OUTDIR DATADIR [DATABASE [NAME...]]\n";
        return kDumpUsage;
    }
    const std::string outDir = args[1];
    const std::string dataDir = args[2];
    if (IsInside(outDir, dataDir)) {
        err << "table-dump: the script folder " << outDir << " lies inside the data folder " << dataDir
            << "; choose another\n";
        return kDumpUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        err << "table-dump: cannot create " << outDir << ": " << ec.message() << "\n";
        return kDumpNoTable;
    }
    CScriptSaveTarget target(outDir);
    const int rc = SaveFrom(args, 2, target, out, err, collationFile);
    for (const std::string& f : target.FilesWritten()) out << "Written " << f << "\n";
    return rc;
}

namespace {

// args[first] is DATADIR, then the optional DATABASE and NAMEs.
int SaveFrom(const std::vector<std::string>& args, std::size_t first, ISaveTarget& target, std::ostream& out,
             std::ostream& err, const std::string& collationFile) {
    const std::string dataDir = args[first];
    const ScanResult scan = ScanDataFolder(CString::FromUtf8(dataDir));
    bool lost = false;
    for (const ScanProblem& p : scan.problems) {
        err << "table-dump: " << ScanProblemLogLine(p).ToUtf8() << "\n";
        lost = true;
    }
    CString database = args.size() > first + 1 ? CString::FromUtf8(args[first + 1]) : CString();
    std::vector<CString> names;
    for (std::size_t i = first + 2; i < args.size(); ++i) names.push_back(CString::FromUtf8(args[i]));
    const SaveSelection selection = SelectObjects(scan, database, names);
    if (selection.Empty()) {
        err << "table-dump: nothing to save" << (database.IsEmpty() ? "" : " of that name") << " in " << dataDir << "\n";
        return kDumpNoTable;
    }
    // Every name asked for must have been found.
    if (!names.empty()) {
        for (const CString& n : names) {
            if (SelectObjects(scan, database, {n}).Empty()) {
                err << "table-dump: " << args[first + 1] << "." << n.ToUtf8() << " is not in " << dataDir << "\n";
                lost = true;
            }
        }
    }

    CollationMap collations;
    if (!(collationFile.empty() ? LoadProgramCollationFile(collations)
                                : LoadCollationFile(CString::FromUtf8(collationFile), collations))) {
        err << "table-dump: cannot open the collation file \"collation (2)\"; the common character sets are read "
               "with built-in widths\n";
        collations = BuiltInCollations();
        lost = true;
    }
    SaveCallbacks callbacks;
    callbacks.log = [&](const CString& line) { out << line.ToUtf8() << "\n"; };
    callbacks.loss = [&](const CString& line) { err << "table-dump: " << line.ToUtf8() << "\n"; };
    const SaveResult result = SaveObjects(scan, selection, collations, target, callbacks);
    if (!result.complete) {
        err << "table-dump: " << result.losses << " loss(es) or failure(s) while saving (see the lines above)\n";
        lost = true;
    }
    out.flush();
    if (!lost) return kDumpOk;
    return result.tablesSaved + result.viewsSaved + result.triggerFilesSaved == 0 ? kDumpNoTable : kDumpLosses;
}

}  // namespace
