#include "tools/table-dump/TableDump.h"

#include <sys/stat.h>

#include "platform/core/CFile.h"

bool ParseTableDumpArgs(const std::vector<std::string>& args, TableDumpArgs& out, std::string& error) {
    out = TableDumpArgs();
    std::vector<std::string> positional;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a == "--keys") {
            out.keys = true;
        } else if (!optionsDone && a == "--save") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--save needs a folder";
                return false;
            }
            out.saveFolder = args[++i];
        } else if (!optionsDone && a.rfind("--save=", 0) == 0) {
            out.saveFolder = a.substr(7);
            if (out.saveFolder.empty()) {
                error = "--save needs a folder";
                return false;
            }
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) {
        error = positional.empty() ? "missing DATADIR DATABASE TABLE"
                                   : "expected DATADIR DATABASE TABLE, got " + std::to_string(positional.size()) +
                                         " argument(s)";
        return false;
    }
    for (const auto& p : positional) {
        if (p.empty()) {
            error = "empty argument";
            return false;
        }
    }
    out.dataDir = positional[0];
    out.database = positional[1];
    out.table = positional[2];
    return true;
}

std::string EscapeCell(const CString& text) {
    std::string utf8 = text.ToUtf8();
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

namespace {

bool IsTableDefinition(const std::string& path) {
    CFile file;
    if (!file.Open(CString::FromUtf8(path), CFile::modeRead)) return false;
    unsigned char magic[2] = {};
    return file.Read(magic, 2) == 2 && magic[0] == 0xFE && magic[1] == 0x01;
}

}  // namespace

int RunTableDump(const TableDumpArgs& args, std::ostream& out, std::ostream& err) {
    (void)out;
    std::string base = args.dataDir + "/" + args.database + "/" + args.table;
    struct stat st {};
    if (::stat((base + ".frm").c_str(), &st) != 0) {
        err << "table-dump: cannot open " << base << ".frm\n";
        return kDumpNoTable;
    }
    if (!IsTableDefinition(base + ".frm")) {
        err << "table-dump: " << base << ".frm is no table definition\n";
        return kDumpNoTable;
    }
    err << "table-dump: reading tables is not built yet\n";
    return kDumpNoTable;
}
