#pragma once

#include "app/DralvekOstruneApp.h"
#include "engine/TableDdl.h"

// The collation table as the statement builders name character sets.
DdlCollations DdlCollationsFrom(const CollationMap& map);

// CREATE TABLE for the table whose definition is the .frm at frmPath, named tableName in
// SQL. False when the file is no readable table definition (out.losses says why).
[[nodiscard]] bool BuildTableDdl(const CString& frmPath, const CString& tableName, const CollationMap& collations,
                                 TableDdl& out);
