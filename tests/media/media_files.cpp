#include "media_files.h"

#include "test_support.h"

#include <stdexcept>

namespace qv::test {

namespace fs = std::filesystem;

uint32_t TopColour(int n) {
    return (static_cast<uint32_t>(n * 9) << 16) | 0x00007F10u;
}

uint32_t BottomColour(int n) {
    return 0x00F00000u | (static_cast<uint32_t>(255 - n * 7) << 8) | static_cast<uint32_t>(n * 3);
}

bool RunTool(const std::string& program, const std::vector<std::string>& args, const fs::path& cwd,
             std::string* error) {
    const RunResult r = Run(program, args, cwd, 60000);
    if (r.ExitCode != 0) {
        *error = program + " failed: " + r.Err;
        return false;
    }
    return true;
}

fs::path MakeSineWav(const fs::path& dir, const std::string& name, const std::string& seconds) {
    std::string error;
    if (!RunTool("/usr/bin/sox",
                 {"-n", "-r", "22050", "-c", "1", name, "synth", seconds, "sine", "440"}, dir,
                 &error)) {
        throw std::runtime_error(error);
    }
    return dir / name;
}

fs::path MakePaintedClip(const fs::path& dir, const std::string& name) {
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(kClipFrames) * kClipW * kClipH * 4);
    for (int n = 0; n < kClipFrames; ++n) {
        for (int y = 0; y < kClipH; ++y) {
            const uint32_t c = y < kClipH / 2 ? TopColour(n) : BottomColour(n);
            for (int x = 0; x < kClipW; ++x) {
                raw.insert(raw.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                       static_cast<uint8_t>(c >> 16), 0});
            }
        }
    }
    const fs::path frames = dir / (name + ".raw");
    WriteFile(frames, raw);
    std::string error;
    const bool ok = RunTool("/usr/bin/gst-launch-1.0",
                            {"-q", "filesrc", "location=" + frames.string(), "!", "rawvideoparse",
                             "width=" + std::to_string(kClipW), "height=" + std::to_string(kClipH),
                             "format=bgrx", "framerate=25/1", "!", "avimux", "!", "filesink",
                             "location=" + name},
                            dir, &error);
    fs::remove(frames);
    if (!ok) {
        throw std::runtime_error(error);
    }
    return dir / name;
}

} // namespace qv::test
