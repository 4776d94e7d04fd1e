#include "engine/InnoBlob.h"

#include <unordered_set>

#include "engine/InnoPage.h"
#include "platform/core/ByteOrder.h"

namespace {

constexpr std::uint32_t kFilHeaderSize = 38;
// The next page of the last part.
constexpr std::uint32_t kNoNextPage = 0xFFFFFFFFu;

// Hands the parts of the off-page chain named by the reference at the end of field to
// sink, in chain order. The chain ends at its last part, at the total length, at a page
// outside the file, at a page it has read before, or at a page that is no BLOB page, so
// it reads each page of the tablespace at most once. A page of type 0 (MySQL 5.0 did not
// set the type of BLOB pages) is taken only when its part header fits the chain: a part
// of data within the page and the value, and a next page in the file and not yet read.
// A part that would reach past its BLOB page is cut at the page end and ends the chain.
// File errors propagate. A chain that ends before the total length is reported as a
// loss, and the engine's m_bCellIncomplete is set for the cell being formatted.
template <typename Sink>
void ReadExternParts(CTableEngine& engine, const unsigned char* field, std::uint32_t count, Sink&& sink) {
    const unsigned char* ref = field + count - INNO_EXTERN_REF_SIZE;
    std::uint32_t page = static_cast<std::uint32_t>(ReadBigEndian(ref + 4, 4));
    std::uint32_t offset = static_cast<std::uint32_t>(ReadBigEndian(ref + 8, 4));
    // The low half of the 8-byte length; the high half carries only flags.
    const std::uint32_t total = static_cast<std::uint32_t>(ReadBigEndian(ref + 16, 4));

    CFile& source = engine.m_bReadingIbd ? engine.m_fileIbd : engine.m_fileIbdata;
    const std::uint64_t pageCount = engine.m_bReadingIbd ? engine.m_nIbdPages : engine.m_nIbdataPages;
    const std::uint32_t first = page;
    auto lost = [&](std::uint64_t got, const char16_t* why) {
        engine.m_bCellIncomplete = 1;
        CString text;
        text.Format(u"off-page value of %llu bytes from page %lu: only %llu bytes read (%s)",
                    static_cast<unsigned long long>(total), static_cast<unsigned long>(first),
                    static_cast<unsigned long long>(got), why);
        engine.m_context.ReportLoss(text);
    };
    if (!source.IsOpen()) return lost(0, u"its tablespace is not open");
    CInnoPage buffer(InnoFilePageSize(engine, source));
    // A part's data ends before the page's 8-byte trailer.
    const std::uint32_t pageDataEnd = buffer.Size() - 8;
    std::unordered_set<std::uint32_t> visited;
    std::uint64_t written = 0;
    while (written < total && page < pageCount && visited.insert(page).second) {
        buffer.Load(source, page);
        const std::uint16_t type = buffer.U16(24);
        if (type != INNO_PAGE_TYPE_BLOB && type != INNO_PAGE_TYPE_ALLOCATED) break;
        if (offset < kFilHeaderSize || offset > pageDataEnd - INNO_BLOB_PART_HEADER) break;
        std::uint32_t partLength = buffer.U32(offset);
        const std::uint32_t next = buffer.U32(offset + 4);
        const std::uint32_t room = pageDataEnd - offset - INNO_BLOB_PART_HEADER;
        if (type == INNO_PAGE_TYPE_ALLOCATED &&
            (partLength == 0 || partLength > room || partLength > total - written ||
             (next != kNoNextPage && (next >= pageCount || visited.count(next) != 0))))
            break;
        const bool cut = partLength > room;
        if (cut) partLength = room;
        if (partLength > total - written) partLength = static_cast<std::uint32_t>(total - written);
        sink(buffer.Data() + offset + INNO_BLOB_PART_HEADER, partLength);
        written += partLength;
        if (cut) break;
        offset = kFilHeaderSize;
        page = next;
    }
    if (written < total) lost(written, u"its page chain is cut short");
}

}  // namespace

CString& ExtractExternBlobToFile(CTableEngine& engine, CString& out, const unsigned char* field,
                                 std::uint32_t count) {
    out.Empty();
    if (count < INNO_EXTERN_REF_SIZE) return out;

    CString path = engine.m_context.blobFolder;
    if (path.IsEmpty() || path[path.GetLength() - 1] != u'/') path += u'/';
    path += u"blobdata/";
    const std::uint64_t number = engine.m_context.blobCounter++;
    // The low 32 bits as a signed number, as the file names have always been written.
    CString name;
    name.Format(u"%d", static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(number))));
    path += name;

    CFile blob;
    if (!blob.Open(path, CFile::modeCreate | CFile::modeReadWrite)) {
        engine.m_context.ReportLoss(u"cannot write the off-page value to " + path + u": " +
                                    CString::FromUtf8(blob.OpenFailureReason()));
        return out;
    }
    out = path;
    try {
        blob.Write(field, count - INNO_EXTERN_REF_SIZE);
        ReadExternParts(engine, field, count,
                        [&](const unsigned char* part, std::uint32_t length) { blob.Write(part, length); });
    } catch (const CFileException& e) {
        // What was written stays in the file; its path is still the value.
        engine.m_context.ReportLoss(u"off-page value in " + path + u" is incomplete: " + CString::FromUtf8(e.what()));
    }
    blob.Close();
    return out;
}

bool ReadExternValue(CTableEngine& engine, const unsigned char* field, std::uint32_t count,
                     std::vector<unsigned char>& value) {
    value.clear();
    if (count < INNO_EXTERN_REF_SIZE) return false;
    value.assign(field, field + count - INNO_EXTERN_REF_SIZE);
    try {
        ReadExternParts(engine, field, count, [&](const unsigned char* part, std::uint32_t length) {
            value.insert(value.end(), part, part + length);
        });
    } catch (const CFileException&) {
        return false;
    }
    return true;
}
