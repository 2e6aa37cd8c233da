#pragma once

#include "platform/headless/event_script.h"
#include "platform/headless/image_files.h"
#include "platform/headless/movie_recorder.h"
#include "platform/headless/progress_line.h"
#include "platform/host.h"
#include "platform/password_host.h"

#include <memory>
#include <string>
#include <vector>

namespace qv {

class HeadlessFormView;

// The virtual display host: every window is a surface in memory, a desktop image stands
// for the user's desktop, input and answers come from an events file, and snapshots and
// recordings are taken on the clock. It runs only when asked for (--display=headless or
// no display) and drives every test.
//
// The preview's host window: when the program's second argument is a decimal window
// handle (the desktop starts a preview as "/p N"), that handle names a virtual host window
// of --host-size (at most the screen's), centred on the screen, which exists until the events file
// says "destroy-host" or --duration is reached. Snapshots and recordings then show that window's
// rectangle only.
//
// The password component's prompts take the events file's "answer password type TEXT"
// and "answer change-password ..." lines in order, each moving the virtual clock on by the
// time it takes; without one left, a prompt is cancelled. Nothing is drawn for them.
class HeadlessHost : public Host, public PasswordHost {
public:
    // Reads the events file and the desktop image and creates the recording; throws
    // UsageError for what cannot be used. Video recordings (WebM, MP4) are written
    // through the backend that movies makes; without one only GIF can be recorded.
    explicit HeadlessHost(const HostOptions& options, MovieBackendFactory movies = nullptr);
    ~HeadlessHost() override;

    std::string_view Name() const override { return "headless"; }
    void Attach(Platform& os) override;
    Size ScreenSize() const override { return m_screenSize; }
    Surface& Desktop() override { return m_desktop; }
    void DeliverInput() override;
    void AfterMessages() override;
    void WaitForInput(uint32_t untilTick, uint32_t latestTick) override;
    void WatchWakeFd(int fd) override { m_wakeFd = fd; }
    std::optional<Rect> ForeignWindow(HWND wnd) override;
    int MessageBoxAnswer(std::string_view text, std::string_view caption, uint32_t flags) override;
    PasswordAnswer PasswordPrompt() override;
    std::unique_ptr<FormView> CreateFormView(Form& form) override;
    std::optional<std::string> AskPassword(HWND owner) override;
    std::optional<ChangePasswordAnswer>
    AskChangePassword(HWND owner, const ChangePasswordQuestion& question) override;
    void Finish() override;

    static std::unique_ptr<Host> Create(const HostOptions& options);
    static std::unique_ptr<Host> CreateWithMovies(const HostOptions& options,
                                                  MovieBackendFactory movies);

    // The screen as a person would see it now: the desktop, then the visible top-level
    // windows bottom to top with their children inside them; for a preview, the virtual
    // host window's rectangle only. Valid until the next call.
    PixelView ComposeView();
    HWND VirtualHostWindow() const { return m_hostWnd; }
    Point MousePosition() const { return m_mouse; }

    // Forms (headless/forms.cpp): the views of the forms that exist, and whether any
    // scripted input is still to come (timed events, or the --duration end).
    void AddFormView(HeadlessFormView* view) { m_formViews.push_back(view); }
    void RemoveFormView(HeadlessFormView* view);
    bool InputPending() const;

private:
    int m_wakeFd = -1;
    void Deliver(const ScriptEvent& ev);
    void DeliverFormEvent(const ScriptEvent& ev);
    const HeadlessFormView* FormViewOf(HWND wnd) const;
    // Draws the forms whose look changed since they were last drawn.
    void PaintForms();
    void EndLikeUser();
    void HostWindowGone();
    // The window a scripted close or key goes to: the topmost visible top-level window, or
    // in a preview the program's window inside the host window.
    HWND SaverWindow() const;
    void PostInput(const char* kind, HWND target, uint32_t message, WPARAM wParam, Point screen);
    void DrawWindow(HWND wnd, const Rect& clip);
    void TakeSnapshot(const Snapshot& shot, PixelView view);
    uint32_t FrameTime(uint64_t frame) const;
    bool Recording() const { return m_gif.IsOpen() || (m_movie && m_movie->IsOpen()); }
    // Whether frame number frame belongs to the recording.
    bool FrameDue(uint64_t frame, uint32_t now) const;
    void AddFrames(const PixelView& view, uint32_t now);

    Platform* m_os = nullptr;
    Size m_screenSize;
    Size m_hostSize;
    std::optional<int32_t> m_durationMs;
    bool m_durationDone = false;
    std::vector<Snapshot> m_snapshots; // in time order
    size_t m_nextSnapshot = 0;
    int32_t m_fps = 25;
    uint64_t m_nextFrame = 0;
    EventScript m_script;
    size_t m_nextEvent = 0;
    Surface m_desktop;
    Surface m_screen; // composition buffer, reused
    Point m_mouse;
    HWND m_hostWnd = 0;
    bool m_hostAlive = false;
    Rect m_hostRect;
    GifRecorder m_gif;
    std::unique_ptr<MovieRecorder> m_movie;
    std::optional<ProgressLine> m_progress;
    std::string m_failure; // the first snapshot or recording failure
    bool m_finished = false;
    std::vector<HeadlessFormView*> m_formViews;
    bool m_verdictNoted = false;
};

} // namespace qv
