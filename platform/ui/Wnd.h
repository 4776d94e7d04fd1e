#pragma once

#include "platform/ui/WinTypes.h"

class QWidget;
class CWnd;
using HWND = CWnd*;

// The part of a window that receives the program's private messages. Mixed into a widget
// class (class CMainFrame : public QMainWindow, public CWnd), it is not a QObject itself.
// A CWnd is "a window" from construction to destruction; SendMessage to anything else
// (null, already destroyed) delivers nothing and answers 0.
class CWnd {
public:
    explicit CWnd(QWidget* widget = nullptr);
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Receives what SendMessage delivers; the default answers 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    QWidget* GetSafeWidget() const { return m_pWidget; }
    // The nearest CWnd among the widget's ancestors, or null.
    static CWnd* FromWidget(QWidget* widget);
    static CWnd* ParentOf(QWidget* widget);

private:
    QWidget* m_pWidget;
};

// A window is live from its construction to its destruction.
bool IsWindow(HWND hWnd);
// Synchronous delivery on the GUI thread; 0 when hWnd is no live window. Called off the GUI
// thread it runs the delivery there and waits for it.
LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
