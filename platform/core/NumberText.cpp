#include "platform/core/NumberText.h"

#include <cstdint>
#include <cstring>

namespace numbertext {
namespace {

constexpr std::uint64_t kPow10[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// Digits of v, most significant first; returns the end.
char* PutDecimal(char* out, std::uint64_t v) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    while (n) *out++ = digits[--n];
    return out;
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
        if (s < 127) {
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
        for (int i = precision - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + digits % 10);
            digits /= 10;
        }
        p += precision;
    }
    return p;
}

}  // namespace numbertext
