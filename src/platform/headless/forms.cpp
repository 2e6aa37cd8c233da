#include "platform/headless/forms.h"

#include "platform/headless/headless_host.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

// The classic control colours, as 0x00RRGGBB pixels.
constexpr uint32_t kFace = 0xC0C0C0;
constexpr uint32_t kLight = 0xFFFFFF;
constexpr uint32_t kShadow = 0x808080;
constexpr uint32_t kDark = 0x000000;
constexpr uint32_t kTitle = 0x000080;
constexpr uint32_t kWindow = 0xFFFFFF;

constexpr COLORREF ToColorRef(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

void Fill(Surface& s, const Rect& r, uint32_t rgb) {
    const Rect c = r.Intersect(s.Bounds());
    for (int32_t y = c.Top; y < c.Bottom; ++y) {
        std::fill(s.Row32(y) + c.Left, s.Row32(y) + c.Right, rgb);
    }
}

void Put(Surface& s, int32_t x, int32_t y, uint32_t rgb) {
    if (x >= 0 && y >= 0 && x < s.Width() && y < s.Height()) {
        s.Row32(y)[x] = rgb;
    }
}

// A one-pixel edge: top and left in one colour, bottom and right in the other.
void Edge(Surface& s, const Rect& r, uint32_t topLeft, uint32_t bottomRight) {
    if (r.Empty()) {
        return;
    }
    Fill(s, {r.Left, r.Top, r.Right, r.Top + 1}, topLeft);
    Fill(s, {r.Left, r.Top, r.Left + 1, r.Bottom}, topLeft);
    Fill(s, {r.Left, r.Bottom - 1, r.Right, r.Bottom}, bottomRight);
    Fill(s, {r.Right - 1, r.Top, r.Right, r.Bottom}, bottomRight);
}

Rect Inset(const Rect& r, int32_t by) {
    return {r.Left + by, r.Top + by, r.Right - by, r.Bottom - by};
}

// A raised button face: white and black outside, then grey shadow inside.
void RaisedBox(Surface& s, const Rect& r) {
    Fill(s, r, kFace);
    Edge(s, r, kLight, kDark);
    Edge(s, Inset(r, 1), kFace, kShadow);
}

// A sunken field: grey and white outside, black and face inside.
void SunkenBox(Surface& s, const Rect& r, uint32_t inside) {
    Fill(s, r, inside);
    Edge(s, r, kShadow, kLight);
    Edge(s, Inset(r, 1), kDark, kFace);
}

// A dotted rectangle, every other pixel, as the keyboard focus is shown.
void FocusRect(Surface& s, const Rect& r) {
    for (int32_t x = r.Left; x < r.Right; x += 2) {
        Put(s, x, r.Top, kDark);
        Put(s, x, r.Bottom - 1, kDark);
    }
    for (int32_t y = r.Top; y < r.Bottom; y += 2) {
        Put(s, r.Left, y, kDark);
        Put(s, r.Right - 1, y, kDark);
    }
}

// A small solid triangle pointing left (-1) or right (+1), up (-2) or down (+2), centred.
void Arrow(Surface& s, const Rect& r, int direction, uint32_t rgb) {
    const int32_t cx = (r.Left + r.Right) / 2;
    const int32_t cy = (r.Top + r.Bottom) / 2;
    for (int32_t k = 0; k < 4; ++k) {
        for (int32_t d = -k; d <= k; ++d) {
            switch (direction) {
            case -1:
                Put(s, cx - 2 + k, cy + d, rgb);
                break;
            case 1:
                Put(s, cx + 1 - k, cy + d, rgb);
                break;
            case -2:
                Put(s, cx + d, cy - 2 + k, rgb);
                break;
            default:
                Put(s, cx + d, cy + 1 - k, rgb);
                break;
            }
        }
    }
}

// The half-tone track of a scroll bar.
void Track(Surface& s, const Rect& r) {
    const Rect c = r.Intersect(s.Bounds());
    for (int32_t y = c.Top; y < c.Bottom; ++y) {
        for (int32_t x = c.Left; x < c.Right; ++x) {
            s.Row32(y)[x] = ((x + y) & 1) != 0 ? kLight : kFace;
        }
    }
}

// Text in the selected font; the accelerator of a caption is underlined.
struct TextPen {
    Gdi& G;
    HDC Dc;
    int32_t LineHeight;

    int32_t Width(std::string_view text) const {
        Size sz;
        G.GetTextExtentPoint32(Dc, text, &sz);
        return sz.Width;
    }
    void Draw(Surface& s, int32_t x, int32_t y, std::string_view text, uint32_t rgb) const {
        G.SetTextColor(Dc, ToColorRef(rgb));
        G.TextOut(Dc, x, y, text);
        (void)s;
    }
    // A caption with its accelerator, drawn grey and embossed when disabled.
    void Caption(Surface& s, int32_t x, int32_t y, std::string_view caption, bool enabled) const {
        const CaptionText t = StripAccelerator(caption);
        const auto one = [&](int32_t dx, uint32_t rgb) {
            Draw(s, x + dx, y + dx, t.Text, rgb);
            if (t.Accelerator >= 0) {
                const auto at = static_cast<size_t>(t.Accelerator);
                const int32_t left = x + dx + Width(std::string_view(t.Text).substr(0, at));
                const int32_t width = Width(std::string_view(t.Text).substr(at, 1));
                Fill(s, {left, y + dx + LineHeight - 1, left + width, y + dx + LineHeight}, rgb);
            }
        };
        if (enabled) {
            one(0, kDark);
        } else {
            one(1, kLight);
            one(0, kShadow);
        }
    }
};

// The memory device context a control is drawn into before it is copied to the window.
struct Canvas {
    Gdi& G;
    HDC Dc = 0;
    HBITMAP Bitmap = 0;
    HGDIOBJ OldBitmap = 0;
    HGDIOBJ OldFont = 0;
    Surface* Pixels = nullptr;

    Canvas(Gdi& g, HDC like, Size size, HFONT font) : G(g) {
        Dc = G.CreateCompatibleDC(like);
        Bitmap = G.CreateCompatibleBitmap(like, std::max(size.Width, 1), std::max(size.Height, 1));
        OldBitmap = G.SelectObject(Dc, Bitmap);
        OldFont = G.SelectObject(Dc, font);
        G.SetBkMode(Dc, TRANSPARENT);
        Pixels = G.BitmapSurface(Bitmap);
    }
    ~Canvas() {
        G.SelectObject(Dc, OldFont);
        G.SelectObject(Dc, OldBitmap);
        G.DeleteObject(Bitmap);
        G.DeleteDC(Dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
};

} // namespace

HeadlessFormView::HeadlessFormView(Platform& os, HeadlessHost& host, Form& form)
    : m_os(os), m_host(host), m_form(form) {
    m_host.AddFormView(this);
}

HeadlessFormView::~HeadlessFormView() {
    m_host.RemoveFormView(this);
    if (m_font != 0) {
        m_os.Gdi().DeleteObject(m_font);
        m_os.Gdi().DeleteObject(m_bold);
    }
}

bool HeadlessFormView::InputPossible() const {
    return m_host.InputPending();
}

void HeadlessFormView::PaintIfDirty() {
    if (m_dirty && m_form.Visible() && m_form.Handle() != 0) {
        m_dirty = false;
        Paint();
    }
}

void HeadlessFormView::Paint() {
    Gdi& g = m_os.Gdi();
    Surface* window = m_os.User().WindowSurface(m_form.Handle());
    if (!window || window->Format() != PixelFormat::Xrgb32) {
        return; // FIXME: forms are drawn on true-colour screens only.
    }
    if (m_font == 0) {
        FontSpec spec;
        spec.Face = m_form.FontFace;
        spec.Height = m_form.FontHeight;
        m_font = g.CreateFont(spec);
        spec.Weight = FW_BOLD;
        m_bold = g.CreateFont(spec);
    }
    const HDC wdc = g.GetDC(m_form.Handle());
    PaintFrame(wdc, *window);
    for (int32_t i = 0; i < static_cast<int32_t>(m_form.Controls().size()); ++i) {
        PaintControl(i, wdc);
    }
    g.ReleaseDC(m_form.Handle(), wdc);
    window->AddDamage(window->Bounds());
}

void HeadlessFormView::PaintFrame(HDC dc, Surface& s) {
    Gdi& g = m_os.Gdi();
    const Rect all = s.Bounds();
    Fill(s, all, kFace);
    Edge(s, all, kFace, kDark);
    Edge(s, Inset(all, 1), kLight, kShadow);
    // The title bar, with the caption at the left and the close box at the right.
    const int32_t f = Form::kFrameWidth;
    const Rect title{f, f, all.Right - f, f + Form::kCaptionHeight - 1};
    Fill(s, title, kTitle);
    const HGDIOBJ old = g.SelectObject(dc, m_bold);
    g.SetBkMode(dc, TRANSPARENT);
    g.SetTextColor(dc, ToColorRef(kLight));
    Size sz;
    g.GetTextExtentPoint32(dc, "Ag", &sz);
    const int32_t closeSize = title.Height() - 4;
    const Rect close{title.Right - 2 - closeSize - 2, title.Top + 2, title.Right - 2,
                     title.Top + 2 + closeSize};
    // The caption is cut short before the close box.
    std::string caption = m_form.Caption();
    while (!caption.empty()) {
        g.GetTextExtentPoint32(dc, caption, &sz);
        if (title.Left + 4 + sz.Width <= close.Left - 2) {
            break;
        }
        caption.pop_back();
    }
    g.TextOut(dc, title.Left + 4, title.Top + (title.Height() - sz.Height) / 2, caption);
    g.SelectObject(dc, old);
    RaisedBox(s, close);
    const int32_t cx = (close.Left + close.Right) / 2 - 1;
    const int32_t cy = (close.Top + close.Bottom) / 2;
    for (int32_t d = -3; d <= 3; ++d) {
        Put(s, cx + d, cy + d, kDark);
        Put(s, cx + d + 1, cy + d, kDark);
        Put(s, cx + d, cy - d, kDark);
        Put(s, cx + d + 1, cy - d, kDark);
    }
}

void HeadlessFormView::PaintControl(int32_t index, HDC wdc) {
    const Control& c = m_form.At(index);
    // Shown only when it and every panel around it are, and only inside them.
    const Size client = m_form.ClientSize();
    Rect clip{0, 0, client.Width, client.Height};
    for (int32_t k = index; k >= 0; k = m_form.At(k).Parent) {
        if (!m_form.At(k).Visible) {
            return;
        }
        if (k != index) {
            clip = clip.Intersect(m_form.ClientBounds(k));
        }
    }
    const Rect where = m_form.ClientBounds(index);
    const Rect visible = where.Intersect(clip);
    if (visible.Empty()) {
        return;
    }
    Gdi& g = m_os.Gdi();
    const Size size{where.Width(), where.Height()};
    Canvas canvas(g, wdc, size, m_font);
    Surface& s = *canvas.Pixels;
    Size probe;
    g.GetTextExtentPoint32(canvas.Dc, "Ag", &probe);
    const TextPen pen{g, canvas.Dc, probe.Height};
    const Rect r{0, 0, size.Width, size.Height};
    const bool focused = m_form.Focus() == index;
    const bool enabled = m_form.Reachable(index);

    switch (c.Kind) {
    case ControlKind::Panel: {
        Fill(s, r, kFace);
        Rect inner = r;
        const auto bevel = [&](Bevel b) {
            if (b == Bevel::Raised) {
                Edge(s, inner, kLight, kShadow);
            } else if (b == Bevel::Lowered) {
                Edge(s, inner, kShadow, kLight);
            }
            if (b != Bevel::None) {
                inner = Inset(inner, 1);
            }
        };
        bevel(c.BevelOuter);
        bevel(c.BevelInner);
        if (!c.Caption.empty()) {
            inner = Inset(inner, c.BorderWidth);
            const int32_t y = (size.Height - pen.LineHeight) / 2;
            const int32_t x = c.TextAlignment == TextAlign::Centre
                                  ? (size.Width - pen.Width(c.Caption)) / 2
                                  : inner.Left;
            pen.Draw(s, x, y, c.Caption, enabled ? kDark : kShadow);
        }
        break;
    }
    case ControlKind::Label: {
        Fill(s, r, kFace);
        int32_t y = 0;
        std::vector<std::string> lines;
        for (const std::string& line : SplitLines(c.Caption)) {
            if (!c.WordWrap || pen.Width(line) <= size.Width) {
                lines.push_back(line);
                continue;
            }
            // Words go on a line while they fit; a word wider than the label stands alone.
            std::string current;
            size_t pos = 0;
            while (pos < line.size()) {
                const size_t end = std::min(line.find(' ', pos), line.size());
                const std::string word = line.substr(pos, end - pos);
                const std::string joined = current.empty() ? word : current + " " + word;
                if (!current.empty() && pen.Width(joined) > size.Width) {
                    lines.push_back(current);
                    current = word;
                } else {
                    current = joined;
                }
                pos = end + 1;
            }
            lines.push_back(current);
        }
        for (const std::string& line : lines) {
            const int32_t x =
                c.TextAlignment == TextAlign::Centre ? (size.Width - pen.Width(line)) / 2 : 0;
            pen.Draw(s, x, y, line, enabled ? kDark : kShadow);
            y += pen.LineHeight;
        }
        break;
    }
    case ControlKind::Button: {
        Fill(s, r, kFace);
        Rect face = r;
        if (c.Role == ButtonRole::Default || focused) {
            // The button Enter presses has a black frame around it.
            Edge(s, face, kDark, kDark);
            face = Inset(face, 1);
        }
        RaisedBox(s, face);
        const std::string text = StripAccelerator(c.Caption).Text;
        const int32_t x = (size.Width - pen.Width(text)) / 2;
        const int32_t y = (size.Height - pen.LineHeight) / 2;
        pen.Caption(s, x, y, c.Caption, enabled);
        if (focused) {
            FocusRect(s, Inset(face, 3));
        }
        break;
    }
    case ControlKind::CheckBox: {
        Fill(s, r, kFace);
        constexpr int32_t kBox = 13;
        const int32_t top = (size.Height - kBox) / 2;
        SunkenBox(s, {0, top, kBox, top + kBox}, enabled ? kWindow : kFace);
        if (c.Checked) {
            // The classic tick: a short stroke down, a long one up, three pixels thick.
            const uint32_t ink = enabled ? kDark : kShadow;
            for (int32_t k = 0; k < 7; ++k) {
                const int32_t y = k < 3 ? top + 5 + k : top + 7 - (k - 2);
                for (int32_t t = 0; t < 3; ++t) {
                    Put(s, 3 + k, y + t, ink);
                }
            }
        }
        const int32_t x = kBox + 4;
        const int32_t y = (size.Height - pen.LineHeight) / 2;
        pen.Caption(s, x, y, c.Caption, enabled);
        if (focused) {
            const int32_t w = pen.Width(StripAccelerator(c.Caption).Text);
            FocusRect(s, {x - 1, y - 1, std::min(x + w + 1, size.Width), y + pen.LineHeight + 1});
        }
        break;
    }
    case ControlKind::ScrollBar: {
        const ScrollBarParts parts = LayoutScrollBar(m_form, index);
        Track(s, parts.Track);
        RaisedBox(s, parts.LeftArrow);
        RaisedBox(s, parts.RightArrow);
        const uint32_t ink = enabled ? kDark : kShadow;
        Arrow(s, parts.LeftArrow, -1, ink);
        Arrow(s, parts.RightArrow, 1, ink);
        RaisedBox(s, parts.Thumb);
        if (focused) {
            FocusRect(s, Inset(parts.Thumb, 3));
        }
        break;
    }
    case ControlKind::Image: {
        Fill(s, r, kFace);
        const Surface& p = c.Picture;
        const int32_t w = std::min(p.Width(), size.Width);
        const int32_t h = std::min(p.Height(), size.Height);
        for (int32_t y = 0; y < h; ++y) {
            std::copy(p.Row32(y), p.Row32(y) + w, s.Row32(y));
        }
        break;
    }
    case ControlKind::Memo: {
        SunkenBox(s, r, kWindow);
        constexpr int32_t kBar = 16;
        const Rect text{2, 2, size.Width - 2 - kBar, size.Height - 2};
        int32_t y = text.Top + 1;
        for (const std::string& line : c.Lines) {
            if (y >= text.Bottom) {
                break;
            }
            pen.Draw(s, text.Left + 2, y, line, kDark);
            y += pen.LineHeight;
        }
        // The scroll bar and the edges go over whatever text ran past its area.
        const Rect bar{text.Right, 2, size.Width - 2, size.Height - 2};
        Track(s, bar);
        const Rect up{bar.Left, bar.Top, bar.Right, bar.Top + kBar};
        const Rect down{bar.Left, bar.Bottom - kBar, bar.Right, bar.Bottom};
        RaisedBox(s, up);
        RaisedBox(s, down);
        Arrow(s, up, -2, kDark);
        Arrow(s, down, 2, kDark);
        Fill(s, {2, size.Height - 2, size.Width - 2, size.Height}, kWindow);
        Edge(s, r, kShadow, kLight);
        Edge(s, Inset(r, 1), kDark, kFace);
        break;
    }
    case ControlKind::Gauge: {
        Fill(s, r, kFace);
        const int32_t span = std::max(c.Max - c.Min, 1);
        const int32_t value = std::clamp(c.Position, c.Min, c.Max);
        const int32_t filled = (value - c.Min) * size.Width / span;
        Fill(s, {0, 0, filled, size.Height}, kTitle);
        char text[16];
        std::snprintf(text, sizeof text, "%d%%", (value - c.Min) * 100 / span);
        const int32_t x = (size.Width - pen.Width(text)) / 2;
        const int32_t y = (size.Height - pen.LineHeight) / 2;
        // Black text, turned white where it lies over the filled part.
        Surface before = s;
        pen.Draw(s, x, y, text, kDark);
        for (int32_t yy = 0; yy < size.Height; ++yy) {
            for (int32_t xx = 0; xx < filled; ++xx) {
                if (s.Row32(yy)[xx] != before.Row32(yy)[xx]) {
                    s.Row32(yy)[xx] = kLight;
                }
            }
        }
        break;
    }
    case ControlKind::Rule:
        Fill(s, r, kFace);
        Fill(s, {0, 0, size.Width, 1}, kShadow);
        Fill(s, {0, 1, size.Width, 2}, kLight);
        break;
    }

    const Point o = Form::ClientOrigin();
    g.BitBlt(wdc, o.X + visible.Left, o.Y + visible.Top, visible.Width(), visible.Height(),
             canvas.Dc, visible.Left - where.Left, visible.Top - where.Top, SRCCOPY);
}

std::unique_ptr<FormView> HeadlessHost::CreateFormView(Form& form) {
    return std::make_unique<HeadlessFormView>(*m_os, *this, form);
}

void HeadlessHost::RemoveFormView(HeadlessFormView* view) {
    std::erase(m_formViews, view);
}

bool HeadlessHost::InputPending() const {
    return m_nextEvent < m_script.Timed.size() || (m_durationMs && !m_durationDone);
}

const HeadlessFormView* HeadlessHost::FormViewOf(HWND wnd) const {
    for (const HeadlessFormView* view : m_formViews) {
        if (view->TheForm().Handle() == wnd) {
            return view;
        }
    }
    return nullptr;
}

void HeadlessHost::PaintForms() {
    for (HeadlessFormView* view : m_formViews) {
        view->PaintIfDirty();
    }
}

void HeadlessHost::DeliverFormEvent(const ScriptEvent& ev) {
    // The control of that name on the topmost shown form that has one.
    WindowManager& user = m_os->User();
    const auto& order = user.ZOrder();
    Form* form = nullptr;
    int32_t index = -1;
    for (auto it = order.rbegin(); it != order.rend() && !form; ++it) {
        const HeadlessFormView* view = FormViewOf(*it);
        if (view && view->TheForm().Visible() && view->TheForm().IndexOf(ev.Control) >= 0) {
            form = &view->TheForm();
            index = form->IndexOf(ev.Control);
        }
    }
    const char* kind = ev.Action == ScriptAction::Click    ? "click"
                       : ev.Action == ScriptAction::Scroll ? "scroll"
                                                           : "check";
    if (!form) {
        std::fprintf(stderr, "events:%d: no shown form has a control '%s'\n", ev.Line,
                     ev.Control.c_str());
        m_os->Trace().Emit("input", {{"kind", kind}, {"control", ev.Control}, {"hwnd", 0}});
        return;
    }
    m_os->Trace().Emit(
        "input",
        {{"kind", kind}, {"control", ev.Control}, {"hwnd", form->Handle()}, {"value", ev.Value}});
    switch (ev.Action) {
    case ScriptAction::Click: {
        // As a person does it: the mouse goes to the middle of the control and clicks
        // there, so a form that another form keeps disabled does not answer.
        const Rect r = form->ClientBounds(index);
        Rect window;
        user.GetWindowRect(form->Handle(), &window);
        const Point o = Form::ClientOrigin();
        m_mouse = {window.Left + o.X + (r.Left + r.Right) / 2,
                   window.Top + o.Y + (r.Top + r.Bottom) / 2};
        const HWND target = user.WindowFromPoint(m_mouse);
        if (target != 0) {
            Point client = m_mouse;
            user.ScreenToClient(target, &client);
            user.PostMessage(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.X, client.Y));
            user.PostMessage(target, WM_LBUTTONUP, 0, MAKELPARAM(client.X, client.Y));
        }
        break;
    }
    case ScriptAction::Scroll:
        form->PostScroll(index, ev.Value);
        break;
    default:
        form->PostCheck(index, ev.Value != 0);
        break;
    }
}

} // namespace qv
