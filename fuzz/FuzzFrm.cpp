// The table definition reader: the input is a .frm. It is read as the Keys item reads it
// (the key list with each column's type text) and as the table item reads it, over real
// data files: a dynamic and a fixed-length MyISAM table and an InnoDB tablespace, the
// storage engine byte of the input choosing between MyISAM and InnoDB. So a damaged
// definition meets real rows.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"

namespace {

std::string Setup() {
    const std::string data = fuzz::WorkDir() + "/data";
    const struct {
        const char* folder;
        const char* myisam;
    } sets[] = {{"/dyn", "myisam_types/t_string"}, {"/fix", "myisam_formats/t_fixed"}};
    for (const auto& s : sets) {
        fuzz::MakeDirs(data + s.folder);
        fuzz::WriteFile(data + s.folder + "/fz.MYI", fuzz::CorpusFile(std::string(s.myisam) + ".MYI"));
        fuzz::WriteFile(data + s.folder + "/fz.MYD", fuzz::CorpusFile(std::string(s.myisam) + ".MYD"));
    }
    fuzz::WriteFile(data + "/dyn/fz.ibd", fuzz::CorpusFile("innodb_types/t_string_dynamic.ibd"));
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = Setup();
    fuzz::ResetApp(false);
    fuzz::WriteFile(dir + "/dyn/fz.frm", data, size);
    fuzz::ReadWholeTable(dir, "dyn", "fz", false, true);
    fuzz::ReadWholeTable(dir, "dyn", "fz", false, false);
    // A MyISAM definition over fixed-length records too (an InnoDB one finds no .ibd).
    if (size > 3 && data[3] == 9) {
        fuzz::WriteFile(dir + "/fix/fz.frm", data, size);
        fuzz::ReadWholeTable(dir, "fix", "fz", false, false);
    }
    return 0;
}
