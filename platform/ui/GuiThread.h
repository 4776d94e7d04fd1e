#pragma once

#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

// True on the thread that owns the application object (the GUI thread), and while no
// application object exists (single-threaded start-up and tests).
inline bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// Runs f on the GUI thread and returns once it has run: directly when already there,
// otherwise as a queued call the caller waits for. The GUI thread must never wait for a
// thread that is inside this call. Results travel through what f captures.
template <class F>
void CallOnGuiThread(F&& f) {
    if (IsGuiThread()) {
        std::forward<F>(f)();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f), Qt::BlockingQueuedConnection);
}
