#pragma once

#include <memory>

#include <QString>

#include "platform/core/CString.h"

class QSettings;

// The program's profile: an INI file under the user's configuration folder, in a folder
// named like the registry key and a file named like the application ("key/app.ini").
class CProfileStore {
public:
    // registryKey: the folder; appName: the file's name without ".ini".
    CProfileStore(const CString& registryKey, const CString& appName);
    ~CProfileStore();
    CProfileStore(const CProfileStore&) = delete;
    CProfileStore& operator=(const CProfileStore&) = delete;

    int GetProfileInt(const CString& section, const CString& entry, int defaultValue) const;
    // False when the file could not be written.
    bool WriteProfileInt(const CString& section, const CString& entry, int value);

    QString FilePath() const;

    // Puts the profiles under folder instead of the user's configuration folder (tests);
    // empty: back to the configuration folder.
    static void SetRootFolder(const QString& folder);
    static QString RootFolder();

private:
    std::unique_ptr<QSettings> m_settings;
};
