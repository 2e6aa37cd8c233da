#pragma once

#include "media/sound.h"
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

    // The media player of the run and the state of the show's sound.
    MediaState Media;
};

} // namespace qv
