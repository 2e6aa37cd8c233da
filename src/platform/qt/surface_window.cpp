#include "platform/qt/surface_window.h"

#include "platform/qt/key_map.h"

#include <QCloseEvent>
#include <QExposeEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <cstring>

namespace qv {

SurfaceWindow::SurfaceWindow(WindowManager& user, HWND wnd, QWindow* parent)
    : QWindow(parent), m_user(user), m_wnd(wnd), m_store(this) {
    setSurfaceType(QSurface::RasterSurface);
}

SurfaceWindow::~SurfaceWindow() = default;

const QImage* SurfaceWindow::SurfaceImage() {
    Surface* s = m_user.WindowSurface(m_wnd);
    if (!s || s->Format() != PixelFormat::Xrgb32 || s->Width() <= 0 || s->Height() <= 0) {
        return nullptr;
    }
    const uint8_t* bytes = s->Row(0);
    if (bytes != m_viewBytes || m_view.width() != s->Width() || m_view.height() != s->Height()) {
        // 0x00RRGGBB words are Qt's RGB32 layout: the image reads the surface in place.
        m_view = QImage(bytes, s->Width(), s->Height(), s->Stride(), QImage::Format_RGB32);
        m_viewBytes = bytes;
    }
    return &m_view;
}

void SurfaceWindow::CopyRect(const QRect& rect) {
    const QImage* src = SurfaceImage();
    QImage* dst = dynamic_cast<QImage*>(m_store.paintDevice());
    const bool words = dst && (dst->format() == QImage::Format_RGB32 ||
                               dst->format() == QImage::Format_ARGB32_Premultiplied);
    if (src && words && dst->devicePixelRatio() == 1.0 && !format().hasAlpha()) {
        // The usual case: 0xAARRGGBB words, one pixel per pixel (Qt's X11 backing store is
        // premultiplied ARGB even for a window without alpha). The surface's words are the
        // same with the alpha byte left 0, which a window without alpha never reads: rows
        // are copied as they are. (A painter would copy them too, at a cost per rectangle.)
        const QRect r = rect.intersected(src->rect()).intersected(dst->rect());
        const size_t bytes = static_cast<size_t>(r.width()) * 4;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            std::memcpy(dst->scanLine(y) + r.left() * 4, src->constScanLine(y) + r.left() * 4,
                        bytes);
        }
        return;
    }
    QPainter painter(m_store.paintDevice());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (src) {
        painter.drawImage(rect.topLeft(), *src, rect);
    } else {
        painter.fillRect(rect, Qt::black);
    }
}

void SurfaceWindow::Present(const DamageList& damage) {
    if (!isExposed()) {
        m_needsFull = true;
        return;
    }
    const QRect whole(QPoint(0, 0), size());
    if (m_store.size() != size()) {
        m_store.resize(size());
        m_needsFull = true;
    }
    QRegion region;
    if (m_needsFull) {
        region = QRegion(whole);
    } else {
        for (int i = 0; i < damage.Count; ++i) {
            const Rect& r = damage.Rects[static_cast<size_t>(i)];
            region += QRect(r.Left, r.Top, r.Width(), r.Height()).intersected(whole);
        }
        if (region.isEmpty()) {
            return;
        }
    }
    m_store.beginPaint(region);
    if (m_needsFull) {
        // Where the window is larger than its surface (a window manager that did not honour
        // the size), the rest is black.
        const QImage* src = SurfaceImage();
        const QRect covered = src ? src->rect().intersected(whole) : QRect();
        if (covered != whole) {
            QPainter painter(m_store.paintDevice());
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(whole, Qt::black);
        }
    }
    for (const QRect& rect : region) {
        CopyRect(rect);
    }
    m_store.endPaint();
    m_store.flush(region);
    m_needsFull = false;
}

void SurfaceWindow::exposeEvent(QExposeEvent* /*event*/) {
    if (isExposed()) {
        m_needsFull = true;
        Present(DamageList{});
    }
}

void SurfaceWindow::resizeEvent(QResizeEvent* /*event*/) {
    m_needsFull = true;
}

void SurfaceWindow::PostMouse(uint32_t message, QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const WPARAM keys = MouseKeyState(static_cast<uint32_t>(event->buttons().toInt()),
                                      static_cast<uint32_t>(event->modifiers().toInt()));
    m_user.PostMessage(m_wnd, message, keys, MAKELPARAM(p.x(), p.y()));
    event->accept();
}

void SurfaceWindow::mouseMoveEvent(QMouseEvent* event) {
    PostMouse(WM_MOUSEMOVE, event);
}

void SurfaceWindow::mousePressEvent(QMouseEvent* event) {
    switch (event->button()) {
    case Qt::LeftButton:
        PostMouse(WM_LBUTTONDOWN, event);
        break;
    case Qt::RightButton:
        PostMouse(WM_RBUTTONDOWN, event);
        break;
    case Qt::MiddleButton:
        PostMouse(WM_MBUTTONDOWN, event);
        break;
    default:
        break;
    }
}

void SurfaceWindow::mouseReleaseEvent(QMouseEvent* event) {
    switch (event->button()) {
    case Qt::LeftButton:
        PostMouse(WM_LBUTTONUP, event);
        break;
    case Qt::RightButton:
        PostMouse(WM_RBUTTONUP, event);
        break;
    case Qt::MiddleButton:
        PostMouse(WM_MBUTTONUP, event);
        break;
    default:
        break;
    }
}

void SurfaceWindow::PostKey(uint32_t message, QKeyEvent* event) {
    const uint32_t vk = VirtualKeyFromQtKey(event->key());
    if (vk == 0) {
        return; // a key without a Windows counterpart
    }
    // lParam: repeat count 1, the hardware scan code in bits 16-23, bit 30 for a repeat and
    // bit 31 for a release.
    uint32_t info = 1 | ((event->nativeScanCode() & 0xFF) << 16);
    if (event->isAutoRepeat()) {
        info |= 1u << 30;
    }
    if (message == WM_KEYUP) {
        info |= 3u << 30;
    }
    m_user.PostMessage(m_wnd, message, vk, static_cast<LPARAM>(info));
    event->accept();
}

void SurfaceWindow::keyPressEvent(QKeyEvent* event) {
    PostKey(WM_KEYDOWN, event);
}

void SurfaceWindow::keyReleaseEvent(QKeyEvent* event) {
    PostKey(WM_KEYUP, event);
}

void SurfaceWindow::closeEvent(QCloseEvent* event) {
    // The window stays: the program decides what a close means (the saver ends its run).
    event->ignore();
    m_user.PostMessage(m_wnd, WM_CLOSE, 0, 0);
}

} // namespace qv
