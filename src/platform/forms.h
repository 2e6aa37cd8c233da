#pragma once

#include "platform/geometry.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Form;
class Platform;

// The kinds of control a form may hold: what the settings dialog, the about box and the
// installer wizard are made of.
enum class ControlKind : uint8_t {
    Panel,     // a box with optional bevels that holds other controls and may show a caption
    Label,     // text; a carriage return breaks the line
    Button,    // push button
    CheckBox,  // check box with its caption at the right
    ScrollBar, // horizontal scroll bar with minimum, maximum and large step
    Image,     // a picture, empty until one is given
    Memo,      // multi-line read-only text with a vertical scroll bar
    Gauge,     // progress bar for 0 to 100 with the percentage over it
    Rule,      // a horizontal etched line
};

// The trace's name of a kind ("panel", "scroll-bar", ...).
const char* ControlKindName(ControlKind kind);

enum class Bevel : uint8_t { None, Raised, Lowered };
// Top: the control is stacked at the top of its parent under the visible top-aligned
// controls before it and as wide as the parent; a hidden one takes no room.
enum class Align : uint8_t { None, Top };
enum class TextAlign : uint8_t { Left, Centre };
// Default: Enter presses it unless another button has the focus. Cancel: Escape presses it.
enum class ButtonRole : uint8_t { None, Default, Cancel };
enum class ModalResult : uint8_t { None, Ok, Cancel };
// A main form runs the program's message loop; a modal one also keeps input from the
// program's other windows while it is up.
enum class Modality : uint8_t { MainForm, Modal };

// One control, as the dialog code describes it. The form owns it; change it through the
// form's setters so that the host's view learns of it.
struct Control {
    std::string Name;
    ControlKind Kind = ControlKind::Label;
    int32_t Parent = -1; // index of the panel that holds it; -1: the form itself
    Rect Bounds;         // in the parent's client pixels, as designed (before alignment)
    // Buttons and check boxes: '&' marks the next character as the accelerator ("&&" is an
    // ampersand). Labels and panels show their text as it is.
    std::string Caption;
    bool Visible = true;
    bool Enabled = true;
    bool Checked = false;
    Align Alignment = Align::None;
    TextAlign TextAlignment = TextAlign::Left;
    Bevel BevelInner = Bevel::None;
    Bevel BevelOuter = Bevel::None;
    int32_t BorderWidth = 0; // panel: space between the bevels and the caption
    ButtonRole Role = ButtonRole::None;
    // Scroll bar: range and position; gauge: the value (Min 0, Max 100).
    int32_t Min = 0;
    int32_t Max = 100;
    int32_t Position = 0;
    int32_t LargeChange = 1;
    int32_t SmallChange = 1;
    // Image: the picture (Xrgb32), empty for none; with AutoSize the control takes its size.
    Surface Picture;
    bool AutoSize = false;
    // Label: lines longer than the label's width break between words.
    bool WordWrap = false;
    std::vector<std::string> Lines; // memo

    // Events, run from the form's window procedure (never from inside the host's input
    // delivery): a button pressed or a check box toggled by the user; a scroll bar's
    // position changed (also when the program sets it); a character typed into a memo,
    // which the handler may set to 0 to discard it.
    std::function<void()> OnClick;
    std::function<void()> OnChange;
    std::function<void(char&)> OnKeyPress;
};

// What a host makes of a form: a realisation that shows it (Qt Widgets on the window host,
// a drawn window on the headless host). The form tells it of every change; the view reads
// what it needs from the form and reports the user's actions back through the form's
// Post... calls.
class FormView {
public:
    virtual ~FormView() = default;
    // The form's window exists (its handle is Form::Handle()); called before it is shown.
    virtual void Realise() = 0;
    // index -1: the form itself (caption, size); otherwise that control.
    virtual void Changed(int32_t index) = 0;
    virtual void Shown(bool visible, Modality modality) = 0;
    virtual void FocusChanged() = 0;
    // False when no user input can reach the form any more (a script that has ended): a
    // modal run then ends as if the form were closed with its close box.
    virtual bool InputPossible() const { return true; }
};

// A form: a dialog window of a fixed client size with a caption, the dialog border and a
// system menu with only its close box, centred on the screen, and the controls inside it.
// The dialog code describes it and runs it through this class only; each host realises it.
//
// Every shown form is traced once ("form-show") with each control's name, kind, rectangle,
// caption and state; closing is traced as "form-close".
class Form {
public:
    // name: the form's class name (the window class); owner: the window that owns it.
    Form(Platform& os, std::string name, Size clientSize, HWND owner = 0);
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    Platform& Os() { return m_os; }
    const std::string& Name() const { return m_name; }

    // Building. parent names a panel added before; an empty name is the form. Names are
    // unique; a second control of the same name is a programming error.
    Control& Add(ControlKind kind, std::string name, Rect bounds, std::string_view parent = {});
    // The control of that name; a missing name is a programming error (checked).
    Control& operator[](std::string_view name);
    const Control& operator[](std::string_view name) const;
    int32_t IndexOf(std::string_view name) const; // -1 when there is none
    const std::vector<Control>& Controls() const { return m_controls; }
    const Control& At(int32_t index) const { return m_controls.at(static_cast<size_t>(index)); }

    // The form.
    const std::string& Caption() const { return m_caption; }
    void SetCaption(std::string caption);
    Size ClientSize() const { return m_client; }
    void SetClientSize(Size size);
    std::string FontFace = "MS Sans Serif";
    int32_t FontHeight = -11;

    // Controls.
    void SetText(std::string_view name, std::string caption);
    void SetVisible(std::string_view name, bool visible);
    void SetEnabled(std::string_view name, bool enabled);
    void SetChecked(std::string_view name, bool checked);
    // Clamped to the control's range; runs OnChange when the position changes.
    void SetPosition(std::string_view name, int32_t position);
    void SetBounds(std::string_view name, Rect bounds);
    void SetLeft(std::string_view name, int32_t left);
    void SetWidth(std::string_view name, int32_t width);
    // An image's picture; with AutoSize the control takes the picture's size.
    void SetPicture(std::string_view name, Surface picture);
    void SetLines(std::string_view name, std::vector<std::string> lines);
    // Moves the keyboard focus; a hidden or disabled control cannot take it.
    void SetFocus(std::string_view name);
    int32_t Focus() const { return m_focus; }

    // Where a control is after alignment: in its parent's client pixels, and in the form's.
    Rect PlacedBounds(int32_t index) const;
    Rect ClientBounds(int32_t index) const;
    // Visible and enabled, and so is every panel around it.
    bool Reachable(int32_t index) const;
    // The deepest reachable control at a point of the client area, or -1.
    int32_t ControlAt(Point client) const;

    // Showing. Show and Hide create the window on first use.
    void Show();
    void Hide();
    bool Visible() const { return m_visible; }
    // Shows the form and runs the message loop until it is closed; returns how.
    ModalResult Run(Modality modality);
    // Hides the form and ends its run with this result.
    void Close(ModalResult result);
    HWND Handle() const { return m_wnd; }
    // The window's rectangle on the screen and the client area's offset inside it.
    Rect WindowRect() const;
    static constexpr int32_t kFrameWidth = 3;     // border on each side, in pixels
    static constexpr int32_t kCaptionHeight = 18; // title bar under the top border
    static Point ClientOrigin() { return {kFrameWidth, kFrameWidth + kCaptionHeight}; }

    // The user's actions, as hosts report them: posted to the form's window and run from
    // its window procedure, like any other input. A form that is disabled (another form is
    // modal) or a control that cannot be reached ignores them.
    void PostClick(int32_t index);
    void PostCheck(int32_t index, bool checked);
    void PostScroll(int32_t index, int32_t position);
    void PostFocus(int32_t index);
    void PostClose();

    FormView* View() { return m_view.get(); }
    // Every control with its state, as traced.
    nlohmann::json Describe() const;

private:
    LRESULT WindowProc(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam);
    void CreateWindowNow();
    int32_t Index(std::string_view name) const; // checked
    void Tell(int32_t index);
    bool AcceptsInput(int32_t index) const;
    void Press(int32_t index); // a button or check box used by the user
    void ScrollBy(int32_t index, int32_t delta);
    void KeyDown(uint32_t key);
    void MouseDown(Point client);
    void MoveFocus(int direction);
    bool Focusable(int32_t index) const;

    Platform& m_os;
    std::string m_name;
    std::string m_caption;
    Size m_client;
    HWND m_owner;
    HWND m_wnd = 0;
    HWND m_previousForeground = 0;
    bool m_visible = false;
    bool m_running = false;
    Modality m_modality = Modality::MainForm;
    ModalResult m_result = ModalResult::None;
    int32_t m_focus = -1;
    std::vector<Control> m_controls;
    std::unique_ptr<FormView> m_view;
};

// The accelerator-free text of a caption ("&OK" is "OK", "&&" an ampersand) and the index
// in that text of the accelerator character, or -1.
struct CaptionText {
    std::string Text;
    int32_t Accelerator = -1;
};
CaptionText StripAccelerator(std::string_view caption);

// Where the parts of a horizontal scroll bar lie, in its own pixels: the two arrow buttons
// (squares as high as the bar), the track between them and the thumb in the track, placed
// by the position. Hosts draw it so and the form hit-tests it so.
struct ScrollBarParts {
    Rect LeftArrow;
    Rect RightArrow;
    Rect Track;
    Rect Thumb;
};
ScrollBarParts LayoutScrollBar(const Form& form, int32_t index);

// The lines of a label's text: a carriage return (with or without a line feed after it)
// or a line feed ends a line.
std::vector<std::string> SplitLines(std::string_view text);

} // namespace qv
