#include "TreeFixture.h"

#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

class InputTest : public TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        icons.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 0);
        QImage strip(32, 16, QImage::Format_ARGB32);
        strip.fill(Qt::darkYellow);
        icons.Add(strip);
        tree->SetImageList(&icons, TVSIL_NORMAL);
        root = Add(u"MYSQL database");
        db = Add(u"shop", root);
        tables = Add(u"Tables", db);
        table = Add(u"orders", tables);
        tree->Expand(root, TVE_EXPAND);
        tree->Expand(db, TVE_EXPAND);
        tree->Expand(tables, TVE_EXPAND);
        pane.received.clear();
        Paint();
    }

    QRect Label(HTREEITEM item) {
        QRect r;
        EXPECT_TRUE(tree->GetItemRect(item, &r, TRUE));
        return r;
    }
    // Regions of a row, from the label back towards the indentation.
    QPoint OnLabel(HTREEITEM item) { return QPoint(Label(item).left() + 6, Label(item).center().y()); }
    QPoint OnIcon(HTREEITEM item) { return QPoint(Label(item).left() - 9, Label(item).center().y()); }
    QPoint OnCheckBox(HTREEITEM item) { return QPoint(Label(item).left() - 25, Label(item).center().y()); }
    QPoint OnButton(HTREEITEM item) { return QPoint(Label(item).left() - 43, Label(item).center().y()); }
    QPoint RightOf(HTREEITEM item) { return QPoint(Label(item).right() + 20, Label(item).center().y()); }
    QPoint BelowLast() { return QPoint(50, Label(table).bottom() + 30); }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton, QEvent::Type type = QEvent::MouseButtonPress) {
        QMouseEvent event(type, QPointF(at), QPointF(tree->viewport()->mapToGlobal(at)), button, button, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &event);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(tree->viewport()->mapToGlobal(at)), button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &release);
    }
    void Key(int key, const QString& text = QString()) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(tree, &event);
    }
    QString Tip(QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &help);
        return tree->m_pToolTip->GetLastText();
    }

    CImageList icons;
    HTREEITEM root = nullptr, db = nullptr, tables = nullptr, table = nullptr;
};

TEST_F(InputTest, HitTestNamesTheRegionOfTheRow) {
    struct Case {
        const char* name;
        QPoint point;
        HTREEITEM item;
        UINT flags;
    };
    const Case cases[] = {
        {"label", OnLabel(table), table, TVHT_ONITEMLABEL},
        {"icon", OnIcon(table), table, TVHT_ONITEMICON},
        {"check box", OnCheckBox(table), table, TVHT_ONITEMSTATEICON},
        {"button of a parent", OnButton(tables), tables, TVHT_ONITEMBUTTON},
        {"indent of a leaf", OnButton(table), table, TVHT_ONITEMINDENT},
        {"right of the label", RightOf(table), table, TVHT_ONITEMRIGHT},
        {"below the last row", BelowLast(), nullptr, TVHT_NOWHERE},
        {"left of the client area", QPoint(-5, 5), nullptr, TVHT_TOLEFT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UINT flags = 0;
        EXPECT_EQ(tree->HitTest(c.point, &flags), c.item);
        EXPECT_EQ(flags, c.flags);
    }
}

TEST_F(InputTest, ClickOnLabelSelectsAndNotifiesTheFrameOnce) {
    std::vector<HTREEITEM> caretWhenNotified;
    frame.onMessage = [&](const Received&) { caretWhenNotified.push_back(tree->GetSelectedItem()); };
    Press(OnLabel(table));
    ASSERT_EQ(frame.Count(WM_TREE_ITEM_CLICKED), 1);
    EXPECT_EQ(frame.Last(WM_TREE_ITEM_CLICKED)->wParam, TVHT_ONITEMLABEL);
    EXPECT_EQ(frame.Last(WM_TREE_ITEM_CLICKED)->lParam, reinterpret_cast<LPARAM>(table));
    EXPECT_EQ(caretWhenNotified, std::vector<HTREEITEM>{table});  // the selection moved first
    EXPECT_EQ(tree->GetDropHilightItem(), table);
    EXPECT_TRUE(tree->GetItemState(table, TVIS_SELECTED));
}

TEST_F(InputTest, ClicksAnywhereButTheLabelNotifyNothing) {
    struct Case {
        const char* name;
        QPoint point;
    };
    const Case cases[] = {
        {"icon", OnIcon(table)},
        {"button", OnButton(tables)},
        {"indent", OnButton(table)},
        {"right of the label", RightOf(table)},
        {"below the last row", BelowLast()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Press(c.point);
        EXPECT_EQ(frame.Count(WM_TREE_ITEM_CLICKED), 0);
    }
}

TEST_F(InputTest, ClickBelowTheRowsClearsTheDropHighlightAndKeepsTheCaret) {
    Press(OnLabel(db));
    Press(BelowLast());
    EXPECT_EQ(tree->GetDropHilightItem(), nullptr);
    EXPECT_EQ(tree->GetSelectedItem(), db);
}

TEST_F(InputTest, ClickOnCheckBoxTogglesSelectsAndShowsTheHotCell) {
    Press(OnCheckBox(tables));
    EXPECT_TRUE(tree->GetCheck(tables));
    EXPECT_TRUE(tree->GetCheck(table));  // propagated
    EXPECT_EQ(tree->GetSelectedItem(), tables);
    EXPECT_EQ(tree->m_hHotItem, tables);
    EXPECT_EQ(tree->GetItemState(tables, TVIS_STATEIMAGEMASK) >> 12, 2u + 8u);
    EXPECT_EQ(frame.Count(WM_TREE_ITEM_CLICKED), 0);
    EXPECT_EQ(pane.Count(WM_CHECKTREE_CHECKBOX_CLICKED), 1);

    tree->m_bReadOnly = TRUE;
    Press(OnCheckBox(tables));
    EXPECT_TRUE(tree->GetCheck(tables));
}

TEST_F(InputTest, ClickActsOnTheRowUnderTheEventNotUnderTheCursor) {
    Add(u"customers", tables);
    Paint();
    // The pointer has moved on to another row by the time the press is handled.
    QCursor::setPos(tree->viewport()->mapToGlobal(OnCheckBox(root)));
    Press(OnCheckBox(table));
    EXPECT_TRUE(tree->GetCheck(table));
    EXPECT_FALSE(tree->GetCheck(db));
    EXPECT_EQ(Image(root), 3);
}

TEST_F(InputTest, DoubleClickOnAParentKeepsTheBookkeepingAndToggles) {
    Press(OnLabel(tables), Qt::LeftButton, QEvent::MouseButtonDblClick);
    EXPECT_FALSE(tree->GetItemState(tables, TVIS_EXPANDED));
    EXPECT_FALSE(Data(tables)->bExpanded);
    EXPECT_EQ(pane.Last(WM_CHECKTREE_ITEM_EXPANDED)->lParam, 0);
    Press(OnLabel(tables), Qt::LeftButton, QEvent::MouseButtonDblClick);
    EXPECT_TRUE(tree->GetItemState(tables, TVIS_EXPANDED));
    EXPECT_EQ(pane.Last(WM_CHECKTREE_ITEM_EXPANDED)->lParam, 1);
}

TEST_F(InputTest, RightClickSelectsWithoutNotifyingAndDoesNothingInAnEmptyTree) {
    Press(OnLabel(db), Qt::RightButton);
    EXPECT_EQ(tree->GetSelectedItem(), db);
    EXPECT_EQ(tree->GetDropHilightItem(), db);
    EXPECT_TRUE(frame.received.empty());

    tree->DeleteAllItems();
    frame.received.clear();
    pane.received.clear();
    Press(QPoint(20, 5), Qt::RightButton);
    EXPECT_TRUE(frame.received.empty());
    EXPECT_TRUE(pane.received.empty());
}

TEST_F(InputTest, SpaceTogglesTheCaretItemAndIsSwallowedWithoutOne) {
    Key(Qt::Key_Space, QStringLiteral(" "));  // no caret yet
    EXPECT_EQ(pane.Count(WM_CHECKTREE_CHECKBOX_CLICKED), 0);
    tree->SelectItem(table);
    Key(Qt::Key_Space, QStringLiteral(" "));
    EXPECT_TRUE(tree->GetCheck(table));
    EXPECT_EQ(Image(db), 2);
    Key(Qt::Key_Space, QStringLiteral(" "));
    EXPECT_FALSE(tree->GetCheck(table));
}

TEST_F(InputTest, RightExpandsThroughTheControlOnceThenLeavesTheKeyToTheView) {
    tree->Expand(tables, TVE_COLLAPSE);
    tree->SelectItem(tables);
    pane.received.clear();
    Key(Qt::Key_Right);
    EXPECT_TRUE(tree->GetItemState(tables, TVIS_EXPANDED));
    ASSERT_EQ(pane.Count(WM_CHECKTREE_ITEM_EXPANDED), 1);
    EXPECT_EQ(pane.Last(WM_CHECKTREE_ITEM_EXPANDED)->lParam, 1);
    Key(Qt::Key_Right);  // the view moves into the branch
    EXPECT_EQ(pane.Count(WM_CHECKTREE_ITEM_EXPANDED), 1);
    EXPECT_EQ(tree->GetSelectedItem(), table);
    tree->SelectItem(tables);
    Key(Qt::Key_Left);
    EXPECT_FALSE(tree->GetItemState(tables, TVIS_EXPANDED));
    EXPECT_EQ(pane.Last(WM_CHECKTREE_ITEM_EXPANDED)->lParam, 0);
}

TEST_F(InputTest, UpAndDownStepOverDisabledItems) {
    Data(db)->bEnabled = FALSE;
    tree->SelectItem(root);
    Key(Qt::Key_Down);
    EXPECT_EQ(tree->GetSelectedItem(), tables);
    Key(Qt::Key_Up);
    EXPECT_EQ(tree->GetSelectedItem(), root);
}

TEST_F(InputTest, NumpadKeysExpandAndCollapseTheCaretBranch) {
    tree->Expand(root, TVE_COLLAPSE);
    tree->Expand(db, TVE_COLLAPSE);
    tree->Expand(tables, TVE_COLLAPSE);
    tree->SelectItem(root);
    Key(Qt::Key_Asterisk, QStringLiteral("*"));
    for (HTREEITEM item : {root, db, tables}) EXPECT_TRUE(Data(item)->bExpanded && tree->GetItemState(item, TVIS_EXPANDED));
    Key(Qt::Key_Minus, QStringLiteral("-"));
    EXPECT_FALSE(tree->GetItemState(root, TVIS_EXPANDED));
    Key(Qt::Key_Plus, QStringLiteral("+"));
    EXPECT_TRUE(tree->GetItemState(root, TVIS_EXPANDED));
}

TEST_F(InputTest, TipShowsOnlyForCutTextAndAtMost78Characters) {
    const std::u16string longName = u"sales_by_region_and_quarter_" + std::u16string(90, u'x');
    HTREEITEM wide = Add(longName.c_str(), tables);
    Paint();
    QString text;
    EXPECT_FALSE(tree->GetToolTipText(OnLabel(table), text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(Tip(OnLabel(table)), QString());

    ASSERT_TRUE(tree->GetToolTipText(OnLabel(wide), text));
    EXPECT_EQ(text, QString::fromStdU16String(longName));
    EXPECT_EQ(Tip(OnLabel(wide)), QString::fromStdU16String(longName.substr(0, 78)));
    EXPECT_EQ(Tip(RightOf(table)), QString());  // not on the item
}

TEST_F(InputTest, TipIsForTheRowUnderTheEventNotUnderTheCursor) {
    const std::u16string longName(120, u'w');
    HTREEITEM wide = Add(longName.c_str(), tables);
    Paint();
    QCursor::setPos(tree->viewport()->mapToGlobal(OnLabel(root)));
    EXPECT_EQ(Tip(OnLabel(wide)).size(), 78);
}

TEST_F(InputTest, ParentThatAnswersTheTipMessageSuppressesTheTip) {
    HTREEITEM wide = Add(std::u16string(120, u'w').c_str(), tables);
    Paint();
    pane.answer = 1;
    EXPECT_EQ(Tip(OnLabel(wide)), QString());
    EXPECT_EQ(pane.Last(WM_CHECKTREE_DISPLAY_TOOLTIP)->value, reinterpret_cast<std::uintptr_t>(wide));
}

TEST(TipText, IsCutAt78UnitsNeverInsideASurrogatePair) {
    const QString clef = QString::fromUtf16(u"\U0001D11E");  // two UTF-16 units
    struct Case {
        const char* name;
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {"short", QStringLiteral("orders"), QStringLiteral("orders")},
        {"exactly 78", QString(78, QChar(u'a')), QString(78, QChar(u'a'))},
        {"long ASCII", QString(100, QChar(u'a')), QString(78, QChar(u'a'))},
        {"pair across the cut", QString(77, QChar(u'a')) + clef + QStringLiteral("tail"), QString(77, QChar(u'a'))},
        {"pair before the cut", QString(76, QChar(u'a')) + clef + QStringLiteral("tail"), QString(76, QChar(u'a')) + clef},
        {"all pairs", clef.repeated(60), clef.repeated(39)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CCheckTreeCtrl::CutTipText(c.text), c.expected);
    }
}

TEST_F(InputTest, ToolsCoverTheRowsAfterAResizeAndNoneForAnEmptyTree) {
    tree->resize(300, 18 * 5 + 4);
    Paint();
    EXPECT_EQ(tree->m_nToolCount, static_cast<int>(tree->GetVisibleCount()));
    EXPECT_EQ(tree->m_pToolTip->GetToolCount(), tree->m_nToolCount);
    EXPECT_GE(pane.Count(WM_CHECKTREE_INIT_TOOLTIP), 1);

    tree->DeleteAllItems();
    tree->resize(300, 200);
    Paint();
    tree->ResetToolTipTools();
    EXPECT_EQ(tree->m_nToolCount, 0);
    EXPECT_EQ(tree->m_pToolTip->GetToolCount(), 0);
}

TEST_F(InputTest, DeletingAllItemsForgetsEveryHandleAndTellsTheFrame) {
    Press(OnCheckBox(table));
    Press(OnLabel(tables));
    ASSERT_EQ(tree->m_hHotItem, table);
    ASSERT_EQ(tree->m_hLastSelected, tables);
    frame.received.clear();

    EXPECT_TRUE(tree->DeleteAllItems());
    EXPECT_EQ(tree->m_hHotItem, nullptr);
    EXPECT_EQ(tree->m_hLastSelected, nullptr);
    EXPECT_EQ(tree->GetSelectedItem(), nullptr);
    EXPECT_EQ(tree->GetDropHilightItem(), nullptr);
    EXPECT_TRUE(tree->m_DataMap.empty());
    EXPECT_EQ(frame.Count(WM_TREE_ITEMS_DELETED), 1);

    // A new scan's first rows: a click lands on them, never on what was there before.
    HTREEITEM fresh = Add(u"MYSQL database");
    Paint();
    frame.received.clear();
    Press(OnLabel(fresh));
    ASSERT_EQ(frame.Count(WM_TREE_ITEM_CLICKED), 1);
    EXPECT_EQ(frame.Last(WM_TREE_ITEM_CLICKED)->lParam, reinterpret_cast<LPARAM>(fresh));
    Press(QPoint(50, Label(fresh).bottom() + 30));
    EXPECT_EQ(frame.Count(WM_TREE_ITEM_CLICKED), 1);
}

TEST_F(InputTest, DeletingAnEmptyTreeSucceeds) {
    tree->DeleteAllItems();
    EXPECT_TRUE(tree->DeleteAllItems());
    EXPECT_TRUE(tree->m_DataMap.empty());
    EXPECT_EQ(tree->GetCount(), 0u);
}

}  // namespace
