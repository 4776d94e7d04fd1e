#include "tools/table-dump/TableDump.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"
#include "engine/TableEngine.h"
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

void PrintRow(std::ostream& out, const TableRow& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) out << '\t';
        out << EscapeCell(row[i].m_strValue);
    }
    out << '\n';
}

void PrintPage(std::ostream& out, const CTableEngine& engine) {
    for (const TableRow& row : engine.m_rows) PrintRow(out, row);
}

}  // namespace

int RunTableDump(const TableDumpArgs& args, std::ostream& out, std::ostream& err) {
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

    if (!args.saveFolder.empty()) {
        // Off-page values are written into blobdata/; without the folder they would be lost.
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(args.saveFolder) / "blobdata", ec);
        if (ec) {
            err << "table-dump: cannot create " << args.saveFolder << "/blobdata: " << ec.message() << "\n";
            return kDumpNoTable;
        }
    }
    if (CDralvekOstruneApp* app = GetDralvekApp()) {
        app->m_bSaveAsScript = args.saveFolder.empty() ? 0 : 1;
        std::string folder = args.saveFolder;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        app->m_strSaveFolder = CString::FromUtf8(folder);
    }

    CTableEngine engine;
    CTableBrowser browser(engine);
    // As a scan does when it opens the folder: the data dictionary of DATADIR/ibdata1.
    const std::string ibdata = args.dataDir + "/ibdata1";
    if (::stat(ibdata.c_str(), &st) == 0) engine.LoadDictionary(CString::FromUtf8(ibdata));
    const CString tableBase = CString::FromUtf8(base);
    const CString itemText = CString::FromUtf8(args.table);

    if (args.keys) {
        std::vector<KeyListRow> rows;
        browser.ShowKeys(tableBase, itemText, rows);
        if (!browser.m_bDefinitionRead) {
            err << "table-dump: cannot read the table definition " << base << ".frm\n";
            return kDumpNoTable;
        }
        for (std::size_t i = 0; i < kKeyListColumns; ++i) out << (i ? "\t" : "") << EscapeCell(kKeyListHeadings[i]);
        out << '\n';
        for (const KeyListRow& row : rows) {
            for (std::size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << EscapeCell(row[i]);
            out << '\n';
        }
        return kDumpOk;
    }

    BrowserEffects effects = browser.ShowTable(tableBase, itemText, CString::FromUtf8(args.database + "/" + args.table));
    if (!browser.m_bDefinitionRead) {
        err << "table-dump: cannot read the table definition " << base << ".frm\n";
        return kDumpNoTable;
    }
    if (engine.m_nDbType == 9 && !browser.m_bRowsSourceOpened) {
        err << "table-dump: cannot open the data file " << base << ".MYD\n";
        return kDumpNoTable;
    }
    for (std::size_t i = 0; i < engine.m_columns.size(); ++i)
        out << (i ? "\t" : "") << EscapeCell(engine.m_columns[i].m_strName);
    out << '\n';
    PrintPage(out, engine);
    // Next Records until the table ends, as the window's button would.
    while (effects.next != ButtonState::Disabled) {
        effects = browser.OnNextRecords();
        if (effects.listRefilled) PrintPage(out, engine);
        if (!effects.accepted) break;
    }
    return kDumpOk;
}
