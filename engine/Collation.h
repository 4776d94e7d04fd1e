#pragma once

#include <cstdint>
#include <map>

#include "platform/core/CString.h"

// One collation: bytes per character of its character set, and its two names.
struct CollationEntry {
    std::uint32_t mbminlen = 0;
    std::uint32_t mbmaxlen = 0;
    CString name1;
    CString name2;
};

using CollationMap = std::map<std::uint32_t, CollationEntry>;

// The side file that maps collation ids to character-set widths.
inline constexpr const char16_t* kCollationFileName = u"collation (2)";

// Reads a collation file into the map (later records win). A record cut short by the
// end of the file ends the reading; the entries before it are kept. False when the
// file cannot be opened.
bool LoadCollationFile(const CString& path, CollationMap& map);

// The collation file of the program: from the working folder, else beside the program,
// else from the installed data folder. False when none of them opens (map unchanged).
bool LoadProgramCollationFile(CollationMap& map);

// What is known without the collation file: the binary set and the collation ids of
// latin1, utf8mb3, utf8mb4, ucs2, utf16, utf16le and utf32 that every server numbers alike.
CollationMap BuiltInCollations();
