// The table definition reader: the input is a .frm. It is read as the Keys item reads it
// (the key list with each column's type text) and as the table item reads it, over real
// MyISAM and InnoDB data files, so a damaged definition meets real rows.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"

namespace {

std::string Setup() {
    const std::string data = fuzz::WorkDir() + "/data";
    fuzz::MakeDirs(data + "/fz");
    fuzz::WriteFile(data + "/fz/fz.MYI", fuzz::CorpusFile("myisam_types/t_string.MYI"));
    fuzz::WriteFile(data + "/fz/fz.MYD", fuzz::CorpusFile("myisam_types/t_string.MYD"));
    fuzz::WriteFile(data + "/fz/fz.ibd", fuzz::CorpusFile("innodb_types/t_string_dynamic.ibd"));
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = Setup();
    fuzz::ResetApp(false);
    fuzz::WriteFile(dir + "/fz/fz.frm", data, size);
    fuzz::ReadWholeTable(dir, "fz", "fz", false, true);
    fuzz::ReadWholeTable(dir, "fz", "fz", false, false);
    return 0;
}
