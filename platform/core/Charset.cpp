#include "platform/core/Charset.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace charset {

namespace {

// Sequences whose reading on the server differs from iconv's, or that iconv lacks: bytes
// (1 to 3) read as codePoint, and the next run - 1 values of the last byte as the code
// points after it.
struct Reading {
    const char* bytes;
    std::uint32_t codePoint;
    std::uint32_t run = 1;
};

// 0x80-0xFF of a single-byte set iconv lacks; 0x00-0x7F are ASCII.
using HighHalf = char16_t[128];

// Kamenicky (Czech and Slovak DOS); the server calls it keybcs2.
constexpr HighHalf kKeybcs2 = {
    0x010C, 0x00FC, 0x00E9, 0x010F, 0x00E4, 0x010E, 0x0164, 0x010D, 0x011B, 0x011A, 0x0139, 0x00CD, 0x013E,
    0x013A, 0x00C4, 0x00C1, 0x00C9, 0x017E, 0x017D, 0x00F4, 0x00F6, 0x00D3, 0x016F, 0x00DA, 0x00FD, 0x00D6,
    0x00DC, 0x0160, 0x013D, 0x00DD, 0x0158, 0x0165, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0148, 0x0147, 0x016E,
    0x00D4, 0x0161, 0x0159, 0x0155, 0x0154, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct SetInfo {
    std::u16string_view name;   // the server's name
    const char* iconvName;      // null: own table only
    const char16_t* highHalf;   // own table of 0x80-0xFF, or null
    const Reading* readings;    // the server's own readings, ended by a null bytes
};

constexpr Reading kNone[] = {{nullptr, 0}};

constexpr Reading kArmscii8[] = {
    {"\xA1", 0x2741}, {"\xA2", 0x00A7}, {"\xAD", 0x055F}, {"\xFE", 0x2019}, {"\xFF", 0x0027}, {nullptr, 0}};

// The server's big5 is the ETEN form: kana and Cyrillic in C6A1-C7FC where iconv has
// private-use characters, and a few symbols of its own.
constexpr Reading kBig5[] = {
    {"\xA1\x45", 0x2022},     {"\xA1\x4E", 0xFF64},     {"\xA1\x5A", 0xFFFD},     {"\xA1\xC2", 0x203E},
    {"\xA1\xC3", 0xFFFD},     {"\xA1\xC5", 0xFFFD},     {"\xA1\xE3", 0x223C},     {"\xA1\xF2", 0x2641},
    {"\xA1\xF3", 0x2609},     {"\xA1\xFE", 0xFFFD},     {"\xA2\x40", 0xFFFD},     {"\xA2\x41", 0xFF0F},
    {"\xA2\x42", 0xFF3C},     {"\xA2\x44", 0x00A5},     {"\xA2\x46", 0x00A2, 2},  {"\xA2\xCC", 0xFFFD},
    {"\xA2\xCE", 0xFFFD},     {"\xC6\xA1", 0x30FE},     {"\xC6\xA2", 0x309D, 2},  {"\xC6\xA4", 0x3005},
    {"\xC6\xA5", 0x3041, 83}, {"\xC6\xF8", 0x30A1, 7},  {"\xC7\x40", 0x30A8, 63}, {"\xC7\xA1", 0x30E7, 16},
    {"\xC7\xB1", 0x0414, 2},  {"\xC7\xB3", 0x0401},     {"\xC7\xB4", 0x0416, 7},  {"\xC7\xBB", 0x0423, 19},
    {"\xC7\xCE", 0x0451},     {"\xC7\xCF", 0x0436, 26}, {"\xC7\xE9", 0x2460, 10}, {"\xC7\xF3", 0x2474, 10},
    {nullptr, 0}};

constexpr Reading kCp866[] = {{"\xFC", 0x207F}, {"\xFD", 0x00B2}, {nullptr, 0}};
constexpr Reading kDec8[] = {{"\xA0", 0x00A0}, {nullptr, 0}};
constexpr Reading kGeostd8[] = {{"\x80", 0x20AC}, {"\xFD", 0x2116}, {nullptr, 0}};
constexpr Reading kGreek[] = {{"\xA1", 0x02BD}, {"\xA2", 0x02BC}, {nullptr, 0}};
constexpr Reading kHebrew[] = {{"\xAF", 0x203E}, {nullptr, 0}};
constexpr Reading kKoi8u[] = {{"\x95", 0x2022}, {nullptr, 0}};
constexpr Reading kMacroman[] = {{"\xC6", 0x2206}, {"\xF0", 0xF8FF}, {nullptr, 0}};

// latin1 is the server's Windows-1252, whose five undefined bytes it reads as the C1
// controls of the same value.
constexpr Reading kLatin1[] = {{"\x81", 0x81}, {"\x8D", 0x8D}, {"\x8F", 0x8F}, {"\x90", 0x90},
                               {"\x9D", 0x9D}, {nullptr, 0}};

// The server's sjis keeps ASCII below 0x80, where iconv has the yen sign and the overline.
constexpr Reading kSjis[] = {{"\x5C", 0x005C}, {"\x7E", 0x007E}, {"\x81\x5F", 0x005C}, {nullptr, 0}};

// Swedish 7-bit: letters in place of @ [ \ ] ^ ` { | } ~, the dollar sign kept.
constexpr Reading kSwe7[] = {{"\x24", 0x0024}, {"\x40", 0x00C9}, {"\x5E", 0x00DC},
                             {"\x60", 0x00E9}, {"\x7E", 0x00FC}, {nullptr, 0}};

constexpr Reading kTis620[] = {{"\x80", 0x0080, 32}, {nullptr, 0}};

// The user-defined rows F5-FE, two-byte and after 0x8F, are private-use characters on the
// server; iconv leaves them undefined.
constexpr Reading kUjis[] = {
    {"\x8F\xA2\xB7", 0x007E},      {"\xA1\xC0", 0x005C},          {"\xF5\xA1", 0xE000, 94},
    {"\xF6\xA1", 0xE05E, 94},      {"\xF7\xA1", 0xE0BC, 94},      {"\xF8\xA1", 0xE11A, 94},
    {"\xF9\xA1", 0xE178, 94},      {"\xFA\xA1", 0xE1D6, 94},      {"\xFB\xA1", 0xE234, 94},
    {"\xFC\xA1", 0xE292, 94},      {"\xFD\xA1", 0xE2F0, 94},      {"\xFE\xA1", 0xE34E, 94},
    {"\x8F\xF5\xA1", 0xE3AC, 94},  {"\x8F\xF6\xA1", 0xE40A, 94},  {"\x8F\xF7\xA1", 0xE468, 94},
    {"\x8F\xF8\xA1", 0xE4C6, 94},  {"\x8F\xF9\xA1", 0xE524, 94},  {"\x8F\xFA\xA1", 0xE582, 94},
    {"\x8F\xFB\xA1", 0xE5E0, 94},  {"\x8F\xFC\xA1", 0xE63E, 94},  {"\x8F\xFD\xA1", 0xE69C, 94},
    {"\x8F\xFE\xA1", 0xE6FA, 94},  {nullptr, 0}};

const SetInfo kSets[] = {
    {u"armscii8", "ARMSCII-8", nullptr, kArmscii8},
    {u"ascii", "ASCII", nullptr, kNone},
    {u"big5", "BIG5", nullptr, kBig5},
    {u"cp1250", "CP1250", nullptr, kNone},
    {u"cp1251", "CP1251", nullptr, kNone},
    {u"cp1256", "CP1256", nullptr, kNone},
    {u"cp1257", "CP1257", nullptr, kNone},
    {u"cp850", "CP850", nullptr, kNone},
    {u"cp852", "CP852", nullptr, kNone},
    {u"cp866", "CP866", nullptr, kCp866},
    {u"cp932", "CP932", nullptr, kNone},
    {u"dec8", "DEC-MCS", nullptr, kDec8},
    {u"eucjpms", "EUC-JP-MS", nullptr, kNone},
    {u"euckr", "CP949", nullptr, kNone},
    {u"gb2312", "GB2312", nullptr, kNone},
    {u"gbk", "GBK", nullptr, kNone},
    {u"geostd8", "GEORGIAN-PS", nullptr, kGeostd8},
    {u"greek", "ISO-8859-7", nullptr, kGreek},
    {u"hebrew", "ISO-8859-8", nullptr, kHebrew},
    {u"hp8", "HP-ROMAN8", nullptr, kNone},
    {u"keybcs2", nullptr, kKeybcs2, kNone},
    {u"koi8r", "KOI8-R", nullptr, kNone},
    {u"koi8u", "KOI8-U", nullptr, kKoi8u},
    {u"latin1", "CP1252", nullptr, kLatin1},
    {u"latin2", "ISO-8859-2", nullptr, kNone},
    {u"latin5", "ISO-8859-9", nullptr, kNone},
    {u"latin7", "ISO-8859-13", nullptr, kNone},
    {u"macce", "MAC-CENTRALEUROPE", nullptr, kNone},
    {u"macroman", "MACINTOSH", nullptr, kMacroman},
    {u"sjis", "SHIFT_JIS", nullptr, kSjis},
    {u"swe7", "ISO646-SE", nullptr, kSwe7},
    {u"tis620", "TIS-620", nullptr, kTis620},
    {u"ujis", "EUC-JP", nullptr, kUjis},
};
constexpr std::size_t kSetCount = sizeof kSets / sizeof kSets[0];

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? static_cast<char16_t>(a[i] + 32) : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

enum class Probe { Character, Undefined, Incomplete };

// How iconv reads exactly these bytes: one character, nothing it defines, or the start
// of a longer sequence.
Probe ProbeIconv(iconv_t cd, const unsigned char* bytes, std::size_t count, std::uint32_t& codePoint) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t inLeft = count;
    std::uint32_t out[4];
    char* outAt = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    if (iconv(cd, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) {
        const bool incomplete = errno == EINVAL && outLeft == sizeof out;
        return incomplete ? Probe::Incomplete : Probe::Undefined;
    }
    if (iconv(cd, nullptr, nullptr, &outAt, &outLeft) == static_cast<std::size_t>(-1)) return Probe::Undefined;
    if (inLeft != 0 || outLeft != sizeof out - sizeof out[0]) return Probe::Undefined;
    codePoint = out[0];
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return Probe::Undefined;
    return Probe::Character;
}

}  // namespace

struct Builder {
    static constexpr int kMaxBytes = 3;

    static std::size_t NewSlot(CServerCharset& set) {
        const std::size_t slot = set.m_tables.size() / 256;
        set.m_tables.resize(set.m_tables.size() + 256, CServerCharset::kNoCharacter);
        return slot;
    }

    // Fills slot from iconv for every byte after prefix (depth bytes long).
    static void FromIconv(CServerCharset& set, iconv_t cd, std::size_t slot, unsigned char* prefix, int depth) {
        for (int b = 0; b < 256; ++b) {
            prefix[depth] = static_cast<unsigned char>(b);
            std::uint32_t cp = 0;
            const Probe probe = ProbeIconv(cd, prefix, static_cast<std::size_t>(depth) + 1, cp);
            if (probe == Probe::Character) {
                set.m_tables[slot * 256 + b] = cp;
            } else if (probe == Probe::Incomplete && depth + 1 < kMaxBytes) {
                const std::size_t next = NewSlot(set);
                set.m_tables[slot * 256 + b] = CServerCharset::kLeadByte + static_cast<std::uint32_t>(next);
                FromIconv(set, cd, next, prefix, depth + 1);
            }
        }
    }

    // Sets the reading of one sequence, adding the tables its lead bytes need.
    static void Put(CServerCharset& set, const unsigned char* bytes, std::size_t count, std::uint32_t cp) {
        std::size_t slot = 0;
        for (std::size_t i = 0; i + 1 < count; ++i) {
            const std::size_t at = slot * 256 + bytes[i];
            const std::uint32_t entry = set.m_tables[at];
            if (entry < CServerCharset::kLeadByte || entry == CServerCharset::kNoCharacter) {
                const std::size_t next = NewSlot(set);
                set.m_tables[at] = CServerCharset::kLeadByte + static_cast<std::uint32_t>(next);
                slot = next;
            } else {
                slot = entry - CServerCharset::kLeadByte;
            }
        }
        set.m_tables[slot * 256 + bytes[count - 1]] = cp;
    }

    static std::unique_ptr<CServerCharset> Build(const SetInfo& info) {
        auto set = std::make_unique<CServerCharset>();
        NewSlot(*set);
        if (info.iconvName) {
            // The byte order of the target is given, so no byte-order mark is written.
            const bool little = std::endian::native == std::endian::little;
            iconv_t cd = iconv_open(little ? "UTF-32LE" : "UTF-32BE", info.iconvName);
            if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
            unsigned char prefix[kMaxBytes] = {};
            FromIconv(*set, cd, 0, prefix, 0);
            iconv_close(cd);
        } else {
            for (int b = 0; b < 128; ++b) set->m_tables[b] = static_cast<std::uint32_t>(b);
        }
        if (info.highHalf)
            for (int b = 0; b < 128; ++b) set->m_tables[128 + b] = info.highHalf[b];
        for (const Reading* r = info.readings; r->bytes; ++r) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(r->bytes);
            std::size_t count = 0;
            while (count < kMaxBytes && bytes[count]) ++count;
            // A reading of the zero byte alone has no bytes in a C string.
            if (count == 0) count = 1;
            unsigned char run[kMaxBytes] = {};
            std::copy(bytes, bytes + count, run);
            for (std::uint32_t k = 0; k < r->run && bytes[count - 1] + k < 256; ++k) {
                run[count - 1] = static_cast<unsigned char>(bytes[count - 1] + k);
                Put(*set, run, count, r->codePoint + k);
            }
        }
        // A character past the BMP takes two units: a set with one gets room for two per byte.
        for (const std::uint32_t entry : set->m_tables)
            if (entry >= 0x10000 && entry < CServerCharset::kLeadByte) set->m_nUnitsPerByte = 2;
        return set;
    }
};

std::uint32_t CServerCharset::CodePointOf(const unsigned char* bytes, std::size_t count) const {
    std::size_t slot = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t entry = m_tables[slot * 256 + bytes[i]];
        const bool lead = entry >= kLeadByte && entry != kNoCharacter;
        if (i + 1 == count) return lead ? kNoCharacter : entry;
        if (!lead) return kNoCharacter;
        slot = entry - kLeadByte;
    }
    return kNoCharacter;
}

CString CServerCharset::Decode(const unsigned char* bytes, std::size_t count) const {
    if (!bytes || count == 0) return CString();
    if (count > static_cast<std::size_t>(INT_MAX) / m_nUnitsPerByte) throw std::bad_alloc();
    CString out;
    char16_t* const first = out.GetBufferSetLength(static_cast<int>(count * m_nUnitsPerByte));
    char16_t* p = first;
    const std::uint32_t* const tables = m_tables.data();
    std::size_t i = 0;
    while (i < count) {
        std::uint32_t entry = tables[bytes[i]];
        std::size_t used = 1;
        // Follow lead bytes while there are bytes; a sequence the set lacks or one cut
        // short gives one U+FFFD for its first byte, and reading goes on after that byte.
        while (entry >= kLeadByte && entry != kNoCharacter) {
            if (i + used >= count) {
                entry = kNoCharacter;
                break;
            }
            entry = tables[(entry - kLeadByte) * 256 + bytes[i + used]];
            ++used;
        }
        if (entry == kNoCharacter) {
            *p++ = u'\uFFFD';
            i += 1;
            continue;
        }
        if (entry >= 0x10000) {
            *p++ = static_cast<char16_t>(0xD800 + ((entry - 0x10000) >> 10));
            *p++ = static_cast<char16_t>(0xDC00 + ((entry - 0x10000) & 0x3FF));
        } else {
            *p++ = static_cast<char16_t>(entry);
        }
        i += used;
    }
    out.ReleaseBuffer(static_cast<int>(p - first));
    return out;
}

const CServerCharset* FindServerCharset(std::u16string_view name) {
    static std::once_flag once[kSetCount];
    static std::unique_ptr<CServerCharset> sets[kSetCount];
    auto get = [](std::size_t i) {
        std::call_once(once[i], [i] { sets[i] = Builder::Build(kSets[i]); });
        return sets[i].get();
    };
    // Asked once per text cell, mostly for the set of the cell before.
    thread_local std::size_t last = 0;
    if (SameName(name, kSets[last].name)) return get(last);
    for (std::size_t i = 0; i < kSetCount; ++i) {
        if (!SameName(name, kSets[i].name)) continue;
        last = i;
        return get(i);
    }
    return nullptr;
}

std::vector<std::u16string_view> ServerCharsetNames() {
    std::vector<std::u16string_view> names;
    for (const SetInfo& info : kSets) names.push_back(info.name);
    return names;
}

}  // namespace charset
