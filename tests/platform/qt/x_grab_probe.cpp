// Another X client beside the player, for the screen lock's tests: it maps a window that
// takes key presses, gives it the input focus, and answers lines on standard input:
//
//   grab   tries to grab the pointer and the keyboard; prints "pointer S keyboard S" with
//          the X grab status (0 = had, 1 = another client has it) and lets go again
//   keys   prints "keys N": the key presses its window has received so far
//   focus  gives its window the input focus again; prints "focused"
//   hold   grabs the pointer and the keyboard and keeps them; prints "held S S"
//   release  lets them go; prints "released"
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <xcb/xcb.h>

namespace {

void Sync(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace

int main() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x_grab_probe: no display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {0x808080, 1, XCB_EVENT_MASK_KEY_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 10, 10, 60, 40, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, w);
    Sync(c);
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
    Sync(c);
    std::printf("%u\n", w);
    std::fflush(stdout);
    int keys = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        Sync(c);
        while (xcb_generic_event_t* ev = xcb_poll_for_event(c)) {
            if ((ev->response_type & 0x7F) == XCB_KEY_PRESS) {
                ++keys;
            }
            std::free(ev);
        }
        if (line == "grab") {
            xcb_grab_pointer_reply_t* p = xcb_grab_pointer_reply(
                c,
                xcb_grab_pointer(c, 0, w, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
                                 XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                nullptr);
            xcb_grab_keyboard_reply_t* k =
                xcb_grab_keyboard_reply(c,
                                        xcb_grab_keyboard(c, 0, w, XCB_CURRENT_TIME,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                        nullptr);
            std::printf("pointer %d keyboard %d\n", p ? p->status : -1, k ? k->status : -1);
            std::free(p);
            std::free(k);
            xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
            xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
            Sync(c);
        } else if (line == "hold") {
            xcb_grab_pointer_reply_t* p = xcb_grab_pointer_reply(
                c,
                xcb_grab_pointer(c, 0, w, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
                                 XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                nullptr);
            xcb_grab_keyboard_reply_t* k =
                xcb_grab_keyboard_reply(c,
                                        xcb_grab_keyboard(c, 0, w, XCB_CURRENT_TIME,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                        nullptr);
            std::printf("held %d %d\n", p ? p->status : -1, k ? k->status : -1);
            std::free(p);
            std::free(k);
        } else if (line == "release") {
            xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
            xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
            Sync(c);
            std::printf("released\n");
        } else if (line == "keys") {
            std::printf("keys %d\n", keys);
        } else if (line == "focus") {
            xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
            Sync(c);
            std::printf("focused\n");
        }
        std::fflush(stdout);
    }
    xcb_disconnect(c);
    return 0;
}
