#include "platform/core/CFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFile::~CFile() {
    if (m_fd >= 0) ::close(m_fd);
}

void CFile::Fail(const char* what) const { Fail(what, errno); }

void CFile::Fail(const char* what, int error) const {
    throw CFileException(std::string(what) + ": " + m_path.ToUtf8() + ": " + std::strerror(error), m_path, error);
}

std::string CFile::OpenFailureReason() const {
    if (m_nOpenError == kNotRegularFile) return "not a regular file";
    if (m_nOpenError == kLockedByOther) return "locked by another program";
    return std::strerror(m_nOpenError);
}

bool CFile::Open(const CString& path, unsigned flags) {
    Close();
    int oflags = O_CLOEXEC;
    unsigned access = flags & 3u;
    if (access == modeWrite) oflags |= O_WRONLY;
    else if (access == modeReadWrite) oflags |= O_RDWR;
    else oflags |= O_RDONLY;
    if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
    }
    // A FIFO or device would block the open or the reads, or never end: table files are
    // regular files, and a read-only open never waits for a writer.
    if (access == modeRead) oflags |= O_NONBLOCK;
    m_nOpenError = 0;
    std::string name = path.ToUtf8();
    int fd = ::open(name.c_str(), oflags, 0644);
    if (fd < 0) {
        m_nOpenError = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_nOpenError = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
        ::close(fd);
        return false;
    }
    unsigned share = flags & 0x70u;
    if (share == shareExclusive || share == shareDenyWrite) {
        // Someone else's write lock means the file is in use and may change under us.
        struct flock probe {};
        probe.l_type = F_RDLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = 0;
        probe.l_len = 0;
        if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
            m_nOpenError = kLockedByOther;
            ::close(fd);
            return false;
        }
    }
    m_fd = fd;
    m_path = path;
    m_bCached = access == modeRead;
    m_position = 0;
    m_windowStart = 0;
    m_windowFill = 0;
    return true;
}

void CFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_bCached = false;
    m_position = 0;
    m_windowStart = 0;
    m_windowFill = 0;
    m_window.reset();
}

std::uint64_t CFile::SeekSlow(std::int64_t offset, SeekPosition from) {
    if (m_bCached) {
        // Only the position moves; the checks are lseek's own.
        std::int64_t base = 0;
        if (from == current) base = static_cast<std::int64_t>(m_position);
        else if (from == end) base = static_cast<std::int64_t>(GetLength());
        if (offset < 0 ? base + offset < 0 : base > INT64_MAX - offset) Fail("seek", offset < 0 ? EINVAL : EOVERFLOW);
        m_position = static_cast<std::uint64_t>(base + offset);
        return m_position;
    }
    int whence = from == begin ? SEEK_SET : (from == current ? SEEK_CUR : SEEK_END);
    off_t r = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (r < 0) Fail("seek");
    return static_cast<std::uint64_t>(r);
}

std::uint64_t CFile::GetPosition() const {
    if (m_bCached) return m_position;
    off_t r = ::lseek(m_fd, 0, SEEK_CUR);
    if (r < 0) Fail("position");
    return static_cast<std::uint64_t>(r);
}

std::uint64_t CFile::GetLength() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) Fail("length");
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint32_t CFile::ReadAt(std::uint64_t position, char* buffer, std::uint32_t count) {
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(m_fd, buffer + done, count - done, static_cast<off_t>(position + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("read");
        }
        if (n == 0) break;
        done += static_cast<std::uint32_t>(n);
    }
    return done;
}

std::uint32_t CFile::ReadCached(char* buffer, std::uint32_t count) {
    std::uint32_t done = 0;
    while (done < count) {
        if (m_position >= m_windowStart && m_position - m_windowStart < m_windowFill) {
            const auto at = static_cast<std::uint32_t>(m_position - m_windowStart);
            std::uint32_t n = m_windowFill - at;
            if (n > count - done) n = count - done;
            std::memcpy(buffer + done, m_window.get() + at, n);
            done += n;
            m_position += n;
            continue;
        }
        const std::uint32_t rest = count - done;
        if (rest >= kReadWindow / 4) {
            // A whole page or more: into the caller's buffer without the copy.
            const std::uint32_t n = ReadAt(m_position, buffer + done, rest);
            done += n;
            m_position += n;
            break;
        }
        if (!m_window) m_window = std::make_unique<char[]>(kReadWindow);
        m_windowFill = 0;
        m_windowStart = m_position;
        m_windowFill = ReadAt(m_position, m_window.get(), kReadWindow);
        if (m_windowFill == 0) break;  // the end of the file
    }
    return done;
}

std::uint32_t CFile::ReadSlow(void* buffer, std::uint32_t count) {
    if (m_bCached) return ReadCached(static_cast<char*>(buffer), count);
    auto* p = static_cast<char*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::read(m_fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("read");
        }
        if (n == 0) break;
        done += static_cast<std::uint32_t>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, std::uint32_t count) {
    const auto* p = static_cast<const char*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(m_fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write");
        }
        done += static_cast<std::uint32_t>(n);
    }
}

void CFile::Flush() {
    if (m_fd >= 0 && ::fsync(m_fd) != 0 && errno != EINVAL) Fail("flush");
}

bool CStdioFile::Open(const CString& path, unsigned flags) {
    m_buffer.clear();
    m_bufferPos = 0;
    m_eof = false;
    return CFile::Open(path, flags);
}

void CStdioFile::Close() {
    m_buffer.clear();
    m_bufferPos = 0;
    m_eof = false;
    CFile::Close();
}

bool CStdioFile::FillBuffer() {
    if (m_eof) return false;
    m_buffer.erase(0, m_bufferPos);
    m_bufferPos = 0;
    char chunk[65536];
    std::uint32_t n = Read(chunk, sizeof chunk);
    if (n == 0) {
        m_eof = true;
        return false;
    }
    m_buffer.append(chunk, n);
    return true;
}

bool CStdioFile::ReadString(std::string& line) {
    line.clear();
    if (!IsOpen()) return false;
    for (;;) {
        std::size_t nl = m_buffer.find('\n', m_bufferPos);
        if (nl != std::string::npos) {
            line.assign(m_buffer, m_bufferPos, nl - m_bufferPos);
            m_bufferPos = nl + 1;
            break;
        }
        if (!FillBuffer()) {
            if (m_bufferPos >= m_buffer.size()) return false;
            line.assign(m_buffer, m_bufferPos, std::string::npos);
            m_bufferPos = m_buffer.size();
            break;
        }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool CStdioFile::ReadString(CString& line) {
    std::string raw;
    bool ok = ReadString(raw);
    line = CString::FromAnsi(raw.data(), raw.size());
    return ok;
}
