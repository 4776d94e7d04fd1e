// The collation loader: the input is a collation file.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::WorkDir() + "/collation (2)";
    fuzz::WriteFile(path, data, size);
    CollationMap map;
    LoadCollationFile(CString::FromUtf8(path), map);
    return 0;
}
