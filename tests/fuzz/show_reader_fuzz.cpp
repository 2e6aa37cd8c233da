// libFuzzer target: any bytes as a show file, through the player's header and parameter
// readers, the show tool's info path and the picture decoders.

#include "show/show_file.h"
#include "show/style_params.h"
#include "show_info.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);

    // The player's way: header, then the style's block field by field.
    qv::MemoryShowReader reader(bytes);
    qv::ShowRecord show;
    qv::ReadShowHeader(reader, show);
    const qv::StyleEntry* style = qv::FindStyle(show.TransitionType);
    if (style) {
        qv::ParamReader params(reader, *style->Params, style->Mode);
        while (params.Next()) {
        }
    }

    // The info command's way, in both views, and its text form.
    const auto info = qv::tool::DescribeShow(bytes, qv::tool::InfoView::Player);
    (void)qv::tool::FormatShowInfo(info);
    (void)info.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    (void)qv::tool::DescribeShow(bytes, qv::tool::InfoView::Manifest);

    // Every picture the tables name, decoded as the player decodes it.
    const qv::tool::ShowLayout layout = qv::tool::LocateShow(bytes);
    for (const auto* entries : {&layout.Pictures, &layout.Logo}) {
        for (const qv::tool::TableEntry& e : *entries) {
            (void)qv::tool::DecodePictureRecord(bytes, e.Record);
        }
    }
    return 0;
}
