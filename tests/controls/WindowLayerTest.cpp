#include "platform/ui/GuiThread.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Messages.h"
#include "platform/ui/TreeCtrl.h"
#include "platform/ui/Wnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QApplication>
#include <QThread>
#include <QWidget>

namespace {

class Target : public QWidget, public CWnd {
public:
    Target() : CWnd(this) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        lastMessage = message;
        thread = QThread::currentThread();
        return static_cast<LRESULT>(wParam) + lParam;
    }
    UINT lastMessage = 0;
    QThread* thread = nullptr;
};

TEST(RegisteredMessages, SameNameSameNumberInTheRegisteredRange) {
    const UINT a = RegisterWindowMessage(QStringLiteral("layer test A"));
    const UINT b = RegisterWindowMessage(QStringLiteral("layer test B"));
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessage(QStringLiteral("layer test A")), a);
    EXPECT_EQ(RegisterWindowMessage(QString()), 0u);
}

TEST(PrivateMessages, KeepTheirNumbers) {
    EXPECT_EQ(WM_TREE_ITEM_CLICKED, 0x496u);
    EXPECT_EQ(WM_PREVIOUS_RECORDS, 0x4BEu);
    EXPECT_EQ(WM_NEXT_RECORDS, 0x4BFu);
}

TEST(SendMessage, DeliversSynchronouslyToLiveWindowsOnly) {
    auto* target = new Target;
    HWND hWnd = target;
    EXPECT_TRUE(IsWindow(hWnd));
    EXPECT_EQ(SendMessage(hWnd, WM_NEXT_RECORDS, 2, 3), 5);
    EXPECT_EQ(target->lastMessage, WM_NEXT_RECORDS);
    delete target;
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(SendMessage(hWnd, WM_NEXT_RECORDS, 2, 3), 0);  // a stale pointer is never called
    EXPECT_EQ(SendMessage(nullptr, WM_NEXT_RECORDS, 2, 3), 0);
}

TEST(SendMessage, FromAWorkerRunsOnTheGuiThreadAndWaits) {
    Target target;
    std::atomic<bool> done{false};
    LRESULT answer = 0;
    std::thread worker([&] {
        answer = SendMessage(&target, WM_PREVIOUS_RECORDS, 40, 2);
        done = true;
    });
    while (!done) QApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(target.thread, QThread::currentThread());
}

TEST(CallOnGuiThread, RunsDirectlyOnTheGuiThread) {
    int ran = 0;
    CallOnGuiThread([&] { ++ran; });  // no event loop needed
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(IsGuiThread());
}

TEST(TreeCtrl, InsertPositionsAndSiblingWalks) {
    CTreeCtrl tree;
    auto insert = [&](const char16_t* text, HTREEITEM parent, HTREEITEM after) {
        TVINSERTSTRUCT s;
        s.hParent = parent;
        s.hInsertAfter = after;
        s.item.mask = TVIF_TEXT | TVIF_PARAM;
        s.item.pszText = text;
        s.item.lParam = -2;
        return tree.InsertItem(&s);
    };
    HTREEITEM b = insert(u"b", TVI_ROOT, TVI_LAST);
    HTREEITEM a = insert(u"a", TVI_ROOT, TVI_FIRST);
    HTREEITEM d = insert(u"d", TVI_ROOT, TVI_LAST);
    HTREEITEM c = insert(u"c", TVI_ROOT, b);
    std::vector<HTREEITEM> order;
    for (HTREEITEM i = tree.GetRootItem(); i != nullptr; i = tree.GetNextSiblingItem(i)) order.push_back(i);
    EXPECT_EQ(order, (std::vector<HTREEITEM>{a, b, c, d}));
    EXPECT_EQ(tree.GetPrevSiblingItem(a), nullptr);
    EXPECT_EQ(tree.GetPrevSiblingItem(c), b);
    EXPECT_EQ(tree.GetItemData(c), -2);
    EXPECT_EQ(tree.GetItemText(c), u"c");
    EXPECT_EQ(tree.GetItemText(nullptr), u"");
    HTREEITEM child = insert(u"child", c, TVI_LAST);
    EXPECT_EQ(tree.GetParentItem(child), c);
    EXPECT_EQ(tree.GetCount(), 5u);
    EXPECT_TRUE(tree.SetItemState(child, INDEXTOSTATEIMAGEMASK(3), TVIS_STATEIMAGEMASK));
    EXPECT_EQ(tree.GetItemState(child, TVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(3));
    EXPECT_TRUE(tree.DeleteItem(c));
    EXPECT_EQ(tree.GetCount(), 3u);
    EXPECT_EQ(tree.GetNextSiblingItem(b), d);
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(tree.GetRootItem(), nullptr);
}

TEST(ImageList, MaskColourBecomesTransparentAndStripsAreCut) {
    QImage strip(48, 16, QImage::Format_RGB32);
    strip.fill(qRgb(255, 0, 255));
    strip.setPixel(20, 5, qRgb(1, 2, 3));
    CImageList list;
    ASSERT_TRUE(list.Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 1));
    EXPECT_EQ(list.AddMasked(strip, RGB(255, 0, 255)), 0);
    ASSERT_EQ(list.GetImageCount(), 3);
    EXPECT_EQ(qAlpha(list.GetImage(0).pixel(0, 0)), 0);
    EXPECT_EQ(list.GetImage(1).pixel(4, 5), qRgb(1, 2, 3));
    EXPECT_TRUE(list.GetImage(3).isNull());
    CImageList notCreated;
    EXPECT_EQ(notCreated.Add(strip), -1);
}

}  // namespace

namespace {

// What the scan does to the tree from its worker, while the GUI thread runs its loop.
TEST(TreeCtrl, ItemOperationsFromAWorkerRunOnTheGuiThread) {
    class Recording : public CTreeCtrl {
    public:
        std::vector<QThread*> selectionThreads;

    protected:
        void OnSelchanged(HTREEITEM, HTREEITEM) override { selectionThreads.push_back(QThread::currentThread()); }
    } tree;
    std::atomic<bool> done{false};
    HTREEITEM child = nullptr;
    LPARAM data = 0;
    HTREEITEM firstChild = nullptr;
    std::thread worker([&] {
        TVINSERTSTRUCT s;
        s.item.mask = TVIF_TEXT;
        s.item.pszText = u"root";
        HTREEITEM root = tree.InsertItem(&s);
        s.hParent = root;
        s.item.pszText = u"child";
        child = tree.InsertItem(&s);
        tree.SetItemData(child, 7);
        data = tree.GetItemData(child);
        firstChild = tree.GetChildItem(root);
        tree.Expand(root, TVE_EXPAND);
        tree.SelectItem(child);
        done = true;
    });
    while (!done) QApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_EQ(data, 7);
    EXPECT_EQ(firstChild, child);
    EXPECT_EQ(tree.GetSelectedItem(), child);
    ASSERT_EQ(tree.selectionThreads.size(), 1u);
    EXPECT_EQ(tree.selectionThreads[0], QThread::currentThread());
}

}  // namespace
