#include "app/ScanLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void AppendUnit(std::string& out, char16_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

constexpr int kHeaderAsterisks = 80;

}  // namespace

CString ScanLogFileName(const std::tm& t) {
    CString name;
    name.Format(u"DralvekMySQLDBRec_log_%d-%d-%d-%d-%d-%d.txt", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour,
                t.tm_min, t.tm_sec);
    return name;
}

std::string ScanLogLineBytes(const CString& text) {
    std::u16string_view units = text.View();
    std::string out;
    out.reserve(units.size() * 2 + 4);
    for (char16_t u : units) AppendUnit(out, u);
    if (units.size() < 2 || units.substr(units.size() - 2) != u"\r\n") {
        AppendUnit(out, u'\r');
        AppendUnit(out, u'\n');
    }
    return out;
}

std::string ScanLogHeaderBytes(bool newFile, const CString& selectedPath) {
    std::string out;
    if (newFile) out += "\xFF\xFE";
    AppendUnit(out, u'\r');
    AppendUnit(out, u'\n');
    for (int i = 0; i < kHeaderAsterisks; ++i) AppendUnit(out, u'*');
    AppendUnit(out, u'\r');
    AppendUnit(out, u'\n');
    out += ScanLogLineBytes(selectedPath + kLogSelectedSuffix);
    return out;
}

CScanLog::~CScanLog() { Close(); }

void CScanLog::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CScanLog::Open(const CString& folder, const std::tm& localStart, const CString& selectedPath, CString& error) {
    Close();
    CString path = folder;
    if (!path.IsEmpty() && path[path.GetLength() - 1] != u'/') path += u'/';
    path += ScanLogFileName(localStart);
    m_path = path;
    const std::string native = path.ToUtf8();
    // Exclusive creation tells a new file (which gets the byte-order mark) from the file
    // of a scan started within the same second (which is appended to).
    bool created = true;
    int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(native.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        error = CString::FromUtf8(std::strerror(errno));
        return false;
    }
    m_fd = fd;
    if (!WriteBytes(ScanLogHeaderBytes(created, selectedPath))) {
        error = u"the log file cannot be written";
        return false;
    }
    return true;
}

bool CScanLog::WriteLine(const CString& text) { return IsOpen() && WriteBytes(ScanLogLineBytes(text)); }

bool CScanLog::WriteBytes(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Close();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
