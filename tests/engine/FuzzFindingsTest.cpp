// What the fuzz targets found, each case cut down by hand from the crashing input to the
// bytes that matter (the raw inputs are replayed by the fuzz_replay tests).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"

namespace {

using Bytes = std::vector<unsigned char>;

ColumnInfo Column(const char16_t* name, std::uint32_t type, std::uint32_t recordPos, std::uint32_t length,
                  std::uint32_t charset, std::uint32_t number) {
    ColumnInfo c;
    c.m_strName = name;
    c.m_nType = type;
    c.m_nRecordPos = recordPos;
    c.m_nLength = length;
    c.m_nCharset = charset;
    c.m_nColumn = number;
    c.m_bSigned = type == MYSQL_TYPE_LONG ? 1 : 0;
    return c;
}

// A .MYI header damaged so that it claims no minimum record length but three bytes of
// empty-field flags: the fields' own lengths must still stay inside the record.
TEST(FuzzFindingsMyisamDynamic, FieldsNeverReachPastTheRecordWhenTheHeaderClaimsTooLittle) {
    CDralvekOstruneApp app;
    const struct {
        const char* what;
        std::uint16_t firstType;  // the first field's packing
        Bytes record;
        std::vector<CString> row;  // empty: no row
    } cases[] = {
        // Zero-skipped id not flagged, so taken whole: 4 bytes where 1 is left.
        {"field taken whole past the end", MI_FIELD_SKIP_ZERO, {0x00, 0x00, 0x00, 0x2A}, {}},
        // Space-skipped code flagged with 5 bytes where 1 is left after its length byte.
        {"space-skipped length past the end", MI_FIELD_SKIP_ENDSPACE, {0x01, 0x00, 0x00, 0x05, 'a'}, {}},
        // The same header with records that hold their bytes still gives the rows.
        {"whole field inside the record", MI_FIELD_SKIP_ZERO, {0x00, 0x00, 0x00, 0x2A, 0, 0, 0, 0x02, 'h', 'i'},
         {u"42", u"hi"}},
        {"space-skipped field inside the record", MI_FIELD_SKIP_ENDSPACE, {0x01, 0x00, 0x00, 0x02, 'a', 'b', 0x01, 'z'},
         {u"ab", u"z"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AppEngine e;
        const bool text = c.firstType == MI_FIELD_SKIP_ENDSPACE;
        e.m_columns = {text ? Column(u"code", MYSQL_TYPE_STRING, 1, 10, 8, 0) : Column(u"id", MYSQL_TYPE_LONG, 1, 11, 0, 0),
                       Column(u"name", MYSQL_TYPE_VARCHAR, text ? 11 : 5, 10, 8, 1)};
        e.m_recinfo = {{c.firstType, static_cast<std::uint16_t>(text ? 10 : 4), 0, 0}, {MI_FIELD_VARCHAR, 11, 0, 0}};
        e.m_nRowFormat = 1;
        e.m_myiBase.pack_bits = 3;
        e.m_myiBase.min_pack_length = 0;
        // A buffer of exactly the record's bytes: a read past them is a sanitizer report.
        const Bytes record = c.record;
        EXPECT_EQ(e.UnpackDynamicRow(record.data(), static_cast<std::uint32_t>(record.size())), record.size());
        if (c.row.empty()) {
            EXPECT_TRUE(e.m_rows.empty());
        } else {
            ASSERT_EQ(e.m_rows.size(), 1u);
            std::vector<CString> values;
            for (const ColumnInfo& cell : e.m_rows[0]) values.push_back(cell.m_strValue);
            EXPECT_EQ(values, c.row);
        }
        for (const RecinfoEntry& r : e.m_recinfo) EXPECT_EQ(r.m_pData, nullptr);
    }
}

}  // namespace
