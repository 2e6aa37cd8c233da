#pragma once

#include <stdexcept>
#include <string>

namespace qv {

// An error raised by the platform layer where the original system raised one (a failed
// profile write, a registry value of the wrong type). An escaped one ends a run cleanly.
class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(const std::string& message) : std::runtime_error(message) {}
};

// Bad command-line input: the program prints the message and ends with exit code 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace qv

// Invariant check that names the function; on in debug and test builds, off in release.
#if defined(QV_CHECKS)
#include <cstdio>
#include <cstdlib>
#define QV_CHECK(cond)                                                                             \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s: check failed: %s (%s:%d)\n", __func__, #cond, __FILE__,      \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
#else
#define QV_CHECK(cond)                                                                             \
    do {                                                                                           \
    } while (0)
#endif
