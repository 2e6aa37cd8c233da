// Small X11 client for the window host's tests.
//
//   x11_helper window X Y W H RRGGBB   maps a plain window filled with the colour, prints
//                                      its ID, then on the line "destroy" on standard input
//                                      destroys it and prints "destroyed"
//   x11_helper close ID                asks window ID to close (WM_DELETE_WINDOW), as a
//                                      window manager's close button does
//   x11_helper geometry ID             prints "X Y W H" of window ID on the screen
#include "platform/qt/x11_query.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <xcb/xcb.h>

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

// Waits until the server has handled every request sent so far.
void Sync(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

int MakeWindow(xcb_connection_t* c, char** argv) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {static_cast<uint32_t>(std::strtoul(argv[6], nullptr, 16)), 1};
    xcb_create_window(
        c, XCB_COPY_FROM_PARENT, w, screen->root, static_cast<int16_t>(std::atoi(argv[2])),
        static_cast<int16_t>(std::atoi(argv[3])), static_cast<uint16_t>(std::atoi(argv[4])),
        static_cast<uint16_t>(std::atoi(argv[5])), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, w);
    Sync(c);
    std::printf("%u\n", w);
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "destroy") {
            xcb_destroy_window(c, w);
            Sync(c);
            std::printf("destroyed\n");
            std::fflush(stdout);
        }
    }
    return 0;
}

int Close(xcb_connection_t* c, xcb_window_t w) {
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = w;
    ev.type = Atom(c, "WM_PROTOCOLS");
    ev.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
    ev.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    Sync(c);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x11_helper: cannot open the display\n");
        return 2;
    }
    const std::string what = argc > 1 ? argv[1] : "";
    int code = 2;
    if (what == "window" && argc == 7) {
        code = MakeWindow(c, argv);
    } else if (what == "close" && argc == 3) {
        code = Close(c, static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 10)));
    } else if (what == "geometry" && argc == 3) {
        const auto r =
            qv::QueryX11WindowRect(c, static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)));
        if (r) {
            std::printf("%d %d %d %d\n", r->Left, r->Top, r->Width(), r->Height());
            code = 0;
        } else {
            code = 1;
        }
    } else {
        std::fprintf(stderr, "usage: x11_helper window X Y W H RRGGBB | close ID | geometry ID\n");
    }
    xcb_disconnect(c);
    return code;
}
