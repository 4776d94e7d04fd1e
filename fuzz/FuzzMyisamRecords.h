#pragma once

// The MyISAM record targets: input byte 0 picks a real table of the list (bit 7: save
// mode), the rest is its .MYD; its .frm and .MYI stay as the server wrote them. The table
// is read whole through the browser's record walk; dynamic tables also unpack the input
// bytes as one record, so the unpacker is reached even where no block header is valid.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTables.h"

namespace fuzz {

template <std::size_t N>
int RunMyisamRecords(const CorpusTable (&tables)[N], const std::uint8_t* data, std::size_t size, bool unpack) {
    static const std::string dir = [] {
        const std::string d = WorkDir() + "/data";
        MakeDirs(d + "/fz");
        return d;
    }();
    if (size < 1) return 0;
    const CorpusTable& t = tables[(data[0] & 0x7F) % N];
    const std::string base = std::string(t.database) + "/" + t.table;
    ResetApp((data[0] & 0x80) != 0);
    WriteFile(dir + "/fz/fz.frm", CorpusFile(base + ".frm"));
    WriteFile(dir + "/fz/fz.MYI", CorpusFile(base + ".MYI"));
    WriteFile(dir + "/fz/fz.MYD", data + 1, size - 1);
    ReadWholeTable(dir, "fz", "fz", false, false);
    if (unpack) {
        CTableEngine engine;
        if (engine.ReadFrm(CString::FromUtf8(dir + "/fz/fz.frm")) &&
            engine.ReadMyiHeader(CString::FromUtf8(dir + "/fz/fz.MYI"))) {
            // The unpacker reads exactly the bytes it is given: a copy of their own makes
            // a read past them a finding.
            const Bytes record(data + 1, data + size);
            engine.UnpackDynamicRow(record.data(), static_cast<std::uint32_t>(record.size()));
        }
    }
    return 0;
}

}  // namespace fuzz
