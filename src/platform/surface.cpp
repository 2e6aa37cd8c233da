#include "platform/surface.h"

namespace qv {

Surface::Surface(int32_t width, int32_t height, PixelFormat format)
    : m_width(width < 0 ? 0 : width), m_height(height < 0 ? 0 : height), m_format(format) {
    // Rows are padded to 4 bytes, as device-independent bitmaps are.
    const int32_t bytesPerRow = format == PixelFormat::Indexed8 ? m_width : m_width * 4;
    m_stride = (bytesPerRow + 3) & ~3;
    m_bytes.assign(static_cast<size_t>(m_stride) * static_cast<size_t>(m_height), 0);
}

uint32_t Surface::PixelRgb(int32_t x, int32_t y) const {
    if (m_format == PixelFormat::Xrgb32) {
        return Row32(y)[x] & 0xFFFFFFu;
    }
    const RGBQUAD& q = m_colors[Row(y)[x]];
    return (static_cast<uint32_t>(q.Red) << 16) | (static_cast<uint32_t>(q.Green) << 8) | q.Blue;
}

} // namespace qv
