#include <new>

#include "engine/TableEngine.h"
#include "platform/core/ByteOrder.h"

namespace {

constexpr std::uint64_t kStateHeaderLength = 24;
// The state's counters follow the header: open count (2), changed (1), sort key (1), then
// records, deleted records, split, deleted link, key file length and data file length,
// 8 bytes each.
constexpr std::uint32_t kStateRecords = kStateHeaderLength + 4;
constexpr std::uint32_t kStateDeleted = kStateRecords + 8;
constexpr std::uint32_t kStateDataLength = kStateRecords + 40;
constexpr std::uint32_t kStateCountersEnd = kStateDataLength + 8;
constexpr std::uint32_t kBaseInfoLength = 100;
constexpr std::uint32_t kKeyHeaderLength = 12;
constexpr std::uint32_t kUniqueHeaderLength = 4;
constexpr std::uint32_t kSegmentLength = 18;
constexpr std::uint32_t kColumnDefLength = 7;
// A table has at most 4096 columns; MyISAM adds at most one definition before each
// column for bytes no column owns (the null flags). A count beyond that is damage, and
// reading it would fill memory from whatever the rest of the index file holds.
constexpr std::uint32_t kMaxColumnDefs = 2 * 4096 + 1;

constexpr std::uint16_t kOptionPackRecord = 0x0001;
constexpr std::uint16_t kOptionCompressRecord = 0x0004;

// Reads definitions one at a time and knows when the file has run out.
class HeaderReader {
public:
    HeaderReader(CFile& file, std::uint64_t length) : m_file(file), m_length(length) {}

    // Steps over count bytes; false once the end of the file lies inside them.
    bool Skip(std::uint64_t count) {
        std::uint64_t pos = m_file.GetPosition();
        if (pos > m_length || count > m_length - pos) return false;
        m_file.Seek(static_cast<std::int64_t>(pos + count), CFile::begin);
        return true;
    }
    bool ReadExact(unsigned char* buffer, std::uint32_t count) { return m_file.Read(buffer, count) == count; }
    bool AtEnd() const { return m_file.GetPosition() >= m_length; }

private:
    CFile& m_file;
    std::uint64_t m_length;
};

}  // namespace

bool CTableEngine::ReadMyiHeader(const CString& path) {
    // The previous table's base information must not stand in for a missing one.
    m_myiBase = MyIsamBaseInfo();
    m_myiState = MyIsamState();
    try {
        if (m_fileMyi.IsOpen()) m_fileMyi.Close();
        // The index file is evidence: read-only, and refused while a server holds it.
        if (!m_fileMyi.Open(path, CFile::modeRead | CFile::shareExclusive)) return false;
        const std::uint64_t length = m_fileMyi.GetLength();
        if (length <= kStateHeaderLength) {
            m_fileMyi.Close();
            return false;
        }

        unsigned char state[kStateHeaderLength] = {};
        m_fileMyi.Read(state, sizeof state);
        const auto options = static_cast<std::uint16_t>(ReadBigEndian(state + 4, 2));
        if (options & kOptionCompressRecord) m_nRowFormat = 2;
        else if (options & kOptionPackRecord) m_nRowFormat = 1;
        else m_nRowFormat = 0;
        const std::uint64_t basePos = ReadBigEndian(state + 12, 2);
        if (length >= kStateCountersEnd && basePos >= kStateCountersEnd) {
            unsigned char counters[kStateCountersEnd - kStateHeaderLength] = {};
            if (m_fileMyi.Read(counters, sizeof counters) == sizeof counters) {
                m_myiState.known = true;
                m_myiState.records = ReadBigEndian(counters + (kStateRecords - kStateHeaderLength), 8);
                m_myiState.deleted = ReadBigEndian(counters + (kStateDeleted - kStateHeaderLength), 8);
                m_myiState.dataFileLength = ReadBigEndian(counters + (kStateDataLength - kStateHeaderLength), 8);
            }
        }
        const std::uint32_t uniques = state[19];

        if (basePos >= length) {
            m_fileMyi.Close();
            return true;
        }

        // A base information cut off by the end of the file is taken as far as it goes;
        // the rest reads as zero.
        m_fileMyi.Seek(static_cast<std::int64_t>(basePos), CFile::begin);
        unsigned char base[kBaseInfoLength] = {};
        m_fileMyi.Read(base, sizeof base);
        MyIsamBaseInfo& b = m_myiBase;
        b.keystart = ReadBigEndian(base + 0, 8);
        b.max_data_file_length = ReadBigEndian(base + 8, 8);
        b.max_key_file_length = ReadBigEndian(base + 16, 8);
        b.records = ReadBigEndian(base + 24, 8);
        b.reloc = ReadBigEndian(base + 32, 8);
        b.mean_row_length = static_cast<std::uint32_t>(ReadBigEndian(base + 40, 4));
        b.reclength = static_cast<std::uint32_t>(ReadBigEndian(base + 44, 4));
        b.pack_reclength = static_cast<std::uint32_t>(ReadBigEndian(base + 48, 4));
        b.min_pack_length = static_cast<std::uint32_t>(ReadBigEndian(base + 52, 4));
        b.max_pack_length = static_cast<std::uint32_t>(ReadBigEndian(base + 56, 4));
        b.min_block_length = static_cast<std::uint32_t>(ReadBigEndian(base + 60, 4));
        b.fields = static_cast<std::uint32_t>(ReadBigEndian(base + 64, 4));
        b.pack_fields = static_cast<std::uint32_t>(ReadBigEndian(base + 68, 4));
        b.rec_reflength = base[72];
        b.key_reflength = base[73];
        b.keys = base[74];
        b.auto_key = base[75];
        b.pack_bits = static_cast<std::uint16_t>(ReadBigEndian(base + 76, 2));
        b.blobs = static_cast<std::uint16_t>(ReadBigEndian(base + 78, 2));
        b.max_key_block_length = static_cast<std::uint16_t>(ReadBigEndian(base + 80, 2));
        b.max_key_length = static_cast<std::uint16_t>(ReadBigEndian(base + 82, 2));
        b.extra_alloc_bytes = static_cast<std::uint16_t>(ReadBigEndian(base + 84, 2));
        for (int i = 0; i < 4; ++i) {
            b.raw_group1[i] = base[86 + i];
            b.raw_group2[i] = base[90 + i];
        }

        // Key and unique definitions only matter by their size. A definition that the
        // end of the file cuts off ends the header: nothing after it can be found.
        HeaderReader reader(m_fileMyi, length);
        bool complete = !reader.AtEnd();
        for (std::uint32_t k = 0; complete && k < b.keys; ++k) {
            unsigned char keyHeader[kKeyHeaderLength] = {};
            complete = reader.ReadExact(keyHeader, sizeof keyHeader) &&
                       reader.Skip(std::uint64_t{keyHeader[0]} * kSegmentLength) && !reader.AtEnd();
        }
        for (std::uint32_t u = 0; complete && u < uniques; ++u) {
            unsigned char uniqueHeader[kUniqueHeaderLength] = {};
            complete = reader.ReadExact(uniqueHeader, sizeof uniqueHeader) &&
                       reader.Skip(ReadBigEndian(uniqueHeader, 2) * kSegmentLength) && !reader.AtEnd();
        }

        const std::uint32_t fields = b.fields < kMaxColumnDefs ? b.fields : kMaxColumnDefs;
        for (std::uint32_t f = 0; complete && f < fields; ++f) {
            unsigned char def[kColumnDefLength] = {};
            if (!reader.ReadExact(def, sizeof def)) break;  // cut off: not a definition
            m_recinfoScratch = RecinfoEntry();
            m_recinfoScratch.m_nType = static_cast<std::uint16_t>(ReadBigEndian(def + 0, 2));
            m_recinfoScratch.m_nLength = static_cast<std::uint16_t>(ReadBigEndian(def + 2, 2));
            m_recinfoScratch.m_nNullBit = def[4];
            m_recinfoScratch.m_nNullPos = static_cast<std::uint16_t>(ReadBigEndian(def + 5, 2));
            m_recinfo.push_back(m_recinfoScratch);
            if (reader.AtEnd()) break;
        }
        m_recinfoScratch = RecinfoEntry();
        m_fileMyi.Close();
        return true;
    } catch (const CFileException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
