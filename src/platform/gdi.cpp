#include "platform/gdi.h"

#include "platform/host.h"
#include "platform/user.h"

namespace qv {

int32_t FontHeightFromPoints(int32_t points) {
    // -MulDiv(points, 96, 72), rounded half away from zero as MulDiv does.
    const int64_t n = static_cast<int64_t>(points) * 96;
    const int64_t q = n >= 0 ? (n + 36) / 72 : (n - 36) / 72;
    return static_cast<int32_t>(-q);
}

struct Gdi::Impl {
    WindowManager& Windows;
    Host& TheHost;
};

Gdi::Gdi(WindowManager& windows, Host& host)
    : m_impl(std::make_unique<Impl>(Impl{windows, host})) {}

Gdi::~Gdi() = default;

} // namespace qv
