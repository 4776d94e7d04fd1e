#pragma once

#include <cstddef>

namespace numbertext {

// printf's "%.*f" of v with precision digits after the point (0 to 9): the exact binary
// value rounded to nearest, ties to even, the sign kept for -0.0 and for negative values
// that round to zero. Writes at most kFixedMax characters (no NUL) and returns the end,
// or nullptr for values it leaves to the C library (not finite, 2^63 and more).
inline constexpr std::size_t kFixedMax = 32;
char* FormatFixed(double v, int precision, char* out);

}  // namespace numbertext
