#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The binary form in which MySQL 5.7 keeps the values of its JSON columns: a type byte,
// then the value; objects and arrays as counted entries with offsets into the value.

// Formats a DECIMAL that a document holds: precision, scale and the binary decimal bytes;
// empty when they are no decimal.
using JsonDecimalText = std::function<std::string(std::uint32_t, std::uint32_t, const unsigned char*, std::size_t)>;

// The document's JSON text (UTF-8), written as that server prints it. No bytes are the
// JSON null. False when the bytes are no such document: cut short, an offset or length
// outside it, an unknown type, or nesting deeper than the server allows.
[[nodiscard]] bool MySqlJsonText(const unsigned char* bytes, std::size_t count, const JsonDecimalText& decimalText,
                                 std::string& out);
