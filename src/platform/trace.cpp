#include "platform/trace.h"

#include <nlohmann/json.hpp>

namespace qv {

Trace::~Trace() {
    if (m_file) {
        std::fclose(m_file);
    }
}

bool Trace::Open(const std::string& file) {
    if (m_file) {
        std::fclose(m_file);
    }
    m_file = std::fopen(file.c_str(), "w");
    return m_file != nullptr;
}

void Trace::Emit(std::string_view ev) {
    if (m_file) {
        Emit(ev, nlohmann::json::object());
    }
}

void Trace::Emit(std::string_view ev, nlohmann::json fields) {
    if (!m_file) {
        return;
    }
    nlohmann::json line = nlohmann::json::object();
    line["t"] = m_now ? m_now() : 0;
    line["ev"] = ev;
    if (fields.is_object()) {
        for (auto& [key, value] : fields.items()) {
            line[key] = std::move(value);
        }
    }
    // Strings from show files are ANSI bytes, not UTF-8: replace what is not valid.
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fputs(text.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

} // namespace qv
