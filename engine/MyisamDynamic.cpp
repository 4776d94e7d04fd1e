#include <cstring>
#include <vector>

#include "engine/FieldValue.h"
#include "engine/TableEngine.h"
#include "platform/core/ByteOrder.h"

namespace {

// Pointer bytes that follow a blob's length in its record slot.
constexpr std::uint32_t kBlobPointerBytes = 8;

// A field whose flag bit says "all zero" has no bytes in the record; its value is read
// from here. Definition lengths are 16-bit, so this covers every field.
const unsigned char kZeroField[65536] = {};

}  // namespace

std::uint32_t CTableEngine::GetBlockInfo(BlockInfo& info, std::uint64_t position) {
    // Bytes past the end of the file read as zero rather than as the previous header.
    std::memset(info.m_header, 0, sizeof info.m_header);
    m_fileMyd.Seek(static_cast<std::int64_t>(position), CFile::begin);
    m_fileMyd.Read(info.m_header, sizeof info.m_header);
    const unsigned char* h = info.m_header;
    const std::uint32_t type = h[0];
    if (type > 13) return type;

    std::uint32_t flags = 0;
    if (info.m_nSecondRead == 0) {
        if (type >= 7 && type <= 12) flags = BLOCK_SYNC_ERROR;
    } else if (type <= 6 || type == 13) {
        flags = BLOCK_SYNC_ERROR;
    }

    info.m_nFilePos = position;
    switch (type) {
    case 0:
        info.m_nBlockLen = ReadBigEndian(h + 1, 3);
        info.m_nNextFilePos = ReadBigEndian(h + 4, 8);
        info.m_nPrevFilePos = ReadBigEndian(h + 12, 8);
        return flags | BLOCK_DELETED;
    case 1:
        info.m_nRecLen = info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 1, 2);
        info.m_nFilePos += 3;
        return flags | BLOCK_FIRST | BLOCK_LAST;
    case 2:
        info.m_nRecLen = info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 1, 3);
        info.m_nFilePos += 4;
        return flags | BLOCK_FIRST | BLOCK_LAST;
    case 3:
        info.m_nRecLen = info.m_nDataLen = ReadBigEndian(h + 1, 2);
        info.m_nBlockLen = info.m_nDataLen + h[3];
        info.m_nFilePos += 4;
        return flags | BLOCK_FIRST | BLOCK_LAST;
    case 4:
        info.m_nRecLen = info.m_nDataLen = ReadBigEndian(h + 1, 3);
        info.m_nBlockLen = info.m_nDataLen + h[4];
        info.m_nFilePos += 5;
        return flags | BLOCK_FIRST | BLOCK_LAST;
    case 5:
        info.m_nRecLen = ReadBigEndian(h + 1, 2);
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 3, 2);
        info.m_nNextFilePos = ReadBigEndian(h + 5, 8);
        info.m_nSecondRead = 1;
        info.m_nFilePos += 13;
        return flags | BLOCK_FIRST;
    case 6:
        info.m_nRecLen = ReadBigEndian(h + 1, 3);
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 4, 3);
        info.m_nNextFilePos = ReadBigEndian(h + 7, 8);
        info.m_nSecondRead = 1;
        info.m_nFilePos += 15;
        return flags | BLOCK_FIRST;
    case 7:
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 1, 2);
        info.m_nFilePos += 3;
        return flags | BLOCK_LAST;
    case 8:
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 1, 3);
        info.m_nFilePos += 4;
        return flags | BLOCK_LAST;
    case 9:
        info.m_nDataLen = ReadBigEndian(h + 1, 2);
        info.m_nBlockLen = info.m_nDataLen + h[3];
        info.m_nFilePos += 4;
        return flags | BLOCK_LAST;
    case 10:
        info.m_nDataLen = ReadBigEndian(h + 1, 3);
        info.m_nBlockLen = info.m_nDataLen + h[4];
        info.m_nFilePos += 5;
        return flags | BLOCK_LAST;
    case 11:
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 1, 2);
        info.m_nNextFilePos = ReadBigEndian(h + 3, 8);
        info.m_nSecondRead = 1;
        info.m_nFilePos += 11;
        return flags;
    case 12:
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 1, 3);
        info.m_nNextFilePos = ReadBigEndian(h + 4, 8);
        info.m_nSecondRead = 1;
        info.m_nFilePos += 12;
        return flags;
    default:  // 13
        info.m_nRecLen = ReadBigEndian(h + 1, 4);
        info.m_nDataLen = info.m_nBlockLen = ReadBigEndian(h + 5, 3);
        info.m_nNextFilePos = ReadBigEndian(h + 8, 8);
        info.m_nSecondRead = 1;
        info.m_nFilePos += 16;
        return flags | BLOCK_FIRST;
    }
}

std::uint32_t CTableEngine::UnpackDynamicRow(const unsigned char* record, std::uint32_t length) {
    const std::uint32_t packBits = m_myiBase.pack_bits;
    if (length < m_myiBase.min_pack_length) return 0;
    if (packBits > length) return length;
    // Without the .MYI's column definitions nothing says where a field lies: no row
    // rather than a row of empty cells.
    if (m_recinfo.empty()) return length;

    for (RecinfoEntry& def : m_recinfo) {
        def.m_pData = nullptr;
        def.m_nDataLength = 0;
    }
    // Signed: a damaged header may claim fewer bytes than the flags take.
    std::int64_t needed = std::int64_t{m_myiBase.min_pack_length} - packBits;
    std::uint32_t at = packBits;
    std::uint32_t flagByte = 0;
    std::uint32_t flagBit = 1;

    const unsigned char* nullFlags = nullptr;
    // The record starts with its null flags when the .MYI lists one definition more than
    // the table has columns, or when its first definition covers bytes before the first
    // column (a BIT kept wholly among the null bits has no definition of its own).
    m_bLeadingNullField = 0;
    if (!m_recinfo.empty() && m_recinfo[0].m_nType == MI_FIELD_NORMAL) {
        // VIRTUAL columns have no bytes and no definition.
        std::size_t stored = 0;
        std::uint32_t firstPos = 0;
        for (const ColumnInfo& column : m_columns) {
            if (column.m_bNotStored) continue;
            if (stored++ == 0) firstPos = column.m_nRecordPos;
        }
        if (m_recinfo.size() == stored + 1 ||
            (firstPos > 1 && m_recinfo[0].m_nLength == firstPos - 1))
            m_bLeadingNullField = 1;
    }
    if (m_bLeadingNullField) {
        if (m_recinfo[0].m_nLength > length - at) return length;
        nullFlags = record + at;
    }

    bool ok = true;
    for (RecinfoEntry& def : m_recinfo) {
        const std::uint32_t L = def.m_nLength;
        const std::uint32_t left = length - at;
        const std::uint16_t type = def.m_nType;
        if (type == MI_FIELD_NORMAL || type == MI_FIELD_CHECK) {
            if (needed > std::int64_t{left} || L > left) {
                ok = false;
                break;
            }
            def.m_pData = record + at;
            def.m_nDataLength = L;
            at += L;
            needed -= L;
            continue;
        }
        if (type == MI_FIELD_VARCHAR) {
            std::uint32_t prefix = 1;
            std::uint32_t n = 0;
            std::uint32_t limit = 0;
            if (left < 1 || L == 0) {
                ok = false;
                break;
            }
            if (L - 1 < 256) {
                n = record[at];
                limit = L - 1;
            } else {
                n = record[at];
                if (n == 0xFF) {
                    if (left < 3) {
                        ok = false;
                        break;
                    }
                    prefix = 3;
                    n = ReadBigEndian(record + at + 1, 2);
                }
                limit = L - 2;
            }
            if (n > limit || std::uint64_t{prefix} + n > left) {
                ok = false;
                break;
            }
            def.m_pData = record + at + prefix;
            def.m_nDataLength = n;
            at += prefix + n;
            needed -= 1;
            continue;
        }

        // Every other type has a bit in the empty-field flags.
        if (flagByte >= packBits) {
            ok = false;
            break;
        }
        const bool flagged = (record[flagByte] & flagBit) != 0;
        flagBit <<= 1;
        if (flagBit == 256) {
            flagBit = 1;
            ++flagByte;
        }

        if (type == MI_FIELD_SKIP_ENDSPACE || type == MI_FIELD_SKIP_PRESPACE) {
            if (flagged) {
                std::uint32_t prefix = 1;
                std::uint32_t n = 0;
                if (left < 1) {
                    ok = false;
                    break;
                }
                if (L > 255 && (record[at] & 0x80)) {
                    if (left < 2) {
                        ok = false;
                        break;
                    }
                    prefix = 2;
                    n = (record[at] & 0x7Fu) + (std::uint32_t{record[at + 1]} << 7);
                } else {
                    n = record[at];
                }
                needed -= 1;
                // needed may be below zero (a header claiming too little): the bytes left
                // bound the field on their own.
                if (n >= L || n > left - prefix || needed + n > std::int64_t{left - prefix}) {
                    ok = false;
                    break;
                }
                def.m_pData = record + at + prefix;
                def.m_nDataLength = n;
                at += prefix + n;
                continue;
            }
            needed -= 1;
        } else if (type == MI_FIELD_SKIP_ZERO) {
            if (flagged) {
                def.m_pData = kZeroField;
                def.m_nDataLength = L;
                continue;
            }
        } else if (type == MI_FIELD_BLOB) {
            if (flagged) {
                // The flag marks an empty blob: no bytes at all. (L zero bytes would show
                // an empty binary blob as a run of 00 bytes.)
                def.m_pData = kZeroField;
                def.m_nDataLength = 0;
                continue;
            }
            std::uint32_t sizeBytes = L > kBlobPointerBytes ? L - kBlobPointerBytes : 0;
            if (sizeBytes > 4) sizeBytes = 0;
            if (sizeBytes > left) {
                ok = false;
                break;
            }
            const std::uint64_t dataLength = sizeBytes ? ReadLittleEndian(record + at, sizeBytes) : 0;
            const std::uint64_t rest = left - sizeBytes;
            if (dataLength > rest || std::int64_t(rest - dataLength) < needed) {
                ok = false;
                break;
            }
            def.m_pData = record + at + sizeBytes;
            def.m_nDataLength = static_cast<std::uint32_t>(dataLength);
            at += sizeBytes + static_cast<std::uint32_t>(dataLength);
            continue;
        } else if (flagged) {
            def.m_pData = kZeroField;
            def.m_nDataLength = 0;
            continue;
        }
        // Taken whole.
        if (L > left || std::int64_t{L} + needed > std::int64_t{left}) {
            ok = false;
            break;
        }
        def.m_pData = record + at;
        def.m_nDataLength = L;
        at += L;
    }

    if (ok) {
        // A column no definition reaches must not show the previous row's text: the
        // formatter empties those.
        FormatMyIsamDynamicFields(*this, m_bLeadingNullField, nullFlags);
        m_rows.push_back(m_columns);
    }
    for (RecinfoEntry& def : m_recinfo) {
        def.m_pData = nullptr;
        def.m_nDataLength = 0;
    }
    return length;
}
