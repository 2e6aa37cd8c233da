#include "platform/error.h"
#include "platform/headless/headless_host.h"
#include "show/settings.h"
#include "show/show_file.h"
#include "show/show_writer.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

// A platform on the headless host whose executable is `exe` in a fresh root.
struct Fixture {
    explicit Fixture(const std::string& exe, std::vector<std::string> args = {}) {
        HostOptions o;
        o.Root = (dir / "root").string();
        o.Args = {exe};
        o.Args.insert(o.Args.end(), args.begin(), args.end());
        os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        ctx = std::make_unique<ShowContext>(*os);
    }
    fs::path Ini() const { return dir / "root" / "windows" / "control.ini"; }
    test::TempDir dir;
    std::unique_ptr<Platform> os;
    std::unique_ptr<ShowContext> ctx;
};

TEST(Settings, ReadsControlIni) {
    const struct {
        std::string Ini;
        int32_t Speed;
        uint8_t SoundOn;
    } cases[] = {
        {"", 50, 1},
        {"[Other]\nSpeed=10\n", 50, 1},
        {"[Screen Saver.Birds]\nSpeed=0x20\n", 32, 1},
        {"[Screen Saver.Birds]\nSpeed=0X1f\n", 31, 1},
        {"[Screen Saver.Birds]\nSpeed=$10\n", 16, 1},
        {"[Screen Saver.Birds]\nSpeed=fast\n", 50, 1},
        {"[Screen Saver.Birds]\nSpeed=0x\n", 50, 1},
        {"[Screen Saver.Birds]\nSpeed=-7\nSound=0\n", -7, 0},
        {"[screen saver.birds]\nspeed=75\nsound=256\n", 75, 0},
        {"[Screen Saver.Birds]\nSound=257\n", 50, 1},
        {"[Screen Saver.Birds]\nSound=99999999999\nSpeed=\n", 50, 1},
    };
    for (const auto& c : cases) {
        Fixture f("/tmp/birds.scr");
        if (!c.Ini.empty()) {
            test::WriteText(f.Ini(), c.Ini);
        }
        f.ctx->Show.SaverTitle = "Birds";
        LoadSettings(*f.ctx);
        EXPECT_EQ(f.ctx->Run.Speed, c.Speed) << c.Ini;
        EXPECT_EQ(f.ctx->Run.SoundOn, c.SoundOn) << c.Ini;
    }
}

TEST(Settings, SaveWritesBothKeysIntoTheSaversSection) {
    Fixture f("/tmp/birds.scr");
    test::WriteText(f.Ini(), "[Screen Saver.Other]\nSpeed=3\n");
    f.ctx->Show.SaverTitle = "Birds";
    f.ctx->Run.Speed = 80;
    f.ctx->Run.SoundOn = 0;
    SaveSettings(*f.ctx);
    EXPECT_EQ(test::ReadText(f.Ini()),
              "[Screen Saver.Other]\nSpeed=3\n\n[Screen Saver.Birds]\nSpeed=80\nSound=0\n");
    f.ctx->Run.Speed = 0;
    LoadSettings(*f.ctx);
    EXPECT_EQ(f.ctx->Run.Speed, 80);
}

TEST(Settings, SaveFailureRaisesNamingTheFile) {
    Fixture f("/tmp/birds.scr");
    fs::create_directories(f.Ini()); // a folder where the file should be
    f.ctx->Show.SaverTitle = "Birds";
    EXPECT_THROW(SaveSettings(*f.ctx), PlatformError);
}

TEST(ParseSettingsNumber, Forms) {
    EXPECT_EQ(ParseSettingsNumber("  12"), 12);
    EXPECT_EQ(ParseSettingsNumber("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseSettingsNumber("2147483647"), 2147483647);
    EXPECT_EQ(ParseSettingsNumber("-2147483648"), INT32_MIN);
    EXPECT_FALSE(ParseSettingsNumber("2147483648"));
    EXPECT_FALSE(ParseSettingsNumber("12 "));
    EXPECT_FALSE(ParseSettingsNumber(""));
    EXPECT_FALSE(ParseSettingsNumber("$"));
}

TEST(LoadShow, FindsTheShowBesideTheExecutableAndStopsAtTheParameterBlock) {
    test::TempDir dir;
    ShowRecord rec;
    rec.SaverTitle = "Birds";
    rec.TransitionType = 13;
    ShowWriter w;
    WriteShowHeader(w, rec);
    w.WriteInt(7); // first field of the parameter block
    w.WriteStr("next");
    test::WriteFile(dir / "sub" / "birds.qdm", w.Bytes());

    Fixture f((dir / "sub" / "birds.scr").string(), {"/s"});
    LoadShow(*f.ctx);
    ASSERT_GE(f.ctx->Run.ShowFile, 0);
    EXPECT_EQ(f.ctx->Show.SaverTitle, "Birds");
    EXPECT_EQ(f.ctx->Show.TransitionType, 13);
    EXPECT_EQ(f.ctx->Show.ShowBaseName, "BIRDS");
    EXPECT_EQ(f.ctx->Show.ShowDir, UpperCase(PathMap::ToWindows(dir / "sub")) + "\\");
    EXPECT_EQ(ReadInt(*f.ctx), 7);
    EXPECT_EQ(ReadStr(*f.ctx), "next");
    EXPECT_EQ(ReadInt(*f.ctx), 0); // past the end
    CloseShow(*f.ctx);
    EXPECT_EQ(ReadInt(*f.ctx), 0); // closed: reads as past the end
}

TEST(LoadShow, MissingFileLeavesTheRecordUntouched) {
    test::TempDir dir;
    Fixture f((dir / "none.scr").string(), {"/s"});
    f.ctx->Show.SaverTitle = "kept";
    LoadShow(*f.ctx);
    EXPECT_LT(f.ctx->Run.ShowFile, 0);
    EXPECT_EQ(f.ctx->Show.SaverTitle, "kept");
}

} // namespace
} // namespace qv
