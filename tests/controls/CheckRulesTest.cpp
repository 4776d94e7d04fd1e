#include "TreeFixture.h"

#include <random>

namespace {

// Counts below an item, recounted from the items themselves.
struct Recount {
    int descendants = 0;
    int checked = 0;
};

class CheckRulesTest : public TreeTest {
protected:
    Recount Count(HTREEITEM item) {
        Recount r;
        for (HTREEITEM child = tree->GetChildItem(item); child != nullptr; child = tree->GetNextSiblingItem(child)) {
            const Recount below = Count(child);
            r.descendants += 1 + below.descendants;
            r.checked += (Data(child)->bChecked ? 1 : 0) + below.checked;
        }
        return r;
    }
    // Every record agrees with a recount of its subtree and shows the image that says so.
    void ExpectConsistent() {
        for (HTREEITEM item = tree->GetRootItem(); item != nullptr; item = tree->GetNextTreeItem(item)) {
            const CHECKTREEDATA* d = Data(item);
            const Recount r = Count(item);
            SCOPED_TRACE(QString::fromUtf16(tree->GetItemText(item).GetString()).toStdString());
            ASSERT_EQ(d->nDescendants, r.descendants);
            ASSERT_EQ(d->nCheckedDescendants, r.checked);
            if (r.descendants > 0) {
                ASSERT_EQ(d->bChecked, r.checked == r.descendants ? TRUE : FALSE);
                const int image = r.checked == 0 ? 1 : r.checked == r.descendants ? 2 : 3;
                ASSERT_EQ(Image(item), image);
            } else {
                ASSERT_EQ(Image(item), d->bChecked ? 2 : 1);
            }
        }
    }
};

TEST_F(CheckRulesTest, NewItemsAreUncheckedAndUncheckedChildMakesCheckedParentMixed) {
    HTREEITEM root = Add(u"MYSQL database");
    HTREEITEM db = Add(u"shop", root);
    HTREEITEM tables = Add(u"Tables", db);
    HTREEITEM t1 = Add(u"orders", tables);
    EXPECT_EQ(Image(t1), 1);
    EXPECT_EQ(Image(root), 1);

    tree->SetCheck(tables, TRUE);
    EXPECT_EQ(Image(tables), 2);
    EXPECT_EQ(Image(db), 2);
    EXPECT_EQ(Data(root)->nCheckedDescendants, 3);  // shop, Tables, orders

    HTREEITEM t2 = Add(u"customers", tables);
    EXPECT_EQ(Image(t2), 1);
    EXPECT_EQ(Image(tables), 3);
    EXPECT_FALSE(Data(tables)->bChecked);
    // Tables and shop stop being fully checked: the root loses both.
    EXPECT_EQ(Image(db), 3);
    EXPECT_EQ(Data(db)->nCheckedDescendants, 1);
    EXPECT_EQ(Data(root)->nCheckedDescendants, 1);
    EXPECT_EQ(Image(root), 3);
    ExpectConsistent();
}

TEST_F(CheckRulesTest, CheckingAndUncheckingMovesTheParentCountByTheChangedItems) {
    HTREEITEM root = Add(u"root");
    HTREEITEM parent = Add(u"parent", root);
    HTREEITEM other = Add(u"other", root);
    HTREEITEM item = Add(u"item", parent);
    Add(u"a", item);
    Add(u"b", item);
    HTREEITEM c = Add(u"c", item);
    (void)other;
    tree->SetCheck(c, TRUE);
    const int before = Data(parent)->nCheckedDescendants;
    ASSERT_EQ(before, 1);

    tree->SetCheck(item, TRUE);  // a and b join c, and item itself
    EXPECT_EQ(Data(parent)->nCheckedDescendants, before + 3);
    EXPECT_EQ(Image(parent), 2);
    // parent became fully checked: root gains it as well
    EXPECT_EQ(Data(root)->nCheckedDescendants, 5);  // item, a, b, c and parent
    EXPECT_EQ(Image(root), 3);

    tree->SetCheck(item, FALSE);  // a, b, c and item
    EXPECT_EQ(Data(parent)->nCheckedDescendants, 0);
    EXPECT_EQ(Image(parent), 1);
    EXPECT_EQ(Data(root)->nCheckedDescendants, 0);
    ExpectConsistent();
}

TEST_F(CheckRulesTest, UncheckingTheOnlyCheckedChildLeavesParentUncheckedNotMixed) {
    HTREEITEM root = Add(u"root");
    HTREEITEM a = Add(u"a", root);
    Add(u"b", root);
    tree->SetCheck(a, TRUE);
    EXPECT_EQ(Image(root), 3);
    tree->SetCheck(a, FALSE);
    EXPECT_EQ(Image(root), 1);
}

TEST_F(CheckRulesTest, ToggleOfMixedParentChecksTheWholeBranch) {
    HTREEITEM root = Add(u"root");
    HTREEITEM a = Add(u"a", root);
    HTREEITEM b = Add(u"b", root);
    tree->SetCheck(a, TRUE);
    ASSERT_FALSE(Data(root)->bChecked);
    tree->SetCheck(root, Data(root)->bChecked ? FALSE : TRUE);
    EXPECT_TRUE(tree->GetCheck(b));
    EXPECT_EQ(Image(root), 2);
    ExpectConsistent();
}

TEST_F(CheckRulesTest, CheckedCountCountsFullyCheckedParentsButNotMixedOnes) {
    HTREEITEM root = Add(u"root");
    HTREEITEM a = Add(u"a", root);
    HTREEITEM b = Add(u"b", root);
    HTREEITEM c = Add(u"c", root);
    tree->SetCheck(a, TRUE);
    tree->SetCheck(b, TRUE);
    EXPECT_EQ(tree->GetCheckedCount(), 2);
    tree->SetCheck(c, TRUE);
    EXPECT_EQ(tree->GetCheckedCount(), 4);
    tree->m_bCheckBoxes = FALSE;
    EXPECT_EQ(tree->GetCheckedCount(), 0);
}

TEST_F(CheckRulesTest, SetCheckSendsOnlyForItemsThatCanChangeAndAlsoWhenUnchanged) {
    HTREEITEM root = Add(u"root");
    HTREEITEM item = Add(u"item", root);
    HTREEITEM disabled = Add(u"disabled", root);
    HTREEITEM separator = Add(u"separator", root);
    Data(disabled)->bEnabled = FALSE;
    Data(separator)->bSeparator = TRUE;
    const UINT clicked = WM_CHECKTREE_CHECKBOX_CLICKED;

    struct Case {
        const char* name;
        HTREEITEM item;
        BOOL check;
        int sent;
    };
    const Case cases[] = {
        {"no item", nullptr, TRUE, 0},
        {"disabled", disabled, TRUE, 0},
        {"separator", separator, TRUE, 0},
        {"check", item, TRUE, 1},
        {"unchanged", item, TRUE, 1},
        {"uncheck", item, FALSE, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pane.received.clear();
        tree->SetCheck(c.item, c.check);
        ASSERT_EQ(pane.Count(clicked), c.sent);
        if (c.sent) {
            EXPECT_EQ(pane.Last(clicked)->value, reinterpret_cast<std::uintptr_t>(c.item));
            EXPECT_EQ(pane.Last(clicked)->lParam, c.check);
            const auto* data = reinterpret_cast<const TreeNotifyData*>(pane.Last(clicked)->wParam);
            (void)data;  // lived on the sender's stack: only its copy above is read
        }
    }
    EXPECT_FALSE(Data(disabled)->bChecked);
    EXPECT_FALSE(Data(separator)->bChecked);
}

TEST_F(CheckRulesTest, ItemWithoutRecordHasNoCheckAndNoStateImage) {
    HTREEITEM root = Add(u"root");
    TVINSERTSTRUCT bare;
    bare.hParent = root;
    bare.item.mask = TVIF_TEXT;
    bare.item.pszText = u"bare";
    HTREEITEM item = tree->CTreeCtrl::InsertItem(&bare);  // behind the control's back: no record
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(tree->GetItemDataStruct(item), nullptr);
    EXPECT_EQ(tree->GetStateImage(item), 0);
    EXPECT_FALSE(tree->GetCheck(item));
    tree->SetCheck(item, TRUE);
    EXPECT_EQ(pane.Count(WM_CHECKTREE_CHECKBOX_CLICKED), 0);
}

TEST_F(CheckRulesTest, RandomInsertsAndChecksKeepEveryCountTrue) {
    std::mt19937 random(20260);
    std::vector<HTREEITEM> items{Add(u"root")};
    for (int step = 0; step < 400; ++step) {
        HTREEITEM pick = items[random() % items.size()];
        if (random() % 3 == 0) {
            items.push_back(Add(u"n", pick));
        } else {
            tree->SetCheck(pick, Data(pick)->bChecked ? FALSE : TRUE);
        }
    }
    ExpectConsistent();
}

TEST_F(CheckRulesTest, ExpandSendsOnlyOnAChangeButAlwaysExpands) {
    HTREEITEM root = Add(u"root");
    Add(u"child", root);
    const UINT expanded = WM_CHECKTREE_ITEM_EXPANDED;
    EXPECT_TRUE(tree->Expand(root, TVE_EXPAND));
    EXPECT_EQ(pane.Count(expanded), 1);
    EXPECT_EQ(pane.Last(expanded)->lParam, 1);
    EXPECT_TRUE(Data(root)->bHasBeenExpanded);
    EXPECT_TRUE(tree->GetItemState(root, TVIS_EXPANDED));
    tree->CTreeCtrl::Expand(root, TVE_COLLAPSE);  // collapsed behind the bookkeeping
    EXPECT_TRUE(tree->Expand(root, TVE_EXPAND));
    EXPECT_EQ(pane.Count(expanded), 1);
    EXPECT_TRUE(tree->GetItemState(root, TVIS_EXPANDED));
    tree->Expand(root, TVE_TOGGLE);
    EXPECT_EQ(pane.Last(expanded)->lParam, 0);
    EXPECT_TRUE(Data(root)->bHasBeenExpanded);
}

TEST_F(CheckRulesTest, TreeWalksVisitDepthFirstInSiblingOrder) {
    HTREEITEM a = Add(u"a");
    HTREEITEM a1 = Add(u"a1", a);
    HTREEITEM a11 = Add(u"a11", a1);
    HTREEITEM a2 = Add(u"a2", a);
    HTREEITEM b = Add(u"b");
    std::vector<HTREEITEM> order;
    for (HTREEITEM i = tree->GetRootItem(); i != nullptr; i = tree->GetNextTreeItem(i)) order.push_back(i);
    EXPECT_EQ(order, (std::vector<HTREEITEM>{a, a1, a11, a2, b}));
    EXPECT_EQ(tree->GetLastTreeItem(nullptr), b);
    EXPECT_EQ(tree->GetLastTreeItem(a), a2);
}

TEST_F(CheckRulesTest, FindItemSearchesOnwardFromTheStartAndWraps) {
    HTREEITEM root = Add(u"MYSQL database");
    HTREEITEM orders = Add(u"orders", root);
    HTREEITEM order_items = Add(u"order_items", root);
    HTREEITEM old = Add(u"Old Orders", root);
    EXPECT_EQ(tree->FindItem(QStringLiteral("order"), FALSE, TRUE, FALSE, FALSE, root), orders);
    EXPECT_EQ(tree->FindItem(QStringLiteral("order"), FALSE, TRUE, FALSE, FALSE, orders), order_items);
    EXPECT_EQ(tree->FindItem(QStringLiteral("Orders"), TRUE, TRUE, TRUE, FALSE, root), old);
    EXPECT_EQ(tree->FindItem(QStringLiteral("order"), FALSE, TRUE, TRUE, FALSE, root), nullptr);  // order_items: '_' joins words
    EXPECT_EQ(tree->FindItem(QStringLiteral("orders"), FALSE, TRUE, FALSE, FALSE, old), nullptr);
    EXPECT_EQ(tree->FindItem(QStringLiteral("orders"), FALSE, TRUE, FALSE, TRUE, old), orders);
    EXPECT_EQ(tree->FindItem(QStringLiteral("orders"), FALSE, FALSE, FALSE, FALSE, old), orders);
    EXPECT_EQ(tree->FindItem(QStringLiteral("nothing"), FALSE, TRUE, FALSE, TRUE, nullptr), nullptr);
    EXPECT_EQ(tree->FindItem(QString(), FALSE, TRUE, FALSE, TRUE, nullptr), nullptr);
}

}  // namespace
