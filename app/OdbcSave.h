#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/SaveWriter.h"

// Saving into a live server through ODBC (unixODBC and the MariaDB or MySQL connector).

// The driver the program names in its connection string when it is registered.
inline constexpr const char* kPreferredOdbcDriver = "MySql ODBC 5.1 Driver";
// Seconds a connection attempt may take before it is given up.
inline constexpr unsigned kOdbcLoginTimeout = 10;

struct ServerSettings {
    std::string server;
    std::string port;
    std::string user;
    std::string password;
    std::string socket;  // a local server's socket; empty: reach it by server and port
};

// value braced for a connection string, inner '}' doubled, so ';' '}' '=' and spaces in
// it stay part of the value.
std::string BraceOdbcValue(std::string_view value);

// The port as a number 1-65535; false for anything else.
bool ParseServerPort(std::string_view text, unsigned& port);

// The connection string for driver and settings (user and password included, each
// braced).
std::string BuildOdbcConnectionString(const std::string& driver, const ServerSettings& settings);

// From the registered drivers: the preferred one when registered, else the first whose
// name holds "MariaDB", else the first holding "MySQL" (case-insensitive); empty: none.
std::string ChooseOdbcDriver(const std::vector<std::string>& registered);

// The drivers the driver manager lists.
std::vector<std::string> RegisteredOdbcDrivers();

// One open ODBC connection; every handle is freed by the destructor, whatever failed.
class COdbcConnection {
public:
    COdbcConnection() = default;
    COdbcConnection(const COdbcConnection&) = delete;
    COdbcConnection& operator=(const COdbcConnection&) = delete;
    ~COdbcConnection();

    // Connects with the login timeout, auto-commit off. Success with information counts
    // as success. driverUsed: the driver named. error: SQLSTATE and message.
    bool Connect(const ServerSettings& settings, std::string& driverUsed, std::string& error);
    // Runs one statement; rowsAffected gets its row count (-1 when the driver gives none).
    bool Execute(std::string_view sql, long long& rowsAffected, std::string& error);
    bool Commit(std::string& error);
    bool Rollback();
    void Disconnect();
    bool Connected() const { return m_dbc != nullptr && m_bConnected; }

private:
    void* m_env = nullptr;
    void* m_dbc = nullptr;
    bool m_bConnected = false;
};

// The connection test of the save-options dialog.
struct ConnectionTestResult {
    bool ok = false;
    std::string driver;   // the driver tried (empty: none registered)
    std::string message;  // for the user: success, or SQLSTATE and message
};
ConnectionTestResult TestServerConnection(const ServerSettings& settings);

// Runs the save's statements on a server: each committed by itself (an INSERT batch is
// one statement), its row count checked against the rows it carries, each failure with
// its SQLSTATE and message.
class COdbcSaveTarget : public ISaveTarget {
public:
    explicit COdbcSaveTarget(COdbcConnection& connection) : m_connection(connection) {}
    bool BeginDatabase(const CString& storedName, const CString& name, std::string& error) override;
    bool Run(std::string_view statement, std::size_t rows, std::string& error) override;
    bool RunClientText(std::string_view text, std::string& error) override;
    bool EndDatabase(std::string& error) override;

private:
    bool RunOne(std::string_view statement, std::size_t rows, std::string& error);
    COdbcConnection& m_connection;
};
