#pragma once

#include <cstddef>
#include <string>

// Conversions between 8-bit text and UTF-16. The ANSI code page of this program is
// Windows-1252 on every platform, so recovered names read the same everywhere.
namespace codepage {

// Windows-1252 to UTF-16; the five bytes the code page leaves undefined map to the
// control characters of the same value, as the Windows conversion does.
std::u16string AnsiToUtf16(const char* bytes, std::size_t count);
char16_t AnsiByteToUtf16(unsigned char byte);

// UTF-16 to Windows-1252; characters the code page lacks become '?'.
std::string Utf16ToAnsi(const char16_t* text, std::size_t count);

// UTF-8 to UTF-16. Malformed sequences (bad lead bytes, missing continuation bytes,
// overlong forms, surrogates, values past U+10FFFF) become U+FFFD, one per bad byte run.
std::u16string Utf8ToUtf16(const char* bytes, std::size_t count);
// The same into out, which has room for count units (UTF-8 never takes more units than
// bytes); returns the units written.
std::size_t Utf8ToUtf16(const char* bytes, std::size_t count, char16_t* out);

// True when the bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(const char* bytes, std::size_t count);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, std::size_t count);

}  // namespace codepage
