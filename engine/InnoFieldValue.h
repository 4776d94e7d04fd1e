#pragma once

#include <cstdint>

#include "engine/TableEngine.h"

// Value text of the fields of InnoDB clustered-index records.

// InnoDB stores integer columns (mtype 6) most significant byte first, the top bit
// flipped unless prtype has INNO_PRTYPE_UNSIGNED. Rewrites the count bytes in place into
// the least-significant-first two's-complement form MyISAM stores; other mtypes are left
// as they are. Always true.
bool DecodeInnoInteger(unsigned char* bytes, std::uint32_t count, const InnoColumnDef& def);

// Sets out to the value text of one non-NULL, non-system field and returns it. bytes are
// the field's locally stored bytes (for an off-page field: the local prefix and the
// 20-byte external reference). The bytes are not changed.
CString& FormatInnoFieldValue(CTableEngine& engine, CString& out, const InnoColumnDef& def, bool offPage,
                              const unsigned char* bytes, std::uint32_t count);
