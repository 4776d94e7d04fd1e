#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/InnoBlob.h"
#include "engine/TableEngine.h"
#include "tests/engine/InnoWalkTestPages.h"

using namespace innotest;
namespace fs = std::filesystem;

namespace {

// A BLOB page holding one part at offset: its length, the next page, its data.
Bytes BlobPage(std::uint32_t pageNo, std::uint32_t next, const std::string& data, std::uint32_t offset = 38,
               std::uint32_t statedLength = 0xFFFFFFFF) {
    Bytes p = BlankPage(pageNo, INNO_PAGE_TYPE_BLOB);
    Put32(p, offset, statedLength == 0xFFFFFFFF ? static_cast<std::uint32_t>(data.size()) : statedLength);
    Put32(p, offset + 4, next);
    std::copy(data.begin(), data.end(), p.begin() + offset + 8);
    return p;
}

// A field's local bytes: the prefix, then the 20-byte reference.
Bytes LocalField(const std::string& prefix, std::uint32_t page, std::uint32_t offset, std::uint32_t total) {
    Bytes f = Text(prefix);
    Bytes ref(20, 0);
    Put32(ref, 0, 7);
    Put32(ref, 4, page);
    Put32(ref, 8, offset);
    Put32(ref, 12, 0x80000000u);  // owner flag in the high half
    Put32(ref, 16, total);
    f.insert(f.end(), ref.begin(), ref.end());
    return f;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct BlobFixture {
    CDralvekOstruneApp app;
    AppEngine engine;
    TempTablespace ibd{"blob.ibd"};
    TempTablespace ibdata{"ibdata1"};
    fs::path folder;

    BlobFixture() {
        folder = fs::temp_directory_path() / ("innoblob-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "blobdata");
        engine.m_context.blobFolder = CString::FromUtf8(folder.string());
    }
    ~BlobFixture() { fs::remove_all(folder); }
    void Open() {
        engine.m_nIbdPages = ibd.Flush();
        engine.m_nIbdataPages = ibdata.Flush();
        engine.m_fileIbd.Open(CString::FromUtf8(ibd.Path()), CFile::modeRead);
        engine.m_fileIbdata.Open(CString::FromUtf8(ibdata.Path()), CFile::modeRead);
        engine.m_bReadingIbd = 1;
    }
    std::string Extract(const Bytes& field) {
        CString out;
        ExtractExternBlobToFile(engine, out, field.data(), static_cast<std::uint32_t>(field.size()));
        return out.ToUtf8();
    }
};

TEST(InnoBlob, ValueInThreePartsIsWrittenWholeAndFilesAreNumbered) {
    BlobFixture f;
    const std::string a(16000, 'a'), b(16330, 'b'), c(123, 'c');
    // The first part sits at the reference's offset, the later ones right after the FIL header.
    f.ibd.Write(5, BlobPage(5, 9, a, 60));
    f.ibd.Write(9, BlobPage(9, 6, b));
    f.ibd.Write(6, BlobPage(6, 0xFFFFFFFF, c));
    f.ibdata.Write(5, BlobPage(5, 0xFFFFFFFF, "from ibdata1"));
    f.Open();
    const Bytes field = LocalField("local prefix|", 5, 60, static_cast<std::uint32_t>(a.size() + b.size() + c.size()));

    const std::string first = f.Extract(field);
    EXPECT_EQ(first, (f.folder / "blobdata" / "0").string());
    EXPECT_EQ(ReadAll(first), "local prefix|" + a + b + c);

    f.engine.m_bReadingIbd = 0;
    const std::string second = f.Extract(LocalField("", 5, 38, 12));
    EXPECT_EQ(second, (f.folder / "blobdata" / "1").string());
    EXPECT_EQ(ReadAll(second), "from ibdata1");
    EXPECT_EQ(f.engine.m_context.blobCounter, 2u);

    // A DYNAMIC field holds the reference alone; in-memory reading gives the same value.
    f.engine.m_bReadingIbd = 1;
    std::vector<unsigned char> value;
    const Bytes bare = LocalField("", 5, 60, static_cast<std::uint32_t>(a.size() + b.size() + c.size()));
    EXPECT_TRUE(ReadExternValue(f.engine, bare.data(), static_cast<std::uint32_t>(bare.size()), value));
    EXPECT_EQ(std::string(value.begin(), value.end()), a + b + c);
}

TEST(InnoBlob, FileNamesAndMissingFolder) {
    BlobFixture f;
    f.ibd.Write(5, BlobPage(5, 0xFFFFFFFF, "xyz"));
    f.Open();
    const Bytes field = LocalField("", 5, 38, 3);
    // The low 32 bits of the counter are read as a signed number.
    f.engine.m_context.blobCounter = 0x180000000ull;
    EXPECT_EQ(f.Extract(field), (f.folder / "blobdata" / "-2147483648").string());
    EXPECT_EQ(f.engine.m_context.blobCounter, 0x180000001ull);

    fs::remove_all(f.folder / "blobdata");
    EXPECT_TRUE(f.engine.m_context.losses.empty());
    EXPECT_EQ(f.Extract(field), "");
    EXPECT_EQ(f.engine.m_context.blobCounter, 0x180000002ull);
    // The value is lost to the save: said where and why.
    ASSERT_EQ(f.engine.m_context.losses.size(), 1u);
    EXPECT_NE(f.engine.m_context.losses[0].ToUtf8().find("blobdata/-2147483647"), std::string::npos);
    EXPECT_NE(f.engine.m_context.losses[0].ToUtf8().find("No such file or directory"), std::string::npos);
}

TEST(InnoBlob, DamagedChainsEndWithinTheirPages) {
    BlobFixture f;
    // 5 -> 6 -> 5: a cycle; 7: a part whose length reaches past its page; 8 -> 9: 9 is
    // an index page; 10: a part longer than the total.
    f.ibd.Write(5, BlobPage(5, 6, "five"));
    f.ibd.Write(6, BlobPage(6, 5, "six"));
    f.ibd.Write(7, BlobPage(7, 0xFFFFFFFF, "seven", 38, 60000));
    f.ibd.Write(8, BlobPage(8, 9, "eight"));
    f.ibd.Write(9, CompactPage(9).Raw());
    f.ibd.Write(10, BlobPage(10, 0xFFFFFFFF, "ten and more"));
    f.Open();
    // Room for a part after the FIL header, the part header and before the trailer.
    const std::size_t room = 16384 - 38 - 8 - 8;
    struct Case {
        const char* what;
        std::uint32_t page, total;
        std::string expected;
    };
    const Case cases[] = {
        {"cycle ends at a page read before", 5, 1000, "p|fivesix"},
        {"part cut at the page end", 7, 100000, "p|seven" + std::string(room - 5, '\0')},
        {"index page ends the chain", 8, 1000, "p|eight"},
        {"total ends the part", 10, 3, "p|ten"},
        {"first page past the file", 50, 10, "p|"},
    };
    for (const Case& c : cases) {
        f.engine.m_context.losses.clear();
        f.engine.m_bCellIncomplete = 0;
        EXPECT_EQ(ReadAll(f.Extract(LocalField("p|", c.page, 38, c.total))), c.expected) << c.what;
        // Every chain but the whole one is reported, and the cell marked incomplete.
        const bool whole = c.expected.size() - 2 == c.total;
        EXPECT_EQ(f.engine.m_context.losses.size(), whole ? 0u : 1u) << c.what;
        EXPECT_EQ(f.engine.m_bCellIncomplete, whole ? 0 : 1) << c.what;
        if (!whole && !f.engine.m_context.losses.empty()) {
            CString from;
            from.Format(u"from page %d", static_cast<int>(c.page));
            EXPECT_NE(f.engine.m_context.losses[0].Find(from), -1) << f.engine.m_context.losses[0].ToUtf8();
        }
    }
}

}  // namespace
