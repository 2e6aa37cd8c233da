#include "platform/font.h"

#include "platform/gdi.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <tuple>
#include <vector>

namespace qv {

namespace {

// Unicode code points of the Windows-1252 bytes 0x80-0x9F (0 where the byte is unused).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

uint32_t CodePoint(uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// Windows face names mapped to faces with the same metrics, so that text measures as the
// show's author saw it. Names not listed go to fontconfig's matching.
std::string FamilyFor(std::string_view face) {
    const std::string name = Lower(face);
    if (name.empty() || name == "arial" || name == "ms sans serif" || name == "helvetica" ||
        name == "system" || name == "ms shell dlg") {
        return "Liberation Sans";
    }
    if (name == "times new roman" || name == "times" || name == "ms serif") {
        return "Liberation Serif";
    }
    if (name == "courier new" || name == "courier") {
        return "Liberation Mono";
    }
    return std::string(face);
}

// 26.6 fixed point: FreeType's unit for outlines, advances and sizes.
constexpr int kSixBits = 6;
constexpr FT_Pos kOnePixel = 1 << kSixBits;

// The slant of synthetic italics: x += 0.2 * y (in 16.16), close to Windows' slant.
constexpr FT_Fixed kItalicShear = 0x3333;

} // namespace

struct Glyph {
    int32_t Advance = 0; // pixels
    int32_t Left = 0;    // bitmap's left edge relative to the pen position
    int32_t Top = 0;     // bitmap's top row above the baseline
    int32_t Width = 0;
    int32_t Rows = 0;
    std::vector<uint8_t> Bits; // Width x Rows, one byte per pixel: 1 = ink
};

struct FontFace {
    FT_Face Face = nullptr;
    std::string File;
    int32_t Pixels = 0; // pixels per em
    int32_t Ascent = 0;
    int32_t Descent = 0;
    bool SyntheticBold = false;
    bool SyntheticItalic = false;
    mutable std::array<std::unique_ptr<Glyph>, 256> Glyphs;

    ~FontFace() {
        if (Face) {
            FT_Done_Face(Face);
        }
    }
};

struct FontEngine::Impl {
    FT_Library Library = nullptr;
    FcConfig* Config = nullptr;
    // Faces by (file, face index, pixels, synthetic bold, synthetic italic).
    std::map<std::tuple<std::string, int, int32_t, bool, bool>, std::unique_ptr<FontFace>> Faces;

    ~Impl() {
        Faces.clear();
        if (Library) {
            FT_Done_FreeType(Library);
        }
        if (Config) {
            FcConfigDestroy(Config);
        }
    }

    const Glyph& GlyphOf(const FontFace& f, uint8_t byte) {
        std::unique_ptr<Glyph>& slot = f.Glyphs[byte];
        if (slot) {
            return *slot;
        }
        slot = std::make_unique<Glyph>();
        Glyph& g = *slot;
        const FT_UInt index = FT_Get_Char_Index(f.Face, CodePoint(byte));
        if (FT_Load_Glyph(f.Face, index,
                          FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) {
            return g;
        }
        FT_GlyphSlot s = f.Face->glyph;
        FT_Pos advance = s->advance.x;
        if (s->format == FT_GLYPH_FORMAT_OUTLINE) {
            if (f.SyntheticBold) {
                FT_Outline_Embolden(&s->outline, kOnePixel);
                advance += kOnePixel;
            }
            if (f.SyntheticItalic) {
                FT_Matrix shear{0x10000, kItalicShear, 0, 0x10000};
                FT_Outline_Transform(&s->outline, &shear);
            }
        }
        g.Advance = static_cast<int32_t>((advance + kOnePixel / 2) >> kSixBits);
        if (FT_Render_Glyph(s, FT_RENDER_MODE_MONO) != 0) {
            return g;
        }
        const FT_Bitmap& b = s->bitmap;
        g.Left = s->bitmap_left;
        g.Top = s->bitmap_top;
        g.Width = static_cast<int32_t>(b.width);
        g.Rows = static_cast<int32_t>(b.rows);
        g.Bits.assign(static_cast<size_t>(g.Width) * static_cast<size_t>(g.Rows), 0);
        for (int32_t y = 0; y < g.Rows; ++y) {
            const uint8_t* row = b.buffer + static_cast<ptrdiff_t>(y) * b.pitch;
            for (int32_t x = 0; x < g.Width; ++x) {
                const bool ink = b.pixel_mode == FT_PIXEL_MODE_MONO
                                     ? ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0
                                     : row[x] >= 128;
                g.Bits[static_cast<size_t>(y) * static_cast<size_t>(g.Width) +
                       static_cast<size_t>(x)] = ink;
            }
        }
        return g;
    }
};

FontEngine::FontEngine() : m_impl(std::make_unique<Impl>()) {}

FontEngine::~FontEngine() = default;

FontSpec FontEngine::SystemFontSpec() {
    FontSpec request;
    request.Height = -13;
    request.Weight = FW_BOLD;
    request.Face = "Liberation Sans";
    return request;
}

const FontFace* FontEngine::Resolve(const FontSpec& request) {
    Impl& m = *m_impl;
    // FreeType and fontconfig start with the first font used, so that runs which draw
    // no text never load the font configuration.
    if (!m.Library && FT_Init_FreeType(&m.Library) != 0) {
        m.Library = nullptr;
    }
    if (!m.Config) {
        m.Config = FcInitLoadConfigAndFonts();
    }
    if (!m.Library || !m.Config) {
        return nullptr;
    }
    const bool bold = request.Weight >= 600;
    const std::string family = FamilyFor(request.Face);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, request.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(m.Config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(m.Config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) {
        return nullptr;
    }
    FcChar8* file = nullptr;
    int index = 0;
    std::string path;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        path = reinterpret_cast<const char*>(file);
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternDestroy(match);
    if (path.empty()) {
        return nullptr;
    }
    // Open the face once to learn its style and metrics, then size it. The face's own
    // style flags decide about synthesis: fontconfig reports the style asked for when its
    // configuration would synthesise one.
    FT_Face face = nullptr;
    if (FT_New_Face(m.Library, path.c_str(), index, &face) != 0) {
        return nullptr;
    }
    const bool synthBold = bold && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
    const bool synthItalic = request.Italic && (face->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
    int64_t winAscent = face->ascender;
    int64_t winDescent = -face->descender;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        winAscent = os2->usWinAscent;
        winDescent = os2->usWinDescent;
    }
    const int64_t units = std::max<int64_t>(face->units_per_EM, 1);
    // A negative height is the character height (the em); a positive one the whole cell;
    // 0 asks for the default, 12 points.
    int64_t pixels = request.Height < 0 ? -int64_t{request.Height} : request.Height;
    if (request.Height == 0) {
        pixels = 16;
    } else if (request.Height > 0 && winAscent + winDescent > 0) {
        pixels =
            std::max<int64_t>(1, (int64_t{request.Height} * units + (winAscent + winDescent) / 2) /
                                     (winAscent + winDescent));
    }
    const auto key =
        std::make_tuple(path, index, static_cast<int32_t>(pixels), synthBold, synthItalic);
    if (auto it = m.Faces.find(key); it != m.Faces.end()) {
        FT_Done_Face(face);
        return it->second.get();
    }
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    auto f = std::make_unique<FontFace>();
    f->Face = face;
    f->File = path;
    f->Pixels = static_cast<int32_t>(pixels);
    f->Ascent = static_cast<int32_t>((winAscent * pixels + units - 1) / units);
    f->Descent = static_cast<int32_t>((winDescent * pixels + units - 1) / units);
    f->SyntheticBold = synthBold;
    f->SyntheticItalic = synthItalic;
    const FontFace* out = f.get();
    m.Faces.emplace(key, std::move(f));
    return out;
}

Size FontEngine::Extent(const FontFace& face, std::string_view text) {
    int64_t width = 0;
    for (char c : text) {
        width += m_impl->GlyphOf(face, static_cast<uint8_t>(c)).Advance;
    }
    return {static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), face.Ascent + face.Descent};
}

void FontEngine::Draw(const FontFace& face, std::string_view text, const TextDraw& d) {
    Surface& s = *d.Target;
    const bool indexed = s.Format() == PixelFormat::Indexed8;
    const int64_t height = face.Ascent + face.Descent;
    const Rect bounds = s.Bounds();
    Rect damage;
    if (d.Opaque) {
        const int64_t width = Extent(face, text).Width;
        const int64_t top = std::max<int64_t>(d.Y, 0);
        const int64_t bottom = std::min<int64_t>(d.Y + height, s.Height());
        const int64_t left = std::max<int64_t>(d.X, 0);
        const int64_t right = std::min<int64_t>(d.X + width, s.Width());
        for (int64_t y = top; y < bottom && left < right; ++y) {
            if (indexed) {
                std::fill(s.Row(static_cast<int32_t>(y)) + left,
                          s.Row(static_cast<int32_t>(y)) + right, static_cast<uint8_t>(d.BkPixel));
            } else {
                std::fill(s.Row32(static_cast<int32_t>(y)) + left,
                          s.Row32(static_cast<int32_t>(y)) + right, d.BkPixel);
            }
        }
        if (left < right && top < bottom) {
            damage = Rect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                          static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
        }
    }
    int64_t penX = d.X;
    const int64_t baseline = d.Y + face.Ascent;
    for (char c : text) {
        const Glyph& g = m_impl->GlyphOf(face, static_cast<uint8_t>(c));
        const int64_t gx = penX + g.Left;
        const int64_t gy = baseline - g.Top;
        penX += g.Advance;
        const int64_t x0 = std::max<int64_t>(gx, 0);
        const int64_t x1 = std::min<int64_t>(gx + g.Width, s.Width());
        const int64_t y0 = std::max<int64_t>(gy, 0);
        const int64_t y1 = std::min<int64_t>(gy + g.Rows, s.Height());
        if (x0 >= x1 || y0 >= y1) {
            continue;
        }
        for (int64_t y = y0; y < y1; ++y) {
            const uint8_t* bits = g.Bits.data() + (y - gy) * g.Width;
            if (indexed) {
                uint8_t* row = s.Row(static_cast<int32_t>(y));
                for (int64_t x = x0; x < x1; ++x) {
                    if (bits[x - gx]) {
                        row[x] = static_cast<uint8_t>(d.TextPixel);
                    }
                }
            } else {
                uint32_t* row = s.Row32(static_cast<int32_t>(y));
                for (int64_t x = x0; x < x1; ++x) {
                    if (bits[x - gx]) {
                        row[x] = d.TextPixel;
                    }
                }
            }
        }
        damage = damage.Union(Rect{static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                                   static_cast<int32_t>(x1), static_cast<int32_t>(y1)}
                                  .Intersect(bounds));
    }
    s.AddDamage(damage);
}

std::string FontEngine::FilePath(const FontFace& face) {
    return face.File;
}

int32_t FontEngine::PixelSize(const FontFace& face) {
    return face.Pixels;
}

} // namespace qv
