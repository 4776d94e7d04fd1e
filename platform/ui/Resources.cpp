#include "platform/ui/Resources.h"

#include <QString>

QImage LoadBitmapResource(int id) {
    return QImage(QStringLiteral(":/bitmaps/%1.png").arg(id));
}
