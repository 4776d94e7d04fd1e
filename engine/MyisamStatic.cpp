#include <algorithm>
#include <vector>

#include "engine/FieldValue.h"
#include "engine/TableEngine.h"

namespace {

// No column of a fixed-length record is wider than a VARCHAR of 65535 bytes with its
// length prefix; a wider claim comes from a damaged definition and is cut to this.
constexpr std::uint32_t kMaxStaticFieldWidth = 65535 + 2;
// Records up to this span are read with one call; wider ones column by column.
constexpr std::uint64_t kMaxBufferedSpan = 1u << 20;
// Formatters may read a fixed-width number from a field cut short; they find zeros.
constexpr std::uint32_t kPadding = 16;

std::uint64_t ColumnOffset(const ColumnInfo& column) {
    return column.m_nRecordPos ? column.m_nRecordPos - 1 : 0;
}

}  // namespace

std::uint64_t CTableEngine::ReadStaticRow(std::uint64_t position) {
    // Scratch kept across calls: a page reads up to 1000 records of the same shape.
    static thread_local std::vector<unsigned char> record;
    static thread_local std::vector<unsigned char> field;

    const std::uint32_t nullBytes = std::min<std::uint32_t>(m_nNullBytes, kMaxStaticFieldWidth);
    std::uint64_t span = nullBytes;
    for (const ColumnInfo& column : m_columns) {
        if (column.m_bNotStored) continue;
        const std::uint32_t width = std::min(StaticFieldWidth(*this, column), kMaxStaticFieldWidth);
        span = std::max(span, ColumnOffset(column) + width);
    }
    const std::uint64_t buffered = std::min(span, kMaxBufferedSpan);

    // One read for the record; what lies past the end of the file stays zero.
    record.assign(static_cast<std::size_t>(buffered + kPadding), 0);
    m_fileMyd.Seek(static_cast<std::int64_t>(position), CFile::begin);
    const std::uint32_t got = m_fileMyd.Read(record.data(), static_cast<std::uint32_t>(buffered));
    const unsigned char* nullBitmap = record.data();

    std::uint64_t last = position;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const ColumnInfo& column = m_columns[i];
        if (column.m_bNotStored) {
            FormatMyIsamStaticField(*this, i, nullptr, 0, nullBitmap, nullBytes);
            continue;
        }
        const std::uint64_t offset = ColumnOffset(column);
        const std::uint32_t width = std::min(StaticFieldWidth(*this, column), kMaxStaticFieldWidth);
        last = position + offset;
        const unsigned char* bytes = nullptr;
        std::uint32_t count = 0;
        if (offset + width <= buffered) {
            bytes = record.data() + offset;
            count = offset >= got ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(width, got - offset));
        } else {
            // A record position beyond the record is used as it stands.
            field.assign(width + kPadding, 0);
            m_fileMyd.Seek(static_cast<std::int64_t>(position + offset), CFile::begin);
            count = m_fileMyd.Read(field.data(), width);
            bytes = field.data();
        }
        FormatMyIsamStaticField(*this, i, bytes, count, nullBitmap, nullBytes);
    }
    m_rows.push_back(m_columns);
    return last;
}
