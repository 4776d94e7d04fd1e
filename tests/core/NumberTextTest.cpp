#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/core/NumberText.h"

namespace {

// FormatFixed must give printf's "%.Nf" for every finite value it takes, ties included.
TEST(NumberText, FixedMatchesPrintfForEveryPrecision) {
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.5, 2.5, 3.5, 0.125, 0.375, 0.0625, 1e-7, 5e-7, 4.9999999e-7,
                                  5.0000001e-7, 9.9999995, 0.1, 0.2, 0.3, 1.0 / 3, 2.0 / 3, 1e15 + 0.3, 4503599627370495.5,
                                  9007199254740993.0, 9.2233720368547e18, -9.2233720368547e18, 4.9e-324,
                                  2.2250738585072014e-308, 1e-300, 123456.789, -2499.99, 0.142857, 999999.9999995,
                                  0.9999995, 0.0000015, 0.0000025, 0.0000035};
    std::uint64_t seed = 0x2545F4914F6CDD1Dull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int i = 0; i < 40000; ++i) {
        const std::uint64_t r = next();
        // Small dyadic fractions, where ties are exact.
        values.push_back(static_cast<double>(static_cast<std::int64_t>(r % 2000001) - 1000000) /
                         static_cast<double>(1ull << (r >> 58)));
        // Values of every magnitude the fast path takes, and beyond.
        double d;
        std::uint64_t bits = (r & 0x800FFFFFFFFFFFFFull) | ((900 + (r >> 20) % 300) << 52);
        std::memcpy(&d, &bits, sizeof d);
        values.push_back(d);
        values.push_back(static_cast<double>(static_cast<std::int64_t>(r)) / 1e6);
    }
    for (double v : values) {
        for (int precision = 0; precision <= 9; ++precision) {
            char want[512];
            const int n = std::snprintf(want, sizeof want, "%.*f", precision, v);
            char got[numbertext::kFixedMax];
            const char* end = numbertext::FormatFixed(v, precision, got);
            if (!end) {
                EXPECT_GE(std::abs(v), 9.2233720368547758e18) << "only 2^63 and beyond are left to the C library";
                continue;
            }
            ASSERT_EQ(std::string(got, static_cast<std::size_t>(end - got)), std::string(want, static_cast<std::size_t>(n)))
                << "value " << v << " precision " << precision;
        }
    }
    char out[numbertext::kFixedMax];
    EXPECT_EQ(numbertext::FormatFixed(std::numeric_limits<double>::infinity(), 6, out), nullptr);
    EXPECT_EQ(numbertext::FormatFixed(std::numeric_limits<double>::quiet_NaN(), 6, out), nullptr);
    EXPECT_EQ(numbertext::FormatFixed(1.0, 10, out), nullptr);
}

}  // namespace
