#include "app/LogFile.h"

#include <cstring>

std::vector<unsigned char> LogLineBytes(const CString& text) {
    const int length = text.GetLength();
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<std::size_t>(length) * 2 + 4);
    const char16_t* units = text.GetString();
    for (int i = 0; i < length; ++i) {
        bytes.push_back(static_cast<unsigned char>(units[i] & 0xFF));
        bytes.push_back(static_cast<unsigned char>(units[i] >> 8));
    }
    for (unsigned char b : {0x0D, 0x00, 0x0A, 0x00}) bytes.push_back(b);
    return bytes;
}

bool AppendLogLine(CFile& file, const CString& text, std::string& reason) {
    const std::vector<unsigned char> bytes = LogLineBytes(text);
    try {
        file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    } catch (const CFileException& e) {
        reason = std::strerror(e.m_nOsError);
        return false;
    }
    return true;
}
