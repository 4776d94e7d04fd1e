// Documents in the binary JSON form of MySQL 5.7's JSON columns, written out byte by byte
// from the form's layout: a type byte, then the value; containers as count, size, key
// entries (offset, length), value entries (type, offset or the value itself), keys and
// values, offsets counted from the container's first byte.

#include <gtest/gtest.h>

#include <string>

#include "engine/MySqlJson.h"

namespace {

// DECIMAL inside a document: precision and scale as the formatter gets them.
std::string Decimal(std::uint32_t precision, std::uint32_t scale, const unsigned char*, std::size_t n) {
    return "dec(" + std::to_string(precision) + "," + std::to_string(scale) + "," + std::to_string(n) + ")";
}

bool Text(const std::string& doc, std::string& out) {
    return MySqlJsonText(reinterpret_cast<const unsigned char*>(doc.data()), doc.size(), Decimal, out);
}

// {"a": 1, "bb": [true, "x"]}: two key entries, two value entries (1 inline), keys at 18
// and 19, the array at 21 with an inline literal and a string at its offset 10.
const std::string kObject("\x00\x02\x00\x21\x00"
                          "\x12\x00\x01\x00\x13\x00\x02\x00"
                          "\x05\x01\x00\x02\x15\x00"
                          "abb"
                          "\x02\x00\x0c\x00\x04\x01\x00\x0c\x0a\x00\x01x",
                          34);

// Arrays nested depth deep around an empty one.
std::string Nested(int depth) {
    std::string inner("\x00\x00\x04\x00", 4);
    for (int i = 0; i < depth; ++i) {
        const std::size_t size = 7 + inner.size();
        inner = std::string("\x01\x00", 2) + static_cast<char>(size & 0xFF) + static_cast<char>(size >> 8) +
                std::string("\x02\x07\x00", 3) + inner;
    }
    return "\x02" + inner;
}

TEST(MySqlJson, DocumentsReadAsTheServerPrintsThem) {
    const struct {
        const char* what;
        std::string doc;
        const char* text;
    } cases[] = {
        {"no bytes", "", "null"},
        {"object with a nested array", kObject, "{\"a\": 1, \"bb\": [true, \"x\"]}"},
        // Large form: 32-bit integers sit in the entry too; a 16-bit one keeps its sign.
        {"large array", std::string("\x03\x02\x00\x00\x00\x12\x00\x00\x00\x07\x70\x11\x01\x00\x05\xfe\xff\xff\xff", 19),
         "[70000, -2]"},
        {"empty object", std::string("\x00\x00\x00\x04\x00", 5), "{}"},
        {"literal false", std::string("\x04\x02", 2), "false"},
        {"int64", std::string("\x09\xfb\xff\xff\xff\xff\xff\xff\xff", 9), "-5"},
        {"uint64", std::string("\x0a\xff\xff\xff\xff\xff\xff\xff\xff", 9), "18446744073709551615"},
        {"double", std::string("\x0b\x00\x00\x00\x00\x00\x00\xf8\x3f", 9), "1.5"},
        {"whole double", std::string("\x0b\x00\x00\x00\x00\x00\x00\x00\x40", 9), "2.0"},
        {"large double", std::string("\x0b\x9c\x75\x00\x88\x3c\xe4\x37\x7e", 9), "1e300"},
        {"string escapes", std::string("\x0c\x07" "a\"\\\n\x01\xc3\xbc", 9), "\"a\\\"\\\\\\n\\u0001\xc3\xbc\""},
        {"opaque date", std::string("\x0f\x0a\x08\x00\x00\x00\x00\x00\xba\xb2\x19", 11), "\"2024-02-29\""},
        {"opaque datetime", std::string("\x0f\x0c\x08\x20\xa1\x07\x19\x76\x1f\x95\x19", 11),
         "\"2015-01-15 23:24:25.500000\""},
        {"opaque negative time", std::string("\x0f\x0b\x08\x00\x00\x00\x05\x91\xcb\xff\xff", 11), "\"-838:59:59.000000\""},
        {"opaque decimal", std::string("\x0f\xf6\x04\x04\x02\x8c\x32", 7), "dec(4,2,2)"},
        {"opaque other", std::string("\x0f\xfc\x02" "AB", 5), "\"base64:type252:QUI=\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        ASSERT_TRUE(Text(c.doc, out));
        EXPECT_EQ(out, c.text);
    }
    std::string out;
    ASSERT_TRUE(Text("\x0c\xc8\x01" + std::string(200, 'x'), out));
    EXPECT_EQ(out, "\"" + std::string(200, 'x') + "\"");
    ASSERT_TRUE(Text(Nested(3), out));
    EXPECT_EQ(out, "[[[[]]]]");
    EXPECT_TRUE(Text(Nested(50), out)) << "as deep as the server nests";
}

TEST(MySqlJson, BytesThatAreNoDocumentAreRefused) {
    std::string keyPastEnd = kObject;
    keyPastEnd[7] = '\x40';  // the first key's offset past the object
    std::string valuePastEnd = kObject;
    valuePastEnd[17] = '\x30';  // the array's offset past the object
    std::string sizePastEnd = kObject;
    sizePastEnd[3] = '\x40';
    std::string valueInHeaders = kObject;
    valueInHeaders[17] = '\x02';  // an offset inside the entries
    const struct {
        const char* what;
        std::string doc;
    } cases[] = {
        {"cut short", kObject.substr(0, 20)},
        {"key past the end", keyPastEnd},
        {"value past the end", valuePastEnd},
        {"size past the end", sizePastEnd},
        {"value offset inside the entries", valueInHeaders},
        {"unknown type", std::string("\x0d\x00", 2)},
        {"unknown literal", std::string("\x04\x03", 2)},
        {"integer cut short", std::string("\x09\x01\x02", 3)},
        {"string longer than the bytes", std::string("\x0c\x05" "abc", 5)},
        {"length of more than five bytes", std::string("\x0c\xff\xff\xff\xff\xff\x01", 7)},
        {"count above the size", std::string("\x02\xff\x00\x04\x00", 5)},
        {"nested far too deep", Nested(5000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "kept?";
        EXPECT_FALSE(Text(c.doc, out));
        EXPECT_TRUE(out.empty());
    }
}

}  // namespace
