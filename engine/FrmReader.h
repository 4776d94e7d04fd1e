#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Working records of one .frm read. They own their bytes: nothing points into the file's
// blocks once a list has been split.

// One name list: the field names, one ENUM/SET element list, or the key names.
struct NameList {
    std::uint32_t m_nCount = 0;
    std::vector<std::string> m_elements;
};

struct KeyPartInfo {
    std::uint32_t m_nFieldNr = 0;  // 1-based column number, 0 = none
    std::uint16_t m_nOffset = 0;
    std::uint16_t m_nLength = 0;
    std::uint16_t m_nKeyType = 0;
    std::uint8_t m_nFlags = 0;
};

struct KeyInfo {
    std::uint16_t m_nLength = 0;
    std::uint16_t m_nFlags = 0;  // bit 0 already inverted: set = unique
    std::uint32_t m_nPartCount = 0;
    std::uint8_t m_nAlgorithm = 0;
    std::uint16_t m_nBlockSize = 0;
    std::vector<KeyPartInfo> m_parts;
    std::string m_strName;
    std::string m_strComment;
};

inline constexpr std::uint16_t kKeyFlagUnique = 0x0001;
inline constexpr std::uint16_t kKeyFlagComment = 0x1000;

struct FrmReadState {
    std::uint32_t m_nVersion = 0;
    std::uint32_t m_nFieldRecordSize = 0;
    std::uint32_t m_nKeyCount = 0;
    std::uint32_t m_nKeyPartCount = 0;
    std::vector<KeyInfo> m_keys;
    std::uint32_t m_nRecordLength = 0;
    std::uint32_t m_nFieldCount = 0;
    std::uint32_t m_nNullFields = 0;
    std::uint32_t m_nNullBits = 0;
    NameList m_fieldNames;
    std::vector<NameList> m_intervals;
    NameList m_keyNames;
};

// A generated column as definitions of version 9 and 10 keep it: in a screen of its own
// after the comments, one entry per generated column in column order. Two forms exist:
// one marks the field record with type 245 and keeps the column's own type, ENUM/SET
// list and STORED flag in the entry; the other sets bit 128 of the field record's check
// byte and keeps the STORED flag and the expression in the entry.
struct OldGeneratedColumn {
    std::uint32_t field = 0;
    bool stored = false;
    bool typeInEntry = false;   // type and list below replace the field record's
    std::uint8_t type = 0;
    std::uint32_t interval = 0;  // 1-based ENUM/SET list, 0 for none
    std::string text;            // the expression as the server wrote it
};

struct OldGeneratedColumns {
    std::vector<OldGeneratedColumn> columns;
    // The form with bit 128 hands out the null bits of VIRTUAL columns after every
    // stored column's null and BIT bits.
    bool virtualFlagsLast = false;
};

// Reads the screen for the 17-byte field records of a version 9 or 10 definition written
// by serverVersion. False when a marked column has no entry or an entry that cannot be
// read: whether it is stored, and so the row layout, is then unknown.
bool ReadOldGeneratedColumns(const unsigned char* records, std::uint32_t fieldCount, const unsigned char* screen,
                             std::size_t screenLength, std::uint32_t serverVersion, OldGeneratedColumns& out);

// Entry types of the extra2 segment that lies between a definition's header and its form
// information.
inline constexpr unsigned char kExtra2IndexFlags = 5;
inline constexpr unsigned char kExtra2FieldFlags = 129;

// The data of the first entry of the given type in an extra2 segment; empty when there is
// none or the segment is an older server's (a file name).
std::vector<std::uint8_t> FrmExtra2Entry(const unsigned char* segment, std::size_t length, unsigned char type);

// Splits up to count consecutive name lists that start at text and lie before end
// (the first byte of a list is its separator; a NUL first byte is an empty list) and
// appends them to lists. text is left after the last list split. A list cut short by
// end or by a NUL keeps the elements that were complete. Returns how many lists were
// split: fewer than count when the bytes ran out.
std::size_t SplitNameLists(std::vector<NameList>& lists, std::size_t count, const unsigned char*& text,
                           const unsigned char* end);

// 1-based position of the first element equal to name, letters compared without regard
// to case and trailing blanks of name ignored; 0 when there is none.
std::uint32_t FindNameInList(const NameList& list, std::string_view name);
