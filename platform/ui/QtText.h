#pragma once

#include <QString>

#include "platform/core/CString.h"

// CString and QString are both UTF-16: the units are copied as they are.
inline QString ToQString(const CString& text) {
    return QString(reinterpret_cast<const QChar*>(text.GetString()), text.GetLength());
}

inline CString FromQString(const QString& text) {
    return CString(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<int>(text.size()));
}
