#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "app/ScriptDdl.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

struct Scratch {
    fs::path dir;
    Scratch() {
        // Thousands of small rewrites: memory-backed when the system has it.
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        dir = base / ("dralvek-ddl-damage-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

std::vector<fs::path> DdlDefinitions() {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(fs::path(DRALVEK_FIXTURES) / "ddl" / "ddl_features"))
        if (e.path().extension() == ".frm") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// A definition cut short anywhere either is refused or says what it lacks: a statement
// built from part of a definition never looks like one built from all of it.
TEST(TableDdlDamage, CutDefinitionsAreRefusedOrReportTheirLosses) {
    CDralvekOstruneApp app;
    Scratch scratch;
    const fs::path cut = scratch.dir / "t.frm";
    int refused = 0, reported = 0;
    for (const fs::path& frm : DdlDefinitions()) {
        const std::string bytes = ReadFile(frm);
        TableDdl whole;
        ASSERT_TRUE(BuildTableDdl(CString::FromUtf8(frm.string()), CString(u"t"), app.m_mapCollation, whole)) << frm;
        EXPECT_TRUE(whole.losses.empty()) << frm;
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            WriteFile(cut, bytes.substr(0, length));
            TableDdl ddl;
            const bool ok = BuildTableDdl(CString::FromUtf8(cut.string()), CString(u"t"), app.m_mapCollation, ddl);
            if (!ok) ++refused;
            else if (!ddl.losses.empty()) ++reported;
            EXPECT_TRUE(!ok || !ddl.losses.empty()) << frm.filename() << " cut at " << length;
            if (ok && ddl.losses.empty()) break;
        }
    }
    EXPECT_GT(refused, 0);
    std::printf("cut definitions: %d refused, %d built with their losses named\n", refused, reported);
}

// Documented edits of real definitions: a length that points past the file loses the
// piece it measures, and the statement says so.
TEST(TableDdlDamage, LengthsPastTheFileNameWhatIsLost) {
    CDralvekOstruneApp app;
    Scratch scratch;
    struct Edit {
        const char* what;
        const char* file;
        std::size_t offset;
        std::string bytes;
        const char* loss;  // part of the loss sentence; nullptr: the definition is refused
    };
    const Edit edits[] = {
        {"extra segment length", "t_options.frm", 55, std::string("\xFF\xFF\x00\x00", 4), "extra segment"},
        {"key section length moves the default record past the end", "t_defaults.frm", 14,
         std::string("\xFE\xFF", 2), "default values"},
        {"form position past the end", "t_defaults.frm", 0, "", nullptr},
    };
    for (const Edit& e : edits) {
        const fs::path source = fs::path(DRALVEK_FIXTURES) / "ddl" / "ddl_features" / e.file;
        std::string b = ReadFile(source);
        if (e.bytes.empty()) {
            // The form position sits right after the extra2 block.
            const std::size_t at = 64 + (static_cast<unsigned char>(b[4]) | static_cast<unsigned char>(b[5]) << 8);
            b.replace(at, 4, std::string("\xFF\xFF\xFF\x00", 4));
        } else {
            b.replace(e.offset, e.bytes.size(), e.bytes);
        }
        const fs::path edited = scratch.dir / e.file;
        WriteFile(edited, b);
        TableDdl ddl;
        const bool ok = BuildTableDdl(CString::FromUtf8(edited.string()), CString(u"t"), app.m_mapCollation, ddl);
        if (!e.loss) {
            EXPECT_FALSE(ok) << e.what;
            continue;
        }
        ASSERT_TRUE(ok) << e.what;
        bool named = false;
        for (const std::string& l : ddl.losses) named = named || l.find(e.loss) != std::string::npos;
        EXPECT_TRUE(named) << e.what;
    }
}

// Random byte edits of real definitions: whatever the bytes say, building the statement
// neither crashes nor reads outside the file (the sanitizer suite runs this too).
TEST(TableDdlDamage, EditedDefinitionsBuildWithoutFault) {
    CDralvekOstruneApp app;
    Scratch scratch;
    const fs::path edited = scratch.dir / "t.frm";
    std::mt19937 random(20261210);
    int built = 0;
    for (const fs::path& frm : DdlDefinitions()) {
        const std::string bytes = ReadFile(frm);
        for (int round = 0; round < 1000; ++round) {
            std::string b = bytes;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = random() % b.size();
                // Small counts and lengths matter most: 0, 1, 0xFF and random bytes.
                static const unsigned char kValues[] = {0x00, 0x01, 0xFF, 0x80, 0x7F};
                b[at] = static_cast<char>(random() % 2 ? kValues[random() % 5] : random() % 256);
            }
            WriteFile(edited, b);
            TableDdl ddl;
            if (BuildTableDdl(CString::FromUtf8(edited.string()), CString(u"t"), app.m_mapCollation, ddl)) {
                ++built;
                EXPECT_EQ(ddl.sql.rfind("CREATE TABLE `t` (\n", 0), 0u);
                EXPECT_EQ(ddl.sql.substr(ddl.sql.size() - 2), ";\n");
            }
        }
    }
    EXPECT_GT(built, 0);
}

}  // namespace
