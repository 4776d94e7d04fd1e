// Draws the window's pictures into PNG files for app/images (the resource file of the
// window). Run by tools/images/make-window-images.sh; the files are committed.
//
//   draw-window-images OUTDIR
#include <cstdio>
#include <utility>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include "app/WindowTexts.h"

namespace {

QPixmap Blank(int w, int h) {
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void DrawFolder(QPainter& p, double s) {
    p.setPen(QPen(QColor(0x8a, 0x63, 0x12), s / 16));
    p.setBrush(QColor(0xf5, 0xc2, 0x42));
    QPainterPath back;
    back.moveTo(1 * s / 16, 3 * s / 16);
    back.lineTo(6 * s / 16, 3 * s / 16);
    back.lineTo(7.5 * s / 16, 5 * s / 16);
    back.lineTo(15 * s / 16, 5 * s / 16);
    back.lineTo(15 * s / 16, 14 * s / 16);
    back.lineTo(1 * s / 16, 14 * s / 16);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(0xfb, 0xdc, 0x7c));
    p.drawRect(QRectF(1 * s / 16, 7 * s / 16, 14 * s / 16, 7 * s / 16));
}

void DrawStop(QPainter& p, double s) {
    QPolygonF octagon;
    const double a = 4.7 * s / 16, b = 11.3 * s / 16, lo = 1 * s / 16, hi = 15 * s / 16;
    octagon << QPointF(a, lo) << QPointF(b, lo) << QPointF(hi, a) << QPointF(hi, b) << QPointF(b, hi)
            << QPointF(a, hi) << QPointF(lo, b) << QPointF(lo, a);
    p.setPen(QPen(QColor(0x80, 0x10, 0x10), s / 16));
    p.setBrush(QColor(0xd8, 0x2c, 0x2c));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5 * s / 16, 7 * s / 16, 6 * s / 16, 2 * s / 16));
}

void DrawSave(QPainter& p, double s) {
    p.setPen(QPen(QColor(0x1d, 0x3f, 0x7a), s / 16));
    p.setBrush(QColor(0x3a, 0x6e, 0xc8));
    p.drawRoundedRect(QRectF(1.5 * s / 16, 1.5 * s / 16, 13 * s / 16, 13 * s / 16), s / 16, s / 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4 * s / 16, 2 * s / 16, 8 * s / 16, 5 * s / 16));
    p.setBrush(QColor(0xc8, 0xd6, 0xee));
    p.drawRect(QRectF(4 * s / 16, 9.5 * s / 16, 8 * s / 16, 4.5 * s / 16));
    // a cylinder: the data that is saved
    p.setBrush(QColor(0x2a, 0x9d, 0x4a));
    p.drawEllipse(QRectF(6 * s / 16, 10.3 * s / 16, 4 * s / 16, 3 * s / 16));
}

void DrawLetterDisc(QPainter& p, double s, const QColor& colour, const QString& letter) {
    p.setPen(QPen(colour.darker(150), s / 16));
    p.setBrush(colour);
    p.drawEllipse(QRectF(1 * s / 16, 1 * s / 16, 14 * s / 16, 14 * s / 16));
    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPixelSize(static_cast<int>(s * 0.62));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, letter);
}

void DrawCylinder(QPainter& p, double w, double h) {
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, QColor(0x1f, 0x5f, 0x99));
    g.setColorAt(0.5, QColor(0x5c, 0x9b, 0xd6));
    g.setColorAt(1, QColor(0x1f, 0x5f, 0x99));
    p.setPen(QPen(QColor(0x10, 0x30, 0x50), 1));
    p.setBrush(g);
    const double top = h * 0.12, body = h * 0.76, rim = h * 0.22;
    p.drawRect(QRectF(w * 0.12, top + rim / 2, w * 0.76, body - rim));
    p.drawEllipse(QRectF(w * 0.12, top + body - rim, w * 0.76, rim));
    p.setBrush(QColor(0x8c, 0xc0, 0xee));
    p.drawEllipse(QRectF(w * 0.12, top, w * 0.76, rim));
}

void DrawArrow(QPainter& p, double s, bool right) {
    QPolygonF arrow;
    if (right)
        arrow << QPointF(5 * s / 24, 4 * s / 24) << QPointF(19 * s / 24, 12 * s / 24) << QPointF(5 * s / 24, 20 * s / 24);
    else
        arrow << QPointF(19 * s / 24, 4 * s / 24) << QPointF(5 * s / 24, 12 * s / 24) << QPointF(19 * s / 24, 20 * s / 24);
    p.setPen(QPen(QColor(0x1d, 0x4f, 0x91), 1.2));
    p.setBrush(QColor(0x3f, 0x86, 0xd8));
    p.drawPolygon(arrow);
}

QPixmap RibbonImage(int index, int size) {
    QPixmap pixmap = Blank(size, size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    switch (index) {
    case 0: DrawFolder(p, s); break;
    case 1: DrawStop(p, s); break;
    case 2: DrawSave(p, s); break;
    case 8: DrawLetterDisc(p, s, QColor(0x2f, 0x7d, 0xd1), QStringLiteral("?")); break;
    case 9: DrawLetterDisc(p, s, QColor(0x3c, 0x9a, 0x5f), QStringLiteral("i")); break;
    default: DrawCylinder(p, s, s); break;
    }
    return pixmap;
}

QPixmap ResourceImage(int id) {
    switch (id) {
    case IDB_APP_BUTTON: {
        QPixmap pixmap = Blank(42, 42);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        DrawCylinder(p, 42, 42);
        return pixmap;
    }
    case IDB_CAPTION_BAR: {
        QPixmap pixmap = Blank(20, 20);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        DrawLetterDisc(p, 20, QColor(0x2f, 0x7d, 0xd1), QStringLiteral("i"));
        return pixmap;
    }
    case IDB_PREVIOUS:
    case IDB_NEXT: {
        QPixmap pixmap = Blank(24, 24);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        DrawArrow(p, 24, id == IDB_NEXT);
        return pixmap;
    }
    case IDB_ABOUT_BANNER: {
        QPixmap pixmap(395, 85);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 395, 85);
        g.setColorAt(0, QColor(0x12, 0x3a, 0x6b));
        g.setColorAt(1, QColor(0x2f, 0x7d, 0xd1));
        p.fillRect(pixmap.rect(), g);
        p.translate(14, 12);
        DrawCylinder(p, 60, 60);
        p.resetTransform();
        QFont font(QStringLiteral("Sans Serif"));
        font.setBold(true);
        font.setPixelSize(20);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(88, 14, 300, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Dralvek"));
        font.setBold(false);
        font.setPixelSize(14);
        p.setFont(font);
        p.drawText(QRectF(88, 44, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("MySQL data from the files on disk"));
        return pixmap;
    }
    default: return RibbonImage(-1, 16);
    }
}

void DrawKey(QPainter& p) {
    p.setPen(QPen(QColor(0x8a, 0x63, 0x12), 1.2));
    p.setBrush(QColor(0xf0, 0xb8, 0x2a));
    p.drawEllipse(QRectF(1.5, 4.5, 7, 7));
    p.drawRect(QRectF(8, 7, 7, 2));
    p.drawRect(QRectF(12, 9, 1.5, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3.5, 6.5, 3, 3));
}

void DrawViewGrid(QPainter& p) {
    p.setPen(QPen(QColor(0x1d, 0x4f, 0x91), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.fillRect(QRectF(2, 3, 12, 3), QColor(0x3f, 0x86, 0xd8));
    p.drawLine(QPointF(2, 9.5), QPointF(14, 9.5));
    p.drawLine(QPointF(6.5, 6), QPointF(6.5, 13));
}

void DrawBolt(QPainter& p) {
    QPolygonF bolt;
    for (const QPointF& pt : {QPointF(9.5, 1), QPointF(3.5, 9), QPointF(7.5, 9), QPointF(5.5, 15), QPointF(12.5, 6.5),
                              QPointF(8.5, 6.5), QPointF(10.5, 1)})
        bolt << pt;
    p.setPen(QPen(QColor(0x9a, 0x5b, 0x00), 1));
    p.setBrush(QColor(0xff, 0xc1, 0x2e));
    p.drawPolygon(bolt);
}

// The tree pane's strip (resource 344): 47 cells of 16 x 16; the scan uses 0 (folder),
// 2 (keys), 15 (views) and 21 (trigger); the other cells stay empty.
QPixmap TreeStrip() {
    QPixmap strip = Blank(47 * 16, 16);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    const std::pair<int, void (*)(QPainter&)> cells[] = {
        {0, [](QPainter& q) { DrawFolder(q, 16); }}, {2, DrawKey}, {15, DrawViewGrid}, {21, DrawBolt}};
    for (const auto& [index, draw] : cells) {
        p.save();
        p.translate(index * 16, 0);
        draw(p);
        p.restore();
    }
    return strip;
}

// A strip of count images of size x size, image i at x = i * size.
QPixmap Strip(int count, int size) {
    QPixmap strip = Blank(count * size, size);
    QPainter p(&strip);
    for (int i = 0; i < count; ++i) p.drawPixmap(i * size, 0, RibbonImage(i, size));
    return strip;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw-window-images OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = Strip(16, 16).save(out + QStringLiteral("/314.png"));
    ok &= Strip(11, 32).save(out + QStringLiteral("/310.png"));
    ok &= TreeStrip().save(out + QStringLiteral("/344.png"));
    for (int id : {IDB_APP_BUTTON, IDB_CAPTION_BAR, IDB_PREVIOUS, IDB_NEXT, IDB_ABOUT_BANNER})
        ok &= ResourceImage(id).save(out + QStringLiteral("/%1.png").arg(id));
    return ok ? 0 : 1;
}
