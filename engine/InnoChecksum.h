#pragma once

#include <cstddef>
#include <cstdint>

// Page checksums of InnoDB tablespaces.

// CRC-32C (Castagnoli) of count bytes, continuing from crc (0 to start).
std::uint32_t Crc32c(std::uint32_t crc, const unsigned char* bytes, std::size_t count);

// True when the page of size bytes carries a checksum its bytes agree with: for
// full_crc32 tablespaces the CRC-32C of all but its last 4 bytes stored there; otherwise
// the crc32 or the older InnoDB checksum in its first 4 bytes (or the value written when
// checksums are off), with the LSN's low half repeated in its trailer. An all-zero page
// (never written) counts as valid.
bool InnoPageChecksumValid(const unsigned char* page, std::uint32_t size, bool fullCrc32);
