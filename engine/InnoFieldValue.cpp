#include "engine/InnoFieldValue.h"

#include <cstring>
#include <utility>
#include <vector>

#include "engine/FieldValue.h"
#include "engine/InnoBlob.h"
#include "engine/InnoLayout.h"

namespace {

bool IsBlobType(std::uint32_t type) {
    return type == MYSQL_TYPE_TINY_BLOB || type == MYSQL_TYPE_MEDIUM_BLOB || type == MYSQL_TYPE_LONG_BLOB ||
           type == MYSQL_TYPE_BLOB;
}

bool IsIntegerType(std::uint32_t type) {
    return type == MYSQL_TYPE_TINY || type == MYSQL_TYPE_SHORT || type == MYSQL_TYPE_INT24 ||
           type == MYSQL_TYPE_LONG || type == MYSQL_TYPE_LONGLONG;
}

}  // namespace

bool DecodeInnoInteger(unsigned char* bytes, std::uint32_t count, const InnoColumnDef& def) {
    if (def.mtype != INNO_MTYPE_INT || count == 0 || bytes == nullptr) return true;
    if (!(def.prtype & INNO_PRTYPE_UNSIGNED)) bytes[0] ^= 0x80;
    for (std::uint32_t i = 0, j = count - 1; i < j; ++i, --j) std::swap(bytes[i], bytes[j]);
    return true;
}

CString& FormatInnoFieldValue(CTableEngine& engine, CString& out, const InnoColumnDef& def, bool offPage,
                              const unsigned char* bytes, std::uint32_t count) {
    const ColumnInfo& column = def.column;
    if (offPage && count >= INNO_EXTERN_REF_SIZE) {
        if (IsBlobType(column.m_nType) && !(engine.m_context.IsSave() && engine.m_context.inlineOffPage)) {
            if (engine.m_context.IsSave()) return ExtractExternBlobToFile(engine, out, bytes, count);
            out = u"Large Size Blob Data";
            return out;
        }
        // Long VARCHAR, VARBINARY and spatial values can leave the record too; they are
        // read whole and take their type's text like any other value.
        std::vector<unsigned char> value;
        ReadExternValue(engine, bytes, count, value);
        out = FormatTypedFieldValue(engine, column, value.data(), static_cast<std::uint32_t>(value.size()),
                                    FieldMember::Inno);
        return out;
    }
    if (def.mtype == INNO_MTYPE_INT && count > 0 && count <= 8) {
        // Converted in a copy: the page keeps its bytes, so a record can be read twice.
        unsigned char scratch[8];
        std::memcpy(scratch, bytes, count);
        DecodeInnoInteger(scratch, count, def);
        // The dictionary's unsigned flag decides the sign, as it decided the storage.
        const std::uint8_t isSigned = (def.prtype & INNO_PRTYPE_UNSIGNED) ? 0 : 1;
        if (IsIntegerType(column.m_nType) && column.m_bSigned != isSigned) {
            ColumnInfo signedness = column;
            signedness.m_bSigned = isSigned;
            out = FormatTypedFieldValue(engine, signedness, scratch, count, FieldMember::Inno);
        } else {
            out = FormatTypedFieldValue(engine, column, scratch, count, FieldMember::Inno);
        }
        return out;
    }
    out = FormatTypedFieldValue(engine, column, bytes, count, FieldMember::Inno);
    return out;
}
