#include "controls/SplashWnd.h"

#include "TreeFixture.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>

namespace {

constexpr QRgb kKey = 0xFFFF00FF;

QImage Filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

std::vector<QRect> Rects(const QRegion& region) { return std::vector<QRect>(region.begin(), region.end()); }

TEST(SplashRegion, KeyColouredPixelsAreOutsideTheWindow) {
    QImage corners = Filled(6, 4, qRgb(10, 20, 30));
    for (QPoint p : {QPoint(0, 0), QPoint(5, 0), QPoint(0, 3), QPoint(5, 3)}) corners.setPixel(p, kKey);
    const QRegion shaped = CSplashWnd::CreateRgnFromBitmap(corners, RGB(255, 0, 255));
    for (QPoint p : {QPoint(0, 0), QPoint(5, 0), QPoint(0, 3), QPoint(5, 3)}) EXPECT_FALSE(shaped.contains(p));
    EXPECT_TRUE(shaped.contains(QPoint(1, 0)));
    EXPECT_TRUE(shaped.contains(QPoint(0, 1)));
    EXPECT_TRUE(shaped.contains(QPoint(5, 2)));
    EXPECT_EQ(shaped.boundingRect(), QRect(0, 0, 6, 4));

    const QRegion plain = CSplashWnd::CreateRgnFromBitmap(Filled(6, 4, qRgb(1, 2, 3)), RGB(255, 0, 255));
    EXPECT_EQ(plain, QRegion(0, 0, 6, 4));
    // A colour one step off the key is part of the window.
    EXPECT_EQ(CSplashWnd::CreateRgnFromBitmap(Filled(3, 2, qRgb(255, 0, 254)), RGB(255, 0, 255)), QRegion(0, 0, 3, 2));
    EXPECT_TRUE(CSplashWnd::CreateRgnFromBitmap(Filled(3, 2, kKey), RGB(255, 0, 255)).isEmpty());
    EXPECT_TRUE(CSplashWnd::CreateRgnFromBitmap(QImage(), RGB(255, 0, 255)).isEmpty());
}

TEST(SplashRegion, RunsEndAtTheRowEndAndSinglePixelsCount) {
    QImage image = Filled(8, 2, kKey);
    for (int x = 3; x < 8; ++x) image.setPixel(x, 0, qRgb(0, 0, 0));  // run to the right edge
    image.setPixel(7, 1, qRgb(0, 0, 0));                             // lone pixel, last column
    const QRegion region = CSplashWnd::CreateRgnFromBitmap(image, RGB(255, 0, 255));
    EXPECT_EQ(Rects(region), (std::vector<QRect>{QRect(3, 0, 5, 1), QRect(7, 1, 1, 1)}));
}

TEST(Splash, CreateSetsTheProgramsStyleAndTheResourcePictureShapesIt) {
    auto* splash = new CSplashWnd;
    ASSERT_TRUE(splash->Create(nullptr));
    EXPECT_EQ(splash->m_dwStyle, 15u);
    EXPECT_EQ(splash->m_nTimeout, 2000u);
    ASSERT_TRUE(splash->SetBitmap());
    EXPECT_GT(splash->m_nBitmapWidth, 0);
    EXPECT_EQ(splash->m_rcText, QRect(0, 0, splash->m_nBitmapWidth, splash->m_nBitmapHeight));
    // The picture's corners are key-coloured: the window has round corners.
    EXPECT_FALSE(splash->m_hRegion.contains(QPoint(0, 0)));
    EXPECT_TRUE(splash->m_hRegion.contains(QPoint(splash->m_nBitmapWidth / 2, splash->m_nBitmapHeight / 2)));
    EXPECT_EQ(splash->mask(), splash->m_hRegion);
    // Centred on the screen, also when centring on the owner is asked for as well.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(splash->m_nX, screen.left() + (screen.width() - splash->m_nBitmapWidth) / 2);
    splash->m_dwStyle |= SPLASH_CENTER_PARENT;
    splash->SetBitmap();
    EXPECT_EQ(splash->m_nY, screen.top() + (screen.height() - splash->m_nBitmapHeight) / 2);
    delete splash;
}

TEST(Splash, NoPictureLeavesNoShape) {
    auto* splash = new CSplashWnd;
    splash->Create(nullptr);
    EXPECT_FALSE(splash->SetBitmap(QImage()));
    EXPECT_TRUE(splash->m_hRegion.isEmpty());
    EXPECT_EQ(splash->m_nBitmapWidth, 0);
    delete splash;
}

TEST(Splash, GoesAndDeletesItselfAfterItsTime) {
    RecordingWnd frame;
    QPointer<CSplashWnd> splash = new CSplashWnd;
    splash->Create(&frame);
    splash->SetBitmap();
    splash->SetText(CString(u"v22.08"));
    splash->m_nTimeout = 60;
    splash->Show();
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(splash->m_nBitmapWidth, splash->m_nBitmapHeight));
    Pump(20);
    EXPECT_FALSE(splash.isNull());
    EXPECT_TRUE(WaitUntil([&] { return splash.isNull(); }, 3000));
}

TEST(Splash, WithoutTimeoutItStaysUntilInputWhenAskedTo) {
    QPointer<CSplashWnd> splash = new CSplashWnd;
    splash->Create(nullptr);
    splash->SetBitmap();
    splash->m_nTimeout = 0;
    splash->m_dwStyle |= SPLASH_HIDE_ON_INPUT;
    splash->Show();
    Pump(150);
    ASSERT_FALSE(splash.isNull());
    EXPECT_TRUE(splash->isVisible());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(splash, &key);
    EXPECT_TRUE(WaitUntil([&] { return splash.isNull(); }, 3000));
}

TEST(Splash, InputIsIgnoredWithoutTheFlag) {
    QPointer<CSplashWnd> splash = new CSplashWnd;
    splash->Create(nullptr);
    splash->SetBitmap();
    splash->m_nTimeout = 0;
    splash->m_dwStyle &= ~SPLASH_HIDE_ON_INPUT;
    splash->Show();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(splash, &key);
    Pump(50);
    ASSERT_FALSE(splash.isNull());
    delete splash.data();
}

TEST(Splash, GoesWithItsOwnerWhenTheOwnerGoesFirst) {
    auto* frame = new RecordingWnd;
    QPointer<CSplashWnd> splash = new CSplashWnd;
    splash->Create(frame);
    splash->SetBitmap();
    splash->Show();
    delete frame;
    EXPECT_TRUE(splash.isNull());
}

}  // namespace
