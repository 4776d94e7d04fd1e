#pragma once

#include <atomic>
#include <cstdint>
#include <map>

#include "platform/core/CFile.h"
#include "platform/core/CString.h"
#include "platform/core/WinApp.h"

// One collation: bytes per character of its character set, and its two names.
struct CollationEntry {
    std::uint32_t mbminlen = 0;
    std::uint32_t mbmaxlen = 0;
    CString name1;
    CString name2;
};

using CollationMap = std::map<std::uint32_t, CollationEntry>;

// The side file that maps collation ids to character-set widths.
inline constexpr const char16_t* kCollationFileName = u"collation (2)";

// Reads a collation file into the map (later records win). A record cut short by the
// end of the file ends the reading; the entries before it are kept. False when the
// file cannot be opened.
bool LoadCollationFile(const CString& path, CollationMap& map);

// Settings and state shared by the engine, the main window, the scan and the dialogs.
class CDralvekOstruneApp : public CWinAppEx {
public:
    CDralvekOstruneApp();
    ~CDralvekOstruneApp() override;

    std::uint32_t m_nAppLook;
    // Set from the GUI thread and the scan worker: taken and released atomically.
    std::atomic<std::int32_t> m_bBusy;
    CString m_strDatabaseFolder;
    CString m_strTempFolder;
    CString m_strLogFolder;
    CString m_strLogFilePath;
    CollationMap m_mapCollation;
    std::uint8_t m_bResumeRead;
    CFile m_fileLog;
    CString m_strSaveFolder;
    std::uint8_t m_bSaveAsScript;
    std::uint8_t m_bSaveToServer;
    std::uint8_t m_bMySql56Format;
    CString m_strServerUser;
    CString m_strServer;
    CString m_strServerPassword;
    CString m_strServerPort;
    std::uint64_t m_nBlobFileCounter;
    std::int32_t m_nLogLineCount;
};

// The application object as engine code sees it.
inline CDralvekOstruneApp* GetDralvekApp() { return static_cast<CDralvekOstruneApp*>(AfxGetApp()); }
