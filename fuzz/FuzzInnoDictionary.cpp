// The dictionary load: the input is ibdata1 as packed pages (see FuzzSupport.h). After the
// load the same engine shows two tables that live inside ibdata1 and one with its own
// .ibd, as the window shows one table after another.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTables.h"

namespace {

// The corpus's ibdata1 has 1024 pages.
constexpr std::uint32_t kMaxPages = 1024;

std::string Setup() {
    const std::string data = fuzz::WorkDir() + "/data";
    for (const fuzz::CorpusTable& t : fuzz::kSystemTables) {
        const std::string base = std::string(t.database) + "/" + t.table;
        fuzz::MakeDirs(data + "/" + t.database);
        fuzz::WriteFile(data + "/" + base + ".frm", fuzz::CorpusFile(base + ".frm"));
        if (std::string(t.database) != "innodb_system")
            fuzz::WriteFile(data + "/" + base + ".ibd", fuzz::CorpusFile(base + ".ibd"));
    }
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = Setup();
    fuzz::ResetApp(false);
    fuzz::WriteTablespace(dir + "/ibdata1", fuzz::UnpackPages(data, size, kMaxPages));
    CTableEngine engine;
    engine.LoadDictionary(CString::FromUtf8(dir + "/ibdata1"));
    for (const fuzz::CorpusTable& t : fuzz::kSystemTables) fuzz::ReadWholeTable(engine, dir, t.database, t.table, false);
    return 0;
}
