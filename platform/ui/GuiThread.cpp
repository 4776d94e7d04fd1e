#include "platform/ui/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void CallOnGuiThread(const std::function<void()>& call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || IsGuiThread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(app, [&call] { call(); }, Qt::BlockingQueuedConnection);
}

void PostToGuiThread(std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        call();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}
