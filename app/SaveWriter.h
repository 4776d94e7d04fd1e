#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/DataFolderScan.h"
#include "engine/Collation.h"
#include "platform/core/CString.h"

// Saving recovered objects, without the window: the statements that recreate the checked
// databases, tables, views and triggers and give the rows back, handed to a target (a
// script file per database, or a live server). Each table is read by a reader of its own
// in save mode, so whatever else reads the same files keeps its own mode.

// What to save, as positions in the scan's lists.
struct SaveSelection {
    std::vector<std::size_t> tables;
    std::vector<std::size_t> views;
    std::vector<std::size_t> triggers;
    bool Empty() const { return tables.empty() && views.empty() && triggers.empty(); }
};

// Every object of the scan whose database folder's stored name is database (all
// databases when database is empty) and, when names is not empty, whose name (stored or
// shown) is one of names; a trigger file counts by its table's name.
SaveSelection SelectObjects(const ScanResult& scan, const CString& database, const std::vector<CString>& names);

// The objects of checked tree items, each given as its item data and its parent's (a
// checked database or group has its objects checked with it; "Keys" and groups add
// nothing themselves). Positions past the scan's lists are left out.
struct CheckedTreeItem {
    int data = 0;
    int parentData = -1;
};
SaveSelection SelectionFromChecked(const ScanResult& scan, const std::vector<CheckedTreeItem>& items);

// Where the statements go. Statements come one at a time, without a closing delimiter
// line of their own except for client text (views and triggers), which the target gets
// whole through RunClientText.
class ISaveTarget {
public:
    virtual ~ISaveTarget() = default;
    // A database begins: storedName is its folder's name on disk, name its SQL name.
    // False (with why in error) when nothing can be written for it.
    virtual bool BeginDatabase(const CString& storedName, const CString& name, std::string& error) = 0;
    // One statement ending in ";\n". rows: the rows it inserts (0 for other statements).
    virtual bool Run(std::string_view statement, std::size_t rows, std::string& error) = 0;
    // Text for the command-line client (SET lines, DELIMITER blocks, -- comments).
    virtual bool RunClientText(std::string_view text, std::string& error) = 0;
    // The database ends; false when what was written could not be kept.
    virtual bool EndDatabase(std::string& error) = 0;
};

struct SaveCallbacks {
    // One log line (what was saved, rows per table, every loss).
    std::function<void(const CString& line)> log;
    // Loss and failure lines; unset: they go to log.
    std::function<void(const CString& line)> loss;
    // Objects done, objects in all.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Asked between pages; true stops the save after the current statement.
    std::function<bool()> stopRequested;
};

struct SaveResult {
    bool complete = false;  // every selected object saved with nothing lost
    bool stopped = false;
    std::size_t tablesSaved = 0;
    std::size_t viewsSaved = 0;
    std::size_t triggerFilesSaved = 0;
    std::uint64_t rowsSaved = 0;
    std::size_t losses = 0;  // loss and failure lines logged
};

// The closing message of a save: whether everything was saved, what was, how many losses.
CString SaveSummary(const SaveResult& result);

// Saves selection from scan (data folder root scan.m_strScanRoot, ibdata1 read from it
// when present) into target. Rows come in pages; memory holds one page and one
// statement whatever a table's size.
SaveResult SaveObjects(const ScanResult& scan, const SaveSelection& selection, const CollationMap& collations,
                       ISaveTarget& target, const SaveCallbacks& callbacks = {});

// Writes one UTF-8 file per database, folder/<stored name>.sql, which a fresh server loads
// with `mariadb < FILE`. Views and triggers are created through EXECUTE IMMEDIATE of
// their text as hex, which the command-line client passes on untouched (it would strip
// the comments of a trigger body) and which needs no DELIMITER.
class CScriptSaveTarget : public ISaveTarget {
public:
    explicit CScriptSaveTarget(std::string folder) : m_folder(std::move(folder)) {}
    ~CScriptSaveTarget() override;
    bool BeginDatabase(const CString& storedName, const CString& name, std::string& error) override;
    bool Run(std::string_view statement, std::size_t rows, std::string& error) override;
    bool RunClientText(std::string_view text, std::string& error) override;
    bool EndDatabase(std::string& error) override;
    const std::vector<std::string>& FilesWritten() const { return m_files; }

private:
    bool Write(std::string_view text, std::string& error);
    std::string m_folder;
    std::string m_path;
    std::FILE* m_file = nullptr;
    bool m_bFailed = false;
    std::vector<std::string> m_files;
};

// Views of one database in an order in which each comes after the views its query
// names (`db`.`view`); a cycle keeps the file order for the views in it.
std::vector<std::size_t> OrderViews(const std::vector<CString>& names, const std::vector<CString>& queries,
                                    const CString& database);

// The statements of client text, each without its delimiter and ending in ";": DELIMITER
// lines change the delimiter; -- comment lines between statements are dropped.
std::vector<std::string> SplitClientText(std::string_view text);
