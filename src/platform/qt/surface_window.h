#pragma once

#include "platform/user.h"

#include <QBackingStore>
#include <QImage>
#include <QWindow>

namespace qv {

// The native window of one platform window: shows the window's surface and turns the
// user's mouse and keyboard input into the window's messages.
class SurfaceWindow : public QWindow {
public:
    SurfaceWindow(WindowManager& user, HWND wnd, QWindow* parent);
    ~SurfaceWindow() override;

    HWND Handle() const { return m_wnd; }

    // Copies the changed part of the surface to the screen; the whole window after it was
    // exposed, resized or could not be drawn.
    void Present(const DamageList& damage);

protected:
    void exposeEvent(QExposeEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void PostMouse(uint32_t message, QMouseEvent* event);
    void PostKey(uint32_t message, QKeyEvent* event);
    // The surface as an image, rebuilt only when the surface's storage changes.
    const QImage* SurfaceImage();
    void CopyRect(const QRect& rect);

    WindowManager& m_user;
    HWND m_wnd;
    QBackingStore m_store;
    QImage m_view;
    const uint8_t* m_viewBytes = nullptr;
    bool m_needsFull = true;
};

} // namespace qv
