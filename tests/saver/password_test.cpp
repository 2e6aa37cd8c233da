#include "headless_fixture.h"
#include "platform/error.h"
#include "saver/saver.h"
#include "saver/saver_window.h"

#include <crypt.h>
#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// The registry text of a protected saver whose password is `password`.
std::string ProtectedRegistry(const char* password) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    EXPECT_NE(crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof salt), nullptr);
    crypt_data data{};
    const std::string hash = crypt_r(password, salt, &data);
    return "REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\desktop]\n"
           "\"ScreenSaveUsePassword\"=dword:00000001\n"
           "\"ScreenSave_Data\"=\"" +
           hash + "\"\n";
}

// A full-screen saver window on the headless host, with the registry and the events given,
// ready for the password check.
class PasswordFixture {
public:
    PasswordFixture(const std::string& registry, const std::string& events) {
        fs::create_directories(P.Dir / "root");
        if (!registry.empty()) {
            WriteText(P.Dir / "root" / "registry.reg", registry);
        }
        WriteText(P.Dir / "events.txt", events);
        P.Start({"--display=headless", "--size=160x120",
                 "--events=" + (P.Dir / "events.txt").string()});
        P.Os->Libraries().SetComponentSources({QV_COMPONENT_DIR});
        m_app = std::make_unique<Application>(*P.Os);
        Player = std::make_unique<qv::Player>(*P.Os, *m_app);
        Player->SaverWindow =
            std::make_unique<TScreenSaverWindow>(*Player, SaverWindowKind::FullScreen);
        Player->Run.SaverWnd = Player->SaverWindow->CreateWnd();
        P.User().SetScreenCursor(Cursor::None);
    }
    ~PasswordFixture() {
        Player.reset();
        m_app.reset();
    }

    HeadlessPlatform P;

private:
    std::unique_ptr<Application> m_app;

public:
    std::unique_ptr<qv::Player> Player;
};

TEST(PasswordCheck, WithoutTheComponentTheRunEndsWithoutAPrompt) {
    PasswordFixture f(ProtectedRegistry("pw"), "answer password type pw\n");
    f.P.Os->Libraries().SetComponentSources({});
    PasswordCheck(*f.Player);
    EXPECT_TRUE(f.Player->StopRequested);
    EXPECT_TRUE(f.P.Trace("password-prompt").empty());
    const auto loads = f.P.Trace("library-load");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_FALSE(loads[0]["loaded"].get<bool>());
    EXPECT_EQ(f.Player->TickBase, 0);
}

TEST(PasswordCheck, TheStylesClockStandsStillWhileThePromptIsOpen) {
    // The first answer takes 5 s, the second 0.7 s. Input that comes meanwhile is
    // dispatched while the check still runs and starts no second prompt.
    PasswordFixture f(ProtectedRegistry("Sesame-42"), "answer password type wrong 5000\n"
                                                      "answer password type Sesame-42 700\n"
                                                      "10 mouse-down\n"
                                                      "20 mouse-move 10 10\n"
                                                      "30 mouse-move 90 90\n");
    Cursor during = Cursor::None;
    f.P.User().ProcessMessages();
    const uint32_t before = f.P.Os->GetTickCount();
    const int32_t elapsedBefore = Elapsed(*f.Player);
    PasswordCheck(*f.Player);
    EXPECT_FALSE(f.Player->StopRequested);
    EXPECT_FALSE(f.Player->InPasswordCheck);
    EXPECT_EQ(f.P.User().ScreenCursor(), Cursor::None);
    EXPECT_GE(f.P.Os->GetTickCount() - before, 5000u);
    // Only the check's own two rounds of messages count on the styles' clock.
    EXPECT_EQ(f.Player->TickBase, 5000);
    EXPECT_EQ(Elapsed(*f.Player) - elapsedBefore, 2);
    EXPECT_EQ(f.P.Trace("password-prompt").size(), 1u);

    during = f.P.User().ScreenCursor();
    PasswordCheck(*f.Player);
    EXPECT_EQ(during, Cursor::None);
    EXPECT_TRUE(f.Player->StopRequested);
    EXPECT_EQ(f.Player->TickBase, 5700);
    const auto verdicts = f.P.Trace("password-verify");
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0]["result"], "wrong");
    EXPECT_EQ(verdicts[1]["result"], "right");
}

TEST(PasswordCheck, AValueOfAnotherTypeRaises) {
    PasswordFixture f("REGEDIT4\n[HKEY_CURRENT_USER\\Control Panel\\desktop]\n"
                      "\"ScreenSaveUsePassword\"=\"1\"\n",
                      "");
    EXPECT_THROW(PasswordCheck(*f.Player), PlatformError);
    EXPECT_FALSE(f.Player->InPasswordCheck);
}

TEST(ChangePassword, RunsTheComponentOnlyWithASecondArgument) {
    const struct {
        std::vector<std::string> Args;
        bool Runs;
        HWND Parent;
    } cases[] = {
        {{"/a"}, false, 0},
        {{"/a", "1234"}, true, 1234},
        {{"/a", "12x"}, true, 0},
    };
    for (const auto& c : cases) {
        HeadlessPlatform p;
        WriteText(p.Dir / "events.txt", "answer change-password new=a confirm=a protect=on\n");
        std::vector<std::string> words = {"--display=headless",
                                          "--events=" + (p.Dir / "events.txt").string()};
        words.insert(words.end(), c.Args.begin(), c.Args.end());
        p.Start(words);
        p.Os->Libraries().SetComponentSources({QV_COMPONENT_DIR});
        ShowContext ctx(*p.Os);
        ChangePassword(ctx);
        EXPECT_EQ(ctx.Run.HostWnd, c.Parent);
        EXPECT_EQ(p.Trace("password-change").size(), c.Runs ? 1u : 0u);
        EXPECT_EQ(fs::exists(p.Dir / "root" / "registry.reg"), c.Runs);
    }
}

} // namespace
} // namespace qv::test
