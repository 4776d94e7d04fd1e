// The binary JSON reader: the input is a JSON column's value. Its DECIMAL values go
// through the column formatter's own decimal reader, as a table read does.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/MySqlJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text;
    const JsonDecimalText decimal = [](std::uint32_t, std::uint32_t, const unsigned char* p, std::size_t n) {
        return std::string(reinterpret_cast<const char*>(p), n);
    };
    (void)MySqlJsonText(data, size, decimal, text);
    return 0;
}
