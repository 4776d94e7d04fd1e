// Clustered-index descent and leaf walk over COMPACT records (also DYNAMIC, which shares
// the record format), in a table's .ibd or in ibdata1.

#include <algorithm>
#include <bitset>
#include <unordered_set>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "engine/InnoBlob.h"
#include "engine/InnoFieldValue.h"
#include "engine/InnoLayout.h"
#include "engine/InnoPage.h"
#include "engine/TableEngine.h"

namespace {

// Every user record, header included, lies between the end of the supremum and the
// 8-byte trailer that closes the page.
constexpr std::uint32_t kUserHeapStart = INNO_COMPACT_SUPREMUM + 8;
constexpr std::uint32_t kPageDataEnd = INNO_PAGE_SIZE - 8;
constexpr std::uint32_t kOffsetLimit = 0x4000;
constexpr std::uint32_t kNoPage = 0xFFFFFFFFu;
constexpr std::uint8_t kRecDeletedFlag = 0x20;
constexpr std::uint8_t kRecStatusOrdinary = 0;
constexpr std::uint8_t kRecStatusNodePtr = 1;

struct FieldPlan {
    const InnoColumnDef* def = nullptr;
    std::uint32_t fixedLength = 0;
    std::uint32_t column = 0;
    bool nullable = false;
    bool longLength = false;  // a length byte with 0x80 is followed by a second one
    bool system = false;
};

struct FieldSlice {
    enum Kind : std::uint8_t { Data, Null, Missing };
    Kind kind = Data;
    bool offPage = false;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

struct RecordPlan {
    std::vector<FieldPlan> fields;
    std::uint32_t nullBytes = 0;
};

// The layout as the record parser needs it; marks the nullable columns on the way.
RecordPlan PlanRecords(CTableEngine& engine) {
    RecordPlan plan;
    std::uint32_t nullable = 0;
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
    }
    plan.nullBytes = (nullable + 7) / 8;
    return plan;
}

// Cuts the record at origin r into its fields. Fields past the extent are missing. False
// when a header byte or a field would lie outside the page's record area: the record is
// damaged and gives no row.
bool CutRecord(const CInnoPageView& page, std::uint32_t r, std::uint32_t extent, const RecordPlan& plan,
               std::vector<FieldSlice>& slices) {
    if (r < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES + plan.nullBytes || r > kPageDataEnd) return false;
    const unsigned char* p = page.Data();
    std::uint32_t nullByte = r - INNO_COMPACT_EXTRA_BYTES - 1;
    unsigned mask = 1;
    // The next length byte is the one just below this position.
    std::uint32_t lengthCursor = r - INNO_COMPACT_EXTRA_BYTES - plan.nullBytes;
    std::uint32_t data = r;
    std::uint32_t consumed = 0;
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const FieldPlan& f = plan.fields[i];
        FieldSlice& s = slices[i];
        s.offPage = false;
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
        if (length > kPageDataEnd - data) return false;
        s.kind = FieldSlice::Data;
        s.offset = data;
        s.length = length;
        data += length;
        consumed += length;
    }
    return true;
}

void AppendRow(CTableEngine& engine, const CInnoPageView& page, const RecordPlan& plan,
               const std::vector<FieldSlice>& slices) {
    static const CString kNullText(u"NULL");
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const FieldPlan& f = plan.fields[i];
        if (f.system || f.column >= engine.m_columns.size()) continue;
        CString& text = engine.m_columns[f.column].m_strValue;
        const FieldSlice& s = slices[i];
        switch (s.kind) {
        case FieldSlice::Missing: text.Empty(); break;
        case FieldSlice::Null: text = kNullText; break;
        case FieldSlice::Data:
            FormatInnoFieldValue(engine, text, *f.def, s.offPage, page.Data() + s.offset, s.length);
            break;
        }
    }
    engine.m_rows.push_back(engine.m_columns);
}

void NoteBatchFull(CTableEngine& engine, std::uint32_t page, std::uint32_t offset) {
    engine.m_bBatchFull = 1;
    if (!engine.m_bNoBookmark) engine.m_bookmarks.push_back(PageBookmark{page, offset});
}

// Reads the records of one leaf page from start along the record chain. A chain that
// comes back to a record already read on this page ends there.
void ReadPageRecords(CTableEngine& engine, const CInnoPageView& page, std::uint32_t pageNo, std::uint32_t start,
                     bool ibdFamily, const RecordPlan& plan, std::vector<FieldSlice>& slices,
                     std::bitset<INNO_PAGE_SIZE>& seen) {
    seen.reset();
    bool backwardMet = false;
    std::uint32_t r = start;
    std::uint32_t visited = 0;
    for (;;) {
        if (r <= INNO_COMPACT_SUPREMUM || visited > INNO_MAX_RECS_PER_PAGE || r >= kOffsetLimit) return;
        ++visited;
        if (seen.test(r)) return;
        seen.set(r);
        // A record must have its 5 header bytes in the record area to be read at all.
        if (r < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES) return;

        const std::uint32_t v = page.U16(r - 2);
        std::uint32_t link = 0;  // 0x4000: no record follows on this page
        std::uint32_t next = 0;
        std::uint32_t extent = 0;
        if (v <= kOffsetLimit) {
            link = v;
            next = r + v;
            // A record linked to itself still has its fields; only its chain is broken.
            extent = ((ibdFamily && backwardMet) || v == 0) ? kOffsetLimit - r : v;
        } else {
            const std::uint32_t t = r + (v & 0x3FFF);
            link = t <= kOffsetLimit ? t : t - kOffsetLimit;
            next = link;
            extent = kOffsetLimit - r;
            backwardMet = true;
        }

        // Delete-marked records wait for purge and are no longer rows; node pointers,
        // the system records and MariaDB's instant-ALTER metadata record are no rows
        // either.
        const std::uint8_t info = page.U8(r - 5);
        const std::uint8_t status = page.U8(r - 3) & 0x07;
        if ((info & kRecDeletedFlag) == 0 && status == kRecStatusOrdinary &&
            CutRecord(page, r, extent, plan, slices))
            AppendRow(engine, page, plan, slices);

        if (link >= kOffsetLimit) {
            if (engine.m_rows.size() >= kRowsPerPage) NoteBatchFull(engine, pageNo, kOffsetLimit);
            return;
        }
        const std::uint32_t position = next & 0xFFFF;
        if (engine.m_rows.size() >= kRowsPerPage) {
            NoteBatchFull(engine, pageNo, position);
            return;
        }
        if (position >= kOffsetLimit) return;
        r = position;
    }
}

bool WalkLeaves(CTableEngine& engine, CFile& file, std::uint64_t pageCount, bool ibdFamily, std::uint32_t page,
                std::uint16_t offset) {
    engine.m_bBatchFull = 0;
    const RecordPlan plan = PlanRecords(engine);
    if (page == kNoPage) return true;
    CDralvekOstruneApp* app = GetDralvekApp();
    std::uint32_t resumeAt = (app && app->m_bResumeRead == 1) ? offset : 0;

    CInnoPage buffer;
    std::vector<FieldSlice> slices(plan.fields.size());
    std::bitset<INNO_PAGE_SIZE> seen;
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
    while (page < pageCount && (ibdFamily || page != 0)) {
        if (!visitedPages.insert(page).second) break;
        const auto order = engine.m_leafOrder.try_emplace(page, engine.m_leafOrder.size()).first->second;
        if (!firstPage && order <= fromOrder) break;
        fromOrder = order;
        try {
            buffer.Load(file, page);
        } catch (const CFileException&) {
            // An unreadable page ends the walk with the rows read so far.
            break;
        }
        ParseFilHeader(buffer, engine.m_filHeader);
        if (engine.m_filHeader.type == INNO_PAGE_TYPE_INDEX) {
            IndexPageHeader index;
            ParseIndexPageHeader(buffer, index);
            // A chain that leads off the leaf level or into another index no longer
            // holds this table's rows.
            if (index.level != 0 || (haveIndex && index.indexId != indexId)) break;
            haveIndex = true;
            indexId = index.indexId;
            if (buffer.HasText(INNO_COMPACT_INFIMUM, "infimum")) {
                const bool resumed = resumeAt != 0;
                std::uint32_t start =
                    resumed ? resumeAt
                            : static_cast<std::uint16_t>(buffer.U16(INNO_COMPACT_INFIMUM - 2u) + INNO_COMPACT_INFIMUM);
                if (start < INNO_RECORD_START_LIMIT) {
                    if (buffer.HasBytes(start, "supremum", 8)) {
                        // An empty first leaf is an empty table.
                        if (!resumed && firstPage) return true;
                    } else {
                        ReadPageRecords(engine, buffer, page, start, ibdFamily, plan, slices, seen);
                    }
                }
            }
        }
        if (engine.m_bBatchFull) return true;
        if (app) app->m_bResumeRead = 0;
        resumeAt = 0;
        firstPage = false;
        const std::uint32_t next = engine.m_filHeader.next;
        if (next == kNoPage || (ibdFamily && next == engine.m_filHeader.prev)) break;
        page = next;
    }
    return true;
}

std::uint32_t DescendToLeaf(CTableEngine& engine, CFile& file, std::uint64_t pageCount, std::uint32_t page) {
    CInnoPage buffer;
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
            if (engine.m_filHeader.type != INNO_PAGE_TYPE_INDEX) return 0;
            IndexPageHeader index;
            ParseIndexPageHeader(buffer, index);
            if (!first && (index.level >= parentLevel || index.indexId != indexId)) return 0;
            if (index.level == 0) return page;
            first = false;
            parentLevel = index.level;
            indexId = index.indexId;

            if (!buffer.HasText(INNO_COMPACT_INFIMUM, "infimum")) return 0;
            const std::uint32_t firstRecord =
                static_cast<std::uint16_t>(buffer.U16(INNO_COMPACT_INFIMUM - 2u) + INNO_COMPACT_INFIMUM);
            if (firstRecord >= kOffsetLimit) return 0;
            if (firstRecord <= INNO_COMPACT_SUPREMUM || buffer.HasBytes(firstRecord, "supremum", 8)) return 0;
            if (firstRecord < kUserHeapStart + INNO_COMPACT_EXTRA_BYTES) return 0;
            if ((buffer.U8(firstRecord - 3) & 0x07) != kRecStatusNodePtr) return 0;
            // A key of empty strings puts the child number right at the origin, so the
            // offset itself may be 0.
            std::uint32_t off = 0;
            if (!FindNodePtrChildOffset(engine, buffer.Data(), static_cast<std::uint16_t>(firstRecord), off))
                return 0;
            if (off > INNO_PAGE_SIZE || !CInnoPageView::Has(firstRecord + off, 4)) return 0;
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
