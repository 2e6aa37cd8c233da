#pragma once

#include <filesystem>
#include <string_view>

namespace qv {

// Makes a top-level window findable by FindWindow from other processes that share the
// platform root. The marker is an exclusive flock on a file named after the window's
// class and caption in "<root>/run"; the kernel drops the lock when the process ends,
// however it ends, so a dead saver is never found. A symlink, a FIFO or anything else that
// is not a regular file in the marker's place (or a symlink in place of "run") is neither
// followed nor opened in a way that blocks: the marker is then not taken and not found.
class InstanceMarker {
public:
    InstanceMarker() = default;
    ~InstanceMarker();
    InstanceMarker(InstanceMarker&& other) noexcept;
    InstanceMarker& operator=(InstanceMarker&& other) noexcept;
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;

    // Takes the marker; false when the folder cannot be made or another holder has it.
    bool Claim(const std::filesystem::path& root, std::string_view className,
               std::string_view caption);
    void Release();
    bool Held() const { return m_fd >= 0; }

    // True when some process (this one included) holds the marker for this pair.
    static bool IsHeld(const std::filesystem::path& root, std::string_view className,
                       std::string_view caption);

    // The marker file of a class and caption.
    static std::filesystem::path PathFor(const std::filesystem::path& root,
                                         std::string_view className, std::string_view caption);

private:
    int m_fd = -1;
};

} // namespace qv
