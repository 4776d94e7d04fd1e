#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "engine/TableEngine.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

void PutBig(Bytes& b, std::size_t at, std::uint64_t v, int n) {
    if (b.size() < at + n) b.resize(at + n, 0);
    for (int i = n - 1; i >= 0; --i, v >>= 8) b[at + i] = static_cast<unsigned char>(v);
}

struct ColumnDef {
    std::uint16_t type, length;
    std::uint8_t nullBit;
    std::uint16_t nullPos;
};

// A .MYI header as MyISAM lays it out: state header, base information at basePos, key
// and unique definitions, then one 7-byte definition per column.
struct MyiImage {
    std::uint16_t options = 0;
    std::uint16_t basePos = 56;
    std::vector<int> keySegments;     // segment count per key
    std::vector<int> uniqueSegments;  // segment count per unique
    std::vector<ColumnDef> columns;
    std::uint32_t fieldCount = 0xFFFFFFFF;  // default: columns.size()
    std::uint32_t packBits = 2;
    std::uint32_t minPack = 17;

    Bytes Build() const {
        Bytes b(basePos, 0);
        PutBig(b, 4, options, 2);
        PutBig(b, 12, basePos, 2);
        b[19] = static_cast<unsigned char>(uniqueSegments.size());
        const std::size_t base = basePos;
        b.resize(base + 100, 0);
        PutBig(b, base + 44, 40, 4);       // record length
        PutBig(b, base + 48, 41, 4);       // packed record length
        PutBig(b, base + 52, minPack, 4);  // min_pack_length
        PutBig(b, base + 56, 300, 4);      // max packed length
        PutBig(b, base + 64, fieldCount == 0xFFFFFFFF ? columns.size() : fieldCount, 4);
        b[base + 74] = static_cast<unsigned char>(keySegments.size());
        PutBig(b, base + 76, packBits, 2);
        for (int segs : keySegments) {
            std::size_t at = b.size();
            b.resize(at + 12 + 18 * segs, 0xEE);  // contents are stepped over
            b[at] = static_cast<unsigned char>(segs);
        }
        for (int segs : uniqueSegments) {
            std::size_t at = b.size();
            b.resize(at + 4 + 18 * segs, 0xEE);
            PutBig(b, at, segs, 2);
        }
        for (const ColumnDef& c : columns) {
            std::size_t at = b.size();
            PutBig(b, at, c.type, 2);
            PutBig(b, at + 2, c.length, 2);
            b.push_back(c.nullBit);
            PutBig(b, at + 5, c.nullPos, 2);
        }
        return b;
    }
};

class MyiHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("myi-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    CString Write(const Bytes& bytes) {
        fs::path p = m_dir / "t.MYI";
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return CString::FromUtf8(p.string());
    }

    fs::path m_dir;
};

TEST_F(MyiHeaderTest, RowFormatFromOptions) {
    const struct {
        std::uint16_t options;
        std::uint32_t format;
    } cases[] = {{0x0000, 0}, {0x0001, 1}, {0x0004, 2}, {0x0005, 2}, {0x0420, 0}};
    for (const auto& c : cases) {
        MyiImage image;
        image.options = c.options;
        AppEngine e;
        e.m_nRowFormat = 7;
        ASSERT_TRUE(e.ReadMyiHeader(Write(image.Build())));
        EXPECT_EQ(e.m_nRowFormat, c.format) << std::hex << c.options;
    }
}

TEST_F(MyiHeaderTest, ShortFilesAndBaseOutsideTheFile) {
    AppEngine e;
    e.m_nRowFormat = 7;
    EXPECT_FALSE(e.ReadMyiHeader(CString::FromUtf8((m_dir / "absent.MYI").string())));
    Bytes b(24, 0);
    b[5] = 1;
    EXPECT_FALSE(e.ReadMyiHeader(Write(b)));
    EXPECT_EQ(e.m_nRowFormat, 7u) << "a failed read changes nothing";

    // 25 bytes whose base information would start at 24: only the row format is known,
    // and the previous table's base information does not survive.
    b.resize(25, 0);
    PutBig(b, 12, 24, 2);
    e.m_myiBase.pack_reclength = 99;
    e.m_myiBase.min_pack_length = 5;
    EXPECT_TRUE(e.ReadMyiHeader(Write(b)));
    EXPECT_EQ(e.m_nRowFormat, 1u);
    EXPECT_TRUE(e.m_recinfo.empty());
    EXPECT_EQ(e.m_myiBase.pack_reclength, 0u);
    EXPECT_EQ(e.m_myiBase.min_pack_length, 0u);
    EXPECT_FALSE(e.m_fileMyi.IsOpen());
}

TEST_F(MyiHeaderTest, ColumnDefinitionsFollowKeysAndUniques) {
    MyiImage image;
    image.options = 1;
    image.keySegments = {2, 2, 2};
    image.uniqueSegments = {1};
    image.columns = {{0, 1, 0, 0}, {3, 4, 0, 0}, {8, 302, 0x02, 0}, {1, 300, 0x80, 1}, {4, 10, 0x01, 2}};
    AppEngine e;
    e.m_recinfo.push_back(RecinfoEntry());  // the reader appends; the caller empties
    ASSERT_TRUE(e.ReadMyiHeader(Write(image.Build())));
    EXPECT_EQ(e.m_myiBase.reclength, 40u);
    EXPECT_EQ(e.m_myiBase.pack_reclength, 41u);
    EXPECT_EQ(e.m_myiBase.min_pack_length, 17u);
    EXPECT_EQ(e.m_myiBase.max_pack_length, 300u);
    EXPECT_EQ(e.m_myiBase.fields, 5u);
    EXPECT_EQ(e.m_myiBase.keys, 3u);
    EXPECT_EQ(e.m_myiBase.pack_bits, 2u);
    ASSERT_EQ(e.m_recinfo.size(), 6u);
    for (std::size_t i = 0; i < image.columns.size(); ++i) {
        const RecinfoEntry& r = e.m_recinfo[i + 1];
        EXPECT_EQ(r.m_nType, image.columns[i].type) << i;
        EXPECT_EQ(r.m_nLength, image.columns[i].length) << i;
        EXPECT_EQ(r.m_nNullBit, image.columns[i].nullBit) << i;
        EXPECT_EQ(r.m_nNullPos, image.columns[i].nullPos) << i;
        EXPECT_EQ(r.m_pData, nullptr);
        EXPECT_EQ(r.m_nDataLength, 0u);
    }
}

TEST_F(MyiHeaderTest, DamagedCountsReadOnlyWhatTheFileHolds) {
    MyiImage image;
    image.keySegments = {1};
    for (int i = 0; i < 4; ++i) image.columns.push_back({0, static_cast<std::uint16_t>(i + 1), 0, 0});
    const Bytes whole = image.Build();
    const struct {
        const char* what;
        std::size_t cut;          // bytes dropped from the end
        std::uint32_t fieldCount; // as the base information claims
        std::size_t expected;
    } cases[] = {
        {"ends inside the third definition", 7 + 3, 4, 2},
        {"ends right after the second", 14, 4, 2},
        {"claims four billion fields", 0, 0xFFFFFFFF - 1, 4},
        {"ends inside the key definitions", 4 * 7 + 5, 4, 0},
    };
    for (const auto& c : cases) {
        MyiImage damaged = image;
        damaged.fieldCount = c.fieldCount;
        Bytes b = damaged.Build();
        b.resize(whole.size() - c.cut);
        AppEngine e;
        EXPECT_TRUE(e.ReadMyiHeader(Write(b))) << c.what;
        EXPECT_EQ(e.m_recinfo.size(), c.expected) << c.what;
        for (std::size_t i = 0; i < e.m_recinfo.size(); ++i) EXPECT_EQ(e.m_recinfo[i].m_nLength, i + 1) << c.what;
    }
}

TEST_F(MyiHeaderTest, DefinitionCountIsCappedAtWhatATableCanHave) {
    MyiImage image;
    for (int i = 0; i < 9000; ++i) image.columns.push_back({0, 1, 0, 0});
    AppEngine e;
    ASSERT_TRUE(e.ReadMyiHeader(Write(image.Build())));
    EXPECT_EQ(e.m_recinfo.size(), 2u * 4096 + 1);
}

TEST(MyiHeaderFixture, ServerWrittenHeaders) {
    const fs::path dir = fs::path(DRALVEK_FIXTURES) / "corpus" / "myisam_formats";
    const struct {
        const char* table;
        std::uint32_t format;
        std::size_t definitions;
        std::uint16_t packBits;
    } cases[] = {
        // Fixed-length records begin with the null flags (with the delete bit): one
        // definition more than the table's 5 columns.
        {"t_fixed", 0, 6, 0},
        {"t_dynamic", 1, 4, 1},
        // 14 columns; the BIT(3) column lives among the null bits and has no definition.
        {"t_many_nulls", 0, 14, 0},
    };
    for (const auto& c : cases) {
        AppEngine e;
        ASSERT_TRUE(e.ReadMyiHeader(CString::FromUtf8((dir / (std::string(c.table) + ".MYI")).string()))) << c.table;
        EXPECT_EQ(e.m_nRowFormat, c.format) << c.table;
        EXPECT_EQ(e.m_recinfo.size(), c.definitions) << c.table;
        EXPECT_EQ(e.m_myiBase.fields, c.definitions) << c.table;
        EXPECT_EQ(e.m_myiBase.pack_bits, c.packBits) << c.table;
        ASSERT_FALSE(e.m_recinfo.empty());
        EXPECT_EQ(e.m_recinfo[0].m_nType, MI_FIELD_NORMAL) << "null flags first";
    }
}

}  // namespace
