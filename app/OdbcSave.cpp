#include "app/OdbcSave.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "engine/SqlScript.h"

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::basic_string<SQLWCHAR> Wide(std::string_view utf8) {
    const CString text = CString::FromUtf8(utf8);
    std::basic_string<SQLWCHAR> out;
    out.reserve(static_cast<std::size_t>(text.GetLength()));
    for (char16_t c : text.View()) out.push_back(static_cast<SQLWCHAR>(c));
    return out;
}

std::string Narrow(const SQLWCHAR* text, SQLINTEGER length) {
    std::u16string units;
    for (SQLINTEGER i = 0; i < length && text[i]; ++i) units.push_back(static_cast<char16_t>(text[i]));
    return CString(std::u16string_view(units)).ToUtf8();
}

// Every diagnostic record of handle: "SQLSTATE xxxxx: message", one after another.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT record = 1; handle && record < 20; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message,
                                            static_cast<SQLSMALLINT>(std::size(message)), &length);
        if (!Succeeded(rc)) break;
        if (!out.empty()) out += "; ";
        out += "SQLSTATE " + Narrow(state, 5) + ": " +
               Narrow(message, std::min<SQLINTEGER>(length, static_cast<SQLINTEGER>(std::size(message) - 1)));
    }
    return out.empty() ? "the driver gave no reason" : out;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string BraceOdbcValue(std::string_view value) {
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    out += '}';
    return out;
}

bool ParseServerPort(std::string_view text, unsigned& port) {
    unsigned value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

std::string BuildOdbcConnectionString(const std::string& driver, const ServerSettings& settings) {
    std::string s = "Driver=" + BraceOdbcValue(driver) + ";Server=" + BraceOdbcValue(settings.server) +
                    ";Option=16834;Port=" + BraceOdbcValue(settings.port) + ";";
    if (!settings.socket.empty()) s += "Socket=" + BraceOdbcValue(settings.socket) + ";";
    s += "UID=" + BraceOdbcValue(settings.user) + ";PWD=" + BraceOdbcValue(settings.password) + ";";
    s += "CHARSET={utf8mb4};";
    return s;
}

std::string ChooseOdbcDriver(const std::vector<std::string>& registered) {
    for (const std::string& d : registered)
        if (d == kPreferredOdbcDriver) return d;
    for (const char* family : {"mariadb", "mysql"})
        for (const std::string& d : registered)
            if (Lower(d).find(family) != std::string::npos) return d;
    return {};
}

std::vector<std::string> RegisteredOdbcDrivers() {
    std::vector<std::string> out;
    SQLHENV env = SQL_NULL_HENV;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return out;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR name[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (Succeeded(SQLDriversA(env, direction, name, sizeof name, &nameLength, attributes, sizeof attributes,
                                 &attributesLength))) {
        out.emplace_back(reinterpret_cast<const char*>(name));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return out;
}

COdbcConnection::~COdbcConnection() { Disconnect(); }

void COdbcConnection::Disconnect() {
    if (m_dbc) {
        if (m_bConnected) {
            SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
            SQLDisconnect(m_dbc);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        m_dbc = nullptr;
    }
    if (m_env) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        m_env = nullptr;
    }
    m_bConnected = false;
}

bool COdbcConnection::Connect(const ServerSettings& settings, std::string& driverUsed, std::string& error) {
    Disconnect();
    driverUsed = ChooseOdbcDriver(RegisteredOdbcDrivers());
    if (driverUsed.empty()) {
        error = "no MariaDB or MySQL ODBC driver is registered";
        return false;
    }
    unsigned port = 0;
    if (!ParseServerPort(settings.port, port)) {
        error = "the port must be a number from 1 to 65535";
        return false;
    }
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env))) {
        m_env = nullptr;
        error = "the ODBC driver manager cannot be used";
        return false;
    }
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc))) {
        error = Diagnostics(SQL_HANDLE_ENV, m_env);
        m_dbc = nullptr;
        Disconnect();
        return false;
    }
    SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kOdbcLoginTimeout)),
                      0);
    SQLSetConnectAttr(m_dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kOdbcLoginTimeout)), 0);
    std::basic_string<SQLWCHAR> text = Wide(BuildOdbcConnectionString(driverUsed, settings));
    SQLWCHAR completed[2048];
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(m_dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), completed,
                                           static_cast<SQLSMALLINT>(std::size(completed)), &completedLength,
                                           SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
        error = Diagnostics(SQL_HANDLE_DBC, m_dbc);
        Disconnect();
        return false;
    }
    m_bConnected = true;
    if (!Succeeded(SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        error = Diagnostics(SQL_HANDLE_DBC, m_dbc);
        Disconnect();
        return false;
    }
    return true;
}

bool COdbcConnection::Execute(std::string_view sql, long long& rowsAffected, std::string& error) {
    rowsAffected = -1;
    if (!Connected()) {
        error = "not connected";
        return false;
    }
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt))) {
        error = Diagnostics(SQL_HANDLE_DBC, m_dbc);
        return false;
    }
    std::basic_string<SQLWCHAR> text = Wide(sql);
    const SQLRETURN rc = SQLExecDirectW(stmt, text.data(), static_cast<SQLINTEGER>(text.size()));
    bool ok = Succeeded(rc) || rc == SQL_NO_DATA;
    if (!ok) {
        error = Diagnostics(SQL_HANDLE_STMT, stmt);
    } else {
        SQLLEN count = -1;
        if (Succeeded(SQLRowCount(stmt, &count))) rowsAffected = count;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

bool COdbcConnection::Commit(std::string& error) {
    if (!Connected()) {
        error = "not connected";
        return false;
    }
    if (Succeeded(SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_COMMIT))) return true;
    error = Diagnostics(SQL_HANDLE_DBC, m_dbc);
    return false;
}

bool COdbcConnection::Rollback() { return Connected() && Succeeded(SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK)); }

ConnectionTestResult TestServerConnection(const ServerSettings& settings) {
    ConnectionTestResult result;
    COdbcConnection connection;
    std::string error;
    result.ok = connection.Connect(settings, result.driver, error);
    result.message = result.ok ? "Connection is successful" : error;
    return result;
}

// ---------------------------------------------------------------- the save's target

bool COdbcSaveTarget::BeginDatabase(const CString&, const CString&, std::string& error) {
    // The driver keeps the connection's character set itself; the other session settings
    // are made again for each database, since the end of the last one put some back.
    for (const std::string& statement : SplitClientText(ScriptHeader())) {
        if (statement.rfind("SET NAMES", 0) == 0) continue;
        long long rows = 0;
        if (!m_connection.Execute(statement, rows, error)) {
            error = statement + " failed: " + error;
            return false;
        }
    }
    return true;
}

bool COdbcSaveTarget::Run(std::string_view statement, std::size_t rows, std::string& error) {
    // CREATE DATABASE comes with its USE; a driver takes one statement at a time.
    if (rows == 0) {
        for (const std::string& one : SplitClientText(statement))
            if (!RunOne(one, 0, error)) return false;
        return true;
    }
    return RunOne(statement, rows, error);
}

bool COdbcSaveTarget::RunOne(std::string_view statement, std::size_t rows, std::string& error) {
    std::string_view sql = statement;
    while (!sql.empty() && (sql.back() == '\n' || sql.back() == ';')) sql.remove_suffix(1);
    long long affected = -1;
    if (!m_connection.Execute(sql, affected, error)) {
        m_connection.Rollback();
        return false;
    }
    if (rows > 0 && affected != static_cast<long long>(rows)) {
        m_connection.Rollback();
        error = "the server took " + std::to_string(affected) + " of " + std::to_string(rows) + " rows";
        return false;
    }
    return m_connection.Commit(error);
}

bool COdbcSaveTarget::RunClientText(std::string_view text, std::string& error) {
    for (const std::string& statement : SplitClientText(text)) {
        if (!RunOne(statement, 0, error)) return false;
    }
    return true;
}

bool COdbcSaveTarget::EndDatabase(std::string& error) {
    for (const std::string& statement : SplitClientText(ScriptFooter())) {
        if (!RunOne(statement, 0, error)) return false;
    }
    return true;
}
