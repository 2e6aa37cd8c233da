// libFuzzer target: any bytes as a style's parameter block, played. The first byte picks
// the transition id from the style registry (or QV_FUZZ_STYLE=ID fixes it, so that one
// style's block can be fuzzed alone); the rest is the block. Behind it the harness puts a
// picture table naming three small pictures, then runs the full-screen saver on the
// headless host for a short stretch of the virtual clock. A style must end that run by
// itself: a hang shows up as libFuzzer's timeout, a huge allocation as its memory limit.

#include "picture_record.h"
#include "platform/headless/headless_host.h"
#include "saver/saver.h"
#include "saver/style_registry.h"
#include "show/show_file.h"
#include "show/show_writer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

int32_t g_fixedStyle = 0;

struct Harness {
    fs::path Dir;
    std::vector<std::vector<uint8_t>> Pictures;

    Harness() {
        Dir = fs::temp_directory_path() / ("qv-style-fuzz-" + std::to_string(getpid()));
        fs::create_directories(Dir / "root");
        // Three pictures of different sizes, packings and colours.
        const struct {
            int32_t W, H;
            qv::tool::Compression Packing;
        } kinds[] = {{24, 16, qv::tool::Compression::Raw},
                     {13, 9, qv::tool::Compression::Rle8},
                     {40, 30, qv::tool::Compression::Scheme4}};
        int k = 0;
        for (const auto& kind : kinds) {
            qv::tool::IndexedPicture p;
            p.Width = kind.W;
            p.Height = kind.H;
            for (int i = 0; i < 256; ++i) {
                p.Palette[static_cast<size_t>(i)] =
                    qv::RGBQUAD{static_cast<uint8_t>(i * (k + 1)), static_cast<uint8_t>(255 - i),
                                static_cast<uint8_t>(i * 7), 0};
            }
            p.Pixels.assign(static_cast<size_t>(p.Stride() * p.Height), 0);
            for (size_t i = 0; i < p.Pixels.size(); ++i) {
                p.Pixels[i] = static_cast<uint8_t>((i * (k + 3)) % 19);
            }
            Pictures.push_back(qv::tool::EncodePictureRecord(p, kind.Packing));
            ++k;
        }
    }
    ~Harness() {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }

    // Header, block, picture table (entries 0..2 name the pictures, the rest the first),
    // pictures.
    void WriteShow(int32_t id, const uint8_t* block, size_t size) const {
        qv::ShowRecord rec;
        rec.SaverTitle = "Fuzz";
        rec.AboutText = "fuzz";
        rec.TransitionType = id;
        rec.BannerText = " banner ";
        rec.BannerPlace = "TM";
        rec.BannerFont = "Arial";
        rec.BannerSize = 8;
        qv::ShowWriter w;
        qv::WriteShowHeader(w, rec);
        w.WriteBytes(block, size);
        // Offsets count from the first byte after the table.
        int64_t offset = 0;
        std::vector<int64_t> starts;
        for (const auto& p : Pictures) {
            starts.push_back(offset);
            offset += static_cast<int64_t>(p.size());
        }
        for (size_t i = 0; i < 64; ++i) {
            w.WriteInt(static_cast<int32_t>(starts[i < starts.size() ? i : 0]));
        }
        for (const auto& p : Pictures) {
            w.WriteBytes(p.data(), p.size());
        }
        std::ofstream out(Dir / "fuzz.qdm", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(w.Bytes().data()),
                  static_cast<std::streamsize>(w.Size()));
    }

    void Run() const {
        qv::HostOptions o;
        o.Display = qv::DisplayKind::Headless;
        o.ScreenSize = {96, 64};
        o.DurationMs = 400;
        o.Root = (Dir / "root").string();
        o.Args = {(Dir / "fuzz.scr").string(), "/s"};
        qv::Platform os(o, qv::HeadlessHost::Create(o));
        qv::Application app(os);
        qv::ShowContext show(os);
        qv::LoadShow(show);
        if (show.Run.ShowFile < 0) {
            return;
        }
        qv::CloseShow(show);
        qv::Player player(os, app);
        player.Show = show.Show;
        player.Run = show.Run;
        player.RandSeed = show.RandSeed;
        player.Run.SaverRole = 1;
        qv::RunFullScreen(player);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    if (const char* fixed = std::getenv("QV_FUZZ_STYLE")) {
        g_fixedStyle = std::atoi(fixed);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Harness harness;
    if (size == 0) {
        return 0;
    }
    const auto styles = qv::StyleRegistry();
    const int32_t id = g_fixedStyle != 0 ? g_fixedStyle : styles[data[0] % styles.size()].Id;
    harness.WriteShow(id, data + 1, size - 1);
    harness.Run();
    return 0;
}
