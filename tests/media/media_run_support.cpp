#include "media_run_support.h"

#include "platform/gst/gst_media.h"
#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "saver/player.h"
#include "saver/saver.h"
#include "show/show_writer.h"

#include <png.h>
#include <stdexcept>

namespace qv::test {

namespace fs = std::filesystem;

namespace {

void PutInt(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    }
}

// A 16 x 16 picture record in two colour bands, stored raw.
std::vector<uint8_t> PictureRecord() {
    constexpr int32_t kSide = 16;
    std::vector<uint8_t> r = {'B', 'M'};
    PutInt(r, 14 + 40 + 1024 + kSide * kSide);
    PutInt(r, 0);
    PutInt(r, 14 + 40 + 1024);
    PutInt(r, 40);
    PutInt(r, kSide);
    PutInt(r, kSide);
    r.insert(r.end(), {1, 0, 8, 0});
    PutInt(r, 0);
    PutInt(r, kSide * kSide);
    PutInt(r, 0);
    PutInt(r, 0);
    PutInt(r, 256);
    PutInt(r, 256);
    for (int i = 0; i < 256; ++i) {
        r.insert(r.end(), {static_cast<uint8_t>(i), 0x80, static_cast<uint8_t>(255 - i), 0});
    }
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            r.push_back(y < kSide / 2 ? 40 : 200);
        }
    }
    return r;
}

} // namespace

ShowRecord MediaHeader(int32_t transitionType, const std::string& soundFile, int32_t soundLoop) {
    ShowRecord s;
    s.SaverTitle = "Media Test";
    s.SaverFileName = "MEDIA.SCR";
    s.AboutText = "Media test";
    s.TransitionType = transitionType;
    s.SoundFile = soundFile;
    s.SoundLoop = soundLoop;
    s.BannerPlace = "TL";
    s.BannerFont = "Arial";
    s.BannerSize = 10;
    s.BannerColor = 0x00FFFFFF;
    s.ClockPlace = "BR";
    return s;
}

std::vector<uint8_t> MakeMediaShow(const ShowRecord& header, const ShowBlock& block,
                                   bool withPicture) {
    ShowWriter w;
    WriteShowHeader(w, header);
    if (!block.Str.empty()) {
        w.WriteStr(block.Str);
    }
    for (int32_t v : block.Ints) {
        w.WriteInt(v);
    }
    for (int i = 0; i < 64; ++i) {
        w.WriteInt(0); // one picture at offset 0, or none
    }
    if (withPicture) {
        const auto record = PictureRecord();
        w.WriteBytes(record.data(), record.size());
    }
    return w.Bytes();
}

std::vector<uint8_t> SlideshowShow(const ShowRecord& header) {
    return MakeMediaShow(header, {{1, 0, 0, 300, 300}, ""}, true);
}

std::vector<uint8_t> VideoShow(const ShowRecord& header, const std::string& file, int32_t loop,
                               int32_t width, int32_t height, int32_t left, int32_t top) {
    return MakeMediaShow(header, {{loop, width, height, left, top}, file}, false);
}

MediaRun RunMediaShow(const TempDir& dir, const std::vector<uint8_t>& show,
                      const MediaRunOptions& options) {
    WriteFile(dir / "saver.qdm", show);
    fs::create_directories(dir / "root" / "windows");
    if (!options.ControlIni.empty()) {
        WriteText(dir / "root" / "windows" / "control.ini", options.ControlIni);
    }
    HostOptions o;
    o.Root = (dir / "root").string();
    // The show is found beside the saver, by the saver's own name.
    o.Args = {(dir / "saver.scr").string()};
    if (options.Role == RunRole::FullScreen) {
        o.Args.push_back("/S");
    } else {
        o.Args.push_back("/p");
        o.Args.push_back("4321");
    }
    o.Display = DisplayKind::Headless;
    o.Clock = ClockKind::Virtual;
    o.Time = "2026-03-07T14:05:09";
    o.ScreenSize = options.Screen;
    o.HostSize = options.HostSize;
    o.DurationMs = options.DurationMs;
    o.TraceFile = (dir / "trace.jsonl").string();
    if (!options.Events.empty()) {
        WriteText(dir / "events.txt", options.Events);
        o.EventsFile = (dir / "events.txt").string();
    }
    for (int32_t at : options.SnapshotsAt) {
        o.Snapshots.push_back({at, (dir / ("shot-" + std::to_string(at) + ".png")).string()});
    }
    {
        Platform os(o, HeadlessHost::Create(o));
        os.Media().SetBackend(options.Backend ? options.Backend()
                                              : CreateGstMediaBackend(GstMediaOutput::Silent));
        Application app(os);
        Player player(os, app);
        if (options.Role == RunRole::FullScreen) {
            player.Run.SaverRole = static_cast<int32_t>(SaverRoleId::FullScreen);
            RunFullScreen(player);
        } else {
            player.Run.SaverRole = static_cast<int32_t>(SaverRoleId::Preview);
            RunPreview(player);
        }
        os.Host().Finish();
    }
    MediaRun run;
    run.Trace = ReadTrace(dir / "trace.jsonl");
    run.Mci = Events(run.Trace, "mci");
    return run;
}

std::vector<std::string> MciCommands(const std::vector<nlohmann::json>& mci) {
    std::vector<std::string> out;
    for (const auto& e : mci) {
        std::string cmd = e.value("cmd", "");
        if (cmd == "notify") {
            cmd += ":" + e.value("kind", std::string());
        }
        out.push_back(cmd);
    }
    return out;
}

Picture ReadSnapshot(const TempDir& dir, int32_t atMs) {
    const fs::path file = dir / ("shot-" + std::to_string(atMs) + ".png");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) {
        throw std::runtime_error("cannot read " + file.string());
    }
    image.format = PNG_FORMAT_BGRA;
    Picture p;
    p.Width = static_cast<int32_t>(image.width);
    p.Height = static_cast<int32_t>(image.height);
    p.Pixels.resize(static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height));
    if (!png_image_finish_read(&image, nullptr, p.Pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        throw std::runtime_error("cannot decode " + file.string());
    }
    for (uint32_t& px : p.Pixels) {
        px &= 0x00FFFFFFu;
    }
    return p;
}

} // namespace qv::test
