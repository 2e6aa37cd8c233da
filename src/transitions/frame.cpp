#include "transitions/frame.h"

#include "transitions/clock_format.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

// The longest a wait sleeps in one go; a longer wait wakes, pumps and sleeps again.
constexpr double kLongestSleepMs = 60000;

// Between two pumps of a wait: sleeps until a message comes or ms milliseconds after the
// tick count now (up to slackMs later, where the platform chooses), whichever is first. On
// the virtual clock it returns at once, so that a wait pumps there exactly as it always has.
void SleepFor(FrameContext& ctx, uint32_t now, double ms, uint32_t slackMs = 0) {
    const double span = ms >= 1 ? std::min(std::ceil(ms), kLongestSleepMs) : 1;
    ctx.Os.WaitForMessage(now + static_cast<uint32_t>(span), slackMs);
}

} // namespace

FrameContext::FrameContext(Platform& os)
    : EngineContext(os), Locale(SelectLocale(os.Options().Locale)) {}

int32_t Elapsed(FrameContext& ctx) {
    return static_cast<int32_t>(ctx.Os.GetTickCount() - static_cast<uint32_t>(ctx.TickBase));
}

bool PumpFrame(FrameContext& ctx) {
    WindowManager& user = ctx.Os.User();
    if (ctx.Run.IsPreview && !user.IsWindow(ctx.Run.HostWnd)) {
        ctx.StopRequested = true;
    }
    if (!user.IsWindow(ctx.Run.SaverWnd)) {
        ctx.StopRequested = true;
    }
    ctx.Os.Sleep(0);
    user.ProcessMessages();
    return ctx.StopRequested;
}

void PumpUntil(FrameContext& ctx, double deadline, uint32_t slackMs) {
    PumpFrame(ctx);
    for (;;) {
        const uint32_t now = ctx.Os.GetTickCount();
        const auto elapsed = static_cast<int32_t>(now - static_cast<uint32_t>(ctx.TickBase));
        if (!(elapsed < deadline) || ctx.StopRequested) {
            return;
        }
        SleepFor(ctx, now, deadline - elapsed, slackMs);
        PumpFrame(ctx);
    }
}

void WaitMs(FrameContext& ctx, int32_t ms) {
    // Wrapping addition, as the millisecond clock itself wraps.
    const int32_t deadline =
        static_cast<int32_t>(static_cast<uint32_t>(Elapsed(ctx)) + static_cast<uint32_t>(ms));
    // Every wait pumps once at its start (what was drawn is shown), then sleeps between
    // pumps until a message comes or the deadline.
    for (bool first = true;; first = false) {
        const uint32_t now = ctx.Os.GetTickCount();
        const auto elapsed = static_cast<int32_t>(now - static_cast<uint32_t>(ctx.TickBase));
        if (!(deadline > elapsed) || ctx.StopRequested) {
            return;
        }
        if (!first) {
            SleepFor(ctx, now, static_cast<double>(deadline) - elapsed);
        }
        PumpFrame(ctx);
    }
}

void ErrorScreen(FrameContext& ctx, const std::string& message) {
    Platform& os = ctx.Os;
    os.Trace().Emit("error-screen", {{"text", message}});
    Gdi& gdi = os.Gdi();
    HDC dc = 0;
    try {
        os.User().ShowWindow(ctx.Run.SaverWnd, SW_SHOWMAXIMIZED);
        os.User().ProcessMessages();
        dc = gdi.GetDC(ctx.Run.SaverWnd);
        gdi.FillRect(dc, {0, 0, ctx.Run.ScreenW, ctx.Run.ScreenH}, gdi.GetStockObject(BLACK_BRUSH));
        gdi.SetTextColor(dc, RGB(255, 255, 255));
        gdi.SetBkColor(dc, RGB(0, 0, 0));
        gdi.SetBkMode(dc, OPAQUE);
        Size extent;
        gdi.GetTextExtentPoint32(dc, message, &extent);
        gdi.TextOut(dc, (ctx.Run.ScreenW - extent.Width) / 2, (ctx.Run.ScreenH - extent.Height) / 2,
                    message);
        // Nothing moves on the screen: it sleeps until a message comes.
        while (!PumpFrame(ctx)) {
            SleepFor(ctx, os.GetTickCount(), kLongestSleepMs);
        }
    } catch (const std::exception&) {
        // The message screen never reports its own failures.
    }
    if (dc) {
        try {
            gdi.ReleaseDC(ctx.Run.SaverWnd, dc);
        } catch (const std::exception&) {
        }
    }
}

std::string FatalErrorText(const ShowRecord& show, std::string_view code) {
    return "ERROR : " + show.AboutText + " [" + std::string(code) + "]";
}

void FatalError(FrameContext& ctx, std::string_view code) {
    ErrorScreen(ctx, FatalErrorText(ctx.Show, code));
    WindowManager& user = ctx.Os.User();
    user.PostMessage(ctx.Run.SaverWnd, WM_QUIT, 0, 0);
    PumpFrame(ctx);
    PumpFrame(ctx);
    user.PostQuitMessage(0);
}

void ClearScreen(FrameContext& ctx) {
    ctx.Os.Gdi().FillRect(ctx.Engine.WindowDC, {0, 0, ctx.Run.ScreenW, ctx.Run.ScreenH},
                          ctx.Engine.BlackBrush);
}

void TileScreen(FrameContext& ctx, int32_t n) {
    if (n < 0 || n >= ctx.Engine.PictureCount()) {
        return;
    }
    const PictureSlot& picture = ctx.Engine.Pictures[n];
    const int32_t w = picture.Width();
    const int32_t h = picture.Height();
    if (w <= 0 || h <= 0) {
        return;
    }
    // One tile exactly in the middle; the grid starts at or left of (above) the edge.
    int32_t ox = ((ctx.Run.ScreenW - w) / 2) % w;
    if (ox > 0) {
        ox -= w;
    }
    int32_t oy = ((ctx.Run.ScreenH - h) / 2) % h;
    if (oy > 0) {
        oy -= h;
    }
    for (int32_t i = 0; i <= (ctx.Run.ScreenW - ox) / w; ++i) {
        for (int32_t j = 0; j <= (ctx.Run.ScreenH - oy) / h; ++j) {
            PresentPixels(ctx, ox + i * w, oy + j * h, picture.Pixels.data(), picture.Header);
        }
    }
}

CaptionPlace PlaceCaption(std::string_view place, int32_t textWidth, int32_t textHeight,
                          int32_t screenW, int32_t screenH) {
    CaptionPlace at;
    const char vertical =
        place.size() > 0 ? static_cast<char>(std::toupper(static_cast<unsigned char>(place[0])))
                         : 'T';
    const char horizontal =
        place.size() > 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(place[1])))
                         : 'L';
    at.Bottom = vertical == 'B';
    at.Y = at.Bottom ? screenH - textHeight : 0;
    if (horizontal == 'M') {
        at.X = (screenW - textWidth) / 2;
    } else if (horizontal == 'R') {
        at.X = screenW - textWidth;
    } else {
        at.X = 0;
    }
    return at;
}

namespace {

enum class CaptionKind { Banner, Clock };

struct CaptionStyle {
    std::string_view Text;
    std::string_view Place;
    std::string_view Font;
    int32_t Size = 0;
    bool Bold = false;
    bool Italic = false;
    COLORREF Color = 0;
};

// Owns the GDI objects of one caption so that they are freed however drawing ends.
class CaptionBitmaps {
public:
    explicit CaptionBitmaps(Gdi& gdi) : m_gdi(gdi) {}
    ~CaptionBitmaps() {
        for (int i = 0; i < 2; ++i) {
            if (m_dc[i]) {
                m_gdi.DeleteDC(m_dc[i]);
            }
            if (m_bitmap[i]) {
                m_gdi.DeleteObject(m_bitmap[i]);
            }
        }
        if (m_font) {
            m_gdi.DeleteObject(m_font);
        }
    }
    CaptionBitmaps(const CaptionBitmaps&) = delete;
    CaptionBitmaps& operator=(const CaptionBitmaps&) = delete;

    // A w x h bitmap compatible with the window, the engine palette and the font selected.
    HDC Make(int i, HDC windowDC, HPALETTE palette, int32_t w, int32_t h) {
        m_dc[i] = m_gdi.CreateCompatibleDC(windowDC);
        m_bitmap[i] = m_gdi.CreateCompatibleBitmap(windowDC, w, h);
        m_gdi.SelectObject(m_dc[i], m_bitmap[i]);
        if (palette) {
            m_gdi.SelectPalette(m_dc[i], palette, false);
        }
        m_gdi.SelectObject(m_dc[i], m_font);
        return m_dc[i];
    }
    void SetFont(HFONT font) { m_font = font; }

private:
    Gdi& m_gdi;
    HDC m_dc[2] = {0, 0};
    HBITMAP m_bitmap[2] = {0, 0};
    HFONT m_font = 0;
};

void DrawCaption(FrameContext& ctx, const CaptionStyle& style, CaptionKind kind) {
    Gdi& gdi = ctx.Os.Gdi();
    const HDC windowDC = ctx.Engine.WindowDC;
    CaptionBitmaps bitmaps(gdi);
    FontSpec font;
    font.Height = FontHeightFromPoints(style.Size);
    font.Weight = style.Bold ? FW_BOLD : FW_NORMAL;
    font.Italic = style.Italic;
    font.Face = std::string(style.Font);
    bitmaps.SetFont(gdi.CreateFont(font));

    const HDC scratch = bitmaps.Make(0, windowDC, ctx.Engine.EnginePalette, 64, 64);
    Size extent;
    gdi.GetTextExtentPoint32(scratch, style.Text, &extent);
    const int32_t tw = extent.Width;
    const int32_t th = extent.Height;

    const CaptionPlace at = PlaceCaption(style.Place, tw, th, ctx.Run.ScreenW, ctx.Run.ScreenH);
    if (kind == CaptionKind::Banner) {
        // The banner only ever narrows the picture area.
        if (at.Bottom) {
            ctx.Run.FreeBottom = Smaller(ctx.Run.FreeBottom, at.Y - 4);
        } else {
            ctx.Run.FreeTop = Larger(ctx.Run.FreeTop, th + 4);
        }
    } else if (at.Bottom) {
        ctx.Run.FreeBottom = at.Y - 4;
    } else {
        ctx.Run.FreeTop = th + 4;
    }

    const HDC text = bitmaps.Make(1, windowDC, ctx.Engine.EnginePalette, tw, th);
    gdi.SetBkMode(text, OPAQUE);
    // Mask pass: the text's shape in black on white, ANDed onto the window.
    gdi.SetBkColor(text, RGB(255, 255, 255));
    gdi.SetTextColor(text, RGB(0, 0, 0));
    gdi.TextOut(text, 0, 0, style.Text);
    gdi.BitBlt(windowDC, at.X, at.Y, tw, th, text, 0, 0, SRCAND);
    // Colour pass: the letters in their colour on black; copied whole for the banner's
    // box, ORed in for the clock's bare letters.
    gdi.SetBkColor(text, RGB(0, 0, 0));
    gdi.SetTextColor(text, style.Color);
    gdi.TextOut(text, 0, 0, style.Text);
    gdi.BitBlt(windowDC, at.X, at.Y, tw, th, text, 0, 0,
               kind == CaptionKind::Banner ? SRCCOPY : SRCPAINT);
}

} // namespace

void DrawCaptions(FrameContext& ctx) {
    if (ctx.Run.IsPreview) {
        return;
    }
    const ShowRecord& show = ctx.Show;
    try {
        if (!show.BannerText.empty()) {
            DrawCaption(ctx,
                        {show.BannerText, show.BannerPlace, show.BannerFont, show.BannerSize,
                         show.BannerBold, show.BannerItalic, show.BannerColor},
                        CaptionKind::Banner);
            PumpFrame(ctx);
        }
        if (!show.ClockFormat.empty()) {
            const std::string text =
                FormatClock(show.ClockFormat, ctx.Os.Clock().GetLocalTime(), ctx.Locale);
            DrawCaption(ctx,
                        {text, show.ClockPlace, show.ClockFont, show.ClockSize, show.ClockBold,
                         show.ClockItalic, show.ClockColor},
                        CaptionKind::Clock);
            PumpFrame(ctx);
        }
        ctx.Os.Gdi().RealizePalette(ctx.Engine.WindowDC);
    } catch (const std::exception&) {
        // Captions are decoration: a failure to draw them is not reported.
    }
}

} // namespace qv
