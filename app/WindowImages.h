#pragma once

#include <QPixmap>

// The window's pictures, drawn by the program: the ribbon's strips (index within the
// strip, 16 or 32 pixels), the application button, the caption-bar picture, the paging
// buttons and the About banner, at the sizes their resource ids stand for.
QPixmap RibbonImage(int index, int size);
QPixmap ResourceImage(int id);
