#pragma once

// The process-wide application object. The one instance registers itself on
// construction so that code without a window can reach it through AfxGetApp().
class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
};

class CWinAppEx : public CWinApp {
public:
    explicit CWinAppEx(bool resourceSmartUpdate = false) : m_bResourceSmartUpdate(resourceSmartUpdate) {}

protected:
    bool m_bResourceSmartUpdate;
};

// The application object now alive, or null.
CWinApp* AfxGetApp();
