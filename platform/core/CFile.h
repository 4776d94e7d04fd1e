#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/core/CString.h"

// A file error: what failed, the file and the system's error number.
class CFileException : public std::runtime_error {
public:
    CFileException(const std::string& what, CString path, int error)
        : std::runtime_error(what), m_strFileName(std::move(path)), m_nOsError(error) {}
    CString m_strFileName;
    int m_nOsError;
};

// Binary file with 64-bit positions. Reads deliver what is there: a short count at the
// end of the file is not an error. Failing system calls raise CFileException.
// A file opened read-only is read through a window held in memory: table files are read
// a few bytes at a time (block headers, then records) and are never written meanwhile.
class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile();

    // Opens the file; false when it cannot be opened. With shareExclusive or
    // shareDenyWrite, a file that another process holds a lock on (as a running server
    // does on its tablespaces) is refused.
    // Only regular files open (a FIFO or device is refused without waiting on it).
    virtual bool Open(const CString& path, unsigned flags);
    // Why the last Open returned false, as the system words it ("Permission denied").
    std::string OpenFailureReason() const;
    virtual void Close();
    bool IsOpen() const { return m_fd >= 0; }

    std::uint64_t Seek(std::int64_t offset, SeekPosition from) {
        if (m_bCached && from == begin && offset >= 0) return m_position = static_cast<std::uint64_t>(offset);
        return SeekSlow(offset, from);
    }
    std::uint64_t SeekToBegin() { return Seek(0, begin); }
    std::uint64_t SeekToEnd() { return Seek(0, end); }
    std::uint64_t GetPosition() const;
    std::uint64_t GetLength() const;
    // Returns how many bytes were delivered; fewer than asked only at the end of the file.
    std::uint32_t Read(void* buffer, std::uint32_t count) {
        // A read-only file's small reads are served from its window.
        if (m_bCached && m_position >= m_windowStart && m_position - m_windowStart < m_windowFill &&
            count <= m_windowFill - (m_position - m_windowStart)) {
            std::memcpy(buffer, m_window.get() + (m_position - m_windowStart), count);
            m_position += count;
            return count;
        }
        return ReadSlow(buffer, count);
    }
    void Write(const void* buffer, std::uint32_t count);
    void Flush();
    const CString& GetFilePath() const { return m_path; }

    // Bytes of the read window of read-only files; reads of a quarter of it or more
    // go to the file directly.
    static constexpr std::uint32_t kReadWindow = 128 * 1024;

protected:
    [[noreturn]] void Fail(const char* what) const;
    [[noreturn]] void Fail(const char* what, int error) const;

    int m_fd = -1;
    CString m_path;
    // errno of the last failed Open, or one of the two reasons below.
    int m_nOpenError = 0;
    static constexpr int kNotRegularFile = -1;
    static constexpr int kLockedByOther = -2;

private:
    std::uint64_t SeekSlow(std::int64_t offset, SeekPosition from);
    std::uint32_t ReadSlow(void* buffer, std::uint32_t count);
    std::uint32_t ReadAt(std::uint64_t position, char* buffer, std::uint32_t count);
    std::uint32_t ReadCached(char* buffer, std::uint32_t count);

    // Read-only files: the position is ours (the descriptor's offset is not used) and
    // m_window holds the bytes from m_windowStart on.
    bool m_bCached = false;
    std::uint64_t m_position = 0;
    std::uint64_t m_windowStart = 0;
    std::uint32_t m_windowFill = 0;
    std::unique_ptr<char[]> m_window;
};

// Text lines over CFile.
class CStdioFile : public CFile {
public:
    bool Open(const CString& path, unsigned flags) override;
    void Close() override;
    // One line without its LF or CR LF; false at the end of the file. The bytes are
    // taken through the ANSI code page.
    bool ReadString(CString& line);
    // The same line as raw bytes.
    bool ReadString(std::string& line);

private:
    bool FillBuffer();
    std::string m_buffer;
    std::size_t m_bufferPos = 0;
    bool m_eof = false;
};
