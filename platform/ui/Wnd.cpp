#include "platform/ui/Wnd.h"

#include "platform/ui/GuiThread.h"

#include <mutex>
#include <unordered_set>

#include <QWidget>

namespace {
std::mutex& LiveLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_set<const CWnd*>& LiveWindows() {
    static std::unordered_set<const CWnd*> live;
    return live;
}
}  // namespace

CWnd::CWnd(QWidget* widget) : m_pWidget(widget) {
    std::lock_guard<std::mutex> guard(LiveLock());
    LiveWindows().insert(this);
}

CWnd::~CWnd() {
    std::lock_guard<std::mutex> guard(LiveLock());
    LiveWindows().erase(this);
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM) { return 0; }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessage(this, message, wParam, lParam);
}

CWnd* CWnd::FromWidget(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (CWnd* wnd = dynamic_cast<CWnd*>(w)) return wnd;
    }
    return nullptr;
}

CWnd* CWnd::ParentOf(QWidget* widget) {
    return widget == nullptr ? nullptr : FromWidget(widget->parentWidget());
}

bool IsWindow(HWND hWnd) {
    if (hWnd == nullptr) return false;
    std::lock_guard<std::mutex> guard(LiveLock());
    return LiveWindows().count(hWnd) != 0;
}

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    CallOnGuiThread([&] {
        // Checked on the GUI thread, where windows are destroyed, so it cannot go stale
        // between the test and the call.
        if (IsWindow(hWnd)) result = hWnd->WindowProc(message, wParam, lParam);
    });
    return result;
}
