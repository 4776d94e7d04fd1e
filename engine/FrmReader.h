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
