// The settings dialog and the about box through the real program on the headless host: the
// layout each show gets (from the trace of every shown form), what OK, the close box and
// the keyboard save, and snapshots of both dialogs.
#include "media_files.h"
#include "scenario_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSection = "[Screen Saver.Test show]";

// A show for the dialogs: a header, an empty parameter block and one picture.
std::vector<uint8_t> DialogShow(int32_t transitionType, const std::string& sound) {
    ShowRecord h = PlainHeader(transitionType);
    h.SoundFile = sound;
    return MakeShow(h, {1, 0, 0, 300, 300}, {BandedPicture(32, 24, {0xC08040, 0x4080C0})});
}

fs::path ControlIni(const TempDir& dir) {
    return dir / "root" / "windows" / "control.ini";
}

void WriteControlIni(const TempDir& dir, const std::string& text) {
    fs::create_directories(ControlIni(dir).parent_path());
    WriteText(ControlIni(dir), text);
}

// Runs the player under the show's name beside it with the role's arguments, as the
// desktop starts it; each run of a test uses the same folder and platform root.
PlayerRun RunRole(const TempDir& dir, const std::vector<uint8_t>& show,
                  std::vector<std::string> args, const std::string& events = "",
                  const std::vector<std::string>& options = {}) {
    WriteFile(dir / "show.qdm", show);
    const fs::path program = dir / "show.scr";
    if (!fs::exists(fs::symlink_status(program))) {
        fs::create_symlink(QV_PLAYER, program);
    }
    const fs::path trace = dir / "trace.jsonl";
    fs::create_directories(dir / "root");
    args.push_back("--display=headless");
    args.push_back("--root=" + (dir / "root").string());
    args.push_back("--trace=" + trace.string());
    args.push_back("--size=320x240");
    if (!events.empty()) {
        WriteText(dir / "events.txt", events);
        args.push_back("--events=" + (dir / "events.txt").string());
    }
    args.insert(args.end(), options.begin(), options.end());
    PlayerRun run;
    run.Result = Run(program, args, dir.Path(), 60000);
    run.Trace = fs::exists(trace) ? ReadTrace(trace) : std::vector<nlohmann::json>{};
    return run;
}

// The form-show events of one form, in order.
std::vector<nlohmann::json> Shown(const PlayerRun& run, const std::string& form) {
    std::vector<nlohmann::json> out;
    for (const auto& e : Events(run.Trace, "form-show")) {
        if (e["form"] == form) {
            out.push_back(e);
        }
    }
    return out;
}

const nlohmann::json& ControlOf(const nlohmann::json& shown, const std::string& name) {
    for (const auto& c : shown["controls"]) {
        if (c["name"] == name) {
            return c;
        }
    }
    static const nlohmann::json none;
    ADD_FAILURE() << "no control " << name;
    return none;
}

std::vector<int32_t> RectOf(const nlohmann::json& control) {
    return control["rect"].get<std::vector<int32_t>>();
}

TEST(SettingsDialog, ShowsOnlyWhatTheShowUses) {
    const struct {
        int32_t Id;
        const char* Sound;
        int32_t Height;
        bool Speed;
        bool SoundPanel;
        int32_t ButtonsTop;
    } cases[] = {
        {2, "", 49, false, false, 0},          {1, "tone.wav", 129, true, true, 80},
        {12, "tone.wav", 89, false, true, 40}, {0, "tone.wav", 246, false, true, 40},
        {17, "", 246, false, false, 0},        {15, "", 89, true, false, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("transition " + std::to_string(c.Id) + " sound '" + c.Sound + "'");
        TempDir dir;
        const PlayerRun run = RunRole(dir, DialogShow(c.Id, c.Sound), {"/c:1234"}, "10 close\n");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto shown = Shown(run, "TCfgFrm");
        ASSERT_EQ(shown.size(), 1u);
        const nlohmann::json& f = shown[0];
        EXPECT_EQ(f["caption"], "Test show");
        EXPECT_EQ(f["client"], nlohmann::json::array({201, c.Height}));
        EXPECT_EQ(ControlOf(f, "pnlSpeed")["visible"], c.Speed);
        EXPECT_EQ(ControlOf(f, "pnlSound")["visible"], c.SoundPanel);
        EXPECT_EQ(RectOf(ControlOf(f, "pnlButtons")),
                  (std::vector<int32_t>{0, c.ButtonsTop, 201, 49}));
        EXPECT_EQ(RectOf(ControlOf(f, "btnOK")), (std::vector<int32_t>{104, 12, 75, 23}));
        EXPECT_EQ(ControlOf(f, "btnOK")["role"], "default");
        EXPECT_EQ(RectOf(ControlOf(f, "ssspeed")), (std::vector<int32_t>{56, 12, 133, 17}));
        // The window is centred on the 320 x 240 screen.
        const auto rect = f["rect"].get<std::vector<int32_t>>();
        EXPECT_EQ(rect[0], (320 - rect[2]) / 2);
        EXPECT_EQ(rect[1], (240 - rect[3]) / 2);
        // The close box saves nothing.
        EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
        EXPECT_FALSE(fs::exists(ControlIni(dir)));
        EXPECT_NE(EventTime(run.Trace, "form-close", {{"form", "TCfgFrm"}, {"result", "cancel"}}),
                  -1);
    }
}

TEST(SettingsDialog, ShowsTheStoredSpeedWithinRangeAndOkSavesWhatIsShown) {
    const struct {
        int32_t Id;
        const char* Stored; // nullptr: no entry
        int32_t Shown;
    } cases[] = {
        {1, "0", 1},      {1, "500", 100}, {1, "0x20", 32}, {1, "fast", 50},
        {1, nullptr, 50}, {2, "500", 100}, {2, "-7", 1},    {7, "42", 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("transition " + std::to_string(c.Id) + " speed " +
                     (c.Stored ? c.Stored : "(none)"));
        TempDir dir;
        if (c.Stored) {
            WriteControlIni(dir, std::string(kSection) + "\nSpeed=" + c.Stored + "\n");
        }
        const PlayerRun run = RunRole(dir, DialogShow(c.Id, "tone.wav"), {}, "10 click btnOK\n");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto shown = Shown(run, "TCfgFrm");
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(ControlOf(shown[0], "ssspeed")["position"], c.Shown);
        EXPECT_EQ(ReadText(ControlIni(dir)),
                  std::string(kSection) + "\nSpeed=" + std::to_string(c.Shown) + "\nSound=1\n");
    }
}

TEST(SettingsDialog, MovingTheSpeedPutsTheFocusOnOkSoReturnSaves) {
    TempDir dir;
    // Other sections and lines of the file stay as they were.
    WriteControlIni(dir, "; desktop settings\n[Screen Saver.Other]\nSpeed=9\n\n" +
                             std::string(kSection) + "\nSpeed=50\nSound=1\n[Colors]\nA=1\n");
    const PlayerRun run =
        RunRole(dir, DialogShow(1, "tone.wav"), {"/c"},
                "10 check chkSound 0\n20 scroll ssspeed 75\n30 key-down RETURN\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto shown = Shown(run, "TCfgFrm");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["focus"], "ssspeed"); // the first control that takes the focus
    EXPECT_EQ(EventTime(run.Trace, "profile-write", {{"key", "Speed"}, {"value", "75"}}), 30);
    EXPECT_EQ(EventTime(run.Trace, "profile-write", {{"key", "Sound"}, {"value", "0"}}), 30);
    EXPECT_EQ(Events(run.Trace, "profile-write").size(), 2u);
    EXPECT_EQ(ReadText(ControlIni(dir)), "; desktop settings\n[Screen Saver.Other]\nSpeed=9\n\n" +
                                             std::string(kSection) +
                                             "\nSpeed=75\nSound=0\n[Colors]\nA=1\n");
}

TEST(SettingsDialog, KeysAndClicksReachTheControlsAsAPersonUsesThem) {
    const struct {
        const char* Name;
        const char* Events;
        const char* Speed; // nullptr: nothing saved
        const char* Sound;
    } cases[] = {
        // Clicking About moves the focus there, so RETURN opens the about box again
        // instead of saving; Escape closes it, Escape on the settings saves nothing.
        {"escape", "10 key-down ESCAPE\n", nullptr, nullptr},
        {"return without moving", "10 key-down RETURN\n", "50", "1"},
        {"accelerator", "10 key-down O\n", "50", "1"},
        {"space toggles the focused check box",
         "10 key-down TAB\n20 key-down SPACE\n30 click btnOK\n", "50", "0"},
        // The first step moves the focus to OK, so the second arrow key does nothing.
        {"an arrow key steps the scroll bar",
         "10 key-down RIGHT\n20 key-down RIGHT\n30 click btnOK\n", "51", "1"},
        {"a click in the track moves by the large step",
         "10 mouse-move 215 84\n20 mouse-down\n30 click btnOK\n", "58", "1"},
        {"about then return",
         "10 click btnAbout\n20 click Button1\n30 key-down RETURN\n"
         "40 key-down ESCAPE\n50 key-down ESCAPE\n",
         nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const PlayerRun run = RunRole(dir, DialogShow(1, "tone.wav"), {"/c"}, c.Events);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        if (c.Speed) {
            EXPECT_EQ(ReadText(ControlIni(dir)),
                      std::string(kSection) + "\nSpeed=" + c.Speed + "\nSound=" + c.Sound + "\n");
        } else {
            EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
        }
    }
}

TEST(SettingsDialog, TheNextSaverRunPlaysTheSoundOnlyWhenTheUserLeftItOn) {
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "sound on" : "sound off");
        TempDir dir;
        MakeSineWav(dir.Path(), "tone.wav", "0.5");
        const auto show = DialogShow(2, "tone.wav");
        const PlayerRun settings =
            RunRole(dir, show, {"/c"},
                    std::string("10 check chkSound ") + (on ? "1" : "0") + "\n20 click btnOK\n");
        ASSERT_EQ(settings.Result.ExitCode, 0) << settings.Result.Err;
        const PlayerRun saver = RunRole(dir, show, {"/s"}, "", {"--duration=300"});
        ASSERT_EQ(saver.Result.ExitCode, 0) << saver.Result.Err;
        EXPECT_EQ(EventTime(saver.Trace, "role", {{"role", "full-screen"}}), 0);
        EXPECT_EQ(EventTime(saver.Trace, "mci", {{"cmd", "play"}}) != -1, on);
    }
}

TEST(SettingsDialog, AFailedSaveIsReportedAndLosesNothing) {
    const std::string before = std::string(kSection) + "\nSpeed=20\nSound=1\n";
    const struct {
        const char* Name;
        bool ReadOnlyFolder; // else a folder stands where control.ini would be written
    } cases[] = {{"read-only Windows directory", true}, {"folder named control.ini", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.ReadOnlyFolder && ::geteuid() == 0) {
            continue; // the superuser writes into read-only folders; the other case stands
        }
        TempDir dir;
        const fs::path windows = dir / "root" / "windows";
        if (c.ReadOnlyFolder) {
            WriteControlIni(dir, before);
            fs::permissions(windows, fs::perms::owner_read | fs::perms::owner_exec);
        } else {
            fs::create_directories(windows / "control.ini");
            WriteText(windows / "control.ini" / "keep.txt", before);
        }
        const PlayerRun run = RunRole(dir, DialogShow(1, ""), {"/c"},
                                      "10 scroll ssspeed 60\n20 click btnOK\n40 close\n");
        fs::permissions(windows, fs::perms::owner_all);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto boxes = Events(run.Trace, "msgbox");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]["text"], "Unable to write to control.ini");
        EXPECT_EQ(boxes[0]["caption"], "Screen Saver");
        EXPECT_EQ(boxes[0]["t"], 20);
        // The dialog stays up after the message; the close box ends it.
        EXPECT_EQ(EventTime(run.Trace, "form-close", {{"result", "cancel"}}), 40);
        EXPECT_EQ(EventTime(run.Trace, "form-close", {{"result", "ok"}}), -1);
        EXPECT_EQ(ReadText(c.ReadOnlyFolder ? windows / "control.ini"
                                            : windows / "control.ini" / "keep.txt"),
                  before);
    }
}

TEST(SettingsDialog, LooksLikeADialog) {
    TempDir dir;
    WriteControlIni(dir, std::string(kSection) + "\nSpeed=70\nSound=0\n");
    const PlayerRun run = RunRole(dir, DialogShow(1, "tone.wav"), {"/c"}, "50 close\n",
                                  {"--snapshot=20:" + (dir / "settings.png").string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "settings.png", "settings_dialog.png");
}

struct AboutCase {
    const char* Name;
    int32_t LogoKind;
    int32_t LogoW, LogoH; // 0: no logo picture in the show
    std::vector<int32_t> LogoRect;
    bool Picture;
    const char* Text;              // the client text label's caption
    std::vector<int32_t> TextRect; // inside Panel2
};

std::vector<uint8_t> AboutShow(const AboutCase& c, const TempDir& dir) {
    nlohmann::json m = {{"SaverTitle", "Test show"},
                        {"TransitionType", 2},
                        {"AboutText", "Night|Birds"},
                        {"ClientText", "||Shared|freely"},
                        {"LogoKind", c.LogoKind},
                        {"Parameters",
                         {{"PictureNumbers", {0}},
                          {"RandomPlacement", 0},
                          {"HoldTime", 300},
                          {"EffectTime", 100}}}};
    std::vector<TestPicture> pictures = {BandedPicture(16, 16, {0x808080})};
    if (c.LogoW == 0 && c.LogoKind == 1) {
        m["LogoOffset"] = 999999; // past the end of the file
    }
    if (c.LogoW > 0) {
        m["Logo"] = {{{"File", "picture1.png"}}};
        pictures.push_back(BandedPicture(c.LogoW, c.LogoH, {0xE03020, 0x2040E0, 0x20C040}));
    }
    return BuildWithTool(dir, m, pictures);
}

TEST(AboutBox, LogoAndTextsByLogoKind) {
    const std::string credit = "\rCreated with Tarnwell Quorvex\rwww.tarnwell.example";
    const AboutCase cases[] = {
        {"icon and credit", 0, 0, 0, {32, 8, 32, 32}, true, credit.c_str(), {8, 64, 257, 54}},
        {"wide logo", 1, 200, 100, {8, 8, 80, 40}, true, "\r\rShared\rfreely", {8, 64, 257, 54}},
        {"tall logo", 1, 40, 400, {40, 8, 16, 160}, true, "\r\rShared\rfreely", {8, 64, 257, 54}},
        {"small logo", 1, 30, 30, {33, 8, 30, 30}, true, "\r\rShared\rfreely", {8, 64, 257, 54}},
        {"icon, wide text", 2, 0, 0, {32, 8, 32, 32}, true, "\r\rShared\rfreely", {4, 64, 265, 54}},
        {"nothing", 3, 0, 0, {8, 8, 80, 160}, false, "\r\rShared\rfreely", {8, 64, 257, 54}},
        // The show says it has a logo but holds none: the image stays empty.
        {"unreadable logo",
         1,
         0,
         0,
         {8, 8, 80, 160},
         false,
         "\r\rShared\rfreely",
         {8, 64, 257, 54}},
    };
    for (const AboutCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const auto show = AboutShow(c, dir);
        const PlayerRun run = RunRole(dir, show, {"/c"},
                                      "10 click btnAbout\n20 click Button1\n30 click btnAbout\n"
                                      "40 key-down RETURN\n50 close\n");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        // Opened, closed and opened again: the same window shown twice.
        const auto shown = Shown(run, "TfrmAbout");
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0]["hwnd"], shown[1]["hwnd"]);
        EXPECT_EQ(EventTime(run.Trace, "form-close", {{"form", "TfrmAbout"}}), 20);
        const nlohmann::json& f = shown[1];
        EXPECT_EQ(f["caption"], "Test show");
        EXPECT_EQ(f["client"], nlohmann::json::array({376, 180}));
        EXPECT_TRUE(f["modal"].get<bool>());
        EXPECT_EQ(RectOf(ControlOf(f, "logo")), c.LogoRect);
        EXPECT_EQ(ControlOf(f, "logo")["picture"].is_array(), c.Picture);
        EXPECT_EQ(ControlOf(f, "Label2")["caption"], "Night\rBirds");
        EXPECT_EQ(ControlOf(f, "text")["caption"], c.Text);
        EXPECT_EQ(RectOf(ControlOf(f, "text")), c.TextRect);
        EXPECT_EQ(RectOf(ControlOf(f, "Panel2")), (std::vector<int32_t>{96, 8, 273, 129}));
        EXPECT_EQ(RectOf(ControlOf(f, "Button1")), (std::vector<int32_t>{294, 146, 75, 23}));
        // The settings form took no input while the about box was up, and nothing was saved.
        EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
    }
}

TEST(AboutBox, LooksLikeADialog) {
    TempDir dir;
    const AboutCase c{"icon", 0, 0, 0, {}, true, "", {}};
    const auto show = AboutShow(c, dir);
    const PlayerRun run =
        RunRole(dir, show, {"/c"}, "10 click btnAbout\n60 key-down ESCAPE\n70 close\n",
                {"--size=400x240", "--snapshot=30:" + (dir / "about.png").string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "about.png", "about_box.png");
}

TEST(FormEvents, AControlNoShownFormHasIsNotedAndTheRunEndsCleanly) {
    TempDir dir;
    const PlayerRun run = RunRole(dir, DialogShow(2, ""), {"/c"}, "10 click btnNothing\n");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_NE(run.Result.Err.find("no shown form has a control 'btnNothing'"), std::string::npos);
    EXPECT_NE(EventTime(run.Trace, "input", {{"control", "btnNothing"}, {"hwnd", 0}}), -1);
    // With the script at its end, the dialog is closed as its close box would.
    EXPECT_NE(EventTime(run.Trace, "form-abandoned", {{"form", "TCfgFrm"}}), -1);
    EXPECT_TRUE(Events(run.Trace, "profile-write").empty());
}

} // namespace
} // namespace qv::test
