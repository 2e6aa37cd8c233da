#pragma once

// Sound and video files for the media tests, made by the tests themselves: sox for sound,
// gst-launch-1.0 for video (a clip whose every frame is painted here).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// The painted clip: 64 x 48, 25 frames a second, one second long; frame n has its top
// half in TopColour(n) and its bottom half in BottomColour(n) (0x00RRGGBB). Stored as
// uncompressed BGRx in AVI, so what is decoded is exactly what was painted.
inline constexpr int32_t kClipW = 64;
inline constexpr int32_t kClipH = 48;
inline constexpr int kClipFrames = 25;
inline constexpr uint32_t kClipFrameMs = 40;
uint32_t TopColour(int n);
uint32_t BottomColour(int n);

// Runs a program (by full path) with arguments in a folder; false with the error output
// in *error when it fails.
bool RunTool(const std::string& program, const std::vector<std::string>& args,
             const std::filesystem::path& cwd, std::string* error);

// Writes file (in dir) and returns its path; throws std::runtime_error when the tool fails.
std::filesystem::path MakeSineWav(const std::filesystem::path& dir, const std::string& name,
                                  const std::string& seconds);
std::filesystem::path MakePaintedClip(const std::filesystem::path& dir, const std::string& name);

} // namespace qv::test
