#include "png_io.h"

#include "tool_error.h"

#include <cstdio>
#include <memory>
#include <png.h>
#include <stb_image.h>

namespace qv::tool {

void WritePng(const std::filesystem::path& file, const IndexedPicture& picture) {
    struct Close {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, Close> out(std::fopen(file.c_str(), "wb"));
    if (!out) {
        throw IoError("cannot write '" + file.string() + "'");
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw IoError("cannot write '" + file.string() + "': out of memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw IoError("cannot write '" + file.string() + "'");
    }
    png_init_io(png, out.get());
    // The format allows 2^31 - 1 pixels a side; libpng's default cap of a million is for
    // readers and would refuse pictures the player shows (a 4194304 x 1 strip, say).
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width),
                 static_cast<png_uint_32>(picture.Height), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (size_t i = 0; i < 256; ++i) {
        palette[i] = {picture.Palette[i].Red, picture.Palette[i].Green, picture.Palette[i].Blue};
    }
    png_set_PLTE(png, info, palette, 256);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(picture.Stride());
    for (int32_t y = 0; y < picture.Height; ++y) {
        // Stored rows are bottom-up.
        const uint8_t* row = &picture.Pixels[static_cast<size_t>(picture.Height - 1 - y) * stride];
        png_write_row(png, const_cast<png_bytep>(row));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
}

std::vector<uint8_t> LoadRgba(const std::filesystem::path& file, int32_t& width, int32_t& height) {
    int channels = 0;
    int w = 0;
    int h = 0;
    stbi_uc* data = stbi_load(file.c_str(), &w, &h, &channels, 4);
    if (!data) {
        width = height = 0;
        return {};
    }
    std::vector<uint8_t> rgba(data, data + static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    stbi_image_free(data);
    width = w;
    height = h;
    return rgba;
}

} // namespace qv::tool
