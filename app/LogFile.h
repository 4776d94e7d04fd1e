#pragma once

#include <string>
#include <vector>

#include "platform/core/CFile.h"
#include "platform/core/CString.h"

// One line of the scan log as stored: the text's UTF-16LE units, then CR LF.
std::vector<unsigned char> LogLineBytes(const CString& text);

// Appends one whole line with a single write. False when it failed; reason then says why.
bool AppendLogLine(CFile& file, const CString& text, std::string& reason);
