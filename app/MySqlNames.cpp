#include "app/MySqlNames.h"

#include <array>
#include <cstdint>

namespace {

struct FileNameCode {
    char first;
    char second;
    std::uint16_t unit;
};

constexpr FileNameCode kFileNameCodes[] = {
#include "app/FileNameCodes.inc"
};

// Both code characters lie in 0x30..0x7F: 80 values each.
constexpr int kCodeBase = 0x30;
constexpr int kCodeRange = 80;

struct CodeTable {
    std::array<char16_t, kCodeRange * kCodeRange> units{};
    constexpr CodeTable() {
        for (const FileNameCode& c : kFileNameCodes)
            units[(c.first - kCodeBase) * kCodeRange + (c.second - kCodeBase)] = c.unit;
    }
};

constexpr CodeTable kCodeTable;

char16_t TwoCharacterCode(char16_t a, char16_t b) {
    if (a < kCodeBase || a >= kCodeBase + kCodeRange || b < kCodeBase || b >= kCodeBase + kCodeRange) return 0;
    return kCodeTable.units[(a - kCodeBase) * kCodeRange + (b - kCodeBase)];
}

// The server writes and reads only lower-case hex digits here.
int LowerHexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

CString DecodeFileName(std::u16string_view stored) {
    std::u16string out;
    out.reserve(stored.size());
    std::size_t i = 0;
    while (i < stored.size()) {
        const char16_t c = stored[i];
        if (c != u'@') {
            out.push_back(c);
            ++i;
            continue;
        }
        // As the server reads it: the two-character code first, then four hex digits.
        if (i + 2 < stored.size()) {
            if (char16_t unit = TwoCharacterCode(stored[i + 1], stored[i + 2])) {
                out.push_back(unit);
                i += 3;
                continue;
            }
        }
        if (i + 4 < stored.size()) {
            int value = 0;
            bool hex = true;
            for (std::size_t k = 1; k <= 4 && hex; ++k) {
                int d = LowerHexDigit(stored[i + k]);
                hex = d >= 0;
                value = value * 16 + d;
            }
            if (hex && value != 0 && (value < 0xD800 || value > 0xDFFF)) {
                out.push_back(static_cast<char16_t>(value));
                i += 5;
                continue;
            }
        }
        out.push_back(c);
        ++i;
    }
    return CString(std::move(out));
}

CString QuoteIdentifier(std::u16string_view name) {
    std::u16string out;
    out.reserve(name.size() + 2);
    out.push_back(u'`');
    for (char16_t c : name) {
        if (c == u'`') out.push_back(u'`');
        out.push_back(c);
    }
    out.push_back(u'`');
    return CString(std::move(out));
}
