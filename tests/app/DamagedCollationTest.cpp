// The real collation table (resources/collation (2)) cut at record boundaries and inside
// records, and with its text lengths at their maximum: the records before the damage
// stay, the rest is not taken. A record: id, mbminlen, mbmaxlen, first length (4 bytes
// each, little-endian), the first name, the second length, the second name.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

#include "app/DralvekOstruneApp.h"
#include "tests/app/DamagedTables.h"

namespace {

using namespace damaged;

// Start of every record of the file, and its end as the last entry.
std::vector<std::size_t> RecordStarts(const Bytes& file) {
    std::vector<std::size_t> starts;
    std::size_t at = 0;
    while (at + 20 <= file.size()) {
        starts.push_back(at);
        const std::size_t second = at + 16 + Le32(file, at + 12);
        at = second + 4 + Le32(file, second);
    }
    starts.push_back(at);
    return starts;
}

TEST(DamagedCollation, DamageKeepsTheRecordsBeforeIt) {
    const Bytes real = ReadBytes(fs::path(DRALVEK_RESOURCES) / "collation (2)");
    const std::vector<std::size_t> starts = RecordStarts(real);
    ASSERT_EQ(starts.back(), real.size()) << "the file is records only";
    const std::size_t records = starts.size() - 1;
    ASSERT_GT(records, 200u);
    const fs::path path = fs::temp_directory_path() / ("collation-damaged-" + std::to_string(::getpid()));

    // Ids are distinct in the real file, so the entries count the records taken.
    auto load = [&](const Bytes& bytes) {
        WriteBytes(path, bytes);
        CollationMap map;
        EXPECT_TRUE(LoadCollationFile(CString::FromUtf8(path.string()), map));
        return map.size();
    };
    EXPECT_EQ(load(real), records);
    EXPECT_EQ(load(Bytes()), 0u);
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, records / 2, records - 1}) {
        SCOPED_TRACE("record " + std::to_string(k));
        const std::size_t at = starts[k];
        const std::size_t second = at + 16 + Le32(real, at + 12);
        const struct {
            const char* what;
            std::function<void(Bytes&)> edit;
        } cases[] = {
            {"cut at its start", [&](Bytes& b) { b.resize(at); }},
            {"cut inside its numbers", [&](Bytes& b) { b.resize(at + 7); }},
            {"cut inside its first name", [&](Bytes& b) { b.resize(at + 17); }},
            {"cut inside its second length", [&](Bytes& b) { b.resize(second + 2); }},
            {"cut before its last byte", [&](Bytes& b) { b.resize(starts[k + 1] - 1); }},
            {"first length at its maximum", [&](Bytes& b) { PutLe(b, at + 12, 0xFFFFFFFF, 4); }},
            {"second length at its maximum", [&](Bytes& b) { PutLe(b, second, 0xFFFFFFFF, 4); }},
            {"second length one past the file", [&](Bytes& b) { PutLe(b, second, real.size() - second - 4 + 1, 4); }},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            Bytes bytes = real;
            c.edit(bytes);
            EXPECT_EQ(load(bytes), k);
        }
    }
    fs::remove(path);
}

}  // namespace
