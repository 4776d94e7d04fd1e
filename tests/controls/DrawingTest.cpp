#include "TreeFixture.h"

#include <QPainter>

namespace {

class StripTest : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override { CUxThemeLoader::SetThemeActive(true); }
};

bool SameImage(const QImage& a, const QImage& b) { return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32); }

bool AllPixels(const QImage& image, QRgb rgb) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != rgb) return false;
    return true;
}

TEST_P(StripTest, CellsFollowTheStateImageIndex) {
    const bool themed = GetParam();
    CUxThemeLoader::SetThemeActive(themed);
    QWidget styleSource;
    CImageList list;
    const COLORREF background = RGB(250, 250, 240);
    ASSERT_TRUE(CCheckTreeCtrl::CreateCheckboxImages(16, &styleSource, &list, background));
    ASSERT_EQ(list.GetImageCount(), 17);
    EXPECT_EQ(list.GetWidth(), 16);

    for (int unused : {0, 4, 8, 12, 16}) {
        SCOPED_TRACE(unused);
        EXPECT_TRUE(AllPixels(list.GetImage(unused), qRgb(250, 250, 240)));
    }
    // Unchecked, checked and mixed differ; disabled differs from enabled.
    EXPECT_FALSE(SameImage(list.GetImage(1), list.GetImage(2)));
    EXPECT_FALSE(SameImage(list.GetImage(2), list.GetImage(3)));
    EXPECT_FALSE(SameImage(list.GetImage(1), list.GetImage(3)));
    EXPECT_FALSE(SameImage(list.GetImage(2), list.GetImage(6)));
    // Disabled hot cells equal the disabled ones in both looks.
    for (int cell : {5, 6, 7}) EXPECT_TRUE(SameImage(list.GetImage(cell), list.GetImage(cell + 8)));
    if (!themed) {
        for (int cell : {1, 2, 3}) EXPECT_TRUE(SameImage(list.GetImage(cell), list.GetImage(cell + 8)));
    }
    // The box sits one pixel in from every edge of its cell.
    const QImage checked = list.GetImage(2);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(checked.pixel(i, 0), qRgb(250, 250, 240));
        EXPECT_EQ(checked.pixel(0, i), qRgb(250, 250, 240));
        EXPECT_EQ(checked.pixel(15, i), qRgb(250, 250, 240));
    }
}

INSTANTIATE_TEST_SUITE_P(Looks, StripTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Themed" : "Classic"; });

TEST(Strip, RefusesNoStyleSourceAndEmptySize) {
    QWidget source;
    CImageList list;
    EXPECT_FALSE(CCheckTreeCtrl::CreateCheckboxImages(16, nullptr, &list, 0));
    EXPECT_FALSE(CCheckTreeCtrl::CreateCheckboxImages(0, &source, &list, 0));
}

class RowDrawingTest : public TreeTest {};

TEST_F(RowDrawingTest, CaretTextIsHighlightedOnlyBehindTheText) {
    HTREEITEM root = Add(u"MYSQL database");
    HTREEITEM other = Add(u"other");
    tree->SelectItem(root);
    Paint();
    const QImage shot = tree->viewport()->grab().toImage();
    QRect label;
    ASSERT_TRUE(tree->GetItemRect(root, &label, TRUE));
    const int textRight = Data(root)->drawInfo.nTextRight;
    ASSERT_GT(textRight, label.left());
    const int y = label.center().y();
    const QColor highlight = tree->palette().color(QPalette::Active, QPalette::Highlight);
    bool sawHighlight = false;
    for (int x = label.left(); x < textRight; ++x) sawHighlight |= QColor(shot.pixel(x, y)) == highlight;
    EXPECT_TRUE(sawHighlight);
    EXPECT_EQ(QColor(shot.pixel(textRight + 5, y)), ToQColor(tree->m_crBackground));
    // The other row has no highlight at all.
    QRect otherLabel;
    ASSERT_TRUE(tree->GetItemRect(other, &otherLabel, TRUE));
    for (int x = otherLabel.left(); x < Data(other)->drawInfo.nTextRight; ++x)
        ASSERT_NE(QColor(shot.pixel(x, otherLabel.center().y())), highlight);
}

TEST_F(RowDrawingTest, WithoutImagesTheTextMovesLeftByOneImageWidth) {
    CImageList icons;
    icons.Create(16, 16, ILC_COLOR32, 0, 0);
    QImage strip(16, 16, QImage::Format_ARGB32);
    strip.fill(Qt::red);
    icons.Add(strip);
    tree->SetImageList(&icons, TVSIL_NORMAL);
    HTREEITEM with = Add(u"with image");
    tree->m_bImages = FALSE;
    HTREEITEM without = Add(u"without image");
    Paint();
    EXPECT_EQ(tree->GetImageShift(with), 16);
    EXPECT_EQ(tree->GetImageShift(without), -16);
    QRect a, b;
    tree->GetItemRect(with, &a, TRUE);
    tree->GetItemRect(without, &b, TRUE);
    EXPECT_EQ(a.left(), b.left());  // the view keeps the slot
    const int widthWith = Data(with)->drawInfo.nTextRight - a.left();
    const int widthWithout = Data(without)->drawInfo.nTextRight - (b.left() - 16);
    EXPECT_GT(widthWith, 0);
    EXPECT_GT(widthWithout, 0);  // drawn from one image further left
    tree->SetImageList(nullptr, TVSIL_NORMAL);
}

TEST_F(RowDrawingTest, NamesThatLookLikeMarkupAreDrawnAndTippedAsText) {
    HTREEITEM item = Add(u"<b>x</b>");
    Paint();
    QFontMetrics metrics(tree->font());
    QRect label;
    tree->GetItemRect(item, &label, TRUE);
    // Drawn width is the width of the eight characters, not of a bold "x".
    EXPECT_EQ(Data(item)->drawInfo.nTextRight - label.left(), metrics.horizontalAdvance(QStringLiteral("<b>x</b>")) + 4);
    const QString shown = CToolTipCtrl::FormatTip(QStringLiteral("<b>x</b>"), 200);
    EXPECT_TRUE(shown.contains(QStringLiteral("&lt;b&gt;x&lt;/b&gt;")));
    EXPECT_FALSE(shown.contains(QStringLiteral("<b>")));
}

}  // namespace

namespace {

class ColourTest : public TreeTest {
protected:
    void TearDown() override {
        QApplication::setPalette(saved);
        TreeTest::TearDown();
    }
    QPalette saved = QApplication::palette();
};

TEST_F(ColourTest, SystemColourChangeRecoloursRowsButNotTheStrip) {
    const QImage stripBefore = tree->m_CheckBoxImages.GetImage(0);
    QPalette changed = saved;
    changed.setColor(QPalette::Base, QColor(255, 255, 200));
    QApplication::setPalette(changed);
    Pump();
    EXPECT_EQ(tree->m_crBackground, RGB(255, 255, 200));
    EXPECT_EQ(tree->m_CheckBoxImages.GetImage(0), stripBefore);
    HTREEITEM item = Add(u"orders");
    Paint();
    QRect row;
    ASSERT_TRUE(tree->GetItemRect(item, &row, FALSE));
    const QImage shot = tree->viewport()->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(row.right() - 2, row.center().y())), QColor(255, 255, 200));
}

TEST_F(RowDrawingTest, ItemWithoutRecordShowsAnEmptyTextArea) {
    TVINSERTSTRUCT bare;
    bare.item.mask = TVIF_TEXT;
    bare.item.pszText = u"WWWWWWWW";
    HTREEITEM item = tree->CTreeCtrl::InsertItem(&bare);
    Paint();
    QRect label;
    ASSERT_TRUE(tree->GetItemRect(item, &label, TRUE));
    const QImage shot = tree->viewport()->grab().toImage();
    for (int x = label.left(); x <= label.right(); ++x)
        for (int y = label.top(); y <= label.bottom(); ++y)
            ASSERT_EQ(QColor(shot.pixel(x, y)), ToQColor(tree->m_crBackground)) << x << "," << y;
}

TEST_F(TreeTest, InitializeStartsOverWithCheckBoxesAndTips) {
    HTREEITEM root = Add(u"root");
    Add(u"child", root);
    tree->SetCheck(root, TRUE);
    tree->Initialize();
    EXPECT_EQ(tree->GetCount(), 0u);
    EXPECT_TRUE(tree->m_DataMap.empty());
    EXPECT_FALSE(tree->m_bPropagateCheck);
    EXPECT_TRUE(tree->m_bCheckBoxes);
    EXPECT_TRUE(tree->m_bToolTips);
    ASSERT_NE(tree->m_pToolTip, nullptr);
    EXPECT_EQ(tree->m_CheckBoxImages.GetImageCount(), 17);
    EXPECT_EQ(tree->GetImageList(TVSIL_STATE), &tree->m_CheckBoxImages);
    // Without propagation a parent's box is its own.
    HTREEITEM parent = Add(u"parent");
    HTREEITEM child = Add(u"child", parent);
    tree->SetCheck(child, TRUE);
    EXPECT_FALSE(tree->GetCheck(parent));
    EXPECT_EQ(Image(parent), 1);
}

}  // namespace
