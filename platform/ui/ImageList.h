#pragma once

#include "platform/ui/WinTypes.h"

#include <vector>

#include <QImage>
#include <QPoint>

class QPainter;

// Flags of Create that this layer understands; colour depth is always 32-bit ARGB.
constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

// A list of equal-sized images cut from strips, as the tree shows them (icons and check
// boxes). Masked strips turn every pixel of exactly the mask colour transparent.
class CImageList {
public:
    BOOL Create(int cx, int cy, UINT flags, int nInitial, int nGrow);
    // Adds every whole cx-wide cell of the strip; the index of the first one, -1 on failure.
    int Add(const QImage& strip);
    int AddMasked(const QImage& strip, COLORREF crMask);
    BOOL DeleteImageList();
    bool IsCreated() const { return m_bCreated; }

    int GetImageCount() const { return static_cast<int>(m_images.size()); }
    int GetWidth() const { return m_cx; }
    int GetHeight() const { return m_cy; }
    // A null image for an index outside the list.
    QImage GetImage(int index) const;
    BOOL Draw(QPainter* painter, int index, QPoint topLeft) const;

private:
    bool m_bCreated = false;
    int m_cx = 0;
    int m_cy = 0;
    UINT m_flags = 0;
    std::vector<QImage> m_images;
};
