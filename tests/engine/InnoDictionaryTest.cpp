#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/InnoDictionary.h"
#include "engine/InnoPage.h"
#include "engine/TableEngine.h"
#include "tests/engine/InnoDictFixtures.h"
#include "tests/engine/InnoPageBuilder.h"

using namespace dictpages;
namespace fx = dictfixtures;

namespace {

CString U8(const std::string& s) { return CString::FromUtf8(s); }

std::vector<std::string> TablesRow(const std::string& name, std::uint64_t id, std::uint32_t nCols = 0x80000003u) {
    return {name, std::string("\x01\x02\x03\x04\x05\x06", 6), std::string("\x81\x00\x00\x01\x02\x00\x10", 7),
            Be64(id), Be32(nCols), Be32(33), Be64(0), Be32(80), "", Be32(5)};
}
std::vector<std::string> ColumnsRow(std::uint64_t table, std::uint32_t pos, const std::string& name,
                                    std::uint32_t mtype, std::uint32_t prtype, std::uint32_t len) {
    return {Be64(table), Be32(pos), std::string(6, '\0'), std::string(7, '\0'), name, Be32(mtype), Be32(prtype),
            Be32(len), Be32(0)};
}
std::vector<std::string> IndexesRow(std::uint64_t table, std::uint64_t id, const std::string& name,
                                    std::uint32_t type, std::uint32_t page) {
    return {Be64(table), Be64(id), std::string(6, '\0'), std::string(7, '\0'), name, Be32(1), Be32(type), Be32(9),
            Be32(page), Be32(50)};
}

class DictionaryLoad : public ::testing::Test {
protected:
    // An ibdata1 whose three dictionary roots are the given leaf pages (pages 8, 10, 11).
    std::string Write(std::map<std::uint32_t, Page> pages, std::uint64_t count = 16) {
        for (std::uint32_t root : {8u, 10u, 11u})
            if (!pages.count(root)) pages[root] = RedundantPage(root).page;
        return ts.Write(pages, count);
    }
    CDralvekOstruneApp app;
    TempTablespace ts;
    AppEngine e;
};

TEST_F(DictionaryLoad, DecodesEachKindFieldByField) {
    RedundantPage tables(8), columns(10), indexes(11);
    tables.Add(TablesRow("shop/orders", 0x0102030405060708ull));
    columns.Add(ColumnsRow(42, 3, "amount", 6, 0x503, 4));
    indexes.Add(IndexesRow(42, 77, "PRIMARY", 3, 3));
    ASSERT_TRUE(e.LoadDictionary(U8(Write({{8, tables.page}, {10, columns.page}, {11, indexes.page}}))));
    EXPECT_EQ(e.m_nIbdataPages, 16u);
    ASSERT_EQ(e.m_sysTables.size(), 1u);
    const SysTablesRecord& t = e.m_sysTables[0];
    EXPECT_EQ(t.NAME, CString(u"shop/orders"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.DB_TRX_ID), 8), std::string("\x01\x02\x03\x04\x05\x06\0\0", 8));
    EXPECT_EQ(t.DB_ROLL_PTR.insertFlag, 0x80);
    EXPECT_EQ(t.DB_ROLL_PTR.rollbackSegment, 1);
    EXPECT_EQ(t.DB_ROLL_PTR.undoPage, 0x00000102u);
    EXPECT_EQ(t.DB_ROLL_PTR.offset, 0x0010u);
    EXPECT_EQ(t.ID, 0x0102030405060708ull);
    EXPECT_EQ(t.N_COLS, 3u);  // the COMPACT flag (top bit) is not a column count
    EXPECT_EQ(t.TYPE, 33u);
    EXPECT_EQ(t.MIX_LEN, 80u);
    EXPECT_EQ(t.CLUSTER_NAME, 0u);
    EXPECT_EQ(t.SPACE, 5u);
    ASSERT_EQ(e.m_sysColumns.size(), 1u);
    EXPECT_EQ(e.m_sysColumns[0].TABLE_ID, 42u);
    EXPECT_EQ(e.m_sysColumns[0].POS, 3u);
    EXPECT_EQ(e.m_sysColumns[0].NAME, CString(u"amount"));
    EXPECT_EQ(e.m_sysColumns[0].MTYPE, 6u);
    EXPECT_EQ(e.m_sysColumns[0].PRTYPE, 0x503u);
    EXPECT_EQ(e.m_sysColumns[0].LEN, 4u);
    ASSERT_EQ(e.m_sysIndexes.size(), 1u);
    const SysIndexesRecord& i = e.m_sysIndexes[0];
    EXPECT_EQ(i.TABLE_ID, 42u);
    EXPECT_EQ(i.ID, 77u);
    EXPECT_EQ(i.NAME, CString(u"PRIMARY"));
    EXPECT_EQ(i.N_FIELDS, 1u);
    EXPECT_EQ(i.TYPE, 3u);
    EXPECT_EQ(i.SPACE, 9u);
    EXPECT_EQ(i.PAGE_NO, 3u);  // the tenth field (MERGE_THRESHOLD) is read over
}

TEST_F(DictionaryLoad, FieldsOfUnexpectedShape) {
    RedundantPage tables(8);
    std::vector<std::string> shortId = TablesRow("db/short_id", 1);
    shortId[3] = std::string(7, '\x09');
    tables.Add(shortId);
    tables.Add(TablesRow(std::string("db/cut\0tail", 11), 2));
    std::vector<std::string> cluster = TablesRow("db/cluster", 3);
    cluster[8] = std::string("\x00\x00\x01\x02\x03", 5);
    tables.Add(cluster);
    tables.Add(TablesRow(std::string(1500, 'n'), 4), false);  // no dictionary name is that long
    tables.Add(TablesRow("db/\xce\xba\xce\xbb", 5));
    tables.Add({"db/few_fields"});
    ASSERT_TRUE(e.LoadDictionary(U8(Write({{8, tables.page}}))));
    ASSERT_EQ(e.m_sysTables.size(), 6u);
    EXPECT_EQ(e.m_sysTables[0].ID, 0u);  // a 7-byte id is not taken, the record is
    EXPECT_EQ(e.m_sysTables[0].NAME, CString(u"db/short_id"));
    EXPECT_EQ(e.m_sysTables[1].NAME, CString(u"db/cut"));
    EXPECT_EQ(e.m_sysTables[2].CLUSTER_NAME, 0x102u);
    EXPECT_TRUE(e.m_sysTables[3].NAME.IsEmpty());
    EXPECT_EQ(e.m_sysTables[3].ID, 4u);
    EXPECT_EQ(e.m_sysTables[4].NAME, CString(u"db/\u03ba\u03bb"));
    EXPECT_EQ(e.m_sysTables[5].ID, 0u);
}

TEST_F(DictionaryLoad, CollationAndCharacterWidthsOfColumns) {
    struct Case {
        std::uint32_t mtype, prtype;
        std::uint32_t prtypeAfter, mbmin, mbmax;
    };
    const Case cases[] = {
        {6, 0x103, 0x103, 0, 0},                 // integer: no collation, no widths
        {1, 0x0F, 0x8000F, 1, 1},                // VARCHAR without collation: latin1
        {12, 0x2D000F, 0x2D000F, 1, 4},          // utf8mb4_general_ci as stored
        {13, 0x2300FE, 0x2300FE, 2, 2},          // ucs2 CHAR
        {5, 0x4FC, 0x3F04FC, 1, 1},              // BLOB with the binary flag: binary
        {5, 0xFC, 0x800FC, 1, 1},                // TEXT without collation: latin1
        {3, 0x4F6, 0x3F04F6, 1, 1},              // fixed binary without collation
        {12, 0x7F0000 | 0x0F, 0x7F000F, 0, 0},   // a collation the table lacks
        {12, 0x2600000 | 0x0F, 0x260000F, 1, 4}, // collation 608 (past 255)
        {14, 0x4FF, 0x4FF, 0, 0},                // geometry keeps what it has
    };
    RedundantPage columns(10);
    for (const Case& c : cases) columns.Add(ColumnsRow(1, static_cast<std::uint32_t>(&c - cases), "c", c.mtype, c.prtype, 10));
    ASSERT_TRUE(e.LoadDictionary(U8(Write({{10, columns.page}}))));
    ASSERT_EQ(e.m_sysColumns.size(), std::size(cases));
    for (const Case& c : cases) {
        const SysColumnsRecord& r = e.m_sysColumns[static_cast<std::size_t>(&c - cases)];
        EXPECT_EQ(r.PRTYPE, c.prtypeAfter) << std::hex << c.prtype;
        EXPECT_EQ(r.mbminlen, c.mbmin) << std::hex << c.prtype;
        EXPECT_EQ(r.mbmaxlen, c.mbmax) << std::hex << c.prtype;
        EXPECT_EQ(r.mbminmaxlen, c.mbmin + 5 * c.mbmax) << std::hex << c.prtype;
    }
}

// A dropped table leaves delete-marked dictionary records until purge removes them;
// taking them would give a re-created table a second id and old columns.
TEST_F(DictionaryLoad, DeleteMarkedRecordsAreNotLoaded) {
    RedundantPage tables(8), columns(10), indexes(11);
    tables.Add(TablesRow("db/t", 10), true, INNO_REC_INFO_DELETED);
    tables.Add(TablesRow("db/t", 11));
    columns.Add(ColumnsRow(10, 0, "old", 6, 0x503, 4), true, INNO_REC_INFO_DELETED);
    columns.Add(ColumnsRow(11, 0, "new", 6, 0x503, 4));
    indexes.Add(IndexesRow(10, 20, "PRIMARY", 3, 3), false, INNO_REC_INFO_DELETED);
    indexes.Add(IndexesRow(11, 21, "PRIMARY", 3, 4), false);
    ASSERT_TRUE(e.LoadDictionary(U8(Write({{8, tables.page}, {10, columns.page}, {11, indexes.page}}))));
    ASSERT_EQ(e.m_sysTables.size(), 1u);
    EXPECT_EQ(e.FindTableId(u"db\\t"), 11u);
    ASSERT_EQ(e.m_sysColumns.size(), 1u);
    EXPECT_EQ(e.m_sysColumns[0].NAME, CString(u"new"));
    ASSERT_EQ(e.m_sysIndexes.size(), 1u);
    EXPECT_EQ(e.FindClusteredRootPage(11), 4u);
}

TEST_F(DictionaryLoad, DamagedRecordChainsEndOrSkipTheRecord) {
    struct Case {
        const char* what;
        std::function<void(RedundantPage&)> damage;
        std::vector<std::uint64_t> ids;
    };
    const Case cases[] = {
        {"cycle back to the first record",
         [](RedundantPage& p) {
             std::uint16_t a = p.Add(TablesRow("db/a", 1));
             p.Add(TablesRow("db/b", 2));
             p.SetNext(p.last, a);
         },
         {1, 2}},
        {"record linked to itself",
         [](RedundantPage& p) {
             p.Add(TablesRow("db/a", 1));
             p.SetNext(p.last, p.last);
         },
         {1}},
        {"next offset 0",
         [](RedundantPage& p) {
             std::uint16_t a = p.Add(TablesRow("db/a", 1));
             p.Add(TablesRow("db/b", 2));  // unreachable
             p.SetNext(a, 0);
         },
         {1}},
        {"next offset 0x4000 or more",
         [](RedundantPage& p) {
             p.Add(TablesRow("db/a", 1));
             p.SetNext(p.last, 0x4008);
         },
         {1}},
        {"end offsets running backwards skip only that record",
         [](RedundantPage& p) {
             p.Add(TablesRow("db/a", 1));
             std::uint16_t b = p.Add(TablesRow("db/b", 2));
             p.page[b - 6 - 3] = 1;  // end of field 3 below the end of field 2
             p.Add(TablesRow("db/c", 3));
         },
         {1, 3}},
        {"last field running past the page",
         [](RedundantPage& p) {
             std::uint16_t a = p.Add(TablesRow("db/a", 1));
             (void)a;
             // A record at the top of the page whose one field is 100 bytes long.
             const std::uint16_t o = 16370;
             p.page[o - 7] = 100;
             p.page[o - 3] = (1 << 1) | 1;
             Put16(p.page, o - 2, RedundantPage::kSupremum);
             p.SetNext(p.last, o);
         },
         {1}},
        {"record whose end-offset array starts before the page",
         [](RedundantPage& p) {
             // Origin 20: the header lies in the FIL header, the array would not fit.
             p.page[20 - 3] = (10 << 1) | 1;
             Put16(p.page, 18, 0);
             p.SetNext(RedundantPage::kInfimum, 20);
         },
         {}},
        {"infimum missing",
         [](RedundantPage& p) {
             p.Add(TablesRow("db/a", 1));
             p.page[RedundantPage::kInfimum] = 'X';
         },
         {}},
    };
    for (const Case& c : cases) {
        RedundantPage p(8);
        c.damage(p);
        AppEngine fresh;
        TempTablespace local(std::to_string(&c - cases));
        const std::string path = local.Write({{8, p.page}, {10, RedundantPage(10).page}, {11, RedundantPage(11).page}}, 16);
        ASSERT_TRUE(fresh.LoadDictionary(U8(path)));
        std::vector<std::uint64_t> ids;
        for (const SysTablesRecord& r : fresh.m_sysTables) ids.push_back(r.ID);
        EXPECT_EQ(ids, c.ids) << c.what;
    }
}

TEST_F(DictionaryLoad, LeafChainsEndAtCyclesPageZeroAndTheFileEnd) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> chain;  // page, its next page
        std::vector<std::uint64_t> ids;                              // one record per leaf: id = page
    };
    const Case cases[] = {
        {"three leaves in order", {{8, 12}, {12, 13}, {13, 0xFFFFFFFF}}, {8, 12, 13}},
        {"cycle back to an earlier leaf", {{8, 12}, {12, 13}, {13, 12}}, {8, 12, 13}},
        {"leaf naming itself as next", {{8, 8}}, {8}},
        {"chain reaching page 0", {{8, 0}}, {8}},
        {"chain reaching past the file", {{8, 12}, {12, 99}}, {8, 12}},
    };
    for (const Case& c : cases) {
        std::map<std::uint32_t, Page> pages;
        for (auto [page, next] : c.chain) {
            RedundantPage p(page, 0, next);
            p.Add(TablesRow("db/t" + std::to_string(page), page));
            pages[page] = p.page;
        }
        AppEngine fresh;
        TempTablespace local(std::to_string(&c - cases));
        pages[10] = RedundantPage(10).page;
        pages[11] = RedundantPage(11).page;
        ASSERT_TRUE(fresh.LoadDictionary(U8(local.Write(pages, 16))));
        std::vector<std::uint64_t> ids;
        for (const SysTablesRecord& r : fresh.m_sysTables) ids.push_back(r.ID);
        EXPECT_EQ(ids, c.ids) << c.what;
    }
    // A page of another type inside the chain gives no records; its next page is followed.
    std::map<std::uint32_t, Page> pages;
    RedundantPage first(8, 0, 12), last(13);
    first.Add(TablesRow("db/a", 1));
    last.Add(TablesRow("db/b", 2));
    pages[8] = first.page;
    pages[12] = BlankPage(12, 2, 8, 13);
    pages[13] = last.page;
    ASSERT_TRUE(e.LoadDictionary(U8(Write(pages))));
    ASSERT_EQ(e.m_sysTables.size(), 2u);
    EXPECT_EQ(e.m_sysTables[1].ID, 2u);
    EXPECT_TRUE(e.ReadDictionaryLeafChain(0xFFFFFFFFu, 0));
    EXPECT_EQ(e.m_sysTables.size(), 2u);
}

TEST_F(DictionaryLoad, EachLoadReplacesTheListsAndAFileThatCannotBeOpenedLoadsNothing) {
    RedundantPage tables(8);
    tables.Add(TablesRow("db/a", 1));
    const std::string path = Write({{8, tables.page}});
    ASSERT_TRUE(e.LoadDictionary(U8(path)));
    ASSERT_TRUE(e.LoadDictionary(U8(path)));
    EXPECT_EQ(e.m_sysTables.size(), 1u);
    EXPECT_FALSE(e.LoadDictionary(U8((ts.dir / "missing" / "ibdata1").string())));
    EXPECT_TRUE(e.m_sysTables.empty());
    EXPECT_FALSE(e.m_fileIbdata.IsOpen());
}

TEST_F(DictionaryLoad, ShortFileLoadsNothingButOpens) {
    const std::string path = ts.Write({}, 5);
    ASSERT_TRUE(e.LoadDictionary(U8(path)));
    EXPECT_EQ(e.m_nIbdataPages, 5u);
    EXPECT_TRUE(e.m_sysTables.empty());
    EXPECT_TRUE(e.m_fileIbdata.IsOpen());
}

TEST(LookupCollation, WidthsFromTheContextsTable) {
    std::uint32_t mn = 9, mx = 9;
    ReadContext context;
    // No collation table: the built-in widths of the common sets, so a ucs2 CHAR is still
    // fixed-width (a save once cut such records as damaged).
    LookupCollation(context, 35, mn, mx);  // ucs2_general_ci
    EXPECT_EQ(mn, 2u);
    EXPECT_EQ(mx, 2u);
    CollationMap map;
    map[45] = CollationEntry{1, 4, u"utf8mb4_general_ci", u"utf8mb4"};
    context.collations = &map;
    LookupCollation(context, 45, mn, mx);
    EXPECT_EQ(mn, 1u);
    EXPECT_EQ(mx, 4u);
    LookupCollation(context, 46, mn, mx);
    EXPECT_EQ(mn, 0u);
    EXPECT_EQ(mx, 0u);
}

// The dictionary of the corpus's ibdata1 against what the server reported.
class CorpusDictionary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        app = new CDralvekOstruneApp;
        engine = new AppEngine;
        ASSERT_TRUE(engine->LoadDictionary(U8((fx::Corpus() / "ibdata1").string())));
    }
    static void TearDownTestSuite() {
        delete engine;
        delete app;
    }
    static CDralvekOstruneApp* app;
    static CTableEngine* engine;
};
CDralvekOstruneApp* CorpusDictionary::app = nullptr;
CTableEngine* CorpusDictionary::engine = nullptr;

TEST_F(CorpusDictionary, EveryInnoDbTableWithItsColumns) {
    const std::vector<fx::InnoTable> tables = fx::CorpusInnoTables();
    ASSERT_GE(tables.size(), 40u);
    std::set<std::uint64_t> ids;
    for (const fx::InnoTable& t : tables) {
        SCOPED_TRACE(t.dir + "/" + t.file);
        const std::uint64_t id = engine->FindTableId(U8(t.dir + "\\" + t.file));
        ASSERT_NE(id, 0u);
        EXPECT_TRUE(ids.insert(id).second);
        std::vector<const SysColumnsRecord*> cols;
        for (const SysColumnsRecord& c : engine->m_sysColumns)
            if (c.TABLE_ID == id) cols.push_back(&c);
        std::sort(cols.begin(), cols.end(), [](auto a, auto b) { return a->POS < b->POS; });
        const std::vector<fx::Row> expected = fx::Columns(t);
        ASSERT_EQ(cols.size(), expected.size());
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const SysColumnsRecord& c = *cols[i];
            const fx::Row& x = expected[i];
            SCOPED_TRACE(x.at("COLUMN_NAME"));
            EXPECT_EQ(c.POS, i);
            EXPECT_EQ(c.NAME, U8(x.at("COLUMN_NAME")));
            EXPECT_EQ((c.PRTYPE & INNO_PRTYPE_NOT_NULL) != 0, x.at("IS_NULLABLE") == "NO");
            const std::string type = x.at("DATA_TYPE");
            static const std::set<std::string> numbers = {"tinyint", "smallint", "mediumint", "int",   "bigint",
                                                          "decimal", "float",    "double"};
            if (numbers.count(type)) {
                EXPECT_EQ((c.PRTYPE & INNO_PRTYPE_UNSIGNED) != 0, x.at("COLUMN_TYPE").find("unsigned") != std::string::npos);
            }
            // ENUM and SET carry a collation for their names, not in the stored integer.
            static const std::set<std::string> texts = {"char", "varchar", "tinytext", "text", "mediumtext", "longtext"};
            if (texts.count(type)) {
                const std::uint32_t coll = (c.PRTYPE >> 16) & 0x7FFF;
                auto it = app->m_mapCollation.find(coll);
                ASSERT_NE(it, app->m_mapCollation.end()) << coll;
                EXPECT_EQ(it->second.name1, U8(x.at("COLLATION_NAME")));
                EXPECT_EQ(c.mbmaxlen, it->second.mbmaxlen);
                if (type == "char" || type == "varchar") {
                    EXPECT_EQ(c.LEN, std::stoul(x.at("CHARACTER_MAXIMUM_LENGTH")) * c.mbmaxlen);
                }
            }
            if (type == "binary" || type == "varbinary") {
                EXPECT_EQ((c.PRTYPE >> 16) & 0x7FFF, kBinaryCharset);
                EXPECT_EQ(c.LEN, std::stoul(x.at("CHARACTER_MAXIMUM_LENGTH")));
            }
        }
    }
}

TEST_F(CorpusDictionary, IndexesAndClusteredRootsMatchTheServerAndTheFiles) {
    for (const fx::InnoTable& t : fx::CorpusInnoTables()) {
        SCOPED_TRACE(t.dir + "/" + t.file);
        const std::uint64_t id = engine->FindTableId(U8(t.dir + "\\" + t.file));
        const std::vector<fx::Row> expected = fx::Indexes(t);
        ASSERT_FALSE(expected.empty());
        std::size_t count = 0;
        for (const SysIndexesRecord& r : engine->m_sysIndexes) count += r.TABLE_ID == id;
        EXPECT_EQ(count, expected.size());
        for (const fx::Row& x : expected) {
            auto it = std::find_if(engine->m_sysIndexes.begin(), engine->m_sysIndexes.end(),
                                   [&](const SysIndexesRecord& r) { return r.ID == std::stoull(x.at("INDEX_ID")); });
            ASSERT_NE(it, engine->m_sysIndexes.end());
            EXPECT_EQ(it->TABLE_ID, id);
            EXPECT_EQ(it->NAME, U8(x.at("INDEX_NAME")));
            EXPECT_EQ(it->TYPE, std::stoul(x.at("TYPE")));
            EXPECT_EQ(it->N_FIELDS, std::stoul(x.at("N_FIELDS")));
            EXPECT_EQ(it->SPACE, std::stoul(x.at("SPACE")));
            EXPECT_EQ(it->PAGE_NO, std::stoul(x.at("ROOT_PAGE_NO")));
            if (!(it->TYPE & 1)) continue;
            const std::uint32_t root = engine->FindClusteredRootPage(id);
            EXPECT_EQ(root, it->PAGE_NO);
            // The root page itself: an index page of this index at the level the server saw
            // (of type 18 once an instant ALTER TABLE changed the table).
            CFile file;
            const bool inSystem = it->SPACE == 0;
            const fx::fs::path path = inSystem ? fx::Corpus() / "ibdata1" : fx::Corpus() / t.dir / (t.file + ".ibd");
            ASSERT_TRUE(file.Open(U8(path.string()), CFile::modeRead));
            FilHeader fil;
            IndexPageHeader index;
            ReadPageHeaders(file, root, fil, &index);
            const bool instant = t.dir == "innodb_instant";
            EXPECT_EQ(fil.type, instant ? 18 : INNO_PAGE_TYPE_INDEX);
            EXPECT_EQ(fil.spaceId, it->SPACE);
            EXPECT_EQ(index.indexId, it->ID);
            EXPECT_EQ(index.level, std::stoul(x.at("ROOT_PAGE_LEVEL")));
            if (!inSystem) {
                EXPECT_EQ(root, 3u);
            }
        }
        for (const SysTablesRecord& r : engine->m_sysTables)
            if (r.ID == id) {
                EXPECT_EQ(r.SPACE, std::stoul(expected[0].at("SPACE")));
            }
    }
}

TEST_F(CorpusDictionary, NamesAreTheFileNamesOnDisk) {
    // The database "enc db-ü" and its tables are stored as their folder and file names.
    EXPECT_NE(engine->FindTableId(u"enc@0020db@002d@1o\\a@0040b"), 0u);
    EXPECT_NE(engine->FindTableId(u"enc@0020db@002d@1o\\@7P@20ac@0020x@002ey"), 0u);
    EXPECT_EQ(engine->FindTableId(u"enc db-\u00fc\\a@b"), 0u);
    EXPECT_NE(engine->FindTableId(u"mysql\\innodb_table_stats"), 0u);
    // MyISAM tables are not in the dictionary.
    EXPECT_EQ(engine->FindTableId(u"myisam_types\\t_int"), 0u);
}

TEST(RealDictionary, FullCrc32TablespaceReadsLikeCrc32) {
    CDralvekOstruneApp app;
    AppEngine e;
    ASSERT_TRUE(e.LoadDictionary(U8((fx::PageSize() / "fcrc" / "ibdata1").string())));
    for (const char16_t* name : {u"v\\t", u"v\\tc", u"v\\vpk", u"v\\insys"}) {
        const std::uint64_t id = e.FindTableId(name);
        EXPECT_NE(id, 0u) << CString(name);
        EXPECT_NE(e.FindClusteredRootPage(id), 0u) << CString(name);
    }
    std::size_t vpkColumns = 0;
    for (const SysColumnsRecord& c : e.m_sysColumns) vpkColumns += c.TABLE_ID == e.FindTableId(u"v\\vpk");
    EXPECT_EQ(vpkColumns, 10u);
    // The table inside the system tablespace: its root is a COMPACT leaf there.
    const std::uint32_t root = e.FindClusteredRootPage(e.FindTableId(u"v\\insys"));
    CInnoPage page;
    page.Load(e.m_fileIbdata, root);
    EXPECT_EQ(page.U16(24), INNO_PAGE_TYPE_INDEX);
    EXPECT_TRUE(page.HasText(INNO_COMPACT_INFIMUM, "infimum"));
    EXPECT_EQ(page.U16(54), 1u);  // one user record
}

// ibdata1 of every page size: the page count follows the page size, and the dictionary
// roots come from the dictionary header (a 4 KiB file keeps SYS_COLUMNS at page 11).
TEST(RealDictionary, EveryPageSizeIsRead) {
    CDralvekOstruneApp app;
    struct Case {
        const char* folder;
        std::uint32_t pageSize;
    };
    const Case cases[] = {{"p4k", 4096}, {"p8k", 8192}, {"fcrc", 16384}, {"p32k", 32768}, {"p64k", 65536}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const fx::fs::path ibdata = fx::PageSize() / c.folder / "ibdata1";
        CTableEngine e;
        ASSERT_TRUE(e.LoadDictionary(U8(ibdata.string())));
        EXPECT_EQ(e.m_nIbdataPageSize, c.pageSize);
        EXPECT_EQ(e.m_nIbdataPages, fx::fs::file_size(ibdata) / c.pageSize);
        const std::uint64_t id = e.FindTableId(u"v\\insys");
        ASSERT_NE(id, 0u);
        EXPECT_NE(e.FindTableId(u"v\\vpk"), 0u);
        // Two columns, and a clustered root inside the file.
        std::size_t columns = 0;
        for (const SysColumnsRecord& r : e.m_sysColumns) columns += r.TABLE_ID == id;
        EXPECT_EQ(columns, 2u);
        const std::uint32_t root = e.FindClusteredRootPage(id);
        EXPECT_GT(root, 0u);
        EXPECT_LT(root, e.m_nIbdataPages);
    }
}

}  // namespace
