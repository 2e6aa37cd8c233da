#pragma once

#include "show/show_record.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Writes show-file fields into bytes: the authoring side of ShowReader, used by the show
// tool and by tests that build their own shows.
class ShowWriter {
public:
    void WriteInt(int32_t value);
    void WriteStr(std::string_view text); // the bytes, then a 0 byte
    void WriteBytes(const void* data, size_t count);
    // Overwrites an int32 written earlier (offsets known only later).
    void PatchInt(size_t offset, int32_t value);

    size_t Size() const { return m_bytes.size(); }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Header fields 1 to 30 in file order. Texts are written as the record holds them, except
// that the loader's banner padding is not added: BannerText is written as given.
// ExtraFileCount entries are written from the record's two slots (count above 2 repeats
// nothing: use raw fields for hostile files).
void WriteShowHeader(ShowWriter& w, const ShowRecord& show, int32_t spareValue = 0);

} // namespace qv
