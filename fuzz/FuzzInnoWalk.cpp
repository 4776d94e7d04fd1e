// Descent and leaf walk: input byte 0 picks a real InnoDB table (bit 7: save mode), whose
// .frm gives the layout; the rest is its .ibd as packed pages (see FuzzSupport.h). The
// table is read whole as the browser reads it without ibdata1.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTables.h"

namespace {

// The largest tablespace of the list (t_many_rows) has 640 pages.
constexpr std::uint32_t kMaxPages = 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = [] {
        const std::string d = fuzz::WorkDir() + "/data";
        fuzz::MakeDirs(d + "/fz");
        return d;
    }();
    if (size < 1) return 0;
    const fuzz::CorpusTable& t = fuzz::kInnoTables[(data[0] & 0x7F) % fuzz::Count(fuzz::kInnoTables)];
    fuzz::ResetApp((data[0] & 0x80) != 0);
    fuzz::WriteFile(dir + "/fz/fz.frm", fuzz::CorpusFile(std::string(t.database) + "/" + t.table + ".frm"));
    fuzz::WriteTablespace(dir + "/fz/fz.ibd", fuzz::UnpackPages(data + 1, size - 1, kMaxPages));
    fuzz::ReadWholeTable(dir, "fz", "fz", false, false);
    return 0;
}
