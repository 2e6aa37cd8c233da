// The forms layer on the headless host: layout of top-aligned panels, the controls' rules
// (ranges, roles, reachability), modality, and what the drawn window shows.
#include "headless_fixture.h"
#include "platform/forms.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

TEST(FormText, AcceleratorsAndLineBreaks) {
    const struct {
        const char* Caption;
        const char* Text;
        int32_t Accelerator;
    } captions[] = {
        {"&OK", "OK", 0},       {"< &Back", "< Back", 2}, {"Fish && &Chips", "Fish & Chips", 7},
        {"Plain", "Plain", -1}, {"End&", "End&", -1},     {"&&", "&", -1},
    };
    for (const auto& c : captions) {
        const CaptionText t = StripAccelerator(c.Caption);
        EXPECT_EQ(t.Text, c.Text) << c.Caption;
        EXPECT_EQ(t.Accelerator, c.Accelerator) << c.Caption;
    }
    EXPECT_EQ(SplitLines("a\rb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitLines("\r\rx"), (std::vector<std::string>{"", "", "x"}));
    EXPECT_EQ(SplitLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitLines(""), (std::vector<std::string>{""}));
}

struct FormFixture : ::testing::Test {
    HeadlessPlatform P;
    void SetUp() override { P.Start({"--size=320x240"}); }
};

TEST_F(FormFixture, HiddenTopPanelsTakeNoRoomAndHideTheirControls) {
    Form f(*P.Os, "TTest", {100, 120});
    for (const char* name : {"a", "b", "c"}) {
        f.Add(ControlKind::Panel, name, {0, 0, 100, 30}).Alignment = Align::Top;
    }
    f.Add(ControlKind::Button, "inB", {10, 5, 60, 25}, "b");
    EXPECT_EQ(f.ClientBounds(2), (Rect{0, 60, 100, 90}));
    EXPECT_EQ(f.ClientBounds(3), (Rect{10, 35, 60, 55}));
    EXPECT_EQ(f.ControlAt({20, 40}), 3);
    f.SetVisible("b", false);
    EXPECT_EQ(f.ClientBounds(2), (Rect{0, 30, 100, 60}));
    EXPECT_FALSE(f.Reachable(3)); // inside a hidden panel
    EXPECT_EQ(f.ControlAt({20, 40}), 2);
    f.SetVisible("a", false);
    EXPECT_EQ(f.ClientBounds(2), (Rect{0, 0, 100, 30}));
}

TEST_F(FormFixture, ScrollBarClampsAndReportsOnlyRealChanges) {
    Form f(*P.Os, "TTest", {100, 40});
    Control& bar = f.Add(ControlKind::ScrollBar, "bar", {0, 0, 100, 17});
    bar.Min = 1;
    bar.Max = 100;
    bar.Position = 1;
    int changes = 0;
    bar.OnChange = [&] { ++changes; };
    const struct {
        int32_t Set;
        int32_t Expect;
        int Changes;
    } steps[] = {{1, 1, 0}, {0, 1, 0}, {500, 100, 1}, {100, 100, 1}, {-5, 1, 2}, {42, 42, 3}};
    for (const auto& s : steps) {
        f.SetPosition("bar", s.Set);
        EXPECT_EQ(f["bar"].Position, s.Expect) << s.Set;
        EXPECT_EQ(changes, s.Changes) << s.Set;
    }
    // The thumb's place follows the position across the track between the arrows.
    f.SetPosition("bar", 1);
    EXPECT_EQ(LayoutScrollBar(f, 0).Thumb, (Rect{17, 0, 34, 17}));
    f.SetPosition("bar", 100);
    EXPECT_EQ(LayoutScrollBar(f, 0).Thumb, (Rect{66, 0, 83, 17}));
}

TEST_F(FormFixture, EscapePressesTheCancelButtonAndUnreachableControlsIgnoreInput) {
    Form f(*P.Os, "TTest", {200, 60});
    int cancels = 0;
    int presses = 0;
    Control& cancel = f.Add(ControlKind::Button, "btnCancel", {10, 10, 80, 33});
    cancel.Role = ButtonRole::Cancel;
    cancel.OnClick = [&] { ++cancels; };
    f.Add(ControlKind::Button, "btnOther", {100, 10, 170, 33}).OnClick = [&] { ++presses; };
    f.Show();
    P.User().PostMessage(f.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    f.SetEnabled("btnOther", false);
    f.PostClick(1);
    P.User().ProcessMessages();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(presses, 0);
    EXPECT_TRUE(f.Visible()); // Escape went to the button, which did not close the form
    f.SetEnabled("btnOther", true);
    f.PostClick(1);
    P.User().ProcessMessages();
    EXPECT_EQ(presses, 1);
}

TEST_F(FormFixture, AModalFormKeepsInputFromTheOthersUntilItCloses) {
    Form main(*P.Os, "TMain", {200, 100});
    int mainClicks = 0;
    main.Add(ControlKind::Button, "btnMain", {10, 10, 80, 33}).OnClick = [&] { ++mainClicks; };
    main.Show();
    Form modal(*P.Os, "TModal", {120, 60});
    modal.Add(ControlKind::Button, "btnDone", {10, 10, 80, 33}).OnClick = [&] {
        // Input to the main form while the modal one is up is dropped.
        main.PostClick(0);
        modal.Close(ModalResult::Ok);
    };
    // Nothing scripted: the modal run would end at once, so the click is posted first.
    modal.Show();
    modal.PostClick(0);
    EXPECT_EQ(modal.Run(Modality::Modal), ModalResult::Ok);
    EXPECT_EQ(mainClicks, 0);
    EXPECT_TRUE(P.User().IsWindowEnabled(main.Handle()));
    EXPECT_EQ(P.User().GetForegroundWindow(), main.Handle());
    main.PostClick(0);
    P.User().ProcessMessages();
    EXPECT_EQ(mainClicks, 1);
}

TEST_F(FormFixture, WithoutScriptedInputAModalRunEndsAsIfClosed) {
    Form f(*P.Os, "TTest", {100, 50});
    EXPECT_EQ(f.Run(Modality::Modal), ModalResult::Cancel);
    EXPECT_FALSE(f.Visible());
    ASSERT_EQ(P.Trace("form-abandoned").size(), 1u);
    EXPECT_EQ(P.Trace("form-close")[0]["result"], "cancel");
}

TEST_F(FormFixture, DrawsTheFrameAndTheGaugeByItsValue) {
    Form f(*P.Os, "TInst", {217, 21});
    f.SetCaption("Setup");
    f.Add(ControlKind::Gauge, "gi", {0, 0, 217, 21});
    f.SetPosition("gi", 42);
    f.Show();
    const PixelView view = P.Host->ComposeView();
    const auto at = [&](int32_t x, int32_t y) {
        return view.Pixels[static_cast<size_t>(y) * static_cast<size_t>(view.Stride) +
                           static_cast<size_t>(x)] &
               0xFFFFFF;
    };
    const Rect w = f.WindowRect();
    EXPECT_EQ(w, (Rect{48, 97, 48 + 223, 97 + 45}));
    const Point o{w.Left + Form::ClientOrigin().X, w.Top + Form::ClientOrigin().Y};
    EXPECT_EQ(at(w.Left + 1, w.Top + 5), 0xFFFFFFu); // the light inner border
    EXPECT_EQ(at(w.Left + 4, w.Top + 4), 0x000080u); // the title bar
    EXPECT_EQ(at(o.X + 1, o.Y + 1), 0x000080u);      // the filled part, 42% of 217
    EXPECT_EQ(at(o.X + 90, o.Y + 1), 0x000080u);
    EXPECT_EQ(at(o.X + 91, o.Y + 1), 0xC0C0C0u);
    EXPECT_EQ(at(o.X + 216, o.Y + 20), 0xC0C0C0u);
    // The text "42%" lies over the bar's middle, in black or (over the fill) in white.
    int ink = 0;
    for (int32_t x = 80; x < 140; ++x) {
        for (int32_t y = 2; y < 19; ++y) {
            const uint32_t p = at(o.X + x, o.Y + y);
            ink += (p == 0 && x >= 91) || (p == 0xFFFFFF && x < 91);
        }
    }
    EXPECT_GT(ink, 20);
    ASSERT_EQ(P.Trace("form-show").size(), 1u);
    EXPECT_EQ(P.Trace("form-show")[0]["controls"][0]["position"], 42);
}

} // namespace
} // namespace qv::test
