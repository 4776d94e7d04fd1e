#include "app/WindowImages.h"

#include <QString>

#include "app/WindowTexts.h"

// The resources of a static library are registered by hand (outside any namespace).
static void LoadWindowResources() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(window);
        return true;
    }();
    (void)loaded;
}

namespace {

QPixmap Load(int id) {
    LoadWindowResources();
    return QPixmap(QStringLiteral(":/window/%1.png").arg(id));
}

}  // namespace

QPixmap RibbonImage(int index, int size) {
    static const QPixmap small = Load(IDB_SMALL_STRIP);
    static const QPixmap large = Load(IDB_LARGE_STRIP);
    const QPixmap& strip = size > 16 ? large : small;
    const int side = size > 16 ? 32 : 16;
    if (index < 0 || (index + 1) * side > strip.width()) return QPixmap();
    return strip.copy(index * side, 0, side, side);
}

QPixmap ResourceImage(int id) { return Load(id); }
