#include "engine/FrmReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/Decoding.h"
#include "engine/TableEngine.h"
#include "platform/core/ByteOrder.h"

namespace {

constexpr std::uint32_t kHeaderSize = 64;
constexpr std::uint32_t kFormInfoSize = 288;

std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(ReadLittleEndian(p, 2)); }
std::uint32_t Le24(const unsigned char* p) { return static_cast<std::uint32_t>(ReadLittleEndian(p, 3)); }
std::uint32_t Le32(const unsigned char* p) { return static_cast<std::uint32_t>(ReadLittleEndian(p, 4)); }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

bool IsNumericType(std::uint32_t type) {
    switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_NEWDECIMAL:
        return true;
    default:
        return false;
    }
}

CString Text(const std::string& bytes) { return Utf8ToCString(bytes.data(), bytes.size()); }

// The character-set name of a collation whose characters take at least two bytes; empty
// for every other one.
CString WideCharsetName(const ReadContext& context, std::uint32_t collation) {
    const CollationEntry* entry = context.FindCollation(collation);
    if (!entry || entry->mbminlen < 2) return CString();
    return entry->name2;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// An element kept as hex digits of its ucs2, utf16, utf16le or utf32 bytes. Text that is
// not such digits stays as it is.
CString HexElementText(const std::string& element, const CString& charset) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < element.size(); i += 2) {
        const int hi = HexDigit(element[i]), lo = HexDigit(element[i + 1]);
        if (hi < 0 || lo < 0) return Text(element);
        bytes.push_back(static_cast<char>(hi << 4 | lo));
    }
    if (element.size() % 2 != 0) return Text(element);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::u16string text;
    if (charset == CString(u"utf32")) {
        if (bytes.size() % 4 != 0) return Text(element);
        for (std::size_t i = 0; i < bytes.size(); i += 4) {
            const std::uint32_t cp = static_cast<std::uint32_t>(b[i]) << 24 | static_cast<std::uint32_t>(b[i + 1]) << 16 |
                                     static_cast<std::uint32_t>(b[i + 2]) << 8 | b[i + 3];
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                text.push_back(u'\uFFFD');
            } else if (cp >= 0x10000) {
                text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                text.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                text.push_back(static_cast<char16_t>(cp));
            }
        }
    } else {
        if (bytes.size() % 2 != 0) return Text(element);
        const bool little = charset == CString(u"utf16le");
        for (std::size_t i = 0; i < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(little ? (b[i] | b[i + 1] << 8) : (b[i] << 8 | b[i + 1])));
    }
    return CString(std::move(text));
}

// The key section: counts, key headers with their parts, the key names and the key
// comments. Whatever lies past the section's end is not there: reading stops at it and
// keeps the keys that were complete.
void ParseKeySection(FrmReadState& state, const unsigned char* data, std::size_t length, CTableEngine& engine) {
    if (length < 6) return;
    if (data[0] & 0x80) {
        state.m_nKeyCount = (static_cast<std::uint32_t>(data[1]) << 7) | (data[0] & 0x7Fu);
        state.m_nKeyPartCount = Le16(data + 2);
    } else {
        state.m_nKeyCount = data[0];
        state.m_nKeyPartCount = data[1];
    }
    const bool longHeader = state.m_nVersion >= 9;
    const std::size_t headerSize = longHeader ? 8 : 4;
    const std::size_t partSize = state.m_nVersion >= 7 ? 9 : 7;
    std::size_t offset = 6;
    bool complete = true;
    for (std::uint32_t k = 0; k < state.m_nKeyCount; ++k) {
        if (offset + headerSize > length) {
            complete = false;
            break;
        }
        const unsigned char* h = data + offset;
        KeyInfo key;
        if (longHeader) {
            key.m_nFlags = static_cast<std::uint16_t>(Le16(h) ^ kKeyFlagUnique);
            key.m_nLength = static_cast<std::uint16_t>(Le16(h + 2));
            key.m_nPartCount = h[4];
            key.m_nAlgorithm = h[5];
            key.m_nBlockSize = static_cast<std::uint16_t>(Le16(h + 6));
        } else {
            key.m_nFlags = static_cast<std::uint16_t>(h[0] ^ kKeyFlagUnique);
            key.m_nLength = static_cast<std::uint16_t>(Le16(h + 1));
            key.m_nPartCount = h[3];
        }
        offset += headerSize;
        engine.m_pKeyPartCursor = data + offset;
        for (std::uint32_t p = 0; p < key.m_nPartCount; ++p) {
            if (offset + partSize > length) {
                complete = false;
                break;
            }
            const unsigned char* q = data + offset;
            KeyPartInfo part;
            part.m_nFieldNr = Le16(q) & 0x3FFFu;
            part.m_nOffset = static_cast<std::uint16_t>(Le16(q + 2));
            part.m_nKeyType = static_cast<std::uint16_t>(Le16(q + 5));
            if (partSize == 9) {
                part.m_nFlags = q[4];
                part.m_nLength = static_cast<std::uint16_t>(Le16(q + 7));
            } else {
                part.m_nLength = q[4];
                if (part.m_nLength > 128) {
                    part.m_nLength &= 0x7F;
                    part.m_nFlags = 0x80;  // reverse sort
                }
            }
            key.m_parts.push_back(part);
            offset += partSize;
        }
        state.m_keys.push_back(std::move(key));
        if (!complete) break;
    }
    // Without every key header the names' place is unknown.
    if (!complete) return;
    const unsigned char* cursor = data + offset;
    const unsigned char* end = data + length;
    std::vector<NameList> names;
    if (SplitNameLists(names, 1, cursor, end) == 1) state.m_keyNames = std::move(names[0]);
    for (KeyInfo& key : state.m_keys) {
        if (!(key.m_nFlags & kKeyFlagComment)) continue;
        if (end - cursor < 2) break;
        const std::uint32_t n = Le16(cursor);
        if (static_cast<std::size_t>(end - cursor - 2) < n) break;
        key.m_strComment = engine.StrMakeOwned(cursor + 2, n);
        cursor += 2 + n;
    }
}

}  // namespace

std::size_t SplitNameLists(std::vector<NameList>& lists, std::size_t count, const unsigned char*& text,
                           const unsigned char* end) {
    std::size_t done = 0;
    // Each list takes at least one byte, so the bytes bound the loop whatever count says.
    while (done < count && text < end) {
        NameList list;
        const unsigned char separator = *text;
        if (separator == 0) {
            ++text;
        } else {
            const unsigned char* p = text;  // at the separator before the next element
            for (;;) {
                const unsigned char* start = p + 1;
                const unsigned char* q = start;
                while (q < end && *q != separator && *q != 0) ++q;
                if (q >= end) {
                    text = end;  // no end mark: the list runs to the end of the bytes
                    break;
                }
                if (*q == 0) {
                    // The NUL after the last separator; a NUL inside an element cuts it.
                    text = q + 1;
                    break;
                }
                list.m_elements.emplace_back(reinterpret_cast<const char*>(start),
                                             static_cast<std::size_t>(q - start));
                p = q;
            }
        }
        list.m_nCount = static_cast<std::uint32_t>(list.m_elements.size());
        lists.push_back(std::move(list));
        ++done;
    }
    return done;
}

std::uint32_t FindNameInList(const NameList& list, std::string_view name) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    for (std::size_t i = 0; i < list.m_elements.size(); ++i)
        if (EqualsNoCase(list.m_elements[i], name)) return static_cast<std::uint32_t>(i + 1);
    return 0;
}

std::uint32_t CTableEngine::GetFormPos(const unsigned char* header) {
    if (Le16(header + 8) == 0) return 0;
    const std::uint64_t at = kHeaderSize + Le16(header + 4);
    if (at + 4 > m_fileFrm.GetLength()) return 0;
    m_fileFrm.Seek(static_cast<std::int64_t>(at), CFile::begin);
    unsigned char pos[4];
    if (m_fileFrm.Read(pos, 4) != 4) return 0;
    return Le32(pos);
}

int CTableEngine::ReadFrmBlock(std::vector<unsigned char>& buffer, std::uint32_t n) {
    try {
        buffer.assign(static_cast<std::size_t>(n) + 1, 0);
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return 1;
    }
    // A short read is a truncated file: the block would hold zeros where the file has
    // nothing, so it counts as a failed read.
    return m_fileFrm.Read(buffer.data(), n) == n ? 0 : 1;
}

std::string CTableEngine::StrMakeOwned(const unsigned char* text, std::uint32_t n) {
    return std::string(reinterpret_cast<const char*>(text), n);
}

namespace {

// The expression block: type (1), field number (2), expression length (2), name length
// (1), name, expression; after a 16-byte header. Marks in notStored the columns computed
// on every read (VIRTUAL, and the hash of a long UNIQUE key), which take no bytes in a
// row. False when the block cannot be read or names a column the table does not have.
bool ReadVirtualColumns(CFile& file, std::uint64_t position, std::uint32_t length, std::vector<std::uint8_t>& notStored) {
    constexpr std::uint32_t kHeader = 16, kEntryHeader = 6;
    constexpr unsigned char kVirtual = 0, kUsingHash = 5;
    if (length <= kHeader) return true;
    if (position + length > file.GetLength()) return false;  // cut short: layout unknown
    std::vector<unsigned char> block(length);
    file.Seek(static_cast<std::int64_t>(position), CFile::begin);
    if (file.Read(block.data(), length) != length) return false;
    std::size_t at = kHeader;
    while (at + kEntryHeader <= length) {
        const unsigned char type = block[at];
        const std::size_t field = static_cast<std::size_t>(block[at + 1]) | static_cast<std::size_t>(block[at + 2]) << 8;
        if (type == kVirtual || type == kUsingHash) {
            if (field >= notStored.size()) return false;
            notStored[field] = 1;
        }
        const std::size_t exprLength = static_cast<std::size_t>(block[at + 3]) | static_cast<std::size_t>(block[at + 4]) << 8;
        at += kEntryHeader + block[at + 5] + exprLength;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> FrmExtra2Entry(const unsigned char* segment, std::size_t length, unsigned char type) {
    // Typed entries of a type byte, a length byte (0: a 16-bit length follows) and the data.
    if (length == 0 || segment[0] == '/') return {};
    std::size_t p = 0;
    while (p + 3 <= length) {
        const unsigned char entryType = segment[p];
        std::size_t n = segment[p + 1];
        p += 2;
        if (n == 0) {
            n = Le16(segment + p);
            p += 2;
        }
        if (p + n > length) break;
        if (entryType == type) return std::vector<std::uint8_t>(segment + p, segment + p + n);
        p += n;
    }
    return {};
}

bool ReadOldGeneratedColumns(const unsigned char* records, std::uint32_t fieldCount, const unsigned char* screen,
                             std::size_t screenLength, std::uint32_t serverVersion, OldGeneratedColumns& out) {
    constexpr std::uint32_t kRecordSize = 17;
    constexpr unsigned char kTypeMarker = 245, kGeneratedCheckBit = 128;
    // 245 is the JSON type of servers 5.7 to 9.x; before them and from 10.0 on it marks
    // a generated column.
    const bool markerIsType = serverVersion >= 50600 && serverVersion < 100000;
    out = OldGeneratedColumns();
    out.virtualFlagsLast = serverVersion >= 50700 && serverVersion < 100000 && screenLength != 0;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < fieldCount; ++i) {
        const unsigned char* rec = records + static_cast<std::size_t>(i) * kRecordSize;
        OldGeneratedColumn g;
        g.field = i;
        std::size_t textAt = 0, textLength = 0;
        if (rec[13] == kTypeMarker && !markerIsType) {
            // 1 or 2, type, flags, [list when 2], expression; the entry's length is in the
            // field record's list byte.
            const std::size_t length = rec[12];
            if (at + 3 > screenLength || (screen[at] != 1 && screen[at] != 2)) return false;
            const std::size_t header = screen[at] == 2 ? 4 : 3;
            if (length < header || at + length > screenLength) return false;
            g.typeInEntry = true;
            g.type = screen[at + 1];
            if (g.type == kTypeMarker) return false;
            g.stored = (screen[at + 2] & 1) != 0;
            g.interval = header == 4 ? screen[at + 3] : 0;
            textAt = at + header;
            textLength = length - header;
        } else if (rec[10] & kGeneratedCheckBit) {
            // 1, expression length (2), stored (1), expression.
            if (at + 4 > screenLength || screen[at] != 1) return false;
            textLength = Le16(screen + at + 1);
            textAt = at + 4;
            if (textLength == 0 || textAt + textLength > screenLength) return false;
            g.stored = screen[at + 3] != 0;
        } else {
            continue;
        }
        g.text.assign(reinterpret_cast<const char*>(screen + textAt), textLength);
        at = textAt + textLength;
        out.columns.push_back(std::move(g));
    }
    return true;
}

bool CTableEngine::ReadFrm(const CString& path) {
    m_frmKeys.clear();
    m_frmFields.clear();
    FrmReadState state;
    // The working state belongs to this read only, whichever way it ends.
    struct ReadScope {
        CTableEngine& e;
        ~ReadScope() {
            e.m_pShare = nullptr;
            e.m_pKeyPartCursor = nullptr;
            e.m_pFieldCursor = nullptr;
            e.m_intervals.clear();
            e.m_allocations.clear();
        }
    } scope{*this};

    try {
        if (m_fileFrm.IsOpen()) m_fileFrm.Close();
        if (!m_fileFrm.Open(path, CFile::modeRead | CFile::shareExclusive)) return false;
        const std::uint64_t fileLength = m_fileFrm.GetLength();
        if (fileLength < kHeaderSize) return false;
        unsigned char header[kHeaderSize];
        if (m_fileFrm.Read(header, kHeaderSize) != kHeaderSize) return false;
        if (header[0] != 0xFE || header[1] != 0x01) return false;
        const std::uint32_t version = header[2];
        // 11 is 10 with an expression block (defaults, CHECK constraints, generated
        // columns) after the comments; the records are laid out the same.
        if (version != 6 && version != 7 && version != 9 && version != 10 && version != 11) return false;
        state.m_nVersion = version;

        m_nDbType = header[3];
        // The row format as the definition states it (create option bit 0: packed
        // records); a MyISAM table's .MYI states it again, and a table whose .MYI is
        // missing or cut short keeps this one instead of the previous table's.
        m_nRowFormat = (Le16(header + 30) & 1u) ? 1 : 0;
        state.m_nFieldRecordSize = version <= 7 ? 11 : 17;
        if (fileLength < kHeaderSize + 4) return false;
        const std::uint32_t formPos = GetFormPos(header);
        if (formPos == 0 || formPos + static_cast<std::uint64_t>(kFormInfoSize) > fileLength) return false;
        m_fileFrm.Seek(formPos, CFile::begin);
        unsigned char formInfo[kFormInfoSize];
        if (m_fileFrm.Read(formInfo, kFormInfoSize) != kFormInfoSize) return false;

        m_pShare = &state;
        m_bMySql56Format = Le32(header + 51) > 50599 ? 1 : 0;
        m_nTableCharset = 0;
        const bool nullFlagsFirst = header[32] == 0;
        if (nullFlagsFirst) m_nTableCharset = (static_cast<std::uint32_t>(header[41]) << 8) + header[38];

        // Keys. A section that runs past the end of the file is read as far as it goes.
        const std::uint64_t keyPos = Le16(header + 6);
        m_nKeyInfoLength = Le16(header + 28);
        std::uint32_t keyLength = 0;
        if (keyPos < fileLength)
            keyLength = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_nKeyInfoLength, fileLength - keyPos));
        std::vector<unsigned char> keyBlock;
        m_fileFrm.Seek(static_cast<std::int64_t>(keyPos), CFile::begin);
        if (ReadFrmBlock(keyBlock, keyLength) != 0) return false;
        ParseKeySection(state, keyBlock.data(), keyLength, *this);

        // Fields. Every length here is 16-bit, so the block stays below 1.5 MB; it must
        // still be in the file.
        state.m_nFieldCount = Le16(formInfo + 258);
        const std::uint64_t screenLength = Le16(formInfo + 260);
        state.m_nRecordLength = Le16(formInfo + 266);
        const std::uint64_t namesLength = Le16(formInfo + 268);
        const std::uint32_t intervalCount = Le16(formInfo + 270);
        const std::uint64_t intervalsLength = Le16(formInfo + 274);
        state.m_nNullFields = Le16(formInfo + 282);
        const std::uint64_t commentsLength = Le16(formInfo + 284);
        const std::uint64_t recordsLength = static_cast<std::uint64_t>(state.m_nFieldCount) * state.m_nFieldRecordSize;
        const std::uint64_t blockLength = screenLength + recordsLength + namesLength + intervalsLength + commentsLength;
        if (formPos + static_cast<std::uint64_t>(kFormInfoSize) + blockLength > fileLength) return false;
        std::vector<unsigned char> fieldBlock;
        m_fileFrm.Seek(formPos + static_cast<std::int64_t>(kFormInfoSize), CFile::begin);
        if (ReadFrmBlock(fieldBlock, static_cast<std::uint32_t>(blockLength)) != 0) return false;

        const unsigned char* records = fieldBlock.data() + screenLength;
        const unsigned char* names = records + recordsLength;
        const unsigned char* namesEnd = names + namesLength + intervalsLength;
        const unsigned char* comments = namesEnd;
        const unsigned char* commentsEnd = comments + commentsLength;

        std::vector<std::uint8_t> notStored(state.m_nFieldCount, 0);
        const std::uint32_t generatedLength = Le16(formInfo + 286);
        if (version == 11 &&
            !ReadVirtualColumns(m_fileFrm, formPos + kFormInfoSize + blockLength, generatedLength, notStored))
            return false;
        // Type and ENUM/SET list of each field: the field record's, unless a generated
        // column's entry keeps them in its place.
        std::vector<std::uint8_t> fieldType(state.m_nFieldCount, 0);
        std::vector<std::uint32_t> fieldList(state.m_nFieldCount, 0);
        if (state.m_nFieldRecordSize == 17) {
            for (std::uint32_t i = 0; i < state.m_nFieldCount; ++i) {
                fieldType[i] = records[static_cast<std::size_t>(i) * 17 + 13];
                fieldList[i] = records[static_cast<std::size_t>(i) * 17 + 12];
            }
        }
        bool virtualFlagsLast = false;
        if (version < 11 && state.m_nFieldRecordSize == 17 && generatedLength != 0) {
            // Older servers keep generated columns in a screen of their own at the same
            // place. A screen cut short by the end of the file holds what is there; an
            // entry that needs more refuses the table, whose row layout is then unknown.
            const std::uint64_t at = formPos + kFormInfoSize + blockLength;
            const std::uint32_t available =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(generatedLength, fileLength - at));
            std::vector<unsigned char> screen;
            m_fileFrm.Seek(static_cast<std::int64_t>(at), CFile::begin);
            if (ReadFrmBlock(screen, available) != 0) return false;
            OldGeneratedColumns generated;
            if (!ReadOldGeneratedColumns(records, state.m_nFieldCount, screen.data(), available, Le32(header + 51),
                                         generated))
                return false;
            for (const OldGeneratedColumn& g : generated.columns) {
                notStored[g.field] = g.stored ? 0 : 1;
                if (g.typeInEntry) {
                    fieldType[g.field] = g.type;
                    fieldList[g.field] = g.interval;
                }
            }
            virtualFlagsLast = generated.virtualFlagsLast;
        }

        std::vector<NameList> fieldNames;
        const unsigned char* cursor = names;
        if (SplitNameLists(fieldNames, 1, cursor, namesEnd) != 1 ||
            fieldNames[0].m_nCount != state.m_nFieldCount)
            return false;
        state.m_fieldNames = std::move(fieldNames[0]);
        SplitNameLists(state.m_intervals, intervalCount, cursor, namesEnd);

        // The server writes the elements of a multi-byte-minimum character set (ucs2,
        // utf16, utf32) as hex digits; which lists those are, the field records say.
        std::vector<CString> listWideCharset(state.m_intervals.size());
        if (state.m_nFieldRecordSize == 17) {
            for (std::uint32_t i = 0; i < state.m_nFieldCount; ++i) {
                const unsigned char* rec = records + static_cast<std::size_t>(i) * 17;
                if (fieldType[i] != MYSQL_TYPE_ENUM && fieldType[i] != MYSQL_TYPE_SET) continue;
                const std::uint32_t list = fieldList[i];
                if (list == 0 || list > listWideCharset.size()) continue;
                const CString charset = WideCharsetName(m_context, (static_cast<std::uint32_t>(rec[11]) << 8) + rec[14]);
                if (!charset.IsEmpty()) listWideCharset[list - 1] = charset;
            }
        }

        // Element texts, all lists joined; each column later takes its own list's range.
        std::vector<std::uint32_t> listFirst;
        for (std::size_t l = 0; l < state.m_intervals.size(); ++l) {
            const NameList& list = state.m_intervals[l];
            listFirst.push_back(static_cast<std::uint32_t>(m_enumValues.size()));
            std::vector<CString> texts;
            for (const std::string& element : list.m_elements)
                texts.push_back(listWideCharset[l].IsEmpty() ? Text(element) : HexElementText(element, listWideCharset[l]));
            m_enumValues.insert(m_enumValues.end(), texts.begin(), texts.end());
            m_intervals.push_back(std::move(texts));
        }

        std::uint32_t nullBits = (nullFlagsFirst && !(Le16(header + 30) & 1u)) ? 1 : 0;
        std::uint32_t bitExtraBits = 0;
        std::uint32_t enumFieldsSeen = 0;
        const unsigned char* commentCursor = comments;
        std::vector<ColumnInfo> columns;
        columns.reserve(state.m_nFieldCount);
        std::vector<FrmFieldDef> fields(state.m_nFieldCount);
        for (std::uint32_t i = 0; i < state.m_nFieldCount; ++i) {
            const unsigned char* rec = records + static_cast<std::size_t>(i) * state.m_nFieldRecordSize;
            m_pFieldCursor = rec;
            ColumnInfo& c = m_columnScratch;
            c = ColumnInfo();
            c.m_nColumn = i;
            c.m_strName = Text(state.m_fieldNames.m_elements[i]);
            c.m_bNotStored = notStored[i];
            std::uint32_t pack;
            if (state.m_nFieldRecordSize == 17) {
                c.m_nLength = Le16(rec + 3);
                c.m_nRecordPos = Le24(rec + 5);
                pack = Le16(rec + 8);
                // Bit 128 marks a generated column in some servers' files; the check is
                // the rest.
                fields[i].uniregCheck = rec[10] & 127u;
                c.m_nType = fieldType[i];
                c.m_nCharset = (static_cast<std::uint32_t>(rec[11]) << 8) + rec[14];
                // Decimals take six bits: a scale above 31 (up to 38) is stored too.
                const std::uint32_t decimals = (pack >> 8) & 0x3Fu;
                switch (c.m_nType) {
                case MYSQL_TYPE_ENUM:
                case MYSQL_TYPE_SET: {
                    const std::uint32_t list = fieldList[i] > 0 ? fieldList[i] - 1u : enumFieldsSeen;
                    ++enumFieldsSeen;
                    if (list < state.m_intervals.size()) {
                        const NameList& elements = state.m_intervals[list];
                        c.m_nEnumFirst = listFirst[list];
                        c.m_nEnumCount = elements.m_nCount;
                        // SQL text of the whole list: an empty element is an element of the
                        // type, and a quote inside one is doubled.
                        for (std::uint32_t e = 0; e < elements.m_nCount; ++e) {
                            if (e != 0) c.m_strEnumList += u',';
                            c.m_strEnumList += u'\'';
                            for (const char16_t ch : m_intervals[list][e].Str()) {
                                if (ch == u'\'') c.m_strEnumList += u'\'';
                                c.m_strEnumList += ch;
                            }
                            c.m_strEnumList += u'\'';
                        }
                    }
                    break;
                }
                case MYSQL_TYPE_DECIMAL:
                case MYSQL_TYPE_NEWDECIMAL: {
                    c.m_nDecimals = decimals;
                    std::uint32_t precision = c.m_nLength - (decimals > 0 ? 1u : 0u) -
                                              ((pack & 1u) && c.m_nLength > 0 ? 1u : 0u);
                    c.m_nPrecision = precision > 65 ? 65 : precision;
                    break;
                }
                case MYSQL_TYPE_FLOAT:
                case MYSQL_TYPE_DOUBLE:
                    if (decimals < 31) {
                        c.m_nPrecision = c.m_nLength;
                        c.m_nDecimals = decimals;
                    }
                    break;
                case MYSQL_TYPE_GEOMETRY:
                    c.m_nGeometryType = rec[14];
                    break;
                default:
                    break;
                }
                const std::uint32_t commentLength = Le16(rec + 15);
                if (commentLength != 0) {
                    // A length past the comment text takes what is there.
                    const std::size_t n = std::min<std::size_t>(commentLength, commentsEnd - commentCursor);
                    c.m_strComment = Utf8ToCString(reinterpret_cast<const char*>(commentCursor), n);
                    commentCursor += n;
                }
            } else {
                c.m_nLength = rec[3];
                c.m_nRecordPos = Le16(rec + 4);
                pack = Le16(rec + 6) & ~0x4000u;
                c.m_nType = (pack >> 3) & 15u;
            }
            fields[i].packFlags = static_cast<std::uint16_t>(pack);
            c.m_bNullable = (pack & 0x8000u) ? 1 : 0;
            c.m_bSigned = IsNumericType(c.m_nType) && (pack & 1u) ? 1 : 0;
            c.m_bZeroFill = IsNumericType(c.m_nType) && (pack & 4u) ? 1 : 0;
            if (c.m_nType == MYSQL_TYPE_BIT && !(pack & 0x1000u)) bitExtraBits += c.m_nLength & 7u;
            columns.push_back(c);
        }
        m_intervals.clear();

        // Key membership and the keys as the clustered-index rules need them.
        const std::size_t columnCount = columns.size();
        std::vector<FrmKeyDef> keys;
        const std::uint32_t primary = FindNameInList(state.m_keyNames, "PRIMARY");
        for (std::size_t k = 0; k < state.m_keys.size(); ++k) {
            const KeyInfo& key = state.m_keys[k];
            FrmKeyDef def;
            const std::string name = k < state.m_keyNames.m_elements.size() ? state.m_keyNames.m_elements[k] : std::string();
            def.name = Text(name);
            def.unique = (key.m_nFlags & kKeyFlagUnique) != 0;
            def.flags = key.m_nFlags;
            def.algorithm = key.m_nAlgorithm;
            def.comment = Text(key.m_strComment);
            const bool namedPrimary = EqualsNoCase(name, "PRIMARY");
            const bool isPrimary = primary != 0 && k + 1 == primary;
            for (const KeyPartInfo& part : key.m_parts) {
                if (part.m_nFieldNr == 0 || part.m_nFieldNr - 1 >= columnCount) continue;
                const std::size_t col = part.m_nFieldNr - 1;
                def.columns.push_back(static_cast<std::uint32_t>(col));
                def.partLengths.push_back(part.m_nLength);
                def.partFlags.push_back(part.m_nFlags);
                if (state.m_nKeyPartCount == 0) continue;
                if (namedPrimary) columns[col].m_bPrimaryKey = 1;
                else if (!isPrimary && def.unique) columns[col].m_bUniqueKey = 1;
            }
            keys.push_back(std::move(def));
        }

        // The hash column of a long UNIQUE key is computed like a VIRTUAL column: the
        // server keeps it in the key only, never in a row, and never shows it. Those it
        // appends after the table's own columns are left out of the list; one anywhere
        // else stays, as not stored.
        constexpr std::uint8_t kKeyAlgLongHash = 5, kFieldHiddenByServer = 3;
        if (std::any_of(keys.begin(), keys.end(), [](const FrmKeyDef& k) { return k.algorithm == kKeyAlgLongHash; })) {
            // Field flags (extra2 segment, after the header): visibility in the low bits.
            const std::uint32_t extra2Length =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(Le16(header + 4), fileLength - kHeaderSize));
            std::vector<unsigned char> extra2;
            m_fileFrm.Seek(kHeaderSize, CFile::begin);
            if (ReadFrmBlock(extra2, extra2Length) != 0) return false;
            const std::vector<std::uint8_t> fieldFlags = FrmExtra2Entry(extra2.data(), extra2Length, kExtra2FieldFlags);
            auto hidden = [&](std::size_t i) { return i < fieldFlags.size() && (fieldFlags[i] & 3u) == kFieldHiddenByServer; };
            for (std::size_t i = 0; i < columns.size(); ++i)
                if (hidden(i)) columns[i].m_bNotStored = 1;
            while (!columns.empty() && hidden(columns.size() - 1)) {
                columns.pop_back();
                fields.pop_back();
            }
            for (FrmKeyDef& key : keys) {
                for (std::size_t p = key.columns.size(); p-- > 0;) {
                    if (key.columns[p] < columns.size()) continue;
                    key.columns.erase(key.columns.begin() + static_cast<std::ptrdiff_t>(p));
                    key.partLengths.erase(key.partLengths.begin() + static_cast<std::ptrdiff_t>(p));
                    key.partFlags.erase(key.partFlags.begin() + static_cast<std::ptrdiff_t>(p));
                }
            }
        }

        state.m_nNullBits = nullBits + state.m_nNullFields + bitExtraBits;
        m_columns.insert(m_columns.end(), columns.begin(), columns.end());
        m_frmKeys = std::move(keys);
        m_frmFields = std::move(fields);
        m_nRecordLength = state.m_nRecordLength;
        m_bVirtualFlagsLast = virtualFlagsLast ? 1 : 0;
        m_nNullBytes = (state.m_nNullBits + 7) / 8;
        m_fileFrm.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
