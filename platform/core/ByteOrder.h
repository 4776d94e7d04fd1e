#pragma once

#include <cstddef>
#include <cstdint>

// Numbers stored in files are assembled byte by byte, whatever the host's byte order.
inline std::uint64_t ReadBigEndian(const unsigned char* p, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

inline std::uint64_t ReadLittleEndian(const unsigned char* p, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = bytes; i > 0; --i) v = (v << 8) | p[i - 1];
    return v;
}
