// The fixed-length walk and static rows, from a fuzzed .MYD.

#include "fuzz/FuzzMyisamRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::RunMyisamRecords(fuzz::kFixedTables, data, size, false);
}
