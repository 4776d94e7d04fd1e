#include <gtest/gtest.h>

#include <climits>

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
    CString a(u"value");
    CString b = a;
    EXPECT_EQ(a.GetString(), b.GetString()) << "a copy shares its buffer until written";
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
