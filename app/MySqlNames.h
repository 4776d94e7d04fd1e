#pragma once

#include <string_view>

#include "platform/core/CString.h"

// Names as a server writes them into file names: letters, digits and '_' stay,
// a character with a two-character code becomes '@' and that code (ä -> @0k),
// any other one '@' and four lower-case hex digits (- -> @002d).
//
// The readable name of a stored one. A sequence the server would not have
// written ('@' with upper-case hex digits, too few characters, a surrogate)
// is left as it stands, so no stored character is lost from the display.
CString DecodeFileName(std::u16string_view stored);
inline CString DecodeFileName(const CString& stored) { return DecodeFileName(stored.View()); }

// The name as a backtick-quoted SQL identifier, inner backticks doubled.
CString QuoteIdentifier(std::u16string_view name);
