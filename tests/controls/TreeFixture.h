#pragma once

#include "controls/CheckTreeCtrl.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QWidget>

// A window that records what the program's windows send it, and on which thread.
struct Received {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::uintptr_t value = 0;  // TreeNotifyData::dwValue of a registered message
    QThread* thread = nullptr;
};

class RecordingWnd : public QWidget, public CWnd {
public:
    RecordingWnd() : CWnd(this) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        Received r{message, wParam, lParam, 0, QThread::currentThread()};
        if (message >= 0xC000 && wParam != 0) r.value = reinterpret_cast<const TreeNotifyData*>(wParam)->dwValue;
        received.push_back(r);
        if (onMessage) onMessage(r);
        return answer;
    }
    int Count(UINT message) const {
        int n = 0;
        for (const Received& r : received) n += r.message == message ? 1 : 0;
        return n;
    }
    const Received* Last(UINT message) const {
        for (auto it = received.rbegin(); it != received.rend(); ++it)
            if (it->message == message) return &*it;
        return nullptr;
    }
    std::vector<Received> received;
    std::function<void(const Received&)> onMessage;
    LRESULT answer = 0;
};

// The control with its insides in reach of the tests.
class TestTree : public CCheckTreeCtrl {
public:
    using CCheckTreeCtrl::CCheckTreeCtrl;
    using CCheckTreeCtrl::m_bCheckBoxes;
    using CCheckTreeCtrl::m_bDeleting;
    using CCheckTreeCtrl::m_bRebuildToolTips;
    using CCheckTreeCtrl::m_bToolTips;
    using CCheckTreeCtrl::m_CheckBoxImages;
    using CCheckTreeCtrl::m_crBackground;
    using CCheckTreeCtrl::m_DataMap;
    using CCheckTreeCtrl::m_hHotItem;
    using CCheckTreeCtrl::m_hLastSelected;
    using CCheckTreeCtrl::m_nToolCount;
    using CCheckTreeCtrl::m_pToolTip;
    std::vector<QThread*> deletingThreads;

protected:
    void OnItemsDeleting() override { deletingThreads.push_back(QThread::currentThread()); }
};

inline void Pump(int ms = 0) {
    QElapsedTimer clock;
    clock.start();
    do {
        // Everything pending, however long it takes (sanitizer builds are slow).
        QApplication::sendPostedEvents();
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (clock.elapsed() < ms);
}

inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// The tree as the tree pane sets it up: check boxes, propagation, tool tips, the frame as
// notify window, inside a parent window that records the registered messages.
class TreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree = new TestTree(&pane);
        tree->Initialize();
        tree->m_bPropagateCheck = TRUE;
        tree->m_bReadOnly = FALSE;
        tree->m_bImages = TRUE;
        tree->m_hWndNotify = &frame;
        pane.resize(300, 240);
        tree->setGeometry(0, 0, 300, 240);
        pane.show();
        Pump();
    }
    void TearDown() override { delete tree; }

    HTREEITEM Add(const char16_t* text, HTREEITEM parent = TVI_ROOT) { return tree->InsertItemText(text, 0, 0, parent); }
    CHECKTREEDATA* Data(HTREEITEM item) { return tree->GetItemDataStruct(item); }
    int Image(HTREEITEM item) { return static_cast<int>(tree->GetItemState(item, TVIS_STATEIMAGEMASK) >> 12); }
    // Lays the rows out and paints them once, as the screen would.
    void Paint() {
        Pump();
        (void)tree->grab();
    }

    RecordingWnd frame;
    RecordingWnd pane;
    TestTree* tree = nullptr;
};
