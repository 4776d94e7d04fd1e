#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// Wide text in UTF-16 code units with value semantics. A page of rows holds four texts
// per cell, all copies: short texts (most cells are numbers and dates) live in the object
// itself, longer ones in one shared buffer (header and units) until a copy is changed.
class CString {
public:
    CString() noexcept { SetInlineEmpty(); }
    CString(const CString& other) noexcept {
        std::memcpy(m_units, other.m_units, sizeof m_units);
        if (IsShared()) Retain();
    }
    CString(CString&& other) noexcept {
        std::memcpy(m_units, other.m_units, sizeof m_units);
        other.SetInlineEmpty();
    }
    CString& operator=(const CString& other) noexcept {
        if (this != &other) {
            if (other.IsShared()) {
                // A row put where a copy of the same text was: nothing changes.
                if (IsShared() && SharedHeader() == other.SharedHeader()) return *this;
                other.Retain();
            }
            if (IsShared()) Release();
            std::memcpy(m_units, other.m_units, sizeof m_units);
        }
        return *this;
    }
    CString& operator=(CString&& other) noexcept {
        if (this != &other) {
            if (IsShared()) Release();
            std::memcpy(m_units, other.m_units, sizeof m_units);
            other.SetInlineEmpty();
        }
        return *this;
    }
    ~CString() {
        if (IsShared()) Release();
    }
    CString(const char16_t* text);
    CString(const char16_t* text, int count);
    CString(std::u16string_view text);
    CString(std::u16string&& text);
    CString(char16_t ch, int repeat = 1);
    // 8-bit text through the ANSI code page (Windows-1252).
    CString(const char* ansi);
    CString(const char* ansi, int count);

    static CString FromAnsi(const char* bytes, std::size_t count);
    static CString FromUtf8(const char* bytes, std::size_t count);
    static CString FromUtf8(std::string_view bytes) { return FromUtf8(bytes.data(), bytes.size()); }

    int GetLength() const {
        return IsShared() ? static_cast<int>(SharedHeader()->length) : kInline - m_units[kInline];
    }
    bool IsEmpty() const { return GetLength() == 0; }
    void Empty() {
        if (IsShared()) Release();
        SetInlineEmpty();
    }
    char16_t GetAt(int index) const;
    char16_t operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char16_t ch);
    // Always NUL-terminated; valid until the text is next changed.
    const char16_t* GetString() const { return IsShared() ? SharedText(SharedHeader()) : m_units; }
    std::u16string_view View() const { return std::u16string_view(GetString(), static_cast<std::size_t>(GetLength())); }
    std::u16string Str() const { return std::u16string(View()); }

    // The text becomes length units (the first ones kept, the rest unset) and the buffer
    // is this text's alone: write the units, then ReleaseBuffer when fewer were used.
    // std::bad_alloc for a negative length.
    char16_t* GetBufferSetLength(int length);
    // Ends a GetBufferSetLength: the length becomes newLength (at most the one set),
    // or with -1 the length up to the first NUL.
    void ReleaseBuffer(int newLength = -1);

    // printf conversions with wide format text: %s takes const char16_t*, %c a char16_t
    // (passed as int); d i u x X o c s f F e E g G p %, flags, width, precision,
    // the length modifiers h hh l ll I64 z j t.
    void Format(const char16_t* format, ...);
    void AppendFormat(const char16_t* format, ...);

    int Find(char16_t ch, int start = 0) const;
    int Find(const CString& sub, int start = 0) const;
    int ReverseFind(char16_t ch) const;
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    int Replace(char16_t oldCh, char16_t newCh);
    int Replace(const CString& oldText, const CString& newText);
    int Remove(char16_t ch);
    int Insert(int index, const CString& text);
    int Delete(int index, int count = 1);
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(char16_t ch);
    CString& TrimLeft(char16_t ch);
    CString& TrimRight(char16_t ch);
    CString& MakeUpper();
    CString& MakeLower();

    int Compare(const CString& other) const;
    int CompareNoCase(const CString& other) const;

    std::string ToUtf8() const;
    std::string ToAnsi() const;

    CString& operator+=(const CString& other);
    CString& operator+=(const char16_t* other);
    CString& operator+=(char16_t ch);

    friend bool operator==(const CString& a, const CString& b) { return a.View() == b.View(); }
    friend bool operator==(const CString& a, const char16_t* b) { return a.View() == std::u16string_view(b); }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) {
        return a.View() <=> b.View();
    }

private:
    struct Shared {
        std::atomic<std::uint32_t> refs;
        std::uint32_t length;
        std::uint32_t capacity;
        std::uint32_t spare;
    };
    // Units held in the object; the unit after them is the inline length's complement
    // (kInline - length), so a full inline text ends in its own NUL, or kSharedTag.
    static constexpr int kInline = 15;
    static constexpr char16_t kSharedTag = 0xFFFF;

    bool IsShared() const { return m_units[kInline] == kSharedTag; }
    Shared* SharedHeader() const {
        Shared* p;
        std::memcpy(&p, m_units, sizeof p);
        return p;
    }
    static char16_t* SharedText(Shared* p) { return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(p) + sizeof(Shared)); }
    void SetInlineEmpty() {
        std::memset(m_units, 0, sizeof m_units);
        m_units[kInline] = static_cast<char16_t>(kInline);
    }
    static Shared* Allocate(std::size_t capacity);
    void Retain() const;
    void Release();
    void SetShared(Shared* p);
    void Init(const char16_t* text, std::size_t count);
    void Append(const char16_t* text, std::size_t count);
    // The writable units of a text of length units, of this text alone, keeping the
    // first min(old, length) units; room for at least capacity units.
    char16_t* MakeWritable(std::size_t length, std::size_t capacity);
    void AssignView(std::u16string_view text) { *this = CString(text); }

    alignas(8) char16_t m_units[kInline + 1];
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char16_t* b);
CString operator+(const char16_t* a, const CString& b);
CString operator+(const CString& a, char16_t b);

// For test failure messages.
#include <ostream>
std::ostream& operator<<(std::ostream& os, const CString& s);
