#pragma once

// What both password components share: the services they were given, the registry value
// that holds the password's hash, and the hashing itself (libcrypt, yescrypt).

#include "platform/component_api.h"

#include <crypt.h>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string.h>
#include <string>

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace qv::component {

inline constexpr const char* kDesktopKey = "Control Panel\\desktop";
inline constexpr const char* kUsePasswordValue = "ScreenSaveUsePassword";
// The salted hash of the saver password, as crypt(3) writes it ("$y$..."); never the password.
inline constexpr const char* kHashValue = "ScreenSave_Data";

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegDword = 4;

// The services this component was attached with, or nullptr.
inline const QvComponentServices*& Services() {
    static const QvComponentServices* services = nullptr;
    return services;
}

inline void Trace(const char* event, const char* fields) {
    if (const QvComponentServices* s = Services(); s && s->Trace) {
        s->Trace(s->Context, event, fields);
    }
}

// The stored hash, or nothing when none is set (or it is not text).
inline std::optional<std::string> ReadHash() {
    const QvComponentServices* s = Services();
    uint8_t data[512];
    uint32_t size = sizeof data;
    uint32_t type = 0;
    if (!s || s->RegQueryValue(s->Context, kDesktopKey, kHashValue, &type, data, &size) != 0 ||
        type != kRegSz || size == 0) {
        return std::nullopt;
    }
    std::string hash(reinterpret_cast<const char*>(data), size);
    hash.resize(std::strlen(hash.c_str()));
    if (hash.empty()) {
        return std::nullopt;
    }
    return hash;
}

// Whether `typed` is the password that `hash` was made from. The comparison takes the same
// time wherever the texts differ.
inline bool Matches(const char* typed, const std::string& hash) {
    crypt_data data{};
    const char* out = crypt_r(typed, hash.c_str(), &data);
    bool same = out && out[0] != '*' && std::strlen(out) == hash.size();
    if (same) {
        unsigned char diff = 0;
        for (size_t i = 0; i < hash.size(); ++i) {
            diff |= static_cast<unsigned char>(out[i] ^ hash[i]);
        }
        same = diff == 0;
    }
    explicit_bzero(&data, sizeof data);
    return same;
}

// A new salted yescrypt hash of `password` (random salt from the system), or nothing.
inline std::optional<std::string> MakeHash(const char* password) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof salt)) {
        return std::nullopt;
    }
    crypt_data data{};
    const char* out = crypt_r(password, salt, &data);
    std::optional<std::string> hash;
    if (out && out[0] != '*') {
        hash = out;
    }
    explicit_bzero(&data, sizeof data);
    return hash;
}

} // namespace qv::component
