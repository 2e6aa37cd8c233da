#pragma once

#include "platform/host_options.h"
#include "platform/surface.h"
#include "platform/user.h"

#include <memory>
#include <string_view>

namespace qv {

class Form;
class FormView;
class Platform;

// What a host can do. The layers above ask this, never the host's name.
struct HostCapabilities {
    // A person watches the screen as it is drawn: the clock is real unless --clock says
    // otherwise, and sound is played aloud on the real clock.
    bool LiveDisplay = false;
};

// The contract every display host fills in: what the portable platform cannot know by
// itself. The headless host implements all of it and drives every test; the window host
// shows real windows. The platform owns windows, queue, clock and drawing; a host only
// supplies input, answers and the screen, and shows what was drawn.
class Host {
public:
    virtual ~Host() = default;

    virtual std::string_view Name() const = 0;
    virtual HostCapabilities Capabilities() const { return {}; }

    // Called once, when the platform is ready, before any window exists.
    virtual void Attach(Platform& os) = 0;

    // The screen: its size and depth (GetDeviceCaps BITSPIXEL).
    virtual Size ScreenSize() const = 0;
    virtual int32_t BitsPerPixel() const { return 32; }

    // The image of the user's desktop (screen-sized, the screen's format), read through
    // the desktop window's device context.
    virtual Surface& Desktop() = 0;

    // Start of a round of message processing: post the input that is due (real events, or
    // scripted events whose time has come) to the window manager's queue.
    virtual void DeliverInput() = 0;
    // End of a round: show changed surfaces, take the snapshots and recording frames due.
    virtual void AfterMessages() = 0;
    // Between rounds on the real clock, with no message waiting: blocks until input
    // arrives (left for the next round to deliver) or the tick count reaches a time from
    // untilTick to latestTick, whichever comes first. Within that span the host picks the
    // time (a window host: its next present, so that the drawing of several short steps is
    // shown at once); latestTick == untilTick asks for untilTick itself. The default
    // returns at once.
    virtual void WaitForInput(uint32_t /*untilTick*/, uint32_t /*latestTick*/) {}
    // A file descriptor whose readability ends WaitForInput as input does (the termination
    // signals' pipe). The host only wakes on it; the platform reads it.
    virtual void WatchWakeFd(int /*fd*/) {}

    // Window life, for hosts that mirror windows.
    virtual void WindowCreated(HWND /*wnd*/) {}
    virtual void WindowDestroyed(HWND /*wnd*/) {}
    virtual void WindowShown(HWND /*wnd*/, bool /*visible*/) {}
    virtual void CursorChanged(Cursor /*screen*/) {}

    // A foreign window that the program was given a handle of (/p ID): its screen
    // rectangle while it exists. A host registers such a window with
    // WindowManager::AdoptForeignWindow when it learns the handle (the headless host: the
    // program's second argument, when it is a decimal number); IsWindow and GetWindowRect
    // then ask here, and the host calls ForeignWindowGone when the window goes away.
    virtual std::optional<Rect> ForeignWindow(HWND /*wnd*/) { return std::nullopt; }

    // Answers to modal questions (the headless host takes them in order from the events
    // file; without one, a message box gets its default button and a password dialog is
    // cancelled).
    virtual int MessageBoxAnswer(std::string_view text, std::string_view caption,
                                 uint32_t flags) = 0;
    virtual PasswordAnswer PasswordPrompt() = 0;
    // Opens what a WinExec command line stands for; the platform passes only the display
    // settings command (kDisplaySettingsCommand). False when this host does not run it.
    virtual bool RunCommand(std::string_view /*commandLine*/) { return false; }

    // Forms (platform/forms.h): the host's realisation of a form, made when the form is
    // made. A host without one leaves the form unseen; a modal run of it then ends at once,
    // as if its close box had been used.
    virtual std::unique_ptr<FormView> CreateFormView(Form& form); // in forms.cpp

    // The run is over: finish recordings. Throws PlatformError when a snapshot or the
    // recording could not be written, so that the run does not end as a success.
    virtual void Finish() {}
};

// The hosts, chosen by --display: a table of {name, create}.
struct HostEntry {
    const char* Name;
    std::unique_ptr<Host> (*Create)(const HostOptions& options);
};

} // namespace qv
