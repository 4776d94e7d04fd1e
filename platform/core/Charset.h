#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/core/CString.h"

// Text stored in one of the database server's character sets, decoded to UTF-16.
// The tables come from the C library's iconv, built once per set on first use, with the
// server's own readings where they differ from iconv's and tables of our own for the
// sets iconv lacks. A decoder is immutable once built, so threads share it freely.
namespace charset {

class CServerCharset {
public:
    // The bytes as text. A byte sequence the set does not define, or a multi-byte
    // character cut short by the end of the bytes, becomes U+FFFD and decoding goes on
    // at the next byte; zero bytes are kept. Never reads past bytes + count.
    CString Decode(const unsigned char* bytes, std::size_t count) const;

    // Code point of one whole character given as its bytes (1 to 3 of them), or
    // kNoCharacter when the set does not define that sequence.
    std::uint32_t CodePointOf(const unsigned char* bytes, std::size_t count) const;

    static constexpr std::uint32_t kNoCharacter = 0xFFFFFFFF;

private:
    friend struct Builder;
    // A byte entry: a code point, kNoCharacter, or kLeadByte + the slot of the table
    // that reads the next byte.
    static constexpr std::uint32_t kLeadByte = 0x80000000;
    std::vector<std::uint32_t> m_tables;  // 256 entries per slot; slot 0 reads the first byte
    std::uint32_t m_nUnitsPerByte = 1;    // 2 when a sequence of the set reads past the BMP
};

// The decoder of the server character set called name (as the collation table names it,
// any case): null for sets that are not text in a table of this kind (binary, the UTF
// family, which the caller reads itself), for names the server does not have, and when
// the C library cannot convert the set.
const CServerCharset* FindServerCharset(std::u16string_view name);

// The server's set names that FindServerCharset knows, for tests.
std::vector<std::u16string_view> ServerCharsetNames();

}  // namespace charset
