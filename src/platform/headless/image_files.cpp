#include "platform/headless/image_files.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gif_lib.h>
#include <png.h>
#include <unistd.h>

namespace qv {
namespace {

constexpr int kPngCompressionLevel = 6;

struct PngWriter {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::FILE* File = nullptr;
    ~PngWriter() {
        if (Png) {
            png_destroy_write_struct(&Png, Info ? &Info : nullptr);
        }
        if (File) {
            std::fclose(File);
        }
    }
};

bool WritePngRows(PngWriter& w, const PixelView& view, std::vector<uint8_t>& row) {
    // libpng reports errors by longjmp: nothing with a destructor may live in this frame.
    if (setjmp(png_jmpbuf(w.Png))) {
        return false;
    }
    png_init_io(w.Png, w.File);
    png_set_IHDR(w.Png, w.Info, static_cast<png_uint_32>(view.Width),
                 static_cast<png_uint_32>(view.Height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(w.Png, kPngCompressionLevel);
    png_set_filter(w.Png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_write_info(w.Png, w.Info);
    for (int32_t y = 0; y < view.Height; ++y) {
        const uint32_t* in = view.Row(y);
        for (int32_t x = 0; x < view.Width; ++x) {
            row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(in[x] >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(in[x] >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>(in[x]);
        }
        png_write_row(w.Png, row.data());
    }
    png_write_end(w.Png, nullptr);
    return true;
}

} // namespace

bool WritePng(const std::string& file, const PixelView& view, std::string* error) {
    std::vector<uint8_t> row(static_cast<size_t>(view.Width) * 3);
    bool ok = false;
    {
        PngWriter w;
        w.File = std::fopen(file.c_str(), "wb");
        if (!w.File) {
            *error = "cannot create " + file;
            return false;
        }
        w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        w.Info = w.Png ? png_create_info_struct(w.Png) : nullptr;
        ok = w.Info && view.Width > 0 && view.Height > 0 && WritePngRows(w, view, row);
        ok = std::fflush(w.File) == 0 && ok;
        ok = std::ferror(w.File) == 0 && ok;
    }
    if (!ok) {
        *error = "cannot write " + file;
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    return ok;
}

GifRecorder::~GifRecorder() {
    if (m_gif) {
        int err = 0;
        EGifCloseFile(m_gif, &err);
    }
    if (m_map) {
        GifFreeMapObject(m_map);
    }
}

bool GifRecorder::Fail(const std::string& what) {
    if (m_error.empty()) {
        m_error = what + " " + m_file;
    }
    return false;
}

bool GifRecorder::Open(const std::string& file, std::string* error) {
    m_file = file;
    // Opened here rather than by giflib, which would make the file readable by its owner
    // only; this way it gets the usual permissions, as the snapshots do.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = "cannot create " + file;
        return false;
    }
    int err = 0;
    m_gif = EGifOpenFileHandle(fd, &err); // owns fd from now on
    if (!m_gif) {
        ::close(fd);
        *error = "cannot create " + file + " (" + GifErrorString(err) + ")";
        return false;
    }
    EGifSetGifVersion(m_gif, true);
    return true;
}

bool GifRecorder::AddFrame(const PixelView& view, uint32_t atMs) {
    if (!m_gif || !m_error.empty()) {
        return false;
    }
    if (m_width == 0) {
        m_width = view.Width;
        m_height = view.Height;
        const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
        m_pending.assign(count, 0);
        m_indexes.assign(count, 0);
        m_keys.assign(1024, 0);
        m_values.assign(1024, 0);
        m_map = GifMakeMapObject(256, nullptr);
        if (!m_map || EGifPutScreenDesc(m_gif, m_width, m_height, 8, 0, nullptr) == GIF_ERROR) {
            return Fail("cannot write");
        }
        // Loop for ever (the NETSCAPE2.0 application extension).
        static const uint8_t kLoop[3] = {1, 0, 0};
        if (EGifPutExtensionLeader(m_gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(m_gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
            EGifPutExtensionBlock(m_gif, 3, kLoop) == GIF_ERROR ||
            EGifPutExtensionTrailer(m_gif) == GIF_ERROR) {
            return Fail("cannot write");
        }
    }
    if (view.Width != m_width || view.Height != m_height) {
        return Fail("frames of different sizes for");
    }
    if (m_hasPending) {
        bool same = true;
        for (int32_t y = 0; y < m_height && same; ++y) {
            same = std::memcmp(view.Row(y), m_pending.data() + static_cast<size_t>(y) * m_width,
                               static_cast<size_t>(m_width) * 4) == 0;
        }
        if (same) {
            return true; // The frame shown goes on: its delay grows.
        }
        if (!WritePending(atMs)) {
            return false;
        }
    }
    for (int32_t y = 0; y < m_height; ++y) {
        std::memcpy(m_pending.data() + static_cast<size_t>(y) * m_width, view.Row(y),
                    static_cast<size_t>(m_width) * 4);
    }
    m_hasPending = true;
    m_pendingAt = atMs;
    return true;
}

void GifRecorder::Quantise() {
    const size_t count = m_pending.size();
    // Exact palette first, colours numbered in the order they first appear.
    constexpr uint32_t kEmpty = 0xFFFFFFFFu; // no pixel has a top byte set
    std::fill(m_keys.begin(), m_keys.end(), kEmpty);
    const size_t mask = m_keys.size() - 1;
    int colours = 0;
    bool exact = true;
    for (size_t i = 0; i < count && exact; ++i) {
        const uint32_t c = m_pending[i] & 0xFFFFFF;
        size_t slot = (c * 2654435761u) & mask;
        while (m_keys[slot] != kEmpty && m_keys[slot] != c) {
            slot = (slot + 1) & mask;
        }
        if (m_keys[slot] == kEmpty) {
            if (colours == 256) {
                exact = false;
                break;
            }
            m_keys[slot] = c;
            m_values[slot] = static_cast<uint8_t>(colours);
            m_map->Colors[colours] = {static_cast<GifByteType>(c >> 16),
                                      static_cast<GifByteType>(c >> 8),
                                      static_cast<GifByteType>(c)};
            ++colours;
        }
        m_indexes[i] = m_values[slot];
    }
    if (exact) {
        for (int i = colours; i < 256; ++i) {
            m_map->Colors[i] = {0, 0, 0};
        }
        return;
    }
    // A fixed cube: 6 levels of red, 7 of green, 6 of blue (252 colours).
    for (int i = 0; i < 256; ++i) {
        if (i < 252) {
            const int r = i / 42;
            const int g = i / 6 % 7;
            const int b = i % 6;
            m_map->Colors[i] = {static_cast<GifByteType>(r * 255 / 5),
                                static_cast<GifByteType>(g * 255 / 6),
                                static_cast<GifByteType>(b * 255 / 5)};
        } else {
            m_map->Colors[i] = {0, 0, 0};
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const uint32_t c = m_pending[i];
        const uint32_t r = ((c >> 16 & 0xFF) * 5 + 127) / 255;
        const uint32_t g = ((c >> 8 & 0xFF) * 6 + 127) / 255;
        const uint32_t b = ((c & 0xFF) * 5 + 127) / 255;
        m_indexes[i] = static_cast<uint8_t>(r * 42 + g * 6 + b);
    }
}

bool GifRecorder::WritePending(uint32_t untilMs) {
    Quantise();
    // Delays in hundredths of a second, taken from the absolute times so that rounding
    // never adds up over a long recording.
    const int delay =
        std::max<int>(1, static_cast<int>(untilMs / 10) - static_cast<int>(m_pendingAt / 10));
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = std::min(delay, 0xFFFF);
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&gcb, extension);
    if (EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) ==
            GIF_ERROR ||
        EGifPutImageDesc(m_gif, 0, 0, m_width, m_height, false, m_map) == GIF_ERROR) {
        return Fail("cannot write");
    }
    for (int32_t y = 0; y < m_height; ++y) {
        if (EGifPutLine(m_gif, m_indexes.data() + static_cast<size_t>(y) * m_width, m_width) ==
            GIF_ERROR) {
            return Fail("cannot write");
        }
    }
    m_hasPending = false;
    return true;
}

bool GifRecorder::Finish(uint32_t endMs, uint32_t framePeriodMs) {
    if (!m_gif) {
        return m_error.empty();
    }
    bool ok = m_error.empty();
    if (ok && m_hasPending) {
        ok = WritePending(std::max(endMs, m_pendingAt + framePeriodMs));
    }
    if (ok && m_width == 0) {
        ok = Fail("no frame was recorded for"); // a GIF needs at least its screen
    }
    int err = 0;
    if (EGifCloseFile(m_gif, &err) == GIF_ERROR && ok) {
        ok = Fail("cannot finish");
    }
    m_gif = nullptr;
    return ok;
}

} // namespace qv
