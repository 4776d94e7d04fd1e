#pragma once

#include <QString>

// A named mutex on a desktop without one: a lock file in the user's runtime folder, held
// open until the object goes. Nothing waits on it, and a second copy of the program opens
// the same file and runs as well.
class CNamedMutex {
public:
    explicit CNamedMutex(const QString& name);
    ~CNamedMutex();
    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    bool IsHeld() const { return m_fd >= 0; }
    const QString& FilePath() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};
