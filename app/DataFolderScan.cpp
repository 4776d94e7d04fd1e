#include "app/DataFolderScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "app/MySqlNames.h"
#include "platform/core/CodePage.h"

namespace {

// Bytes read from a .frm to tell a table definition from a view.
constexpr std::size_t kFrmProbeBytes = 10;
constexpr unsigned char kTableMagic[2] = {0xFE, 0x01};
constexpr char kViewMagic[] = "TYPE=VIEW";
constexpr std::size_t kViewMagicLength = sizeof kViewMagic - 1;

CString FromNative(const std::string& bytes) { return CString::FromUtf8(bytes); }

CString ErrnoText(int error) { return CString::FromUtf8(std::strerror(error)); }

struct DirEntry {
    std::string name;  // as the file system holds it
    CString text;      // the same as text
    CString sortKey;
};

// Upper case, as a Windows volume orders its entries; ties by the exact name.
bool ListedBefore(const DirEntry& a, const DirEntry& b) {
    if (int c = a.sortKey.Compare(b.sortKey)) return c < 0;
    return a.name < b.name;
}

// The entries of folder but "." and "..", sorted; false with the reason when the
// folder cannot be listed. Names that are not UTF-8 cannot be opened by their text and
// are reported.
bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries, ScanResult& result) {
    entries.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        result.problems.push_back({FromNative(folder), u"cannot be listed: " + ErrnoText(errno)});
        return false;
    }
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(dir);
        if (!e) {
            if (errno != 0)
                result.problems.push_back(
                    {FromNative(folder), u"listing ended early: " + ErrnoText(errno)});
            break;
        }
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!codepage::IsValidUtf8(name.data(), name.size())) {
            result.problems.push_back(
                {FromNative(folder + "/" + name), u"the name is not UTF-8 text; not looked at"});
            continue;
        }
        DirEntry entry;
        entry.text = FromNative(name);
        entry.sortKey = entry.text;
        entry.sortKey.MakeUpper();
        entry.name = std::move(name);
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), ListedBefore);
    return true;
}

enum class EntryType { Directory, Regular, Other, Missing };

EntryType TypeOf(const std::string& path, int& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = errno;
        return EntryType::Missing;
    }
    if (S_ISDIR(st.st_mode)) return EntryType::Directory;
    if (S_ISREG(st.st_mode)) return EntryType::Regular;
    return EntryType::Other;
}

std::string LowerExtension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return std::string();
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

enum class FrmKind { Table, View, Neither, Unreadable };

// The first bytes of a .frm, opened read-only; a FIFO or device is never opened for
// reading (O_NONBLOCK keeps a FIFO from blocking the open, fstat then refuses it).
FrmKind ProbeFrm(const std::string& path, CString& reason) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = u"cannot be opened: " + ErrnoText(errno);
        return FrmKind::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        reason = u"is not a regular file";
        return FrmKind::Unreadable;
    }
    unsigned char head[kFrmProbeBytes] = {};
    std::size_t got = 0;
    while (got < sizeof head) {
        ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = u"cannot be read: " + ErrnoText(errno);
            ::close(fd);
            return FrmKind::Unreadable;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got >= 2 && head[0] == kTableMagic[0] && head[1] == kTableMagic[1]) return FrmKind::Table;
    if (got >= kViewMagicLength && std::memcmp(head, kViewMagic, kViewMagicLength) == 0) return FrmKind::View;
    reason = u"is neither a table definition nor a view definition; not shown";
    return FrmKind::Neither;
}

int AddItem(ScanResult& result, int parent, CString text, int image, int data) {
    ScanTreeItem item;
    item.parent = parent;
    item.depth = parent < 0 ? 0 : result.tree[static_cast<std::size_t>(parent)].depth + 1;
    item.text = std::move(text);
    item.image = image;
    item.data = data;
    result.tree.push_back(std::move(item));
    return static_cast<int>(result.tree.size()) - 1;
}

// Last path component of a folder given without trailing separator.
std::string LastComponent(const std::string& folder) {
    std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

bool StopRequested(const ScanCallbacks& callbacks) { return callbacks.stopRequested && callbacks.stopRequested(); }

// Classifies the entries of one database folder into the lists and the tree.
void ScanDatabaseFolder(ScanResult& result, int databaseItem, const std::string& folder, int tablesItem,
                        int databaseIndex, const ScanCallbacks& callbacks) {
    std::vector<DirEntry> entries;
    if (!ListFolder(folder, entries, result)) return;
    int viewsItem = -1;
    int triggerItem = -1;
    for (const DirEntry& entry : entries) {
        if (StopRequested(callbacks)) {
            result.stopped = true;
            return;
        }
        const std::string ext = LowerExtension(entry.name);
        if (ext != "frm" && ext != "trg") continue;
        const std::string path = folder + "/" + entry.name;
        int error = 0;
        const EntryType type = TypeOf(path, error);
        if (type == EntryType::Directory) continue;
        if (type == EntryType::Missing) {
            result.problems.push_back({FromNative(path), u"cannot be examined: " + ErrnoText(error)});
            continue;
        }
        if (type == EntryType::Other) {
            result.problems.push_back({FromNative(path), u"is not a regular file; not opened"});
            continue;
        }
        if (ext == "trg") {
            if (triggerItem < 0)
                triggerItem = AddItem(result, databaseItem, kTreeTriggerText, kTreeImageTrigger, TREE_ITEM_TRIGGERS);
            result.m_triggers.push_back({entry.text, FromNative(folder)});
            AddItem(result, triggerItem, ObjectDisplayName(entry.text), kTreeImageFolder,
                    static_cast<int>(result.m_triggers.size()));
            continue;
        }
        CString reason;
        switch (ProbeFrm(path, reason)) {
        case FrmKind::Table: {
            CString stored = entry.text.Left(entry.text.GetLength() - 4);
            result.m_tables.push_back({databaseIndex, stored});
            int item = AddItem(result, tablesItem, DecodeFileName(stored), kTreeImageFolder,
                               static_cast<int>(result.m_tables.size()));
            AddItem(result, item, kTreeKeysText, kTreeImageKeys, TREE_ITEM_KEYS);
            break;
        }
        case FrmKind::View:
            if (viewsItem < 0) viewsItem = AddItem(result, databaseItem, kTreeViewsText, kTreeImageViews, TREE_ITEM_VIEWS);
            result.m_viewFiles.push_back(FromNative(path));
            AddItem(result, viewsItem, ObjectDisplayName(entry.text), kTreeImageFolder,
                    static_cast<int>(result.m_viewFiles.size()));
            break;
        case FrmKind::Neither:
        case FrmKind::Unreadable:
            result.problems.push_back({FromNative(path), reason});
            break;
        }
    }
}

// A database item with its "Tables" child, then its folder's objects.
void AddDatabase(ScanResult& result, int folderItem, const std::string& folder, int databaseIndex,
                 const ScanCallbacks& callbacks) {
    int databaseItem = AddItem(result, folderItem, DecodeFileName(FromNative(LastComponent(folder))),
                               kTreeImageFolder, TREE_ITEM_GROUP);
    int tablesItem = AddItem(result, databaseItem, kTreeTablesText, kTreeImageFolder, TREE_ITEM_GROUP);
    ScanDatabaseFolder(result, databaseItem, folder, tablesItem, databaseIndex, callbacks);
}

}  // namespace

ScanResult ScanDataFolder(const CString& root, const ScanCallbacks& callbacks) {
    ScanResult result;
    std::string rootPath = root.ToUtf8();
    while (rootPath.size() > 1 && rootPath.back() == '/') rootPath.pop_back();
    result.m_strScanRoot = FromNative(rootPath == "/" ? rootPath : rootPath + "/");

    int top = AddItem(result, -1, kTreeRootText, kTreeImageFolder, TREE_ITEM_GROUP);
    int folderItem = AddItem(result, top, result.m_strScanRoot, kTreeImageFolder, TREE_ITEM_GROUP);
    if (rootPath.empty()) {
        result.problems.push_back({root, u"no folder given"});
        return result;
    }

    std::vector<DirEntry> entries;
    if (!ListFolder(rootPath, entries, result)) return result;
    for (const DirEntry& entry : entries) {
        const std::string path = rootPath == "/" ? "/" + entry.name : rootPath + "/" + entry.name;
        int error = 0;
        EntryType type = TypeOf(path, error);
        if (type == EntryType::Directory) {
            result.m_databaseFolders.push_back(FromNative(path));
        } else if (type == EntryType::Missing) {
            // Perhaps a database folder behind a broken link.
            result.problems.push_back({FromNative(path), u"cannot be examined: " + ErrnoText(error)});
        }
    }

    if (result.m_databaseFolders.empty()) {
        // The folder itself is the one database.
        if (rootPath == "/") return result;
        result.m_databaseFolders.push_back(FromNative(rootPath));
        AddDatabase(result, folderItem, rootPath, 0, callbacks);
        if (callbacks.progress) callbacks.progress(1, 1);
        return result;
    }
    const int total = static_cast<int>(result.m_databaseFolders.size());
    for (int i = 0; i < total; ++i) {
        if (StopRequested(callbacks)) {
            result.stopped = true;
            break;
        }
        AddDatabase(result, folderItem, result.m_databaseFolders[static_cast<std::size_t>(i)].ToUtf8(), i, callbacks);
        if (callbacks.progress) callbacks.progress(i + 1, total);
        if (result.stopped) break;
    }
    return result;
}

std::vector<int> TreeDisplayOrder(const std::vector<ScanTreeItem>& tree) {
    // Children are listed per parent in insertion order, then walked depth first.
    const int count = static_cast<int>(tree.size());
    std::vector<std::vector<int>> children(tree.size());
    std::vector<int> roots;
    for (int i = 0; i < count; ++i) {
        int parent = tree[static_cast<std::size_t>(i)].parent;
        if (parent >= 0 && parent < i) children[static_cast<std::size_t>(parent)].push_back(i);
        else roots.push_back(i);
    }
    std::vector<int> order;
    order.reserve(tree.size());
    std::vector<int> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        int item = stack.back();
        stack.pop_back();
        order.push_back(item);
        const auto& kids = children[static_cast<std::size_t>(item)];
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return order;
}

CString ScanProblemLogLine(const ScanProblem& problem) { return problem.path + u" " + problem.reason + u"."; }

TreeObject ResolveTreeItem(const ScanResult& scan, int data, int parentData) {
    TreeObject none;
    auto within = [](int value, std::size_t size) { return value > 0 && static_cast<std::size_t>(value) <= size; };
    if (data == TREE_ITEM_KEYS) {
        if (!within(parentData, scan.m_tables.size())) return none;
        return {TreeObjectKind::Keys, static_cast<std::size_t>(parentData - 1)};
    }
    if (parentData == TREE_ITEM_TRIGGERS) {
        if (!within(data, scan.m_triggers.size())) return none;
        return {TreeObjectKind::Trigger, static_cast<std::size_t>(data - 1)};
    }
    if (parentData == TREE_ITEM_VIEWS) {
        if (!within(data, scan.m_viewFiles.size())) return none;
        return {TreeObjectKind::View, static_cast<std::size_t>(data - 1)};
    }
    if (!within(data, scan.m_tables.size())) return none;
    return {TreeObjectKind::Table, static_cast<std::size_t>(data - 1)};
}

CString TableBasePath(const ScanResult& scan, std::size_t tableIndex) {
    const TableEntry& t = scan.m_tables.at(tableIndex);
    return scan.m_databaseFolders.at(static_cast<std::size_t>(t.m_nDatabase)) + u"/" + t.m_strName;
}

CString TriggerFilePath(const ScanResult& scan, std::size_t triggerIndex) {
    const TriggerEntry& t = scan.m_triggers.at(triggerIndex);
    return t.m_strFolder + u"/" + t.m_strFileName;
}

CString ObjectDisplayName(const CString& fileName) {
    return DecodeFileName(fileName.Left(std::max(0, fileName.GetLength() - 4)));
}
