#include "picture_import.h"

#include "show/picture_codec.h"
#include "tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <libimagequant.h>
#include <memory>
#include <stb_image.h>
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>
#include <unordered_map>

namespace qv::tool {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// An 8-bit BMP (uncompressed or RLE8) whose colour table has all 256 entries.
std::optional<IndexedPicture> ReadFullPaletteBmp(const std::vector<uint8_t>& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        return std::nullopt;
    }
    const uint32_t pixelsAt = Le32(b, 10);
    const uint32_t infoSize = Le32(b, 14);
    if (infoSize < 40 || infoSize > 256) {
        return std::nullopt;
    }
    const auto width = static_cast<int32_t>(Le32(b, 18));
    const auto rawHeight = static_cast<int32_t>(Le32(b, 22));
    const uint16_t bits = static_cast<uint16_t>(b[28] | (b[29] << 8));
    const uint32_t compression = Le32(b, 30);
    const uint32_t used = Le32(b, 46);
    if (bits != 8 || (used != 0 && used != 256) || (compression != 0 && compression != 1) ||
        width <= 0 || width > 65535 || rawHeight == 0 || rawHeight < -65535 || rawHeight > 65535 ||
        (compression == 1 && rawHeight < 0)) {
        return std::nullopt;
    }
    if (static_cast<int64_t>((width + 3) & ~3) * (rawHeight < 0 ? -rawHeight : rawHeight) >
        kMaxPictureBytes) {
        return std::nullopt;
    }
    const size_t paletteAt = 14 + infoSize;
    if (paletteAt + 1024 > b.size() || pixelsAt > b.size()) {
        return std::nullopt;
    }
    IndexedPicture p;
    p.Width = width;
    p.Height = rawHeight < 0 ? -rawHeight : rawHeight;
    for (size_t i = 0; i < 256; ++i) {
        const size_t c = paletteAt + 4 * i;
        p.Palette[i] = RGBQUAD{b[c], b[c + 1], b[c + 2], 0};
    }
    const size_t stride = static_cast<size_t>(p.Stride());
    const size_t bytes = stride * static_cast<size_t>(p.Height);
    p.Pixels.assign(bytes, 0);
    const std::span<const uint8_t> data(b.data() + pixelsAt, b.size() - pixelsAt);
    if (compression == 1) {
        DecodeRle8(data, p.Pixels, static_cast<int32_t>(stride));
    } else {
        if (data.size() < bytes) {
            return std::nullopt;
        }
        std::memcpy(p.Pixels.data(), data.data(), bytes);
        if (rawHeight < 0) {
            // Top-down rows: the player keeps them bottom-up.
            std::vector<uint8_t> flipped(bytes);
            for (size_t y = 0; y < static_cast<size_t>(p.Height); ++y) {
                std::memcpy(&flipped[y * stride],
                            &p.Pixels[(static_cast<size_t>(p.Height) - 1 - y) * stride], stride);
            }
            p.Pixels = std::move(flipped);
        }
    }
    return p;
}

// Colour key of an RGBA pixel, alpha ignored.
uint32_t Rgb(const uint8_t* px) {
    return static_cast<uint32_t>(px[0]) << 16 | static_cast<uint32_t>(px[1]) << 8 | px[2];
}

// Pictures with at most 256 colours keep them exactly, in order of first appearance
// (top row first). Empty when there are more.
bool ExactPalette(const uint8_t* rgba, IndexedPicture& p) {
    std::unordered_map<uint32_t, uint8_t> index;
    size_t next = 0;
    const size_t stride = static_cast<size_t>(p.Stride());
    for (int32_t y = 0; y < p.Height; ++y) {
        uint8_t* row = &p.Pixels[static_cast<size_t>(p.Height - 1 - y) * stride];
        for (int32_t x = 0; x < p.Width; ++x) {
            const uint8_t* px = rgba + 4 * (static_cast<size_t>(y) * static_cast<size_t>(p.Width) +
                                            static_cast<size_t>(x));
            const uint32_t key = Rgb(px);
            auto it = index.find(key);
            if (it == index.end()) {
                if (next == 256) {
                    return false;
                }
                p.Palette[next] = RGBQUAD{px[2], px[1], px[0], 0};
                it = index.emplace(key, static_cast<uint8_t>(next++)).first;
            }
            row[x] = it->second;
        }
    }
    return true;
}

void Quantize(std::vector<uint8_t>& rgba, IndexedPicture& p, const std::string& field) {
    struct Free {
        void operator()(liq_attr* a) const { liq_attr_destroy(a); }
        void operator()(liq_image* i) const { liq_image_destroy(i); }
        void operator()(liq_result* r) const { liq_result_destroy(r); }
    };
    std::unique_ptr<liq_attr, Free> attr(liq_attr_create());
    liq_set_max_colors(attr.get(), 256);
    std::unique_ptr<liq_image, Free> image(
        liq_image_create_rgba(attr.get(), rgba.data(), p.Width, p.Height, 0));
    liq_result* raw = nullptr;
    if (!image || liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) {
        throw ManifestError(field + ": cannot reduce the picture to 256 colours");
    }
    std::unique_ptr<liq_result, Free> result(raw);
    liq_set_dithering_level(result.get(), 1.0f);
    std::vector<uint8_t> indexes(static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height));
    if (liq_write_remapped_image(result.get(), image.get(), indexes.data(), indexes.size()) !=
        LIQ_OK) {
        throw ManifestError(field + ": cannot reduce the picture to 256 colours");
    }
    const liq_palette* palette = liq_get_palette(result.get());
    for (unsigned i = 0; i < palette->count && i < 256; ++i) {
        p.Palette[i] =
            RGBQUAD{palette->entries[i].b, palette->entries[i].g, palette->entries[i].r, 0};
    }
    const size_t stride = static_cast<size_t>(p.Stride());
    for (int32_t y = 0; y < p.Height; ++y) {
        std::memcpy(&p.Pixels[static_cast<size_t>(p.Height - 1 - y) * stride],
                    &indexes[static_cast<size_t>(y) * static_cast<size_t>(p.Width)],
                    static_cast<size_t>(p.Width));
    }
}

// Composes every pixel over the matte colour (a COLORREF: red in its low byte); true when
// any pixel was not opaque.
bool ComposeOverMatte(std::vector<uint8_t>& rgba, uint32_t colorref) {
    const uint8_t matte[3] = {static_cast<uint8_t>(colorref), static_cast<uint8_t>(colorref >> 8),
                              static_cast<uint8_t>(colorref >> 16)};
    bool transparent = false;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        const uint32_t a = rgba[i + 3];
        if (a == 255) {
            continue;
        }
        transparent = true;
        for (size_t c = 0; c < 3; ++c) {
            rgba[i + c] =
                static_cast<uint8_t>((rgba[i + c] * a + matte[c] * (255 - a) + 127) / 255);
        }
        rgba[i + 3] = 255;
    }
    return transparent;
}

} // namespace

std::pair<int32_t, int32_t> FittedSize(int32_t w, int32_t h, int32_t fitW, int32_t fitH) {
    if (w <= fitW && h <= fitH) {
        return {w, h};
    }
    // The side that meets its limit first sets the scale; the other is rounded.
    if (static_cast<int64_t>(w) * fitH >= static_cast<int64_t>(h) * fitW) {
        const int64_t nh = (static_cast<int64_t>(h) * fitW * 2 + w) / (2 * static_cast<int64_t>(w));
        return {fitW, static_cast<int32_t>(std::max<int64_t>(1, nh))};
    }
    const int64_t nw = (static_cast<int64_t>(w) * fitH * 2 + h) / (2 * static_cast<int64_t>(h));
    return {static_cast<int32_t>(std::max<int64_t>(1, nw)), fitH};
}

IndexedPicture ImportPicture(const std::filesystem::path& file, const std::string& field) {
    std::vector<std::string> warnings;
    return ImportPicture(file, field, ImportOptions{}, warnings);
}

IndexedPicture ImportPicture(const std::filesystem::path& file, const std::string& field,
                             const ImportOptions& options, std::vector<std::string>& warnings) {
    // Only a regular file is a picture: a folder or a device would make the read fail
    // half-way, or never end.
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (std::filesystem::is_directory(status)) {
        throw ManifestError(field + ": '" + file.string() + "' is a folder, not a picture file");
    }
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw ManifestError(field + ": '" + file.string() + "' is not a regular file");
    }
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw ManifestError(field + ": cannot open '" + file.string() + "'" +
                            (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        throw ManifestError(field + ": cannot read '" + file.string() + "'");
    }
    if (in.bad()) {
        throw ManifestError(field + ": cannot read '" + file.string() + "'");
    }
    if (auto bmp = ReadFullPaletteBmp(bytes)) {
        // Taken as it stands unless it must be made smaller.
        if (!options.Fit ||
            (bmp->Width <= options.Fit->first && bmp->Height <= options.Fit->second)) {
            return std::move(*bmp);
        }
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* decoded = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width,
                                             &height, &channels, 4);
    if (!decoded) {
        throw ManifestError(field + ": '" + file.string() +
                            "' is not a PNG, JPEG or BMP picture (" + stbi_failure_reason() + ")");
    }
    std::vector<uint8_t> rgba(decoded, decoded + static_cast<size_t>(width) *
                                                     static_cast<size_t>(height) * 4);
    stbi_image_free(decoded);
    if (ComposeOverMatte(rgba, options.Matte.value_or(0)) && !options.Matte) {
        warnings.push_back(field + ": the picture has transparent pixels; composed over black "
                                   "(give \"Matte\" for another colour)");
    }
    if (options.Fit) {
        const auto [fw, fh] = FittedSize(width, height, options.Fit->first, options.Fit->second);
        if (fw != width || fh != height) {
            std::vector<uint8_t> smaller(static_cast<size_t>(fw) * static_cast<size_t>(fh) * 4);
            if (!stbir_resize_uint8_srgb(rgba.data(), width, height, 0, smaller.data(), fw, fh, 0,
                                         4, 3, 0)) {
                throw ManifestError(field + ": cannot scale the picture");
            }
            rgba = std::move(smaller);
            width = fw;
            height = fh;
        }
    }
    if (static_cast<int64_t>((width + 3) & ~3) * height > kMaxPictureBytes) {
        throw ManifestError(field + ": " + std::to_string(width) + "x" + std::to_string(height) +
                            " is larger than the player loads (4194304 bytes)");
    }
    IndexedPicture p;
    p.Width = width;
    p.Height = height;
    p.Pixels.assign(static_cast<size_t>(p.Stride()) * static_cast<size_t>(height), 0);
    if (!ExactPalette(rgba.data(), p)) {
        p.Palette = {};
        Quantize(rgba, p, field);
    }
    return p;
}

} // namespace qv::tool
