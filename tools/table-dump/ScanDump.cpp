#include "tools/table-dump/ScanDump.h"

#include "app/DataFolderScan.h"
#include "app/MySqlNames.h"
#include "app/ViewTriggerSql.h"
#include "tools/table-dump/TableDump.h"

namespace {

// The folder's last component as stored.
CString LastComponent(const CString& folder) {
    int slash = folder.ReverseFind(u'/');
    return slash < 0 ? folder : folder.Mid(slash + 1);
}

bool SameName(const CString& stored, const CString& wanted) {
    return stored == wanted || DecodeFileName(stored) == wanted;
}

void PrintProblems(const ScanResult& scan, std::ostream& err) {
    for (const ScanProblem& p : scan.problems) err << "table-dump: " << ScanProblemLogLine(p).ToUtf8() << "\n";
}

int RunScan(const std::string& dataDir, std::ostream& out, std::ostream& err) {
    ScanResult scan = ScanDataFolder(CString::FromUtf8(dataDir));
    for (int index : TreeDisplayOrder(scan.tree)) {
        const ScanTreeItem& item = scan.tree[static_cast<std::size_t>(index)];
        out << std::string(static_cast<std::size_t>(item.depth) * 2, ' ') << EscapeCell(item.text) << '\n';
    }
    PrintProblems(scan, err);
    return scan.problems.empty() ? kDumpOk : kDumpNoTable;
}

int RunSql(const std::string& dataDir, const std::string& database, const std::string& name, std::ostream& out,
           std::ostream& err) {
    ScanResult scan = ScanDataFolder(CString::FromUtf8(dataDir));
    const CString db = CString::FromUtf8(database);
    const CString wanted = CString::FromUtf8(name);
    int dbIndex = -1;
    for (std::size_t i = 0; i < scan.m_databaseFolders.size() && dbIndex < 0; ++i)
        if (SameName(LastComponent(scan.m_databaseFolders[i]), db)) dbIndex = static_cast<int>(i);
    if (dbIndex < 0) {
        PrintProblems(scan, err);
        err << "table-dump: no database " << database << " in " << dataDir << "\n";
        return kDumpNoTable;
    }
    const CString& folder = scan.m_databaseFolders[static_cast<std::size_t>(dbIndex)];
    ObjectSql sql;
    bool found = false;
    for (const CString& path : scan.m_viewFiles) {
        int slash = path.ReverseFind(u'/');
        if (path.Left(slash) != folder) continue;
        CString file = path.Mid(slash + 1);
        if (SameName(file.Left(file.GetLength() - 4), wanted)) {
            sql = BuildViewSql(path);
            found = true;
            break;
        }
    }
    for (std::size_t i = 0; i < scan.m_triggers.size() && !found; ++i) {
        const TriggerEntry& t = scan.m_triggers[i];
        if (t.m_strFolder != folder) continue;
        if (SameName(t.m_strFileName.Left(t.m_strFileName.GetLength() - 4), wanted)) {
            sql = BuildTriggerSql(TriggerFilePath(scan, i));
            found = true;
        }
    }
    if (!found) {
        PrintProblems(scan, err);
        err << "table-dump: no view " << name << " and no triggers of a table " << name << " in " << database << "\n";
        return kDumpNoTable;
    }
    out << sql.text.ToUtf8();
    for (const CString& p : sql.problems) err << "table-dump: " << p.ToUtf8() << "\n";
    return sql.fileRead && !sql.text.IsEmpty() ? kDumpOk : kDumpNoTable;
}

}  // namespace

bool IsScanDumpCommand(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "--scan" || args[0] == "--sql");
}

int RunScanDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i].empty()) {
            err << "table-dump: empty argument\n";
            return kDumpUsage;
        }
    }
    if (args[0] == "--scan") {
        if (args.size() != 2) {
            err << "table-dump: usage: table-dump --scan DATADIR\n";
            return kDumpUsage;
        }
        return RunScan(args[1], out, err);
    }
    if (args.size() != 4) {
        err << "table-dump: usage: table-dump --sql DATADIR DATABASE NAME\n";
        return kDumpUsage;
    }
    return RunSql(args[1], args[2], args[3], out, err);
}
