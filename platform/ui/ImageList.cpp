#include "platform/ui/ImageList.h"

#include <QPainter>

BOOL CImageList::Create(int cx, int cy, UINT flags, int nInitial, int) {
    if (cx < 1 || cy < 1) return FALSE;
    m_images.clear();
    if (nInitial > 0) m_images.reserve(static_cast<std::size_t>(nInitial));
    m_cx = cx;
    m_cy = cy;
    m_flags = flags;
    m_bCreated = true;
    return TRUE;
}

int CImageList::Add(const QImage& strip) {
    if (!m_bCreated || strip.isNull() || strip.height() < m_cy || strip.width() < m_cx) return -1;
    const int first = GetImageCount();
    const QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x + m_cx <= argb.width(); x += m_cx) m_images.push_back(argb.copy(x, 0, m_cx, m_cy));
    return first;
}

int CImageList::AddMasked(const QImage& strip, COLORREF crMask) {
    if (strip.isNull()) return -1;
    QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = qRgb(GetRValue(crMask), GetGValue(crMask), GetBValue(crMask));
    for (int y = 0; y < argb.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((line[x] & 0x00FFFFFFu) == (key & 0x00FFFFFFu) && qAlpha(line[x]) == 255) line[x] = 0;
        }
    }
    return Add(argb);
}

BOOL CImageList::DeleteImageList() {
    const bool had = m_bCreated;
    m_images.clear();
    m_bCreated = false;
    m_cx = m_cy = 0;
    return had ? TRUE : FALSE;
}

QImage CImageList::GetImage(int index) const {
    if (index < 0 || index >= GetImageCount()) return QImage();
    return m_images[static_cast<std::size_t>(index)];
}

BOOL CImageList::Draw(QPainter* painter, int index, QPoint topLeft) const {
    if (painter == nullptr || index < 0 || index >= GetImageCount()) return FALSE;
    painter->drawImage(topLeft, m_images[static_cast<std::size_t>(index)]);
    return TRUE;
}
