#include "engine/Collation.h"

#include <unistd.h>

#include <string>

#include "platform/core/ByteOrder.h"
#include "platform/core/CFile.h"

namespace {

// Text of a record: a zero byte ends it early.
CString RecordText(const std::string& bytes) {
    std::size_t n = bytes.find('\0');
    if (n == std::string::npos) n = bytes.size();
    return CString::FromAnsi(bytes.data(), n);
}

CString ExecutableFolder() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return CString();
    std::string path(buf, static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return CString();
    return CString::FromUtf8(path.substr(0, slash + 1));
}

}  // namespace

bool LoadCollationFile(const CString& path, CollationMap& map) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    try {
        const std::uint64_t length = file.GetLength();
        std::uint64_t consumed = 0;
        while (consumed < length) {
            unsigned char head[16];
            if (file.Read(head, 16) != 16) break;
            std::uint32_t id = static_cast<std::uint32_t>(ReadLittleEndian(head, 4));
            CollationEntry entry;
            entry.mbminlen = static_cast<std::uint32_t>(ReadLittleEndian(head + 4, 4));
            entry.mbmaxlen = static_cast<std::uint32_t>(ReadLittleEndian(head + 8, 4));
            std::uint32_t l1 = static_cast<std::uint32_t>(ReadLittleEndian(head + 12, 4));
            // A length that runs past the file is damage, not a text to allocate for.
            if (l1 > length - consumed - 16) break;
            std::string first(l1, '\0');
            if (file.Read(first.data(), l1) != l1) break;
            unsigned char l2bytes[4];
            if (file.Read(l2bytes, 4) != 4) break;
            std::uint32_t l2 = static_cast<std::uint32_t>(ReadLittleEndian(l2bytes, 4));
            if (l2 > length - consumed - 20 - l1) break;
            std::string second(l2, '\0');
            if (file.Read(second.data(), l2) != l2) break;
            entry.name1 = RecordText(first);
            entry.name2 = RecordText(second);
            map[id] = std::move(entry);
            consumed += 20ull + l1 + l2;
        }
    } catch (const CFileException&) {
        // What was read before the error stays.
    }
    return true;
}

bool LoadProgramCollationFile(CollationMap& map) {
    // The working folder first; then beside the program and its installed data folder,
    // so that starting it from elsewhere does not lose every character width.
    if (LoadCollationFile(kCollationFileName, map)) return true;
    if (LoadCollationFile(ExecutableFolder() + kCollationFileName, map)) return true;
#ifdef DRALVEK_DATA_DIR
    if (LoadCollationFile(CString(DRALVEK_DATA_DIR "/") + kCollationFileName, map)) return true;
#endif
    return false;
}

CollationMap BuiltInCollations() {
    CollationMap map;
    auto add = [&](std::uint32_t id, std::uint32_t mbmax, const char16_t* set, std::uint32_t mbmin = 1) {
        map[id] = CollationEntry{mbmin, mbmax, CString(set), CString(set)};
    };
    add(63, 1, u"binary");
    for (std::uint32_t id : {5u, 8u, 15u, 31u, 47u, 48u, 49u, 94u}) add(id, 1, u"latin1");
    for (std::uint32_t id : {33u, 83u, 223u}) add(id, 3, u"utf8mb3");
    for (std::uint32_t id = 192; id <= 215; ++id) add(id, 3, u"utf8mb3");
    for (std::uint32_t id : {45u, 46u}) add(id, 4, u"utf8mb4");
    for (std::uint32_t id = 224; id <= 247; ++id) add(id, 4, u"utf8mb4");
    // The wide sets: their widths decide where a record's fields lie.
    for (std::uint32_t id : {35u, 90u}) add(id, 2, u"ucs2", 2);
    for (std::uint32_t id = 128; id <= 151; ++id) add(id, 2, u"ucs2", 2);
    for (std::uint32_t id : {54u, 55u}) add(id, 4, u"utf16", 2);
    for (std::uint32_t id = 101; id <= 124; ++id) add(id, 4, u"utf16", 2);
    for (std::uint32_t id : {56u, 62u}) add(id, 4, u"utf16le", 2);
    for (std::uint32_t id : {60u, 61u}) add(id, 4, u"utf32", 4);
    for (std::uint32_t id = 160; id <= 183; ++id) add(id, 4, u"utf32", 4);
    return map;
}
