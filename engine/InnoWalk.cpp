// Clustered-index descent and leaf walk over COMPACT records (also DYNAMIC, which shares
// the record format), in a table's .ibd or in ibdata1; records of tables changed by
// instant ALTER TABLE hold fewer fields than the layout, or a count of them.

#include <algorithm>
#include <bitset>
#include <unordered_set>
#include <vector>

#include "engine/InnoBlob.h"
#include "engine/InnoChecksum.h"
#include "engine/InnoFieldValue.h"
#include "engine/InnoLayout.h"
#include "engine/InnoPage.h"
#include "engine/InnoRedundant.h"
#include "engine/TableEngine.h"

namespace {

// Every user record, header included, lies between the end of the supremum and the
// 8-byte trailer that closes the page.
constexpr std::uint32_t kUserHeapStart = INNO_COMPACT_SUPREMUM + 8;
std::uint32_t PageDataEnd(const CInnoPageView& page) { return page.Size() - 8; }
// Record offsets lie below the page size; for pages up to 32 KiB a next-record link
// above it runs backwards (the offset arithmetic wraps at the page size), on 64 KiB pages
// every 16-bit link wraps by itself.
std::uint32_t OffsetLimit(const CInnoPageView& page) { return page.Size(); }
constexpr std::uint32_t kNoPage = 0xFFFFFFFFu;
// MariaDB's page compression writes these types in place of the index page's.
constexpr std::uint16_t kPageTypePageCompressed = 34354;
constexpr std::uint16_t kPageTypePageCompressedEncrypted = 37401;
constexpr std::uint8_t kRecDeletedFlag = 0x20;
// The first record of the leftmost page of a level: on a leaf, only MariaDB's instant
// ALTER metadata record carries it.
constexpr std::uint8_t kRecMinRecFlag = 0x10;
constexpr std::uint8_t kRecStatusOrdinary = 0;
constexpr std::uint8_t kRecStatusNodePtr = 1;
// A leaf record written after an instant ADD COLUMN: a count of its fields follows the
// header.
constexpr std::uint8_t kRecStatusInstant = 4;
constexpr std::uint16_t kPageTypeInstant = 18;
// The metadata record of an instant DROP or reorder stores its field map off-page; its
// 20-byte reference takes no length byte and no null bit.
constexpr std::uint32_t kMetadataRefField = 0xFFFFFFFEu;
// The column number of a field whose column was dropped: no column receives its text.
constexpr std::uint32_t kDroppedColumn = 0xFFFFFFFFu;
// A field map entry: the column index, or for a dropped column its storage.
constexpr std::uint16_t kMapDropped = 0x8000;
constexpr std::uint16_t kMapNotNull = 0x4000;
constexpr std::uint16_t kMapIndex = 0x3FFF;
// The server's limit on the fields of an index record.
constexpr std::uint32_t kMaxRecordFields = 1023;

struct FieldPlan {
    const InnoColumnDef* def = nullptr;
    std::uint32_t fixedLength = 0;
    std::uint32_t column = 0;
    bool nullable = false;
    bool longLength = false;  // a length byte with 0x80 is followed by a second one
    bool system = false;
};

using FieldSlice = InnoFieldSlice;

struct RecordPlan {
    std::vector<FieldPlan> fields;
    std::uint32_t nullBytes = 0;
    // nullableBefore[i]: nullable fields among the first i, which size the null bitmap
    // of a record that holds i fields.
    std::vector<std::uint32_t> nullableBefore;
};

std::uint32_t BitmapBytes(std::uint32_t nullable) { return (nullable + 7) / 8; }

// The fields of a record and what lies below its 5 header bytes before the null bitmap.
struct RecordShape {
    std::uint32_t fields = 0;
    std::uint32_t countBytes = 0;
    std::uint32_t nullBytes = 0;
};

// The layout as the record parser needs it; marks the nullable columns on the way.
RecordPlan PlanRecords(CTableEngine& engine) {
    RecordPlan plan;
    std::uint32_t nullable = 0;
    plan.nullableBefore.push_back(0);
    for (InnoColumnDef& def : engine.m_innoColumns) {
        FieldPlan f;
        f.def = &def;
        f.fixedLength = def.fixedLength;
        f.column = def.column.m_nColumn;
        f.nullable = (def.prtype & INNO_PRTYPE_NOT_NULL) == 0;
        f.longLength = InnoIsBigColumn(def);
        f.system = def.mtype == INNO_MTYPE_SYS;
        if (f.nullable) {
            def.column.m_bNullable = 1;
            ++nullable;
        }
        plan.fields.push_back(f);
        plan.nullableBefore.push_back(nullable);
    }
    plan.nullBytes = BitmapBytes(nullable);
    return plan;
}

// The count of added fields just below the header of an instant record: one byte, or
// two when the first has 0x80 (its low 7 bits, then the next byte's 8 above them).
bool ReadAddedFieldCount(const CInnoPageView& page, std::uint32_t r, std::uint32_t& added,
                         std::uint32_t& countBytes) {
    if (r < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES + 1) return false;
    const std::uint8_t b1 = page.U8(r - INNO_COMPACT_EXTRA_BYTES - 1);
    if (!(b1 & 0x80)) {
        added = b1;
        countBytes = 1;
        return true;
    }
    if (r < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES + 2) return false;
    added = (b1 & 0x7Fu) | static_cast<std::uint32_t>(page.U8(r - INNO_COMPACT_EXTRA_BYTES - 2)) << 7;
    countBytes = 2;
    return true;
}

// How many fields the leaf record at r holds. False when its status does not fit the
// table: a record that claims more fields than the layout has is damaged.
bool ShapeOf(const CTableEngine& engine, const CInnoPageView& page, std::uint32_t r, std::uint8_t status,
             const RecordPlan& plan, RecordShape& shape) {
    const InnoInstantState& instant = engine.m_innoInstant;
    const auto n = static_cast<std::uint32_t>(plan.fields.size());
    if (instant.fieldOrderUnknown) return false;
    if (status == kRecStatusOrdinary) {
        // Before the first instant change a record held the core fields only.
        shape.fields = instant.active ? instant.coreFields : n;
        shape.countBytes = 0;
    } else if (status == kRecStatusInstant && instant.active) {
        std::uint32_t added = 0;
        if (!ReadAddedFieldCount(page, r, added, shape.countBytes)) return false;
        if (static_cast<std::uint64_t>(instant.coreFields) + 1 + added > n) return false;
        shape.fields = instant.coreFields + 1 + added;
    } else {
        return false;
    }
    if (shape.fields > n) return false;
    shape.nullBytes = BitmapBytes(plan.nullableBefore[shape.fields]);
    return true;
}

// Cuts the record at origin r into its fields. Fields past the extent are missing,
// fields past those the record holds take the defaults. False when a header byte or a
// field would lie outside the page's record area: the record is damaged and gives no row.
bool CutRecord(const CInnoPageView& page, std::uint32_t r, std::uint32_t extent, const RecordPlan& plan,
               const RecordShape& shape, std::vector<FieldSlice>& slices) {
    const std::uint32_t below = INNO_COMPACT_EXTRA_BYTES + shape.countBytes;
    const std::uint32_t dataEnd = PageDataEnd(page);
    if (r < kUserHeapStart + below + shape.nullBytes || r > dataEnd) return false;
    const unsigned char* p = page.Data();
    std::uint32_t nullByte = r - below - 1;
    unsigned mask = 1;
    // The next length byte is the one just below this position.
    std::uint32_t lengthCursor = r - below - shape.nullBytes;
    std::uint32_t data = r;
    std::uint32_t consumed = 0;
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const FieldPlan& f = plan.fields[i];
        FieldSlice& s = slices[i];
        s.offPage = false;
        if (i >= shape.fields) {
            s.kind = FieldSlice::Default;
            continue;
        }
        if (consumed >= extent) {
            s.kind = FieldSlice::Missing;
            continue;
        }
        if (f.nullable) {
            if (mask > 0x80) {
                --nullByte;
                mask = 1;
            }
            const bool isNull = (p[nullByte] & mask) != 0;
            mask <<= 1;
            if (isNull) {
                s.kind = FieldSlice::Null;
                continue;
            }
        }
        std::uint32_t length = f.fixedLength;
        if (length == 0) {
            if (lengthCursor <= kUserHeapStart) return false;
            const std::uint8_t b1 = p[--lengthCursor];
            length = b1;
            if (f.longLength && (b1 & INNO_VARLEN_LONG_FLAG)) {
                if (lengthCursor <= kUserHeapStart) return false;
                const std::uint8_t b2 = p[--lengthCursor];
                length = (static_cast<std::uint32_t>(b1 & 0x3F) << 8) | b2;
                s.offPage = (b1 & INNO_VARLEN_EXTERN_FLAG) != 0;
                if (s.offPage && length < INNO_EXTERN_REF_SIZE) return false;
            }
        }
        if (length > dataEnd - data) return false;
        s.kind = FieldSlice::Data;
        s.offset = data;
        s.length = length;
        data += length;
        consumed += length;
    }
    return true;
}

CString Number(std::uint64_t n) {
    CString text;
    text.Format(u"%llu", static_cast<unsigned long long>(n));
    return text;
}

// "t.ibd page 7": where a loss of the walk lies.
CString PagePlace(const CTableEngine& engine, std::uint32_t page) {
    const CString& path = engine.m_bReadingIbd ? engine.m_fileIbd.GetFilePath() : engine.m_fileIbdata.GetFilePath();
    const int slash = path.ReverseFind(u'/');
    return (slash >= 0 ? path.Mid(slash + 1) : path) + u" page " + Number(page);
}

void WalkLoss(CTableEngine& engine, std::uint32_t page, const CString& what) {
    engine.m_context.ReportLoss(PagePlace(engine, page) + u": " + what);
}

void AppendRow(CTableEngine& engine, const CInnoPageView& page, const RecordPlan& plan,
               const std::vector<FieldSlice>& slices) {
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const FieldPlan& f = plan.fields[i];
        if (f.system || f.column >= engine.m_columns.size()) continue;
        SetInnoCell(engine, page, *f.def, f.column, i, slices[i]);
    }
    engine.m_rows.push_back(engine.m_columns);
}

void NoteBatchFull(CTableEngine& engine, std::uint32_t page, std::uint32_t offset) {
    engine.m_bBatchFull = 1;
    engine.m_nextBookmark = PageBookmark{page, offset};
    if (!engine.m_bNoBookmark) engine.m_bookmarks.push_back(PageBookmark{page, offset});
}

// Reads the records of one leaf page from start along the record chain. A chain that
// comes back to a record already read on this page ends there.
void ReadPageRecords(CTableEngine& engine, const CInnoPageView& page, std::uint32_t pageNo, std::uint32_t start,
                     bool ibdFamily, const RecordPlan& plan, std::vector<FieldSlice>& slices,
                     InnoOriginSet& seen) {
    seen.reset();
    bool backwardMet = false;
    std::uint32_t r = start;
    std::uint32_t visited = 0;
    const std::uint32_t offsetLimit = OffsetLimit(page);
    const std::uint32_t maxRecords = InnoMaxRecordsPerPage(page.Size());
    auto chainBroken = [&](const char16_t* why) {
        WalkLoss(engine, pageNo, u"the record chain breaks at offset " + Number(r) + u" (" + why +
                                     u"); the page's later records are lost");
    };
    for (;;) {
        if (r == INNO_COMPACT_SUPREMUM) return;
        if (r < INNO_COMPACT_SUPREMUM || r >= offsetLimit) return chainBroken(u"a link outside the records");
        if (visited > maxRecords) return chainBroken(u"more records than a page holds");
        ++visited;
        if (seen.test(r)) return chainBroken(u"a link back to a record read before");
        seen.set(r);
        // A record must have its 5 header bytes in the record area to be read at all.
        if (r < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES) return chainBroken(u"a record inside the page header");

        const std::uint32_t v = page.U16(r - 2);
        std::uint32_t link = 0;  // the page size: no record follows on this page
        std::uint32_t next = 0;
        std::uint32_t extent = 0;
        if (v <= offsetLimit) {
            link = v;
            next = r + v;
            // A record linked to itself still has its fields; only its chain is broken.
            extent = ((ibdFamily && backwardMet) || v == 0) ? offsetLimit - r : v;
        } else {
            const std::uint32_t t = r + (v & (offsetLimit - 1));
            link = t <= offsetLimit ? t : t - offsetLimit;
            next = link;
            extent = offsetLimit - r;
            backwardMet = true;
        }

        // Delete-marked records wait for purge and are no longer rows; node pointers,
        // the system records and MariaDB's instant-ALTER metadata record are no rows
        // either.
        const std::uint8_t info = page.U8(r - 5);
        const std::uint8_t status = page.U8(r - 3) & 0x07;
        RecordShape shape;
        if ((info & (kRecDeletedFlag | kRecMinRecFlag)) == 0) {
            if (ShapeOf(engine, page, r, status, plan, shape) && CutRecord(page, r, extent, plan, shape, slices)) {
                AppendRow(engine, page, plan, slices);
                for (std::size_t i = 0; i < slices.size(); ++i) {
                    if (slices[i].kind != FieldSlice::Missing) continue;
                    WalkLoss(engine, pageNo,
                             u"the record at offset " + Number(r) + u" is cut short; its fields from " +
                                 Number(i + 1) + u" on are empty");
                    break;
                }
            } else if (status == kRecStatusOrdinary || status == kRecStatusInstant) {
                WalkLoss(engine, pageNo, u"damaged record at offset " + Number(r) + u" skipped");
            }
        }

        if (link >= offsetLimit) {
            if (engine.m_rows.size() >= kRowsPerPage) NoteBatchFull(engine, pageNo, InnoPageEndMarker(page.Size()));
            return;
        }
        const std::uint32_t position = next & 0xFFFF;
        if (engine.m_rows.size() >= kRowsPerPage) {
            NoteBatchFull(engine, pageNo, position);
            return;
        }
        if (position >= offsetLimit) return chainBroken(u"a link past the page");
        r = position;
    }
}

bool IsIndexPageType(std::uint16_t type) { return type == INNO_PAGE_TYPE_INDEX || type == kPageTypeInstant; }

// The page holds COMPACT records: its infimum says so, or it is the root of a table
// with instantly dropped or reordered columns, whose system records' data are zeroed
// (the supremum's last byte then holds the core null-bitmap size).
bool HasCompactSystemRecords(const CInnoPageView& page) {
    if (page.HasText(INNO_COMPACT_INFIMUM, "infimum")) return true;
    static const char zeros[8] = {};
    return page.U16(24) == kPageTypeInstant && (page.U16(42) & 0x8000) != 0 &&
           page.HasBytes(INNO_COMPACT_INFIMUM, zeros, 8) && page.HasBytes(INNO_COMPACT_SUPREMUM, zeros, 7);
}

// Fields of the layout that precede the first non-key column: the key, DB_TRX_ID and
// DB_ROLL_PTR. 0 when the layout has no DB_ROLL_PTR.
std::uint32_t FirstUserField(const std::vector<InnoColumnDef>& columns) {
    for (std::uint32_t i = 0; i < columns.size(); ++i)
        if (columns[i].mtype == INNO_MTYPE_SYS && columns[i].column.m_strName == u"DB_ROLL_PTR") return i + 1;
    return 0;
}

bool IsDroppedField(const InnoColumnDef& def) { return def.column.m_nColumn == kDroppedColumn; }

// The layout of the columns as the table defines them now: no dropped fields, the
// non-key columns in column order (as the layout builders make it).
void RestoreColumnOrder(std::vector<InnoColumnDef>& columns, std::uint32_t firstUser) {
    columns.erase(std::remove_if(columns.begin(), columns.end(), IsDroppedField), columns.end());
    if (firstUser > columns.size()) return;
    std::stable_sort(columns.begin() + firstUser, columns.end(), [](const InnoColumnDef& a, const InnoColumnDef& b) {
        return a.column.m_nColumn < b.column.m_nColumn;
    });
}

// A field of a column dropped instantly: still in the records, never shown. Its map
// entry gives its storage: 0 a short variable field, 1 a long one, else 1 + its fixed
// length.
InnoColumnDef DroppedField(std::uint16_t entry) {
    InnoColumnDef def;
    const std::uint32_t storage = entry & kMapIndex;
    def.mtype = storage > 1 ? INNO_MTYPE_FIXBINARY : INNO_MTYPE_BINARY;
    def.prtype = (entry & kMapNotNull) ? INNO_PRTYPE_NOT_NULL : 0;
    def.len = storage > 1 ? storage - 1 : (storage == 1 ? 0xFFFF : 255);
    def.fixedLength = storage > 1 ? storage - 1 : 0;
    def.column.m_strName = u"DB_DROPPED";
    def.column.m_nColumn = kDroppedColumn;
    return def;
}

// Puts the non-key fields in the order the records store them, from the field map of
// an instant DROP or reorder (a 4-byte count, then a 2-byte entry per field). False, and
// the layout unchanged, when the map does not fit the table's columns.
bool ApplyFieldMap(std::vector<InnoColumnDef>& columns, std::uint32_t firstUser,
                   const std::vector<unsigned char>& map) {
    if (map.size() < 4) return false;
    const std::uint32_t count = static_cast<std::uint32_t>(map[0]) << 24 | static_cast<std::uint32_t>(map[1]) << 16 |
                                static_cast<std::uint32_t>(map[2]) << 8 | map[3];
    if (count > kMaxRecordFields || map.size() < 4 + 2 * static_cast<std::size_t>(count)) return false;
    std::vector<InnoColumnDef> tail;
    std::vector<bool> used(columns.size(), false);
    for (std::uint32_t k = 0; k < count; ++k) {
        const auto entry = static_cast<std::uint16_t>(map[4 + 2 * k] << 8 | map[5 + 2 * k]);
        if (entry & kMapDropped) {
            tail.push_back(DroppedField(entry));
            continue;
        }
        if (entry & kMapNotNull) return false;
        std::uint32_t found = 0;
        for (std::uint32_t i = firstUser; i < columns.size() && !found; ++i)
            if (!used[i] && columns[i].column.m_nColumn == entry) found = i;
        if (!found) return false;
        used[found] = true;
        tail.push_back(columns[found]);
    }
    for (std::uint32_t i = firstUser; i < columns.size(); ++i)
        if (!used[i]) return false;
    columns.resize(firstUser);
    for (InnoColumnDef& def : tail) columns.push_back(std::move(def));
    return true;
}

std::uint32_t NullableCount(const std::vector<InnoColumnDef>& columns) {
    return static_cast<std::uint32_t>(std::count_if(columns.begin(), columns.end(), [](const InnoColumnDef& d) {
        return (d.prtype & INNO_PRTYPE_NOT_NULL) == 0;
    }));
}

// The clustered root of a table changed by instant ALTER TABLE has its own page type
// and keeps the count of core fields in the upper 13 bits of the last-insert direction.
void ReadInstantRoot(CTableEngine& engine, const CInnoPageView& root, const IndexPageHeader& index) {
    if (root.U16(24) != kPageTypeInstant) return;
    std::vector<InnoColumnDef>& columns = engine.m_innoColumns;
    const std::uint32_t firstUser = FirstUserField(columns);
    RestoreColumnOrder(columns, firstUser);
    const std::uint32_t core = index.direction >> 3;
    if (firstUser == 0 || core < firstUser || core > kMaxRecordFields) return;
    InnoInstantState& instant = engine.m_innoInstant;
    instant.active = true;
    instant.coreFields = core;
    if (root.HasText(INNO_COMPACT_INFIMUM, "infimum")) {
        // Columns only added: the layout's first fields are the core ones.
        std::uint32_t nullable = 0;
        for (std::uint32_t i = 0; i < core && i < columns.size(); ++i)
            if (!(columns[i].prtype & INNO_PRTYPE_NOT_NULL)) ++nullable;
        instant.coreNullBytes = BitmapBytes(nullable);
    } else {
        instant.coreNullBytes = root.U8(INNO_COMPACT_SUPREMUM + 7);
    }
}

// Reads the field map that the metadata record at r refers to, trying the null-bitmap
// size the current columns give and then the one the map itself gives (dropped nullable
// columns count too); the bitmap only matters for finding variable-length key fields.
bool ReadFieldMap(CTableEngine& engine, const CInnoPageView& leaf, std::uint32_t r, std::uint32_t countBytes,
                  std::uint32_t firstUser, bool fromIbd) {
    std::vector<InnoColumnDef>& columns = engine.m_innoColumns;
    std::uint32_t nullBytes = BitmapBytes(NullableCount(columns));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::uint32_t below = INNO_COMPACT_EXTRA_BYTES + countBytes + nullBytes;
        if (r < kUserHeapStart + below) return false;
        std::uint32_t lengthCursor = r - below;
        std::uint32_t data = r;
        for (std::uint32_t i = 0; i < firstUser; ++i) {
            std::uint32_t length = columns[i].fixedLength;
            if (length == 0) {
                if (lengthCursor <= kUserHeapStart) return false;
                const std::uint8_t b1 = leaf.U8(--lengthCursor);
                length = b1;
                if (InnoIsBigColumn(columns[i]) && (b1 & INNO_VARLEN_LONG_FLAG)) {
                    if (lengthCursor <= kUserHeapStart) return false;
                    length = (static_cast<std::uint32_t>(b1 & 0x3F) << 8) | leaf.U8(--lengthCursor);
                }
            }
            if (length > PageDataEnd(leaf) - data) return false;
            data += length;
        }
        if (INNO_EXTERN_REF_SIZE > PageDataEnd(leaf) - data) return false;
        std::vector<unsigned char> map;
        const std::uint8_t savedReading = engine.m_bReadingIbd;
        engine.m_bReadingIbd = fromIbd ? 1 : 0;
        const bool read = ReadExternValue(engine, leaf.Data() + data, INNO_EXTERN_REF_SIZE, map);
        engine.m_bReadingIbd = savedReading;
        if (!read) return false;
        std::vector<InnoColumnDef> stored = columns;
        if (!ApplyFieldMap(stored, firstUser, map)) return false;
        const std::uint32_t storedNullBytes = BitmapBytes(NullableCount(stored));
        if (storedNullBytes == nullBytes) {
            columns = std::move(stored);
            return true;
        }
        nullBytes = storedNullBytes;
    }
    return false;
}

// The metadata record that opens the leftmost leaf of an instant table holds the
// defaults of the added fields and, after an instant DROP or reorder, the field map.
// Without one the records keep the layout as built, with no defaults; a field map that
// cannot be read leaves the field order unknown and the table without rows.
void ReadInstantMetadata(CTableEngine& engine, const CInnoPageView& leaf, bool fromIbd) {
    InnoInstantState& instant = engine.m_innoInstant;
    if (!instant.active || !HasCompactSystemRecords(leaf)) return;
    const std::uint32_t r = static_cast<std::uint16_t>(leaf.U16(INNO_COMPACT_INFIMUM - 2u) + INNO_COMPACT_INFIMUM);
    if (r <= INNO_COMPACT_SUPREMUM || r >= OffsetLimit(leaf) || r < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES) return;
    const std::uint8_t info = leaf.U8(r - 5);
    if (!(info & kRecMinRecFlag) || (leaf.U8(r - 3) & 0x07) != kRecStatusInstant) return;
    std::uint32_t added = 0, countBytes = 0;
    if (!ReadAddedFieldCount(leaf, r, added, countBytes)) return;
    std::uint32_t stored = instant.coreFields + 1 + added;
    const std::uint32_t firstUser = FirstUserField(engine.m_innoColumns);
    // Delete-marked as well: the record of an instant DROP or reorder, with the map.
    const bool withMap = (info & kRecDeletedFlag) != 0;
    if (withMap) {
        if (!ReadFieldMap(engine, leaf, r, countBytes, firstUser, fromIbd)) {
            instant.fieldOrderUnknown = true;
            return;
        }
        --stored;
    }

    const RecordPlan layout = PlanRecords(engine);
    instant.defaults.assign(layout.fields.size(), InnoFieldDefault());
    if (stored > layout.fields.size() || instant.coreFields > layout.fields.size()) return;
    // The record as stored: the map's reference follows DB_ROLL_PTR.
    RecordPlan plan = layout;
    if (withMap) {
        FieldPlan ref;
        ref.fixedLength = INNO_EXTERN_REF_SIZE;
        ref.column = kMetadataRefField;
        ref.system = true;
        plan.fields.insert(plan.fields.begin() + firstUser, ref);
        plan.nullableBefore.insert(plan.nullableBefore.begin() + firstUser + 1, plan.nullableBefore[firstUser]);
    }
    RecordShape shape;
    shape.fields = stored + (withMap ? 1 : 0);
    shape.countBytes = countBytes;
    shape.nullBytes = BitmapBytes(plan.nullableBefore[shape.fields]);
    std::vector<FieldSlice> slices(plan.fields.size());
    if (!CutRecord(leaf, r, OffsetLimit(leaf) - r, plan, shape, slices)) return;
    for (std::size_t i = 0, field = 0; i < plan.fields.size(); ++i) {
        if (plan.fields[i].column == kMetadataRefField) continue;
        InnoFieldDefault& d = instant.defaults[field++];
        const FieldSlice& s = slices[i];
        if (s.kind == FieldSlice::Null) {
            d.kind = InnoFieldDefault::Null;
        } else if (s.kind == FieldSlice::Data) {
            d.kind = InnoFieldDefault::Value;
            d.offPage = s.offPage;
            d.bytes.assign(leaf.Data() + s.offset, leaf.Data() + s.offset + s.length);
        }
    }
}

bool WalkLeaves(CTableEngine& engine, CFile& file, std::uint64_t pageCount, bool ibdFamily, std::uint32_t page,
                std::uint16_t offset) {
    engine.m_bBatchFull = 0;
    const RecordPlan plan = PlanRecords(engine);
    if (page == kNoPage) return true;
    // A bookmark inside a leaf page resumes there; offset 0 starts at the first record.
    std::uint32_t resumeAt = offset;

    CInnoPage buffer(InnoFilePageSize(engine, file));
    std::vector<FieldSlice> slices(plan.fields.size());
    InnoOriginSet seen;
    // A damaged chain that comes back to a page of this walk ends it; the set holds at
    // most the pages of the file.
    std::unordered_set<std::uint32_t> visitedPages;
    bool haveIndex = false;
    std::uint64_t indexId = 0;
    bool firstPage = true;
    // Next Records goes on where the last page of rows ended; only a walk from a leaf's
    // first record starts the order afresh. Previous and Next re-read pages in the order
    // they were first read, a loop leads to one read before the page it comes from.
    if (resumeAt == 0) engine.m_leafOrder.clear();
    std::uint64_t fromOrder = 0;
    const bool fullCrc32 = DecodeFspFlags(ReadFspFlags(file)).fullCrc32;
    std::uint32_t from = page;
    auto chainCut = [&](const CString& why) {
        WalkLoss(engine, from, u"the leaf chain is cut short: " + why + u"; the rows after it are lost");
    };
    while (true) {
        if (page >= pageCount || (!ibdFamily && page == 0)) {
            chainCut(u"its next page " + Number(page) + u" lies outside the file");
            break;
        }
        if (!visitedPages.insert(page).second) {
            chainCut(u"it leads back to page " + Number(page));
            break;
        }
        const auto order = engine.m_leafOrder.try_emplace(page, engine.m_leafOrder.size()).first->second;
        if (!firstPage && order <= fromOrder) {
            chainCut(u"it leads back to page " + Number(page));
            break;
        }
        fromOrder = order;
        try {
            buffer.Load(file, page);
        } catch (const CFileException& e) {
            // An unreadable page ends the walk with the rows read so far.
            chainCut(u"page " + Number(page) + u" cannot be read (" + CString::FromUtf8(e.what()) + u")");
            break;
        }
        if (!InnoPageChecksumValid(buffer.Data(), buffer.Size(), fullCrc32))
            WalkLoss(engine, page, u"checksum mismatch, the page is damaged; what still parses is read");
        ParseFilHeader(buffer, engine.m_filHeader);
        if (engine.m_filHeader.type == kPageTypePageCompressed ||
            engine.m_filHeader.type == kPageTypePageCompressedEncrypted) {
            WalkLoss(engine, page, u"a page-compressed page, which is not read; its records are lost");
        } else if (!IsIndexPageType(engine.m_filHeader.type)) {
            WalkLoss(engine, page, u"not an index page (type " + Number(engine.m_filHeader.type) +
                                       u"); its records are lost");
        } else {
            IndexPageHeader index;
            ParseIndexPageHeader(buffer, index);
            // A chain that leads off the leaf level or into another index no longer
            // holds this table's rows.
            if (index.level != 0 || (haveIndex && index.indexId != indexId)) {
                chainCut(u"page " + Number(page) + (index.level != 0 ? u" is no leaf" : u" belongs to another index"));
                break;
            }
            haveIndex = true;
            indexId = index.indexId;
            if (HasCompactSystemRecords(buffer)) {
                const bool resumed = resumeAt != 0;
                std::uint32_t start =
                    resumed ? resumeAt
                            : static_cast<std::uint16_t>(buffer.U16(INNO_COMPACT_INFIMUM - 2u) + INNO_COMPACT_INFIMUM);
                if (start < buffer.Size() - 8) {
                    if (start == INNO_COMPACT_SUPREMUM || buffer.HasBytes(start, "supremum", 8)) {
                        // An empty first leaf is an empty table.
                        if (!resumed && firstPage) return true;
                    } else {
                        ReadPageRecords(engine, buffer, page, start, ibdFamily, plan, slices, seen);
                    }
                } else if (!resumed) {
                    WalkLoss(engine, page, u"the first record's link is damaged; the page's records are lost");
                }
            } else if (IsRedundantIndexPage(buffer)) {
                if (ReadRedundantLeafPage(engine, buffer, page, resumeAt, seen) == RedundantPageRead::EmptyTable &&
                    firstPage)
                    return true;
            } else {
                WalkLoss(engine, page, u"records not in the REDUNDANT, COMPACT or DYNAMIC format are not read");
            }
        }
        if (engine.m_bBatchFull) return true;
        resumeAt = 0;
        firstPage = false;
        const std::uint32_t next = engine.m_filHeader.next;
        if (next == kNoPage) break;
        if (ibdFamily && next == engine.m_filHeader.prev) {
            from = page;
            chainCut(u"its next page is its previous one");
            break;
        }
        from = page;
        page = next;
    }
    return true;
}

std::uint32_t DescendToLeaf(CTableEngine& engine, CFile& file, std::uint64_t pageCount, std::uint32_t page) {
    CInnoPage buffer(InnoFilePageSize(engine, file));
    engine.m_innoInstant = InnoInstantState();
    bool first = true;
    std::uint16_t parentLevel = 0;
    std::uint64_t indexId = 0;
    try {
        // Each child must lie at a lower level of the same index than its parent, so the
        // loop runs at most once per level of the root.
        for (;;) {
            if (page >= pageCount) return 0;
            buffer.Load(file, page);
            ParseFilHeader(buffer, engine.m_filHeader);
            if (!IsIndexPageType(engine.m_filHeader.type)) return 0;
            IndexPageHeader index;
            ParseIndexPageHeader(buffer, index);
            if (!first && (index.level >= parentLevel || index.indexId != indexId)) return 0;
            if (first) ReadInstantRoot(engine, buffer, index);
            if (index.level == 0) {
                if (IsRedundantIndexPage(buffer)) ReadRedundantInstantMetadata(engine, buffer, &file == &engine.m_fileIbd);
                else ReadInstantMetadata(engine, buffer, &file == &engine.m_fileIbd);
                return page;
            }
            first = false;
            parentLevel = index.level;
            indexId = index.indexId;

            if (IsRedundantIndexPage(buffer)) {
                page = RedundantLeftmostChild(buffer);
                if (page == 0) return 0;
                continue;
            }
            if (!HasCompactSystemRecords(buffer)) return 0;
            const std::uint32_t firstRecord =
                static_cast<std::uint16_t>(buffer.U16(INNO_COMPACT_INFIMUM - 2u) + INNO_COMPACT_INFIMUM);
            if (firstRecord >= OffsetLimit(buffer)) return 0;
            if (firstRecord <= INNO_COMPACT_SUPREMUM || buffer.HasBytes(firstRecord, "supremum", 8)) return 0;
            if (firstRecord < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES) return 0;
            if ((buffer.U8(firstRecord - 3) & 0x07) != kRecStatusNodePtr) return 0;
            // A key of empty strings puts the child number right at the origin, so the
            // offset itself may be 0.
            std::uint32_t off = 0;
            if (!FindNodePtrChildOffset(engine, buffer.Data(), static_cast<std::uint16_t>(firstRecord), off,
                                        buffer.Size()))
                return 0;
            if (off > buffer.Size() || !buffer.Inside(firstRecord + off, 4)) return 0;
            page = buffer.U32(firstRecord + off);
        }
    } catch (const CFileException&) {
        return 0;
    }
}

}  // namespace

std::uint32_t CTableEngine::DescendToLeafIbd(std::uint32_t page) {
    return DescendToLeaf(*this, m_fileIbd, m_nIbdPages, page);
}

std::uint32_t CTableEngine::DescendToLeafSystem(std::uint32_t page) {
    return DescendToLeaf(*this, m_fileIbdata, m_nIbdataPages, page);
}

bool CTableEngine::ReadLeafRowsIbd(std::uint32_t page, std::uint16_t offset) {
    return WalkLeaves(*this, m_fileIbd, m_nIbdPages, true, page, offset);
}

bool CTableEngine::ReadLeafRowsSystem(std::uint32_t page, std::uint16_t offset) {
    return WalkLeaves(*this, m_fileIbdata, m_nIbdataPages, false, page, offset);
}

void SetInnoCell(CTableEngine& engine, const CInnoPageView& page, const InnoColumnDef& def, std::uint32_t column,
                 std::size_t defaultIndex, const InnoFieldSlice& s) {
    static const CString kNullText(u"NULL");
    CString& text = engine.m_columns[column].m_strValue;
    std::uint8_t& isNull = engine.m_columns[column].m_bNull;
    isNull = 0;
    engine.m_bCellIncomplete = 0;
    switch (s.kind) {
    case InnoFieldSlice::Missing: text.Empty(); break;
    case InnoFieldSlice::Null:
        text = kNullText;
        isNull = 1;
        break;
    case InnoFieldSlice::Data:
        FormatInnoFieldValue(engine, text, def, s.offPage, page.Data() + s.offset, s.length);
        break;
    case InnoFieldSlice::Default: {
        const std::vector<InnoFieldDefault>& defaults = engine.m_innoInstant.defaults;
        const InnoFieldDefault* d = defaultIndex < defaults.size() ? &defaults[defaultIndex] : nullptr;
        if (!d || d->kind == InnoFieldDefault::Unknown) {
            text.Empty();
        } else if (d->kind == InnoFieldDefault::Null) {
            text = kNullText;
            isNull = 1;
        } else {
            FormatInnoFieldValue(engine, text, def, d->offPage, d->bytes.data(),
                                 static_cast<std::uint32_t>(d->bytes.size()));
        }
        break;
    }
    }
    engine.m_columns[column].m_bIncomplete = engine.m_bCellIncomplete;
}

std::uint32_t InnoFirstUserField(const std::vector<InnoColumnDef>& columns) { return FirstUserField(columns); }

bool ApplyInstantFieldMap(std::vector<InnoColumnDef>& columns, std::uint32_t firstUser,
                          const std::vector<unsigned char>& map) {
    return ApplyFieldMap(columns, firstUser, map);
}
