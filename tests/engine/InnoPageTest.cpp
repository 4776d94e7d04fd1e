#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/InnoPage.h"
#include "engine/TableEngine.h"
#include "tests/engine/InnoPageBuilder.h"

using namespace dictpages;

namespace {

TEST(InnoPageView, ReadsNothingPastTheEndOfThePage) {
    Page p(INNO_PAGE_SIZE, 0xAB);
    CInnoPageView v(p.data());
    EXPECT_EQ(v.U16(16382), 0xABABu);
    EXPECT_EQ(v.U16(16383), 0u);
    EXPECT_EQ(v.U32(16381), 0u);
    EXPECT_EQ(v.U8(16384), 0u);
    EXPECT_EQ(v.U64(0xFFFFFFF8u), 0u);  // offset + count would wrap around
    EXPECT_EQ(v.Bytes(16380, 5), nullptr);
    EXPECT_NE(v.Bytes(16380, 4), nullptr);
    EXPECT_TRUE(CInnoPageView::Has(16384, 0));
    EXPECT_FALSE(CInnoPageView::HasSigned(-1, 1));
    std::memcpy(&p[16376], "supremu", 8);
    EXPECT_TRUE(v.HasText(16376, "supremu"));
    std::memcpy(&p[16377], "supremum", 7);
    EXPECT_FALSE(v.HasText(16377, "supremum"));  // its NUL would lie past the page
    EXPECT_TRUE(v.HasBytes(16377, "suprem", 6));
}

TEST(InnoPageHeaders, FieldsAreBigEndianAndAPageBeyondTheFileIsType0) {
    Page p = BlankPage(0x01020304, INNO_PAGE_TYPE_INDEX, 7, 9);
    Put64(p, 26, 0x1122334455667788ull);
    Put32(p, 34, 42);
    Put16(p, 54, 300);
    Put16(p, 64, 3);
    Put64(p, 66, 0xA1A2A3A4A5A6A7A8ull);
    Put32(p, 88, 0xCAFEBABE);
    Put16(p, 92, 0x0102);
    TempTablespace ts;
    const std::string path = ts.Write({{1, p}}, 2, "t.ibd");
    CFile f;
    ASSERT_TRUE(f.Open(CString::FromUtf8(path), CFile::modeRead));
    EXPECT_EQ(InnoPageCount(f), 2u);
    FilHeader fil;
    IndexPageHeader idx;
    ReadPageHeaders(f, 1, fil, &idx);
    EXPECT_EQ(fil.page, 0x01020304u);
    EXPECT_EQ(fil.prev, 7u);
    EXPECT_EQ(fil.next, 9u);
    EXPECT_EQ(fil.type, INNO_PAGE_TYPE_INDEX);
    EXPECT_EQ(fil.flushLsn, 0x1122334455667788ull);
    EXPECT_EQ(fil.spaceId, 42u);
    EXPECT_EQ(idx.nRecs, 300u);
    EXPECT_EQ(idx.level, 3u);
    EXPECT_EQ(idx.indexId, 0xA1A2A3A4A5A6A7A8ull);
    EXPECT_EQ(idx.topSegPage, 0xCAFEBABEu);
    EXPECT_EQ(idx.topSegOffset, 0x0102u);
    ReadPageHeaders(f, 5, fil, &idx);
    EXPECT_EQ(fil.type, 0u);
    EXPECT_EQ(idx.level, 0u);
    CInnoPage page;
    EXPECT_EQ(page.Load(f, 5), 0u);
    EXPECT_EQ(page.U16(24), 0u);
}

// A partly written last page does not count as a page.
TEST(InnoPageHeaders, PageCountTakesWholePagesOnly) {
    TempTablespace ts;
    const std::string path = ts.Write({}, 3, "t.ibd");
    std::ofstream(path, std::ios::binary | std::ios::app) << std::string(100, 'x');
    CFile f;
    ASSERT_TRUE(f.Open(CString::FromUtf8(path), CFile::modeRead));
    EXPECT_EQ(InnoPageCount(f), 3u);
}

TEST(InnoPageHeaders, APagePastFourGiBIsReadFromItsOwnPosition) {
    TempTablespace ts;
    const std::uint32_t number = (1u << 18) + 1;  // byte 4 GiB + 16 KiB
    const std::string path = (ts.dir / "big.ibd").string();
    {
        std::ofstream out(path, std::ios::binary);
        Page p = BlankPage(number, INNO_PAGE_TYPE_INDEX);
        out.seekp(static_cast<std::streamoff>(InnoPagePosition(number)));
        out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
        ASSERT_TRUE(out.good());
    }
    CFile f;
    ASSERT_TRUE(f.Open(CString::FromUtf8(path), CFile::modeRead));
    EXPECT_EQ(InnoPageCount(f), number + 1ull);
    CInnoPage page;
    EXPECT_EQ(page.Load(f, number), INNO_PAGE_SIZE);
    EXPECT_EQ(page.U32(4), number);
    EXPECT_EQ(page.U16(24), INNO_PAGE_TYPE_INDEX);
}

TEST(RedundantNodePointer, ChildIsTheFourByteLastField) {
    struct Case {
        const char* what;
        std::vector<std::string> fields;
        bool oneByte;
        std::uint32_t child;
    };
    const Case cases[] = {
        {"key then child, 1-byte offsets", {"shop/orders", Be32(77)}, true, 77},
        {"key then child, 2-byte offsets", {std::string(200, 'k'), Be32(0x01020304)}, false, 0x01020304},
        {"child only", {Be32(5)}, true, 5},
        {"last field 3 bytes", {"k", std::string("\0\0\5", 3)}, true, 0},
        {"last field 5 bytes", {"k", std::string("\0\0\0\0\5", 5)}, true, 0},
        {"no fields", {}, true, 0},
    };
    for (const Case& c : cases) {
        RedundantPage rp(9, 1);
        const std::uint16_t origin = rp.Add(c.fields, c.oneByte);
        EXPECT_EQ(GetRedundantNodePtrChild(rp.page.data(), origin), c.child) << c.what;
    }
}

TEST(RedundantNodePointer, ARecordReachingOutsideThePageGivesNoChild) {
    RedundantPage rp(9, 1);
    const std::uint16_t origin = rp.Add({"key", Be32(12)});
    // Field count so large that the end-offset array starts before the page.
    Page p = rp.page;
    p[origin - 5] = 0x07;
    p[origin - 4] = 0xFF;
    EXPECT_EQ(GetRedundantNodePtrChild(p.data(), origin), 0u);
    // An origin in the first bytes of the page has no room for its header.
    EXPECT_EQ(GetRedundantNodePtrChild(rp.page.data(), 3), 0u);
    // A last end offset that runs past the page.
    Page q(INNO_PAGE_SIZE, 0);
    const std::uint16_t o = 16380;
    q[o - 3] = (1 << 1) | 1;  // one field, 1-byte offsets
    q[o - 7] = 8;
    EXPECT_EQ(GetRedundantNodePtrChild(q.data(), o), 0u);
    // End offsets that run backwards.
    Page r = rp.page;
    r[origin - 7] = 10;
    r[origin - 8] = 4;
    EXPECT_EQ(GetRedundantNodePtrChild(r.data(), origin), 0u);
}

TEST(FspFlags, PageSizeOfBothFlagLayouts) {
    struct Case {
        std::uint32_t flags;
        bool fullCrc32;
        std::uint32_t logical, physical;
    };
    // The first seven are what MariaDB 10.11 writes (system tablespace and .ibd files).
    const Case cases[] = {
        {0x0, false, 16384, 16384},     // crc32, 16 KiB, ibdata1 and COMPACT
        {0x21, false, 16384, 16384},    // crc32, 16 KiB, DYNAMIC
        {0x15, true, 16384, 16384},     // full_crc32, 16 KiB
        {0xC0, false, 4096, 4096},      // crc32, 4 KiB
        {0xE1, false, 4096, 4096},      // crc32, 4 KiB, DYNAMIC
        {0x180, false, 32768, 32768},   // crc32, 32 KiB
        {0x1A1, false, 32768, 32768},   // crc32, 32 KiB, DYNAMIC
        {0x13, true, 4096, 4096},       // full_crc32, 4 KiB
        {0x37, true, 65536, 65536},     // full_crc32, 64 KiB, page_compressed algorithm 1
        {0x29, false, 16384, 8192},     // ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=8
        {0x10, true, 0, 0},             // full_crc32 without a size
        {0x140, false, 0, 0},           // 16 KiB is never written as 5 here
        {0x40, false, 0, 0},            // size 1 is no page size
    };
    for (const Case& c : cases) {
        const InnoSpaceFlags f = DecodeFspFlags(c.flags);
        EXPECT_EQ(f.raw, c.flags);
        EXPECT_EQ(f.fullCrc32, c.fullCrc32) << std::hex << c.flags;
        EXPECT_EQ(f.logicalSize, c.logical) << std::hex << c.flags;
        EXPECT_EQ(f.physicalSize, c.physical) << std::hex << c.flags;
    }
}

// The page size the flags give: 4 to 64 KiB in both layouts; compressed pages are not
// read (0); flags that name no size are taken for the 16 KiB default.
TEST(FspFlags, PageSizeComesFromTheFlags) {
    struct Case {
        std::uint32_t flags;
        std::uint32_t pageSize;
    };
    const Case cases[] = {
        {0x0, 16384},   {0x21, 16384},  {0x15, 16384},  {0xC0, 4096}, {0x100, 8192}, {0x180, 32768},
        {0x1C0, 65536}, {0x13, 4096},   {0x14, 8192},   {0x16, 32768}, {0x17, 65536}, {0x29, 0},
        {0x2B, 0},      {0x140, 16384}, {0x10, 16384},
    };
    TempTablespace ts;
    for (const Case& c : cases) {
        Page p0 = BlankPage(0, 8);
        Put32(p0, INNO_FSP_FLAGS_OFFSET, c.flags);
        const std::string path = ts.Write({{0, p0}}, 1, "f.ibd");
        CFile f;
        ASSERT_TRUE(f.Open(CString::FromUtf8(path), CFile::modeRead));
        EXPECT_EQ(ReadFspFlags(f), c.flags);
        EXPECT_EQ(InnoTablespacePageSize(f), c.pageSize) << std::hex << c.flags;
        EXPECT_EQ(IsSupportedInnoPageSize(f), c.pageSize != 0) << std::hex << c.flags;
    }
    // A file too short to hold the flags has the default size.
    const std::string empty = ts.Write({}, 0, "empty.ibd");
    CFile f;
    ASSERT_TRUE(f.Open(CString::FromUtf8(empty), CFile::modeRead));
    EXPECT_EQ(ReadFspFlags(f), 0u);
    EXPECT_EQ(InnoTablespacePageSize(f), 16384u);
}

// The real files of servers with other page formats.
TEST(FspFlags, RealTablespacesOfOtherPageFormats) {
    const std::filesystem::path root = std::filesystem::path(DRALVEK_FIXTURES) / "pagesize";
    ASSERT_TRUE(std::filesystem::exists(root)) << "pagesize fixture not unpacked";
    struct Case {
        const char* file;
        std::uint32_t flags;
        std::uint32_t pageSize;
    };
    const Case cases[] = {
        {"fcrc/ibdata1", 0x15, 16384}, {"fcrc/v/t.ibd", 0x15, 16384},  {"fcrc/v/tc.ibd", 0x15, 16384},
        {"p4k/ibdata1", 0xC0, 4096},   {"p4k/v/t.ibd", 0xE1, 4096},    {"p4k/v/tc.ibd", 0xC0, 4096},
        {"p8k/ibdata1", 0x100, 8192},  {"p8k/v/t.ibd", 0x121, 8192},   {"p8k/v/tr.ibd", 0x100, 8192},
        {"p32k/ibdata1", 0x180, 32768}, {"p32k/v/t.ibd", 0x1A1, 32768},
        {"p64k/ibdata1", 0x17, 65536}, {"p64k/v/tb.ibd", 0x17, 65536}, {"p64k/v/tr.ibd", 0x17, 65536},
    };
    for (const Case& c : cases) {
        CFile f;
        ASSERT_TRUE(f.Open(CString::FromUtf8((root / c.file).string()), CFile::modeRead)) << c.file;
        EXPECT_EQ(ReadFspFlags(f), c.flags) << c.file;
        EXPECT_EQ(InnoTablespacePageSize(f), c.pageSize) << c.file;
    }
    const std::filesystem::path corpus = std::filesystem::path(DRALVEK_FIXTURES) / "corpus";
    for (const char* file : {"ibdata1", "innodb_features/t_deep.ibd", "innodb_features/t_blob_compact.ibd"}) {
        CFile f;
        ASSERT_TRUE(f.Open(CString::FromUtf8((corpus / file).string()), CFile::modeRead)) << file;
        EXPECT_EQ(InnoTablespacePageSize(f), 16384u) << file;
    }
}

// ibdata1 pieces for the dictionary descent: SYS_TABLES-shaped leaf records.
std::vector<std::string> TableRecord(const std::string& name, std::uint64_t id) {
    return {name, std::string(6, '\1'), std::string(7, '\2'), Be64(id), Be32(0x80000002u), Be32(1),
            Be64(0), Be32(0), "", Be32(0)};
}

class DictionaryDescent : public ::testing::Test {
protected:
    // Opens the pages as ibdata1 the way the dictionary loader leaves the engine.
    void Open(const std::map<std::uint32_t, Page>& pages, std::uint64_t count) {
        path = ts.Write(pages, count);
        ASSERT_TRUE(e.m_fileIbdata.Open(CString::FromUtf8(path), CFile::modeRead));
        e.m_nIbdataPages = count;
    }
    static Page NodePage(std::uint32_t number, std::uint16_t level, std::vector<std::uint32_t> children,
                         bool oneByte = true) {
        RedundantPage rp(number, level);
        char key = 'a';
        for (std::uint32_t c : children) rp.Add({std::string(1, key++), Be32(c)}, oneByte);
        return rp.page;
    }
    static Page LeafPage(std::uint32_t number, std::uint32_t next, const std::string& name, std::uint64_t id) {
        RedundantPage rp(number, 0, next);
        rp.Add(TableRecord(name, id));
        return rp.page;
    }
    CDralvekOstruneApp app;
    TempTablespace ts;
    std::string path;
    AppEngine e;
};

TEST_F(DictionaryDescent, ThreeLevelsDownTheFirstRecordsThenTheLeafChain) {
    Open({{8, NodePage(8, 2, {20, 21})},
          {20, NodePage(20, 1, {30, 31})},
          {21, NodePage(21, 1, {32})},
          {30, LeafPage(30, 31, "db/a", 1)},
          {31, LeafPage(31, 32, "db/b", 2)},
          {32, LeafPage(32, 0xFFFFFFFF, "db/c", 3)}},
         40);
    EXPECT_EQ(e.DescendDictionaryToLeaf(8), 30u);
    EXPECT_EQ(e.m_filHeader.page, 30u);
    ASSERT_TRUE(e.ReadDictionaryIndex(8, 0));
    ASSERT_EQ(e.m_sysTables.size(), 3u);
    EXPECT_EQ(e.m_sysTables[0].NAME, CString(u"db/a"));
    EXPECT_EQ(e.m_sysTables[2].ID, 3u);
    // A leaf root is walked from itself.
    EXPECT_EQ(e.DescendDictionaryToLeaf(31), 31u);
    e.m_sysTables.clear();
    ASSERT_TRUE(e.ReadDictionaryIndex(31, 0));
    EXPECT_EQ(e.m_sysTables.size(), 2u);
}

TEST_F(DictionaryDescent, TwoByteEndOffsetsInNodePointers) {
    Open({{8, NodePage(8, 1, {30}, false)}, {30, LeafPage(30, 0xFFFFFFFF, "db/a", 1)}}, 40);
    EXPECT_EQ(e.DescendDictionaryToLeaf(8), 30u);
}

TEST_F(DictionaryDescent, DamagedTreesEndTheDescentAndLoadNothing) {
    struct Case {
        const char* what;
        std::function<std::map<std::uint32_t, Page>()> pages;
    };
    const Case cases[] = {
        {"non-leaf root without user records", [] { return std::map<std::uint32_t, Page>{{8, NodePage(8, 1, {})}}; }},
        {"node pointer whose last field is 3 bytes",
         [] {
             RedundantPage rp(8, 1);
             rp.Add({"a", std::string("\0\0\x1e", 3)});
             return std::map<std::uint32_t, Page>{{8, rp.page}, {30, LeafPage(30, 0xFFFFFFFF, "db/a", 1)}};
         }},
        {"child equal to the page count",
         [] { return std::map<std::uint32_t, Page>{{8, NodePage(8, 1, {40})}}; }},
        {"child 0", [] { return std::map<std::uint32_t, Page>{{8, NodePage(8, 1, {0})}}; }},
        {"child pointing back at the root",
         [] { return std::map<std::uint32_t, Page>{{8, NodePage(8, 1, {8})}}; }},
        {"two non-leaf pages pointing at each other",
         [] { return std::map<std::uint32_t, Page>{{8, NodePage(8, 2, {20})}, {20, NodePage(20, 2, {8})}}; }},
        {"child that is not an index page",
         [] { return std::map<std::uint32_t, Page>{{8, NodePage(8, 1, {30})}, {30, BlankPage(30, 2)}}; }},
        {"non-leaf root without infimum",
         [] {
             Page p = NodePage(8, 1, {30});
             p[INNO_REDUNDANT_INFIMUM] = 'X';
             return std::map<std::uint32_t, Page>{{8, p}, {30, LeafPage(30, 0xFFFFFFFF, "db/a", 1)}};
         }},
        {"first record offset of 0x4000 or more",
         [] {
             Page p = NodePage(8, 1, {30});
             Put16(p, INNO_REDUNDANT_INFIMUM - 2, 0x4010);
             return std::map<std::uint32_t, Page>{{8, p}, {30, LeafPage(30, 0xFFFFFFFF, "db/a", 1)}};
         }},
    };
    for (const Case& c : cases) {
        AppEngine fresh;
        TempTablespace local(std::to_string(&c - cases));
        const std::string p = local.Write(c.pages(), 40);
        ASSERT_TRUE(fresh.m_fileIbdata.Open(CString::FromUtf8(p), CFile::modeRead));
        fresh.m_nIbdataPages = 40;
        EXPECT_EQ(fresh.DescendDictionaryToLeaf(8), 0u) << c.what;
        EXPECT_TRUE(fresh.ReadDictionaryIndex(8, 0)) << c.what;
        EXPECT_TRUE(fresh.m_sysTables.empty()) << c.what;
    }
}

TEST_F(DictionaryDescent, RootThatIsNoIndexPageOrLiesPastTheFile) {
    Open({{8, BlankPage(8, 3)}}, 9);
    EXPECT_FALSE(e.ReadDictionaryIndex(8, 0));
    EXPECT_FALSE(e.ReadDictionaryIndex(9, 0));  // beyond the end: reads as type 0
    EXPECT_FALSE(e.ReadDictionaryIndex(0x100000000ull, 0));
    EXPECT_EQ(e.DescendDictionaryToLeaf(12), 0u);
}

}  // namespace
