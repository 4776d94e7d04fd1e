#pragma once

#include <cstdint>

#include "engine/InnoPage.h"
#include "engine/TableEngine.h"

// User tables in the REDUNDANT record format (every table of servers before 5.0.3, and
// any table created with ROW_FORMAT=REDUNDANT): the clustered-index descent and the leaf
// records, which carry an end offset per field instead of a null bitmap and lengths.

inline constexpr std::uint16_t INNO_REDUNDANT_SUPREMUM = 116;
// The first byte after "supremum\0": every user record, header included, lies past it.
inline constexpr std::uint32_t INNO_REDUNDANT_HEAP_START = INNO_REDUNDANT_SUPREMUM + 9;
// Bits of an end offset: 1-byte entries carry the NULL bit, 2-byte entries the NULL
// bit and the bit of a field stored off the page.
inline constexpr std::uint8_t INNO_REDUNDANT_NULL_1 = 0x80;
inline constexpr std::uint16_t INNO_REDUNDANT_NULL_2 = 0x8000;
inline constexpr std::uint16_t INNO_REDUNDANT_EXTERN_2 = 0x4000;

// The index page holds REDUNDANT records: the page header's heap count lacks the
// COMPACT flag and the infimum sits at 101, or the page is the root of a table with
// instantly dropped or reordered columns, whose system records' data are zeroed.
bool IsRedundantIndexPage(const CInnoPageView& page);

// The child page number of the leftmost node pointer of a non-leaf REDUNDANT page; 0
// when the page has no user record or its first record is not a node pointer.
std::uint32_t RedundantLeftmostChild(const CInnoPageView& page);

enum class RedundantPageRead : std::uint8_t { Rows, EmptyTable };

// Appends the rows of one REDUNDANT leaf page to m_rows, from its first record or, when
// resumeAt is not 0, from the record at that origin; stops after the row that fills a
// page of rows (m_bBatchFull set and, unless m_bNoBookmark, the next record's position
// pushed). EmptyTable: the walk started at the page's first record and found none.
RedundantPageRead ReadRedundantLeafPage(CTableEngine& engine, const CInnoPageView& page, std::uint32_t pageNo,
                                        std::uint32_t resumeAt, InnoOriginSet& seen);

// The metadata record that opens the leftmost leaf of a table changed by instant ALTER
// TABLE: the defaults of added fields and, after an instant DROP or reorder, the stored
// field order (m_innoInstant, m_innoColumns). fromIbd: the leaf's tablespace.
void ReadRedundantInstantMetadata(CTableEngine& engine, const CInnoPageView& leaf, bool fromIbd);
