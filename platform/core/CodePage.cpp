#include "platform/core/CodePage.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace codepage {
namespace {

// 0x80..0x9F of Windows-1252; every other byte is the Unicode code point of its value.
const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at bytes[i]; returns its length, or 0 when it is malformed
// (the caller then steps over one byte).
std::size_t DecodeOne(const unsigned char* b, std::size_t n, std::size_t i, char32_t& cp) {
    unsigned char c = b[i];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2; cp = c & 0x1F; min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3; cp = c & 0x0F; min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4; cp = c & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (n - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char cc = b[i + k];
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

char16_t AnsiByteToUtf16(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHigh1252[byte - 0x80];
    return byte;
}

std::u16string AnsiToUtf16(const char* bytes, std::size_t count) {
    std::u16string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(AnsiByteToUtf16(static_cast<unsigned char>(bytes[i])));
    return out;
}

std::string Utf16ToAnsi(const char16_t* text, std::size_t count) {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char16_t ch = text[i];
        if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
            out.push_back(static_cast<char>(ch));
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (kHigh1252[k] == ch) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        out.push_back(mapped);
    }
    return out;
}

std::u16string Utf8ToUtf16(const char* bytes, std::size_t count) {
    std::u16string out(count, u'\0');
    out.resize(Utf8ToUtf16(bytes, count, out.data()));
    return out;
}

std::size_t Utf8ToUtf16(const char* bytes, std::size_t count, char16_t* out) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    std::size_t n = 0;
    while (i < count) {
#if defined(__SSE2__)
        // Runs of ASCII, the usual text of table cells, sixteen bytes at a time.
        if (count - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            if (_mm_movemask_epi8(v) == 0) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), _mm_unpackhi_epi8(v, zero));
                i += 16;
                n += 16;
                continue;
            }
        }
        if (count - i >= 8) {
            const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + i));
            if ((_mm_movemask_epi8(v) & 0xFF) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
                i += 8;
                n += 8;
                continue;
            }
        }
#endif
        if (b[i] < 0x80) {
            out[n++] = b[i++];
            continue;
        }
        char32_t cp = 0;
        std::size_t len = DecodeOne(b, count, i, cp);
        if (len == 0) {
            // One replacement for a run of bytes that cannot start a sequence.
            out[n++] = static_cast<char16_t>(kReplacement);
            ++i;
            while (i < count && (b[i] & 0xC0) == 0x80) ++i;
            continue;
        }
        if (cp < 0x10000) {
            out[n++] = static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
        i += len;
    }
    return n;
}

bool IsValidUtf8(const char* bytes, std::size_t count) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    while (i < count) {
        char32_t cp = 0;
        std::size_t len = DecodeOne(b, count, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string Utf16ToUtf8(const char16_t* text, std::size_t count) {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace codepage
