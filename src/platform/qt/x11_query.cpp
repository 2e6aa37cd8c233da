#include "platform/qt/x11_query.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace qv {

std::optional<Rect> QueryX11WindowRect(xcb_connection_t* connection, uint32_t window) {
    if (!connection || window == 0) {
        return std::nullopt;
    }
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (screens.rem == 0) {
        return std::nullopt;
    }
    const xcb_window_t root = screens.data->root;
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(connection, window);
    const xcb_translate_coordinates_cookie_t placeCookie =
        xcb_translate_coordinates(connection, window, root, 0, 0);

    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(connection, geometryCookie, &error);
    std::free(error);
    error = nullptr;
    xcb_translate_coordinates_reply_t* place =
        xcb_translate_coordinates_reply(connection, placeCookie, &error);
    std::free(error);

    std::optional<Rect> result;
    if (geometry && place) {
        result = Rect{place->dst_x, place->dst_y, place->dst_x + geometry->width,
                      place->dst_y + geometry->height};
    }
    std::free(geometry);
    std::free(place);
    return result;
}

std::optional<uint32_t> QueryX11RootWindow() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    std::optional<uint32_t> root;
    if (!xcb_connection_has_error(connection)) {
        const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        if (screens.rem > 0) {
            root = screens.data->root;
        }
    }
    xcb_disconnect(connection);
    return root;
}

} // namespace qv
