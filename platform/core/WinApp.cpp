#include "platform/core/WinApp.h"

namespace {
CWinApp* g_pCurrentApp = nullptr;
}

CWinApp::CWinApp() { g_pCurrentApp = this; }

CWinApp::~CWinApp() {
    if (g_pCurrentApp == this) g_pCurrentApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pCurrentApp; }
