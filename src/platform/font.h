#pragma once

#include "platform/geometry.h"
#include "platform/surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

struct FontSpec;

// One face at one size, with its glyphs cached (defined in font.cpp).
struct FontFace;

// Where and how TextOut draws: the cell's top-left corner in device pixels and the pixel
// values (xRGB or indexes) of the text and of its background.
struct TextDraw {
    Surface* Target = nullptr;
    int64_t X = 0;
    int64_t Y = 0;
    uint32_t TextPixel = 0;
    uint32_t BkPixel = 0;
    bool Opaque = true; // fill the text's cell with BkPixel first
};

// Fonts for the GDI: face names resolved with fontconfig, glyphs rendered by FreeType.
//
// Rendering is fixed so that text comes out the same on every run: glyphs are hinted for
// monochrome output (FT_LOAD_TARGET_MONO) and rendered as one bit per pixel
// (FT_RENDER_MODE_MONO), as GDI drew unsmoothed text on 256-colour screens. Bold and
// italic come from the face's own variants; only when fontconfig finds none is the outline
// emboldened by one pixel (FT_Outline_Embolden) or slanted (FT_Outline_Transform).
//
// The Windows core faces map to their metric-compatible Liberation faces by name
// ("Arial" and "MS Sans Serif" to Liberation Sans, "Times New Roman" to Liberation Serif,
// "Courier New" to Liberation Mono); other names go to fontconfig's best match.
//
// Text bytes are Windows-1252 characters. The cell height is ascent + descent, each the
// face's Windows ascent and descent (OS/2 usWinAscent, usWinDescent) scaled to the size
// and rounded up; advances are the hinted advances in whole pixels; there is no kerning.
class FontEngine {
public:
    FontEngine();
    ~FontEngine();
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;

    // The stock SYSTEM_FONT, what a fresh device context has: Liberation Sans bold,
    // character height 13 pixels.
    static FontSpec SystemFontSpec();

    // The face and size for a font, shared by every font that resolves alike; nothing
    // when no face can be loaded.
    const FontFace* Resolve(const FontSpec& request);

    Size Extent(const FontFace& face, std::string_view text);
    void Draw(const FontFace& face, std::string_view text, const TextDraw& draw);

    // What a font resolved to (tests, reports): the font file and the pixel size.
    static std::string FilePath(const FontFace& face);
    static int32_t PixelSize(const FontFace& face);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace qv
