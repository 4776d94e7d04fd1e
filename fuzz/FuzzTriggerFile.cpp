// The trigger file reader: the input is a .TRG file.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/ViewTriggerSql.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BuildTriggerSqlFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
