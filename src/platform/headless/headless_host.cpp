#include "platform/headless/headless_host.h"

#include "platform/error.h"
#include "platform/headless/desktop_image.h"
#include "platform/platform.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <thread>

namespace qv {
namespace {

// The buttons of a message box by its type, first button first.
struct ButtonSet {
    uint32_t Type;
    int Buttons[3];
    int Count;
};

constexpr ButtonSet kButtonSets[] = {
    {MB_OK, {IDOK}, 1},
    {MB_OKCANCEL, {IDOK, IDCANCEL}, 2},
    {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, 3},
    {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, 3},
    {MB_YESNO, {IDYES, IDNO}, 2},
    {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, 2},
};

const ButtonSet& ButtonsOf(uint32_t flags) {
    for (const ButtonSet& set : kButtonSets) {
        if (set.Type == (flags & MB_TYPEMASK)) {
            return set;
        }
    }
    return kButtonSets[0];
}

// A window handle written in decimal, as the desktop passes one; 0 when it is not one.
HWND HandleFromArgument(const std::string& text) {
    HWND value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() ? value : 0;
}

// A window a person can see and point at: visible and of some size (the GUI layer's
// hidden application window, once restored, is visible but has no size).
bool OnScreen(const WindowManager& user, HWND wnd) {
    Rect r;
    return user.IsWindowVisible(wnd) && user.GetWindowRect(wnd, &r) && !r.Empty();
}

void CheckWritable(const std::string& file, const char* what) {
    const std::filesystem::path parent = std::filesystem::path(file).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        throw UsageError(std::string("cannot write the ") + what + " " + file + ": no folder " +
                         parent.string());
    }
}

} // namespace

HeadlessHost::HeadlessHost(const HostOptions& options, MovieBackendFactory movies)
    : m_screenSize(options.ScreenSize), m_hostSize(options.HostSize),
      m_durationMs(options.DurationMs), m_snapshots(options.Snapshots), m_fps(options.Fps),
      m_desktop(options.ScreenSize.Width, options.ScreenSize.Height, PixelFormat::Xrgb32),
      m_screen(options.ScreenSize.Width, options.ScreenSize.Height, PixelFormat::Xrgb32),
      m_mouse{options.ScreenSize.Width / 2, options.ScreenSize.Height / 2} {
    if (!options.EventsFile.empty()) {
        m_script = LoadEventScript(options.EventsFile);
    }
    if (options.DesktopImage.empty()) {
        DrawDefaultDesktop(m_desktop);
    } else {
        LoadDesktopImage(options.DesktopImage, m_desktop);
    }
    std::stable_sort(m_snapshots.begin(), m_snapshots.end(),
                     [](const Snapshot& a, const Snapshot& b) { return a.AtMs < b.AtMs; });
    for (const Snapshot& shot : m_snapshots) {
        CheckWritable(shot.File, "snapshot");
    }
    const bool movie =
        options.RecordFile.ends_with(".webm") || options.RecordFile.ends_with(".mp4");
    if (movie && !movies) {
        throw UsageError(std::string(options.RecordFile.ends_with(".mp4") ? "MP4" : "WebM") +
                         " recording is not available in this build (record to a .gif file)");
    }
    if (movie) {
        CheckWritable(options.RecordFile, "recording");
        m_movie = std::make_unique<MovieRecorder>(movies(), options.RecordFile);
        std::string error;
        if (!m_movie->CanWrite(&error)) {
            throw UsageError("cannot record: " + error);
        }
    } else if (!options.RecordFile.empty()) {
        std::string error;
        if (!m_gif.Open(options.RecordFile, &error)) {
            throw UsageError("cannot record: " + error);
        }
    }
    m_progress.emplace(options.DurationMs, !options.RecordFile.empty());
}

HeadlessHost::~HeadlessHost() = default;

std::unique_ptr<Host> HeadlessHost::Create(const HostOptions& options) {
    return std::make_unique<HeadlessHost>(options);
}

std::unique_ptr<Host> HeadlessHost::CreateWithMovies(const HostOptions& options,
                                                     MovieBackendFactory movies) {
    return std::make_unique<HeadlessHost>(options, movies);
}

void HeadlessHost::Attach(Platform& os) {
    m_os = &os;
    // The desktop hands a preview its host window as the second argument, in decimal.
    const HWND wnd = HandleFromArgument(os.ParamStr(2));
    if (wnd != 0) {
        // The host window lies on the screen, so it is at most the screen's size.
        const int32_t width = std::min(m_hostSize.Width, m_screenSize.Width);
        const int32_t height = std::min(m_hostSize.Height, m_screenSize.Height);
        const int32_t left = (m_screenSize.Width - width) / 2;
        const int32_t top = (m_screenSize.Height - height) / 2;
        m_hostRect = {left, top, left + width, top + height};
        m_hostWnd = os.User().AdoptForeignWindow(wnd, m_hostRect);
        m_hostAlive = m_hostWnd != 0;
    }
    if (m_movie) {
        // The frames are the screen's, or in a preview the host window's.
        const Rect view =
            wnd != 0 ? m_hostRect : Rect{0, 0, m_screenSize.Width, m_screenSize.Height};
        MovieFormat format;
        format.Width = view.Width();
        format.Height = view.Height();
        format.Fps = m_fps;
        format.Created = os.Clock().GetSystemTime();
        std::string error;
        if (!m_movie->Open(format, &error)) {
            throw UsageError("cannot record: " + error);
        }
        // Every play of the run's media is laid on the recording's sound track.
        os.Media().SetListener(m_movie.get());
    }
}

std::optional<Rect> HeadlessHost::ForeignWindow(HWND wnd) {
    if (wnd != 0 && wnd == m_hostWnd && m_hostAlive) {
        return m_hostRect;
    }
    return std::nullopt;
}

void HeadlessHost::HostWindowGone() {
    if (m_hostAlive) {
        m_hostAlive = false;
        m_os->User().ForeignWindowGone(m_hostWnd);
    }
}

HWND HeadlessHost::SaverWindow() const {
    const WindowManager& user = m_os->User();
    const auto& order = user.ZOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (OnScreen(user, *it)) {
            return *it;
        }
    }
    HWND last = 0;
    if (m_hostAlive) {
        for (HWND c = user.NextChild(m_hostWnd, 0); c != 0; c = user.NextChild(m_hostWnd, c)) {
            if (user.IsWindowVisible(c)) {
                last = c;
            }
        }
    }
    return last;
}

void HeadlessHost::PostInput(const char* kind, HWND target, uint32_t message, WPARAM wParam,
                             Point screen) {
    WindowManager& user = m_os->User();
    if (target == 0) {
        m_os->Trace().Emit("input", {{"kind", kind}, {"hwnd", 0}});
        return;
    }
    Point client = screen;
    user.ScreenToClient(target, &client);
    const bool mouse = message >= WM_MOUSEMOVE && message <= WM_MBUTTONUP;
    user.PostMessage(target, message, wParam, mouse ? MAKELPARAM(client.X, client.Y) : 0);
    if (mouse) {
        m_os->Trace().Emit("input",
                           {{"kind", kind}, {"hwnd", target}, {"x", client.X}, {"y", client.Y}});
    } else {
        m_os->Trace().Emit("input", {{"kind", kind}, {"hwnd", target}});
    }
}

void HeadlessHost::Deliver(const ScriptEvent& ev) {
    WindowManager& user = m_os->User();
    switch (ev.Action) {
    case ScriptAction::MouseMove:
        m_mouse = {ev.X, ev.Y};
        PostInput("mouse-move", user.WindowFromPoint(m_mouse), WM_MOUSEMOVE, 0, m_mouse);
        break;
    case ScriptAction::MouseDown: {
        static constexpr struct {
            uint32_t Down;
            uint32_t Up;
            WPARAM Keys;
        } kButtons[] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON},
                        {WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON},
                        {WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON}};
        const auto& b = kButtons[static_cast<int>(ev.Button)];
        const HWND target = user.WindowFromPoint(m_mouse);
        PostInput("mouse-down", target, b.Down, b.Keys, m_mouse);
        if (target != 0) {
            Point client = m_mouse;
            user.ScreenToClient(target, &client);
            user.PostMessage(target, b.Up, 0, MAKELPARAM(client.X, client.Y));
        }
        break;
    }
    case ScriptAction::KeyDown: {
        // Keys go to the window in the foreground, else to the saver window.
        HWND target = user.GetForegroundWindow();
        if (!OnScreen(user, target)) {
            target = SaverWindow();
        }
        PostInput("key-down", target, WM_KEYDOWN, ev.Key, {});
        if (target != 0) {
            // Repeat count 1; for the release, the key was down and is going up.
            user.PostMessage(target, WM_KEYUP, ev.Key, static_cast<LPARAM>(0xC0000001u));
        }
        break;
    }
    case ScriptAction::Close:
        PostInput("close", SaverWindow(), WM_CLOSE, 0, {});
        break;
    case ScriptAction::Click:
    case ScriptAction::Scroll:
    case ScriptAction::Check:
        DeliverFormEvent(ev);
        break;
    case ScriptAction::DestroyHost:
        m_os->Trace().Emit("input",
                           {{"kind", "destroy-host"}, {"hwnd", m_hostAlive ? m_hostWnd : 0}});
        HostWindowGone();
        break;
    }
}

void HeadlessHost::EndLikeUser() {
    // A person ends a saver with a click on it: the topmost window that takes input.
    WindowManager& user = m_os->User();
    const auto& order = user.ZOrder();
    HWND target = 0;
    for (auto it = order.rbegin(); it != order.rend() && target == 0; ++it) {
        if (OnScreen(user, *it) && user.IsWindowEnabled(*it)) {
            target = *it;
        }
    }
    Rect r;
    if (target != 0 && FormViewOf(target) != nullptr) {
        // A dialog is ended with its close box, not with a click somewhere on it.
        PostInput("duration", target, WM_CLOSE, 0, {});
    } else if (target != 0 && user.GetWindowRect(target, &r)) {
        m_mouse = {r.Left + r.Width() / 2, r.Top + r.Height() / 2};
        PostInput("duration", target, WM_LBUTTONDOWN, MK_LBUTTON, m_mouse);
        Point client = m_mouse;
        user.ScreenToClient(target, &client);
        user.PostMessage(target, WM_LBUTTONUP, 0, MAKELPARAM(client.X, client.Y));
    } else {
        m_os->Trace().Emit("input", {{"kind", "duration"}, {"hwnd", 0}});
    }
    // A preview ends when its host goes: the person closes the display settings.
    HostWindowGone();
}

void HeadlessHost::DeliverInput() {
    const uint32_t now = m_os->Clock().GetTickCount();
    while (m_nextEvent < m_script.Timed.size() &&
           static_cast<uint32_t>(m_script.Timed[m_nextEvent].AtMs) <= now) {
        // Taken off the list before it is delivered: taking the host window away sends
        // WM_DESTROY at once, and a handler that processes messages comes back here.
        const ScriptEvent ev = m_script.Timed[m_nextEvent++];
        Deliver(ev);
    }
    if (m_durationMs && !m_durationDone && now >= static_cast<uint32_t>(*m_durationMs)) {
        m_durationDone = true;
        EndLikeUser();
    }
}

void HeadlessHost::WaitForInput(uint32_t untilTick, uint32_t /*latestTick*/) {
    // Nothing happens here but at the times the events file, --duration, the snapshots and
    // the recording name: sleep until the first of them. Nothing is presented, so there is
    // nothing to wait for beyond untilTick.
    const Clock& clock = m_os->Clock();
    const uint32_t now = clock.GetTickCount();
    uint32_t until = untilTick;
    const auto sooner = [&](int64_t tick) {
        const auto t = static_cast<uint32_t>(tick);
        if (static_cast<int32_t>(t - now) < static_cast<int32_t>(until - now)) {
            until = t;
        }
    };
    if (m_nextEvent < m_script.Timed.size()) {
        sooner(m_script.Timed[m_nextEvent].AtMs);
    }
    if (m_durationMs && !m_durationDone) {
        sooner(*m_durationMs);
    }
    if (m_nextSnapshot < m_snapshots.size()) {
        sooner(m_snapshots[m_nextSnapshot].AtMs);
    }
    if (Recording() && FrameDue(m_nextFrame, FrameTime(m_nextFrame))) {
        sooner(FrameTime(m_nextFrame));
    }
    if (m_wakeFd < 0) {
        std::this_thread::sleep_until(clock.TimeOfTick(until));
        return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        clock.TimeOfTick(until) - std::chrono::steady_clock::now());
    if (left.count() > 0) {
        pollfd wake{m_wakeFd, POLLIN, 0};
        // Rounded up, so that the wait never ends before the deadline it was given.
        poll(&wake, 1, static_cast<int>(std::min<int64_t>(left.count() + 1, 1 << 30)));
    }
}

void HeadlessHost::DrawWindow(HWND wnd, const Rect& clip) {
    WindowManager& user = m_os->User();
    Rect r;
    const Surface* s = user.WindowSurface(wnd);
    if (!s || !user.GetWindowRect(wnd, &r)) {
        return;
    }
    const Rect visible =
        r.Intersect(clip).Intersect({r.Left, r.Top, r.Left + s->Width(), r.Top + s->Height()});
    if (visible.Empty()) {
        return;
    }
    const int32_t width = visible.Width();
    if (s->Format() == PixelFormat::Xrgb32) {
        for (int32_t y = visible.Top; y < visible.Bottom; ++y) {
            std::memcpy(m_screen.Row32(y) + visible.Left,
                        s->Row32(y - r.Top) + (visible.Left - r.Left),
                        static_cast<size_t>(width) * 4);
        }
    } else {
        uint32_t colours[256];
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD& q = s->Colors()[static_cast<size_t>(i)];
            colours[i] = (static_cast<uint32_t>(q.Red) << 16) |
                         (static_cast<uint32_t>(q.Green) << 8) | q.Blue;
        }
        for (int32_t y = visible.Top; y < visible.Bottom; ++y) {
            const uint8_t* in = s->Row(y - r.Top) + (visible.Left - r.Left);
            uint32_t* out = m_screen.Row32(y) + visible.Left;
            for (int32_t x = 0; x < width; ++x) {
                out[x] = colours[in[x]];
            }
        }
    }
    for (HWND c = user.NextChild(wnd, 0); c != 0; c = user.NextChild(wnd, c)) {
        if (user.IsWindowVisible(c)) {
            DrawWindow(c, visible);
        }
    }
}

PixelView HeadlessHost::ComposeView() {
    WindowManager& user = m_os->User();
    const Rect screen = m_screen.Bounds();
    PaintForms();
    for (int32_t y = 0; y < screen.Bottom; ++y) {
        std::memcpy(m_screen.Row32(y), m_desktop.Row32(y), static_cast<size_t>(screen.Right) * 4);
    }
    // The host window belongs to another program, beneath the program's own windows.
    if (m_hostAlive) {
        DrawWindow(m_hostWnd, screen);
    }
    for (HWND wnd : user.ZOrder()) {
        if (user.IsWindowVisible(wnd)) {
            DrawWindow(wnd, screen);
        }
    }
    const Rect view = m_hostWnd != 0 ? m_hostRect.Intersect(screen) : screen;
    const int32_t stride = m_screen.Stride() / 4;
    return {m_screen.Row32(0) + static_cast<size_t>(view.Top) * static_cast<size_t>(stride) +
                view.Left,
            view.Width(), view.Height(), stride};
}

void HeadlessHost::TakeSnapshot(const Snapshot& shot, PixelView view) {
    std::string error;
    const bool ok = WritePng(shot.File, view, &error);
    if (ok) {
        m_os->Trace().Emit(
            "snapshot",
            {{"file", shot.File}, {"at", shot.AtMs}, {"time", m_os->Clock().GetTickCount()}});
    } else {
        m_os->Trace().Emit("snapshot", {{"file", shot.File}, {"at", shot.AtMs}, {"error", error}});
        std::fprintf(stderr, "snapshot: %s\n", error.c_str());
        if (m_failure.empty()) {
            m_failure = error;
        }
    }
}

uint32_t HeadlessHost::FrameTime(uint64_t frame) const {
    return static_cast<uint32_t>(frame * 1000 / static_cast<uint64_t>(m_fps));
}

bool HeadlessHost::FrameDue(uint64_t frame, uint32_t now) const {
    if (FrameTime(frame) > now) {
        return false;
    }
    // A video recording of a run with --duration is exactly that long: its frames are
    // those shown before the end.
    return !m_movie || !m_durationMs || FrameTime(frame) < static_cast<uint32_t>(*m_durationMs);
}

void HeadlessHost::AddFrames(const PixelView& view, uint32_t now) {
    if (m_gif.IsOpen()) {
        // Frames whose time passed while the clock jumped show the same picture, so the
        // one frame taken stands for all of them.
        if (!m_gif.AddFrame(view, FrameTime(m_nextFrame)) && m_failure.empty()) {
            m_failure = m_gif.Error();
        }
        while (FrameTime(m_nextFrame) <= now) {
            ++m_nextFrame;
        }
        return;
    }
    // A video has a frame for every period: those whose time passed while the clock
    // jumped show the same picture. The sound goes with them, as far as the clock has
    // gone.
    while (FrameDue(m_nextFrame, now)) {
        if ((!m_movie->AddFrame(view) || !m_movie->SoundUntil(now)) && m_failure.empty()) {
            m_failure = m_movie->Error();
        }
        ++m_nextFrame;
    }
}

void HeadlessHost::AfterMessages() {
    const uint32_t now = m_os->Clock().GetTickCount();
    const bool shotDue = m_nextSnapshot < m_snapshots.size() &&
                         static_cast<uint32_t>(m_snapshots[m_nextSnapshot].AtMs) <= now;
    const bool frameDue = Recording() && FrameDue(m_nextFrame, now);
    m_progress->Update(now, m_movie ? m_movie->FrameCount() : m_nextFrame);
    if (!shotDue && !frameDue) {
        return;
    }
    const PixelView view = ComposeView();
    while (m_nextSnapshot < m_snapshots.size() &&
           static_cast<uint32_t>(m_snapshots[m_nextSnapshot].AtMs) <= now) {
        TakeSnapshot(m_snapshots[m_nextSnapshot++], view);
    }
    if (frameDue) {
        AddFrames(view, now);
    }
}

int HeadlessHost::MessageBoxAnswer(std::string_view text, std::string_view, uint32_t flags) {
    const ButtonSet& set = ButtonsOf(flags);
    const uint32_t defaultIndex = (flags & MB_DEFMASK) >> 8;
    const int fallback =
        set.Buttons[defaultIndex < static_cast<uint32_t>(set.Count) ? defaultIndex : 0];
    if (m_script.MessageBoxAnswers.empty()) {
        return fallback;
    }
    const int answer = m_script.MessageBoxAnswers.front();
    m_script.MessageBoxAnswers.pop_front();
    if (std::find(set.Buttons, set.Buttons + set.Count, answer) == set.Buttons + set.Count) {
        // A box cannot answer with a button it does not have; a person pressing Escape
        // there gets its default button.
        std::fprintf(stderr,
                     "events: the message box \"%.*s\" has no such button; its default is taken\n",
                     static_cast<int>(text.size()), text.data());
        return fallback;
    }
    return answer;
}

PasswordAnswer HeadlessHost::PasswordPrompt() {
    if (m_script.PasswordAnswers.empty()) {
        return PasswordAnswer::Cancel;
    }
    ScriptedPassword answer = std::move(m_script.PasswordAnswers.front());
    m_script.PasswordAnswers.pop_front();
    // Typed text is for the password component, which judges it; this dialog cannot.
    return answer.Typed ? PasswordAnswer::Reject : answer.Answer;
}

std::optional<std::string> HeadlessHost::AskPassword(HWND /*owner*/) {
    if (m_script.PasswordAnswers.empty()) {
        return std::nullopt;
    }
    ScriptedPassword answer = std::move(m_script.PasswordAnswers.front());
    m_script.PasswordAnswers.pop_front();
    if (m_os) {
        m_os->Clock().Advance(static_cast<uint32_t>(answer.TakesMs));
    }
    if (!answer.Typed && answer.Answer == PasswordAnswer::Accept && !m_verdictNoted) {
        m_verdictNoted = true;
        std::fprintf(stderr,
                     "events: 'answer password accept' types nothing into the "
                     "password prompt (use 'answer password type TEXT'); it is cancelled\n");
    }
    return std::move(answer.Typed);
}

std::optional<ChangePasswordAnswer>
HeadlessHost::AskChangePassword(HWND /*owner*/, const ChangePasswordQuestion& question) {
    if (m_script.ChangeAnswers.empty()) {
        return std::nullopt;
    }
    ScriptedChange answer = std::move(m_script.ChangeAnswers.front());
    m_script.ChangeAnswers.pop_front();
    if (m_os) {
        m_os->Clock().Advance(static_cast<uint32_t>(answer.TakesMs));
    }
    if (answer.Cancel) {
        return std::nullopt;
    }
    return ChangePasswordAnswer{std::move(answer.Old), std::move(answer.New),
                                std::move(answer.Confirm),
                                answer.Protect.value_or(question.UsePassword)};
}

void HeadlessHost::Finish() {
    if (m_finished || !m_os) {
        return;
    }
    m_finished = true;
    const uint32_t now = m_os->Clock().GetTickCount();
    // Snapshots for times the run did not reach show the screen as the run left it.
    const bool movie = m_movie && m_movie->IsOpen();
    if (m_nextSnapshot < m_snapshots.size() || (Recording() && m_nextFrame == 0)) {
        const PixelView view = ComposeView();
        while (m_nextSnapshot < m_snapshots.size()) {
            TakeSnapshot(m_snapshots[m_nextSnapshot++], view);
        }
        if (m_gif.IsOpen() && m_nextFrame == 0) {
            m_gif.AddFrame(view, 0);
        }
        if (movie && m_nextFrame == 0) {
            // A video has at least the screen as the run left it.
            m_movie->AddFrame(view);
            ++m_nextFrame;
        }
    }
    if (movie) {
        m_os->Media().SetListener(nullptr);
        if (!m_movie->Finish() && m_failure.empty()) {
            m_failure = m_movie->Error();
        }
    }
    m_progress->Done(now, m_movie ? m_movie->FrameCount() : m_nextFrame);
    if (m_gif.IsOpen() && !m_gif.Finish(now, 1000 / static_cast<uint32_t>(m_fps)) &&
        m_failure.empty()) {
        m_failure = m_gif.Error();
    }
    if (!m_failure.empty()) {
        throw PlatformError(m_failure);
    }
}

} // namespace qv
