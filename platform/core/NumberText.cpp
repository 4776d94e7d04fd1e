#include "platform/core/NumberText.h"

#include <cstdint>
#include <cstring>

namespace numbertext {
namespace {

constexpr std::uint64_t kPow10[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Digits of v, most significant first; returns the end.
char* PutDecimal(char* out, std::uint64_t v) {
    char digits[20];
    char* p = digits + 20;
    while (v >= 100) {
        const unsigned pair = static_cast<unsigned>(v % 100) * 2;
        v /= 100;
        *--p = kPairs[pair + 1];
        *--p = kPairs[pair];
    }
    if (v >= 10) {
        *--p = kPairs[v * 2 + 1];
        *--p = kPairs[v * 2];
    } else {
        *--p = static_cast<char>('0' + v);
    }
    const std::size_t n = static_cast<std::size_t>(digits + 20 - p);
    std::memcpy(out, p, n);
    return out + n;
}

// v with exactly width digits, zeros in front (v below 10^width).
void PutFixedWidth(char* out, std::uint64_t v, int width) {
    int i = width;
    while (i >= 2) {
        const unsigned pair = static_cast<unsigned>(v % 100) * 2;
        v /= 100;
        out[--i] = kPairs[pair + 1];
        out[--i] = kPairs[pair];
    }
    if (i) out[0] = static_cast<char>('0' + v % 10);
}

}  // namespace

char* FormatFixed(double v, int precision, char* out) {
    if (precision < 0 || precision > 9) return nullptr;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = bits >> 63;
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((1ull << 52) - 1);
    if (biased == 0x7FF) return nullptr;  // infinities and NaNs
    // v = m * 2^e exactly.
    const std::uint64_t m = biased ? fraction | (1ull << 52) : fraction;
    const int e = biased ? biased - 1075 : -1074;
    const std::uint64_t scale = kPow10[precision];

    std::uint64_t whole = 0;
    std::uint64_t digits = 0;  // the digits after the point, as an integer below scale
    if (e >= 0) {
        if (e > 10) return nullptr;  // 2^63 and beyond
        whole = m << e;
    } else {
        const int s = -e;
        unsigned __int128 frac;
        if (s < 64) {
            whole = m >> s;
            frac = m & ((1ull << s) - 1);
        } else {
            frac = m;
        }
        // frac / 2^s times scale, rounded: the remainder against one half decides.
        if (s < 64) {
            // The common case in 64-bit halves: frac < 2^s, so the digits fit 64 bits.
            const unsigned __int128 scaled = frac * scale;
            const auto lo = static_cast<std::uint64_t>(scaled);
            const auto hi = static_cast<std::uint64_t>(scaled >> 64);
            digits = (lo >> s) | (s ? hi << (64 - s) : 0);
            const std::uint64_t rest = lo & ((1ull << s) - 1);
            const std::uint64_t half = 1ull << (s - 1);
            const bool lastOdd = precision > 0 ? (digits & 1) : (whole & 1);
            if (rest > half || (rest == half && lastOdd)) ++digits;
            if (digits == scale) {
                digits = 0;
                ++whole;
            }
        } else if (s < 127) {
            const unsigned __int128 scaled = frac * scale;
            const unsigned __int128 one = static_cast<unsigned __int128>(1) << s;
            digits = static_cast<std::uint64_t>(scaled >> s);
            const unsigned __int128 rest = scaled & (one - 1);
            const unsigned __int128 half = one >> 1;
            const bool lastOdd = precision > 0 ? (digits & 1) : (whole & 1);
            if (rest > half || (rest == half && lastOdd)) ++digits;
            if (digits == scale) {
                digits = 0;
                ++whole;
            }
        }
        // s >= 127: v < 2^-74, far below half a unit of the last digit.
    }
    char* p = out;
    if (negative) *p++ = '-';
    p = PutDecimal(p, whole);
    if (precision > 0) {
        *p++ = '.';
        PutFixedWidth(p, digits, precision);
        p += precision;
    }
    return p;
}

}  // namespace numbertext
