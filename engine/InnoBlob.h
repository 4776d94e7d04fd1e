#pragma once

#include <cstdint>
#include <vector>

#include "engine/TableEngine.h"

inline constexpr std::uint32_t INNO_EXTERN_REF_SIZE = 20;
inline constexpr std::uint32_t INNO_BLOB_PART_HEADER = 8;
inline constexpr std::uint16_t INNO_PAGE_TYPE_BLOB = 10;
// A page as allocated; MySQL 5.0 left its BLOB pages so.
inline constexpr std::uint16_t INNO_PAGE_TYPE_ALLOCATED = 0;

// Writes the whole value of an off-page field (its local prefix, then the parts of its
// BLOB page chain) to <save folder>/blobdata/<counter> and sets out to that path; out is
// empty when the file cannot be created. field/count: the field's locally stored bytes,
// the 20-byte external reference last. The pages come from the .ibd while
// m_bReadingIbd is set, else from ibdata1.
CString& ExtractExternBlobToFile(CTableEngine& engine, CString& out, const unsigned char* field,
                                 std::uint32_t count);

// The whole value of an off-page field in memory: the local prefix, then the parts of its
// chain. False when a page could not be read (value then holds what was read).
bool ReadExternValue(CTableEngine& engine, const unsigned char* field, std::uint32_t count,
                     std::vector<unsigned char>& value);
