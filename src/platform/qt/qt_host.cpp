#include "platform/qt/qt_host.h"

#include "platform/desktop_settings.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/qt/surface_window.h"
#include "platform/qt/x11_query.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <xcb/xcb.h>

namespace qv {
namespace {

// How long a round of message processing may wait for the display when the program has
// drawn nothing since the last round and pumps without saying how long it waits (a loop
// that only pumps). Waits with a deadline sleep in WaitForInput instead.
constexpr int kIdleWaitMs = 2;

// While a preview's host window exists, the longest the program sleeps without asking for
// it. Once the preview's window is shown inside it, its destruction wakes the program at
// once (the X server destroys our window with it and says so); this bounds the rest.
constexpr auto kForeignWaitLimit = std::chrono::milliseconds(250);

// A change of at least this many pixels (or a quarter of a small window) counts as a
// redraw of much of the window; such redraws are paced to the display's refresh.
constexpr int64_t kLargeDamagePixels = 64 * 1024;

// The shortest time between two passes of the event loop in rounds that do not wait: input
// is at most this late, and rounds that come faster poll no more often.
constexpr auto kEventsInterval = std::chrono::milliseconds(1);

// How often the preview's host window is asked for, at most: a round trip to the display
// every round would cost more than the rest of an idle round.
constexpr auto kForeignCheckInterval = std::chrono::milliseconds(10);

// How long a held grab is tried for before the failure is reported, and how often it is
// asked for again while held.
constexpr auto kGrabPatience = std::chrono::milliseconds(2000);
constexpr auto kGrabInterval = std::chrono::milliseconds(250);

// The longest text a password box takes.
constexpr int kPasswordMaxLength = 255;

// A line edit's text as bytes, and the edit wiped.
std::string TakeText(QLineEdit* edit) {
    const QByteArray bytes = edit->text().toUtf8();
    std::string text(bytes.constData(), static_cast<size_t>(bytes.size()));
    edit->clear();
    return text;
}

QLineEdit* PasswordEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(kPasswordMaxLength);
    return edit;
}

// The size a --windowed window gets without a size: 1024 x 768, made smaller where the
// screen's free area is smaller.
constexpr Size kDefaultWindowed{1024, 768};

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// Qt ends the process when it cannot open the display; say so clearly instead.
void CheckDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb")) {
        return; // offscreen, wayland, ...: Qt reports its own problems
    }
    if (!EnvSet("DISPLAY")) {
        if (platform.isEmpty() && EnvSet("WAYLAND_DISPLAY")) {
            return;
        }
        throw UsageError("no display to show windows on (DISPLAY is not set); "
                         "use --display=headless");
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed && !(platform.isEmpty() && EnvSet("WAYLAND_DISPLAY"))) {
        throw UsageError(std::string("cannot open the display ") + std::getenv("DISPLAY") +
                         "; use --display=headless");
    }
}

xcb_connection_t* X11Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

Qt::CursorShape CursorShape(Cursor c) {
    switch (c) {
    case Cursor::None:
        return Qt::BlankCursor;
    case Cursor::Hourglass:
        return Qt::WaitCursor;
    case Cursor::Arrow:
        break;
    }
    return Qt::ArrowCursor;
}

// A decimal window ID as the desktop passes it (/p 12345678), or 0.
uint32_t ParseWindowId(const std::string& text) {
    uint32_t id = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, id);
    return ec == std::errc() && ptr == end && !text.empty() ? id : 0;
}

} // namespace

QtHost::QtHost(const HostOptions& options) : m_options(options) {
    if (QCoreApplication::instance()) {
        throw UsageError("the window host needs its own application object");
    }
    // One pixel of a surface is one pixel of the screen, whatever scale the desktop uses.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING")) {
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    }
    CheckDisplay();
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);

    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        throw UsageError("the display has no screen");
    }
    const Size full{screen->geometry().width(), screen->geometry().height()};
    m_screenSize = full;
    if (m_options.Windowed) {
        Size w = *m_options.Windowed;
        if (w.Width == 0 || w.Height == 0) {
            const QRect free = screen->availableGeometry();
            w = {std::min(kDefaultWindowed.Width, std::max(1, free.width())),
                 std::min(kDefaultWindowed.Height, std::max(1, free.height()))};
        }
        // A window larger than the screen would show only part of the show.
        const Size cut{std::min(w.Width, full.Width), std::min(w.Height, full.Height)};
        if (cut != w) {
            std::fprintf(stderr,
                         "quorvex: --windowed=%dx%d is larger than the screen; using %dx%d\n",
                         w.Width, w.Height, cut.Width, cut.Height);
        }
        m_screenSize = cut;
    }
    m_desktop = Surface(m_screenSize.Width, m_screenSize.Height, PixelFormat::Xrgb32);
    // The display's refresh period, within sensible bounds (Xvfb reports 60 Hz).
    const double hz = std::clamp(screen->refreshRate(), 30.0, 240.0);
    m_framePeriod = std::chrono::microseconds(static_cast<int64_t>(1e6 / hz));
    m_wake = std::make_unique<QTimer>();
    m_wake->setSingleShot(true);
    m_wake->setTimerType(Qt::PreciseTimer);
}

QtHost::~QtHost() {
    m_wakeNotifier.reset();
    m_windows.clear();
    m_foreignWindow.reset();
    if (m_overrideCursor) {
        QGuiApplication::restoreOverrideCursor();
    }
    m_wake.reset();
    m_app.reset();
}

std::unique_ptr<Host> QtHost::Create(const HostOptions& options) {
    return std::make_unique<QtHost>(options);
}

void QtHost::Attach(Platform& os) {
    m_os = &os;
    GrabDesktop();
    AdoptPreviewHost();
}

void QtHost::GrabDesktop() {
    // Taken now, before any window of the program is on the screen.
    QScreen* screen = QGuiApplication::primaryScreen();
    QImage shot;
    if (screen && QGuiApplication::platformName() != "wayland") {
        shot = screen->grabWindow(0).toImage();
    }
    if (shot.isNull()) {
        std::fprintf(stderr, "quorvex: this session does not let programs read the screen; "
                             "the desktop is shown black\n");
        std::fill(m_desktop.Bytes().begin(), m_desktop.Bytes().end(), uint8_t{0});
        return;
    }
    shot = shot.convertToFormat(QImage::Format_RGB32);
    if (shot.width() != m_desktop.Width() || shot.height() != m_desktop.Height()) {
        // A --windowed screen shows the whole desktop, made small.
        shot = shot.scaled(m_desktop.Width(), m_desktop.Height(), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    }
    const size_t rowBytes = static_cast<size_t>(m_desktop.Width()) * 4;
    for (int32_t y = 0; y < m_desktop.Height(); ++y) {
        std::memcpy(m_desktop.Row(y), shot.constScanLine(y), rowBytes);
    }
}

void QtHost::AdoptPreviewHost() {
    const std::vector<std::string>& args = m_options.Args;
    const uint32_t id = args.size() > 2 ? ParseWindowId(args[2]) : 0;
    if (id == 0) {
        return;
    }
    // Until the handle proves to be a foreign window, a preview placed in it is refused.
    m_refusedHost = id;
    xcb_connection_t* connection = X11Connection();
    if (!connection) {
        std::fprintf(stderr, "quorvex: this display cannot show a preview inside window %u\n", id);
        return;
    }
    const std::optional<Rect> rect = QueryX11WindowRect(connection, id);
    if (!rect) {
        return; // not a window: the preview finds no host window and ends
    }
    if (m_os->User().AdoptForeignWindow(id, *rect) != id) {
        return; // the program's own handle (its desktop, its application window)
    }
    m_refusedHost = 0;
    m_foreign = id;
    m_foreignAlive = true;
    m_foreignRect = *rect;
    m_foreignWindow.reset(QWindow::fromWinId(id));
}

void QtHost::CheckForeignWindow(bool now) {
    if (!m_foreignAlive) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    static_assert(Clock::is_steady);
    const Clock::time_point time = Clock::now();
    if (!now && time - m_foreignChecked < kForeignCheckInterval) {
        return;
    }
    m_foreignChecked = time;
    const std::optional<Rect> rect = QueryX11WindowRect(X11Connection(), m_foreign);
    if (rect) {
        m_foreignRect = *rect;
        return;
    }
    // The host window is gone, and the X server destroyed our windows inside it with it.
    m_foreignAlive = false;
    m_os->User().ForeignWindowGone(m_foreign);
}

std::optional<Rect> QtHost::ForeignWindow(HWND wnd) {
    if (wnd != 0 && wnd == m_foreign && m_foreignAlive) {
        return m_foreignRect;
    }
    return std::nullopt;
}

QtHost::Pending QtHost::PendingDrawing() {
    Pending p;
    for (const auto& [wnd, window] : m_windows) {
        const Surface* s = m_os->User().WindowSurface(wnd);
        if (!s || s->Damage().Empty()) {
            continue;
        }
        p.Any = true;
        const int64_t area = s->Damage().Area();
        p.Area += area;
        const int64_t whole = int64_t{s->Width()} * s->Height();
        p.Large = p.Large || area >= std::min(kLargeDamagePixels, whole / 4);
    }
    return p;
}

void QtHost::WaitForEvents(int ms) {
    m_wake->start(std::max(ms, 0));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_wake->stop();
    m_lastEvents = std::chrono::steady_clock::now();
}

void QtHost::WaitForInput(uint32_t untilTick, uint32_t latestTick) {
    using namespace std::chrono;
    const steady_clock::time_point now = steady_clock::now();
    steady_clock::time_point until = m_os->Clock().TimeOfTick(untilTick);
    if (latestTick != untilTick) {
        // The program may sleep on: wake for the next present, a display refresh after the
        // last one, so that the steps that fall due meanwhile are shown together.
        const steady_clock::time_point nextPresent = m_lastPresent + m_framePeriod;
        if (nextPresent > until) {
            until = std::min(nextPresent, m_os->Clock().TimeOfTick(latestTick));
        }
    }
    if (m_foreignAlive) {
        until = std::min(until, now + kForeignWaitLimit);
    }
    // A hold whose grabs another program has is asked for again on time, so that the saver
    // takes the keyboard and mouse once they are free (and says so when they never are).
    if (m_held != 0 && !m_grabbed) {
        until = std::min(until, std::max(now, m_grabChecked + kGrabInterval));
    }
    if (until <= now) {
        return;
    }
    // What is drawn and not yet shown waits for the next present only when the program
    // wakes by then; before a longer sleep it is shown now.
    if (m_heldArea >= 0 && until > m_lastPresent + m_framePeriod) {
        PresentWindows(true);
    }
    // Whole milliseconds, rounded up: the timer never fires before the deadline.
    const auto left = duration_cast<microseconds>(until - now).count();
    const int64_t ms = std::min<int64_t>((left + 999) / 1000, std::numeric_limits<int>::max());
    WaitForEvents(static_cast<int>(ms));
    m_waited = true;
}

void QtHost::WatchWakeFd(int fd) {
    m_wakeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QSocketNotifier* notifier = m_wakeNotifier.get();
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier] { notifier->setEnabled(false); });
}

void QtHost::DeliverInput() {
    if (m_wakeNotifier) {
        m_wakeNotifier->setEnabled(true);
    }
    // After a sleep in WaitForInput the round comes at once: for the input that ended it,
    // or at the deadline, which is kept to the millisecond.
    const bool waited = std::exchange(m_waited, false);
    // A wake-up may be the preview's host window going away.
    CheckForeignWindow(waited);
    KeepInputHeld();
    bool processed = waited;
    if (!m_os->Clock().IsVirtual()) {
        const Pending pending = PendingDrawing();
        if (!pending.Any || pending.Area == m_heldArea) {
            // Nothing was drawn since the last round and the program did not say how long it
            // waits (a loop that only pumps): sleep in the event loop until input comes or a
            // short while has passed.
            if (!waited) {
                WaitForEvents(kIdleWaitMs);
                processed = true;
            }
        } else if (pending.Large) {
            // A redraw of much of a window (a fade redraws its whole picture every round, as
            // fast as rounds come) is shown at most once per refresh of the display: showing
            // it sooner is never seen, and waiting keeps such a loop from taking a whole
            // processor. Small changes (a dissolve's blocks, a wipe's strips) go at once, so
            // effects that step faster than the display refreshes keep their pace.
            const auto since = std::chrono::steady_clock::now() - m_lastPresent;
            const int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(m_framePeriod - since)
                    .count());
            if (left > 0) {
                WaitForEvents(left);
                processed = true;
            }
        }
    }
    // A wait in this round has run the event loop already; another pass would only poll
    // its sources once more. So would a pass right after the last one: a loop that runs
    // late steps back to back pumps once per step, microseconds apart.
    if (!processed && (m_os->Clock().IsVirtual() ||
                       std::chrono::steady_clock::now() - m_lastEvents >= kEventsInterval)) {
        QCoreApplication::processEvents();
        m_lastEvents = std::chrono::steady_clock::now();
    }
}

void QtHost::AfterMessages() {
    PresentWindows(false);
}

void QtHost::PresentWindows(bool force) {
    // Small changes are shown at most once per display refresh: a loop that steps faster
    // (the melting screen's blocks, every 5 ms) or catches up on late steps draws several
    // into one present, which is all the display can show anyway. What waits is shown by
    // the first round after the refresh, or before the program sleeps past it
    // (WaitForInput). Large redraws are paced in DeliverInput and go as they come.
    const auto now = std::chrono::steady_clock::now();
    if (!force && !m_os->Clock().IsVirtual() && now - m_lastPresent < m_framePeriod) {
        const Pending pending = PendingDrawing();
        if (pending.Any && !pending.Large) {
            m_heldArea = pending.Area;
            return;
        }
    }
    m_heldArea = -1;
    for (const auto& [wnd, window] : m_windows) {
        Surface* s = m_os->User().WindowSurface(wnd);
        if (!s) {
            continue;
        }
        const DamageList damage = s->TakeDamage();
        if (!damage.Empty() && window->isVisible()) {
            window->Present(damage);
            m_lastPresent = std::chrono::steady_clock::now();
        }
    }
}

void QtHost::WindowCreated(HWND wnd) {
    // Native windows are made when a window is first shown: most never are.
    //
    // A child window placed in the refused preview host (a handle of the program's own,
    // such as its desktop or application window) would run inside the program itself and
    // never end; it is closed at once, so the preview ends as it does for an invalid handle.
    WindowManager& user = m_os->User();
    const HWND parent = m_refusedHost != 0 ? user.GetParent(wnd) : 0;
    if (parent != 0 && parent == m_refusedHost) {
        const std::vector<HWND> children = user.ChildWindows(parent);
        if (std::find(children.begin(), children.end(), wnd) != children.end()) {
            user.PostMessage(wnd, WM_CLOSE, 0, 0);
        }
    }
}

void QtHost::WindowDestroyed(HWND wnd) {
    if (wnd == m_held) {
        if (xcb_connection_t* c = X11Connection(); c && m_grabbed) {
            xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
            xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
            xcb_flush(c);
        }
        m_held = 0;
        m_grabbed = false;
    }
    m_windows.erase(wnd);
}

bool QtHost::Grab(uint32_t keyboard) {
    xcb_connection_t* c = X11Connection();
    QWindow* held = NativeWindow(m_held);
    if (!c || !held || keyboard == 0) {
        return false;
    }
    const auto pointerWindow = static_cast<xcb_window_t>(held->winId());
    // Owner events: the program's own windows (the prompt) get their input as usual; every
    // other window gets none.
    const xcb_grab_keyboard_cookie_t kc = xcb_grab_keyboard(
        c, 1, keyboard, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const uint16_t mask =
        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
    const xcb_grab_pointer_cookie_t pc =
        xcb_grab_pointer(c, 1, pointerWindow, mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         XCB_NONE, XCB_NONE, XCB_CURRENT_TIME);
    xcb_grab_keyboard_reply_t* kr = xcb_grab_keyboard_reply(c, kc, nullptr);
    xcb_grab_pointer_reply_t* pr = xcb_grab_pointer_reply(c, pc, nullptr);
    const bool ok =
        kr && pr && kr->status == XCB_GRAB_STATUS_SUCCESS && pr->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(kr);
    std::free(pr);
    return ok;
}

void QtHost::HoldInput(HWND wnd) {
    m_held = wnd;
    m_grabbed = false;
    m_holdSince = std::chrono::steady_clock::now();
    m_grabChecked = {};
    KeepInputHeld();
}

void QtHost::KeepInputHeld() {
    if (m_held == 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - m_grabChecked < kGrabInterval) {
        return;
    }
    m_grabChecked = now;
    QWindow* held = NativeWindow(m_held);
    m_grabbed = held && Grab(static_cast<uint32_t>(held->winId()));
    if (!m_grabbed && !m_grabNoted && now - m_holdSince >= kGrabPatience) {
        m_grabNoted = true;
        std::fprintf(stderr, "quorvex: cannot hold the keyboard and mouse (another program has "
                             "them); other programs still get input while the saver runs\n");
    }
}

int QtHost::RunPrompt(QDialog& dialog) {
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setModal(true);
    QTimer grabber;
    int tries = 0;
    if (m_held) {
        // The keyboard grab moves to the prompt once it is on the screen.
        QObject::connect(&grabber, &QTimer::timeout, [&] {
            QWindow* w = dialog.windowHandle();
            if ((w && w->isExposed() && Grab(static_cast<uint32_t>(dialog.winId()))) ||
                ++tries > 100) {
                grabber.stop();
            }
        });
        grabber.start(20);
    }
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.activateWindow();
        dialog.raise();
    });
    const int result = dialog.exec();
    grabber.stop();
    if (m_held) {
        m_grabChecked = {};
        KeepInputHeld();
    }
    return result;
}

std::optional<std::string> QtHost::AskPassword(HWND /*owner*/) {
    QDialog dialog;
    dialog.setWindowTitle("Screen Saver Password");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel("This screen saver is protected by a password.\n"
                                 "Type the password to end it:",
                                 &dialog));
    QLineEdit* edit = PasswordEdit(&dialog);
    edit->setObjectName("edtPassword");
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    edit->setFocus();
    const bool ok = RunPrompt(dialog) == QDialog::Accepted;
    std::string text = TakeText(edit);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

std::optional<ChangePasswordAnswer>
QtHost::AskChangePassword(HWND /*owner*/, const ChangePasswordQuestion& question) {
    QDialog dialog;
    dialog.setWindowTitle("Change Password");
    auto* form = new QFormLayout(&dialog);
    QLineEdit* old = nullptr;
    if (question.HasOld) {
        old = PasswordEdit(&dialog);
        old->setObjectName("edtOld");
        form->addRow("&Old password:", old);
    }
    QLineEdit* fresh = PasswordEdit(&dialog);
    fresh->setObjectName("edtNew");
    form->addRow("&New password:", fresh);
    QLineEdit* confirm = PasswordEdit(&dialog);
    confirm->setObjectName("edtConfirm");
    form->addRow("&Confirm new password:", confirm);
    auto* use = new QCheckBox("&Protect the screen saver with this password", &dialog);
    use->setObjectName("chkUsePassword");
    use->setChecked(question.UsePassword);
    form->addRow(use);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    (old ? old : fresh)->setFocus();
    const bool ok = RunPrompt(dialog) == QDialog::Accepted;
    ChangePasswordAnswer answer;
    answer.Old = old ? TakeText(old) : std::string();
    answer.New = TakeText(fresh);
    answer.Confirm = TakeText(confirm);
    answer.UsePassword = use->isChecked();
    if (!ok) {
        return std::nullopt;
    }
    return answer;
}

std::unique_ptr<SurfaceWindow> QtHost::MakeNativeWindow(HWND wnd) {
    WindowManager& user = m_os->User();
    Rect rect;
    if (!user.GetWindowRect(wnd, &rect) || rect.Empty()) {
        return nullptr;
    }
    const HWND parent = user.GetParent(wnd);
    const std::vector<HWND> siblings = parent ? user.ChildWindows(parent) : std::vector<HWND>{};
    const bool child = std::find(siblings.begin(), siblings.end(), wnd) != siblings.end();
    if (child) {
        // Only children of the preview's host window have a native window of their own.
        // FIXME: children of the program's own windows are not shown.
        if (parent != m_foreign || !m_foreignAlive || !m_foreignWindow) {
            return nullptr;
        }
        auto window = std::make_unique<SurfaceWindow>(user, wnd, m_foreignWindow.get());
        window->setGeometry(rect.Left - m_foreignRect.Left, rect.Top - m_foreignRect.Top,
                            rect.Width(), rect.Height());
        return window;
    }

    auto window = std::make_unique<SurfaceWindow>(user, wnd, nullptr);
    std::string title = parent ? user.GetWindowText(parent) : std::string();
    if (title.empty()) {
        title = user.GetWindowText(wnd);
    }
    window->setTitle(QString::fromStdString(title.empty() ? "Quorvex" : title));
    const bool coversScreen = rect == Rect{0, 0, m_screenSize.Width, m_screenSize.Height};
    if (coversScreen && !m_options.Windowed) {
        // Without a window manager a full-screen window keeps the size it had before it was
        // shown, so it gets the screen's geometry first.
        window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        window->setGeometry(QGuiApplication::primaryScreen()->geometry());
        window->setWindowStates(Qt::WindowFullScreen);
    } else {
        // The --windowed screen, or an ordinary window: a fixed size the user cannot change,
        // as the program laid its contents out for it.
        window->setFlags(Qt::Window);
        const QSize size(rect.Width(), rect.Height());
        window->setMinimumSize(size);
        window->setMaximumSize(size);
        window->resize(size);
        if (!coversScreen) {
            window->setPosition(rect.Left, rect.Top);
        }
    }
    return window;
}

void QtHost::WindowShown(HWND wnd, bool visible) {
    if (FormViewOf(wnd) != nullptr) {
        return; // a form shows itself as a dialog
    }
    auto it = m_windows.find(wnd);
    if (!visible) {
        if (it != m_windows.end()) {
            it->second->hide();
        }
        return;
    }
    if (it == m_windows.end()) {
        std::unique_ptr<SurfaceWindow> window = MakeNativeWindow(wnd);
        if (!window) {
            return;
        }
        it = m_windows.emplace(wnd, std::move(window)).first;
    }
    SurfaceWindow& window = *it->second;
    window.setCursor(CursorShape(m_cursor));
    window.setVisible(true);
    if (!window.parent()) {
        window.requestActivate();
    }
}

void QtHost::CursorChanged(Cursor screen) {
    m_cursor = screen;
    const Qt::CursorShape shape = CursorShape(screen);
    for (const auto& [wnd, window] : m_windows) {
        window->setCursor(shape);
    }
    if (screen == Cursor::Arrow) {
        if (m_overrideCursor) {
            QGuiApplication::restoreOverrideCursor();
            m_overrideCursor = false;
        }
    } else if (m_overrideCursor) {
        QGuiApplication::changeOverrideCursor(shape);
    } else {
        QGuiApplication::setOverrideCursor(shape);
        m_overrideCursor = true;
    }
}

int QtHost::MessageBoxAnswer(std::string_view text, std::string_view caption, uint32_t flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (flags & 0x0F) {
    case MB_OKCANCEL:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MB_YESNOCANCEL:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case MB_YESNO:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    default:
        break;
    }
    QMessageBox box(icon, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), buttons);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        // Closed without a button: Cancel where there is one, else the only way out.
        return (flags & 0x0F) == MB_YESNO ? IDNO : (flags & 0x0F) == MB_OK ? IDOK : IDCANCEL;
    }
}

PasswordAnswer QtHost::PasswordPrompt() {
    // The player's password check asks the password component, whose prompt is AskPassword;
    // a verdict without a typed password is never given here.
    return PasswordAnswer::Cancel;
}

bool QtHost::RunCommand(std::string_view commandLine) {
    return commandLine == kDisplaySettingsCommand && OpenScreenSaverSettings();
}

QWindow* QtHost::NativeWindow(HWND wnd) const {
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? nullptr : it->second.get();
}

} // namespace qv
