#pragma once

#include <QColor>
#include <QPalette>

// The application looks 210-218, as colour sets over the platform's style.
struct LookColours {
    QColor frame;      // window background, docks, status bar
    QColor ribbon;     // the ribbon's face
    QColor ribbonEdge; // the ribbon's lower edge and group borders
    QColor accent;     // selection, the caption bar's face
    QColor text;       // text on the frame
    QColor ribbonText;
};

// The look that id stands for; an unknown id gives the default look (215).
int NormaliseLook(int id);
LookColours ColoursOfLook(int id);
QPalette PaletteOfLook(int id);
