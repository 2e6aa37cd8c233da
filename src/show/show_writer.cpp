#include "show/show_writer.h"

#include <algorithm>
#include <cstring>

namespace qv {

void ShowWriter::WriteInt(int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                          static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
    m_bytes.insert(m_bytes.end(), b, b + 4);
}

void ShowWriter::WriteStr(std::string_view text) {
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    m_bytes.push_back(0);
}

void ShowWriter::WriteBytes(const void* data, size_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + count);
}

void ShowWriter::PatchInt(size_t offset, int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4 && offset + i < m_bytes.size(); ++i) {
        m_bytes[offset + i] = static_cast<uint8_t>(u >> (8 * i));
    }
}

void WriteShowHeader(ShowWriter& w, const ShowRecord& s, int32_t spareValue) {
    w.WriteInt(s.ExtraFileCount);
    for (int32_t i = 0; i < std::min(s.ExtraFileCount, 2); ++i) {
        w.WriteInt(s.ExtraFileSize[static_cast<size_t>(i)]);
        w.WriteStr(s.ExtraFileName[static_cast<size_t>(i)]);
    }
    w.WriteInt(s.ShowDataSize);
    w.WriteInt(s.LogoOffset);
    w.WriteInt(s.DiskCount);
    w.WriteStr(s.SaverFileName);
    w.WriteStr(s.SaverTitle);
    w.WriteStr(s.AboutText);
    w.WriteInt(s.LogoKind);
    w.WriteStr(s.ClientText);
    w.WriteInt(s.TransitionType);
    w.WriteInt(0); // reserved
    w.WriteInt(0); // reserved
    w.WriteStr(s.SoundFile);
    w.WriteInt(s.SoundLoop);
    w.WriteInt(spareValue);
    w.WriteStr(s.BannerPlace);
    w.WriteStr(s.BannerText);
    w.WriteStr(s.BannerFont);
    w.WriteInt(s.BannerSize);
    w.WriteInt(s.BannerBold ? 1 : 0);
    w.WriteInt(s.BannerItalic ? 1 : 0);
    w.WriteInt(static_cast<int32_t>(s.BannerColor));
    w.WriteStr(s.ClockPlace);
    w.WriteStr(s.ClockFormat);
    w.WriteStr(s.ClockFont);
    w.WriteInt(s.ClockSize);
    w.WriteInt(s.ClockBold ? 1 : 0);
    w.WriteInt(s.ClockItalic ? 1 : 0);
    w.WriteInt(static_cast<int32_t>(s.ClockColor));
}

} // namespace qv
