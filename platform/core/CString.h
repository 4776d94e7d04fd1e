#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Wide text in UTF-16 code units with value semantics. Copies share one buffer until
// one of them is changed: a page of rows holds four texts per cell, all copies.
class CString {
public:
    CString() = default;
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

    int GetLength() const { return m_p ? static_cast<int>(m_p->size()) : 0; }
    bool IsEmpty() const { return GetLength() == 0; }
    void Empty() { m_p.reset(); }
    char16_t GetAt(int index) const;
    char16_t operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char16_t ch);
    // Always NUL-terminated; valid until the text is next changed.
    const char16_t* GetString() const;
    std::u16string_view View() const;
    const std::u16string& Str() const;

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
    std::u16string& Mutable();
    void Assign(std::u16string&& text);

    std::shared_ptr<std::u16string> m_p;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char16_t* b);
CString operator+(const char16_t* a, const CString& b);
CString operator+(const CString& a, char16_t b);

// For test failure messages.
#include <ostream>
std::ostream& operator<<(std::ostream& os, const CString& s);
