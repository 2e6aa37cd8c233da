#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace qv {

// The trace: one JSON object per line, {"t": clock ms, "ev": name, ...fields}, for tests
// that watch a run from outside. Every line is flushed at once, so the trace of a run that
// dies is complete up to its last event. Without a file the trace costs one test per event.
class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Opens (truncates) the trace file; false when it cannot be created.
    bool Open(const std::string& file);
    bool Enabled() const { return m_file != nullptr; }

    // The time stamp of each event: the platform's tick count.
    void SetTimeSource(std::function<uint32_t()> now) { m_now = std::move(now); }

    // The fields come as a JSON object; a file that passes them includes <nlohmann/json.hpp>
    // (this header only declares the type, which keeps it cheap to include).
    void Emit(std::string_view ev);
    void Emit(std::string_view ev, nlohmann::json fields);

private:
    std::FILE* m_file = nullptr;
    std::function<uint32_t()> m_now;
};

} // namespace qv
