#pragma once

#include "engine/TableEngine.h"
#include "platform/core/CString.h"

// SQL type text of one column as the .frm reader filled it: the type name, with the
// length (in characters), precision and scale or the ENUM/SET element list where the
// type has them. Of the engine only the table's default character set is read.
CString FormatColumnTypeName(const CTableEngine& engine, ColumnInfo column);
