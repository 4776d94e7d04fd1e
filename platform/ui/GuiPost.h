#pragma once

#include <utility>

#include <QCoreApplication>
#include <QMetaObject>

// Queues f to run on the GUI thread and returns at once; the caller never waits.
template <class F>
void PostToGuiThread(F&& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        std::forward<F>(f)();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::QueuedConnection);
}
