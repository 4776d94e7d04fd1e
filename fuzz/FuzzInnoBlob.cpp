// Off-page extraction: the value of one off-page field is read from a fuzzed tablespace.
// Input: [kind][prefix length][prefix][20-byte external reference][packed pages]. kind
// bits 0-2 give the column type (BLOB and TEXT go to a blob file in save mode, the other
// types are read whole into the cell), bit 6 reads from ibdata1 instead of the .ibd, bit
// 7 sets save mode.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/InnoBlob.h"
#include "engine/InnoFieldValue.h"
#include "engine/InnoLayout.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr std::uint32_t kMaxPages = 256;
constexpr std::uint32_t kUtf8mb4 = 45;
constexpr std::uint32_t kLatin1 = 8;

InnoColumnDef Column(unsigned kind) {
    InnoColumnDef def;
    ColumnInfo& c = def.column;
    c.m_strName = u"v";
    switch (kind & 7u) {
    case 0: def.mtype = INNO_MTYPE_BLOB; c.m_nType = MYSQL_TYPE_BLOB; c.m_nCharset = kBinaryCharset; break;
    case 1: def.mtype = INNO_MTYPE_BLOB; c.m_nType = MYSQL_TYPE_BLOB; c.m_nCharset = kUtf8mb4; break;
    case 2: def.mtype = INNO_MTYPE_BLOB; c.m_nType = MYSQL_TYPE_LONG_BLOB; c.m_nCharset = kLatin1; break;
    case 3: def.mtype = INNO_MTYPE_VARMYSQL; c.m_nType = MYSQL_TYPE_VARCHAR; c.m_nCharset = kUtf8mb4; break;
    case 4: def.mtype = INNO_MTYPE_BINARY; c.m_nType = MYSQL_TYPE_VARCHAR; c.m_nCharset = kBinaryCharset; break;
    case 5: def.mtype = INNO_MTYPE_GEOMETRY; c.m_nType = MYSQL_TYPE_GEOMETRY; c.m_nCharset = kBinaryCharset; break;
    case 6: def.mtype = INNO_MTYPE_BLOB; c.m_nType = MYSQL_TYPE_JSON; c.m_nCharset = kUtf8mb4; break;
    default: def.mtype = INNO_MTYPE_VARCHAR; c.m_nType = MYSQL_TYPE_VARCHAR; c.m_nCharset = kLatin1; break;
    }
    def.len = c.m_nType == MYSQL_TYPE_VARCHAR ? 60000 : 10;
    c.m_nLength = def.len;
    return def;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::WorkDir() + "/blob.ibd";
    if (size < 2) return 0;
    const unsigned kind = data[0];
    const std::size_t prefix = data[1];
    if (size < 2 + prefix + INNO_EXTERN_REF_SIZE) return 0;
    fuzz::ResetApp((kind & 0x80) != 0);
    // The field's local bytes in a buffer of their own, so a read past them is a finding.
    const fuzz::Bytes field(data + 2, data + 2 + prefix + INNO_EXTERN_REF_SIZE);
    const std::size_t pagesAt = 2 + prefix + INNO_EXTERN_REF_SIZE;
    fuzz::WriteTablespace(path, fuzz::UnpackPages(data + pagesAt, size - pagesAt, kMaxPages));

    CTableEngine engine;
    const bool fromIbdata = (kind & 0x40) != 0;
    CFile& file = fromIbdata ? engine.m_fileIbdata : engine.m_fileIbd;
    if (!file.Open(CString::FromUtf8(path), CFile::modeRead)) return 0;
    (fromIbdata ? engine.m_nIbdataPages : engine.m_nIbdPages) = file.GetLength() / INNO_PAGE_SIZE;
    engine.m_bReadingIbd = fromIbdata ? 0 : 1;
    const InnoColumnDef def = Column(kind);
    CString text;
    FormatInnoFieldValue(engine, text, def, true, field.data(), static_cast<std::uint32_t>(field.size()));
    if (std::getenv("DRALVEK_FUZZ_VERBOSE")) std::fprintf(stderr, "value: %d characters\n", text.GetLength());
    return 0;
}
