#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/Decoding.h"
#include "engine/FieldValue.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kGroupBytes[10] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};

// The server's packed form: nine-digit words in four bytes, the leftover digits of each
// part in as few bytes as hold them, the sign in the first bit, negatives complemented.
Bytes Encode(std::uint32_t precision, std::uint32_t scale, bool negative, std::uint64_t whole, std::uint64_t part) {
    Bytes out;
    auto put = [&out](std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    const std::uint32_t intg = precision - scale;
    std::vector<std::uint64_t> wholeWords;
    for (std::uint32_t i = 0; i < intg / 9; ++i) {
        wholeWords.insert(wholeWords.begin(), whole % 1000000000);
        whole /= 1000000000;
    }
    if (intg % 9) put(whole, kGroupBytes[intg % 9]);
    for (std::uint64_t w : wholeWords) put(w, 4);
    std::uint64_t tailScale = 1;
    for (std::uint32_t i = 0; i < scale % 9; ++i) tailScale *= 10;
    const std::uint64_t tail = part % tailScale;
    part /= tailScale;
    std::vector<std::uint64_t> partWords;
    for (std::uint32_t i = 0; i < scale / 9; ++i) {
        partWords.insert(partWords.begin(), part % 1000000000);
        part /= 1000000000;
    }
    for (std::uint64_t w : partWords) put(w, 4);
    if (scale % 9) put(tail, kGroupBytes[scale % 9]);
    if (negative)
        for (unsigned char& b : out) b = static_cast<unsigned char>(~b);
    if (!out.empty()) out[0] ^= 0x80;
    return out;
}

// DECIMAL columns of up to 18 digits are printed without the word buffer: every value,
// sign and damage must read as the general conversion reads it.
TEST(DecimalText, ShortDecimalsReadAsTheGeneralConversion) {
    CDralvekOstruneApp app;
    AppEngine engine;
    std::uint64_t seed = 88172645463325252ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    int compared = 0;
    for (std::uint32_t precision = 1; precision <= 22; ++precision) {
        for (std::uint32_t scale = 0; scale <= precision; ++scale) {
            ColumnInfo c;
            c.m_nType = MYSQL_TYPE_NEWDECIMAL;
            c.m_nPrecision = precision;
            c.m_nDecimals = scale;
            const std::uint32_t size = DecimalBinarySize(precision, scale);
            auto limit = [](std::uint32_t digits) {
                std::uint64_t v = 1;
                for (std::uint32_t i = 0; i < digits && i < 19; ++i) v *= 10;
                return v;
            };
            const std::uint64_t wholeLimit = limit(precision - scale);
            const std::uint64_t partLimit = limit(scale);
            std::vector<Bytes> values;
            for (bool negative : {false, true}) {
                values.push_back(Encode(precision, scale, negative, 0, 0));
                values.push_back(Encode(precision, scale, negative, wholeLimit - 1, partLimit - 1));
                values.push_back(Encode(precision, scale, negative, 0, partLimit > 1 ? 1 : 0));
                values.push_back(Encode(precision, scale, negative, 1, 0));
                for (int i = 0; i < 60; ++i)
                    values.push_back(Encode(precision, scale, negative, next() % wholeLimit >> (next() % 60),
                                            next() % partLimit));
            }
            for (int i = 0; i < 40; ++i) {  // damaged: any bytes at all
                Bytes b(size);
                for (unsigned char& x : b) x = static_cast<unsigned char>(next());
                values.push_back(b);
            }
            for (const Bytes& b : values) {
                ASSERT_EQ(b.size(), size);
                std::int32_t words[9] = {};
                DecimalValue work;
                work.m_nLen = 9;
                work.m_pBuf = words;
                const CString want = DecimalBinToString(precision, scale, b.data(), work);
                const CString got =
                    FormatTypedFieldValue(engine, c, b.data(), size, FieldMember::MyIsamDynamic);
                ASSERT_EQ(got, want) << "DECIMAL(" << precision << "," << scale << ")";
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 30000);
    // A few texts by hand, so that both conversions cannot be wrong together.
    ColumnInfo money;
    money.m_nType = MYSQL_TYPE_NEWDECIMAL;
    money.m_nPrecision = 10;
    money.m_nDecimals = 2;
    auto text = [&](bool negative, std::uint64_t whole, std::uint64_t part) {
        const Bytes b = Encode(10, 2, negative, whole, part);
        return FormatTypedFieldValue(engine, money, b.data(), static_cast<std::uint32_t>(b.size()),
                                     FieldMember::Inno);
    };
    EXPECT_EQ(text(true, 2499, 99), CString(u"-2499.99"));
    EXPECT_EQ(text(false, 0, 5), CString(u"0.05"));
    EXPECT_EQ(text(true, 0, 0), CString(u"-0.00"));
    EXPECT_EQ(text(false, 99999999, 99), CString(u"99999999.99"));
}

}  // namespace
