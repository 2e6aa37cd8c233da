#pragma once

#include "platform/application.h"
#include "transitions/frame.h"

#include <memory>

namespace qv {

class TScreenSaverWindow;

// The whole context of one saver run: the show record, run state, engine and frame state
// (through FrameContext), the saver window, the application object, the movement test and
// the password check's guard.
struct Player : FrameContext {
    Player(Platform& os, Application& app);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    Application& App;
    std::unique_ptr<TScreenSaverWindow> SaverWindow;

    // The movement test: where the mouse was first seen, in client coordinates.
    bool MouseStartSet = false;
    int32_t MouseStartX = 0;
    int32_t MouseStartY = 0;

    // Set while a password check runs, so that input dispatched meanwhile starts no second
    // one.
    bool InPasswordCheck = false;

    // FIXME: the media player of the run (the show's sound) joins here once the media
    // layer exists; the dispatcher then prepares, starts and ends the sound.
};

} // namespace qv
