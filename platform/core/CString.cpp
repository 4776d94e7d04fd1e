#include "platform/core/CString.h"

#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/core/CodePage.h"
#include "platform/core/NumberText.h"

namespace {


bool IsSpace(char16_t ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\r' || ch == u'\v' || ch == u'\f';
}

// Case mapping for ASCII and Latin-1, the ranges names and keywords of table files use.
char16_t ToUpper(char16_t ch) {
    if (ch >= u'a' && ch <= u'z') return ch - 32;
    if ((ch >= 0xE0 && ch <= 0xFE && ch != 0xF7)) return ch - 32;
    if (ch == 0xFF) return 0x178;
    return ch;
}

char16_t ToLower(char16_t ch) {
    if (ch >= u'A' && ch <= u'Z') return ch + 32;
    if ((ch >= 0xC0 && ch <= 0xDE && ch != 0xD7)) return ch + 32;
    if (ch == 0x178) return 0xFF;
    return ch;
}

// The text a Format builds: on the stack while it is short.
class TextSink {
public:
    TextSink() = default;
    TextSink(const TextSink&) = delete;
    TextSink& operator=(const TextSink&) = delete;

    void push_back(char16_t c) {
        if (m_len == m_cap) Grow(1);
        m_p[m_len++] = c;
    }
    void append(const char16_t* s, std::size_t n) {
        if (m_cap - m_len < n) Grow(n);
        std::memcpy(m_p + m_len, s, n * sizeof(char16_t));
        m_len += n;
    }
    void append(const char16_t* first, const char16_t* last) { append(first, static_cast<std::size_t>(last - first)); }
    void append(std::size_t n, char16_t c) {
        if (m_cap - m_len < n) Grow(n);
        for (std::size_t i = 0; i < n; ++i) m_p[m_len + i] = c;
        m_len += n;
    }
    void AppendAscii(const char* text, std::size_t n) {
        if (m_cap - m_len < n) Grow(n);
        for (std::size_t i = 0; i < n; ++i) m_p[m_len + i] = static_cast<unsigned char>(text[i]);
        m_len += n;
    }
    const char16_t* data() const { return m_p; }
    std::size_t size() const { return m_len; }

private:
    void Grow(std::size_t need) {
        std::size_t cap = m_cap * 2;
        if (cap < m_len + need) cap = m_len + need;
        if (m_p == m_local) {
            m_heap.resize(cap);
            std::memcpy(m_heap.data(), m_local, m_len * sizeof(char16_t));
        } else {
            m_heap.resize(cap);
        }
        m_p = m_heap.data();
        m_cap = cap;
    }

    char16_t m_local[256];
    char16_t* m_p = m_local;
    std::size_t m_len = 0;
    std::size_t m_cap = sizeof m_local / sizeof m_local[0];
    std::u16string m_heap;
};

constexpr std::size_t kMaxWidth = 1u << 20;

// One conversion's flags, width and precision as printf reads them.
struct ConversionSpec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    std::size_t width = 0;
    int precision = -1;  // none
};

void Pad(TextSink& out, std::size_t have, std::size_t width, char16_t fill) {
    if (have < width) out.append(width - have, fill);
}

// Integers as printf prints them: sign or base prefix, precision as the least number of
// digits (0 prints no digit for 0), zero padding only without a precision.
void PutInteger(TextSink& out, const ConversionSpec& directive, unsigned long long magnitude, bool negative,
                char16_t conv) {
    char digits[32];
    char* end = digits + sizeof digits;
    char* d = end;
    const unsigned base = conv == u'x' || conv == u'X' ? 16 : (conv == u'o' ? 8 : 10);
    const char* numerals = conv == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    if (base == 10) {
        while (magnitude >= 10) {
            *--d = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        }
        *--d = static_cast<char>('0' + magnitude);
    } else {
        do {
            *--d = numerals[magnitude % base];
            magnitude /= base;
        } while (magnitude);
    }
    std::size_t count = static_cast<std::size_t>(end - d);
    const bool isZero = count == 1 && *d == '0';
    std::size_t precision = directive.precision < 0 ? 1 : static_cast<std::size_t>(directive.precision);
    if (isZero && precision == 0) count = 0;
    if (conv == u'o' && directive.alt && precision <= count && !(count && *d == '0')) precision = count + 1;
    const std::size_t zeros = precision > count ? precision - count : 0;

    char16_t prefix[2];
    std::size_t prefixLength = 0;
    if (negative) prefix[prefixLength++] = u'-';
    else if (conv == u'd' && directive.plus) prefix[prefixLength++] = u'+';
    else if (conv == u'd' && directive.space) prefix[prefixLength++] = u' ';
    else if (directive.alt && base == 16 && !isZero) {
        prefix[prefixLength++] = u'0';
        prefix[prefixLength++] = conv;
    }
    const std::size_t total = prefixLength + zeros + count;
    if (!directive.left && !(directive.zero && directive.precision < 0)) Pad(out, total, directive.width, u' ');
    out.append(prefix, prefixLength);
    if (!directive.left && directive.zero && directive.precision < 0) Pad(out, total, directive.width, u'0');
    out.append(zeros, u'0');
    out.AppendAscii(d, count);
    if (directive.left) Pad(out, total, directive.width, u' ');
}

// "%f" of a finite value: std::to_chars in fixed notation rounds the exact binary value
// as printf does, in one pass.
bool PutFixed(TextSink& out, const ConversionSpec& directive, double v) {
    const int precision = directive.precision < 0 ? 6 : directive.precision;
    if (!std::isfinite(v) || directive.alt || precision > 60) return false;
    char text[400];  // 309 integer digits, the point and 60 more at most
    char* end = numbertext::FormatFixed(v, precision, text);
    if (!end) {
        const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, precision);
        if (r.ec != std::errc()) return false;
        end = r.ptr;
    }
    const char* digits = text;
    std::size_t count = static_cast<std::size_t>(end - text);
    char sign = 0;
    if (*digits == '-') {
        sign = '-';
        ++digits;
        --count;
    } else if (directive.plus) {
        sign = '+';
    } else if (directive.space) {
        sign = ' ';
    }
    const std::size_t total = count + (sign ? 1 : 0);
    if (!directive.left && !directive.zero) Pad(out, total, directive.width, u' ');
    if (sign) out.push_back(static_cast<char16_t>(sign));
    if (!directive.left && directive.zero) Pad(out, total, directive.width, u'0');
    out.AppendAscii(digits, count);
    if (directive.left) Pad(out, total, directive.width, u' ');
    return true;
}

// The C library's own text for the conversions done nowhere else (e g a p, infinities).
void PutByPrintf(TextSink& out, const ConversionSpec& directive, char conv, const char* length, auto value) {
    char format[48];
    char* f = format;
    *f++ = '%';
    if (directive.left) *f++ = '-';
    if (directive.plus) *f++ = '+';
    if (directive.space) *f++ = ' ';
    if (directive.alt) *f++ = '#';
    if (directive.zero) *f++ = '0';
    f += std::snprintf(f, 16, "%zu", directive.width);
    if (directive.precision >= 0) f += std::snprintf(f, 16, ".%d", directive.precision);
    while (*length) *f++ = *length++;
    *f++ = conv;
    *f = 0;
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, format, value);
    if (n < 0) return;
    if (n < static_cast<int>(sizeof buf)) {
        out.AppendAscii(buf, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, value);
    out.AppendAscii(big.data(), static_cast<std::size_t>(n));
}

void FormatInto(TextSink& out, const char16_t* fmt, va_list args) {
    for (const char16_t* p = fmt; *p;) {
        if (*p != u'%') {
            const char16_t* run = p;
            while (*p && *p != u'%') ++p;
            out.append(run, p);
            continue;
        }
        const char16_t* start = p++;
        if (*p == u'%') {
            out.push_back(u'%');
            ++p;
            continue;
        }
        ConversionSpec directive;
        for (;; ++p) {
            if (*p == u'-') directive.left = true;
            else if (*p == u'+') directive.plus = true;
            else if (*p == u' ') directive.space = true;
            else if (*p == u'#') directive.alt = true;
            else if (*p == u'0') directive.zero = true;
            else break;
        }
        if (*p == u'*') {
            const int w = va_arg(args, int);
            if (w < 0) directive.left = true;
            directive.width = w < 0 ? 0u - static_cast<unsigned>(w) : static_cast<unsigned>(w);
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') {
                directive.width = directive.width * 10 + static_cast<std::size_t>(*p++ - u'0');
                if (directive.width > kMaxWidth) directive.width = kMaxWidth;
            }
        }
        if (*p == u'.') {
            ++p;
            directive.precision = 0;
            if (*p == u'*') {
                const int v = va_arg(args, int);
                directive.precision = v < 0 ? -1 : v;
                ++p;
            } else {
                while (*p >= u'0' && *p <= u'9') {
                    directive.precision = directive.precision * 10 + (*p++ - u'0');
                    if (directive.precision > static_cast<int>(kMaxWidth)) directive.precision = static_cast<int>(kMaxWidth);
                }
            }
        }
        // Widths past any real use would only exhaust memory.
        if (directive.width > kMaxWidth) directive.width = kMaxWidth;
        if (directive.precision > static_cast<int>(kMaxWidth)) directive.precision = static_cast<int>(kMaxWidth);
        int longness = 0;  // -2 hh, -1 h, 0 int, 1 long, 2 long long, 3 size_t/ptrdiff
        for (;;) {
            if (*p == u'h') { --longness; ++p; }
            else if (*p == u'l') { ++longness; ++p; }
            else if (*p == u'z' || *p == u't' || *p == u'j') { longness = 3; ++p; }
            else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') { longness = 2; p += 3; }
            else break;
        }
        char16_t conv = *p;
        if (conv == 0) {
            // A lone '%' at the end is copied as it stands.
            out.append(start, p);
            break;
        }
        ++p;
        switch (conv) {
        case u'd':
        case u'i': {
            long long v;
            if (longness >= 2) v = va_arg(args, long long);
            else if (longness == 1) v = va_arg(args, long);
            else v = va_arg(args, int);
            if (longness == -1) v = static_cast<short>(v);
            if (longness == -2) v = static_cast<signed char>(v);
            const unsigned long long magnitude = v < 0 ? 0ull - static_cast<unsigned long long>(v) : v;
            PutInteger(out, directive, magnitude, v < 0, u'd');
            break;
        }
        case u'u':
        case u'x':
        case u'X':
        case u'o': {
            unsigned long long v;
            if (longness >= 2) v = va_arg(args, unsigned long long);
            else if (longness == 1) v = va_arg(args, unsigned long);
            else v = va_arg(args, unsigned int);
            if (longness == -1) v = static_cast<unsigned short>(v);
            if (longness == -2) v = static_cast<unsigned char>(v);
            PutInteger(out, directive, v, false, conv);
            break;
        }
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A': {
            double v = va_arg(args, double);
            if ((conv == u'f' || conv == u'F') && PutFixed(out, directive, v)) break;
            PutByPrintf(out, directive, static_cast<char>(conv), "", v);
            break;
        }
        case u'p': {
            void* v = va_arg(args, void*);
            PutByPrintf(out, directive, 'p', "", v);
            break;
        }
        case u'c':
        case u's': {
            char16_t ch = 0;
            const char16_t* text;
            std::size_t length;
            if (conv == u'c') {
                ch = static_cast<char16_t>(va_arg(args, int));
                text = &ch;
                length = 1;
            } else {
                text = va_arg(args, const char16_t*);
                if (!text) text = u"(null)";
                // At most precision units are read: the text need not end within them.
                length = 0;
                const std::size_t limit = directive.precision < 0 ? SIZE_MAX : static_cast<std::size_t>(directive.precision);
                while (length < limit && text[length]) ++length;
            }
            if (!directive.left) Pad(out, length, directive.width, u' ');
            out.append(text, length);
            if (directive.left) Pad(out, length, directive.width, u' ');
            break;
        }
        default:
            // Unknown conversion: copy it literally rather than guess at its argument.
            out.append(start, p);
            break;
        }
    }
}

}  // namespace

// ---- Representation ----

namespace {

// Buffers of short shared texts go back to the thread that lets them go, for its next
// text: reading a page of rows gives up and takes one for almost every longer cell, and
// the allocator's own path costs more than the cell's text. At most kPoolLimit are kept.
constexpr std::size_t kPooledCapacity = 55;  // units; with the header a 128-byte block
#if defined(__SANITIZE_ADDRESS__)
#define DRALVEK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRALVEK_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(DRALVEK_ADDRESS_SANITIZER)
constexpr std::size_t kPoolLimit = 0;  // every buffer freed, so that a use after it is seen
#else
constexpr std::size_t kPoolLimit = 1024;
#endif

struct BufferPool {
    void* head = nullptr;
    std::size_t count = 0;
    BufferPool() = default;
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;
    ~BufferPool() {
        while (head) {
            void* next = *static_cast<void**>(head);
            ::operator delete(head);
            head = next;
        }
    }
};

thread_local BufferPool t_pool;

}  // namespace

CString::Shared* CString::Allocate(std::size_t capacity) {
    // Lengths are ints: a longer text cannot be held, as memory for it could not be had.
    if (capacity > static_cast<std::size_t>(INT_MAX) - 1) throw std::bad_alloc();
    void* mem;
    if (capacity <= kPooledCapacity) {
        capacity = kPooledCapacity;
        BufferPool& pool = t_pool;
        if (pool.head) {
            mem = pool.head;
            pool.head = *static_cast<void**>(mem);
            --pool.count;
        } else {
            mem = ::operator new(sizeof(Shared) + (kPooledCapacity + 1) * sizeof(char16_t));
        }
    } else {
        mem = ::operator new(sizeof(Shared) + (capacity + 1) * sizeof(char16_t));
    }
    auto* p = static_cast<Shared*>(mem);
    new (&p->refs) std::atomic<std::uint32_t>(1);
    p->length = 0;
    p->capacity = static_cast<std::uint32_t>(capacity);
    p->spare = 0;
    return p;
}

void CString::Retain() const { SharedHeader()->refs.fetch_add(1, std::memory_order_relaxed); }

void CString::Release() {
    Shared* p = SharedHeader();
    // The last owner frees without the atomic step: nobody else can reach the buffer.
    if (p->refs.load(std::memory_order_acquire) == 1 || p->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        BufferPool& pool = t_pool;
        if (p->capacity == kPooledCapacity && pool.count < kPoolLimit) {
            p->refs.~atomic();
            *reinterpret_cast<void**>(p) = pool.head;
            pool.head = p;
            ++pool.count;
            return;
        }
        ::operator delete(p);
    }
}

void CString::SetShared(Shared* p) {
    std::memcpy(m_units, &p, sizeof p);
    m_units[kInline] = kSharedTag;
}

namespace {

// Up to 16 units copied with two overlapping moves of the widest size that fits, rather
// than a call of the library's memcpy, which costs more than the copy for a cell's text.
inline void CopyShortUnits(char16_t* to, const char16_t* from, std::size_t count) {
    const std::size_t bytes = count * sizeof(char16_t);
    auto* d = reinterpret_cast<unsigned char*>(to);
    const auto* s = reinterpret_cast<const unsigned char*>(from);
    if (bytes >= 16) {
        unsigned char a[16], b[16];
        std::memcpy(a, s, 16);
        std::memcpy(b, s + bytes - 16, 16);
        std::memcpy(d, a, 16);
        std::memcpy(d + bytes - 16, b, 16);
    } else if (bytes >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, s, 8);
        std::memcpy(&b, s + bytes - 8, 8);
        std::memcpy(d, &a, 8);
        std::memcpy(d + bytes - 8, &b, 8);
    } else if (bytes >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + bytes - 4, 4);
        std::memcpy(d, &a, 4);
        std::memcpy(d + bytes - 4, &b, 4);
    } else if (bytes) {
        std::memcpy(d, s, 2);
    }
}

}  // namespace

void CString::Init(const char16_t* text, std::size_t count) {
    // Called on an empty text.
    if (count < static_cast<std::size_t>(kInline)) {
        CopyShortUnits(m_units, text, count);
        m_units[count] = 0;
        m_units[kInline] = static_cast<char16_t>(kInline - static_cast<int>(count));
        return;
    }
    char16_t* p = MakeWritable(count, count);
    std::memcpy(p, text, count * sizeof(char16_t));
}

char16_t* CString::MakeWritable(std::size_t length, std::size_t capacity) {
    if (capacity < length) capacity = length;
    const std::size_t old = static_cast<std::size_t>(GetLength());
    const std::size_t keep = old < length ? old : length;
    if (!IsShared()) {
        if (length <= static_cast<std::size_t>(kInline)) {
            if (length < static_cast<std::size_t>(kInline)) m_units[length] = 0;
            m_units[kInline] = static_cast<char16_t>(kInline - static_cast<int>(length));
            return m_units;
        }
        Shared* q = Allocate(capacity);
        char16_t* t = SharedText(q);
        std::memcpy(t, m_units, keep * sizeof(char16_t));
        q->length = static_cast<std::uint32_t>(length);
        t[length] = 0;
        SetShared(q);
        return t;
    }
    Shared* p = SharedHeader();
    if (p->refs.load(std::memory_order_acquire) == 1 && length <= p->capacity) {
        char16_t* t = SharedText(p);
        p->length = static_cast<std::uint32_t>(length);
        t[length] = 0;
        return t;
    }
    Shared* q = Allocate(capacity);
    char16_t* t = SharedText(q);
    std::memcpy(t, SharedText(p), keep * sizeof(char16_t));
    q->length = static_cast<std::uint32_t>(length);
    t[length] = 0;
    Release();
    SetShared(q);
    return t;
}

void CString::Append(const char16_t* text, std::size_t count) {
    if (count == 0) return;
    const char16_t* own = GetString();
    const std::size_t old = static_cast<std::size_t>(GetLength());
    const auto at = reinterpret_cast<std::uintptr_t>(text);
    const auto from = reinterpret_cast<std::uintptr_t>(own);
    if (at >= from && at <= from + old * sizeof(char16_t)) {
        // Part of this text itself: copy it before the buffer moves.
        const std::u16string copy(text, count);
        Append(copy.data(), copy.size());
        return;
    }
    const std::size_t length = old + count;
    char16_t* p = MakeWritable(length, length + length / 2);
    std::memcpy(p + old, text, count * sizeof(char16_t));
}

char16_t* CString::GetBufferSetLength(int length) {
    // A negative length is a size that overflowed: no buffer can be that large.
    if (length < 0) throw std::bad_alloc();
    const auto n = static_cast<std::size_t>(length);
    return MakeWritable(n, n);
}

void CString::ReleaseBuffer(int newLength) {
    const int length = GetLength();
    if (newLength < 0) {
        const char16_t* p = GetString();
        newLength = 0;
        while (newLength < length && p[newLength]) ++newLength;
    }
    if (newLength > length) newLength = length;
    MakeWritable(static_cast<std::size_t>(newLength), static_cast<std::size_t>(newLength));
}

// ---- Construction ----

CString::CString(const char16_t* text) {
    SetInlineEmpty();
    if (text && *text) Init(text, std::char_traits<char16_t>::length(text));
}

CString::CString(const char16_t* text, int count) {
    SetInlineEmpty();
    if (text && count > 0) Init(text, static_cast<std::size_t>(count));
}

CString::CString(std::u16string_view text) {
    SetInlineEmpty();
    Init(text.data(), text.size());
}

CString::CString(std::u16string&& text) {
    SetInlineEmpty();
    Init(text.data(), text.size());
}

CString::CString(char16_t ch, int repeat) {
    SetInlineEmpty();
    if (repeat > 0) {
        char16_t* p = MakeWritable(static_cast<std::size_t>(repeat), static_cast<std::size_t>(repeat));
        for (int i = 0; i < repeat; ++i) p[i] = ch;
    }
}

CString::CString(const char* ansi) {
    SetInlineEmpty();
    if (ansi) *this = FromAnsi(ansi, std::strlen(ansi));
}

CString::CString(const char* ansi, int count) {
    SetInlineEmpty();
    if (ansi && count > 0) *this = FromAnsi(ansi, static_cast<std::size_t>(count));
}

CString CString::FromAnsi(const char* bytes, std::size_t count) {
    CString s;
    if (!bytes || count == 0) return s;
    char16_t* p = s.MakeWritable(count, count);
    for (std::size_t i = 0; i < count; ++i) p[i] = codepage::AnsiByteToUtf16(static_cast<unsigned char>(bytes[i]));
    return s;
}

CString CString::FromUtf8(const char* bytes, std::size_t count) {
    CString s;
    if (!bytes || count == 0) return s;
    if (count <= static_cast<std::size_t>(kInline)) {
        // No more units than bytes: straight into the object.
        s.MakeWritable(codepage::Utf8ToUtf16(bytes, count, s.m_units), 0);
        return s;
    }
    if (count <= 256) {
        char16_t units[256];
        s.Init(units, codepage::Utf8ToUtf16(bytes, count, units));
        return s;
    }
    const std::size_t n = codepage::Utf8ToUtf16(bytes, count, s.MakeWritable(count, count));
    s.MakeWritable(n, n);
    return s;
}

// ---- Access ----

char16_t CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) return 0;
    return GetString()[index];
}

void CString::SetAt(int index, char16_t ch) {
    const int length = GetLength();
    if (index < 0 || index >= length) return;
    MakeWritable(static_cast<std::size_t>(length), static_cast<std::size_t>(length))[index] = ch;
}

void CString::Format(const char16_t* format, ...) {
    TextSink out;
    va_list args;
    va_start(args, format);
    FormatInto(out, format, args);
    va_end(args);
    CString text;
    text.Init(out.data(), out.size());
    *this = std::move(text);
}

void CString::AppendFormat(const char16_t* format, ...) {
    TextSink out;
    va_list args;
    va_start(args, format);
    FormatInto(out, format, args);
    va_end(args);
    Append(out.data(), out.size());
}

int CString::Find(char16_t ch, int start) const {
    if (start < 0) start = 0;
    if (start >= GetLength()) return -1;
    auto pos = View().find(ch, static_cast<std::size_t>(start));
    return pos == std::u16string_view::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const CString& sub, int start) const {
    if (start < 0) start = 0;
    if (start > GetLength()) return -1;
    auto pos = View().find(sub.View(), static_cast<std::size_t>(start));
    return pos == std::u16string_view::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char16_t ch) const {
    auto pos = View().rfind(ch);
    return pos == std::u16string_view::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(View().substr(0, static_cast<std::size_t>(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    int len = GetLength();
    if (first >= len || count <= 0) return CString();
    if (count > len - first) count = len - first;
    if (first == 0 && count == len) return *this;
    return CString(View().substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const {
    int len = GetLength();
    if (count <= 0) return CString();
    if (count >= len) return *this;
    return CString(View().substr(static_cast<std::size_t>(len - count)));
}

int CString::Replace(char16_t oldCh, char16_t newCh) {
    if (Find(oldCh) < 0) return 0;
    const std::size_t length = static_cast<std::size_t>(GetLength());
    char16_t* p = MakeWritable(length, length);
    int n = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (p[i] == oldCh) {
            p[i] = newCh;
            ++n;
        }
    return n;
}

int CString::Replace(const CString& oldText, const CString& newText) {
    if (oldText.IsEmpty() || Find(oldText) < 0) return 0;
    const std::u16string_view s = View();
    const std::u16string_view o = oldText.View();
    std::u16string out;
    int n = 0;
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = s.find(o, pos);
        if (hit == std::u16string_view::npos) break;
        out.append(s, pos, hit - pos);
        out += newText.View();
        pos = hit + o.size();
        ++n;
    }
    out.append(s.substr(pos));
    AssignView(out);
    return n;
}

int CString::Remove(char16_t ch) {
    if (Find(ch) < 0) return 0;
    std::u16string out;
    int n = 0;
    for (char16_t c : View()) {
        if (c == ch) ++n;
        else out.push_back(c);
    }
    AssignView(out);
    return n;
}

int CString::Insert(int index, const CString& text) {
    if (index < 0) index = 0;
    if (index > GetLength()) index = GetLength();
    if (!text.IsEmpty()) {
        std::u16string s(View());
        s.insert(static_cast<std::size_t>(index), text.View());
        AssignView(s);
    }
    return GetLength();
}

int CString::Delete(int index, int count) {
    int len = GetLength();
    if (index < 0) index = 0;
    if (count > 0 && index < len) {
        if (count > len - index) count = len - index;
        std::u16string s(View());
        s.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
        AssignView(s);
    }
    return GetLength();
}

CString& CString::TrimLeft() {
    const std::u16string_view s = View();
    std::size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (i) AssignView(s.substr(i));
    return *this;
}

CString& CString::TrimRight() {
    const std::u16string_view s = View();
    std::size_t n = s.size();
    while (n > 0 && IsSpace(s[n - 1])) --n;
    if (n != s.size()) AssignView(s.substr(0, n));
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft(char16_t ch) {
    const std::u16string_view s = View();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ch) ++i;
    if (i) AssignView(s.substr(i));
    return *this;
}

CString& CString::TrimRight(char16_t ch) {
    const std::u16string_view s = View();
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ch) --n;
    if (n != s.size()) AssignView(s.substr(0, n));
    return *this;
}

CString& CString::Trim(char16_t ch) { return TrimRight(ch).TrimLeft(ch); }

CString& CString::MakeUpper() {
    const std::size_t length = static_cast<std::size_t>(GetLength());
    if (length) {
        char16_t* p = MakeWritable(length, length);
        for (std::size_t i = 0; i < length; ++i) p[i] = ToUpper(p[i]);
    }
    return *this;
}

CString& CString::MakeLower() {
    const std::size_t length = static_cast<std::size_t>(GetLength());
    if (length) {
        char16_t* p = MakeWritable(length, length);
        for (std::size_t i = 0; i < length; ++i) p[i] = ToLower(p[i]);
    }
    return *this;
}

int CString::Compare(const CString& other) const {
    int r = View().compare(other.View());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const CString& other) const {
    const std::u16string_view a = View();
    const std::u16string_view b = other.View();
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = ToLower(a[i]), y = ToLower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string CString::ToUtf8() const {
    return codepage::Utf16ToUtf8(GetString(), static_cast<std::size_t>(GetLength()));
}
std::string CString::ToAnsi() const {
    return codepage::Utf16ToAnsi(GetString(), static_cast<std::size_t>(GetLength()));
}

CString& CString::operator+=(const CString& other) {
    if (IsEmpty()) *this = other;
    else Append(other.GetString(), static_cast<std::size_t>(other.GetLength()));
    return *this;
}

CString& CString::operator+=(const char16_t* other) {
    if (other && *other) Append(other, std::char_traits<char16_t>::length(other));
    return *this;
}

CString& CString::operator+=(char16_t ch) {
    Append(&ch, 1);
    return *this;
}

namespace {

CString Join(std::u16string_view a, std::u16string_view b) {
    CString r;
    const std::size_t length = a.size() + b.size();
    if (length > static_cast<std::size_t>(INT_MAX) - 1) throw std::bad_alloc();
    char16_t* p = r.GetBufferSetLength(static_cast<int>(length));
    if (!a.empty()) std::memcpy(p, a.data(), a.size() * sizeof(char16_t));
    if (!b.empty()) std::memcpy(p + a.size(), b.data(), b.size() * sizeof(char16_t));
    return r;
}

}  // namespace

CString operator+(const CString& a, const CString& b) {
    if (b.IsEmpty()) return a;
    if (a.IsEmpty()) return b;
    return Join(a.View(), b.View());
}

CString operator+(const CString& a, const char16_t* b) {
    if (!b || !*b) return a;
    return Join(a.View(), std::u16string_view(b));
}

CString operator+(const char16_t* a, const CString& b) {
    if (!a || !*a) return b;
    return Join(std::u16string_view(a), b.View());
}

CString operator+(const CString& a, char16_t b) { return Join(a.View(), std::u16string_view(&b, 1)); }

std::ostream& operator<<(std::ostream& os, const CString& s) { return os << s.ToUtf8(); }
