#include "app/ScriptDdl.h"

DdlCollations DdlCollationsFrom(const CollationMap& map) {
    DdlCollations out;
    for (const auto& [id, entry] : map) {
        DdlCollation& c = out[id];
        c.collation = entry.name1.ToUtf8();
        c.charset = entry.name2.ToUtf8();
        c.mbmaxlen = entry.mbmaxlen ? entry.mbmaxlen : 1;
    }
    return out;
}

bool BuildTableDdl(const CString& frmPath, const CString& tableName, const CollationMap& collations, TableDdl& out) {
    out = TableDdl();
    CTableEngine engine;
    // Defaults are formatted as a saved value is: full texts, the table's collations.
    engine.m_context.collations = &collations;
    engine.m_context.mode = ValueMode::Save;
    // ReadFrm also answers true for a file that is no table definition; the column list
    // tells.
    if (!engine.ReadFrm(frmPath) || engine.m_columns.empty()) {
        out.losses.push_back("the table definition cannot be read");
        return false;
    }
    std::size_t keysWithParser = 0;
    for (const FrmKeyDef& key : engine.m_frmKeys) keysWithParser += (key.flags & kFrmKeyUsesParser) ? 1 : 0;
    FrmTableFacts facts;
    if (!ReadFrmTableFacts(frmPath, facts, keysWithParser)) {
        out.losses.push_back("the table definition's header cannot be read");
        return false;
    }
    out = BuildCreateTable(engine, facts, DdlCollationsFrom(collations), tableName);
    return true;
}
