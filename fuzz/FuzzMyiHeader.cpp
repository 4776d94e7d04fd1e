// The .MYI header reader: input byte 0 picks a real MyISAM table (its .frm and .MYD stay
// as the server wrote them), the rest is its .MYI. The table is then read whole, so the
// record lengths and column definitions of a damaged header drive the record walks.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = [] {
        const std::string d = fuzz::WorkDir() + "/data";
        fuzz::MakeDirs(d + "/fz");
        return d;
    }();
    if (size < 1) return 0;
    constexpr std::size_t dynamicCount = fuzz::Count(fuzz::kDynamicTables);
    const std::size_t pick = (data[0] & 0x7F) % (dynamicCount + fuzz::Count(fuzz::kFixedTables));
    const fuzz::CorpusTable& t =
        pick < dynamicCount ? fuzz::kDynamicTables[pick] : fuzz::kFixedTables[pick - dynamicCount];
    const std::string base = std::string(t.database) + "/" + t.table;
    fuzz::ResetApp((data[0] & 0x80) != 0);
    fuzz::WriteFile(dir + "/fz/fz.frm", fuzz::CorpusFile(base + ".frm"));
    fuzz::WriteFile(dir + "/fz/fz.MYD", fuzz::CorpusFile(base + ".MYD"));
    fuzz::WriteFile(dir + "/fz/fz.MYI", data + 1, size - 1);
    fuzz::ReadWholeTable(dir, "fz", "fz", false, false);
    return 0;
}
