#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/CString.h"

// The SQL text that recreates a view from its definition file, or the triggers of a
// table from its .TRG file, as the server that wrote the file would run it: each object
// with its own definer, options, sql_mode and character sets.

struct ObjectSql {
    bool fileRead = false;  // false: the file could not be opened or read (see problems)
    CString text;           // lines ended by LF; empty when nothing could be built
    // What could not be taken over exactly; each also stands as a comment at the top of
    // text, so the text never looks like a clean one when it is not.
    std::vector<CString> problems;
};

// path: a view definition file (db/v1.frm). The view is named by the file's name less
// its extension, decoded.
ObjectSql BuildViewSql(const CString& path);
// path: a .TRG file; every trigger of its list, in the file's order.
ObjectSql BuildTriggerSql(const CString& path);

// The same from the file's bytes.
ObjectSql BuildViewSqlFromBytes(std::string_view bytes, const CString& viewName);
ObjectSql BuildTriggerSqlFromBytes(std::string_view bytes);

// --- The pieces, for tests ---

// The key=value lines of a definition file; the first line of a key counts.
std::map<std::string, std::string> ParseDefinitionLines(std::string_view bytes);

// Undoes the file's escapes once: \\ \n \0 \z \'. A backslash before anything else is
// kept with what follows, and counted in malformed.
std::string UnescapeFileValue(std::string_view raw, int& malformed);

// A list of quoted, escaped strings ('a' 'b\'c'), each unescaped. A list that ends
// inside a string keeps that string and sets damaged.
std::vector<std::string> ParseStringList(std::string_view raw, bool& damaged);

// A list of numbers separated by spaces; damaged when a piece is not a number.
std::vector<std::uint64_t> ParseNumberList(std::string_view raw, bool& damaged);

// Bytes written by a client of the given character set (utf8mb4, latin1, cp1251,
// sjis, ...) as text. Bytes that are no character of the set become U+FFFD and are
// counted in badBytes; false when the character set is unknown (the bytes are then
// read as UTF-8 when they are valid UTF-8, else as latin1).
bool DecodeClientText(std::string_view bytes, std::string_view charset, CString& out, int& badBytes);

// The names of an sql_mode value; unknownBits receives the bits that have no name.
std::string SqlModeNames(std::uint64_t mode, std::uint64_t& unknownBits);

// A delimiter for the client that the text does not contain.
CString ChooseDelimiter(const CString& body);
