#include "platform/scripted_media.h"

#include "platform/paths.h"

namespace qv {
namespace {

class ScriptedElement : public MediaElement {
public:
    ScriptedElement(const ScriptedMedia& media, std::vector<uint32_t>& requests)
        : m_media(media), m_requests(requests) {
        if (m_media.HasVideo) {
            const Size s = m_media.NaturalSize;
            m_frame.Width = s.Width;
            m_frame.Height = s.Height;
            m_frame.Stride = s.Width * 4;
            m_pixels.resize(static_cast<size_t>(s.Width) * static_cast<size_t>(s.Height));
            m_frame.Pixels = reinterpret_cast<const uint8_t*>(m_pixels.data());
        }
    }

    bool HasVideo() const override { return m_media.HasVideo; }
    Size NaturalSize() const override { return m_media.HasVideo ? m_media.NaturalSize : Size{}; }
    uint32_t LengthMs() const override { return m_media.LengthMs; }

    const MediaFrame* FrameAt(uint32_t positionMs) override {
        m_requests.push_back(positionMs);
        if (!m_media.HasVideo || m_pixels.empty()) {
            return nullptr;
        }
        const uint32_t n = positionMs / (m_media.FrameMs == 0 ? 1 : m_media.FrameMs);
        if (static_cast<int64_t>(n) != m_frame.Serial) {
            std::fill(m_pixels.begin(), m_pixels.end(), ScriptedFrameColor(n));
            m_frame.Serial = n;
        }
        return &m_frame;
    }

private:
    ScriptedMedia m_media;
    std::vector<uint32_t>& m_requests;
    std::vector<uint32_t> m_pixels;
    MediaFrame m_frame;
};

} // namespace

uint32_t ScriptedFrameColor(uint32_t frame) {
    // Distinct, non-black colours for neighbouring frames.
    return 0x00204060u + ((frame * 0x00010307u) & 0x003F3F3Fu) + 0x00800000u * (frame & 1);
}

void ScriptedMediaBackend::Script(const std::string& fileName, const ScriptedMedia& media) {
    m_media[UpperCase(fileName)] = media;
}

std::unique_ptr<MediaElement> ScriptedMediaBackend::Open(const std::filesystem::path& file,
                                                         MCIERROR* error) {
    ScriptedMedia media;
    auto it = m_media.find(UpperCase(file.filename().string()));
    if (it != m_media.end()) {
        media = it->second;
    }
    if (media.OpenError != 0) {
        *error = media.OpenError;
        return nullptr;
    }
    *error = 0;
    return std::make_unique<ScriptedElement>(media, m_frameRequests);
}

} // namespace qv
