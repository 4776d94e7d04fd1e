#include "engine/InnoPage.h"

#include <cstring>

std::uint64_t InnoPageCount(const CFile& file, std::uint32_t pageSize) {
    return pageSize == 0 ? 0 : file.GetLength() / pageSize;
}

std::uint64_t CInnoPageView::Be(std::uint32_t offset, std::uint32_t count) const {
    if (count > 8 || !Inside(offset, count)) return 0;
    std::uint64_t v = 0;
    for (std::uint32_t i = 0; i < count; ++i) v = v << 8 | m_p[offset + i];
    return v;
}

bool CInnoPageView::HasText(std::uint32_t offset, const char* text) const {
    const auto n = static_cast<std::uint32_t>(std::strlen(text));
    return Inside(offset, n + 1) && std::memcmp(m_p + offset, text, n) == 0 && m_p[offset + n] == 0;
}

bool CInnoPageView::HasBytes(std::uint32_t offset, const char* bytes, std::uint32_t count) const {
    return Inside(offset, count) && std::memcmp(m_p + offset, bytes, count) == 0;
}

CInnoPage::CInnoPage(std::uint32_t pageSize)
    : CInnoPageView(nullptr, pageSize), m_buffer(new unsigned char[pageSize]) {
    m_p = m_buffer.get();
    Clear();
}

void CInnoPage::Clear() { std::memset(m_buffer.get(), 0, m_size); }

std::uint32_t CInnoPage::Load(CFile& file, std::uint32_t page) {
    Clear();
    file.Seek(static_cast<std::int64_t>(InnoPagePosition(page, m_size)), CFile::begin);
    return file.Read(m_buffer.get(), m_size);
}

void ParseFilHeader(const CInnoPageView& page, FilHeader& header) {
    std::memcpy(header.checksum, page.Data(), 4);
    header.page = page.U32(4);
    header.prev = page.U32(8);
    header.next = page.U32(12);
    std::memcpy(header.lsn, page.Data() + 16, 8);
    header.type = page.U16(24);
    header.flushLsn = page.U64(26);
    header.spaceId = page.U32(34);
}

void ParseIndexPageHeader(const CInnoPageView& page, IndexPageHeader& header) {
    header.nDirSlots = page.U16(38);
    header.heapTop = page.U16(40);
    header.nHeap = page.U16(42);
    header.free = page.U16(44);
    header.garbage = page.U16(46);
    header.lastInsert = page.U16(48);
    header.direction = page.U16(50);
    header.nDirection = page.U16(52);
    header.nRecs = page.U16(54);
    std::memcpy(header.maxTrxId, page.Data() + 56, 8);
    header.level = page.U16(64);
    header.indexId = page.U64(66);
    header.leafSegSpace = page.U32(74);
    header.leafSegPage = page.U32(78);
    header.leafSegOffset = page.U16(82);
    header.topSegSpace = page.U32(84);
    header.topSegPage = page.U32(88);
    header.topSegOffset = page.U16(92);
}

void ReadPageHeaders(CFile& file, std::uint32_t page, FilHeader& fil, IndexPageHeader* index,
                     std::uint32_t pageSize) {
    // A view needs a whole page behind it; only the header bytes are filled.
    unsigned char bytes[INNO_PAGE_SIZE];
    std::memset(bytes, 0, 94);
    file.Seek(static_cast<std::int64_t>(InnoPagePosition(page, pageSize)), CFile::begin);
    file.Read(bytes, index ? 94 : 38);
    CInnoPageView view(bytes);
    ParseFilHeader(view, fil);
    if (index) ParseIndexPageHeader(view, *index);
}

bool ReadRedundantRecord(const CInnoPageView& page, std::uint16_t origin, RedundantRecord& record) {
    record = RedundantRecord();
    if (origin < INNO_REDUNDANT_EXTRA_BYTES || !page.Inside(origin, 0)) return false;
    record.origin = origin;
    record.infoBits = page.U8(origin - 6u) & 0xF0;
    const std::uint32_t v = page.U24(origin - 5u);
    record.nFields = static_cast<std::uint16_t>((v >> 1) & 0x3FF);
    record.offsetWidth = (v & 1) ? 1 : 2;
    record.next = page.U16(origin - 2u);
    const std::int64_t arrayStart =
        static_cast<std::int64_t>(origin) - INNO_REDUNDANT_EXTRA_BYTES -
        static_cast<std::int64_t>(record.nFields) * record.offsetWidth;
    record.offsetsInside = arrayStart >= 0;
    return true;
}

namespace {

// End offset of field i (1-based; field 0 ends at 0), flag bits masked off.
std::uint32_t RedundantEnd(const CInnoPageView& page, const RedundantRecord& record, std::uint32_t field) {
    if (field == 0) return 0;
    const std::uint32_t below = INNO_REDUNDANT_EXTRA_BYTES + field * record.offsetWidth;
    const std::uint32_t at = record.origin - below;
    return record.offsetWidth == 1 ? (page.U8(at) & 0x7Fu) : (page.U16(at) & 0x3FFFu);
}

}  // namespace

bool RedundantField(const CInnoPageView& page, const RedundantRecord& record, std::uint32_t field,
                    std::uint32_t& start, std::uint32_t& length) {
    start = length = 0;
    if (!record.offsetsInside || field == 0 || field > record.nFields) return false;
    const std::uint32_t begin = RedundantEnd(page, record, field - 1);
    const std::uint32_t end = RedundantEnd(page, record, field);
    if (end < begin || !page.Inside(record.origin + begin, end - begin)) return false;
    start = begin;
    length = end - begin;
    return true;
}

std::uint32_t GetRedundantNodePtrChild(const unsigned char* bytes, std::uint16_t origin) {
    return RedundantNodePtrChild(CInnoPageView(bytes), origin);
}

std::uint32_t RedundantNodePtrChild(const CInnoPageView& page, std::uint16_t origin) {
    RedundantRecord record;
    if (!ReadRedundantRecord(page, origin, record) || record.nFields == 0) return 0;
    std::uint32_t start = 0, length = 0;
    if (!RedundantField(page, record, record.nFields, start, length) || length != 4) return 0;
    return page.U32(origin + start);
}

InnoSpaceFlags DecodeFspFlags(std::uint32_t flags) {
    InnoSpaceFlags result;
    result.raw = flags;
    result.fullCrc32 = (flags & 0x10u) != 0;
    auto sizeOf = [](std::uint32_t ssize) -> std::uint32_t {
        return ssize >= 3 && ssize <= 7 ? 512u << ssize : 0;
    };
    if (result.fullCrc32) {
        // Bits 0-3 always hold the size here (5 for 16 KiB); 0 is not a size.
        result.logicalSize = sizeOf(flags & 0xFu);
        result.physicalSize = result.logicalSize;
        return result;
    }
    // Bits 6-9: 0 is the 16 KiB default, and 16 KiB is never written as 5.
    const std::uint32_t ssize = (flags >> 6) & 0xFu;
    result.logicalSize = ssize == 0 ? INNO_PAGE_SIZE : (ssize == 5 ? 0 : sizeOf(ssize));
    // Bits 1-4: the ROW_FORMAT=COMPRESSED page size, 0 when the pages are not compressed.
    const std::uint32_t zipSsize = (flags >> 1) & 0xFu;
    if (zipSsize == 0) result.physicalSize = result.logicalSize;
    else result.physicalSize = zipSsize <= 5 && result.logicalSize ? 512u << zipSsize : 0;
    return result;
}

std::uint32_t ReadFspFlags(CFile& file) {
    unsigned char bytes[4] = {};
    file.Seek(INNO_FSP_FLAGS_OFFSET, CFile::begin);
    if (file.Read(bytes, 4) != 4) return 0;
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

namespace {

// Pages 1 to 3 of every tablespace (the change-buffer bitmap, the segment inodes, then the
// change-buffer header or the first index root) are written when it is created, each
// with its own number in its FIL header. 0: the file is too short to tell, 1: pages 1 to
// 3 carry their numbers at this size, -1: they do not.
int PagesCarryTheirNumbers(CFile& file, std::uint32_t pageSize) {
    if (file.GetLength() < 4ull * pageSize) return 0;
    for (std::uint32_t page = 1; page <= 3; ++page) {
        unsigned char number[4] = {};
        file.Seek(static_cast<std::int64_t>(InnoPagePosition(page, pageSize)) + 4, CFile::begin);
        if (file.Read(number, 4) != 4) return 0;
        const std::uint32_t v = static_cast<std::uint32_t>(number[0]) << 24 |
                                static_cast<std::uint32_t>(number[1]) << 16 |
                                static_cast<std::uint32_t>(number[2]) << 8 | number[3];
        if (v != page) return -1;
    }
    return 1;
}

}  // namespace

std::uint32_t InnoTablespacePageSize(CFile& file) {
    const InnoSpaceFlags flags = DecodeFspFlags(ReadFspFlags(file));
    // Not read: compressed pages (a zip size in the flags). The caller reports the table
    // as unread.
    if (flags.logicalSize != 0 && flags.physicalSize != 0 &&
        (flags.physicalSize != flags.logicalSize || (!flags.fullCrc32 && ((flags.raw >> 1) & 0xFu) != 0)))
        return 0;
    const std::uint32_t stated = flags.logicalSize != 0 ? flags.logicalSize : INNO_PAGE_SIZE;
    // A damaged page 0 states no size or a wrong one: the size at which the first pages
    // carry their own numbers is the tablespace's.
    if (PagesCarryTheirNumbers(file, stated) >= 0) return stated;
    for (std::uint32_t size : {16384u, 4096u, 8192u, 32768u, 65536u})
        if (size != stated && PagesCarryTheirNumbers(file, size) > 0) return size;
    return stated;
}

bool IsSupportedInnoPageSize(CFile& file) { return InnoTablespacePageSize(file) != 0; }

std::uint32_t InnoFilePageSize(const CTableEngine& engine, const CFile& file) {
    return &file == &engine.m_fileIbd ? engine.m_nIbdPageSize : engine.m_nIbdataPageSize;
}

bool CTableEngine::ReadDictionaryIndex(std::uint64_t page, int kind) {
    if (page > 0xFFFFFFFFull) return false;
    try {
        IndexPageHeader index;
        ReadPageHeaders(m_fileIbdata, static_cast<std::uint32_t>(page), m_filHeader, &index, m_nIbdataPageSize);
        if (m_filHeader.type != INNO_PAGE_TYPE_INDEX) return false;
        if (index.level == 0) {
            ReadDictionaryLeafChain(static_cast<std::uint32_t>(page), kind);
            return true;
        }
        const std::uint32_t leaf = DescendDictionaryToLeaf(static_cast<std::uint32_t>(page));
        if (leaf != 0) ReadDictionaryLeafChain(leaf, kind);
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

std::uint32_t CTableEngine::DescendDictionaryToLeaf(std::uint32_t page) {
    // Each child must sit at a lower level than its parent, so a damaged pointer that
    // leads back up or sideways ends the descent instead of looping.
    std::uint32_t parentLevel = 0;
    bool first = true;
    CInnoPage buffer(m_nIbdataPageSize);
    for (;;) {
        IndexPageHeader index;
        ReadPageHeaders(m_fileIbdata, page, m_filHeader, &index, m_nIbdataPageSize);
        if (m_filHeader.type != INNO_PAGE_TYPE_INDEX) return 0;
        if (!first && index.level >= parentLevel) return 0;
        if (index.level == 0) return page;
        first = false;
        parentLevel = index.level;
        buffer.Load(m_fileIbdata, page);
        if (!buffer.HasText(INNO_REDUNDANT_INFIMUM, "infimum")) return 0;
        const std::uint16_t firstRecord = buffer.U16(INNO_REDUNDANT_INFIMUM - 2u);
        if (firstRecord >= buffer.Size()) return 0;
        if (buffer.HasText(firstRecord, "supremum")) return 0;
        const std::uint32_t child = RedundantNodePtrChild(buffer, firstRecord);
        if (child == 0 || child >= m_nIbdataPages) return 0;
        page = child;
    }
}
