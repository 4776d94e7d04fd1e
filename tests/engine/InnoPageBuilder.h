#pragma once

// Hand-made InnoDB pages and tablespace files for damaged and edge-case inputs.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "engine/TableEngine.h"

namespace dictpages {

using Page = std::vector<unsigned char>;

inline void Put16(Page& p, std::size_t at, std::uint32_t v) {
    p[at] = static_cast<unsigned char>(v >> 8);
    p[at + 1] = static_cast<unsigned char>(v);
}
inline void Put32(Page& p, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}
inline void Put64(Page& p, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[at + i] = static_cast<unsigned char>(v >> (56 - 8 * i));
}
inline std::string Be32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}
inline std::string Be64(std::uint64_t v) { return Be32(static_cast<std::uint32_t>(v >> 32)) + Be32(static_cast<std::uint32_t>(v)); }

// An empty page with a FIL header and, for index pages, an INDEX header.
inline Page BlankPage(std::uint32_t number, std::uint16_t type, std::uint32_t prev = 0xFFFFFFFF,
                      std::uint32_t next = 0xFFFFFFFF) {
    Page p(INNO_PAGE_SIZE, 0);
    Put32(p, 4, number);
    Put32(p, 8, prev);
    Put32(p, 12, next);
    Put16(p, 24, type);
    return p;
}

// A REDUNDANT index page (the dictionary's format) with its system records and
// records appended in chain order.
class RedundantPage {
public:
    static constexpr std::uint16_t kInfimum = 101;
    static constexpr std::uint16_t kSupremum = 116;

    explicit RedundantPage(std::uint32_t number, std::uint16_t level = 0, std::uint32_t next = 0xFFFFFFFF,
                           std::uint32_t prev = 0xFFFFFFFF)
        : page(BlankPage(number, INNO_PAGE_TYPE_INDEX, prev, next)) {
        Put16(page, 64, level);
        Put64(page, 66, 1);
        // Infimum and supremum: one field each, 1-byte end offsets.
        page[94] = 8;
        Header(kInfimum, 1, true, kSupremum, 0);
        std::memcpy(&page[kInfimum], "infimum", 8);
        page[109] = 9;
        Header(kSupremum, 1, true, 0, 0);
        std::memcpy(&page[kSupremum], "supremum", 9);
        heapTop = kSupremum + 9;
        last = kInfimum;
    }

    // Appends a record whose fields are the given byte strings; returns its origin.
    std::uint16_t Add(const std::vector<std::string>& fields, bool oneByteOffsets = true, std::uint8_t info = 0) {
        const std::size_t width = oneByteOffsets ? 1 : 2;
        const std::uint16_t origin =
            static_cast<std::uint16_t>(heapTop + fields.size() * width + 6);
        std::uint32_t end = 0;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            end += static_cast<std::uint32_t>(fields[i].size());
            const std::size_t at = origin - 6 - (i + 1) * width;
            if (oneByteOffsets) page[at] = static_cast<unsigned char>(end);
            else Put16(page, at, end);
        }
        Header(origin, static_cast<std::uint16_t>(fields.size()), oneByteOffsets, kSupremum, info);
        std::size_t at = origin;
        for (const std::string& f : fields) {
            std::memcpy(&page[at], f.data(), f.size());
            at += f.size();
        }
        SetNext(last, origin);
        last = origin;
        heapTop = static_cast<std::uint16_t>(at);
        return origin;
    }
    void SetNext(std::uint16_t origin, std::uint16_t next) { Put16(page, origin - 2, next); }

    Page page;
    std::uint16_t heapTop;
    std::uint16_t last;

private:
    void Header(std::uint16_t origin, std::uint16_t nFields, bool oneByte, std::uint16_t next, std::uint8_t info) {
        page[origin - 6] = info;
        const std::uint32_t v = (2u << 11) | (static_cast<std::uint32_t>(nFields) << 1) | (oneByte ? 1u : 0u);
        page[origin - 5] = static_cast<unsigned char>(v >> 16);
        page[origin - 4] = static_cast<unsigned char>(v >> 8);
        page[origin - 3] = static_cast<unsigned char>(v);
        Put16(page, origin - 2, next);
    }
};

// A tablespace file of pageCount pages (zero pages where none is given) in a
// folder removed when the object goes.
class TempTablespace {
public:
    explicit TempTablespace(const std::string& tag = "ts") {
        dir = std::filesystem::temp_directory_path() /
              ("innodict-" + std::to_string(::getpid()) + "-" + tag + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    ~TempTablespace() { std::filesystem::remove_all(dir); }
    TempTablespace(const TempTablespace&) = delete;
    TempTablespace& operator=(const TempTablespace&) = delete;

    std::string Write(const std::map<std::uint32_t, Page>& pages, std::uint64_t pageCount,
                      const std::string& name = "ibdata1") {
        const std::filesystem::path path = dir / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const Page zero(INNO_PAGE_SIZE, 0);
        for (std::uint64_t n = 0; n < pageCount; ++n) {
            auto it = pages.find(static_cast<std::uint32_t>(n));
            const Page& p = it == pages.end() ? zero : it->second;
            out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
        }
        return path.string();
    }

    std::filesystem::path dir;
};

}  // namespace dictpages
