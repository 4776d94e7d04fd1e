#include "app/AppLooks.h"

#include "app/WindowTexts.h"

int NormaliseLook(int id) { return id >= ID_LOOK_FIRST && id <= ID_LOOK_LAST ? id : ID_LOOK_DEFAULT; }

LookColours ColoursOfLook(int id) {
    switch (NormaliseLook(id)) {
    case 210:  // plain
        return {QColor(0xf0, 0xf0, 0xf0), QColor(0xf7, 0xf7, 0xf7), QColor(0xa0, 0xa0, 0xa0),
                QColor(0x33, 0x99, 0xff), Qt::black, Qt::black};
    case 211:  // Office XP
        return {QColor(0xf7, 0xf6, 0xf3), QColor(0xf0, 0xee, 0xe8), QColor(0x9e, 0x9a, 0x91),
                QColor(0xb6, 0xbd, 0xd2), Qt::black, Qt::black};
    case 212:  // the system's own
        return {QColor(0xec, 0xec, 0xec), QColor(0xf5, 0xf5, 0xf5), QColor(0xb4, 0xb4, 0xb4),
                QColor(0x30, 0x8c, 0xc6), Qt::black, Qt::black};
    case 213:  // Office 2003
        return {QColor(0xc3, 0xda, 0xf9), QColor(0xe3, 0xef, 0xfe), QColor(0x6f, 0x9d, 0xd9),
                QColor(0xff, 0xd4, 0x7e), Qt::black, QColor(0x0b, 0x33, 0x7a)};
    case 214:  // VS 2005
        return {QColor(0xec, 0xe9, 0xd8), QColor(0xf5, 0xf4, 0xee), QColor(0xac, 0xa8, 0x99),
                QColor(0xc1, 0xd2, 0xee), Qt::black, Qt::black};
    case 216:  // Office 2007 black
        return {QColor(0x53, 0x53, 0x53), QColor(0xdd, 0xdd, 0xdd), QColor(0x30, 0x30, 0x30),
                QColor(0xff, 0xd8, 0x6a), Qt::white, Qt::black};
    case 217:  // Office 2007 silver
        return {QColor(0xd0, 0xd4, 0xdd), QColor(0xee, 0xf0, 0xf4), QColor(0x9c, 0xa3, 0xb0),
                QColor(0xff, 0xd8, 0x6a), Qt::black, QColor(0x3a, 0x3f, 0x48)};
    case 218:  // Office 2007 aqua
        return {QColor(0xc9, 0xd7, 0xe6), QColor(0xe6, 0xee, 0xf6), QColor(0x86, 0xa2, 0xbf),
                QColor(0xff, 0xd8, 0x6a), Qt::black, QColor(0x1d, 0x3f, 0x63)};
    default:  // 215, Office 2007 blue
        return {QColor(0xbf, 0xdb, 0xff), QColor(0xdb, 0xe8, 0xf9), QColor(0x8d, 0xb2, 0xe3),
                QColor(0xff, 0xd8, 0x6a), Qt::black, QColor(0x15, 0x42, 0x8b)};
    }
}

QPalette PaletteOfLook(int id) {
    const LookColours c = ColoursOfLook(id);
    QPalette palette;
    palette.setColor(QPalette::Window, c.frame);
    palette.setColor(QPalette::WindowText, c.text);
    palette.setColor(QPalette::Button, c.ribbon);
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, c.ribbon);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Highlight, c.accent);
    palette.setColor(QPalette::HighlightedText, c.accent.lightness() > 160 ? Qt::black : Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Mid, c.ribbonEdge);
    return palette;
}
