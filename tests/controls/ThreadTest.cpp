#include "TreeFixture.h"

#include <atomic>
#include <thread>

namespace {

// The scan fills the tree from its worker while the GUI thread keeps painting and taking
// clicks: every operation it issues has to run on the GUI thread.
TEST_F(TreeTest, OperationsFromAWorkerRunOnTheGuiThread) {
    QThread* gui = QThread::currentThread();
    std::atomic<bool> done{false};
    HTREEITEM root = nullptr;
    HTREEITEM tables = nullptr;
    std::vector<HTREEITEM> inserted;
    int checkedSeenByWorker = -1;
    CString textSeenByWorker;
    tree->deletingThreads.clear();
    std::thread worker([&] {
        root = tree->InsertItemText(u"MYSQL database", 0, 0, TVI_ROOT);
        HTREEITEM db = tree->InsertItemText(u"shop", 0, 0, root);
        tables = tree->InsertItemText(u"Tables", 0, 0, db);
        for (int i = 0; i < 200; ++i) inserted.push_back(tree->InsertItemText(u"t", 0, 0, tables));
        tree->Expand(root, TVE_EXPAND);
        tree->Expand(db, TVE_EXPAND);
        tree->SetCheck(tables, TRUE);
        tree->SelectItem(db);
        checkedSeenByWorker = tree->GetCheckedCount();
        textSeenByWorker = tree->GetItemText(db);
        tree->DeleteAllItems();
        tree->InsertItemText(u"MYSQL database", 0, 0, TVI_ROOT);
        done = true;
    });
    // The GUI thread goes on painting meanwhile.
    while (!done) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        (void)tree->grab();
    }
    worker.join();

    EXPECT_EQ(checkedSeenByWorker, 203);  // the 200 tables, Tables, shop and the root
    EXPECT_EQ(textSeenByWorker, u"shop");
    EXPECT_EQ(tree->GetCount(), 1u);
    ASSERT_FALSE(pane.received.empty());
    for (const Received& r : pane.received) EXPECT_EQ(r.thread, gui);
    ASSERT_EQ(frame.Count(WM_TREE_ITEMS_DELETED), 1);
    EXPECT_EQ(frame.Last(WM_TREE_ITEMS_DELETED)->thread, gui);
    ASSERT_EQ(tree->deletingThreads.size(), 1u);
    EXPECT_EQ(tree->deletingThreads[0], gui);
}

}  // namespace
