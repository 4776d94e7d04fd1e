#include "app/SaveWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "app/ScriptDdl.h"
#include "app/TableBrowser.h"
#include "app/ViewTriggerSql.h"
#include "engine/SqlScript.h"
#include "engine/TableDdl.h"
#include "engine/TableEngine.h"
#include "engine/TableReader.h"

namespace {

// The readable name of a stored one (the scan's decoding; its header's SQL quoting
// would clash with the script's).
CString Decoded(const CString& stored) { return ObjectDisplayName(stored + u".frm"); }

CString LastComponent(const CString& path) {
    CString p = path;
    while (p.GetLength() > 1 && p[p.GetLength() - 1] == u'/') p = p.Left(p.GetLength() - 1);
    const int slash = p.ReverseFind(u'/');
    return slash >= 0 ? p.Mid(slash + 1) : p;
}

CString ParentFolder(const CString& path) {
    const int slash = path.ReverseFind(u'/');
    return slash > 0 ? path.Left(slash) : CString();
}

bool IsRegularFile(const CString& path) {
    struct stat st {};
    return ::stat(path.ToUtf8().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

CString Number(std::uint64_t n) {
    CString s;
    s.Format(u"%llu", static_cast<unsigned long long>(n));
    return s;
}

CString Utf8(const std::string& s) { return CString::FromUtf8(s); }

// The position of folder in the scan's database list; -1 when it is none of them.
int DatabaseOf(const ScanResult& scan, const CString& folder) {
    for (std::size_t i = 0; i < scan.m_databaseFolders.size(); ++i)
        if (scan.m_databaseFolders[i] == folder) return static_cast<int>(i);
    return -1;
}

bool NameMatches(const std::vector<CString>& names, const CString& stored) {
    if (names.empty()) return true;
    const CString shown = Decoded(stored);
    for (const CString& n : names)
        if (n == stored || n == shown) return true;
    return false;
}

// The file name less its extension.
CString StemOf(const CString& file) {
    const CString name = LastComponent(file);
    const int dot = name.ReverseFind(u'.');
    return dot > 0 ? name.Left(dot) : name;
}

// Client text of views and triggers as plain statements: each CREATE goes through EXECUTE
// IMMEDIATE as a hex string, so no client strips the comments of a trigger body, no
// DELIMITER is needed, and the sql_mode set for it cannot change how its text is read.
std::string AsPlainStatements(std::string_view text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    // The notes at the top stay as comments.
    std::size_t start = 0;
    while (start < text.size() && text.compare(start, 3, "-- ") == 0) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        out.append(text.substr(start, end - start)).push_back('\n');
        start = end + 1;
    }
    for (const std::string& statement : SplitClientText(text.substr(std::min(start, text.size())))) {
        if (statement.rfind("CREATE", 0) != 0) {
            out += statement + "\n";
            continue;
        }
        out += "EXECUTE IMMEDIATE CONVERT(X'";
        for (std::size_t i = 0; i + 1 < statement.size(); ++i) {  // without its ';'
            const auto b = static_cast<unsigned char>(statement[i]);
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        out += "' USING utf8mb4);\n";
    }
    return out;
}

class CSaveRun {
public:
    CSaveRun(const ScanResult& scan, const CollationMap& collations, ISaveTarget& target, const SaveCallbacks& cb)
        : m_scan(scan), m_collations(collations), m_target(target), m_cb(cb) {}

    SaveResult Run(const SaveSelection& selection);

private:
    void Log(const CString& line) {
        if (m_cb.log) m_cb.log(line);
    }
    void Loss(const CString& line) {
        ++m_result.losses;
        if (m_cb.loss) m_cb.loss(line);
        else Log(line);
    }
    bool Stopping() {
        if (!m_result.stopped && m_cb.stopRequested && m_cb.stopRequested()) m_result.stopped = true;
        return m_result.stopped;
    }
    void Step() {
        ++m_nDone;
        if (m_cb.progress) m_cb.progress(m_nDone, m_nTotal);
    }
    // Runs one statement; a failure is logged against what.
    bool Statement(std::string_view sql, std::size_t rows, const CString& what) {
        std::string error;
        if (m_target.Run(sql, rows, error)) return true;
        Loss(what + u": " + Utf8(error));
        return false;
    }
    void SaveTable(std::size_t index, const CString& dbName);
    void SaveView(std::size_t index, const CString& dbName, const ObjectSql& sql);
    void SaveTriggers(std::size_t index, const CString& dbName);

    const ScanResult& m_scan;
    const CollationMap& m_collations;
    ISaveTarget& m_target;
    const SaveCallbacks& m_cb;
    SaveResult m_result;
    CTableEngine m_engine;
    std::size_t m_nDone = 0;
    std::size_t m_nTotal = 0;
};

void CSaveRun::SaveTable(std::size_t index, const CString& dbName) {
    const TableEntry& entry = m_scan.m_tables[index];
    const CString name = Decoded(entry.m_strName);
    const CString what = dbName + u"." + name;
    const CString base = TableBasePath(m_scan, index);

    TableDdl ddl;
    if (!BuildTableDdl(base + u".frm", name, m_collations, ddl)) {
        for (const std::string& l : ddl.losses) Loss(u"Not saved: " + what + u": " + Utf8(l));
        return;
    }
    for (const std::string& l : ddl.losses) Loss(what + u": " + Utf8(l));
    if (!Statement(ddl.sql, 0, what)) return;

    ReadContext context;
    context.collations = &m_collations;
    context.mode = ValueMode::Save;
    context.inlineOffPage = true;
    context.utcTimestamps = true;
    CTableReader reader(m_engine, std::move(context));
    auto takeLosses = [&] {
        for (const CString& l : reader.TakeLosses()) Loss(what + u": " + l);
    };
    const CString folder = m_scan.m_databaseFolders[static_cast<std::size_t>(entry.m_nDatabase)];
    if (!reader.Open(base, TableDictionaryKey(folder, entry.m_strName)) || !reader.RowSourceOpened()) {
        takeLosses();
        Loss(u"No rows saved for " + what + u": its rows cannot be read");
        reader.Close();
        return;
    }
    takeLosses();

    const std::string prefix = InsertPrefix(name, ddl.insertColumns);
    std::uint64_t rows = 0;
    bool failed = false;
    CInsertBatcher batcher(prefix, [&](std::string_view statement, std::size_t n) {
        if (!Statement(statement, n, what)) {
            failed = true;
            return false;
        }
        rows += n;
        return true;
    });
    std::uint64_t badCells = 0;
    std::uint64_t rowNumber = 0;  // rows read so far, for the loss lines
    std::string tuple;
    PageBookmark page = reader.FirstPage();
    for (;;) {
        TablePageResult result;
        if (!reader.ReadPage(page, result)) break;
        for (const TableRow& row : reader.Rows()) {
            ++rowNumber;
            tuple.assign(1, '(');
            for (std::size_t k = 0; k < ddl.insertColumnIndexes.size(); ++k) {
                if (k) tuple += ',';
                const std::size_t c = ddl.insertColumnIndexes[k];
                if (c >= row.size()) {
                    tuple += "NULL";
                    ++badCells;
                    continue;
                }
                const ColumnInfo& cell = row[c];
                if (!AppendSqlLiteral(tuple, cell, cell.m_strValue, cell.m_bNull != 0) || cell.m_bIncomplete) {
                    if (badCells < 20)
                        Loss(what + u": row " + Number(rowNumber) + u", column " + cell.m_strName +
                             (cell.m_bIncomplete ? u": the value is cut short" : u": the value cannot be written exactly"));
                    ++badCells;
                }
            }
            tuple += ')';
            if (!batcher.AddRow(tuple)) break;
        }
        takeLosses();
        if (failed || result.end || Stopping()) break;
        page = result.next;
    }
    if (!failed && !batcher.Flush()) failed = true;
    takeLosses();
    reader.Close();
    if (badCells > 20) Loss(what + u": " + Number(badCells) + u" values in all could not be written exactly");
    if (failed) {
        Log(u"Saving " + what + u" failed after " + Number(rows) + u" rows");
        return;
    }
    if (m_result.stopped) {
        Loss(u"Stopped: " + what + u" saved only in part (" + Number(rows) + u" rows)");
        return;
    }
    ++m_result.tablesSaved;
    m_result.rowsSaved += rows;
    Log(u"Saved table " + what + u": " + Number(rows) + u" rows");
}

void CSaveRun::SaveView(std::size_t index, const CString& dbName, const ObjectSql& sql) {
    const CString what = dbName + u"." + Decoded(StemOf(m_scan.m_viewFiles[index]));
    for (const CString& p : sql.problems) Loss(u"View " + what + u": " + p);
    if (sql.text.IsEmpty()) {
        Loss(u"Not saved: view " + what);
        return;
    }
    std::string error;
    if (!m_target.RunClientText(sql.text.ToUtf8(), error)) {
        Loss(u"View " + what + u": " + Utf8(error));
        return;
    }
    ++m_result.viewsSaved;
    Log(u"Saved view " + what);
}

void CSaveRun::SaveTriggers(std::size_t index, const CString& dbName) {
    const CString what = dbName + u"." + Decoded(StemOf(m_scan.m_triggers[index].m_strFileName));
    const ObjectSql sql = BuildTriggerSql(TriggerFilePath(m_scan, index));
    for (const CString& p : sql.problems) Loss(u"Triggers of " + what + u": " + p);
    if (sql.text.IsEmpty()) {
        Loss(u"Not saved: the triggers of " + what);
        return;
    }
    std::string error;
    if (!m_target.RunClientText(sql.text.ToUtf8(), error)) {
        Loss(u"Triggers of " + what + u": " + Utf8(error));
        return;
    }
    ++m_result.triggerFilesSaved;
    Log(u"Saved the triggers of " + what);
}

SaveResult CSaveRun::Run(const SaveSelection& selection) {
    m_nTotal = selection.tables.size() + selection.views.size() + selection.triggers.size();
    // Objects grouped by database, in the scan's order.
    struct DbWork {
        std::vector<std::size_t> tables, views, triggers;
    };
    std::map<int, DbWork> work;
    for (std::size_t t : selection.tables)
        if (t < m_scan.m_tables.size()) work[m_scan.m_tables[t].m_nDatabase].tables.push_back(t);
    for (std::size_t v : selection.views) {
        if (v >= m_scan.m_viewFiles.size()) continue;
        work[DatabaseOf(m_scan, ParentFolder(m_scan.m_viewFiles[v]))].views.push_back(v);
    }
    for (std::size_t t : selection.triggers) {
        if (t >= m_scan.m_triggers.size()) continue;
        work[DatabaseOf(m_scan, m_scan.m_triggers[t].m_strFolder)].triggers.push_back(t);
    }
    if (work.count(-1)) {
        const DbWork& lost = work[-1];
        Loss(Number(lost.views.size() + lost.triggers.size()) + u" object(s) lie in no scanned database and are not saved");
        work.erase(-1);
    }

    // The dictionary's column records are read with the same collation table as the rows.
    m_engine.m_context.collations = &m_collations;
    const CString ibdata = m_scan.m_strScanRoot + u"ibdata1";
    if (IsRegularFile(ibdata) && !m_engine.LoadDictionary(ibdata))
        Log(u"The data dictionary of " + ibdata + u" cannot be read; InnoDB tables without their own file have no rows");

    for (auto& [db, w] : work) {
        if (Stopping()) break;
        const CString folder = m_scan.m_databaseFolders[static_cast<std::size_t>(db)];
        const CString stored = LastComponent(folder);
        const CString dbName = Decoded(stored);
        std::string error;
        if (!m_target.BeginDatabase(stored, dbName, error)) {
            Loss(u"Database " + dbName + u" not saved: " + Utf8(error));
            m_nDone += w.tables.size() + w.views.size() + w.triggers.size();
            continue;
        }
        std::string charset, collation;
        (void)ReadDbOpt(folder + u"/db.opt", charset, collation);
        if (Statement(BuildCreateDatabase(dbName, charset, collation), 0, u"Database " + dbName)) {
            for (std::size_t t : w.tables) {
                if (Stopping()) break;
                SaveTable(t, dbName);
                Step();
            }
            // Views after every table, each after the views it reads.
            if (!Stopping() && !w.views.empty()) {
                std::vector<CString> names;
                std::vector<CString> queries;
                std::vector<ObjectSql> sqls;
                for (std::size_t v : w.views) {
                    sqls.push_back(BuildViewSql(m_scan.m_viewFiles[v]));
                    names.push_back(Decoded(StemOf(m_scan.m_viewFiles[v])));
                    queries.push_back(sqls.back().text);
                }
                for (std::size_t k : OrderViews(names, queries, dbName)) {
                    if (Stopping()) break;
                    SaveView(w.views[k], dbName, sqls[k]);
                    Step();
                }
            }
            // Triggers after the data, so none fires on the restored rows.
            for (std::size_t t : w.triggers) {
                if (Stopping()) break;
                SaveTriggers(t, dbName);
                Step();
            }
        }
        if (!m_target.EndDatabase(error)) Loss(u"Database " + dbName + u": " + Utf8(error));
    }
    if (m_result.stopped) Log(u"The save was stopped before its end");
    m_result.complete = !m_result.stopped && m_result.losses == 0;
    return m_result;
}

}  // namespace

SaveSelection SelectObjects(const ScanResult& scan, const CString& database, const std::vector<CString>& names) {
    SaveSelection s;
    auto inDatabase = [&](const CString& folder) {
        if (database.IsEmpty()) return true;
        const CString stored = LastComponent(folder);
        return stored == database || Decoded(stored) == database;
    };
    for (std::size_t i = 0; i < scan.m_tables.size(); ++i) {
        const TableEntry& t = scan.m_tables[i];
        if (inDatabase(scan.m_databaseFolders[static_cast<std::size_t>(t.m_nDatabase)]) &&
            NameMatches(names, t.m_strName))
            s.tables.push_back(i);
    }
    for (std::size_t i = 0; i < scan.m_viewFiles.size(); ++i)
        if (inDatabase(ParentFolder(scan.m_viewFiles[i])) && NameMatches(names, StemOf(scan.m_viewFiles[i])))
            s.views.push_back(i);
    for (std::size_t i = 0; i < scan.m_triggers.size(); ++i)
        if (inDatabase(scan.m_triggers[i].m_strFolder) && NameMatches(names, StemOf(scan.m_triggers[i].m_strFileName)))
            s.triggers.push_back(i);
    return s;
}

SaveSelection SelectionFromChecked(const ScanResult& scan, const std::vector<CheckedTreeItem>& items) {
    SaveSelection s;
    std::set<std::size_t> tables, views, triggers;
    for (const CheckedTreeItem& item : items) {
        const TreeObject object = ResolveTreeItem(scan, item.data, item.parentData);
        switch (object.kind) {
        case TreeObjectKind::Table: tables.insert(object.index); break;
        case TreeObjectKind::View: views.insert(object.index); break;
        case TreeObjectKind::Trigger: triggers.insert(object.index); break;
        default: break;
        }
    }
    s.tables.assign(tables.begin(), tables.end());
    s.views.assign(views.begin(), views.end());
    s.triggers.assign(triggers.begin(), triggers.end());
    return s;
}

CString SaveSummary(const SaveResult& result) {
    CString text;
    text.Format(u"%llu table(s) with %llu row(s), %llu view(s) and the triggers of %llu table(s) saved.",
                static_cast<unsigned long long>(result.tablesSaved), static_cast<unsigned long long>(result.rowsSaved),
                static_cast<unsigned long long>(result.viewsSaved),
                static_cast<unsigned long long>(result.triggerFilesSaved));
    if (result.complete) return u"Saving completed: everything selected was saved. " + text;
    CString losses;
    losses.Format(u" %llu loss(es) or failure(s) are in the log.", static_cast<unsigned long long>(result.losses));
    return CString(result.stopped ? u"Saving was stopped: not everything selected was saved. "
                                  : u"Saving ended, but not everything selected was saved. ") +
           text + losses;
}

SaveResult SaveObjects(const ScanResult& scan, const SaveSelection& selection, const CollationMap& collations,
                       ISaveTarget& target, const SaveCallbacks& callbacks) {
    CSaveRun run(scan, collations, target, callbacks);
    return run.Run(selection);
}

std::vector<std::size_t> OrderViews(const std::vector<CString>& names, const std::vector<CString>& queries,
                                    const CString& database) {
    const std::size_t n = names.size();
    const std::string db = QuoteIdentifier(database);
    // needs[i]: the views view i reads.
    std::vector<std::vector<std::size_t>> needs(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string q = queries[i].ToUtf8();
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j) continue;
            const std::string ref = db + "." + QuoteIdentifier(names[j]);
            if (q.find(ref) != std::string::npos) needs[i].push_back(j);
        }
    }
    std::vector<std::size_t> order;
    std::vector<int> state(n, 0);  // 0 new, 1 on the path, 2 placed
    std::function<void(std::size_t)> visit = [&](std::size_t i) {
        if (state[i] != 0) return;  // placed, or a cycle: keep the file order
        state[i] = 1;
        for (std::size_t j : needs[i]) visit(j);
        state[i] = 2;
        order.push_back(i);
    };
    for (std::size_t i = 0; i < n; ++i) visit(i);
    return order;
}

std::vector<std::string> SplitClientText(std::string_view text) {
    std::vector<std::string> out;
    std::string delimiter = ";";
    std::string current;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (current.empty()) {
            if (line.empty() || line.rfind("-- ", 0) == 0) continue;
            if (line.rfind("DELIMITER ", 0) == 0) {
                delimiter = std::string(line.substr(10));
                continue;
            }
        }
        if (!current.empty()) current += '\n';
        current += line;
        if (current.size() >= delimiter.size() &&
            current.compare(current.size() - delimiter.size(), delimiter.size(), delimiter) == 0) {
            current.resize(current.size() - delimiter.size());
            while (!current.empty() && (current.back() == '\n' || current.back() == ' ')) current.pop_back();
            if (!current.empty()) out.push_back(current + ";");
            current.clear();
        }
    }
    if (!current.empty()) out.push_back(current + ";");
    return out;
}

// ---------------------------------------------------------------- script files

CScriptSaveTarget::~CScriptSaveTarget() {
    if (m_file) std::fclose(m_file);
}

bool CScriptSaveTarget::Write(std::string_view text, std::string& error) {
    if (!m_file) {
        error = "no script file is open";
        return false;
    }
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) {
        m_bFailed = true;
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CScriptSaveTarget::BeginDatabase(const CString& storedName, const CString&, std::string& error) {
    if (m_file) std::fclose(m_file);
    m_bFailed = false;
    m_path = m_folder;
    if (!m_path.empty() && m_path.back() != '/') m_path += '/';
    m_path += storedName.ToUtf8() + ".sql";
    m_file = std::fopen(m_path.c_str(), "wb");
    if (!m_file) {
        error = "cannot create " + m_path + ": " + std::strerror(errno);
        return false;
    }
    return Write(ScriptHeader(), error);
}

bool CScriptSaveTarget::Run(std::string_view statement, std::size_t, std::string& error) {
    return Write(statement, error);
}

bool CScriptSaveTarget::RunClientText(std::string_view text, std::string& error) {
    return Write(AsPlainStatements(text), error);
}

bool CScriptSaveTarget::EndDatabase(std::string& error) {
    if (!m_file) return true;
    bool ok = Write(ScriptFooter(), error);
    if (std::fclose(m_file) != 0 && ok) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        ok = false;
    }
    m_file = nullptr;
    if (ok && !m_bFailed) m_files.push_back(m_path);
    return ok && !m_bFailed;
}
