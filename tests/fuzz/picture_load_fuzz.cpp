// libFuzzer target: pictures through the raster engine's loader. An input whose first
// byte has its top bit set is a whole show file (picture table and records, hostile
// offsets and headers included); any other input is the packed data of one picture whose
// size and compression the first five bytes choose, so the fuzzer spends its time inside
// the decoders. Whatever loads is then put through the palette, composition and sizing
// operations. Every block is allocated at its exact size, so the sanitizers catch a
// single byte written or read outside it.

#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "raster/engine.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct Harness {
    std::filesystem::path Dir;
    std::unique_ptr<qv::Platform> Os;
    std::unique_ptr<qv::EngineContext> Ctx;

    Harness() {
        Dir = std::filesystem::temp_directory_path() /
              ("qv-picture-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(Dir);
        qv::HostOptions o;
        o.Display = qv::DisplayKind::Headless;
        o.ScreenSize = {96, 64};
        o.Root = (Dir / "root").string();
        o.Args = {"picture_load_fuzz"};
        Os = std::make_unique<qv::Platform>(o, qv::HeadlessHost::Create(o));
        Ctx = std::make_unique<qv::EngineContext>(*Os);
        Ctx->Engine.EngineErrorHandler = [](std::string_view) {};
        // Far more than any picture needs, far less than a hostile header could ask for.
        Ctx->Engine.AllocationLimit = 16u << 20;
    }
};

// A show file holding one picture record built from the structured input.
std::vector<uint8_t> StructuredShow(const uint8_t* data, size_t size) {
    qv::BITMAPINFO info{};
    const int32_t w = 1 + (data[1] | (data[2] << 8)) % 400;
    const int32_t h = 1 + (data[3] | (data[4] << 8)) % 300;
    const uint8_t compressions[4] = {0, 1, 4, 1};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biBitCount = 8;
    info.bmiHeader.biCompression = compressions[data[0] & 3];
    info.bmiHeader.biClrUsed = 256;
    info.bmiHeader.biClrImportant = 256;
    info.bmiHeader.biSizeImage = static_cast<uint32_t>(size - 5);
    for (int i = 0; i < 256; ++i) {
        info.bmiColors[i] = qv::RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                                        static_cast<uint8_t>(i * 7), 0};
    }
    std::vector<uint8_t> file(256, 0); // every table entry points just after the table
    file.resize(file.size() + 14, 0);
    const auto* hp = reinterpret_cast<const uint8_t*>(&info);
    file.insert(file.end(), hp, hp + sizeof info);
    file.insert(file.end(), data + 5, data + size);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    qv::EngineContext& ctx = *harness.Ctx;
    if (size < 5) {
        return 0;
    }
    const std::vector<uint8_t> show =
        (data[0] & 0x80) ? std::vector<uint8_t>(data + 1, data + size) : StructuredShow(data, size);
    const auto path = harness.Dir / "show.qdm";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(show.data()),
               static_cast<std::streamsize>(show.size()));

    qv::EngineInit(ctx, 40, 30, 256, 1);
    ctx.Engine.ScreenWidth = 96;
    ctx.Engine.ScreenHeight = 64;
    qv::FileSystem& files = ctx.Os.Files();
    const qv::HFILE file = files.CreateFile(qv::PathMap::ToWindows(path), qv::FileAccess::Read,
                                            qv::FileCreation::OpenExisting);
    qv::OpenPictureTable(ctx, file);
    for (int32_t n = 0; n < 3; ++n) {
        ctx.Engine.EngineFailed = false;
        qv::LoadPicture(ctx, n);
    }
    files.CloseHandle(file);
    if (ctx.Engine.PictureCount() > 0) {
        qv::BuildCommonPalette(ctx, (data[0] & 0x40) != 0);
        qv::ShowPictureKeyed(ctx, 0, 0, 0);
        qv::DrawTiledBackground(ctx, -1, 0, -7, 5);
        qv::DrawCentredBackground(ctx, -1, ctx.Engine.PictureCount() - 1, 3, -2);
        qv::WaveRows(ctx, -1, 0, 2, 1, 5, 13, data[1]);
        qv::WaveColumns(ctx, -1, 0, -1, 2, 5, -7, data[2]);
        qv::AddScaledPicture(ctx, 0, 7, 5);
        qv::ShrinkPictures(ctx, -1);
        qv::AndPictures(ctx, 0, ctx.Engine.PictureCount() - 1);
    }
    qv::EngineShutdown(ctx);
    return 0;
}
