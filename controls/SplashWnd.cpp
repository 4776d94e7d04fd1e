#include "controls/SplashWnd.h"

#include "platform/ui/Resources.h"

#include <cstdlib>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimerEvent>
#include <QVector>

#ifdef DRALVEK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

// Resources of a static library are registered by a call, at global scope.
static void InitControlsResources() { Q_INIT_RESOURCE(controls); }

namespace {
constexpr int kFadeInMs = 500;
constexpr int kFadeOutMs = 200;

#ifdef DRALVEK_HAVE_XCB
// An X server composites windows while some client owns the compositing-manager selection
// of the screen.
bool X11Composites() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) return false;
    static const char kSelection[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kSelection - 1, kSelection), nullptr);
    if (atom == nullptr) return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (owner == nullptr) return false;
    const bool composited = owner->owner != XCB_NONE;
    std::free(owner);
    return composited;
}
#endif

// Fading changes the window's opacity, which only a compositing desktop shows; elsewhere
// the window appears and goes at once.
bool PlatformCanFade() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
#ifdef DRALVEK_HAVE_XCB
        return X11Composites();
#else
        return false;
#endif
    }
    // Wayland, Windows and macOS always composite.
    return platform == QLatin1String("wayland") || platform.startsWith(QLatin1String("wayland-")) ||
           platform == QLatin1String("windows") || platform == QLatin1String("cocoa");
}

int AlignmentFromFormat(UINT format) {
    int flags = 0;
    flags |= (format & 0x01) ? Qt::AlignHCenter : (format & 0x02) ? Qt::AlignRight : Qt::AlignLeft;
    flags |= (format & 0x04) ? Qt::AlignVCenter : (format & 0x08) ? Qt::AlignBottom : Qt::AlignTop;
    if (format & 0x10) flags |= Qt::TextWordWrap;
    return flags;
}
}  // namespace

CSplashWnd::CSplashWnd() : QWidget(nullptr), CWnd(this), m_bCanFade(PlatformCanFade()) { CreateDefaultFont(); }

CSplashWnd::~CSplashWnd() = default;

BOOL CSplashWnd::Create(CWnd* pParent) {
    m_pWndParent = pParent;
    m_strText.Empty();
    m_nTimeout = 2000;
    m_dwStyle = SPLASH_FADE_IN | SPLASH_FADE_OUT | SPLASH_SHADOW | SPLASH_CENTER_SCREEN;
    Qt::WindowFlags flags = Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if (!(m_dwStyle & SPLASH_SHADOW)) flags |= Qt::NoDropShadowWindowHint;
    // Owned by the frame's window, so it goes with it if the frame goes first.
    setParent(pParent != nullptr ? pParent->GetSafeWidget() : nullptr, flags);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
    return TRUE;
}

BOOL CSplashWnd::SetBitmap() {
    InitControlsResources();
    return SetBitmap(LoadBitmapResource(IDB_SPLASH));
}

BOOL CSplashWnd::SetBitmap(const QImage& bitmap) {
    m_bitmap = QImage();
    if (bitmap.isNull()) return FALSE;
    m_bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
    m_nBitmapWidth = m_bitmap.width();
    m_nBitmapHeight = m_bitmap.height();
    m_rcText = QRect(0, 0, m_nBitmapWidth, m_nBitmapHeight);
    if (m_dwStyle & SPLASH_CENTER_SCREEN) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            m_nX = area.left() + (area.width() - m_nBitmapWidth) / 2;
            m_nY = area.top() + (area.height() - m_nBitmapHeight) / 2;
        }
    } else if ((m_dwStyle & SPLASH_CENTER_PARENT) && m_pWndParent != nullptr && m_pWndParent->GetSafeWidget() != nullptr) {
        const QRect owner = m_pWndParent->GetSafeWidget()->frameGeometry();
        m_nX = owner.left() + (owner.width() - m_nBitmapWidth) / 2;
        m_nY = owner.top() + (owner.height() - m_nBitmapHeight) / 2;
    }
    m_hRegion = CreateRgnFromBitmap(m_bitmap, RGB(255, 0, 255));
    setMask(m_hRegion);
    update();
    return TRUE;
}

void CSplashWnd::SetText(const CString& text) { m_strText = text; }

QRegion CSplashWnd::CreateRgnFromBitmap(const QImage& bitmap, COLORREF key) {
    if (bitmap.isNull()) return QRegion();
    const QImage pixels = bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb keyRgb = qRgb(GetRValue(key), GetGValue(key), GetBValue(key)) & 0x00FFFFFFu;
    QVector<QRect> runs;
    runs.reserve(40);
    for (int y = 0; y < pixels.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int x = 0;
        while (x < pixels.width()) {
            while (x < pixels.width() && (line[x] & 0x00FFFFFFu) == keyRgb) ++x;
            const int start = x;
            while (x < pixels.width() && (line[x] & 0x00FFFFFFu) != keyRgb) ++x;
            if (x > start) runs.append(QRect(start, y, x - start, 1));
        }
    }
    // United in row order, so each run joins the end of the region built so far.
    QRegion region;
    for (const QRect& run : runs) region += run;
    return region;
}

void CSplashWnd::CreateDefaultFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(20);  // a 25-pixel character cell
    m_font = font;
}

void CSplashWnd::DrawWindow(QPainter* dc) {
    if (dc == nullptr) return;
    if (!m_bitmap.isNull()) dc->drawImage(0, 0, m_bitmap);
    dc->save();
    dc->setFont(m_font);
    dc->setPen(ToQColor(m_crTextColor));
    dc->drawText(m_rcText, AlignmentFromFormat(m_uTextFormat), QString::fromUtf16(m_strText.GetString(), m_strText.GetLength()));
    dc->restore();
}

void CSplashWnd::Show() {
    move(m_nX, m_nY);
    resize(m_nBitmapWidth, m_nBitmapHeight);
    if ((m_dwStyle & SPLASH_FADE_IN) && m_bCanFade) {
        setWindowOpacity(0.0);
        show();
        auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setDuration(kFadeInMs);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        show();
    }
    if (m_nTimeout != 0) m_timer.start(static_cast<int>(m_nTimeout), this);
}

void CSplashWnd::DestroyWindow() {
    if (m_bDestroying) return;
    m_bDestroying = true;
    m_timer.stop();
    if ((m_dwStyle & SPLASH_FADE_OUT) && m_bCanFade && isVisible()) {
        auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setDuration(kFadeOutMs);
        fade->setStartValue(windowOpacity());
        fade->setEndValue(0.0);
        connect(fade, &QPropertyAnimation::finished, this, [this] {
            hide();
            deleteLater();
        });
        fade->start(QAbstractAnimation::DeleteWhenStopped);
        return;
    }
    hide();
    deleteLater();
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawWindow(&painter);
}

void CSplashWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) OnTimer();
    else QWidget::timerEvent(event);
}

void CSplashWnd::OnTimer() {
    m_timer.stop();
    DestroyWindow();
}

bool CSplashWnd::HideOnInput() {
    if (!(m_dwStyle & SPLASH_HIDE_ON_INPUT)) return false;
    DestroyWindow();
    return true;
}

void CSplashWnd::keyPressEvent(QKeyEvent* event) {
    if (HideOnInput()) event->accept();
    else QWidget::keyPressEvent(event);
}

void CSplashWnd::mousePressEvent(QMouseEvent* event) {
    if (HideOnInput()) event->accept();
    else QWidget::mousePressEvent(event);
}
