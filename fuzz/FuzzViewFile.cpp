// The view definition reader: the input is a view's definition file. Its name is
// decoded from the input too, so the file-name decoder meets every byte.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/MySqlNames.h"
#include "app/ViewTriggerSql.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const CString name = DecodeFileName(CString::FromUtf8(bytes.substr(0, bytes.size() < 64 ? bytes.size() : 64)));
    BuildViewSqlFromBytes(bytes, name);
    return 0;
}
