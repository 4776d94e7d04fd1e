#pragma once

#include <bitset>
#include <cstdint>
#include <memory>

#include "engine/TableEngine.h"
#include "platform/core/CFile.h"

// InnoDB tablespace pages: positions, headers, and reads that never leave the page.

// Byte position of a page, always computed in 64 bits so pages past 4 GiB are reached.
constexpr std::uint64_t InnoPagePosition(std::uint32_t page, std::uint32_t pageSize = INNO_PAGE_SIZE) {
    return static_cast<std::uint64_t>(page) * pageSize;
}

// The bookmark offset that says a page has no further record: the page size (0xFFFF for
// 64 KiB pages, whose offsets are 16-bit), never the origin of a record.
constexpr std::uint32_t InnoPageEndMarker(std::uint32_t pageSize) {
    return pageSize >= 65536 ? 0xFFFFu : pageSize;
}
// Records a walk visits on one page at most: a bound for damaged record chains, as many
// as the page could hold.
constexpr std::uint32_t InnoMaxRecordsPerPage(std::uint32_t pageSize) {
    return pageSize <= INNO_PAGE_SIZE ? INNO_MAX_RECS_PER_PAGE : INNO_MAX_RECS_PER_PAGE * (pageSize / INNO_PAGE_SIZE);
}

// Record origins seen on one page, for pages up to 64 KiB (origins are 16-bit offsets).
inline constexpr std::size_t INNO_MAX_PAGE_BYTES = 65536;
using InnoOriginSet = std::bitset<INNO_MAX_PAGE_BYTES>;

// Whole pages of the file (a partly written last page does not count).
std::uint64_t InnoPageCount(const CFile& file, std::uint32_t pageSize = INNO_PAGE_SIZE);

// Read-only view of one page held elsewhere (16384 bytes unless the tablespace says
// otherwise). Every read is checked against the page: a field that would reach past its
// end reads as 0, and Inside() tells so beforehand, so a damaged offset or length on the
// page can never lead outside it.
class CInnoPageView {
public:
    explicit CInnoPageView(const unsigned char* page, std::uint32_t size = INNO_PAGE_SIZE)
        : m_p(page), m_size(size) {}

    std::uint32_t Size() const { return m_size; }
    // True when count bytes starting at offset lie inside this page.
    bool Inside(std::uint32_t offset, std::uint32_t count) const {
        return offset <= m_size && count <= m_size - offset;
    }
    // True when count bytes starting at offset lie inside a 16384-byte page.
    static constexpr bool Has(std::uint32_t offset, std::uint32_t count) {
        return offset <= INNO_PAGE_SIZE && count <= INNO_PAGE_SIZE - offset;
    }
    // Same for a signed offset, as record arithmetic below an origin produces.
    static constexpr bool HasSigned(std::int64_t offset, std::int64_t count) {
        return offset >= 0 && count >= 0 && offset + count <= static_cast<std::int64_t>(INNO_PAGE_SIZE);
    }

    const unsigned char* Data() const { return m_p; }
    // Pointer to the bytes at offset when count of them lie inside the page, else null.
    const unsigned char* Bytes(std::uint32_t offset, std::uint32_t count) const {
        return Inside(offset, count) ? m_p + offset : nullptr;
    }

    // Big-endian numbers; 0 when the field does not lie wholly inside the page.
    std::uint8_t U8(std::uint32_t offset) const { return Inside(offset, 1) ? m_p[offset] : 0; }
    std::uint16_t U16(std::uint32_t offset) const {
        return static_cast<std::uint16_t>(Be(offset, 2));
    }
    std::uint32_t U24(std::uint32_t offset) const { return static_cast<std::uint32_t>(Be(offset, 3)); }
    std::uint32_t U32(std::uint32_t offset) const { return static_cast<std::uint32_t>(Be(offset, 4)); }
    std::uint64_t U48(std::uint32_t offset) const { return Be(offset, 6); }
    std::uint64_t U64(std::uint32_t offset) const { return Be(offset, 8); }
    std::uint64_t Be(std::uint32_t offset, std::uint32_t count) const;

    // The text at offset followed by a zero byte, all inside the page.
    bool HasText(std::uint32_t offset, const char* text) const;
    // The count bytes at offset equal bytes (no terminator needed).
    bool HasBytes(std::uint32_t offset, const char* bytes, std::uint32_t count) const;

protected:
    const unsigned char* m_p;
    std::uint32_t m_size;
};

// A page buffer of its own (zeroed), read from a tablespace file.
class CInnoPage : public CInnoPageView {
public:
    explicit CInnoPage(std::uint32_t pageSize = INNO_PAGE_SIZE);
    CInnoPage(const CInnoPage&) = delete;
    CInnoPage& operator=(const CInnoPage&) = delete;

    unsigned char* Data() { return m_buffer.get(); }
    const unsigned char* Data() const { return m_buffer.get(); }
    void Clear();
    // Reads page n of the file into the buffer, zeroed first: bytes past the end of the
    // file read as 0, so a page beyond the end is a page of type 0. Returns the count
    // of bytes the file delivered. File errors raise CFileException.
    std::uint32_t Load(CFile& file, std::uint32_t page);

private:
    std::unique_ptr<unsigned char[]> m_buffer;
};

// The FIL header (first 38 bytes) and INDEX page header (the 56 bytes after it) of a page.
void ParseFilHeader(const CInnoPageView& page, FilHeader& header);
void ParseIndexPageHeader(const CInnoPageView& page, IndexPageHeader& header);
// Reads only the headers of page n (94 bytes): the FIL header, and the INDEX header
// when index is not null. Bytes past the end of the file read as 0.
void ReadPageHeaders(CFile& file, std::uint32_t page, FilHeader& fil, IndexPageHeader* index,
                     std::uint32_t pageSize = INNO_PAGE_SIZE);

// The REDUNDANT record header before an origin and its field end-offset array.
struct RedundantRecord {
    std::uint16_t origin = 0;
    std::uint8_t infoBits = 0;    // high 4 bits of the byte at origin - 6, in place
    std::uint16_t nFields = 0;
    std::uint8_t offsetWidth = 1;  // 1 or 2 bytes per end offset
    std::uint16_t next = 0;        // absolute origin of the next record, 0 = none
    bool offsetsInside = false;    // the end-offset array lies inside the page
    bool Deleted() const { return (infoBits & 0x20) != 0; }
};
inline constexpr std::uint8_t INNO_REC_INFO_DELETED = 0x20;

// Reads the 6 header bytes before origin; false when they do not lie inside the page.
bool ReadRedundantRecord(const CInnoPageView& page, std::uint16_t origin, RedundantRecord& record);
// Field i (1-based): its start offset from the origin and its length, from the end
// offsets with their flag bits masked off. False when the end-offset array or the
// field lies outside the page, or the end offsets run backwards.
bool RedundantField(const CInnoPageView& page, const RedundantRecord& record, std::uint32_t field,
                    std::uint32_t& start, std::uint32_t& length);

// Child page number of the REDUNDANT node-pointer record at origin of a 16384-byte page:
// the 4-byte last field. 0 when the last field is not 4 bytes, there are no fields, or
// the record does not lie inside the page.
std::uint32_t GetRedundantNodePtrChild(const unsigned char* page, std::uint16_t origin);
// The same on a page of any size.
std::uint32_t RedundantNodePtrChild(const CInnoPageView& page, std::uint16_t origin);

// Tablespace flags (FSP_SPACE_FLAGS, page 0 at 38 + 16) and the page size they give.
inline constexpr std::uint32_t INNO_FSP_FLAGS_OFFSET = 54;
struct InnoSpaceFlags {
    std::uint32_t raw = 0;
    bool fullCrc32 = false;          // MariaDB's full_crc32 layout (bit 4 set)
    std::uint32_t logicalSize = 0;   // page size in bytes; 0 when the flags are not valid
    std::uint32_t physicalSize = 0;  // bytes per page on disk (ROW_FORMAT=COMPRESSED: the zip size)
};
InnoSpaceFlags DecodeFspFlags(std::uint32_t flags);
// The flags of page 0; 0 (the 16 KiB default) when the file is shorter.
std::uint32_t ReadFspFlags(CFile& file);
// The size of the tablespace's pages (4, 8, 16, 32 or 64 KiB) from the flags of page 0;
// 0 when its pages are ROW_FORMAT=COMPRESSED, which are not read. Flags that name no
// valid size (a damaged page 0, a file shorter than the flags) give the 16 KiB default.
// File errors raise CFileException.
std::uint32_t InnoTablespacePageSize(CFile& file);
// True when the tablespace's pages can be read (InnoTablespacePageSize is not 0).
bool IsSupportedInnoPageSize(CFile& file);

// Page size of one of the engine's two tablespace files (m_fileIbd or m_fileIbdata).
std::uint32_t InnoFilePageSize(const CTableEngine& engine, const CFile& file);
