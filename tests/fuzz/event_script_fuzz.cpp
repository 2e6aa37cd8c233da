// libFuzzer target: any bytes as an events file. It parses, or is refused with a message
// naming the line; nothing else may happen.

#include "platform/error.h"
#include "platform/headless/event_script.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        (void)qv::ParseEventScript(std::string_view(reinterpret_cast<const char*>(data), size),
                                   "fuzz.events");
    } catch (const qv::UsageError&) {
    }
    return 0;
}
