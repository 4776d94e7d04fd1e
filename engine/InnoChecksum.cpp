#include "engine/InnoChecksum.h"

#include <array>
#include <cstring>

namespace {

// The checksum fields and the parts of a page that they cover.
constexpr std::uint32_t kFilPageLsn = 16;
constexpr std::uint32_t kFilPageFileFlushLsn = 26;
constexpr std::uint32_t kFilPageData = 38;
constexpr std::uint32_t kFilTrailer = 8;
// Written in place of a checksum when innodb_checksum_algorithm is none.
constexpr std::uint32_t kNoChecksumMagic = 0xDEADBEEFu;
// The older checksum's folding constants.
constexpr std::uint64_t kFoldMask = 1463735687;
constexpr std::uint64_t kFoldMask2 = 1653893711;

std::uint32_t Be32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        table[i] = c;
    }
    return table;
}

std::uint32_t Crc32cTable(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    static const std::array<std::uint32_t, 256> table = MakeTable();
    for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) std::uint32_t Crc32cHardware(std::uint32_t crc, const unsigned char* p,
                                                                std::size_t n) {
    std::uint64_t c = crc;
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        c = __builtin_ia32_crc32di(c, word);
        p += 8;
        n -= 8;
    }
    std::uint32_t c32 = static_cast<std::uint32_t>(c);
    while (n--) c32 = __builtin_ia32_crc32qi(c32, *p++);
    return c32;
}
#endif

std::uint64_t Fold(const unsigned char* p, std::size_t n) {
    std::uint64_t fold = 0;
    for (std::size_t i = 0; i < n; ++i) fold = ((((fold ^ p[i] ^ kFoldMask2) << 8) + fold) ^ kFoldMask) + p[i];
    return fold;
}

bool AllZero(const unsigned char* p, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

std::uint32_t Crc32c(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    crc = ~crc;
#if defined(__x86_64__)
    static const bool hardware = __builtin_cpu_supports("sse4.2");
    crc = hardware ? Crc32cHardware(crc, bytes, count) : Crc32cTable(crc, bytes, count);
#else
    crc = Crc32cTable(crc, bytes, count);
#endif
    return ~crc;
}

bool InnoPageChecksumValid(const unsigned char* page, std::uint32_t size, bool fullCrc32) {
    if (size < kFilPageData + kFilTrailer) return false;
    if (fullCrc32) {
        const std::uint32_t stored = Be32(page + size - 4);
        if (Crc32c(0, page, size - 4) == stored) return true;
        return stored == 0 && AllZero(page, size);
    }
    const std::uint32_t stored = Be32(page);
    // The LSN's low half is repeated in the trailer: a page written in part differs there.
    const bool lsnMatches = std::memcmp(page + kFilPageLsn + 4, page + size - 4, 4) == 0;
    if (lsnMatches) {
        if (stored == kNoChecksumMagic) return true;
        const std::uint32_t crc = Crc32c(0, page + 4, kFilPageFileFlushLsn - 4) ^
                                  Crc32c(0, page + kFilPageData, size - kFilPageData - kFilTrailer);
        if (stored == crc) return true;
        const auto legacy = static_cast<std::uint32_t>(
            (Fold(page + 4, kFilPageFileFlushLsn - 4) + Fold(page + kFilPageData, size - kFilPageData - kFilTrailer)) &
            0xFFFFFFFFu);
        if (stored == legacy) return true;
    }
    return AllZero(page, size);
}
