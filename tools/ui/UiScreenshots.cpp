// Writes pictures of the window controls into a folder: the check-box strips in both looks,
// a scan-like tree with mixed checks in both looks, and the splash window.
// Usage: ui-screenshots <folder>   (any Qt platform: offscreen or a display server)
#include "controls/CheckTreeCtrl.h"
#include "controls/SplashWnd.h"

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace {
QString g_folder;
int g_failures = 0;

void Save(const QImage& image, const QString& name) {
    const QString path = QDir(g_folder).filePath(name);
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), image.width(), image.height());
}

void Pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    do QApplication::processEvents(QEventLoop::AllEvents, 10);
    while (clock.elapsed() < ms);
}

// The 17 cells, enlarged without smoothing and laid on a grid so each pixel can be seen.
QImage StripPicture(bool themed) {
    CUxThemeLoader::SetThemeActive(themed);
    QWidget source;
    CImageList list;
    CCheckTreeCtrl::CreateCheckboxImages(16, &source, &list, FromQColor(source.palette().color(QPalette::Base)));
    constexpr int kScale = 4;
    QImage picture(17 * 16 * kScale + 16, 16 * kScale + 22, QImage::Format_ARGB32);
    picture.fill(QColor(0x60, 0x60, 0x60));
    QPainter p(&picture);
    p.setPen(Qt::white);
    for (int cell = 0; cell < list.GetImageCount(); ++cell) {
        const QImage image = list.GetImage(cell).scaled(16 * kScale, 16 * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const int x = cell * (16 * kScale + 1);
        p.fillRect(x, 0, 16 * kScale, 16 * kScale, Qt::magenta);  // transparent pixels show as magenta
        p.drawImage(x, 0, image);
        p.drawText(QRect(x, 16 * kScale, 16 * kScale, 22), Qt::AlignCenter, QString::number(cell));
    }
    return picture;
}

// 16 by 16 images of our own: database, folder, key, view, trigger file.
CImageList* TreeIcons() {
    QImage strip(5 * 16, 16, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    // 0: database cylinder
    p.setPen(QColor(0x2a, 0x4d, 0x7a));
    p.setBrush(QColor(0x8d, 0xb6, 0xe3));
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 3, 3);
    p.drawLine(QPointF(2.5, 6.5), QPointF(13.5, 6.5));
    // 1: folder
    p.setPen(QColor(0x9a, 0x72, 0x18));
    p.setBrush(QColor(0xf2, 0xc9, 0x4c));
    QPainterPath folder;
    folder.moveTo(16 + 1.5, 4.5);
    folder.lineTo(16 + 6.5, 4.5);
    folder.lineTo(16 + 8, 6);
    folder.lineTo(16 + 14.5, 6);
    folder.lineTo(16 + 14.5, 13.5);
    folder.lineTo(16 + 1.5, 13.5);
    folder.closeSubpath();
    p.drawPath(folder);
    // 2: key
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1.6));
    p.setBrush(QColor(0xe8, 0xc0, 0x30));
    p.drawEllipse(QPointF(32 + 5, 8), 3, 3);
    p.drawLine(QPointF(32 + 8, 8), QPointF(32 + 14, 8));
    p.drawLine(QPointF(32 + 12, 8), QPointF(32 + 12, 11));
    // 3: view (a window with a lens)
    p.setPen(QColor(0x30, 0x60, 0x30));
    p.setBrush(QColor(0xb8, 0xe0, 0xb0));
    p.drawRect(QRectF(48 + 2.5, 3.5, 11, 9));
    p.drawEllipse(QPointF(48 + 8, 8), 2, 2);
    // 4: trigger (a bolt)
    p.setPen(QColor(0x90, 0x30, 0x10));
    p.setBrush(QColor(0xf0, 0x80, 0x40));
    QPolygonF bolt;
    bolt << QPointF(64 + 9, 1.5) << QPointF(64 + 3.5, 9) << QPointF(64 + 7.5, 9) << QPointF(64 + 6, 14.5)
         << QPointF(64 + 12.5, 6.5) << QPointF(64 + 8.5, 6.5);
    p.drawPolygon(bolt);
    p.end();
    auto* list = new CImageList;
    list->Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0);
    list->Add(strip);
    return list;
}

QImage TreePicture(bool themed, CImageList* icons) {
    CUxThemeLoader::SetThemeActive(themed);
    QWidget pane;
    pane.resize(300, 430);
    auto* tree = new CCheckTreeCtrl(&pane);
    tree->setGeometry(0, 0, 300, 430);
    tree->SetImageList(icons, TVSIL_NORMAL);
    tree->Initialize();
    tree->m_bPropagateCheck = TRUE;
    auto add = [&](const char16_t* text, int image, HTREEITEM parent) { return tree->InsertItemText(text, image, image, parent); };
    HTREEITEM root = add(u"MYSQL database", 0, TVI_ROOT);
    HTREEITEM shop = add(u"shop", 1, root);
    HTREEITEM tables = add(u"Tables", 1, shop);
    HTREEITEM orders = add(u"orders", 0, tables);
    add(u"Keys", 2, orders);
    HTREEITEM customers = add(u"customers", 0, tables);
    add(u"Keys", 2, customers);
    HTREEITEM longName = add(u"sales_by_region_and_quarter_archive_2019", 0, tables);
    add(u"Keys", 2, longName);
    HTREEITEM markup = add(u"<b>not bold</b>", 0, tables);
    add(u"Keys", 2, markup);
    HTREEITEM views = add(u"Views", 1, shop);
    HTREEITEM v1 = add(u"v_open_orders", 3, views);
    add(u"v_top_customers", 3, views);
    HTREEITEM triggers = add(u"Trigger", 1, shop);
    add(u"orders.TRG", 4, triggers);
    HTREEITEM crm = add(u"crm", 1, root);
    HTREEITEM crmTables = add(u"Tables", 1, crm);
    HTREEITEM contacts = add(u"contacts", 0, crmTables);
    add(u"Keys", 2, contacts);
    HTREEITEM notes = add(u"notes", 0, crmTables);
    add(u"Keys", 2, notes);
    HTREEITEM empty = add(u"empty_db", 1, root);
    add(u"Tables", 1, empty);
    for (HTREEITEM item : {root, shop, tables, orders, views, triggers, crm, crmTables}) tree->Expand(item, TVE_EXPAND);
    tree->SetCheck(orders, TRUE);     // Tables and shop become mixed
    tree->SetCheck(views, TRUE);      // a fully checked branch
    tree->SetCheck(crmTables, TRUE);  // crm fully checked
    tree->SelectItem(customers);      // the caret on a table
    (void)v1;
    pane.show();
    Pump(50);
    return pane.grab().toImage();
}

// The splash as the window shows it: the picture within its shape, the rest transparent.
QImage SplashPicture() {
    auto* splash = new CSplashWnd;
    splash->Create(nullptr);
    splash->SetBitmap();
    splash->SetText(CString(u"v22.08"));
    QImage picture(splash->m_nBitmapWidth, splash->m_nBitmapHeight, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setClipRegion(splash->m_hRegion);
        splash->DrawWindow(&p);
    }
    delete splash;
    return picture;
}

// On a real display: the shaped window over a known background, from the screen itself.
QImage SplashOnScreen() {
    QWidget backdrop;
    backdrop.setWindowFlags(Qt::FramelessWindowHint);
    backdrop.setStyleSheet(QStringLiteral("background: #3c8c3c"));
    QScreen* screen = QGuiApplication::primaryScreen();
    backdrop.setGeometry(screen->geometry());
    backdrop.show();
    Pump(300);
    auto* splash = new CSplashWnd;
    splash->Create(nullptr);
    splash->SetBitmap();
    splash->SetText(CString(u"v22.08"));
    std::printf("splash on %s: %s\n", qPrintable(QGuiApplication::platformName()),
                splash->m_bCanFade ? "fades (the desktop composites)" : "no fading (no compositing)");
    splash->Show();
    Pump(900);  // past the fade-in, before the 2000 ms are up
    const QRect area(splash->m_nX - 20, splash->m_nY - 20, splash->m_nBitmapWidth + 40, splash->m_nBitmapHeight + 40);
    QImage shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    Pump(2000);  // it goes by itself
    return shot;
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(g_folder);
    Save(StripPicture(true), QStringLiteral("checkbox-strip-themed.png"));
    Save(StripPicture(false), QStringLiteral("checkbox-strip-classic.png"));
    CImageList* icons = TreeIcons();
    Save(TreePicture(true, icons), QStringLiteral("tree-themed.png"));
    Save(TreePicture(false, icons), QStringLiteral("tree-classic.png"));
    Save(SplashPicture(), QStringLiteral("splash.png"));
    if (QGuiApplication::platformName() == QLatin1String("xcb")) Save(SplashOnScreen(), QStringLiteral("splash-on-screen.png"));
    delete icons;
    return g_failures == 0 ? 0 : 1;
}
