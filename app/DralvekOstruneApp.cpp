#include "app/DralvekOstruneApp.h"

CDralvekOstruneApp::CDralvekOstruneApp()
    : CWinAppEx(true),
      m_nAppLook(0),
      m_bBusy(0),
      m_bSaveAsScript(0),
      m_bSaveToServer(0),
      m_bMySql56Format(0),
      m_nBlobFileCounter(0),
      m_nLogLineCount(0) {
    LoadProgramCollationFile(m_mapCollation);
}

CDralvekOstruneApp::~CDralvekOstruneApp() {
    if (m_fileLog.IsOpen()) m_fileLog.Close();
}

ReadContext CDralvekOstruneApp::WindowReadContext() const {
    ReadContext context;
    context.collations = &m_mapCollation;
    context.mode = (m_bSaveAsScript == 1 || m_bSaveToServer == 1) ? ValueMode::Save : ValueMode::Display;
    context.blobFolder = m_strSaveFolder;
    context.blobCounter = m_nBlobFileCounter;
    return context;
}
