#pragma once

// Hand-made InnoDB pages for the walk, descent and large-object tests: COMPACT index
// pages with records placed where a test wants them, written into a tablespace file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/TableEngine.h"

namespace innotest {

using Bytes = std::vector<unsigned char>;

inline void Put16(Bytes& p, std::size_t at, std::uint32_t v) {
    p[at] = static_cast<unsigned char>(v >> 8);
    p[at + 1] = static_cast<unsigned char>(v);
}
inline void Put32(Bytes& p, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}
inline void Put64(Bytes& p, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[at + i] = static_cast<unsigned char>(v >> (56 - 8 * i));
}

// A page with the FIL header filled in; type and chain given.
inline Bytes BlankPage(std::uint32_t pageNo, std::uint16_t type, std::uint32_t prev = 0xFFFFFFFF,
                       std::uint32_t next = 0xFFFFFFFF) {
    Bytes p(INNO_PAGE_SIZE, 0);
    Put32(p, 4, pageNo);
    Put32(p, 8, prev);
    Put32(p, 12, next);
    Put16(p, 24, type);
    return p;
}

// One record to place: the bytes below its 5-byte header (null bitmap and lengths, in
// address order, lowest first), its data, and its header flags.
struct RecordSpec {
    Bytes extra;
    Bytes data;
    std::uint8_t info = 0;    // info bits (0x20 delete mark, 0x10 min-rec)
    std::uint8_t status = 0;  // 0 ordinary, 1 node pointer
};

// A COMPACT index page. Records are placed one after the other from the heap start in
// the order they are added; Link() chains them in an order of the test's choice.
class CompactPage {
public:
    CompactPage(std::uint32_t pageNo, std::uint16_t level = 0, std::uint64_t indexId = 77,
                std::uint32_t prev = 0xFFFFFFFF, std::uint32_t next = 0xFFFFFFFF)
        : m_page(BlankPage(pageNo, INNO_PAGE_TYPE_INDEX, prev, next)) {
        Put16(m_page, 42, 0x8000 | 2);  // compact flag, two system records
        Put16(m_page, 64, level);
        Put64(m_page, 66, indexId);
        // Infimum: header at 94, data "infimum\0" at 99; supremum: header at 107, data at 112.
        m_page[94] = 0x01;
        Put16(m_page, 95, (0 << 3) | 2);
        std::memcpy(&m_page[99], "infimum", 8);
        m_page[107] = 0x00;
        Put16(m_page, 108, (1 << 3) | 3);
        std::memcpy(&m_page[112], "supremum", 8);
        Put16(m_page, 97, 112 - 99);  // empty until linked
    }

    // Places a record after the last one added and returns its origin.
    std::uint32_t Add(const RecordSpec& rec) {
        const std::uint32_t origin = AddAt(m_heapTop + rec.extra.size() + 5, rec);
        m_heapTop = origin + rec.data.size();
        return origin;
    }

    // Places a record with its origin at a chosen position.
    std::uint32_t AddAt(std::size_t origin, const RecordSpec& rec) {
        const std::size_t start = origin - 5 - rec.extra.size();
        std::copy(rec.extra.begin(), rec.extra.end(), m_page.begin() + static_cast<std::ptrdiff_t>(start));
        m_page[origin - 5] = static_cast<unsigned char>(rec.info << 4 | 1);
        Put16(m_page, origin - 4, static_cast<std::uint32_t>(m_heapNo++) << 3 | rec.status);
        std::copy(rec.data.begin(), rec.data.end(), m_page.begin() + static_cast<std::ptrdiff_t>(origin));
        m_origins.push_back(static_cast<std::uint32_t>(origin));
        return static_cast<std::uint32_t>(origin);
    }

    // Chains infimum -> records in the given order -> supremum (all when order is empty).
    void Link(std::vector<std::uint32_t> order = {}) {
        if (order.empty()) order = m_origins;
        std::uint32_t prev = 99;
        for (std::uint32_t o : order) {
            SetNext(prev, o);
            prev = o;
        }
        SetNext(prev, 112);
    }
    // Writes the relative next link of the record at origin.
    void SetNext(std::uint32_t origin, std::uint32_t next) {
        Put16(m_page, origin - 2, (next - origin) & 0xFFFF);
    }
    void SetRaw16(std::size_t at, std::uint32_t v) { Put16(m_page, at, v); }

    const std::vector<std::uint32_t>& Origins() const { return m_origins; }
    Bytes& Raw() { return m_page; }
    const Bytes& Raw() const { return m_page; }

private:
    Bytes m_page;
    std::size_t m_heapTop = 120;
    int m_heapNo = 2;
    std::vector<std::uint32_t> m_origins;
};

// Writes pages into a fresh file at their page numbers; pages not given stay zero.
class TempTablespace {
public:
    explicit TempTablespace(const std::string& tag) {
        char name[] = "/tmp/innowalk-XXXXXX";
        int fd = ::mkstemp(name);
        if (fd >= 0) ::close(fd);
        m_path = std::string(name) + "-" + tag;
        std::rename(name, m_path.c_str());
    }
    ~TempTablespace() { std::remove(m_path.c_str()); }
    TempTablespace(const TempTablespace&) = delete;
    TempTablespace& operator=(const TempTablespace&) = delete;

    void Write(std::uint32_t pageNo, const Bytes& page) {
        if (m_pages.size() <= pageNo) m_pages.resize(pageNo + 1, Bytes(INNO_PAGE_SIZE, 0));
        m_pages[pageNo] = page;
    }
    // Writes the file; returns the page count.
    std::uint64_t Flush() {
        std::FILE* f = std::fopen(m_path.c_str(), "wb");
        for (const Bytes& p : m_pages) std::fwrite(p.data(), 1, p.size(), f);
        std::fclose(f);
        return m_pages.size();
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::vector<Bytes> m_pages;
};

// Stored form of InnoDB integers: big-endian, top bit flipped when signed.
inline Bytes InnoInt(std::int64_t v, int width, bool isSigned = true) {
    Bytes b(width);
    std::uint64_t u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < width; ++i) b[i] = static_cast<unsigned char>(u >> (8 * (width - 1 - i)));
    if (isSigned) b[0] ^= 0x80;
    return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A layout field as the column-layout builders make them.
inline InnoColumnDef Field(const char16_t* name, std::uint32_t column, std::uint32_t mtype, std::uint32_t prtype,
                           std::uint32_t len, std::uint32_t fixed, std::uint32_t mysqlType,
                           std::uint32_t charset = 0) {
    InnoColumnDef d;
    d.mtype = mtype;
    d.prtype = prtype;
    d.len = len;
    d.fixedLength = fixed;
    d.ordinal = column;
    d.column.m_strName = name;
    d.column.m_nColumn = column;
    d.column.m_nType = mysqlType;
    d.column.m_nLength = len;
    d.column.m_nCharset = charset;
    d.column.m_bNullable = (prtype & INNO_PRTYPE_NOT_NULL) ? 0 : 1;
    return d;
}
inline InnoColumnDef SystemField(const char16_t* name, std::uint32_t len) {
    return Field(name, 0, INNO_MTYPE_SYS, INNO_PRTYPE_NOT_NULL, len, len, 0);
}

}  // namespace innotest
