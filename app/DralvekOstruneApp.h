#pragma once

#include <atomic>
#include <cstdint>

#include "engine/Collation.h"
#include "engine/ReadContext.h"
#include "platform/core/CFile.h"
#include "platform/core/CString.h"
#include "platform/core/WinApp.h"

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

    // The context the window reads tables with: this collation table, the save mode the
    // two save flags choose, the save folder and the large-object counter.
    ReadContext WindowReadContext() const;
};

// The application object, for code without a window.
inline CDralvekOstruneApp* GetDralvekApp() { return static_cast<CDralvekOstruneApp*>(AfxGetApp()); }
