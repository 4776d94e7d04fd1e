#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/CString.h"

// Conversions shared by the MyISAM and InnoDB value formatters.

// Working form of one DECIMAL: words of 9 digits, integer words first.
struct DecimalValue {
    std::int32_t m_nIntg = 0;
    std::int32_t m_nFrac = 0;
    std::int32_t m_nLen = 0;
    std::uint8_t m_bSign = 0;
    std::int32_t* m_pBuf = nullptr;
};

// Bytes a packed binary DECIMAL of this precision and scale occupies.
std::uint32_t DecimalBinarySize(std::uint32_t precision, std::uint32_t scale);

// Text of the packed DECIMAL at bytes; the caller guarantees DecimalBinarySize bytes.
CString DecimalBinToString(std::uint32_t precision, std::uint32_t scale, const unsigned char* bytes,
                           DecimalValue& work);
int DecimalBinToDigits(std::uint32_t precision, std::uint32_t scale, const unsigned char* bytes,
                       DecimalValue& work);
const std::int32_t* DecimalSkipLeadingZeros(const DecimalValue& work, int& intgLeft);
int DecimalDigitsToString(const DecimalValue& work, char* buffer, int& length);

std::uint8_t ReverseLowBits(std::uint32_t value, int count);
std::uint32_t Reverse17Bits(std::uint32_t value);

// YYYYMMDDhhmmss as YYYY-MM-DD hh:mm:ss.
CString FormatPackedDateTime(std::uint64_t value);
CString FormatDateTimeText(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                           std::int32_t minute, std::int32_t second);

// 8-bit text up to its first zero byte: UTF-8 when it is well-formed UTF-8 holding at
// least one multi-byte character, else the ANSI code page.
CString Utf8ToCString(const char* bytes);
CString Utf8ToCString(const char* bytes, std::size_t count);
