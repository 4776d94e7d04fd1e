#pragma once

#include <ctime>
#include <string>

#include "platform/core/CString.h"

// The scan log: one file per scan in the log folder, UTF-16 little-endian with a
// byte-order mark when the file is new, every line ended by CR LF.

inline constexpr const char16_t* kLogSelectedSuffix = u" File is selected for recovery....";
inline constexpr const char16_t* kLogDataFolderPrefix = u"MySql database File Path:\t";
inline constexpr const char16_t* kLogFinding = u"Finding Database and tables";
inline constexpr const char16_t* kLogProcessingIbdata = u"Processing ibdata1 File";
inline constexpr const char16_t* kLogIbdataCannotOpen = u"ibdata1 File cannot be open";
inline constexpr const char16_t* kLogManualIbdataCannotOpen = u"Manually browse ibdata1 File cannot be open";
inline constexpr const char16_t* kLogScanCompletedPane = u"scanning completed.";
// Already ends in its line end: written as it is.
inline constexpr const char16_t* kLogScanCompleted = u"Scanning completed for selected database file(s).\r\n";
inline constexpr const char16_t* kMsgScanCompleted = u"Scanning completed for selected database file(s)";

// "DralvekMySQLDBRec_log_" + day-month-year-hour-minute-second + ".txt", no leading zeros.
CString ScanLogFileName(const std::tm& localStart);

// The bytes of one line: the text's UTF-16LE units, then CR LF unless the text already
// ends in CR LF.
std::string ScanLogLineBytes(const CString& text);

// What a scan writes first: the byte-order mark for a new file, CR LF, 80 asterisks,
// CR LF, then the line selectedPath + " File is selected for recovery....".
std::string ScanLogHeaderBytes(bool newFile, const CString& selectedPath);

// The open scan log of a scan.
class CScanLog {
public:
    CScanLog() = default;
    CScanLog(const CScanLog&) = delete;
    CScanLog& operator=(const CScanLog&) = delete;
    ~CScanLog();

    // Creates folder + file name (or appends to a file of that name that exists) and
    // writes the header. False, with the system's reason, when it cannot; the scan then
    // logs to the pane only.
    bool Open(const CString& folder, const std::tm& localStart, const CString& selectedPath, CString& error);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();
    // Appends one line; false when the write failed (the log is then closed).
    bool WriteLine(const CString& text);
    const CString& Path() const { return m_path; }

private:
    bool WriteBytes(const std::string& bytes);
    int m_fd = -1;
    CString m_path;
};
