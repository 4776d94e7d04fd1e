#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ReadContext.h"
#include "engine/TablePage.h"
#include "platform/core/CFile.h"
#include "platform/core/CString.h"

// MySQL field type codes as a .frm field record stores them.
enum MySqlFieldType : std::uint32_t {
    MYSQL_TYPE_DECIMAL = 0,
    MYSQL_TYPE_TINY = 1,
    MYSQL_TYPE_SHORT = 2,
    MYSQL_TYPE_LONG = 3,
    MYSQL_TYPE_FLOAT = 4,
    MYSQL_TYPE_DOUBLE = 5,
    MYSQL_TYPE_NULL = 6,
    MYSQL_TYPE_TIMESTAMP = 7,
    MYSQL_TYPE_LONGLONG = 8,
    MYSQL_TYPE_INT24 = 9,
    MYSQL_TYPE_DATE = 10,
    MYSQL_TYPE_TIME = 11,
    MYSQL_TYPE_DATETIME = 12,
    MYSQL_TYPE_YEAR = 13,
    MYSQL_TYPE_NEWDATE = 14,
    MYSQL_TYPE_VARCHAR = 15,
    MYSQL_TYPE_BIT = 16,
    MYSQL_TYPE_TIMESTAMP2 = 17,
    MYSQL_TYPE_DATETIME2 = 18,
    MYSQL_TYPE_TIME2 = 19,
    MYSQL_TYPE_JSON = 245,
    MYSQL_TYPE_NEWDECIMAL = 246,
    MYSQL_TYPE_ENUM = 247,
    MYSQL_TYPE_SET = 248,
    MYSQL_TYPE_TINY_BLOB = 249,
    MYSQL_TYPE_MEDIUM_BLOB = 250,
    MYSQL_TYPE_LONG_BLOB = 251,
    MYSQL_TYPE_BLOB = 252,
    MYSQL_TYPE_VAR_STRING = 253,
    MYSQL_TYPE_STRING = 254,
    MYSQL_TYPE_GEOMETRY = 255,
};

inline constexpr std::uint32_t kBinaryCharset = 63;
inline constexpr std::size_t kRowsPerPage = 1000;

// One column of the open table, and one cell of a row.
struct ColumnInfo {
    CString m_strName;
    std::uint32_t m_nColumn = 0;
    std::uint32_t m_nRecordPos = 0;
    std::uint32_t m_nType = 0;
    std::uint32_t m_nGeometryType = 0;
    std::uint32_t m_nLength = 0;
    std::uint8_t m_bNullable = 0;
    std::uint8_t m_bPrimaryKey = 0;
    std::uint8_t m_bUniqueKey = 0;
    std::uint32_t m_nPrecision = 0;
    std::uint32_t m_nDecimals = 0;
    std::uint32_t m_nCharset = 0;
    CString m_strEnumList;
    CString m_strComment;
    CString m_strValue;
    // Numbers print by the column's own signedness (the .frm pack flags, bit 0).
    std::uint8_t m_bSigned = 0;
    // ZEROFILL (pack flag 4): integers print zero-padded to the display length.
    std::uint8_t m_bZeroFill = 0;
    // The value is SQL NULL (m_strValue then reads "NULL", as a text of those four
    // letters may too).
    std::uint8_t m_bNull = 0;
    // A VIRTUAL generated column: the server computes it on every read and keeps no bytes
    // of it in a row, so its cells stay empty (and are not NULL).
    std::uint8_t m_bNotStored = 0;
    // The value is known to be cut short (an off-page chain that ended early).
    std::uint8_t m_bIncomplete = 0;
    // This column's ENUM/SET elements, as a range of CTableEngine::m_enumValues (empty
    // elements included), so each column decodes with its own list.
    std::uint32_t m_nEnumFirst = 0;
    std::uint32_t m_nEnumCount = 0;
};

using TableRow = std::vector<ColumnInfo>;
using TablePage = RowPage<TableRow>;

// Where a page of rows starts: InnoDB leaf page and record offset, or for MyISAM page 0
// and the .MYD file position. Page 0xFFFFFFFF marks the end of the table.
struct PageBookmark {
    std::uint64_t m_nPage = 0;
    std::uint64_t m_nOffset = 0;
};
inline constexpr std::uint64_t kEndOfTablePage = 0xFFFFFFFFull;

// One MyISAM column definition of the .MYI.
struct RecinfoEntry {
    std::uint16_t m_nType = 0;
    std::uint16_t m_nLength = 0;
    std::uint8_t m_nNullBit = 0;
    std::uint16_t m_nNullPos = 0;
    const unsigned char* m_pData = nullptr;
    std::uint32_t m_nDataLength = 0;
};

// MyISAM field types of a column definition.
enum MyIsamFieldType : std::uint16_t {
    MI_FIELD_NORMAL = 0,
    MI_FIELD_SKIP_ENDSPACE = 1,
    MI_FIELD_SKIP_PRESPACE = 2,
    MI_FIELD_SKIP_ZERO = 3,
    MI_FIELD_BLOB = 4,
    MI_FIELD_VARCHAR = 8,
    MI_FIELD_CHECK = 9,
};

// Base information of a .MYI header.
struct MyIsamBaseInfo {
    std::uint64_t keystart = 0;
    std::uint64_t max_data_file_length = 0;
    std::uint64_t max_key_file_length = 0;
    std::uint64_t records = 0;
    std::uint64_t reloc = 0;
    std::uint32_t mean_row_length = 0;
    std::uint32_t reclength = 0;
    std::uint32_t pack_reclength = 0;
    std::uint32_t min_pack_length = 0;
    std::uint32_t max_pack_length = 0;
    std::uint32_t min_block_length = 0;
    std::uint32_t fields = 0;
    std::uint32_t pack_fields = 0;
    std::uint8_t rec_reflength = 0;
    std::uint8_t key_reflength = 0;
    std::uint8_t keys = 0;
    std::uint8_t auto_key = 0;
    std::uint16_t pack_bits = 0;
    std::uint16_t blobs = 0;
    std::uint16_t max_key_block_length = 0;
    std::uint16_t max_key_length = 0;
    std::uint16_t extra_alloc_bytes = 0;
    std::uint8_t raw_group1[4] = {};
    std::uint8_t raw_group2[4] = {};
};

// The counters of a .MYI state header (known: the header was long enough to hold them).
struct MyIsamState {
    bool known = false;
    std::uint64_t records = 0;
    std::uint64_t deleted = 0;
    std::uint64_t dataFileLength = 0;
};

// One decoded MyISAM block header; owned by the caller.
struct BlockInfo {
    std::uint8_t m_header[20] = {};
    std::uint32_t m_nRecLen = 0;
    std::uint32_t m_nDataLen = 0;
    std::uint32_t m_nBlockLen = 0;
    std::uint32_t m_nBlobLen = 0;
    std::uint64_t m_nFilePos = 0;
    std::uint64_t m_nNextFilePos = 0;
    std::uint64_t m_nPrevFilePos = 0;
    std::uint32_t m_nSecondRead = 0;
    std::uint32_t m_nOffset = 0;
};

// Result bits of CTableEngine::GetBlockInfo.
enum : std::uint32_t {
    BLOCK_FIRST = 1,
    BLOCK_LAST = 2,
    BLOCK_DELETED = 4,
    BLOCK_SYNC_ERROR = 16,
};

// InnoDB page geometry and the system records' positions.
inline constexpr std::uint32_t INNO_PAGE_SIZE = 16384;
inline constexpr std::uint16_t INNO_PAGE_TYPE_INDEX = 0x45BF;
inline constexpr std::uint16_t INNO_REDUNDANT_INFIMUM = 101;
inline constexpr std::uint16_t INNO_REDUNDANT_EXTRA_BYTES = 6;
inline constexpr std::uint16_t INNO_COMPACT_INFIMUM = 99;
inline constexpr std::uint16_t INNO_COMPACT_SUPREMUM = 112;
inline constexpr std::uint16_t INNO_COMPACT_EXTRA_BYTES = 5;
inline constexpr std::uint16_t INNO_RECORD_START_LIMIT = 0x3FF8;
inline constexpr std::uint32_t INNO_MAX_RECS_PER_PAGE = 1500;
inline constexpr std::uint32_t INNO_MAX_FIXED_LEN = 768;
inline constexpr std::uint32_t INNO_MTYPE_BLOB = 5;
inline constexpr std::uint32_t INNO_MTYPE_SYS = 8;
inline constexpr std::uint32_t INNO_PRTYPE_NOT_NULL = 0x100;
inline constexpr std::uint32_t INNO_PRTYPE_UNSIGNED = 0x200;
inline constexpr std::uint32_t INNO_PRTYPE_BINARY = 0x400;
inline constexpr std::uint8_t INNO_VARLEN_LONG_FLAG = 0x80;
inline constexpr std::uint8_t INNO_VARLEN_EXTERN_FLAG = 0x40;

struct FilHeader {
    std::uint8_t checksum[4] = {};
    std::uint32_t page = 0;
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint8_t lsn[8] = {};
    std::uint16_t type = 0;
    std::uint64_t flushLsn = 0;
    std::uint32_t spaceId = 0;
};

struct IndexPageHeader {
    std::uint16_t nDirSlots = 0;
    std::uint16_t heapTop = 0;
    std::uint16_t nHeap = 0;
    std::uint16_t free = 0;
    std::uint16_t garbage = 0;
    std::uint16_t lastInsert = 0;
    std::uint16_t direction = 0;
    std::uint16_t nDirection = 0;
    std::uint16_t nRecs = 0;
    std::uint8_t maxTrxId[8] = {};
    std::uint16_t level = 0;
    std::uint64_t indexId = 0;
    std::uint32_t leafSegSpace = 0;
    std::uint32_t leafSegPage = 0;
    std::uint16_t leafSegOffset = 0;
    std::uint32_t topSegSpace = 0;
    std::uint32_t topSegPage = 0;
    std::uint16_t topSegOffset = 0;
};

// The decoded DB_ROLL_PTR column.
struct RollPointer {
    std::uint8_t insertFlag = 0;
    std::uint8_t rollbackSegment = 0;
    std::uint32_t undoPage = 0;
    std::uint16_t offset = 0;
};

struct SysTablesRecord {
    CString NAME;
    std::uint8_t DB_TRX_ID[8] = {};
    RollPointer DB_ROLL_PTR;
    std::uint64_t ID = 0;
    std::uint32_t N_COLS = 0;
    std::uint32_t TYPE = 0;
    std::uint64_t MIX_ID = 0;
    std::uint32_t MIX_LEN = 0;
    std::uint64_t CLUSTER_NAME = 0;
    std::uint32_t SPACE = 0;
};

struct SysColumnsRecord {
    std::uint64_t TABLE_ID = 0;
    std::uint32_t POS = 0;
    std::uint8_t DB_TRX_ID[8] = {};
    RollPointer DB_ROLL_PTR;
    CString NAME;
    std::uint32_t MTYPE = 0;
    std::uint32_t PRTYPE = 0;
    std::uint32_t mbminmaxlen = 0;
    std::uint32_t mbminlen = 0;
    std::uint32_t mbmaxlen = 0;
    std::uint32_t LEN = 0;
    std::uint32_t PREC = 0;
};

struct SysIndexesRecord {
    std::uint64_t TABLE_ID = 0;
    std::uint64_t ID = 0;
    std::uint8_t DB_TRX_ID[8] = {};
    RollPointer DB_ROLL_PTR;
    CString NAME;
    std::uint32_t N_FIELDS = 0;
    std::uint32_t TYPE = 0;
    std::uint32_t SPACE = 0;
    std::uint32_t PAGE_NO = 0;
};

// One field of a clustered-index record.
struct InnoColumnDef {
    std::uint32_t mtype = 0;
    std::uint32_t prtype = 0;
    std::uint32_t len = 0;
    std::uint32_t precision = 0;
    std::uint32_t ordinal = 0;
    std::uint32_t fixedLength = 0;
    std::uint32_t mbminmaxlen = 0;
    ColumnInfo column;
};

struct InnoColumnEntry {
    InnoColumnDef def;
    std::uint8_t placed = 0;
};

// The value of a field that a record written before an instant ADD COLUMN does not
// hold: the default stored in the table's metadata record.
struct InnoFieldDefault {
    enum Kind : std::uint8_t { Unknown, Null, Value };
    Kind kind = Unknown;
    bool offPage = false;
    std::vector<unsigned char> bytes;  // the locally stored bytes (with the reference when off-page)
};

// What MariaDB's instant ALTER TABLE left in a clustered index: records written before
// the first instant change hold the first coreFields fields only, later ones say how
// many they hold; the fields they lack take the defaults (one per m_innoColumns entry).
struct InnoInstantState {
    bool active = false;
    std::uint32_t coreFields = 0;
    std::uint32_t coreNullBytes = 0;  // null bitmap of the core fields (node pointers too)
    // The metadata record names a field map (instant DROP or reorder) that cannot be read:
    // the order of the stored fields is unknown, so no record is cut.
    bool fieldOrderUnknown = false;
    std::vector<InnoFieldDefault> defaults;
};

struct FrmReadState;

// One key of the .frm as the clustered-index rules need it, kept after the read.
struct FrmKeyDef {
    CString name;
    bool unique = false;
    std::vector<std::uint32_t> columns;  // 0-based indexes into m_columns, in key-part order
    // What recreating the key needs: stored flags (bit 0 already inverted), algorithm,
    // comment, and per entry of columns the part's byte length and flags.
    std::uint16_t flags = 0;
    std::uint8_t algorithm = 0;
    CString comment;
    std::vector<std::uint16_t> partLengths;
    std::vector<std::uint8_t> partFlags;
};

// What a field record says beyond its ColumnInfo: the pack flags (default, binary and
// pack-length bits) and the automatic-value kind (AUTO_INCREMENT, CURRENT_TIMESTAMP).
struct FrmFieldDef {
    std::uint16_t packFlags = 0;
    std::uint8_t uniregCheck = 0;
};

// Everything the program knows about the table that is open.
class CTableEngine {
public:
    CTableEngine();
    ~CTableEngine();
    CTableEngine(const CTableEngine&) = delete;
    CTableEngine& operator=(const CTableEngine&) = delete;

    // Table definition (.frm).
    bool ReadFrm(const CString& path);
    std::uint32_t GetFormPos(const unsigned char* header);
    int ReadFrmBlock(std::vector<unsigned char>& buffer, std::uint32_t n);
    std::string StrMakeOwned(const unsigned char* text, std::uint32_t n);

    // MyISAM.
    bool ReadMyiHeader(const CString& path);
    std::uint32_t GetBlockInfo(BlockInfo& info, std::uint64_t position);
    std::uint32_t UnpackDynamicRow(const unsigned char* record, std::uint32_t length);
    std::uint64_t ReadStaticRow(std::uint64_t position);

    // InnoDB pages and data dictionary.
    bool ReadDictionaryIndex(std::uint64_t page, int kind);
    std::uint32_t DescendDictionaryToLeaf(std::uint32_t page);
    bool LoadDictionary(CString path);
    bool ReadDictionaryLeafChain(std::uint32_t firstLeaf, int kind);

    // InnoDB column layout.
    std::uint64_t FindTableId(CString name);
    bool BuildColumnsFromDictionary(std::uint64_t tableId);
    bool BuildColumnsFromFrm();
    bool OrderClusteredColumns();
    std::uint32_t FindClusteredRootPage(std::uint64_t tableId);
    std::uint32_t GetNodePtrChildOffset(const unsigned char* page, std::uint16_t origin);

    // InnoDB descent and leaf walk.
    std::uint32_t DescendToLeafIbd(std::uint32_t page);
    std::uint32_t DescendToLeafSystem(std::uint32_t page);
    bool ReadLeafRowsIbd(std::uint32_t page, std::uint16_t offset);
    bool ReadLeafRowsSystem(std::uint32_t page, std::uint16_t offset);

    std::vector<void*> m_allocations;
    std::vector<CString> m_enumValues;
    std::vector<std::vector<CString>> m_intervals;
    std::vector<RecinfoEntry> m_recinfo;
    std::vector<ColumnInfo> m_columns;
    TablePage m_rows;
    ColumnInfo m_columnScratch;
    std::vector<SysTablesRecord> m_sysTables;
    std::vector<SysColumnsRecord> m_sysColumns;
    std::vector<SysColumnsRecord> m_tableSysColumns;
    std::vector<SysIndexesRecord> m_sysIndexes;
    std::vector<InnoColumnDef> m_innoColumns;
    std::vector<InnoColumnEntry> m_innoEntries;
    std::deque<PageBookmark> m_bookmarks;
    FrmReadState* m_pShare = nullptr;
    std::uint32_t m_nTableCharset = 0;
    std::uint32_t m_nKeyInfoLength = 0;
    const unsigned char* m_pKeyPartCursor = nullptr;
    const unsigned char* m_pFieldCursor = nullptr;
    RecinfoEntry m_recinfoScratch;
    CFile m_fileFrm;
    CFile m_fileMyd;
    CFile m_fileMyi;
    CFile m_fileIbdata;
    CFile m_fileIbd;
    std::uint32_t m_nRowFormat = 0;
    MyIsamBaseInfo m_myiBase;
    MyIsamState m_myiState;
    std::uint8_t m_bLeadingNullField = 0;
    std::uint32_t m_nRecordLength = 0;
    std::uint32_t m_nNullBytes = 0;
    FilHeader m_filHeader;
    std::uint8_t m_nDbType = 0;
    std::uint64_t m_nIbdataPages = 0;
    std::uint64_t m_nIbdPages = 0;
    // Page sizes of ibdata1 and the open .ibd, from their tablespace flags.
    std::uint32_t m_nIbdataPageSize = INNO_PAGE_SIZE;
    std::uint32_t m_nIbdPageSize = INNO_PAGE_SIZE;
    std::uint8_t m_bReadingIbd = 0;
    std::uint32_t m_nShownPage = 0;
    std::uint8_t m_bNoBookmark = 0;
    std::uint8_t m_bBatchFull = 0;

    // The .frm keys in the order the definition stores them.
    std::vector<FrmKeyDef> m_frmKeys;
    // One per entry of m_columns appended by the last ReadFrm, in the same order.
    std::vector<FrmFieldDef> m_frmFields;

    // Leaf pages of the walk in the order it first read them, since it last started at
    // a leaf's first record: a chain that leads back to a page read before, on this page
    // of rows or an earlier one, has looped.
    std::unordered_map<std::uint32_t, std::uint64_t> m_leafOrder;

    // Set by the clustered-index descent from the root page and the leftmost leaf.
    InnoInstantState m_innoInstant;

    // The collation table, value mode, off-page object folder and losses of the reader
    // that uses this engine.
    ReadContext m_context;
    // The definition was written by a server of 5.6 or later (its temporal formats).
    std::uint8_t m_bMySql56Format = 0;
    // The definition's VIRTUAL columns have their null bits after every stored column's
    // null and BIT bits, not in column order.
    std::uint8_t m_bVirtualFlagsLast = 0;
    // Set when an off-page value could not be read whole; the row reader moves it to the
    // cell's m_bIncomplete.
    std::uint8_t m_bCellIncomplete = 0;
    // Where the page after the last full page of rows starts (set with m_bBatchFull).
    PageBookmark m_nextBookmark;
};
