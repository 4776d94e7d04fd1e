#include "engine/MySqlJson.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

enum : unsigned char {
    kSmallObject = 0x0,
    kLargeObject = 0x1,
    kSmallArray = 0x2,
    kLargeArray = 0x3,
    kLiteral = 0x4,
    kInt16 = 0x5,
    kUint16 = 0x6,
    kInt32 = 0x7,
    kUint32 = 0x8,
    kInt64 = 0x9,
    kUint64 = 0xA,
    kDouble = 0xB,
    kString = 0xC,
    kOpaque = 0xF,
};

// The server refuses documents nested deeper than this.
constexpr std::size_t kMaxDepth = 100;

// Field types an opaque value names when it holds a temporal or DECIMAL value.
constexpr unsigned char kTypeNewDecimal = 246, kTypeDate = 10, kTypeTime = 11, kTypeDatetime = 12,
                        kTypeTimestamp = 7;

std::uint64_t Le(const unsigned char* p, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = v << 8 | p[i];
    return v;
}

class Printer {
public:
    Printer(const JsonDecimalText& decimalText, std::string& out) : m_decimalText(decimalText), m_out(out) {}

    bool Value(unsigned char type, const unsigned char* p, std::size_t n, std::size_t depth) {
        if (depth > kMaxDepth) return false;
        switch (type) {
        case kSmallObject: return Container(p, n, false, true, depth);
        case kLargeObject: return Container(p, n, true, true, depth);
        case kSmallArray: return Container(p, n, false, false, depth);
        case kLargeArray: return Container(p, n, true, false, depth);
        case kLiteral: return n >= 1 && Literal(p[0]);
        case kInt16: return n >= 2 && Signed(static_cast<std::int16_t>(Le(p, 2)));
        case kUint16: return n >= 2 && Unsigned(Le(p, 2));
        case kInt32: return n >= 4 && Signed(static_cast<std::int32_t>(Le(p, 4)));
        case kUint32: return n >= 4 && Unsigned(Le(p, 4));
        case kInt64: return n >= 8 && Signed(static_cast<std::int64_t>(Le(p, 8)));
        case kUint64: return n >= 8 && Unsigned(Le(p, 8));
        case kDouble: return n >= 8 && Double(p);
        case kString: {
            std::size_t length = 0, used = 0;
            if (!VariableLength(p, n, length, used) || length > n - used) return false;
            Quoted(p + used, length);
            return true;
        }
        case kOpaque: {
            if (n < 1) return false;
            std::size_t length = 0, used = 0;
            if (!VariableLength(p + 1, n - 1, length, used) || length > n - 1 - used) return false;
            return Opaque(p[0], p + 1 + used, length);
        }
        default: return false;
        }
    }

private:
    // Count and size, then key entries (objects), value entries, keys and values; offsets
    // count from the container's first byte.
    bool Container(const unsigned char* p, std::size_t n, bool large, bool object, std::size_t depth) {
        const std::size_t word = large ? 4 : 2;
        if (n < 2 * word) return false;
        const std::size_t count = Le(p, word), size = Le(p + word, word);
        if (size > n) return false;
        const std::size_t keyEntry = word + 2, valueEntry = 1 + word;
        const std::size_t headers = 2 * word + count * ((object ? keyEntry : 0) + valueEntry);
        if (count > size || headers > size) return false;
        m_out += object ? '{' : '[';
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0) m_out += ", ";
            if (object) {
                const unsigned char* key = p + 2 * word + i * keyEntry;
                const std::size_t at = Le(key, word), length = Le(key + word, 2);
                if (at > size || length > size - at) return false;
                Quoted(p + at, length);
                m_out += ": ";
            }
            const unsigned char* entry = p + 2 * word + (object ? count * keyEntry : 0) + i * valueEntry;
            const unsigned char type = entry[0];
            // Literals and 16-bit integers, and in the large form 32-bit ones too, sit in
            // the entry itself.
            const bool inlined = type == kLiteral || type == kInt16 || type == kUint16 ||
                                 (large && (type == kInt32 || type == kUint32));
            if (inlined) {
                if (!Value(type, entry + 1, word, depth + 1)) return false;
                continue;
            }
            const std::size_t at = Le(entry + 1, word);
            if (at < headers || at >= size) return false;
            if (!Value(type, p + at, size - at, depth + 1)) return false;
        }
        m_out += object ? '}' : ']';
        return true;
    }

    // Seven bits a byte, least significant first, at most five bytes.
    static bool VariableLength(const unsigned char* p, std::size_t n, std::size_t& length, std::size_t& used) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n && i < 5; ++i) {
            v |= static_cast<std::uint64_t>(p[i] & 0x7F) << (7 * i);
            if (!(p[i] & 0x80)) {
                if (v > 0xFFFFFFFFu) return false;
                length = static_cast<std::size_t>(v);
                used = i + 1;
                return true;
            }
        }
        return false;
    }

    bool Literal(unsigned char v) {
        if (v > 2) return false;
        m_out += v == 0 ? "null" : v == 1 ? "true" : "false";
        return true;
    }

    bool Signed(std::int64_t v) {
        m_out += std::to_string(v);
        return true;
    }

    bool Unsigned(std::uint64_t v) {
        m_out += std::to_string(v);
        return true;
    }

    bool Double(const unsigned char* p) {
        const std::uint64_t bits = Le(p, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        char text[40];
        const auto r = std::to_chars(text, text + sizeof text, d);
        std::string s(text, r.ptr);
        // A JSON number has no infinities; the server stores none.
        if (s.find_first_of("in") != std::string::npos) return false;
        const std::size_t e = s.find("e+");
        if (e != std::string::npos) s.erase(e + 1, 1);
        // A whole double keeps a fraction, so it reads back as a double.
        if (s.find_first_of(".e") == std::string::npos) s += ".0";
        m_out += s;
        return true;
    }

    void Quoted(const unsigned char* p, std::size_t n) {
        static const char* hex = "0123456789abcdef";
        m_out += '"';
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char c = p[i];
            switch (c) {
            case '"': m_out += "\\\""; break;
            case '\\': m_out += "\\\\"; break;
            case '\b': m_out += "\\b"; break;
            case '\f': m_out += "\\f"; break;
            case '\n': m_out += "\\n"; break;
            case '\r': m_out += "\\r"; break;
            case '\t': m_out += "\\t"; break;
            default:
                if (c < 0x20) {
                    m_out += "\\u00";
                    m_out += hex[c >> 4];
                    m_out += hex[c & 15];
                } else {
                    m_out += static_cast<char>(c);
                }
            }
        }
        m_out += '"';
    }

    // Temporal values as the server's packed 64-bit form: the fraction in the low 24 bits,
    // above it year*13+month, day, hour, minute and second (TIME: hours, minutes, seconds).
    bool Opaque(unsigned char type, const unsigned char* p, std::size_t n) {
        char text[64];
        if (type == kTypeNewDecimal) {
            if (n < 2 || !m_decimalText) return Base64(type, p, n);
            const std::string d = m_decimalText(p[0], p[1], p + 2, n - 2);
            if (d.empty()) return false;
            m_out += d;
            return true;
        }
        if ((type == kTypeDate || type == kTypeDatetime || type == kTypeTimestamp || type == kTypeTime) && n >= 8) {
            const std::int64_t packed = static_cast<std::int64_t>(Le(p, 8));
            const bool negative = packed < 0;
            const std::uint64_t v = negative ? 0ull - static_cast<std::uint64_t>(packed) : static_cast<std::uint64_t>(packed);
            const std::uint64_t fraction = v & 0xFFFFFF, whole = v >> 24;
            if (type == kTypeTime) {
                std::snprintf(text, sizeof text, "\"%s%02llu:%02llu:%02llu.%06llu\"", negative ? "-" : "",
                              static_cast<unsigned long long>(whole >> 12), static_cast<unsigned long long>(whole >> 6 & 63),
                              static_cast<unsigned long long>(whole & 63), static_cast<unsigned long long>(fraction));
                m_out += text;
                return true;
            }
            const std::uint64_t ymd = whole >> 17, hms = whole & 0x1FFFF;
            const std::uint64_t yearMonth = ymd >> 5;
            if (type == kTypeDate) {
                std::snprintf(text, sizeof text, "\"%04llu-%02llu-%02llu\"", static_cast<unsigned long long>(yearMonth / 13),
                              static_cast<unsigned long long>(yearMonth % 13), static_cast<unsigned long long>(ymd & 31));
            } else {
                std::snprintf(text, sizeof text, "\"%04llu-%02llu-%02llu %02llu:%02llu:%02llu.%06llu\"",
                              static_cast<unsigned long long>(yearMonth / 13), static_cast<unsigned long long>(yearMonth % 13),
                              static_cast<unsigned long long>(ymd & 31), static_cast<unsigned long long>(hms >> 12),
                              static_cast<unsigned long long>(hms >> 6 & 63), static_cast<unsigned long long>(hms & 63),
                              static_cast<unsigned long long>(fraction));
            }
            m_out += text;
            return true;
        }
        return Base64(type, p, n);
    }

    // Any other opaque value as the server prints it: its type and its bytes in base64.
    bool Base64(unsigned char type, const unsigned char* p, std::size_t n) {
        static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        m_out += "\"base64:type" + std::to_string(type) + ":";
        for (std::size_t i = 0; i < n; i += 3) {
            const std::uint32_t chunk = static_cast<std::uint32_t>(p[i]) << 16 |
                                        (i + 1 < n ? static_cast<std::uint32_t>(p[i + 1]) << 8 : 0) |
                                        (i + 2 < n ? p[i + 2] : 0);
            m_out += digits[chunk >> 18 & 63];
            m_out += digits[chunk >> 12 & 63];
            m_out += i + 1 < n ? digits[chunk >> 6 & 63] : '=';
            m_out += i + 2 < n ? digits[chunk & 63] : '=';
        }
        m_out += '"';
        return true;
    }

    const JsonDecimalText& m_decimalText;
    std::string& m_out;
};

}  // namespace

bool MySqlJsonText(const unsigned char* bytes, std::size_t count, const JsonDecimalText& decimalText, std::string& out) {
    out.clear();
    if (count == 0 || !bytes) {
        out = "null";
        return true;
    }
    Printer printer(decimalText, out);
    if (printer.Value(bytes[0], bytes + 1, count - 1, 0)) return true;
    out.clear();
    return false;
}
