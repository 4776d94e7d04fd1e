#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>
#include <string>

#include "platform/core/CString.h"

namespace {

CString Fmt(const char16_t* format, auto... args) {
    CString s;
    s.Format(format, args...);
    return s;
}

TEST(CStringFormat, ConversionsMatchPrintf) {
    struct Case {
        CString got;
        const char16_t* want;
    } cases[] = {
        {Fmt(u"%d", -42), u"-42"},
        {Fmt(u"%d", INT_MIN), u"-2147483648"},
        {Fmt(u"%ld", -7L), u"-7"},
        {Fmt(u"%lld", LLONG_MIN), u"-9223372036854775808"},
        {Fmt(u"%lld", 9223372036854775807LL), u"9223372036854775807"},
        {Fmt(u"%u", 4294967295u), u"4294967295"},
        {Fmt(u"%f", 1.5), u"1.500000"},
        {Fmt(u"%f", -0.5), u"-0.500000"},
        {Fmt(u"%f", 1e300).Left(7), u"1000000"},
        {Fmt(u"%02X", 0x0A), u"0A"},
        {Fmt(u"%02X", 0xFF), u"FF"},
        {Fmt(u"%X", 0xBEEFu), u"BEEF"},
        {Fmt(u"%c", u'\u00e9'), u"\u00e9"},
        {Fmt(u"%s-%s", u"a\u00e9", u"\u20ac"), u"a\u00e9-\u20ac"},
        {Fmt(u"%5d|%-5d|%05d", 42, 42, 42), u"   42|42   |00042"},
        {Fmt(u"%+d %.2f %10.3f", 3, 2.345, 1.0), u"+3 2.35      1.000"},
        {Fmt(u"%5s|%-5s|%.2s", u"ab", u"ab", u"abcdef"), u"   ab|ab   |ab"},
        {Fmt(u"%s[%lld]", u"t1", 1000LL), u"t1[1000]"},
        {Fmt(u"%lld rows to %lld", 1000LL, 2000LL), u"1000 rows to 2000"},
        {Fmt(u"100%%"), u"100%"},
        {Fmt(u"%I64d", -5LL), u"-5"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, CString(c.want));
}

// The integer and "%f" conversions are done without the C library: they must give its
// text for every flag, width, precision and edge value.
template <typename T>
void ExpectLikePrintf(const char* format, T value) {
    char narrow[1024];
    const int n = std::snprintf(narrow, sizeof narrow, format, value);
    ASSERT_GE(n, 0);
    ASSERT_LT(n, static_cast<int>(sizeof narrow));
    std::u16string wide(format, format + std::strlen(format));
    CString got;
    got.Format(wide.c_str(), value);
    EXPECT_EQ(got.ToUtf8(), std::string(narrow, static_cast<std::size_t>(n))) << "format " << format;
}

TEST(CStringFormat, IntegerAndFixedConversionsMatchTheCLibrary) {
    const char* intFormats[] = {"%d",   "%i",    "%5d",   "%-5d|", "%05d", "%+d",   "% d",    "%+05d", "%.3d",
                                "%.0d", "%8.3d", "%-+8.3d|", "%08.3d", "%x", "%#x",  "%#X",   "%08X",  "%02X",
                                "%#08x", "%o",  "%#o",   "%#.0o", "%.0x", "%u",  "%5u",   "%-3u|", "%hd",
                                "%hhd", "%hu",   "%hhX",  "%1d"};
    const int ints[] = {0, 1, -1, 7, 42, -42, 255, 0xBEEF, -100000, INT_MIN, INT_MAX};
    for (const char* f : intFormats)
        for (int v : ints) ExpectLikePrintf(f, v);
    const char* longFormats[] = {"%lld", "%llu", "%llx", "%020lld", "%-22lld|", "%+lld", "%.25lld"};
    const long long longs[] = {0, -1, 1000000, -499998999997LL, LLONG_MIN, LLONG_MAX};
    for (const char* f : longFormats)
        for (long long v : longs) ExpectLikePrintf(f, v);

    const char* fixedFormats[] = {"%f",   "%.0f",   "%.1f",     "%.2f",  "%10.3f", "%-10.3f|", "%010.3f", "%+f",
                                  "% f",  "%+08.2f", "%.15f",   "%F",    "%.60f",  "%.61f",    "%e",      "%g",
                                  "%#.0f", "%12f",   "%-12f|"};
    std::vector<double> doubles = {0.0,      -0.0,      0.5,       1.5,       2.5,     -0.5,    0.125,   0.375,
                                   1e300,    -1e300,    1e-300,    4.9e-324,  2.2250738585072014e-308,
                                   1.7976931348623157e308, 123456.789, 0.1, 1.0 / 3, 1e15 + 0.3, 9.9999995,
                                   0.0000005, 0.0000015, 0.0000025, -2499.99, 0.142857142857,
                                   std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
    std::uint64_t bits = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 300; ++i) {
        bits = bits * 6364136223846793005ull + 1442695040888963407ull;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        doubles.push_back(d);
        doubles.push_back(static_cast<double>(static_cast<std::int64_t>(bits >> 20)) / 1000.0);
    }
    for (const char* f : fixedFormats)
        for (double v : doubles) ExpectLikePrintf(f, v);
}

TEST(CStringFormat, LongResultIsNotCut) {
    CString big;
    big.Format(u"%f", 1e308);
    EXPECT_EQ(big.GetLength(), 309 + 7);
    CString s(u'x', 5000);
    CString out;
    out.Format(u"[%s]", s.GetString());
    EXPECT_EQ(out.GetLength(), 5002);
}

TEST(CStringValue, CopiesAreIndependent) {
    // A text too long to be held in the object: copies share its buffer until written.
    CString longText(u'x', 100);
    CString longCopy = longText;
    EXPECT_EQ(longText.GetString(), longCopy.GetString()) << "a copy shares its buffer until written";
    longCopy.SetAt(99, u'y');
    EXPECT_NE(longText.GetString(), longCopy.GetString());
    EXPECT_EQ(longText, CString(u'x', 100));
    EXPECT_EQ(longCopy, CString(u'x', 99) + u'y');
    CString a(u"value");
    CString b = a;
    b.SetAt(0, u'V');
    b += u"!";
    EXPECT_EQ(a, CString(u"value"));
    EXPECT_EQ(b, CString(u"Value!"));
    CString c = a;
    c.MakeUpper();
    c.Replace(u"VAL", u"x");
    EXPECT_EQ(a, CString(u"value"));
    EXPECT_EQ(c, CString(u"xUE"));
    CString d = a;
    a.Empty();
    EXPECT_EQ(d, CString(u"value"));
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(*a.GetString(), u'\0');
}

// Short texts live in the object, longer ones in a shared buffer: every operation must
// give the same text on either side of that limit and across it, as std::u16string does.
TEST(CStringValue, EditsAcrossTheInlineLimitMatchAPlainString) {
    for (std::size_t length : {0u, 1u, 7u, 8u, 14u, 15u, 16u, 22u, 23u, 24u, 25u, 31u, 32u, 100u}) {
        SCOPED_TRACE("length " + std::to_string(length));
        std::u16string model;
        for (std::size_t i = 0; i < length; ++i) model.push_back(static_cast<char16_t>(u'a' + i % 26));
        CString s(model);
        ASSERT_EQ(s.GetLength(), static_cast<int>(length));
        EXPECT_EQ(s.View(), model);
        EXPECT_EQ(s.GetString()[length], u'\0');

        // Copies, moves and appends of itself, one unit at a time over the limit.
        CString copy = s;
        CString moved = std::move(copy);
        EXPECT_EQ(moved.View(), model);
        EXPECT_TRUE(copy.IsEmpty());  // NOLINT: a moved-from text is empty
        CString grown = s;
        std::u16string grownModel = model;
        for (int i = 0; i < 30; ++i) {
            grown += static_cast<char16_t>(u'0' + i % 10);
            grownModel.push_back(static_cast<char16_t>(u'0' + i % 10));
            ASSERT_EQ(grown.View(), grownModel);
            ASSERT_EQ(grown.GetString()[grownModel.size()], u'\0');
        }
        EXPECT_EQ(s.View(), model) << "the source of the copy is unchanged";
        CString doubled = s;
        doubled += doubled;
        EXPECT_EQ(doubled.View(), model + model);
        CString tail = s;
        tail += tail.GetString() + length / 2;
        EXPECT_EQ(tail.View(), model + model.substr(length / 2));
        EXPECT_EQ((s + s).View(), model + model);
        EXPECT_EQ((s + u"xy").View(), model + u"xy");
        EXPECT_EQ((u"xy" + s).View(), u"xy" + model);

        // Writes through one copy leave the other as it was.
        CString other = s;
        if (length) {
            other.SetAt(static_cast<int>(length) - 1, u'#');
            EXPECT_EQ(s.View(), model);
            EXPECT_EQ(other.View(), model.substr(0, length - 1) + u"#");
        }
        other = s;
        other.MakeUpper();
        EXPECT_EQ(s.View(), model);
        CString& same = other;
        other = same;  // assigning a text to itself keeps it
        EXPECT_EQ(other.GetLength(), static_cast<int>(length));

        // A buffer written in place, then cut.
        CString built = s;
        char16_t* p = built.GetBufferSetLength(static_cast<int>(length) + 5);
        for (int i = 0; i < 5; ++i) p[length + static_cast<std::size_t>(i)] = u'!';
        built.ReleaseBuffer(static_cast<int>(length) + 3);
        EXPECT_EQ(built.View(), model + u"!!!");
        EXPECT_EQ(s.View(), model);
        p = built.GetBufferSetLength(static_cast<int>(length) + 3);
        p[length] = u'\0';
        built.ReleaseBuffer();
        EXPECT_EQ(built.View(), model);
        EXPECT_EQ(built.GetString()[length], u'\0');

        CString formatted;
        formatted.Format(u"%s|%d", s.GetString(), 7);
        EXPECT_EQ(formatted.View(), model + u"|7");
        formatted.AppendFormat(u"%s", formatted.GetString());
        EXPECT_EQ(formatted.View(), model + u"|7" + model + u"|7");
        EXPECT_EQ(CString::FromUtf8(std::string(model.begin(), model.end())).View(), model);
        EXPECT_EQ(CString::FromAnsi(std::string(model.begin(), model.end()).data(), length).View(), model);
    }
}

TEST(CStringEdit, SearchAndSlices) {
    CString s(u"db\\table\\x");
    EXPECT_EQ(s.Find(u'\\'), 2);
    EXPECT_EQ(s.Find(u'\\', 3), 8);
    EXPECT_EQ(s.Find(CString(u"table")), 3);
    EXPECT_EQ(s.Find(u'q'), -1);
    EXPECT_EQ(s.Find(u'\\', 100), -1);
    EXPECT_EQ(s.ReverseFind(u'\\'), 8);
    EXPECT_EQ(s.Left(2), CString(u"db"));
    EXPECT_EQ(s.Mid(3, 5), CString(u"table"));
    EXPECT_EQ(s.Mid(9), CString(u"x"));
    EXPECT_EQ(s.Right(1), CString(u"x"));
    // Out-of-range arguments clamp instead of failing.
    EXPECT_EQ(s.Left(-1), CString());
    EXPECT_EQ(s.Left(99), s);
    EXPECT_EQ(s.Mid(99), CString());
    EXPECT_EQ(s.Mid(-3, 2), CString(u"db"));
    EXPECT_EQ(s.Right(99), s);
    EXPECT_EQ(s.GetAt(99), u'\0');
}

TEST(CStringEdit, ReplaceRemoveTrimCase) {
    CString p(u"a\\\\b\\\\\\\\c");
    EXPECT_EQ(p.Replace(u"\\\\", u"\\"), 3);
    EXPECT_EQ(p, CString(u"a\\b\\\\c"));
    CString r(u"a,b,,c");
    EXPECT_EQ(r.Remove(u','), 3);
    EXPECT_EQ(r, CString(u"abc"));
    EXPECT_EQ(r.Replace(u'b', u'B'), 1);
    EXPECT_EQ(r, CString(u"aBc"));
    CString t(u" \t x y \r\n");
    t.Trim();
    EXPECT_EQ(t, CString(u"x y"));
    CString l(u"  x ");
    l.TrimLeft();
    EXPECT_EQ(l, CString(u"x "));
    l.TrimRight();
    EXPECT_EQ(l, CString(u"x"));
    CString q(u"'a'");
    q.Trim(u'\'');
    EXPECT_EQ(q, CString(u"a"));
    CString u(u"primary \u00e9");
    u.MakeUpper();
    EXPECT_EQ(u, CString(u"PRIMARY \u00c9"));
    EXPECT_EQ(CString(u"Primary").CompareNoCase(CString(u"PRIMARY")), 0);
    EXPECT_LT(CString(u"abc").CompareNoCase(CString(u"ABD")), 0);
    EXPECT_GT(CString(u"abcd").CompareNoCase(CString(u"ABC")), 0);
    EXPECT_LT(CString(u"a").Compare(CString(u"b")), 0);
    CString ins(u"ac");
    ins.Insert(1, CString(u"b"));
    EXPECT_EQ(ins, CString(u"abc"));
    ins.Delete(0, 2);
    EXPECT_EQ(ins, CString(u"c"));
}

TEST(CStringConvert, Utf8AndAnsiConstruction) {
    EXPECT_EQ(CString::FromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"), CString(u"caf\u00e9 \U0001F600"));
    EXPECT_EQ(CString(u"caf\u00e9 \U0001F600").ToUtf8(), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(CString("\x80 \xE9"), CString(u"\u20ac \u00e9"));
    EXPECT_EQ(CString(u"\u20ac \u00e9 \u4e2d").ToAnsi(), "\x80 \xE9 ?");
    EXPECT_EQ(CString("abc", 2), CString(u"ab"));
}

}  // namespace
