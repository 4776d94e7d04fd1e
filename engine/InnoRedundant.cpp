#include "engine/InnoRedundant.h"

#include <algorithm>
#include <vector>

#include "engine/InnoBlob.h"
#include "engine/InnoFieldValue.h"
#include "engine/InnoLayout.h"

namespace {

constexpr std::uint16_t kPageTypeInstant = 18;
constexpr std::uint16_t kHeapCompactFlag = 0x8000;
constexpr std::uint8_t kRecDeletedFlag = 0x20;
// The first record of the leftmost page of a level: on a leaf, only MariaDB's instant
// ALTER metadata record carries it.
constexpr std::uint8_t kRecMinRecFlag = 0x10;
// The server's limit on the fields of an index record.
constexpr std::uint32_t kMaxRecordFields = 1023;

// Where a record's rows are lost. Each call site is one reason a record of the page
// gives no row, or a row with cells the record could not supply; the loss report
// attaches here.
enum class RedundantLoss : std::uint8_t {
    ChainBroken,      // a next-record link leads outside the record area: the rest of the page
    ChainLoops,       // a next-record link leads back to a record read before: the rest of the page
    TooManyRecords,   // more records than a page of this size holds: the rest of the page
    HeaderOutside,    // the header would reach outside the record area: the rest of the page
    FieldOutside,     // the end-offset array or a field reaches outside the page, or the
                      // offsets run backwards
    TooManyFields,    // more fields than the table's layout
    FieldOrderUnknown,  // an instant DROP/reorder whose field map cannot be read
    FieldsMissing,    // fewer fields than the layout and no instant defaults: empty cells
};

// "t.ibd page 7: the record at offset 312 ...", through the read's loss report.
void NoteRedundantLoss(CTableEngine& engine, std::uint32_t page, std::uint32_t origin, RedundantLoss why) {
    const char16_t* what = u"";
    switch (why) {
    case RedundantLoss::ChainBroken: what = u"links outside the records; the page's later records are lost"; break;
    case RedundantLoss::ChainLoops: what = u"links back to a record read before; the page's later records are lost"; break;
    case RedundantLoss::TooManyRecords: what = u"is past the records a page holds; the page's later records are lost"; break;
    case RedundantLoss::HeaderOutside:
        what = u"has its header outside the records; it and the page's later records are lost";
        break;
    case RedundantLoss::FieldOutside: what = u"has field ends outside the page or running backwards; skipped"; break;
    case RedundantLoss::TooManyFields: what = u"has more fields than the table; skipped"; break;
    case RedundantLoss::FieldOrderUnknown:
        what = u"cannot be read: the field order after an instant ALTER TABLE is unreadable; skipped";
        break;
    case RedundantLoss::FieldsMissing: what = u"has fewer fields than the table; its last cells are empty"; break;
    }
    const CString& path = engine.m_bReadingIbd ? engine.m_fileIbd.GetFilePath() : engine.m_fileIbdata.GetFilePath();
    const int slash = path.ReverseFind(u'/');
    CString text;
    text.Format(u" page %lu: the REDUNDANT record at offset %lu ", static_cast<unsigned long>(page),
                static_cast<unsigned long>(origin));
    engine.m_context.ReportLoss((slash >= 0 ? path.Mid(slash + 1) : path) + text + what);
}

// One field of a record as its end offsets give it.
using Slice = InnoFieldSlice;

struct Header {
    std::uint8_t info = 0;
    std::uint32_t fields = 0;
    std::uint32_t width = 1;  // bytes per end offset
    std::uint16_t next = 0;
};

// The 6 header bytes before origin r; false when they do not lie in the record area.
bool ReadHeader(const CInnoPageView& page, std::uint32_t r, Header& h) {
    if (r < INNO_REDUNDANT_HEAP_START + INNO_REDUNDANT_EXTRA_BYTES || r >= page.Size() - 8) return false;
    h.info = page.U8(r - 6) & 0xF0;
    const std::uint32_t v = page.U24(r - 5);
    h.fields = (v >> 1) & 0x3FF;
    h.width = (v & 1) ? 1 : 2;
    h.next = page.U16(r - 2);
    return true;
}

// Cuts the h.fields fields of the record at r into slices[0..h.fields). False when the
// end-offset array or a field would lie outside the page, or the offsets run backwards.
bool CutFields(const CInnoPageView& page, std::uint32_t r, const Header& h, std::vector<Slice>& slices) {
    const std::uint32_t below = INNO_REDUNDANT_EXTRA_BYTES + h.fields * h.width;
    if (r < INNO_REDUNDANT_HEAP_START + below) return false;
    const unsigned char* p = page.Data();
    const std::uint32_t dataEnd = page.Size() - 8;
    std::uint32_t previous = 0;
    std::uint32_t at = r - INNO_REDUNDANT_EXTRA_BYTES;
    for (std::uint32_t i = 0; i < h.fields; ++i) {
        Slice& s = slices[i];
        std::uint32_t end = 0;
        bool isNull = false;
        s.offPage = false;
        if (h.width == 1) {
            const std::uint8_t raw = p[--at];
            end = raw & 0x7Fu;
            isNull = (raw & INNO_REDUNDANT_NULL_1) != 0;
        } else {
            at -= 2;
            const std::uint16_t raw = static_cast<std::uint16_t>(p[at] << 8 | p[at + 1]);
            end = raw & 0x3FFFu;
            isNull = (raw & INNO_REDUNDANT_NULL_2) != 0;
            s.offPage = !isNull && (raw & INNO_REDUNDANT_EXTERN_2) != 0;
        }
        if (end < previous || end > dataEnd - r) return false;
        // A NULL field keeps its place: zero bytes of its width when fixed, none else.
        s.kind = isNull ? Slice::Null : Slice::Data;
        s.offset = r + previous;
        s.length = end - previous;
        if (s.offPage && s.length < INNO_EXTERN_REF_SIZE) return false;
        previous = end;
    }
    return true;
}

void FormatSlices(CTableEngine& engine, const CInnoPageView& page, const std::vector<Slice>& slices) {
    const std::vector<InnoColumnDef>& layout = engine.m_innoColumns;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const InnoColumnDef& def = layout[i];
        // System fields and instantly dropped ones give no cell.
        if (def.mtype == INNO_MTYPE_SYS || def.column.m_nColumn >= engine.m_columns.size()) continue;
        SetInnoCell(engine, page, def, def.column.m_nColumn, i, slices[i]);
    }
    engine.m_rows.push_back(engine.m_columns);
}

// Cuts the user record at r and appends its row; false when it gives none.
bool AppendRecord(CTableEngine& engine, const CInnoPageView& page, std::uint32_t pageNo, std::uint32_t r,
                  const Header& h, std::vector<Slice>& slices) {
    const std::size_t n = engine.m_innoColumns.size();
    const InnoInstantState& instant = engine.m_innoInstant;
    if (instant.fieldOrderUnknown) {
        NoteRedundantLoss(engine, pageNo, r, RedundantLoss::FieldOrderUnknown);
        return false;
    }
    if (h.fields > n) {
        NoteRedundantLoss(engine, pageNo, r, RedundantLoss::TooManyFields);
        return false;
    }
    if (!CutFields(page, r, h, slices)) {
        NoteRedundantLoss(engine, pageNo, r, RedundantLoss::FieldOutside);
        return false;
    }
    // Records written before an instant ADD COLUMN hold fewer fields, and so do newer
    // ones whose trailing fields equal their defaults.
    if (h.fields < n) {
        const Slice::Kind rest = instant.active ? Slice::Default : Slice::Missing;
        if (!instant.active) NoteRedundantLoss(engine, pageNo, r, RedundantLoss::FieldsMissing);
        for (std::size_t i = h.fields; i < n; ++i) slices[i].kind = rest;
    }
    FormatSlices(engine, page, slices);
    return true;
}

void NoteBatchFull(CTableEngine& engine, std::uint32_t page, std::uint32_t offset) {
    engine.m_bBatchFull = 1;
    engine.m_nextBookmark = PageBookmark{page, offset};
    if (!engine.m_bNoBookmark) engine.m_bookmarks.push_back(PageBookmark{page, offset});
}

bool IsZero(const CInnoPageView& page, std::uint32_t offset, std::uint32_t count) {
    const unsigned char* p = page.Bytes(offset, count);
    if (!p) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

bool IsRedundantIndexPage(const CInnoPageView& page) {
    if (page.U16(42) & kHeapCompactFlag) return false;
    if (page.HasText(INNO_REDUNDANT_INFIMUM, "infimum")) return true;
    return page.U16(24) == kPageTypeInstant && IsZero(page, INNO_REDUNDANT_INFIMUM, 8) &&
           IsZero(page, INNO_REDUNDANT_SUPREMUM, 7);
}

std::uint32_t RedundantLeftmostChild(const CInnoPageView& page) {
    const std::uint32_t first = page.U16(INNO_REDUNDANT_INFIMUM - 2u);
    if (first <= INNO_REDUNDANT_SUPREMUM || page.HasText(first, "supremum")) return 0;
    Header h;
    if (!ReadHeader(page, first, h) || h.fields < 2) return 0;
    // The key fields, then the child page number as the last, 4-byte field.
    std::vector<Slice> slices(h.fields);
    if (!CutFields(page, first, h, slices)) return 0;
    const Slice& child = slices[h.fields - 1];
    if (child.kind != Slice::Data || child.length != 4) return 0;
    return page.U32(child.offset);
}

RedundantPageRead ReadRedundantLeafPage(CTableEngine& engine, const CInnoPageView& page, std::uint32_t pageNo,
                                        std::uint32_t resumeAt, InnoOriginSet& seen) {
    const std::uint32_t size = page.Size();
    const std::uint32_t start = resumeAt != 0 ? resumeAt : page.U16(INNO_REDUNDANT_INFIMUM - 2u);
    // A position at the page's end (a bookmark after its last record) has nothing more;
    // a first link there is damaged.
    if (start >= size - 8) {
        if (resumeAt == 0) NoteRedundantLoss(engine, pageNo, INNO_REDUNDANT_INFIMUM, RedundantLoss::ChainBroken);
        return RedundantPageRead::Rows;
    }
    if (start == INNO_REDUNDANT_SUPREMUM || page.HasText(start, "supremum"))
        return resumeAt != 0 ? RedundantPageRead::Rows : RedundantPageRead::EmptyTable;

    seen.reset();
    // Room for the most fields a header can state (10 bits), and for the whole layout.
    std::vector<Slice> slices(std::max<std::size_t>(engine.m_innoColumns.size(), kMaxRecordFields));
    const std::uint32_t maxRecords = InnoMaxRecordsPerPage(size);
    std::uint32_t visited = 0;
    for (std::uint32_t r = start;;) {
        // The supremum ends the chain; a cycle or a link outside the page ends the page.
        if (r == INNO_REDUNDANT_SUPREMUM) return RedundantPageRead::Rows;
        if (++visited > maxRecords) {
            NoteRedundantLoss(engine, pageNo, r, RedundantLoss::TooManyRecords);
            return RedundantPageRead::Rows;
        }
        if (seen.test(r)) {
            NoteRedundantLoss(engine, pageNo, r, RedundantLoss::ChainLoops);
            return RedundantPageRead::Rows;
        }
        seen.set(r);
        Header h;
        if (!ReadHeader(page, r, h)) {
            NoteRedundantLoss(engine, pageNo, r, RedundantLoss::HeaderOutside);
            return RedundantPageRead::Rows;
        }
        // Delete-marked records wait for purge and are no longer rows; the instant
        // ALTER metadata record is none either.
        if ((h.info & (kRecDeletedFlag | kRecMinRecFlag)) == 0) AppendRecord(engine, page, pageNo, r, h, slices);
        const std::uint32_t next = h.next;
        if (engine.m_rows.size() >= kRowsPerPage) {
            NoteBatchFull(engine, pageNo, next == 0 ? InnoPageEndMarker(size) : next);
            return RedundantPageRead::Rows;
        }
        if (next == 0 || next >= size) {
            NoteRedundantLoss(engine, pageNo, r, RedundantLoss::ChainBroken);
            return RedundantPageRead::Rows;
        }
        r = next;
    }
}

void ReadRedundantInstantMetadata(CTableEngine& engine, const CInnoPageView& leaf, bool fromIbd) {
    InnoInstantState& instant = engine.m_innoInstant;
    if (!instant.active) return;
    const std::uint32_t r = leaf.U16(INNO_REDUNDANT_INFIMUM - 2u);
    Header h;
    if (r == INNO_REDUNDANT_SUPREMUM || !ReadHeader(leaf, r, h) || !(h.info & kRecMinRecFlag)) return;
    std::vector<Slice> slices(h.fields);
    if (!CutFields(leaf, r, h, slices)) return;

    std::vector<InnoColumnDef>& columns = engine.m_innoColumns;
    const std::uint32_t firstUser = InnoFirstUserField(columns);
    // Delete-marked as well: the record of an instant DROP or reorder, whose field after
    // DB_ROLL_PTR refers off the page to the stored field order.
    const bool withMap = (h.info & kRecDeletedFlag) != 0;
    if (withMap) {
        if (firstUser == 0 || firstUser >= h.fields || !slices[firstUser].offPage ||
            slices[firstUser].length != INNO_EXTERN_REF_SIZE) {
            instant.fieldOrderUnknown = true;
            return;
        }
        std::vector<unsigned char> map;
        const std::uint8_t savedReading = engine.m_bReadingIbd;
        engine.m_bReadingIbd = fromIbd ? 1 : 0;
        const bool read = ReadExternValue(engine, leaf.Data() + slices[firstUser].offset, INNO_EXTERN_REF_SIZE, map);
        engine.m_bReadingIbd = savedReading;
        if (!read || !ApplyInstantFieldMap(columns, firstUser, map)) {
            instant.fieldOrderUnknown = true;
            return;
        }
        slices.erase(slices.begin() + firstUser);
    }
    instant.defaults.assign(columns.size(), InnoFieldDefault());
    for (std::size_t i = 0; i < slices.size() && i < columns.size(); ++i) {
        InnoFieldDefault& d = instant.defaults[i];
        const Slice& s = slices[i];
        if (s.kind == Slice::Null) {
            d.kind = InnoFieldDefault::Null;
        } else {
            d.kind = InnoFieldDefault::Value;
            d.offPage = s.offPage;
            d.bytes.assign(leaf.Data() + s.offset, leaf.Data() + s.offset + s.length);
        }
    }
}
