// Block headers, dynamic-record unpacking and the dynamic walk, from a fuzzed .MYD.

#include "fuzz/FuzzMyisamRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::RunMyisamRecords(fuzz::kDynamicTables, data, size, true);
}
