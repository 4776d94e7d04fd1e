#include "platform/core/CString.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/core/CodePage.h"

namespace {

const std::u16string& EmptyText() {
    static const std::u16string empty;
    return empty;
}

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

void AppendAscii(std::u16string& out, const char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<unsigned char>(text[i]));
}

void FormatInto(std::u16string& out, const char16_t* fmt, va_list args) {
    for (const char16_t* p = fmt; *p;) {
        if (*p != u'%') {
            out.push_back(*p++);
            continue;
        }
        const char16_t* start = p++;
        if (*p == u'%') {
            out.push_back(u'%');
            ++p;
            continue;
        }
        // Rebuild the conversion as narrow text for the C library, minus the length
        // modifier, which we decide from the conversion ourselves.
        std::string spec = "%";
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
            spec.push_back(static_cast<char>(*p++));
        if (*p == u'*') {
            spec += std::to_string(va_arg(args, int));
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') spec.push_back(static_cast<char>(*p++));
        }
        if (*p == u'.') {
            spec.push_back('.');
            ++p;
            if (*p == u'*') {
                spec += std::to_string(va_arg(args, int));
                ++p;
            } else {
                while (*p >= u'0' && *p <= u'9') spec.push_back(static_cast<char>(*p++));
            }
        }
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
        char buf[512];
        int n = 0;
        switch (conv) {
        case u'd':
        case u'i': {
            long long v;
            if (longness >= 2) v = va_arg(args, long long);
            else if (longness == 1) v = va_arg(args, long);
            else v = va_arg(args, int);
            if (longness == -1) v = static_cast<short>(v);
            if (longness == -2) v = static_cast<signed char>(v);
            spec += "lld";
            n = std::snprintf(buf, sizeof buf, spec.c_str(), v);
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
            spec += "ll";
            spec.push_back(static_cast<char>(conv));
            n = std::snprintf(buf, sizeof buf, spec.c_str(), v);
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
            spec.push_back(static_cast<char>(conv));
            n = std::snprintf(nullptr, 0, spec.c_str(), v);
            if (n >= static_cast<int>(sizeof buf)) {
                std::string big(static_cast<std::size_t>(n) + 1, '\0');
                std::snprintf(big.data(), big.size(), spec.c_str(), v);
                AppendAscii(out, big.data(), static_cast<std::size_t>(n));
                n = -1;
            } else {
                n = std::snprintf(buf, sizeof buf, spec.c_str(), v);
            }
            break;
        }
        case u'p': {
            void* v = va_arg(args, void*);
            spec.push_back('p');
            n = std::snprintf(buf, sizeof buf, spec.c_str(), v);
            break;
        }
        case u'c':
        case u's': {
            std::u16string text;
            if (conv == u'c') {
                text.push_back(static_cast<char16_t>(va_arg(args, int)));
            } else {
                const char16_t* s = va_arg(args, const char16_t*);
                text = s ? s : u"(null)";
            }
            // Width, precision and '-' of the narrow spec apply to the wide text.
            bool left = spec.find('-') != std::string::npos;
            std::size_t width = 0, prec = std::u16string::npos;
            std::size_t dot = spec.find('.');
            std::string widthPart = spec.substr(1, dot == std::string::npos ? std::string::npos : dot - 1);
            std::size_t digits = widthPart.find_first_of("123456789");
            if (digits != std::string::npos) width = std::stoul(widthPart.substr(digits));
            if (dot != std::string::npos && conv == u's')
                prec = spec.size() > dot + 1 ? std::stoul(spec.substr(dot + 1)) : 0;
            if (prec < text.size()) text.resize(prec);
            if (text.size() < width && !left) out.append(width - text.size(), u' ');
            out += text;
            if (text.size() < width && left) out.append(width - text.size(), u' ');
            n = -1;
            break;
        }
        default:
            // Unknown conversion: copy it literally rather than guess at its argument.
            out.append(start, p);
            n = -1;
            break;
        }
        if (n > 0) AppendAscii(out, buf, static_cast<std::size_t>(n < static_cast<int>(sizeof buf) ? n : sizeof buf - 1));
    }
}

}  // namespace

CString::CString(const char16_t* text) {
    if (text && *text) m_p = std::make_shared<std::u16string>(text);
}

CString::CString(const char16_t* text, int count) {
    if (text && count > 0) m_p = std::make_shared<std::u16string>(text, static_cast<std::size_t>(count));
}

CString::CString(std::u16string_view text) {
    if (!text.empty()) m_p = std::make_shared<std::u16string>(text);
}

CString::CString(std::u16string&& text) { Assign(std::move(text)); }

CString::CString(char16_t ch, int repeat) {
    if (repeat > 0) m_p = std::make_shared<std::u16string>(static_cast<std::size_t>(repeat), ch);
}

CString::CString(const char* ansi) {
    if (ansi) Assign(codepage::AnsiToUtf16(ansi, std::strlen(ansi)));
}

CString::CString(const char* ansi, int count) {
    if (ansi && count > 0) Assign(codepage::AnsiToUtf16(ansi, static_cast<std::size_t>(count)));
}

CString CString::FromAnsi(const char* bytes, std::size_t count) {
    return CString(codepage::AnsiToUtf16(bytes, count));
}

CString CString::FromUtf8(const char* bytes, std::size_t count) {
    return CString(codepage::Utf8ToUtf16(bytes, count));
}

void CString::Assign(std::u16string&& text) {
    if (text.empty()) m_p.reset();
    else m_p = std::make_shared<std::u16string>(std::move(text));
}

std::u16string& CString::Mutable() {
    if (!m_p) m_p = std::make_shared<std::u16string>();
    else if (m_p.use_count() > 1) m_p = std::make_shared<std::u16string>(*m_p);
    return *m_p;
}

const std::u16string& CString::Str() const { return m_p ? *m_p : EmptyText(); }
std::u16string_view CString::View() const { return Str(); }
const char16_t* CString::GetString() const { return Str().c_str(); }

char16_t CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) return 0;
    return (*m_p)[static_cast<std::size_t>(index)];
}

void CString::SetAt(int index, char16_t ch) {
    if (index < 0 || index >= GetLength()) return;
    Mutable()[static_cast<std::size_t>(index)] = ch;
}

void CString::Format(const char16_t* format, ...) {
    std::u16string out;
    va_list args;
    va_start(args, format);
    FormatInto(out, format, args);
    va_end(args);
    Assign(std::move(out));
}

void CString::AppendFormat(const char16_t* format, ...) {
    std::u16string out = Str();
    va_list args;
    va_start(args, format);
    FormatInto(out, format, args);
    va_end(args);
    Assign(std::move(out));
}

int CString::Find(char16_t ch, int start) const {
    if (start < 0) start = 0;
    if (start >= GetLength()) return -1;
    auto pos = Str().find(ch, static_cast<std::size_t>(start));
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const CString& sub, int start) const {
    if (start < 0) start = 0;
    if (start > GetLength()) return -1;
    auto pos = Str().find(sub.Str(), static_cast<std::size_t>(start));
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char16_t ch) const {
    auto pos = Str().rfind(ch);
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(Str().substr(0, static_cast<std::size_t>(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    int len = GetLength();
    if (first >= len || count <= 0) return CString();
    if (count > len - first) count = len - first;
    if (first == 0 && count == len) return *this;
    return CString(Str().substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const {
    int len = GetLength();
    if (count <= 0) return CString();
    if (count >= len) return *this;
    return CString(Str().substr(static_cast<std::size_t>(len - count)));
}

int CString::Replace(char16_t oldCh, char16_t newCh) {
    if (Find(oldCh) < 0) return 0;
    int n = 0;
    for (auto& c : Mutable())
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    return n;
}

int CString::Replace(const CString& oldText, const CString& newText) {
    if (oldText.IsEmpty() || Find(oldText) < 0) return 0;
    const std::u16string& s = Str();
    const std::u16string& o = oldText.Str();
    std::u16string out;
    int n = 0;
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = s.find(o, pos);
        if (hit == std::u16string::npos) break;
        out.append(s, pos, hit - pos);
        out += newText.Str();
        pos = hit + o.size();
        ++n;
    }
    out.append(s, pos, std::u16string::npos);
    Assign(std::move(out));
    return n;
}

int CString::Remove(char16_t ch) {
    if (Find(ch) < 0) return 0;
    std::u16string out;
    int n = 0;
    for (char16_t c : Str()) {
        if (c == ch) ++n;
        else out.push_back(c);
    }
    Assign(std::move(out));
    return n;
}

int CString::Insert(int index, const CString& text) {
    if (index < 0) index = 0;
    if (index > GetLength()) index = GetLength();
    if (!text.IsEmpty()) Mutable().insert(static_cast<std::size_t>(index), text.Str());
    return GetLength();
}

int CString::Delete(int index, int count) {
    int len = GetLength();
    if (index < 0) index = 0;
    if (count > 0 && index < len) {
        if (count > len - index) count = len - index;
        std::u16string s = Str();
        s.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
        Assign(std::move(s));
    }
    return GetLength();
}

CString& CString::TrimLeft() {
    const std::u16string& s = Str();
    std::size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (i) Assign(s.substr(i));
    return *this;
}

CString& CString::TrimRight() {
    const std::u16string& s = Str();
    std::size_t n = s.size();
    while (n > 0 && IsSpace(s[n - 1])) --n;
    if (n != s.size()) Assign(s.substr(0, n));
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft(char16_t ch) {
    const std::u16string& s = Str();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ch) ++i;
    if (i) Assign(s.substr(i));
    return *this;
}

CString& CString::TrimRight(char16_t ch) {
    const std::u16string& s = Str();
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ch) --n;
    if (n != s.size()) Assign(s.substr(0, n));
    return *this;
}

CString& CString::Trim(char16_t ch) { return TrimRight(ch).TrimLeft(ch); }

CString& CString::MakeUpper() {
    if (!IsEmpty())
        for (auto& c : Mutable()) c = ToUpper(c);
    return *this;
}

CString& CString::MakeLower() {
    if (!IsEmpty())
        for (auto& c : Mutable()) c = ToLower(c);
    return *this;
}

int CString::Compare(const CString& other) const {
    int r = Str().compare(other.Str());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const CString& other) const {
    const std::u16string& a = Str();
    const std::u16string& b = other.Str();
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = ToLower(a[i]), y = ToLower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string CString::ToUtf8() const { return codepage::Utf16ToUtf8(Str().data(), Str().size()); }
std::string CString::ToAnsi() const { return codepage::Utf16ToAnsi(Str().data(), Str().size()); }

CString& CString::operator+=(const CString& other) {
    if (IsEmpty()) *this = other;
    else if (!other.IsEmpty()) Mutable() += other.Str();
    return *this;
}

CString& CString::operator+=(const char16_t* other) {
    if (other && *other) Mutable() += other;
    return *this;
}

CString& CString::operator+=(char16_t ch) {
    Mutable().push_back(ch);
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, const char16_t* b) {
    CString r(a);
    r += b;
    return r;
}

CString operator+(const char16_t* a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, char16_t b) {
    CString r(a);
    r += b;
    return r;
}

std::ostream& operator<<(std::ostream& os, const CString& s) { return os << s.ToUtf8(); }
