#include "engine/InnoDictionary.h"

#include <cstring>
#include <unordered_set>

#include "engine/Collation.h"
#include "engine/Decoding.h"
#include "engine/InnoPage.h"

namespace {

// Dictionary names are short (a database and a table name of 64 characters each in the
// file-name encoding, plus temporary and partition suffixes); anything longer is damage.
constexpr std::uint32_t kMaxDictionaryName = 1024;

struct Field {
    const unsigned char* p;
    std::uint32_t length;
};

std::uint64_t Be(const Field& f) {
    std::uint64_t v = 0;
    for (std::uint32_t i = 0; i < f.length && i < 8; ++i) v = v << 8 | f.p[i];
    return v;
}

bool Number32(const Field& f, std::uint32_t& out) {
    if (f.length != 4) return false;
    out = static_cast<std::uint32_t>(Be(f));
    return true;
}

bool Number64(const Field& f, std::uint64_t& out) {
    if (f.length != 8) return false;
    out = Be(f);
    return true;
}

void TrxId(const Field& f, std::uint8_t (&out)[8]) {
    if (f.length != 6) return;
    std::memcpy(out, f.p, 6);
    out[6] = out[7] = 0;
}

void RollPtr(const Field& f, RollPointer& out) {
    if (f.length != 7) return;
    out.insertFlag = f.p[0] & 0x80;
    out.rollbackSegment = f.p[0] & 0x7F;
    out.undoPage = static_cast<std::uint32_t>(f.p[1]) << 24 | static_cast<std::uint32_t>(f.p[2]) << 16 |
                   static_cast<std::uint32_t>(f.p[3]) << 8 | f.p[4];
    out.offset = static_cast<std::uint16_t>(f.p[5] << 8 | f.p[6]);
}

// Names are stored in UTF-8 (table names in the file-name encoding, which is ASCII);
// bytes that are not UTF-8 read through the ANSI code page.
void Name(const Field& f, CString& out) {
    if (f.length > kMaxDictionaryName) return;
    out = Utf8ToCString(reinterpret_cast<const char*>(f.p), f.length);
}

void DecodeTables(std::uint32_t i, const Field& f, SysTablesRecord& r) {
    switch (i) {
    case 1: Name(f, r.NAME); break;
    case 2: TrxId(f, r.DB_TRX_ID); break;
    case 3: RollPtr(f, r.DB_ROLL_PTR); break;
    case 4: Number64(f, r.ID); break;
    case 5:
        if (Number32(f, r.N_COLS)) r.N_COLS &= 0x7FFFFFFFu;
        break;
    case 6: Number32(f, r.TYPE); break;
    case 7: Number64(f, r.MIX_ID); break;
    case 8: Number32(f, r.MIX_LEN); break;
    case 9:
        if (f.length >= 4) r.CLUSTER_NAME = Be(Field{f.p, 4});
        break;
    case 10: Number32(f, r.SPACE); break;
    default: break;
    }
}

void DecodeColumns(std::uint32_t i, const Field& f, SysColumnsRecord& r) {
    switch (i) {
    case 1: Number64(f, r.TABLE_ID); break;
    case 2: Number32(f, r.POS); break;
    case 3: TrxId(f, r.DB_TRX_ID); break;
    case 4: RollPtr(f, r.DB_ROLL_PTR); break;
    case 5: Name(f, r.NAME); break;
    case 6: Number32(f, r.MTYPE); break;
    case 7: Number32(f, r.PRTYPE); break;
    case 8: Number32(f, r.LEN); break;
    case 9: Number32(f, r.PREC); break;
    default: break;
    }
}

void DecodeIndexes(std::uint32_t i, const Field& f, SysIndexesRecord& r) {
    switch (i) {
    case 1: Number64(f, r.TABLE_ID); break;
    case 2: Number64(f, r.ID); break;
    case 3: TrxId(f, r.DB_TRX_ID); break;
    case 4: RollPtr(f, r.DB_ROLL_PTR); break;
    case 5: Name(f, r.NAME); break;
    case 6: Number32(f, r.N_FIELDS); break;
    case 7: Number32(f, r.TYPE); break;
    case 8: Number32(f, r.SPACE); break;
    case 9: Number32(f, r.PAGE_NO); break;
    default: break;
    }
}

// Decodes every field of one record into a fresh record of the kind; false when the
// record's end offsets are damaged (the record is then not taken).
template <typename Record, typename Decode>
bool DecodeRecord(const CInnoPageView& page, const RedundantRecord& rec, Record& out, Decode decode) {
    out = Record();
    for (std::uint32_t i = 1; i <= rec.nFields; ++i) {
        std::uint32_t start = 0, length = 0;
        if (!RedundantField(page, rec, i, start, length)) return false;
        decode(i, Field{page.Data() + rec.origin + start, length}, out);
    }
    return true;
}

bool IsCharacterType(std::uint32_t mtype) {
    switch (mtype) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 12: case 13: return true;
    default: return false;
    }
}

// The dictionary header (page 7) names the root pages of SYS_TABLES, SYS_COLUMNS and
// SYS_INDEXES. With 16 KiB pages they are 8, 10 and 11; other page sizes place them
// elsewhere (4 KiB: 8, 11, 12). A header that is no system page or names pages outside
// the file leaves the roots as given.
void ReadDictionaryRoots(CFile& file, std::uint32_t pageSize, std::uint64_t pageCount, std::uint32_t (&roots)[3]) {
    constexpr std::uint32_t kDictHeaderPage = 7;
    constexpr std::uint16_t kPageTypeSys = 6;
    // After the FIL header: row id, table id, index id (8 bytes each), the largest space
    // id and a retired mix id (4 each), then the roots of SYS_TABLES, its id index,
    // SYS_COLUMNS, SYS_INDEXES and SYS_FIELDS.
    constexpr std::uint32_t kTablesRoot = 38 + 32;
    try {
        CInnoPage header(pageSize);
        if (kDictHeaderPage >= pageCount) return;
        header.Load(file, kDictHeaderPage);
        if (header.U16(24) != kPageTypeSys) return;
        const std::uint32_t found[3] = {header.U32(kTablesRoot), header.U32(kTablesRoot + 8),
                                        header.U32(kTablesRoot + 12)};
        for (std::uint32_t page : found)
            if (page == 0 || page >= pageCount) return;
        for (int i = 0; i < 3; ++i) roots[i] = found[i];
    } catch (const CFileException&) {
    }
}

}  // namespace

void LookupCollation(const ReadContext& context, std::uint32_t collation, std::uint32_t& mbminlen,
                     std::uint32_t& mbmaxlen) {
    mbminlen = mbmaxlen = 0;
    // A reader given no collation table still knows the widths of the common sets: without
    // them a fixed-width CHAR of a multi-byte set is cut as a variable-length one.
    static const CollationMap builtIn = BuiltInCollations();
    const CollationEntry* entry = context.collations ? context.FindCollation(collation) : nullptr;
    if (!context.collations) {
        const auto it = builtIn.find(collation);
        entry = it == builtIn.end() ? nullptr : &it->second;
    }
    if (!entry) return;
    mbminlen = entry->mbminlen;
    mbmaxlen = entry->mbmaxlen;
}

void CompleteSysColumnType(const ReadContext& context, SysColumnsRecord& r) {
    r.mbminlen = r.mbmaxlen = 0;
    if (IsCharacterType(r.MTYPE)) {
        // The collation takes 15 bits from bit 16: ids past 255 exist.
        if ((r.PRTYPE & 0x7FFF0000u) == 0) {
            const bool binary = r.MTYPE == 3 || r.MTYPE == 4 || (r.MTYPE == 5 && (r.PRTYPE & INNO_PRTYPE_BINARY));
            r.PRTYPE += binary ? 0x3F0000u : 0x80000u;
        }
        LookupCollation(context, (r.PRTYPE >> 16) & 0x7FFFu, r.mbminlen, r.mbmaxlen);
    }
    r.mbminmaxlen = r.mbminlen + 5 * r.mbmaxlen;
}

bool CTableEngine::LoadDictionary(CString path) {
    // Each load describes one folder's ibdata1: what an earlier scan found is dropped.
    m_sysTables.clear();
    m_sysColumns.clear();
    m_sysIndexes.clear();
    if (!m_fileIbdata.Open(path, CFile::modeRead | CFile::shareExclusive)) return false;
    try {
        m_nIbdataPageSize = InnoTablespacePageSize(m_fileIbdata);
        // A system tablespace never has compressed pages; flags that say so are damaged.
        if (m_nIbdataPageSize == 0) m_nIbdataPageSize = INNO_PAGE_SIZE;
        m_nIbdataPages = InnoPageCount(m_fileIbdata, m_nIbdataPageSize);
    } catch (const CFileException&) {
        m_nIbdataPages = 0;
        return true;
    }
    std::uint32_t roots[3] = {INNO_DICT_SYS_TABLES_ROOT, INNO_DICT_SYS_COLUMNS_ROOT, INNO_DICT_SYS_INDEXES_ROOT};
    ReadDictionaryRoots(m_fileIbdata, m_nIbdataPageSize, m_nIbdataPages, roots);
    ReadDictionaryIndex(roots[0], INNO_DICT_TABLES);
    ReadDictionaryIndex(roots[1], INNO_DICT_COLUMNS);
    ReadDictionaryIndex(roots[2], INNO_DICT_INDEXES);
    return true;
}

bool CTableEngine::ReadDictionaryLeafChain(std::uint32_t page, int kind) {
    if (page == 0xFFFFFFFFu) return true;
    const std::uint64_t pageCount = m_nIbdataPages;
    std::unordered_set<std::uint32_t> visited;
    CInnoPage buffer(m_nIbdataPageSize);
    std::uint64_t count = 0;
    for (;;) {
        ++count;
        if (page == 0 || page >= pageCount || count > pageCount) break;
        // A chain that comes back to a page already read is damaged; stop there.
        if (!visited.insert(page).second) break;
        buffer.Load(m_fileIbdata, page);
        FilHeader fil;
        ParseFilHeader(buffer, fil);
        if (fil.type == INNO_PAGE_TYPE_INDEX && buffer.HasText(INNO_REDUNDANT_INFIMUM, "infimum")) {
            // Each origin is taken once: a next-record chain that cycles ends the page.
            InnoOriginSet seen;
            std::uint16_t origin = buffer.U16(INNO_REDUNDANT_INFIMUM - 2u);
            while (origin != 0 && origin < buffer.Size() && !buffer.HasText(origin, "supremum")) {
                if (seen.test(origin)) break;
                seen.set(origin);
                RedundantRecord rec;
                if (!ReadRedundantRecord(buffer, origin, rec)) break;
                // Delete-marked records are leftovers of dropped tables and indexes.
                if (!rec.Deleted() && rec.offsetsInside) {
                    switch (kind) {
                    case INNO_DICT_TABLES: {
                        SysTablesRecord r;
                        if (DecodeRecord(buffer, rec, r, DecodeTables)) m_sysTables.push_back(std::move(r));
                        break;
                    }
                    case INNO_DICT_COLUMNS: {
                        SysColumnsRecord r;
                        if (DecodeRecord(buffer, rec, r, DecodeColumns)) {
                            CompleteSysColumnType(m_context, r);
                            m_sysColumns.push_back(std::move(r));
                        }
                        break;
                    }
                    case INNO_DICT_INDEXES: {
                        SysIndexesRecord r;
                        if (DecodeRecord(buffer, rec, r, DecodeIndexes)) m_sysIndexes.push_back(std::move(r));
                        break;
                    }
                    default: break;
                    }
                }
                origin = rec.next;
            }
        }
        if (fil.next == 0xFFFFFFFFu) break;
        page = fil.next;
    }
    return true;
}
