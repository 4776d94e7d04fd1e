#include "engine/Decoding.h"

#include <cstdio>
#include <cstring>

#include "platform/core/CodePage.h"

namespace {

constexpr int kDigitsPerWord = 9;
constexpr std::int32_t kWordMax = 999999999;
constexpr std::uint32_t kMaxPrecision = 65;
constexpr std::uint32_t kMaxScale = 30;
// Bytes taken by a group of 0..9 leftover digits.
constexpr int kGroupBytes[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
constexpr std::int32_t kPowers10[10] = {1,      10,      100,      1000,      10000,
                                        100000, 1000000, 10000000, 100000000, 1000000000};

bool DecimalShapeValid(std::uint32_t precision, std::uint32_t scale) {
    return precision <= kMaxPrecision && scale <= kMaxScale && scale <= precision;
}

// A group of 1..4 bytes, big-endian, sign-extended from its top bit.
std::int32_t ReadSignedBigEndian(const unsigned char* p, int bytes) {
    std::uint32_t v = p[0] & 0x80 ? 0xFFFFFFFFu : 0u;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return static_cast<std::int32_t>(v);
}

void MakeZero(DecimalValue& work) {
    if (work.m_pBuf && work.m_nLen > 0) work.m_pBuf[0] = 0;
    work.m_nIntg = 1;
    work.m_nFrac = 0;
    work.m_bSign = 0;
}

}  // namespace

std::uint32_t DecimalBinarySize(std::uint32_t precision, std::uint32_t scale) {
    // A definition out of range has no trustworthy layout: nothing is to be read for it.
    if (!DecimalShapeValid(precision, scale)) return 0;
    const std::uint32_t intg = precision - scale;
    return (intg / kDigitsPerWord) * 4 + kGroupBytes[intg % kDigitsPerWord] + (scale / kDigitsPerWord) * 4 +
           kGroupBytes[scale % kDigitsPerWord];
}

int DecimalBinToDigits(std::uint32_t precision, std::uint32_t scale, const unsigned char* bytes,
                       DecimalValue& work) {
    if (!DecimalShapeValid(precision, scale) || !work.m_pBuf || work.m_nLen <= 0 || !bytes) {
        MakeZero(work);
        return 8;
    }
    const std::uint32_t size = DecimalBinarySize(precision, scale);
    const int intg = static_cast<int>(precision - scale);
    const int frac = static_cast<int>(scale);
    int intgFull = intg / kDigitsPerWord;
    int intgLead = intg % kDigitsPerWord;
    int fracFull = frac / kDigitsPerWord;
    int fracTail = frac % kDigitsPerWord;
    if (size == 0) {
        MakeZero(work);
        return 0;
    }

    unsigned char copy[40] = {};
    std::memcpy(copy, bytes, size);
    const std::int32_t mask = (copy[0] & 0x80) ? 0 : -1;
    copy[0] ^= 0x80;
    const unsigned char* from = copy;

    int intgWords = intgFull + (intgLead > 0 ? 1 : 0);
    int fracWords = fracFull + (fracTail > 0 ? 1 : 0);
    int result = 0;
    if (intgWords + fracWords > work.m_nLen) {
        if (intgWords > work.m_nLen) {
            // Too many integer words: the most significant ones are dropped, with the fraction.
            const int drop = intgWords - work.m_nLen;
            int skipWords = drop;
            if (intgLead > 0) {
                from += kGroupBytes[intgLead];
                --skipWords;
                intgLead = 0;
            }
            from += 4 * skipWords;
            intgFull -= skipWords;
            intgWords = work.m_nLen;
            fracFull = 0;
            fracTail = 0;
            fracWords = 0;
            result = 2;
        } else {
            fracWords = work.m_nLen - intgWords;
            if (fracWords < fracFull + (fracTail > 0 ? 1 : 0)) {
                fracFull = fracWords;
                fracTail = 0;
            }
            result = 1;
        }
    }

    work.m_bSign = mask != 0 ? 1 : 0;
    work.m_nIntg = intgFull * kDigitsPerWord + intgLead;
    work.m_nFrac = fracFull * kDigitsPerWord + fracTail;
    std::int32_t* to = work.m_pBuf;
    bool bad = false;

    if (intgLead > 0) {
        const int n = kGroupBytes[intgLead];
        const std::int32_t x = ReadSignedBigEndian(from, n) ^ mask;
        from += n;
        if (x < 0 || x >= kPowers10[intgLead]) bad = true;
        else if (x != 0) *to++ = x;
        else work.m_nIntg -= intgLead;
    }
    for (int i = 0; i < intgFull && !bad; ++i) {
        const std::int32_t x = ReadSignedBigEndian(from, 4) ^ mask;
        from += 4;
        if (static_cast<std::uint32_t>(x) > static_cast<std::uint32_t>(kWordMax)) bad = true;
        else if (to == work.m_pBuf && x == 0) work.m_nIntg -= kDigitsPerWord;
        else *to++ = x;
    }
    for (int i = 0; i < fracFull && !bad; ++i) {
        const std::int32_t x = ReadSignedBigEndian(from, 4) ^ mask;
        from += 4;
        if (static_cast<std::uint32_t>(x) > static_cast<std::uint32_t>(kWordMax)) bad = true;
        else *to++ = x;
    }
    if (fracTail > 0 && !bad) {
        const int n = kGroupBytes[fracTail];
        const std::int32_t x = ReadSignedBigEndian(from, n) ^ mask;
        if (x < 0 || x >= kPowers10[fracTail]) bad = true;
        else *to++ = x * kPowers10[kDigitsPerWord - fracTail];
    }
    if (bad) {
        MakeZero(work);
        return 8;
    }
    if (work.m_nIntg == 0 && work.m_nFrac == 0) MakeZero(work);
    return result;
}

const std::int32_t* DecimalSkipLeadingZeros(const DecimalValue& work, int& intgLeft) {
    int intg = work.m_nIntg;
    const std::int32_t* word = work.m_pBuf;
    if (!word || intg <= 0) {
        intgLeft = 0;
        return word;
    }
    // The first word holds only the leftover digits of the integer part.
    int inWord = (intg - 1) % kDigitsPerWord + 1;
    while (intg > 0 && *word == 0) {
        intg -= inWord;
        inWord = kDigitsPerWord;
        ++word;
    }
    if (intg > 0) {
        int top = (intg - 1) % kDigitsPerWord;
        while (top > 0 && *word < kPowers10[top]) {
            --top;
            --intg;
        }
    } else {
        intg = 0;
    }
    intgLeft = intg;
    return word;
}

int DecimalDigitsToString(const DecimalValue& work, char* buffer, int& length) {
    if (!buffer || length <= 0) return 2;
    int intg = 0;
    const std::int32_t* first = DecimalSkipLeadingZeros(work, intg);
    int frac = work.m_nFrac > 0 ? work.m_nFrac : 0;
    const std::int32_t zero = 0;
    if (intg + frac == 0 || !first) {
        intg = 1;
        frac = 0;
        first = &zero;
    }
    const int sign = work.m_bSign ? 1 : 0;
    int intgWidth = intg > 0 ? intg : 1;
    int len = sign + intgWidth + (frac > 0 ? 1 : 0) + frac;
    const int room = length - 1;
    int result = 0;
    if (len > room) {
        // Fraction digits go first (with the point), then leading integer digits.
        int excess = len - room;
        result = (frac > 0 && excess <= frac + 1) ? 1 : 2;
        if (frac > 0 && excess >= frac + 1) --excess;
        if (excess > frac) {
            intg -= excess - frac;
            if (intg < 0) intg = 0;
            intgWidth = intg;
            frac = 0;
        } else {
            frac -= excess;
        }
        len = sign + intgWidth + (frac > 0 ? 1 : 0) + frac;
        if (len > room || len <= 0) {
            buffer[0] = 0;
            length = 0;
            return 2;
        }
    }
    length = len;
    buffer[len] = 0;
    char* s = buffer;
    if (sign) *s++ = '-';

    const int intgWords = (intg + kDigitsPerWord - 1) / kDigitsPerWord;
    if (frac > 0) {
        char* f = s + intgWidth;
        *f++ = '.';
        const std::int32_t* word = first + intgWords;
        for (int left = frac; left > 0; left -= kDigitsPerWord) {
            std::int32_t x = *word++;
            const int n = left < kDigitsPerWord ? left : kDigitsPerWord;
            for (int i = 0; i < n; ++i) {
                const std::int32_t d = x / kPowers10[8];
                *f++ = static_cast<char>('0' + d);
                x = (x - d * kPowers10[8]) * 10;
            }
        }
    }
    if (intg > 0) {
        char* end = s + intg;
        const std::int32_t* word = first + intgWords;
        for (int left = intg; left > 0; left -= kDigitsPerWord) {
            std::int32_t x = *--word;
            const int n = left < kDigitsPerWord ? left : kDigitsPerWord;
            for (int i = 0; i < n; ++i) {
                *--end = static_cast<char>('0' + x % 10);
                x /= 10;
            }
        }
    } else {
        *s = '0';
    }
    return result;
}

CString DecimalBinToString(std::uint32_t precision, std::uint32_t scale, const unsigned char* bytes,
                           DecimalValue& work) {
    DecimalBinToDigits(precision, scale, bytes, work);
    const int intg = work.m_nIntg > 1 ? work.m_nIntg : 1;
    const int frac = work.m_nFrac > 0 ? work.m_nFrac : 0;
    char text[160];
    int length = frac + (frac > 0 ? 1 : 0) + intg + 2;
    if (length > static_cast<int>(sizeof text)) length = static_cast<int>(sizeof text);
    if (DecimalDigitsToString(work, text, length) > 1 && length == 0) return CString(u"0");
    return CString::FromAnsi(text, static_cast<std::size_t>(length));
}

std::uint8_t ReverseLowBits(std::uint32_t value, int count) {
    if (count != 8 && count != 6 && count != 5) return 0;
    std::uint8_t out = 0;
    for (int i = 0; i < count; ++i)
        if (value & (1u << (count - 1 - i))) out = static_cast<std::uint8_t>(out | (1u << i));
    return out;
}

std::uint32_t Reverse17Bits(std::uint32_t value) {
    std::uint32_t out = 0;
    for (int i = 0; i < 17; ++i)
        if (value & (1u << (16 - i))) out |= 1u << i;
    return out;
}

CString FormatPackedDateTime(std::uint64_t value) {
    const std::uint64_t date = value / 1000000;
    const std::uint64_t time = value % 1000000;
    char text[48];
    // A year past 9999 keeps all its digits rather than wrapping.
    std::snprintf(text, sizeof text, "%04llu-%02llu-%02llu %02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(date / 10000), static_cast<unsigned long long>(date / 100 % 100),
                  static_cast<unsigned long long>(date % 100), static_cast<unsigned long long>(time / 10000),
                  static_cast<unsigned long long>(time / 100 % 100), static_cast<unsigned long long>(time % 100));
    return CString(text);
}

CString FormatDateTimeText(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                           std::int32_t minute, std::int32_t second) {
    auto part = [](std::int32_t v) {
        CString s;
        s.Format(u"%d", v);
        if (s.GetLength() == 1) s = CString(u"0") + s;
        return s;
    };
    return part(year) + u"-" + part(month) + u"-" + part(day) + u" " + part(hour) + u":" + part(minute) + u":" +
           part(second);
}

CString Utf8ToCString(const char* bytes) {
    if (!bytes) return CString();
    return Utf8ToCString(bytes, std::strlen(bytes));
}

CString Utf8ToCString(const char* bytes, std::size_t count) {
    if (!bytes) return CString();
    const void* zero = std::memchr(bytes, 0, count);
    if (zero) count = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
    bool multiByte = false;
    for (std::size_t i = 0; i < count && !multiByte; ++i)
        multiByte = static_cast<unsigned char>(bytes[i]) >= 0x80;
    if (multiByte && codepage::IsValidUtf8(bytes, count)) return CString::FromUtf8(bytes, count);
    return CString::FromAnsi(bytes, count);
}
