// Times the check-box tree with a scan-sized tree: tables with their "Keys" children, views
// and trigger files under ten databases, inserted through the control, then a check on the
// root propagated to every item. Run headless: QT_QPA_PLATFORM=offscreen tree-bench
#include "controls/CheckTreeCtrl.h"

#include <cstdio>
#include <string>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>

namespace {
struct Shape {
    int databases = 10;
    int tablesPerDatabase = 1000;
    int viewsPerDatabase = 500;
    int triggersPerDatabase = 500;
};

// Inserts the tree as the scan does; returns the number of items.
int Fill(CCheckTreeCtrl& tree, const Shape& shape, HTREEITEM* rootOut) {
    int items = 0;
    auto add = [&](const std::u16string& text, int image, HTREEITEM parent) {
        ++items;
        return tree.InsertItemText(text.c_str(), image, image, parent);
    };
    HTREEITEM root = add(u"MYSQL database", 0, TVI_ROOT);
    for (int d = 0; d < shape.databases; ++d) {
        const std::u16string n = QString::number(d).toStdU16String();
        HTREEITEM db = add(u"database_" + n, 0, root);
        HTREEITEM tables = add(u"Tables", 1, db);
        HTREEITEM views = add(u"Views", 1, db);
        HTREEITEM triggers = add(u"Trigger", 1, db);
        for (int t = 0; t < shape.tablesPerDatabase; ++t) {
            HTREEITEM table = add(u"table_" + n + u"_" + QString::number(t).toStdU16String(), 0, tables);
            add(u"Keys", 2, table);
        }
        for (int v = 0; v < shape.viewsPerDatabase; ++v) add(u"view_" + QString::number(v).toStdU16String(), 3, views);
        for (int g = 0; g < shape.triggersPerDatabase; ++g) add(u"trigger_" + QString::number(g).toStdU16String() + u".TRG", 4, triggers);
        tree.Expand(db, TVE_EXPAND);
        tree.Expand(tables, TVE_EXPAND);
    }
    tree.Expand(root, TVE_EXPAND);
    *rootOut = root;
    return items;
}

CCheckTreeCtrl* MakeTree() {
    auto* tree = new CCheckTreeCtrl;
    tree->Initialize();
    tree->m_bPropagateCheck = TRUE;
    tree->resize(320, 700);
    tree->show();
    QApplication::processEvents();
    return tree;
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Shape shape;
    int failures = 0;

    // On the GUI thread.
    CCheckTreeCtrl* tree = MakeTree();
    HTREEITEM root = nullptr;
    QElapsedTimer clock;
    clock.start();
    const int items = Fill(*tree, shape, &root);
    const qint64 insertMs = clock.elapsed();
    QApplication::processEvents();
    (void)tree->grab();

    clock.restart();
    tree->SetCheck(root, TRUE);
    const qint64 checkMs = clock.elapsed();
    const int checked = tree->GetCheckedCount();
    clock.restart();
    (void)tree->grab();
    const qint64 paintMs = clock.elapsed();
    clock.restart();
    tree->SetCheck(root, FALSE);
    const qint64 uncheckMs = clock.elapsed();
    clock.restart();
    tree->DeleteAllItems();
    const qint64 deleteMs = clock.elapsed();

    std::printf("items inserted:                 %d\n", items);
    std::printf("insert on the GUI thread:       %lld ms (limit 1000)\n", static_cast<long long>(insertMs));
    std::printf("check the root (propagation):   %lld ms (limit 100), %d items checked\n", static_cast<long long>(checkMs), checked);
    std::printf("paint after the check:          %lld ms\n", static_cast<long long>(paintMs));
    std::printf("uncheck the root:               %lld ms\n", static_cast<long long>(uncheckMs));
    std::printf("delete all items:               %lld ms\n", static_cast<long long>(deleteMs));
    if (checked != items) {
        std::printf("FAIL: %d of %d items checked\n", checked, items);
        ++failures;
    }
    delete tree;

    // From a worker, as the scan inserts: every call is carried over to the GUI thread.
    tree = MakeTree();
    bool done = false;
    qint64 workerMs = 0;
    std::thread worker([&] {
        QElapsedTimer workerClock;
        workerClock.start();
        HTREEITEM workerRoot = nullptr;
        Fill(*tree, shape, &workerRoot);
        workerMs = workerClock.elapsed();
        done = true;
    });
    while (!done) QApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    std::printf("insert from a worker thread:    %lld ms (%u items)\n", static_cast<long long>(workerMs), tree->GetCount());
    delete tree;
    return failures == 0 ? 0 : 1;
}
