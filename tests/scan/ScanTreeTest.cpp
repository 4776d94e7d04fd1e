// The folder walk: which items the tree gets from a data folder written by a real server,
// and from folders holding what a scan meets besides (odd files, links, FIFOs).

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "app/DataFolderScan.h"
#include "tests/scan/ScanTestSupport.h"

namespace fs = std::filesystem;

namespace {

// The tree as table-dump --scan prints it, each line with its item data.
std::string TreeText(const ScanResult& scan, bool withData = false) {
    std::ostringstream out;
    for (int index : TreeDisplayOrder(scan.tree)) {
        const ScanTreeItem& item = scan.tree[static_cast<std::size_t>(index)];
        out << std::string(static_cast<std::size_t>(item.depth) * 2, ' ') << item.text.ToUtf8();
        if (withData) out << " [" << item.data << "/" << item.image << "]";
        out << "\n";
    }
    return out.str();
}

// The part of TreeText below the database item named name, the database line included.
std::string DatabaseText(const std::string& tree, const std::string& name) {
    const std::string head = "    " + name + "\n";
    std::size_t start = tree.find(head);
    if (start == std::string::npos) return std::string();
    std::size_t end = start + head.size();
    while (end < tree.size() && tree.compare(end, 6, "      ") == 0) end = tree.find('\n', end) + 1;
    return tree.substr(start, end - start);
}

std::string Problems(const ScanResult& scan) {
    std::string out;
    for (const ScanProblem& p : scan.problems) out += ScanProblemLogLine(p).ToUtf8() + "\n";
    return out;
}

TEST(ScanTree, CorpusDatabasesSortedWithDecodedNames) {
    const ScanResult scan = ScanDataFolder(CString::FromUtf8(FixtureDir("corpus").string()));
    EXPECT_TRUE(scan.problems.empty()) << Problems(scan);
    const std::string tree = TreeText(scan, true);
    EXPECT_EQ(tree.substr(0, tree.find('\n', tree.find('\n') + 1) + 1),
              "MYSQL database [-1/0]\n  " + FixtureDir("corpus").string() + "/ [-1/0]\n");
    // Listed as a Windows volume lists them: upper case, so ORDERS sorts before ORDER_LOG.
    // Item data: tables are numbered across the databases before them.
    const std::string viewsTriggers = DatabaseText(TreeText(scan), "views_triggers");
    EXPECT_EQ(viewsTriggers,
              "    views_triggers\n"
              "      Tables\n"
              "        orders\n"
              "          Keys\n"
              "        order_log\n"
              "          Keys\n"
              "        products\n"
              "          Keys\n"
              "      Trigger\n"
              "        orders\n"
              "      Views\n"
              "        v_open_orders\n"
              "        v_products\n");
    EXPECT_EQ(DatabaseText(TreeText(scan), "enc db-ü"),
              "    enc db-ü\n"
              "      Tables\n"
              "        1st\n"
              "          Keys\n"
              "        #$%\n"
              "          Keys\n"
              "        Ω€ x.y\n"
              "          Keys\n"
              "        a@b\n"
              "          Keys\n"
              "        MixedCase\n"
              "          Keys\n"
              "        tab-le ä\n"
              "          Keys\n");
    const std::vector<std::string> databases = {"enc@0020db@002d@1o", "innodb_features", "innodb_instant",
                                                "innodb_system",      "innodb_types",    "myisam_formats",
                                                "myisam_types",       "old_temporal",    "views_triggers"};
    ASSERT_EQ(scan.m_databaseFolders.size(), databases.size());
    for (std::size_t i = 0; i < databases.size(); ++i)
        EXPECT_EQ(scan.m_databaseFolders[i].ToUtf8(), (FixtureDir("corpus") / databases[i]).string());
    EXPECT_EQ(scan.m_viewFiles.size(), 2u);
    ASSERT_EQ(scan.m_triggers.size(), 1u);
    EXPECT_EQ(scan.m_triggers[0].m_strFileName.ToUtf8(), "orders.TRG");
    EXPECT_EQ(TriggerFilePath(scan, 0).ToUtf8(), (FixtureDir("corpus") / "views_triggers/orders.TRG").string());
}

// Every object item resolves to the list entry it shows, numbered 1, 2, ... in tree order,
// and its list entry's stored name is the file of that name.
TEST(ScanTree, ItemDataIndexesTheListsInTreeOrder) {
    const ScanResult scan = ScanDataFolder(CString::FromUtf8(FixtureDir("corpus").string()));
    int nextTable = 1, nextView = 1, nextTrigger = 1;
    for (int index : TreeDisplayOrder(scan.tree)) {
        const ScanTreeItem& item = scan.tree[static_cast<std::size_t>(index)];
        const int parentData = item.parent < 0 ? TREE_ITEM_GROUP : scan.tree[static_cast<std::size_t>(item.parent)].data;
        const TreeObject object = ResolveTreeItem(scan, item.data, parentData);
        switch (object.kind) {
        case TreeObjectKind::Table:
            EXPECT_EQ(item.data, nextTable++);
            EXPECT_TRUE(fs::is_regular_file(TableBasePath(scan, object.index).ToUtf8() + ".frm"));
            break;
        case TreeObjectKind::View:
            EXPECT_EQ(item.data, nextView++);
            break;
        case TreeObjectKind::Trigger:
            EXPECT_EQ(item.data, nextTrigger++);
            break;
        case TreeObjectKind::Keys:
            EXPECT_EQ(item.image, kTreeImageKeys);
            EXPECT_EQ(static_cast<int>(object.index) + 1, parentData);
            break;
        case TreeObjectKind::None:
            EXPECT_LT(item.data, 0) << item.text.ToUtf8();
            break;
        }
    }
    EXPECT_EQ(nextTable - 1, static_cast<int>(scan.m_tables.size()));
    EXPECT_EQ(nextView - 1, 2);
    EXPECT_EQ(nextTrigger - 1, 1);
}

TEST(ScanTree, ItemDataZeroOrBelowIsNoObject) {
    ScanResult scan;
    scan.m_tables = {{0, u"t1"}, {0, u"t2"}};
    scan.m_viewFiles = {u"/d/db/v.frm"};
    scan.m_triggers = {{u"t1.TRG", u"/d/db"}};
    struct Case {
        int data, parentData;
        TreeObjectKind kind;
        std::size_t index;
    };
    const Case cases[] = {
        {1, TREE_ITEM_GROUP, TreeObjectKind::Table, 0},   {2, TREE_ITEM_GROUP, TreeObjectKind::Table, 1},
        {0, TREE_ITEM_GROUP, TreeObjectKind::None, 0},    {3, TREE_ITEM_GROUP, TreeObjectKind::None, 0},
        {-1, TREE_ITEM_GROUP, TreeObjectKind::None, 0},   {TREE_ITEM_KEYS, 2, TreeObjectKind::Keys, 1},
        {TREE_ITEM_KEYS, 0, TreeObjectKind::None, 0},     {TREE_ITEM_KEYS, 3, TreeObjectKind::None, 0},
        {1, TREE_ITEM_VIEWS, TreeObjectKind::View, 0},    {0, TREE_ITEM_VIEWS, TreeObjectKind::None, 0},
        {2, TREE_ITEM_VIEWS, TreeObjectKind::None, 0},    {1, TREE_ITEM_TRIGGERS, TreeObjectKind::Trigger, 0},
        {0, TREE_ITEM_TRIGGERS, TreeObjectKind::None, 0}, {-3, TREE_ITEM_TRIGGERS, TreeObjectKind::None, 0},
    };
    for (const Case& c : cases) {
        TreeObject o = ResolveTreeItem(scan, c.data, c.parentData);
        EXPECT_EQ(o.kind, c.kind) << c.data << " under " << c.parentData;
        if (c.kind != TreeObjectKind::None) {
            EXPECT_EQ(o.index, c.index) << c.data << " under " << c.parentData;
        }
    }
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A data folder with what a scan meets besides tables: files it must not show, files it
// cannot open, links that lead nowhere, a FIFO (which must not block the scan).
TEST(ScanTree, OddEntriesAreReportedAndSkipped) {
    ScratchDir dir;
    const fs::path root = dir.path() / "data";
    const std::string table = ReadFileBytes(FixtureDir("corpus") / "views_triggers/products.frm");
    const std::string view = ReadFileBytes(FixtureDir("corpus") / "views_triggers/v_products.frm");
    ASSERT_EQ(table.substr(0, 2), "\xFE\x01");
    WriteFile(root / "db1/T1.FRM", table);
    WriteFile(root / "db1/t1.frm.bak", table);
    WriteFile(root / "db1/t1", table);
    WriteFile(root / "db1/short.frm", "\xFE");
    WriteFile(root / "db1/junk.frm", "hello, world");
    WriteFile(root / "db1/trg_test.trg", "TYPE=TRIGGERS\n");
    fs::create_directories(root / "db1/folder.frm");
    ASSERT_EQ(::mkfifo((root / "db1/pipe.frm").c_str(), 0600), 0);
    fs::create_symlink(root / "nowhere.frm", root / "db1/gone.frm");
    WriteFile(root / "db2/v@002dx.frm", view);
    WriteFile(root / "db2/a.frm", table);
    WriteFile(root / "loose.frm", table);
    fs::create_symlink(root / "nowhere", root / "db3");

    const ScanResult scan = ScanDataFolder(CString::FromUtf8(root.string()));
    EXPECT_EQ(TreeText(scan, true),
              "MYSQL database [-1/0]\n"
              "  " + root.string() + "/ [-1/0]\n"
              "    db1 [-1/0]\n"
              "      Tables [-1/0]\n"
              "        T1 [1/0]\n"
              "          Keys [-2/2]\n"
              "      Trigger [-3/21]\n"
              "        trg_test [1/0]\n"
              "    db2 [-1/0]\n"
              "      Tables [-1/0]\n"
              "        a [2/0]\n"
              "          Keys [-2/2]\n"
              "      Views [-4/15]\n"
              "        v-x [1/0]\n");
    EXPECT_EQ(Problems(scan),
              root.string() + "/db3 cannot be examined: No such file or directory.\n" +
              root.string() + "/db1/gone.frm cannot be examined: No such file or directory.\n" +
              root.string() + "/db1/junk.frm is neither a table definition nor a view definition; not shown.\n" +
              root.string() + "/db1/pipe.frm is not a regular file; not opened.\n" +
              root.string() + "/db1/short.frm is neither a table definition nor a view definition; not shown.\n");
    EXPECT_EQ(scan.m_tables[0].m_strName.ToUtf8(), "T1");
    EXPECT_EQ(scan.m_tables[1].m_nDatabase, 1);
    EXPECT_EQ(scan.m_viewFiles[0].ToUtf8(), (root / "db2/v@002dx.frm").string());
    EXPECT_EQ(scan.m_triggers[0].m_strFolder.ToUtf8(), (root / "db1").string());
}

TEST(ScanTree, FolderWithoutSubfoldersIsTheOneDatabase) {
    const fs::path db = FixtureDir("corpus") / "views_triggers";
    // Given with a trailing separator, as the folder dialog stores it.
    const ScanResult scan = ScanDataFolder(CString::FromUtf8(db.string() + "/"));
    ASSERT_EQ(scan.m_databaseFolders.size(), 1u);
    EXPECT_EQ(scan.m_databaseFolders[0].ToUtf8(), db.string());
    EXPECT_EQ(scan.m_strScanRoot.ToUtf8(), db.string() + "/");
    EXPECT_EQ(DatabaseText(TreeText(scan), "views_triggers"),
              DatabaseText(TreeText(ScanDataFolder(CString::FromUtf8(FixtureDir("corpus").string()))),
                           "views_triggers"));
    EXPECT_EQ(scan.m_tables.size(), 3u);
}

TEST(ScanTree, FolderThatCannotBeListedIsReported) {
    ScratchDir dir;
    WriteFile(dir.path() / "file", "x");
    for (const fs::path& root : {dir.path() / "file", dir.path() / "missing"}) {
        const ScanResult scan = ScanDataFolder(CString::FromUtf8(root.string()));
        EXPECT_EQ(scan.tree.size(), 2u);
        ASSERT_EQ(scan.problems.size(), 1u);
        EXPECT_EQ(scan.problems[0].path.ToUtf8(), root.string());
        EXPECT_EQ(scan.problems[0].reason.Left(16).ToUtf8(), "cannot be listed");
    }
}

TEST(ScanTree, ProgressPerDatabaseAndStop) {
    std::vector<std::pair<int, int>> steps;
    ScanCallbacks callbacks;
    callbacks.progress = [&](int done, int total) { steps.emplace_back(done, total); };
    ScanResult full = ScanDataFolder(CString::FromUtf8(FixtureDir("corpus").string()), callbacks);
    ASSERT_EQ(steps.size(), 9u);
    EXPECT_EQ(steps.front(), std::make_pair(1, 9));
    EXPECT_EQ(steps.back(), std::make_pair(9, 9));
    EXPECT_FALSE(full.stopped);

    int asked = 0;
    callbacks.progress = nullptr;
    callbacks.stopRequested = [&] { return ++asked > 3; };
    ScanResult stopped = ScanDataFolder(CString::FromUtf8(FixtureDir("corpus").string()), callbacks);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_LT(stopped.m_tables.size(), full.m_tables.size());
}

}  // namespace
