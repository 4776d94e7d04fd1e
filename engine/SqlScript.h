#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/TableEngine.h"
#include "platform/core/CString.h"

// Pieces of a script that a fresh server loads with `mariadb < FILE` and that gives the
// recovered rows back exactly. Everything is written as UTF-8.

// The statements that make loading exact: the client character set, UTC for TIMESTAMP
// values, no foreign-key or unique checks while rows arrive, and 0 kept as 0 in
// AUTO_INCREMENT columns.
std::string ScriptHeader();
// What the header changed, put back at the end of the script.
std::string ScriptFooter();

// `name` with inner backticks doubled.
std::string QuoteIdentifier(std::u16string_view name);
std::string QuoteIdentifier(const CString& name);

// 'text' escaped for the server (backslash escapes, as a session without
// NO_BACKSLASH_ESCAPES reads them).
void AppendQuotedText(std::string& out, std::u16string_view text);

// Appends the literal of one value of column, given the value text a save-mode read gave
// it and its null flag. Returns false when the text cannot be written as the exact value
// the column held (a display placeholder, a malformed number, an infinite float, a lone
// surrogate): a stand-in was appended instead (the text quoted, or NULL where no text can
// stand in), and the caller reports the loss.
[[nodiscard]] bool AppendSqlLiteral(std::string& out, const ColumnInfo& column, const CString& text, bool isNull);

// Literals of FLOAT and DOUBLE values that read back as the same value: the exact
// double in the shortest scientific form, so the server parses it as a double.
std::string DoubleLiteral(double value);
std::string FloatLiteral(float value);

// Groups rows into INSERT statements of at most maxRows rows and maxBytes bytes (a row
// longer than maxBytes alone in its statement) and hands each finished statement to the
// sink. Holds one statement at a time, whatever the table's size.
class CInsertBatcher {
public:
    // Receives one statement ("INSERT INTO ... VALUES (...),(...);\n") and its row
    // count; false stops the batcher (the statement could not be written).
    using Sink = std::function<bool(std::string_view statement, std::size_t rows)>;

    static constexpr std::size_t kMaxRows = 1000;
    static constexpr std::size_t kMaxBytes = 1024 * 1024;

    // prefix: "INSERT INTO `t` (`a`,`b`) VALUES" (see InsertPrefix); each statement puts its
    // tuples on lines of their own after it.
    CInsertBatcher(std::string prefix, Sink sink, std::size_t maxRows = kMaxRows, std::size_t maxBytes = kMaxBytes);

    // One row as its tuple text "(1,'a',NULL)".
    [[nodiscard]] bool AddRow(std::string_view tuple);
    // Writes the statement being built, if it holds a row.
    [[nodiscard]] bool Flush();

    std::size_t RowsWritten() const { return m_nRowsWritten; }
    std::size_t StatementsWritten() const { return m_nStatements; }
    bool Failed() const { return m_bFailed; }

private:
    std::string m_prefix;
    Sink m_sink;
    std::size_t m_nMaxRows;
    std::size_t m_nMaxBytes;
    std::string m_statement;
    std::size_t m_nRows = 0;
    std::size_t m_nRowsWritten = 0;
    std::size_t m_nStatements = 0;
    bool m_bFailed = false;
};

// "INSERT INTO `table` (`c1`,`c2`) VALUES".
std::string InsertPrefix(const CString& table, const std::vector<CString>& columns);
