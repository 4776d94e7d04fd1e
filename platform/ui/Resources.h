#pragma once

#include <QImage>

// Bitmap resource `id` of the program's resource files (":/bitmaps/<id>.png"); a null image
// when there is none.
QImage LoadBitmapResource(int id);
