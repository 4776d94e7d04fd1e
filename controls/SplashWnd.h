#pragma once

#include "platform/ui/Wnd.h"

#include "platform/core/CString.h"

#include <QBasicTimer>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QWidget>

constexpr DWORD SPLASH_FADE_IN = 0x01;
constexpr DWORD SPLASH_FADE_OUT = 0x02;
constexpr DWORD SPLASH_SHADOW = 0x04;
constexpr DWORD SPLASH_CENTER_SCREEN = 0x08;
constexpr DWORD SPLASH_CENTER_PARENT = 0x10;
constexpr DWORD SPLASH_HIDE_ON_INPUT = 0x20;

// Resource id of the splash picture.
constexpr int IDB_SPLASH = 351;

// A borderless, topmost window shaped by its picture (pixels of the key colour are not part
// of it), shown for a while with a line of text, that deletes itself when it goes. Always
// made with new; the creator keeps no pointer.
class CSplashWnd : public QWidget, public CWnd {
    Q_OBJECT
public:
    CSplashWnd();
    ~CSplashWnd() override;

    BOOL Create(CWnd* pParent);
    // Picture 351 of the resources; the overload takes any picture (tests, tools).
    BOOL SetBitmap();
    BOOL SetBitmap(const QImage& bitmap);
    void SetText(const CString& text);
    void Show();

    // Rows of non-key pixels as one-pixel-high rectangles, united; empty for a null image.
    static QRegion CreateRgnFromBitmap(const QImage& bitmap, COLORREF key);
    void CreateDefaultFont();
    void DrawWindow(QPainter* dc);
    // Hides (fading where it can) and then destroys the window, which deletes the object.
    void DestroyWindow();

    bool m_bCanFade;
    CWnd* m_pWndParent = nullptr;
    QImage m_bitmap;
    QFont m_font;
    QRegion m_hRegion;
    DWORD m_dwStyle = 0;
    UINT m_nTimeout = 2000;
    CString m_strText;
    QRect m_rcText;
    UINT m_uTextFormat = 21;  // centred both ways, word-wrapped
    COLORREF m_crTextColor = 0;
    int m_nBitmapWidth = 0;
    int m_nBitmapHeight = 0;
    int m_nX = 0;
    int m_nY = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    virtual void OnTimer();

private:
    bool HideOnInput();
    QBasicTimer m_timer;
    bool m_bDestroying = false;
};
