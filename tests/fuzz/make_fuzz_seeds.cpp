// Writes the fuzz target's seed corpus: one small show per transition id, with pictures
// in each packing, built by the show tool's own builder.

#include "png_io.h"
#include "saver/style_registry.h"
#include "show/style_params.h"
#include "show_build.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_fuzz_seeds DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);

    // A 9 x 5 picture with runs and single pixels.
    qv::tool::IndexedPicture picture;
    picture.Width = 9;
    picture.Height = 5;
    for (int i = 0; i < 8; ++i) {
        picture.Palette[static_cast<size_t>(i)] =
            qv::RGBQUAD{static_cast<uint8_t>(i * 30), static_cast<uint8_t>(200 - i * 20), 90, 0};
    }
    picture.Pixels.assign(static_cast<size_t>(picture.Stride() * picture.Height), 0);
    for (size_t i = 0; i < picture.Pixels.size(); ++i) {
        picture.Pixels[i] = static_cast<uint8_t>(i % 11 < 6 ? 3 : i % 8);
    }
    qv::tool::WritePng(dir / "seed-picture.png", picture);

    for (const qv::StyleEntry& entry : qv::StyleRegistry()) {
        const qv::StyleEntry* t = &entry;
        const int32_t id = entry.Id;
        nlohmann::json params = nlohmann::json::object();
        for (const qv::ParamField& f : t->Params->Fields) {
            if (params.contains(f.Name)) {
                continue;
            }
            switch (f.Kind) {
            case qv::ParamKind::Str:
                params[f.Name] = "CLIP.AVI";
                break;
            case qv::ParamKind::IntList:
                params[f.Name] = nlohmann::json::array();
                for (int32_t i = 0; i < params[f.CountField].get<int32_t>(); ++i) {
                    params[f.Name].push_back(i % 3);
                }
                break;
            case qv::ParamKind::Int:
                params[f.Name] = f.Min == qv::kNoMin ? 1 : std::max(f.Min, 1);
                break;
            }
        }
        // Keep only the fields present in this mode.
        qv::ParamBlock block;
        nlohmann::json present = nlohmann::json::object();
        for (const qv::ParamField& f : t->Params->Fields) {
            if (qv::FieldPresent(f, t->Mode, block) && !present.contains(f.Name)) {
                present[f.Name] = params[f.Name];
                qv::ParamValue v;
                v.Field = &f;
                v.Int = params[f.Name].is_number() ? params[f.Name].get<int32_t>() : 0;
                block.Add(v);
            }
        }
        const nlohmann::json manifest = {
            {"SaverTitle", "Seed " + std::to_string(id)},
            {"TransitionType", id},
            {"BannerText", "Banner"},
            {"ClockFormat", "hh:nn"},
            {"ExtraFileSize", {10}},
            {"ExtraFileName", {"README.TXT"}},
            {"Parameters", present},
            {"Pictures",
             {{{"File", "seed-picture.png"}, {"Compression", "raw"}},
              {{"File", "seed-picture.png"}, {"Compression", "rle8"}},
              {{"File", "seed-picture.png"}, {"Compression", "scheme4"}}}},
            {"Logo", {{{"File", "seed-picture.png"}, {"Compression", "rle8"}}}},
        };
        const qv::tool::BuildResult show = qv::tool::BuildShow(manifest, dir);
        std::ofstream out(dir / ("seed-" + std::to_string(id) + ".qdm"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(show.Bytes.data()),
                  static_cast<std::streamsize>(show.Bytes.size()));
    }
    std::filesystem::remove(dir / "seed-picture.png");
    return 0;
}
