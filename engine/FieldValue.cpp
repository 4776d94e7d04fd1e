#include "engine/FieldValue.h"
#include "engine/MySqlJson.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/Decoding.h"
#include "platform/core/Charset.h"
#include "platform/core/CodePage.h"
#include "platform/core/NumberText.h"

namespace {

constexpr std::uint32_t kTimeTextWidth = 10;      // -838:59:59
constexpr std::uint32_t kDateTimeTextWidth = 19;  // YYYY-MM-DD hh:mm:ss
constexpr std::uint32_t kMaxFractionDigits = 6;
constexpr std::uint32_t kDisplayBinaryLimit = 100;
constexpr std::uint32_t kDisplayBlobLimit = 1000;
constexpr std::uint32_t kMaxBits = 64;
constexpr std::uint32_t kMaxFixedWidth = 32;  // DECIMAL(65,30) takes 30

// MariaDB's own high-resolution forms (written while mysql56_temporal_format is off):
// bytes by digits after the point.
constexpr std::uint32_t kTimeHiresBytes[7] = {3, 4, 4, 5, 5, 5, 6};
constexpr std::uint32_t kDateTimeHiresBytes[7] = {5, 6, 6, 7, 7, 7, 8};
constexpr std::uint32_t kSecPartBytes[7] = {0, 1, 1, 2, 2, 3, 3};
constexpr std::uint64_t kPow10[7] = {1, 10, 100, 1000, 10000, 100000, 1000000};
// One second past the largest TIME (838:59:59), in microseconds: the hires TIME's zero.
constexpr std::uint64_t kHiresTimeZeroMicros = (838ull * 3600 + 59 * 60 + 59 + 1) * 1000000ull;

std::uint64_t LoadLittle(const unsigned char* p, std::uint32_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n == 8) {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            return v;
        }
        if (n == 4) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
    std::uint64_t v = 0;
    for (std::uint32_t i = n; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

std::uint64_t LoadBig(const unsigned char* p, std::uint32_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n == 4) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return __builtin_bswap32(v);
        }
        if (n == 5) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return (std::uint64_t{__builtin_bswap32(v)} << 8) | p[4];
        }
    }
    std::uint64_t v = 0;
    for (std::uint32_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

// A fixed-width value read in place when the field holds all of it, else from a
// zero-filled copy: a short field reads as zero-extended.
struct FixedBytes {
    const unsigned char* b;
    unsigned char copy[kMaxFixedWidth];
    FixedBytes(const unsigned char* bytes, std::uint32_t count, std::uint32_t width) {
        if (bytes && width && count >= width && width <= kMaxFixedWidth) {
            b = bytes;
            return;
        }
        std::memset(copy, 0, sizeof copy);
        std::uint32_t n = count < width ? count : width;
        if (n > kMaxFixedWidth) n = kMaxFixedWidth;
        if (bytes && n) std::memcpy(copy, bytes, n);
        b = copy;
    }
    FixedBytes(const FixedBytes&) = delete;
    FixedBytes& operator=(const FixedBytes&) = delete;
};

// Units a text of n units takes as a CString length; a longer one (a hex text of a blob
// past 1 GB) cannot be held, as memory for it could not be had.
int TextLength(std::size_t n) {
    if (n > static_cast<std::size_t>(INT_MAX) - 1) throw std::bad_alloc();
    return static_cast<int>(n);
}

// Text of ASCII bytes, widened in place.
CString AsciiText(const char* text, std::size_t n) {
    CString s;
    char16_t* p = s.GetBufferSetLength(TextLength(n));
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(text[i]);
    return s;
}

// Two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Integers are the commonest values: printed without the printf machinery.
template <typename T>
CString Decimal(T v) {
    char16_t text[24];
    char16_t* p = text + 24;
    using U = std::make_unsigned_t<T>;
    const bool negative = v < 0;
    U u = negative ? static_cast<U>(U{0} - static_cast<U>(v)) : static_cast<U>(v);
    while (u >= 100) {
        const unsigned pair = static_cast<unsigned>(u % 100) * 2;
        u /= 100;
        *--p = static_cast<char16_t>(kDigitPairs[pair + 1]);
        *--p = static_cast<char16_t>(kDigitPairs[pair]);
    }
    if (u >= 10) {
        const unsigned pair = static_cast<unsigned>(u) * 2;
        *--p = static_cast<char16_t>(kDigitPairs[pair + 1]);
        *--p = static_cast<char16_t>(kDigitPairs[pair]);
    } else {
        *--p = static_cast<char16_t>(u'0' + u);
    }
    if (negative) *--p = u'-';
    return CString(p, static_cast<int>(text + 24 - p));
}

CString Signed(long long v) { return Decimal(v); }
CString Unsigned(unsigned long long v) { return Decimal(v); }

// A temporal value's text, built in one buffer: every part is a few digits.
class TemporalBuilder {
public:
    void Put(char16_t c) {
        if (m_n < kCapacity) m_text[m_n++] = c;
    }
    // v in decimal with at least minDigits digits, as "%0*llu" prints it.
    void Number(std::uint64_t v, int minDigits) {
        if (minDigits == 2 && v < 100 && m_n + 2 <= kCapacity) {
            Pair(static_cast<unsigned>(v));
            return;
        }
        if (minDigits == 4 && v < 10000 && m_n + 4 <= kCapacity) {
            Pair(static_cast<unsigned>(v / 100));
            Pair(static_cast<unsigned>(v % 100));
            return;
        }
        char16_t digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char16_t>(u'0' + v % 10);
            v /= 10;
        } while (v);
        while (n < minDigits) digits[n++] = u'0';
        while (n) Put(digits[--n]);
    }
    // "%d", then a leading 0 when that made a single character.
    void TwoDigitPart(std::int32_t v) {
        if (v < 0) {
            Put(u'-');
            Number(0u - static_cast<std::uint32_t>(v), 1);
        } else {
            Number(static_cast<std::uint32_t>(v), 2);
        }
    }
    // YYYY-MM-DD
    void Date(std::uint64_t year, std::uint64_t month, std::uint64_t day) {
        if (year < 10000 && month < 100 && day < 100 && m_n + 10 <= kCapacity) {
            Pair(static_cast<unsigned>(year / 100));
            Pair(static_cast<unsigned>(year % 100));
            m_text[m_n++] = u'-';
            Pair(static_cast<unsigned>(month));
            m_text[m_n++] = u'-';
            Pair(static_cast<unsigned>(day));
            return;
        }
        Number(year, 4);
        Put(u'-');
        Number(month, 2);
        Put(u'-');
        Number(day, 2);
    }
    // hh:mm:ss, the hours as wide as they are
    void Clock(std::uint64_t hour, std::uint64_t minute, std::uint64_t second) {
        if (hour < 100 && minute < 100 && second < 100 && m_n + 8 <= kCapacity) {
            Pair(static_cast<unsigned>(hour));
            m_text[m_n++] = u':';
            Pair(static_cast<unsigned>(minute));
            m_text[m_n++] = u':';
            Pair(static_cast<unsigned>(second));
            return;
        }
        Number(hour, 2);
        Put(u':');
        Number(minute, 2);
        Put(u':');
        Number(second, 2);
    }
    // "." and exactly digits digits of the microseconds; nothing for whole seconds.
    void Fraction(std::uint64_t micros, std::uint32_t digits) {
        if (digits == 0) return;
        Put(u'.');
        Number(micros / kPow10[kMaxFractionDigits - digits] % kPow10[digits], static_cast<int>(digits));
    }
    CString Text() const { return CString(m_text, m_n); }

private:
    void Pair(unsigned v) {
        m_text[m_n++] = static_cast<char16_t>(kDigitPairs[2 * v]);
        m_text[m_n++] = static_cast<char16_t>(kDigitPairs[2 * v + 1]);
    }

    static constexpr int kCapacity = 80;
    char16_t m_text[kCapacity];
    int m_n = 0;
};

CString DateText(std::uint64_t year, std::uint64_t month, std::uint64_t day) {
    TemporalBuilder b;
    b.Date(year, month, day);
    return b.Text();
}

CString DateTimeText(std::uint64_t year, std::uint64_t month, std::uint64_t day, std::uint64_t hour,
                     std::uint64_t minute, std::uint64_t second, std::uint64_t micros, std::uint32_t digits) {
    TemporalBuilder b;
    b.Date(year, month, day);
    b.Put(u' ');
    b.Clock(hour, minute, second);
    b.Fraction(micros, digits);
    return b.Text();
}

CString TimeText(bool negative, std::uint64_t hours, std::uint64_t minute, std::uint64_t second,
                 std::uint64_t micros, std::uint32_t digits) {
    TemporalBuilder b;
    if (negative) b.Put(u'-');
    b.Clock(hours, minute, second);
    b.Fraction(micros, digits);
    return b.Text();
}

// YYYYMMDDhhmmss as YYYY-MM-DD hh:mm:ss; a year past 9999 keeps all its digits.
CString PackedDateTimeText(std::uint64_t value) {
    const std::uint64_t date = value / 1000000;
    const std::uint64_t time = value % 1000000;
    return DateTimeText(date / 10000, date / 100 % 100, date % 100, time / 10000, time / 100 % 100, time % 100, 0, 0);
}

// Microseconds of the 5.6 fraction bytes: 1 byte holds hundredths, 2 bytes hundreds of
// microseconds, 3 bytes microseconds, whatever the column's own digits.
std::uint64_t Mysql56FractionMicros(const unsigned char* p, std::uint32_t digits) {
    const std::uint32_t n = (digits + 1) / 2;
    const std::uint64_t v = LoadBig(p, n);
    if (n == 1) return v * 10000;
    if (n == 2) return v * 100;
    return v;
}

CString TimestampText(std::uint64_t seconds, std::uint64_t micros, std::uint32_t digits, bool utc) {
    TemporalBuilder b;
    if (seconds == 0) {
        b.Date(0, 0, 0);
        b.Put(u' ');
        b.Clock(0, 0, 0);
    } else {
        const std::time_t t = static_cast<std::time_t>(seconds);
        std::tm local{};
        if (!(utc ? gmtime_r(&t, &local) : localtime_r(&t, &local))) return Unsigned(seconds);
        b.TwoDigitPart(local.tm_year + 1900);
        b.Put(u'-');
        b.TwoDigitPart(local.tm_mon + 1);
        b.Put(u'-');
        b.TwoDigitPart(local.tm_mday);
        b.Put(u' ');
        b.TwoDigitPart(local.tm_hour);
        b.Put(u':');
        b.TwoDigitPart(local.tm_min);
        b.Put(u':');
        b.TwoDigitPart(local.tm_sec);
    }
    b.Fraction(micros, digits);
    return b.Text();
}

// A whole-date packed value as year*13+month, day, hour, minute, second, microseconds.
CString UnpackedDateTimeText(std::uint64_t packed, std::uint32_t digits) {
    const std::uint64_t micros = packed % 1000000;
    packed /= 1000000;
    const std::uint64_t second = packed % 60;
    packed /= 60;
    const std::uint64_t minute = packed % 60;
    packed /= 60;
    const std::uint64_t hour = packed % 24;
    packed /= 24;
    const std::uint64_t day = packed % 32;
    packed /= 32;
    return DateTimeText(packed / 13, packed % 13, day, hour, minute, second, micros, digits);
}

CString TimeFromMicros(long long value, std::uint32_t digits) {
    const bool negative = value < 0;
    const unsigned long long v = negative ? 0ull - static_cast<unsigned long long>(value) : value;
    const unsigned long long seconds = v / 1000000;
    return TimeText(negative, seconds / 3600, seconds / 60 % 60, seconds % 60, v % 1000000, digits);
}

CString Time2Text(const unsigned char* p, std::uint32_t digits) {
    // The integer part is hours (10 bits), minutes and seconds (6 bits each), offset by
    // 0x800000; a negative value with a fraction keeps the fraction complemented.
    long long packed = 0;
    const long long intPart = static_cast<long long>(LoadBig(p, 3)) - 0x800000;
    if (digits == 0) {
        packed = intPart * (1ll << 24);
    } else if (digits <= 2) {
        long long ip = intPart;
        long long frac = p[3];
        if (ip < 0 && frac) {
            ++ip;
            frac -= 0x100;
        }
        packed = ip * (1ll << 24) + frac * 10000;
    } else if (digits <= 4) {
        long long ip = intPart;
        long long frac = static_cast<long long>(LoadBig(p + 3, 2));
        if (ip < 0 && frac) {
            ++ip;
            frac -= 0x10000;
        }
        packed = ip * (1ll << 24) + frac * 100;
    } else {
        packed = static_cast<long long>(LoadBig(p, 6)) - 0x800000000000ll;
    }
    const bool negative = packed < 0;
    const unsigned long long v = negative ? 0ull - static_cast<unsigned long long>(packed) : packed;
    const unsigned long long hms = v >> 24;
    const unsigned long long micros = v % (1ull << 24);
    return TimeText(negative, (hms >> 12) % (1u << 10), (hms >> 6) % 64, hms % 64, micros, digits);
}

CString TemporalText(const ColumnInfo& column, const unsigned char* bytes, std::uint32_t count, bool utc) {
    const std::uint32_t digits = TemporalFractionDigits(column);
    const FixedBytes f(bytes, count, FieldValueWidth(column));
    const unsigned char* b = f.b;
    switch (column.m_nType) {
    case MYSQL_TYPE_DATE: {
        const std::uint64_t v = LoadLittle(b, 4);
        return DateText(v / 10000, v / 100 % 100, v % 100);
    }
    case MYSQL_TYPE_NEWDATE: {
        const std::uint64_t v = LoadLittle(b, 3);
        return DateText(v >> 9, (v >> 5) & 0x0F, v & 0x1F);
    }
    case MYSQL_TYPE_TIME: {
        if (digits == 0) {
            // HHMMSS as a signed 3-byte integer.
            long long v = static_cast<long long>(LoadLittle(b, 3));
            if (v & 0x800000) v -= 0x1000000;
            const bool negative = v < 0;
            if (negative) v = -v;
            return TimeText(negative, static_cast<std::uint64_t>(v / 10000), static_cast<std::uint64_t>(v / 100 % 100),
                            static_cast<std::uint64_t>(v % 100), 0, 0);
        }
        const std::uint64_t stored = LoadBig(b, kTimeHiresBytes[digits]);
        const long long shifted =
            static_cast<long long>(stored) - static_cast<long long>(kHiresTimeZeroMicros / kPow10[6 - digits]);
        return TimeFromMicros(shifted * static_cast<long long>(kPow10[6 - digits]), digits);
    }
    case MYSQL_TYPE_DATETIME:
        if (digits == 0) return PackedDateTimeText(LoadLittle(b, 8));
        return UnpackedDateTimeText(LoadBig(b, kDateTimeHiresBytes[digits]) * kPow10[6 - digits], digits);
    case MYSQL_TYPE_TIMESTAMP:
        if (digits == 0) return TimestampText(LoadLittle(b, 4), 0, 0, utc);
        return TimestampText(LoadBig(b, 4), LoadBig(b + 4, kSecPartBytes[digits]) * kPow10[6 - digits], digits, utc);
    case MYSQL_TYPE_TIMESTAMP2:
        return TimestampText(LoadBig(b, 4), digits ? Mysql56FractionMicros(b + 4, digits) : 0, digits, utc);
    case MYSQL_TYPE_DATETIME2: {
        const std::uint64_t v = LoadBig(b, 5);
        const std::uint64_t ym = (v >> 22) & 0x1FFFF;
        return DateTimeText(ym / 13, ym % 13, (v >> 17) & 0x1F, (v >> 12) & 0x1F, (v >> 6) & 0x3F, v & 0x3F,
                            digits ? Mysql56FractionMicros(b + 5, digits) : 0, digits);
    }
    case MYSQL_TYPE_TIME2:
        return Time2Text(b, digits);
    default:
        return CString();
    }
}

CString IntegerText(const ColumnInfo& column, const unsigned char* bytes, std::uint32_t count) {
    const std::uint32_t width = FieldValueWidth(column);
    const FixedBytes f(bytes, count, width);
    std::uint64_t v = LoadLittle(f.b, width);
    if (!column.m_bSigned) {
        CString s = Unsigned(v);
        if (column.m_bZeroFill && column.m_nLength > static_cast<std::uint32_t>(s.GetLength()) && column.m_nLength <= 255)
            s = CString(u'0', static_cast<int>(column.m_nLength) - s.GetLength()) + s;
        return s;
    }
    // Sign-extend from the type's width.
    if (width < 8 && (v >> (width * 8 - 1)) & 1) v |= ~0ull << (width * 8);
    return Signed(static_cast<long long>(v));
}

// The shortest text that reads back as v; whole numbers below 10^15 in plain digits, as
// the server prints them ("100000", where the shortest form would be "1e+05").
template <typename T>
std::to_chars_result ShortestText(char (&text)[64], T v) {
    if (v == std::trunc(v) && std::fabs(v) < 1e15) return std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
    return std::to_chars(text, text + sizeof text, v);
}

CString FloatText(const ColumnInfo& column, const unsigned char* bytes, std::uint32_t count, bool save) {
    char text[64];
    std::to_chars_result r{};
    double shown = 0;
    if (column.m_nType == MYSQL_TYPE_FLOAT) {
        const FixedBytes f(bytes, count, 4);
        const std::uint32_t raw = static_cast<std::uint32_t>(LoadLittle(f.b, 4));
        float v;
        std::memcpy(&v, &raw, sizeof v);
        if (!save) shown = v;
        else r = ShortestText(text, v);
    } else {
        const FixedBytes f(bytes, count, 8);
        const std::uint64_t raw = LoadLittle(f.b, 8);
        double v;
        std::memcpy(&v, &raw, sizeof v);
        if (!save) shown = v;
        else r = ShortestText(text, v);
    }
    if (!save) {
        // "%f": the exact value rounded to 6 digits as printf does.
        char fixed[numbertext::kFixedMax];
        if (const char* end = numbertext::FormatFixed(shown, 6, fixed))
            return AsciiText(fixed, static_cast<std::size_t>(end - fixed));
        CString s;
        s.Format(u"%f", shown);
        return s;
    }
    // The shortest text that reads back to the same value: "%f" makes 1e-10 0.000000.
    if (r.ec != std::errc()) return CString();
    return AsciiText(text, static_cast<std::size_t>(r.ptr - text));
}

// A packed DECIMAL of up to 18 digits, whose parts fit 64 bits: the text DecimalBinToString
// gives, without its word buffer. bytes holds DecimalBinarySize bytes.
CString SmallDecimalText(std::uint32_t precision, std::uint32_t scale, const unsigned char* bytes) {
    static constexpr std::uint32_t kGroup[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
    static constexpr std::int64_t kTen[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    const bool negative = (bytes[0] & 0x80) == 0;
    const std::uint32_t mask = negative ? 0xFFFFFFFFu : 0u;
    std::uint32_t at = 0;
    // The next group of n bytes, big-endian and sign-extended from its top bit (the first
    // byte of the value with its sign bit turned), then taken back from the complement.
    auto group = [&](std::uint32_t n) {
        std::uint32_t first = bytes[at];
        if (at == 0) first ^= 0x80;
        std::uint32_t v = (first & 0x80) ? 0xFFFFFF00u | first : first;
        for (std::uint32_t i = 1; i < n; ++i) v = (v << 8) | bytes[at + i];
        at += n;
        return static_cast<std::int64_t>(static_cast<std::int32_t>(v ^ mask));
    };
    const std::uint32_t intg = precision - scale;
    std::uint64_t whole = 0;
    std::uint64_t part = 0;
    bool bad = false;
    if (intg % 9) {
        const std::int64_t x = group(kGroup[intg % 9]);
        bad = x < 0 || x >= kTen[intg % 9];
        whole = static_cast<std::uint64_t>(x);
    }
    for (std::uint32_t i = 0; i < intg / 9 && !bad; ++i) {
        const std::int64_t x = group(4);
        bad = x < 0 || x > 999999999;
        whole = whole * 1000000000u + static_cast<std::uint64_t>(x);
    }
    for (std::uint32_t i = 0; i < scale / 9 && !bad; ++i) {
        const std::int64_t x = group(4);
        bad = x < 0 || x > 999999999;
        part = part * 1000000000u + static_cast<std::uint64_t>(x);
    }
    if (scale % 9 && !bad) {
        const std::int64_t x = group(kGroup[scale % 9]);
        bad = x < 0 || x >= kTen[scale % 9];
        part = part * static_cast<std::uint64_t>(kTen[scale % 9]) + static_cast<std::uint64_t>(x);
    }
    // A damaged value and a zero without digits after the point read as 0, unsigned.
    if (bad || (whole == 0 && scale == 0)) return CString(u"0");
    char16_t text[40];
    char16_t* p = text;
    if (negative) *p++ = u'-';
    char16_t digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + whole % 10);
        whole /= 10;
    } while (whole);
    while (n) *p++ = digits[--n];
    if (scale) {
        *p++ = u'.';
        for (std::uint32_t i = scale; i-- > 0;) {
            p[i] = static_cast<char16_t>(u'0' + part % 10);
            part /= 10;
        }
        p += scale;
    }
    return CString(text, static_cast<int>(p - text));
}

CString DecimalText(const ColumnInfo& column, const unsigned char* bytes, std::uint32_t count) {
    if (column.m_nType == MYSQL_TYPE_DECIMAL) {
        // The pre-5.0 DECIMAL keeps its digits as text, right-aligned in spaces.
        std::uint32_t n = count < column.m_nLength ? count : column.m_nLength;
        if (!bytes) n = 0;
        CString s = CString::FromAnsi(reinterpret_cast<const char*>(bytes), n);
        s.Trim();
        return s;
    }
    const FixedBytes f(bytes, count, DecimalBinarySize(column.m_nPrecision, column.m_nDecimals));
    if (column.m_nPrecision >= 1 && column.m_nPrecision <= 18 && column.m_nDecimals <= column.m_nPrecision)
        return SmallDecimalText(column.m_nPrecision, column.m_nDecimals, f.b);
    std::int32_t words[9] = {};
    DecimalValue work;
    work.m_nLen = 9;
    work.m_pBuf = words;
    return DecimalBinToString(column.m_nPrecision, column.m_nDecimals, f.b, work);
}

std::uint32_t EnumWidth(const ColumnInfo& column) { return column.m_nEnumCount > 255 ? 2 : 1; }

std::uint32_t SetWidth(const ColumnInfo& column) {
    const std::uint32_t n = (column.m_nEnumCount + 7) / 8;
    if (n == 0) return 1;
    return n > 4 ? 8 : n;
}

const CString* EnumElement(const CTableEngine& engine, const ColumnInfo& column, std::uint64_t index) {
    if (index >= column.m_nEnumCount) return nullptr;
    const std::uint64_t at = static_cast<std::uint64_t>(column.m_nEnumFirst) + index;
    if (at >= engine.m_enumValues.size()) return nullptr;
    return &engine.m_enumValues[static_cast<std::size_t>(at)];
}

CString EnumText(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                 std::uint32_t count) {
    const std::uint32_t width = EnumWidth(column);
    const FixedBytes f(bytes, count, width);
    const std::uint64_t n = LoadLittle(f.b, width);
    if (n == 0) return CString();
    const CString* e = EnumElement(engine, column, n - 1);
    return e ? *e : CString();
}

CString SetText(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                std::uint32_t count) {
    const std::uint32_t width = SetWidth(column);
    const FixedBytes f(bytes, count, width);
    const std::uint64_t bits = LoadLittle(f.b, width);
    CString out;
    bool first = true;
    for (std::uint32_t i = 0; i < kMaxBits && i < column.m_nEnumCount; ++i) {
        if (!((bits >> i) & 1)) continue;
        const CString* e = EnumElement(engine, column, i);
        if (!e) break;
        if (!first) out += u",";
        out += *e;
        first = false;
    }
    return out;
}

CString BitText(const ColumnInfo& column, const unsigned char* bytes, std::uint32_t count) {
    std::uint32_t bits = column.m_nLength;
    if (bits == 0) return CString();
    if (bits > kMaxBits) bits = kMaxBits;
    const std::uint32_t width = (bits + 7) / 8;
    const FixedBytes f(bytes, count, width);
    const std::uint64_t v = LoadBig(f.b, width);
    std::u16string s;
    s.reserve(bits);
    for (std::uint32_t i = bits; i-- > 0;) s.push_back((v >> i) & 1 ? u'1' : u'0');
    return CString(std::move(s));
}

CString GeometryText(const unsigned char* bytes, std::uint32_t count, bool save) {
    if (!save) return CString(u"Spatial Data");
    if (count == 0 || !bytes) return CString(u"NULL");
    std::string escaped;
    escaped.reserve(count);
    bool allZero = true;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes[i] == 0) {
            escaped += "\\0";
        } else if (bytes[i] == '\\') {
            // Without this a backslash followed by "0" would read back as a zero byte.
            escaped += "\\\\";
            allZero = false;
        } else {
            escaped += static_cast<char>(bytes[i]);
            allZero = false;
        }
    }
    if (allZero) return CString(u"NULL");
    return CString::FromAnsi(escaped.data(), escaped.size());
}

// Every text cell would look its collation up in the map and compare the character-set
// name: within a page of rows the answer for an id stays the same. The memo is cleared
// whenever the engine's page is empty (every walk starts a page so), and when the engine,
// the application object or the size of its map differ.
TextCharset PageCharset(const CTableEngine& engine, std::uint32_t charsetId) {
    if (charsetId == kBinaryCharset) return TextCharset::Binary;
    struct Memo {
        const CTableEngine* engine = nullptr;
        const CollationMap* collations = nullptr;
        std::size_t mapSize = 0;
        int count = 0;
        std::uint32_t ids[8] = {};
        TextCharset sets[8] = {};
    };
    thread_local Memo memo;
    const CollationMap* collations = engine.m_context.collations;
    if (!collations) return TextCharset::Other;
    if (engine.m_rows.empty() || memo.engine != &engine || memo.collations != collations ||
        memo.mapSize != collations->size()) {
        memo.engine = &engine;
        memo.collations = collations;
        memo.mapSize = collations->size();
        memo.count = 0;
    }
    for (int i = 0; i < memo.count; ++i)
        if (memo.ids[i] == charsetId) return memo.sets[i];
    const TextCharset set = ClassifyCharset(engine.m_context, charsetId);
    if (memo.count < 8) {
        memo.ids[memo.count] = charsetId;
        memo.sets[memo.count++] = set;
    }
    return set;
}

CString DecodeText(const ReadContext& context, TextCharset set, std::uint32_t charsetId, const unsigned char* bytes,
                   std::size_t count);

CString StringText(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                   std::uint32_t count) {
    const TextCharset set = PageCharset(engine, column.m_nCharset);
    if (set == TextCharset::Binary) {
        if (!engine.m_context.IsSave() && count >= kDisplayBinaryLimit) return CString(u"0x<Binarydata>");
        return HexText(bytes, count);
    }
    if (column.m_nType != MYSQL_TYPE_STRING && column.m_nType != MYSQL_TYPE_VAR_STRING)
        return DecodeText(engine.m_context, set, column.m_nCharset, bytes, count);
    // CHAR (and the old variable-length string, stored like it) is padded with spaces,
    // which the server drops when it returns the value; every engine pads differently
    // (bytes or characters), so the text is the same only without them.
    if (set == TextCharset::Utf8 || set == TextCharset::Latin1 || set == TextCharset::Other)
        while (count > 0 && bytes[count - 1] == ' ') --count;
    CString text = DecodeText(engine.m_context, set, column.m_nCharset, bytes, count);
    if (!text.IsEmpty() && text[text.GetLength() - 1] == u' ') text.TrimRight(u' ');
    return text;
}

// Only MySQL 5.7 writes JSON columns, in its binary form: shown and saved as JSON text.
// Bytes that are no such document keep their hex form, and the loss is said.
CString JsonText(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                 std::uint32_t count) {
    const JsonDecimalText decimal = [](std::uint32_t precision, std::uint32_t scale, const unsigned char* p,
                                       std::size_t n) {
        if (precision < 1 || precision > 65 || scale > 30 || scale > precision ||
            n < DecimalBinarySize(precision, scale))
            return std::string();
        ColumnInfo d;
        d.m_nType = MYSQL_TYPE_NEWDECIMAL;
        d.m_nPrecision = precision;
        d.m_nDecimals = scale;
        return DecimalText(d, p, static_cast<std::uint32_t>(n)).ToUtf8();
    };
    std::string text;
    if (MySqlJsonText(bytes, count, decimal, text)) return CString::FromUtf8(text);
    // Saved, the bytes go as a JSON string: the column takes only JSON, and one value it
    // refuses would take the statement's other rows with it.
    const bool save = engine.m_context.IsSave();
    engine.m_context.ReportLoss(u"column " + column.m_strName + u": a value that is no binary JSON document; " +
                                (save ? u"saved as a JSON string of its bytes in hex" : u"shown as its bytes"));
    const CString hex = HexText(bytes, count);
    return save ? u"\"" + hex + u"\"" : hex;
}

CString BlobText(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                 std::uint32_t count, FieldMember member) {
    // A static record holds no BLOB data, only its length and a memory pointer.
    if (member == FieldMember::MyIsamStatic) return CString();
    if (member == FieldMember::MyIsamDynamic && !engine.m_context.IsSave() && count >= kDisplayBlobLimit)
        return CString(u"Large Blob Data");
    const TextCharset set = PageCharset(engine, column.m_nCharset);
    if (set == TextCharset::Binary) return HexText(bytes, count);
    return DecodeText(engine.m_context, set, column.m_nCharset, bytes, count);
}

// ---- MyISAM record layout ----

std::uint32_t ColumnOffset(const ColumnInfo& column) { return column.m_nRecordPos ? column.m_nRecordPos - 1 : 0; }

// MyISAM keeps the bits of a BIT column that do not fill a byte among the null bits. The
// definition's record positions tell whether this column does: its record span is then
// bits / 8 rather than (bits + 7) / 8.
bool BitHighBitsInFlags(const CTableEngine& engine, std::size_t c) {
    const ColumnInfo& column = engine.m_columns[c];
    if (column.m_nType != MYSQL_TYPE_BIT || column.m_nLength % 8 == 0 || column.m_nLength > kMaxBits) return false;
    const std::uint64_t start = ColumnOffset(column);
    // The span ends where the next stored column starts; VIRTUAL columns sit after every
    // stored one, so the first of them marks the end of the stored part.
    std::uint64_t end = engine.m_nRecordLength;
    std::size_t next = c + 1;
    while (next < engine.m_columns.size() && engine.m_columns[next].m_bNotStored) ++next;
    if (next < engine.m_columns.size()) {
        end = ColumnOffset(engine.m_columns[next]);
    } else {
        for (const ColumnInfo& other : engine.m_columns)
            if (other.m_bNotStored && ColumnOffset(other) >= start) end = std::min<std::uint64_t>(end, ColumnOffset(other));
    }
    if (end >= start && end - start >= (column.m_nLength + 7) / 8) return false;
    return true;
}

// A column that has no bytes in the record and no .MYI definition: a BIT of fewer than 8
// bits kept among the null bits, or a CHAR(0).
bool HasNoRecordBytes(const CTableEngine& engine, std::size_t c) {
    const ColumnInfo& column = engine.m_columns[c];
    if (column.m_bNotStored) return true;
    if (column.m_nType == MYSQL_TYPE_BIT) return column.m_nLength < 8 && BitHighBitsInFlags(engine, c);
    if (column.m_nType == MYSQL_TYPE_STRING || column.m_nType == MYSQL_TYPE_VAR_STRING) return column.m_nLength == 0;
    return false;
}

// Where a column's null bit and its spare BIT bits lie, as bit numbers from the first
// null byte: the server hands them out in column order, a null bit before the column's
// spare bits, after one reserved bit in records of fixed length.
struct FlagPlace {
    bool hasNull = false;
    std::uint64_t nullBit = 0;
    std::uint64_t spareBits = 0;
};

FlagPlace PlaceFlags(const CTableEngine& engine, std::size_t c) {
    std::uint64_t next = engine.m_nRowFormat == 0 ? 1 : 0;
    // Bits go out in column order, within two groups when VIRTUAL columns get theirs
    // after every stored column's.
    auto group = [&](std::size_t j) { return engine.m_bVirtualFlagsLast && engine.m_columns[j].m_bNotStored ? 1 : 0; };
    for (std::size_t j = 0; j < engine.m_columns.size(); ++j) {
        if (group(j) > group(c) || (group(j) == group(c) && j >= c)) continue;
        if (engine.m_columns[j].m_bNullable) ++next;
        if (BitHighBitsInFlags(engine, j)) next += engine.m_columns[j].m_nLength % 8;
    }
    FlagPlace place;
    if (engine.m_columns[c].m_bNullable) {
        place.hasNull = true;
        place.nullBit = next++;
    }
    place.spareBits = next;
    return place;
}

bool FlagBitSet(const unsigned char* flags, std::uint32_t flagBytes, std::uint64_t bit) {
    return flags && bit / 8 < flagBytes && (flags[bit / 8] >> (bit % 8)) & 1;
}

// The .MYI definition that holds a column's bytes, found by record position (definitions
// cover the record without gaps, starting with the null bytes); -1 when there is none.
long FindRecinfoForColumn(const CTableEngine& engine, std::size_t c) {
    if (HasNoRecordBytes(engine, c)) return -1;
    const std::uint64_t want = ColumnOffset(engine.m_columns[c]);
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < engine.m_recinfo.size() && offset <= want; ++i) {
        if (offset == want && engine.m_recinfo[i].m_nLength > 0) return static_cast<long>(i);
        offset += engine.m_recinfo[i].m_nLength;
    }
    return -1;
}

long FindColumnForRecinfo(const CTableEngine& engine, std::uint32_t fieldIndex) {
    if (fieldIndex >= engine.m_recinfo.size()) return -1;
    std::uint64_t offset = 0;
    for (std::uint32_t i = 0; i < fieldIndex; ++i) offset += engine.m_recinfo[i].m_nLength;
    auto matches = [&](std::size_t c) {
        return ColumnOffset(engine.m_columns[c]) == offset && !HasNoRecordBytes(engine, c);
    };
    // Usually the column sits one or no place before its definition.
    for (std::size_t c : {static_cast<std::size_t>(fieldIndex) - 1, static_cast<std::size_t>(fieldIndex)})
        if (c < engine.m_columns.size() && matches(c)) return static_cast<long>(c);
    for (std::size_t c = 0; c < engine.m_columns.size(); ++c)
        if (matches(c)) return static_cast<long>(c);
    return -1;
}

bool RecinfoSaysNull(const RecinfoEntry& entry, const unsigned char* flags, std::uint32_t flagBytes) {
    return flags && entry.m_nNullBit != 0 && entry.m_nNullPos < flagBytes &&
           (flags[entry.m_nNullPos] & entry.m_nNullBit) == entry.m_nNullBit;
}

bool PlaceSaysNull(const CTableEngine& engine, std::size_t c, const unsigned char* flags, std::uint32_t flagBytes) {
    const FlagPlace place = PlaceFlags(engine, c);
    return place.hasNull && FlagBitSet(flags, flagBytes, place.nullBit);
}

// A MyISAM BIT value: its spare high bits from the null bytes, the rest from the record.
CString MyIsamBitText(const CTableEngine& engine, std::size_t c, const unsigned char* bytes, std::uint32_t count,
                      const unsigned char* flags, std::uint32_t flagBytes) {
    const ColumnInfo& column = engine.m_columns[c];
    if (!BitHighBitsInFlags(engine, c)) return FormatTypedFieldValue(engine, column, bytes, count, FieldMember::MyIsamStatic);
    const std::uint32_t spare = column.m_nLength % 8;
    const std::uint64_t at = PlaceFlags(engine, c).spareBits;
    std::uint32_t high = 0;
    for (std::uint32_t i = 0; i < spare; ++i)
        if (FlagBitSet(flags, flagBytes, at + i)) high |= 1u << i;
    unsigned char whole[8] = {};
    whole[0] = static_cast<unsigned char>(high);
    const std::uint32_t inRecord = column.m_nLength / 8;
    const std::uint32_t n = bytes ? (count < inRecord ? count : inRecord) : 0;
    if (n) std::memcpy(whole + 1, bytes, n);
    return FormatTypedFieldValue(engine, column, whole, inRecord + 1, FieldMember::MyIsamStatic);
}

// A column without record bytes takes its value (and NULL) from the null bytes alone;
// a VIRTUAL one has none to take, whatever its null bit says.
void FormatFlagsOnlyColumn(CTableEngine& engine, std::size_t c, const unsigned char* flags, std::uint32_t flagBytes) {
    ColumnInfo& column = engine.m_columns[c];
    if (column.m_bNotStored) {
        column.m_bNull = 0;
        column.m_strValue = CString();
        return;
    }
    column.m_bNull = PlaceSaysNull(engine, c, flags, flagBytes) ? 1 : 0;
    if (column.m_bNull) column.m_strValue = u"NULL";
    else if (column.m_nType == MYSQL_TYPE_BIT && flags) column.m_strValue = MyIsamBitText(engine, c, nullptr, 0, flags, flagBytes);
    else column.m_strValue = CString();
}

// The column's place in m_columns: itself, or a copy of it.
long ColumnIndexOf(const CTableEngine& engine, const ColumnInfo& column) {
    const auto& cols = engine.m_columns;
    if (!cols.empty() && &column >= cols.data() && &column < cols.data() + cols.size())
        return static_cast<long>(&column - cols.data());
    if (column.m_nColumn < cols.size() && cols[column.m_nColumn].m_nRecordPos == column.m_nRecordPos &&
        cols[column.m_nColumn].m_nType == column.m_nType)
        return static_cast<long>(column.m_nColumn);
    for (std::size_t c = 0; c < cols.size(); ++c)
        if (cols[c].m_nRecordPos == column.m_nRecordPos && cols[c].m_nType == column.m_nType) return static_cast<long>(c);
    return -1;
}

// How many of a dynamic record's null-flag bytes may be read: the null area, which is
// the first definition whenever a record has one.
std::uint32_t NullAreaBytes(const CTableEngine& engine) {
    std::uint32_t n = engine.m_nNullBytes;
    if (!engine.m_recinfo.empty() && engine.m_recinfo[0].m_nLength < n) n = engine.m_recinfo[0].m_nLength;
    if (!engine.m_columns.empty()) {
        const std::uint32_t first = ColumnOffset(engine.m_columns[0]);
        if (first < n) n = first;
    }
    return n;
}

const CString& NullText() {
    static const CString text(u"NULL");
    return text;
}

// A space-skipped field arrives without the spaces the packer took off; they are put back
// so the value reads as the record held it (a leading 0x20 of a number matters).
[[gnu::noinline]] CString SpaceSkippedText(const CTableEngine& engine, std::size_t c, std::uint16_t packType,
                                           std::uint32_t declaredLength, const unsigned char* bytes,
                                           std::uint32_t count, const unsigned char* nullFlags,
                                           std::uint32_t flagBytes) {
    char shortPadded[256];
    std::string longPadded;
    char* padded = shortPadded;
    if (declaredLength > sizeof shortPadded) {
        longPadded.resize(declaredLength);
        padded = longPadded.data();
    }
    const std::uint32_t spaces = declaredLength - count;
    if (packType == MI_FIELD_SKIP_ENDSPACE) {
        if (count) std::memcpy(padded, bytes, count);
        std::memset(padded + count, ' ', spaces);
    } else {
        std::memset(padded, ' ', spaces);
        if (count) std::memcpy(padded + spaces, bytes, count);
    }
    const auto* full = reinterpret_cast<const unsigned char*>(padded);
    const ColumnInfo& column = engine.m_columns[c];
    if (column.m_nType == MYSQL_TYPE_BIT) return MyIsamBitText(engine, c, full, declaredLength, nullFlags, flagBytes);
    return FormatTypedFieldValue(engine, column, full, declaredLength, FieldMember::MyIsamDynamic);
}

// A dynamic walk asks row after row which column each definition fills and whether
// columns without record bytes sit beside it. The answers depend only on the definition
// lengths, the columns' record positions, types and lengths, the record length and the
// null bytes: the memo keeps a copy of those and is used only while they are the same.
struct DefinitionMemo {
    std::vector<std::uint32_t> key;
    std::uint32_t nullArea = 0;
    std::vector<long> column;                // per definition; kUnknown until asked
    std::vector<std::uint8_t> flagsOnlyNear;  // columns without record bytes to settle with it
    // Columns that no definition from uncoveredFrom on fills; valid when uncoveredKnown.
    bool uncoveredKnown = false;
    std::uint32_t uncoveredFrom = 0;
    std::vector<std::size_t> uncovered;
    static constexpr long kUnknown = -2;
};

bool SameDefinitionKey(const CTableEngine& engine, const std::vector<std::uint32_t>& key) {
    const std::size_t defs = engine.m_recinfo.size();
    const std::size_t cols = engine.m_columns.size();
    if (key.size() != 4 + defs + 3 * cols || key[0] != defs || key[1] != cols || key[2] != engine.m_nNullBytes ||
        key[3] != engine.m_nRecordLength)
        return false;
    // Checked every row: differences gathered without a branch per value.
    const std::uint32_t* k = key.data() + 4;
    std::uint32_t diff = 0;
    for (const RecinfoEntry& def : engine.m_recinfo) diff |= *k++ ^ def.m_nLength;
    for (const ColumnInfo& c : engine.m_columns) {
        diff |= (k[0] ^ c.m_nRecordPos) | (k[1] ^ c.m_nType) | (k[2] ^ c.m_nLength);
        k += 3;
    }
    return diff == 0;
}

DefinitionMemo& PageDefinitions(const CTableEngine& engine) {
    thread_local DefinitionMemo memo;
    if (!SameDefinitionKey(engine, memo.key)) {
        memo.key.clear();
        memo.key.push_back(static_cast<std::uint32_t>(engine.m_recinfo.size()));
        memo.key.push_back(static_cast<std::uint32_t>(engine.m_columns.size()));
        memo.key.push_back(engine.m_nNullBytes);
        memo.key.push_back(engine.m_nRecordLength);
        for (const RecinfoEntry& def : engine.m_recinfo) memo.key.push_back(def.m_nLength);
        for (const ColumnInfo& c : engine.m_columns) {
            memo.key.push_back(c.m_nRecordPos);
            memo.key.push_back(c.m_nType);
            memo.key.push_back(c.m_nLength);
        }
        memo.nullArea = NullAreaBytes(engine);
        memo.column.assign(engine.m_recinfo.size(), DefinitionMemo::kUnknown);
        memo.flagsOnlyNear.assign(engine.m_recinfo.size(), 0);
        memo.uncoveredKnown = false;
    }
    return memo;
}

}  // namespace


TextCharset ClassifyCharset(const ReadContext& context, std::uint32_t charsetId) {
    if (charsetId == kBinaryCharset) return TextCharset::Binary;
    const CollationEntry* entry = context.FindCollation(charsetId);
    if (!entry) return TextCharset::Other;
    // Runs for every text field: compare in place rather than build a lower-case copy.
    const std::u16string_view name = entry->name2.View();
    auto is = [&](std::u16string_view want) {
        if (name.size() != want.size()) return false;
        for (std::size_t i = 0; i < want.size(); ++i) {
            const char16_t ch = name[i] >= u'A' && name[i] <= u'Z' ? static_cast<char16_t>(name[i] + 32) : name[i];
            if (ch != want[i]) return false;
        }
        return true;
    };
    if (is(u"utf8mb4") || is(u"utf8mb3") || is(u"utf8")) return TextCharset::Utf8;
    if (is(u"latin1")) return TextCharset::Latin1;
    if (is(u"binary")) return TextCharset::Binary;
    if (is(u"ucs2")) return TextCharset::Ucs2;
    if (is(u"utf16")) return TextCharset::Utf16;
    if (is(u"utf16le")) return TextCharset::Utf16Le;
    if (is(u"utf32")) return TextCharset::Utf32;
    return TextCharset::Other;
}

CString DecodeCharsetText(const ReadContext& context, std::uint32_t charsetId, const unsigned char* bytes,
                          std::size_t count) {
    if (!bytes || count == 0) return CString();
    return DecodeText(context, ClassifyCharset(context, charsetId), charsetId, bytes, count);
}

namespace {

// The server's decoder of the collation's character set, for the sets not read here
// directly; null for an unknown collation or set.
const charset::CServerCharset* ServerCharsetOf(const ReadContext& context, std::uint32_t charsetId) {
    const CollationEntry* entry = context.FindCollation(charsetId);
    return entry ? charset::FindServerCharset(entry->name2.View()) : nullptr;
}

CString DecodeText(const ReadContext& context, TextCharset set, std::uint32_t charsetId, const unsigned char* bytes,
                   std::size_t count) {
    if (!bytes || count == 0) return CString();
    const char* text = reinterpret_cast<const char*>(bytes);
    CString out;
    switch (set) {
    case TextCharset::Utf8:
        return CString::FromUtf8(text, count);
    case TextCharset::Latin1:
        return CString::FromAnsi(text, count);
    case TextCharset::Binary:
        return HexText(bytes, count);
    case TextCharset::Ucs2:
    case TextCharset::Utf16: {
        char16_t* p = out.GetBufferSetLength(TextLength(count / 2));
        for (std::size_t i = 0; i + 1 < count; i += 2) *p++ = static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1]);
        return out;
    }
    case TextCharset::Utf16Le: {
        char16_t* p = out.GetBufferSetLength(TextLength(count / 2));
        for (std::size_t i = 0; i + 1 < count; i += 2) *p++ = static_cast<char16_t>(bytes[i + 1] << 8 | bytes[i]);
        return out;
    }
    case TextCharset::Utf32: {
        // At most two units per four bytes.
        char16_t* const first = out.GetBufferSetLength(TextLength(count / 4 * 2));
        char16_t* p = first;
        for (std::size_t i = 0; i + 3 < count; i += 4) {
            const std::uint32_t cp = static_cast<std::uint32_t>(LoadBig(bytes + i, 4));
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                *p++ = u'\uFFFD';
            } else if (cp >= 0x10000) {
                *p++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                *p++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                *p++ = static_cast<char16_t>(cp);
            }
        }
        out.ReleaseBuffer(static_cast<int>(p - first));
        return out;
    }
    case TextCharset::Other:
        if (const charset::CServerCharset* server = ServerCharsetOf(context, charsetId)) return server->Decode(bytes, count);
        break;
    }
    return Utf8ToCString(text, count);
}

}  // namespace

CString HexText(const unsigned char* bytes, std::size_t count) {
    if (!bytes || count == 0) return CString();
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    if (count > static_cast<std::size_t>(INT_MAX) / 2) throw std::bad_alloc();
    CString s;
    char16_t* p = s.GetBufferSetLength(TextLength(2 + 2 * count));
    *p++ = u'0';
    *p++ = u'x';
    for (std::size_t i = 0; i < count; ++i) {
        *p++ = kDigits[bytes[i] >> 4];
        *p++ = kDigits[bytes[i] & 0x0F];
    }
    return s;
}

std::uint32_t TemporalFractionDigits(const ColumnInfo& column) {
    std::uint32_t base = 0;
    switch (column.m_nType) {
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
        base = kTimeTextWidth;
        break;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2:
        base = kDateTimeTextWidth;
        break;
    default:
        return 0;
    }
    // The length is the text width, plus the point and the digits when there are any.
    if (column.m_nLength <= base + 1) return 0;
    const std::uint32_t digits = column.m_nLength - base - 1;
    return digits > kMaxFractionDigits ? kMaxFractionDigits : digits;
}

std::uint32_t FieldValueWidth(const ColumnInfo& column) {
    const std::uint32_t digits = TemporalFractionDigits(column);
    switch (column.m_nType) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_YEAR:
        return 1;
    case MYSQL_TYPE_SHORT:
        return 2;
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_NEWDATE:
        return 3;
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DATE:
        return 4;
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_DOUBLE:
        return 8;
    case MYSQL_TYPE_DECIMAL:
        return column.m_nLength;
    case MYSQL_TYPE_NEWDECIMAL:
        return DecimalBinarySize(column.m_nPrecision, column.m_nDecimals);
    case MYSQL_TYPE_TIME:
        return digits ? kTimeHiresBytes[digits] : 3;
    case MYSQL_TYPE_DATETIME:
        return digits ? kDateTimeHiresBytes[digits] : 8;
    case MYSQL_TYPE_TIMESTAMP:
        return 4 + kSecPartBytes[digits];
    case MYSQL_TYPE_TIMESTAMP2:
        return 4 + (digits + 1) / 2;
    case MYSQL_TYPE_DATETIME2:
        return 5 + (digits + 1) / 2;
    case MYSQL_TYPE_TIME2:
        return 3 + (digits + 1) / 2;
    case MYSQL_TYPE_ENUM:
        return EnumWidth(column);
    case MYSQL_TYPE_SET:
        return SetWidth(column);
    case MYSQL_TYPE_BIT:
        return ((column.m_nLength > kMaxBits ? kMaxBits : column.m_nLength) + 7) / 8;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_JSON:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_GEOMETRY:
        return column.m_nLength;
    default:
        return 0;
    }
}

CString FormatTypedFieldValue(const CTableEngine& engine, const ColumnInfo& column, const unsigned char* bytes,
                              std::uint32_t count, FieldMember member) {
    if (!bytes) count = 0;
    switch (column.m_nType) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG:
        return IntegerText(column, bytes, count);
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
        return FloatText(column, bytes, count, engine.m_context.IsSave());
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return DecimalText(column, bytes, count);
    case MYSQL_TYPE_YEAR: {
        const unsigned v = count ? bytes[0] : 0;
        return v == 0 ? CString(u"0000") : Signed(1900 + v);
    }
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIME2:
        return TemporalText(column, bytes, count, engine.m_context.utcTimestamps);
    case MYSQL_TYPE_ENUM:
        return EnumText(engine, column, bytes, count);
    case MYSQL_TYPE_SET:
        return SetText(engine, column, bytes, count);
    case MYSQL_TYPE_BIT:
        return BitText(column, bytes, count);
    case MYSQL_TYPE_JSON:
        return JsonText(engine, column, bytes, count);
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
        return StringText(engine, column, bytes, count);
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
        return BlobText(engine, column, bytes, count, member);
    case MYSQL_TYPE_GEOMETRY:
        return GeometryText(bytes, count, engine.m_context.IsSave());
    default:
        return CString();
    }
}

std::uint32_t StaticFieldWidth(const CTableEngine& engine, const ColumnInfo& column) {
    switch (column.m_nType) {
    case MYSQL_TYPE_VARCHAR:
        return column.m_nLength + (column.m_nLength < 256 ? 1 : 2);
    case MYSQL_TYPE_BIT: {
        const long c = ColumnIndexOf(engine, column);
        if (c >= 0 && BitHighBitsInFlags(engine, static_cast<std::size_t>(c))) return column.m_nLength / 8;
        return FieldValueWidth(column);
    }
    default:
        return FieldValueWidth(column);
    }
}

void FormatMyIsamStaticField(CTableEngine& engine, std::size_t columnIndex, const unsigned char* bytes,
                             std::uint32_t count, const unsigned char* nullBitmap, std::uint32_t nullBytes) {
    if (columnIndex >= engine.m_columns.size()) return;
    if (!bytes) count = 0;
    if (!nullBitmap) nullBytes = 0;
    if (HasNoRecordBytes(engine, columnIndex)) {
        FormatFlagsOnlyColumn(engine, columnIndex, nullBitmap, nullBytes);
        return;
    }
    const long r = FindRecinfoForColumn(engine, columnIndex);
    const bool isNull = r >= 0 ? RecinfoSaysNull(engine.m_recinfo[static_cast<std::size_t>(r)], nullBitmap, nullBytes)
                               : PlaceSaysNull(engine, columnIndex, nullBitmap, nullBytes);
    ColumnInfo& column = engine.m_columns[columnIndex];
    column.m_bNull = isNull ? 1 : 0;
    if (isNull) {
        column.m_strValue = u"NULL";
        return;
    }
    switch (column.m_nType) {
    case MYSQL_TYPE_VARCHAR: {
        // The record keeps the column at full width behind a length prefix.
        const std::uint32_t prefix = column.m_nLength < 256 ? 1 : 2;
        std::uint32_t n = 0;
        if (count >= prefix) n = static_cast<std::uint32_t>(LoadLittle(bytes, prefix));
        const std::uint32_t room = count > prefix ? count - prefix : 0;
        if (n > room) n = room;
        column.m_strValue = FormatTypedFieldValue(engine, column, n ? bytes + prefix : nullptr, n, FieldMember::MyIsamStatic);
        break;
    }
    case MYSQL_TYPE_BIT:
        column.m_strValue = MyIsamBitText(engine, columnIndex, bytes, count, nullBitmap, nullBytes);
        break;
    default:
        column.m_strValue = FormatTypedFieldValue(engine, column, bytes, count, FieldMember::MyIsamStatic);
        break;
    }
}

namespace {

// Columns without record bytes have no definition and so no call of their own: each
// definition settles those just before its column, the last one those after it too.
[[gnu::noinline]] void SettleFlagsOnlyNeighbours(CTableEngine& engine, std::size_t c, const unsigned char* nullFlags,
                                                 std::uint32_t flagBytes) {
    for (std::size_t j = c; j-- > 0 && HasNoRecordBytes(engine, j);) FormatFlagsOnlyColumn(engine, j, nullFlags, flagBytes);
    std::size_t after = c + 1;
    while (after < engine.m_columns.size() && HasNoRecordBytes(engine, after)) ++after;
    if (after == engine.m_columns.size())
        for (std::size_t j = c + 1; j < engine.m_columns.size(); ++j) FormatFlagsOnlyColumn(engine, j, nullFlags, flagBytes);
}

// The column of definition fieldIndex (below the definition count), -1 for none.
[[gnu::always_inline]] inline long DefinitionColumn(const CTableEngine& engine, DefinitionMemo& memo,
                                                  std::uint32_t fieldIndex) {
    long& found = memo.column[fieldIndex];
    if (found == DefinitionMemo::kUnknown) {
        found = FindColumnForRecinfo(engine, fieldIndex);
        if (found >= 0) {
            const std::size_t c = static_cast<std::size_t>(found);
            std::size_t after = c + 1;
            while (after < engine.m_columns.size() && HasNoRecordBytes(engine, after)) ++after;
            memo.flagsOnlyNear[fieldIndex] = (c > 0 && HasNoRecordBytes(engine, c - 1)) ||
                                             (after == engine.m_columns.size() && c + 1 < after);
        }
    }
    return found;
}

void FormatDefinition(CTableEngine& engine, DefinitionMemo& memo, std::uint32_t fieldIndex,
                      const unsigned char* nullFlags, std::uint32_t declaredLength, const unsigned char* bytes,
                      std::uint32_t count) {
    const long found = DefinitionColumn(engine, memo, fieldIndex);
    if (found < 0) return;
    const std::size_t c = static_cast<std::size_t>(found);
    if (!bytes) count = 0;
    const std::uint32_t flagBytes = nullFlags ? memo.nullArea : 0;
    ColumnInfo& column = engine.m_columns[c];
    const RecinfoEntry& def = engine.m_recinfo[fieldIndex];
    column.m_bNull = RecinfoSaysNull(def, nullFlags, flagBytes) ? 1 : 0;
    if (column.m_bNull) column.m_strValue = NullText();
    else if ((def.m_nType == MI_FIELD_SKIP_ENDSPACE || def.m_nType == MI_FIELD_SKIP_PRESPACE) && count < declaredLength)
        column.m_strValue = SpaceSkippedText(engine, c, def.m_nType, declaredLength, bytes, count, nullFlags, flagBytes);
    else if (column.m_nType == MYSQL_TYPE_BIT) column.m_strValue = MyIsamBitText(engine, c, bytes, count, nullFlags, flagBytes);
    else column.m_strValue = FormatTypedFieldValue(engine, column, bytes, count, FieldMember::MyIsamDynamic);
    if (memo.flagsOnlyNear[fieldIndex]) SettleFlagsOnlyNeighbours(engine, c, nullFlags, flagBytes);
}

}  // namespace

bool FormatMyIsamFieldValue(CTableEngine& engine, std::uint32_t fieldIndex, const unsigned char* nullFlags,
                            std::uint32_t declaredLength, const unsigned char* bytes, std::uint32_t count) {
    if (fieldIndex >= engine.m_recinfo.size()) return true;
    FormatDefinition(engine, PageDefinitions(engine), fieldIndex, nullFlags, declaredLength, bytes, count);
    return true;
}

void FormatMyIsamDynamicFields(CTableEngine& engine, std::uint32_t firstField, const unsigned char* nullFlags) {
    const std::size_t n = engine.m_recinfo.size();
    DefinitionMemo& memo = PageDefinitions(engine);
    // Every column a definition fills is written below; the others are emptied, so that
    // none shows the previous row's text.
    if (!memo.uncoveredKnown || memo.uncoveredFrom != firstField) {
        std::vector<std::uint8_t> covered(engine.m_columns.size(), 0);
        for (std::uint32_t i = firstField; i < n; ++i) {
            const long c = DefinitionColumn(engine, memo, i);
            if (c >= 0) covered[static_cast<std::size_t>(c)] = 1;
        }
        memo.uncovered.clear();
        for (std::size_t c = 0; c < covered.size(); ++c)
            if (!covered[c]) memo.uncovered.push_back(c);
        memo.uncoveredFrom = firstField;
        memo.uncoveredKnown = true;
    }
    for (std::size_t c : memo.uncovered) {
        engine.m_columns[c].m_strValue.Empty();
        engine.m_columns[c].m_bNull = 0;
    }
    for (std::uint32_t i = firstField; i < n; ++i) {
        const RecinfoEntry& def = engine.m_recinfo[i];
        FormatDefinition(engine, memo, i, nullFlags, def.m_nLength, def.m_pData, def.m_nDataLength);
    }
}
