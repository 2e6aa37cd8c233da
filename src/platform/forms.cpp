#include "platform/forms.h"

#include "platform/error.h"
#include "platform/platform.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

// The form window's own messages: the user's actions that a host reports. wParam is the
// control's index, lParam the value.
constexpr uint32_t kMsgClick = WM_USER + 0x0F01;
constexpr uint32_t kMsgCheck = WM_USER + 0x0F02;
constexpr uint32_t kMsgScroll = WM_USER + 0x0F03;
constexpr uint32_t kMsgFocus = WM_USER + 0x0F04;

// The longest a shown form sleeps between rounds when no input comes.
constexpr uint32_t kIdleWakeMs = 250;

constexpr uint32_t kFormStyle = WS_POPUP | WS_CAPTION | 0x00080000u; // WS_SYSMENU

constexpr uint32_t kVkPrior = 0x21;
constexpr uint32_t kVkNext = 0x22;
constexpr uint32_t kVkEnd = 0x23;
constexpr uint32_t kVkHome = 0x24;

nlohmann::json RectJson(const Rect& r) {
    return nlohmann::json::array({r.Left, r.Top, r.Width(), r.Height()});
}

const char* RoleName(ButtonRole role) {
    switch (role) {
    case ButtonRole::Default:
        return "default";
    case ButtonRole::Cancel:
        return "cancel";
    case ButtonRole::None:
        break;
    }
    return "none";
}

const char* ResultName(ModalResult result) {
    switch (result) {
    case ModalResult::Ok:
        return "ok";
    case ModalResult::Cancel:
        return "cancel";
    case ModalResult::None:
        break;
    }
    return "none";
}

} // namespace

const char* ControlKindName(ControlKind kind) {
    switch (kind) {
    case ControlKind::Panel:
        return "panel";
    case ControlKind::Label:
        return "label";
    case ControlKind::Button:
        return "button";
    case ControlKind::CheckBox:
        return "check-box";
    case ControlKind::ScrollBar:
        return "scroll-bar";
    case ControlKind::Image:
        return "image";
    case ControlKind::Memo:
        return "memo";
    case ControlKind::Gauge:
        return "gauge";
    case ControlKind::Rule:
        return "rule";
    }
    return "?";
}

CaptionText StripAccelerator(std::string_view caption) {
    CaptionText out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != '&' && out.Accelerator < 0) {
                out.Accelerator = static_cast<int32_t>(out.Text.size());
            }
        }
        out.Text.push_back(caption[i]);
    }
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            lines.emplace_back();
        } else {
            lines.back().push_back(c);
        }
    }
    return lines;
}

std::unique_ptr<FormView> Host::CreateFormView(Form& /*form*/) {
    return nullptr;
}

Form::Form(Platform& os, std::string name, Size clientSize, HWND owner)
    : m_os(os), m_name(std::move(name)), m_client(clientSize), m_owner(owner) {
    m_view = m_os.Host().CreateFormView(*this);
}

Form::~Form() {
    // The view goes first: it may hold native windows that show this form's window.
    m_view.reset();
    if (m_wnd != 0) {
        m_os.User().DestroyWindow(m_wnd);
    }
}

Control& Form::Add(ControlKind kind, std::string name, Rect bounds, std::string_view parent) {
    QV_CHECK(IndexOf(name) < 0);
    Control c;
    c.Name = std::move(name);
    c.Kind = kind;
    c.Bounds = bounds;
    c.Parent = parent.empty() ? -1 : Index(parent);
    QV_CHECK(c.Parent < 0 || At(c.Parent).Kind == ControlKind::Panel);
    if (kind == ControlKind::Gauge) {
        c.Min = 0;
        c.Max = 100;
    }
    m_controls.push_back(std::move(c));
    return m_controls.back();
}

int32_t Form::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < m_controls.size(); ++i) {
        if (m_controls[i].Name == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t Form::Index(std::string_view name) const {
    const int32_t index = IndexOf(name);
    if (index < 0) {
        // A form and its code are written together; a wrong name is a programming error.
        throw PlatformError("form " + m_name + " has no control " + std::string(name));
    }
    return index;
}

Control& Form::operator[](std::string_view name) {
    return m_controls[static_cast<size_t>(Index(name))];
}

const Control& Form::operator[](std::string_view name) const {
    return m_controls[static_cast<size_t>(Index(name))];
}

void Form::Tell(int32_t index) {
    if (m_view) {
        m_view->Changed(index);
    }
}

void Form::SetCaption(std::string caption) {
    m_caption = std::move(caption);
    if (m_wnd != 0) {
        m_os.User().SetWindowText(m_wnd, m_caption);
    }
    Tell(-1);
}

void Form::SetClientSize(Size size) {
    if (size == m_client) {
        return;
    }
    m_client = size;
    // A window keeps its size for life: a resized form gets a new one.
    if (m_wnd != 0) {
        const bool visible = m_visible;
        m_view.reset();
        m_os.User().DestroyWindow(m_wnd);
        m_wnd = 0;
        m_visible = false;
        m_view = m_os.Host().CreateFormView(*this);
        if (visible) {
            Show();
        }
    }
    Tell(-1);
}

void Form::SetText(std::string_view name, std::string caption) {
    const int32_t i = Index(name);
    m_controls[static_cast<size_t>(i)].Caption = std::move(caption);
    Tell(i);
}

void Form::SetVisible(std::string_view name, bool visible) {
    const int32_t i = Index(name);
    Control& c = m_controls[static_cast<size_t>(i)];
    if (c.Visible == visible) {
        return;
    }
    c.Visible = visible;
    if (!visible && m_focus == i) {
        m_focus = -1;
    }
    // Hiding a top-aligned control moves the ones below it: every control may change.
    if (c.Alignment == Align::Top) {
        for (int32_t k = 0; k < static_cast<int32_t>(m_controls.size()); ++k) {
            Tell(k);
        }
    } else {
        Tell(i);
    }
}

void Form::SetEnabled(std::string_view name, bool enabled) {
    const int32_t i = Index(name);
    m_controls[static_cast<size_t>(i)].Enabled = enabled;
    if (!enabled && m_focus == i) {
        m_focus = -1;
    }
    Tell(i);
}

void Form::SetChecked(std::string_view name, bool checked) {
    const int32_t i = Index(name);
    m_controls[static_cast<size_t>(i)].Checked = checked;
    Tell(i);
}

void Form::SetPosition(std::string_view name, int32_t position) {
    const int32_t i = Index(name);
    Control& c = m_controls[static_cast<size_t>(i)];
    const int32_t clamped = std::clamp(position, c.Min, std::max(c.Min, c.Max));
    if (clamped == c.Position) {
        return;
    }
    c.Position = clamped;
    Tell(i);
    if (c.OnChange) {
        // A copy: the handler may change the form.
        const auto handler = c.OnChange;
        handler();
    }
}

void Form::SetBounds(std::string_view name, Rect bounds) {
    const int32_t i = Index(name);
    m_controls[static_cast<size_t>(i)].Bounds = bounds;
    Tell(i);
}

void Form::SetLeft(std::string_view name, int32_t left) {
    const Rect b = (*this)[name].Bounds;
    SetBounds(name, {left, b.Top, left + b.Width(), b.Bottom});
}

void Form::SetWidth(std::string_view name, int32_t width) {
    const Rect b = (*this)[name].Bounds;
    SetBounds(name, {b.Left, b.Top, b.Left + std::max(width, 0), b.Bottom});
}

void Form::SetPicture(std::string_view name, Surface picture) {
    const int32_t i = Index(name);
    Control& c = m_controls[static_cast<size_t>(i)];
    c.Picture = std::move(picture);
    if (c.AutoSize && c.Picture.Width() > 0) {
        c.Bounds.Right = c.Bounds.Left + c.Picture.Width();
        c.Bounds.Bottom = c.Bounds.Top + c.Picture.Height();
    }
    Tell(i);
}

void Form::SetLines(std::string_view name, std::vector<std::string> lines) {
    const int32_t i = Index(name);
    m_controls[static_cast<size_t>(i)].Lines = std::move(lines);
    Tell(i);
}

bool Form::Focusable(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(m_controls.size()) || !Reachable(index)) {
        return false;
    }
    switch (At(index).Kind) {
    case ControlKind::Button:
    case ControlKind::CheckBox:
    case ControlKind::ScrollBar:
    case ControlKind::Memo:
        return true;
    default:
        return false;
    }
}

void Form::SetFocus(std::string_view name) {
    const int32_t i = Index(name);
    if (!Focusable(i) || m_focus == i) {
        return;
    }
    m_focus = i;
    if (m_view) {
        m_view->FocusChanged();
    }
}

void Form::MoveFocus(int direction) {
    const auto count = static_cast<int32_t>(m_controls.size());
    for (int32_t step = 1; step <= count; ++step) {
        const int32_t start = m_focus < 0 ? (direction > 0 ? -1 : 0) : m_focus;
        const int32_t i = ((start + direction * step) % count + count) % count;
        if (Focusable(i)) {
            SetFocus(At(i).Name);
            return;
        }
    }
}

Rect Form::PlacedBounds(int32_t index) const {
    const Control& c = At(index);
    if (c.Alignment != Align::Top) {
        return c.Bounds;
    }
    const int32_t parentWidth = c.Parent < 0 ? m_client.Width : PlacedBounds(c.Parent).Width();
    int32_t top = 0;
    for (int32_t k = 0; k < index; ++k) {
        const Control& o = At(k);
        if (o.Parent == c.Parent && o.Alignment == Align::Top && o.Visible) {
            top += o.Bounds.Height();
        }
    }
    return {0, top, parentWidth, top + c.Bounds.Height()};
}

Rect Form::ClientBounds(int32_t index) const {
    const Rect r = PlacedBounds(index);
    const int32_t parent = At(index).Parent;
    if (parent < 0) {
        return r;
    }
    const Rect p = ClientBounds(parent);
    return r.Offset(p.Left, p.Top);
}

bool Form::Reachable(int32_t index) const {
    for (int32_t i = index; i >= 0; i = At(i).Parent) {
        if (!At(i).Visible || !At(i).Enabled) {
            return false;
        }
    }
    return true;
}

int32_t Form::ControlAt(Point client) const {
    for (auto i = static_cast<int32_t>(m_controls.size()) - 1; i >= 0; --i) {
        bool shown = true;
        for (int32_t k = i; k >= 0 && shown; k = At(k).Parent) {
            shown = At(k).Visible;
        }
        const Rect r = ClientBounds(i);
        if (shown && client.X >= r.Left && client.X < r.Right && client.Y >= r.Top &&
            client.Y < r.Bottom) {
            return i;
        }
    }
    return -1;
}

Rect Form::WindowRect() const {
    const Size screen = m_os.Host().ScreenSize();
    const int32_t width = m_client.Width + 2 * kFrameWidth;
    const int32_t height = m_client.Height + 2 * kFrameWidth + kCaptionHeight;
    const int32_t left = (screen.Width - width) / 2;
    const int32_t top = (screen.Height - height) / 2;
    return {left, top, left + width, top + height};
}

void Form::CreateWindowNow() {
    CreateWindowParams p;
    p.ClassName = m_name;
    p.Caption = m_caption;
    p.Style = kFormStyle;
    p.Bounds = WindowRect();
    p.Parent = m_owner;
    p.Proc = [this](HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
        return WindowProc(wnd, message, wParam, lParam);
    };
    m_wnd = m_os.User().CreateWindow(p);
    if (m_wnd == 0) {
        throw PlatformError("cannot create the window of form " + m_name);
    }
    if (m_view) {
        m_view->Realise();
    }
}

void Form::Show() {
    if (m_wnd == 0) {
        CreateWindowNow();
    }
    if (m_visible) {
        return;
    }
    m_visible = true;
    if (m_focus < 0 || !Focusable(m_focus)) {
        // The first control in creation order that can take the focus has it.
        m_focus = -1;
        MoveFocus(+1);
    }
    WindowManager& user = m_os.User();
    // The window a modal run gives the foreground back to.
    m_previousForeground = user.GetForegroundWindow();
    user.ShowWindow(m_wnd, SW_SHOW);
    user.SetForegroundWindow(m_wnd);
    if (m_view) {
        m_view->Shown(true, m_modality);
    }
    const nlohmann::json focus =
        m_focus >= 0 ? nlohmann::json(At(m_focus).Name) : nlohmann::json(nullptr);
    m_os.Trace().Emit("form-show", {{"form", m_name},
                                    {"hwnd", m_wnd},
                                    {"caption", m_caption},
                                    {"client", {m_client.Width, m_client.Height}},
                                    {"rect", RectJson(WindowRect())},
                                    {"modal", m_modality == Modality::Modal},
                                    {"focus", focus},
                                    {"controls", Describe()}});
}

void Form::Hide() {
    if (!m_visible) {
        return;
    }
    m_visible = false;
    m_os.User().ShowWindow(m_wnd, SW_HIDE);
    if (m_view) {
        m_view->Shown(false, m_modality);
    }
}

ModalResult Form::Run(Modality modality) {
    WindowManager& user = m_os.User();
    if (m_wnd == 0) {
        CreateWindowNow();
    }
    m_modality = modality;
    m_result = ModalResult::None;
    // While a modal form is up the program's other windows take no input.
    std::vector<HWND> disabled;
    if (modality == Modality::Modal) {
        for (HWND wnd : user.TopLevelWindows()) {
            if (wnd != m_wnd && user.IsWindowEnabled(wnd)) {
                user.EnableWindow(wnd, false);
                disabled.push_back(wnd);
            }
        }
    }
    Show();
    m_running = true;
    while (m_result == ModalResult::None && !user.QuitPosted()) {
        user.ProcessMessages();
        if (m_result != ModalResult::None) {
            break;
        }
        if (!m_visible) {
            m_result = ModalResult::Cancel; // hidden by the program
        } else if (!m_view || !m_view->InputPossible()) {
            m_os.Trace().Emit("form-abandoned", {{"form", m_name}});
            Close(ModalResult::Cancel);
        } else {
            // A form changes only on input: sleep until some comes, waking now and then
            // for anything a host learns without an input event.
            m_os.WaitForMessage(m_os.Clock().GetTickCount() + kIdleWakeMs);
        }
    }
    m_running = false;
    Hide();
    for (HWND wnd : disabled) {
        user.EnableWindow(wnd, true);
    }
    const HWND before = m_previousForeground;
    if (modality == Modality::Modal && before != 0 && before != m_wnd && user.IsWindow(before)) {
        user.SetForegroundWindow(before);
    }
    return m_result == ModalResult::None ? ModalResult::Cancel : m_result;
}

void Form::Close(ModalResult result) {
    if (!m_visible) {
        return;
    }
    if (m_running) {
        m_result = result;
    }
    m_os.Trace().Emit("form-close", {{"form", m_name}, {"result", ResultName(result)}});
    Hide();
}

void Form::PostClick(int32_t index) {
    m_os.User().PostMessage(m_wnd, kMsgClick, static_cast<WPARAM>(index), 0);
}

void Form::PostCheck(int32_t index, bool checked) {
    m_os.User().PostMessage(m_wnd, kMsgCheck, static_cast<WPARAM>(index), checked ? 1 : 0);
}

void Form::PostScroll(int32_t index, int32_t position) {
    m_os.User().PostMessage(m_wnd, kMsgScroll, static_cast<WPARAM>(index),
                            static_cast<LPARAM>(position));
}

void Form::PostFocus(int32_t index) {
    m_os.User().PostMessage(m_wnd, kMsgFocus, static_cast<WPARAM>(index), 0);
}

void Form::PostClose() {
    m_os.User().PostMessage(m_wnd, WM_CLOSE, 0, 0);
}

bool Form::AcceptsInput(int32_t index) const {
    return m_visible && m_os.User().IsWindowEnabled(m_wnd) && index >= 0 &&
           index < static_cast<int32_t>(m_controls.size()) && Reachable(index);
}

void Form::Press(int32_t index) {
    Control& c = m_controls[static_cast<size_t>(index)];
    if (c.Kind == ControlKind::CheckBox) {
        c.Checked = !c.Checked;
        Tell(index);
    } else if (c.Kind != ControlKind::Button) {
        return;
    }
    if (c.OnClick) {
        const auto handler = c.OnClick;
        handler();
    }
}

void Form::ScrollBy(int32_t index, int32_t delta) {
    const Control& c = At(index);
    SetPosition(c.Name, c.Position + delta);
}

void Form::KeyDown(uint32_t key) {
    const int32_t focus = m_focus;
    const ControlKind focusKind = focus >= 0 ? At(focus).Kind : ControlKind::Label;
    if (key == VK_RETURN) {
        if (focus >= 0 && focusKind == ControlKind::Button && Reachable(focus)) {
            Press(focus);
            return;
        }
        for (int32_t i = 0; i < static_cast<int32_t>(m_controls.size()); ++i) {
            if (At(i).Kind == ControlKind::Button && At(i).Role == ButtonRole::Default &&
                Reachable(i)) {
                Press(i);
                return;
            }
        }
        return;
    }
    if (key == VK_ESCAPE) {
        for (int32_t i = 0; i < static_cast<int32_t>(m_controls.size()); ++i) {
            if (At(i).Kind == ControlKind::Button && At(i).Role == ButtonRole::Cancel &&
                Reachable(i)) {
                Press(i);
                return;
            }
        }
        // Without a cancel button Escape closes the dialog as its close box does.
        Close(ModalResult::Cancel);
        return;
    }
    if (key == VK_TAB) {
        MoveFocus(+1);
        return;
    }
    if (focus >= 0 && Reachable(focus)) {
        if (key == VK_SPACE &&
            (focusKind == ControlKind::Button || focusKind == ControlKind::CheckBox)) {
            Press(focus);
            return;
        }
        if (focusKind == ControlKind::ScrollBar) {
            const Control& c = At(focus);
            switch (key) {
            case VK_LEFT:
            case VK_UP:
                ScrollBy(focus, -c.SmallChange);
                return;
            case VK_RIGHT:
            case VK_DOWN:
                ScrollBy(focus, c.SmallChange);
                return;
            case kVkPrior:
                ScrollBy(focus, -c.LargeChange);
                return;
            case kVkNext:
                ScrollBy(focus, c.LargeChange);
                return;
            case kVkHome:
                SetPosition(c.Name, c.Min);
                return;
            case kVkEnd:
                SetPosition(c.Name, c.Max);
                return;
            default:
                break;
            }
        }
        if (focusKind == ControlKind::Memo && key >= 0x20 && key <= 0x5A) {
            // A character typed into the memo; the text itself is read-only.
            char typed = static_cast<char>(key);
            if (At(focus).OnKeyPress) {
                const auto handler = At(focus).OnKeyPress;
                handler(typed);
            }
            return;
        }
    }
    // A letter or digit presses the button or check box whose accelerator it is.
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
        for (int32_t i = 0; i < static_cast<int32_t>(m_controls.size()); ++i) {
            const Control& c = At(i);
            if ((c.Kind != ControlKind::Button && c.Kind != ControlKind::CheckBox) ||
                !Reachable(i)) {
                continue;
            }
            const CaptionText t = StripAccelerator(c.Caption);
            if (t.Accelerator >= 0 &&
                std::toupper(static_cast<unsigned char>(
                    t.Text[static_cast<size_t>(t.Accelerator)])) == static_cast<int>(key)) {
                SetFocus(c.Name);
                Press(i);
                return;
            }
        }
    }
}

void Form::MouseDown(Point client) {
    const int32_t i = ControlAt(client);
    if (i < 0 || !Reachable(i)) {
        return;
    }
    const Control& c = At(i);
    switch (c.Kind) {
    case ControlKind::Button:
    case ControlKind::CheckBox:
        SetFocus(c.Name);
        Press(i);
        break;
    case ControlKind::ScrollBar: {
        SetFocus(c.Name);
        const ScrollBarParts parts = LayoutScrollBar(*this, i);
        const int32_t x = client.X - ClientBounds(i).Left;
        if (x < parts.LeftArrow.Right) {
            ScrollBy(i, -c.SmallChange);
        } else if (x >= parts.RightArrow.Left) {
            ScrollBy(i, c.SmallChange);
        } else if (x < parts.Thumb.Left) {
            ScrollBy(i, -c.LargeChange);
        } else if (x >= parts.Thumb.Right) {
            ScrollBy(i, c.LargeChange);
        }
        break;
    }
    case ControlKind::Memo:
        SetFocus(c.Name);
        break;
    default:
        break;
    }
}

LRESULT Form::WindowProc(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
    const auto index = static_cast<int32_t>(wParam);
    switch (message) {
    case WM_CLOSE:
        // The close box (or Escape on the window host): the form hides, nothing else.
        Close(ModalResult::Cancel);
        return 0;
    case WM_LBUTTONDOWN: {
        const Point origin = ClientOrigin();
        const auto x = static_cast<int16_t>(lParam & 0xFFFF);
        const auto y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
        MouseDown({x - origin.X, y - origin.Y});
        return 0;
    }
    case WM_KEYDOWN:
        KeyDown(static_cast<uint32_t>(wParam));
        return 0;
    case kMsgClick:
        if (AcceptsInput(index)) {
            SetFocus(At(index).Name);
            Press(index);
        }
        return 0;
    case kMsgCheck:
        if (AcceptsInput(index) && At(index).Kind == ControlKind::CheckBox &&
            At(index).Checked != (lParam != 0)) {
            Press(index);
        }
        return 0;
    case kMsgScroll:
        if (AcceptsInput(index) && At(index).Kind == ControlKind::ScrollBar) {
            SetFocus(At(index).Name);
            SetPosition(At(index).Name, static_cast<int32_t>(lParam));
        }
        return 0;
    case kMsgFocus:
        if (AcceptsInput(index)) {
            SetFocus(At(index).Name);
        }
        return 0;
    default:
        return m_os.User().DefWindowProc(wnd, message, wParam, lParam);
    }
}

nlohmann::json Form::Describe() const {
    nlohmann::json list = nlohmann::json::array();
    for (int32_t i = 0; i < static_cast<int32_t>(m_controls.size()); ++i) {
        const Control& c = At(i);
        nlohmann::json j = {
            {"name", c.Name},
            {"kind", ControlKindName(c.Kind)},
            {"parent", c.Parent < 0 ? nlohmann::json(nullptr) : nlohmann::json(At(c.Parent).Name)},
            {"rect", RectJson(PlacedBounds(i))},
            {"caption", c.Caption},
            {"visible", c.Visible},
            {"enabled", c.Enabled},
            {"checked", c.Checked},
            {"position", c.Position},
        };
        switch (c.Kind) {
        case ControlKind::ScrollBar:
            j["min"] = c.Min;
            j["max"] = c.Max;
            j["large"] = c.LargeChange;
            break;
        case ControlKind::Button:
            j["role"] = RoleName(c.Role);
            break;
        case ControlKind::Image:
            j["picture"] = c.Picture.Width() > 0
                               ? nlohmann::json::array({c.Picture.Width(), c.Picture.Height()})
                               : nlohmann::json(nullptr);
            break;
        case ControlKind::Memo:
            j["lines"] = c.Lines.size();
            break;
        default:
            break;
        }
        list.push_back(std::move(j));
    }
    return list;
}

ScrollBarParts LayoutScrollBar(const Form& form, int32_t index) {
    const Control& c = form.At(index);
    const Rect r = form.PlacedBounds(index);
    const int32_t w = r.Width();
    const int32_t h = r.Height();
    const int32_t arrow = std::min(h, w / 2);
    ScrollBarParts p;
    p.LeftArrow = {0, 0, arrow, h};
    p.RightArrow = {w - arrow, 0, w, h};
    const int32_t trackLeft = arrow;
    const int32_t trackWidth = std::max(0, w - 2 * arrow);
    const int32_t thumb = std::min(arrow, trackWidth);
    const int64_t span = std::max<int64_t>(int64_t{c.Max} - c.Min, 1);
    const auto offset =
        static_cast<int32_t>((int64_t{c.Position} - c.Min) * (trackWidth - thumb) / span);
    p.Track = {trackLeft, 0, trackLeft + trackWidth, h};
    p.Thumb = {trackLeft + offset, 0, trackLeft + offset + thumb, h};
    return p;
}

} // namespace qv
