#include "app/startup.h"

#include "dialogs/about_box.h"
#include "dialogs/settings_form.h"
#include "platform/paths.h"
#include "saver/saver.h"
#include "saver/style_registry.h"
#include "show/show_file.h"

#include <cstdint>

namespace qv {
namespace {

constexpr const char* kSaverClass = "Tss_screen";
constexpr const char* kSaverCaption = "SS_captionqazwsxedc";

void TraceRole(ShowContext& ctx, const char* name) {
    ctx.Os.Trace().Emit("role", {{"SaverRole", ctx.Run.SaverRole}, {"role", name}});
}

// A saver run carries on from what start-up has loaded.
void TakeOver(Player& player, const ShowContext& ctx) {
    player.Show = ctx.Show;
    player.Run = ctx.Run;
    player.RandSeed = ctx.RandSeed;
}

// The settings role: the settings form as the main form, then the about box, created
// hidden; the message loop runs until the main form closes.
void RunSettings(ShowContext& ctx, Application& app) {
    DialogContext dialogs(ctx.Os, app);
    dialogs.Show = ctx.Show;
    dialogs.Run = ctx.Run;
    dialogs.RandSeed = ctx.RandSeed;
    TCfgFrm settings(dialogs);
    TfrmAbout about(dialogs);
    settings.SetAboutBox(&about);
    settings.Run();
}

} // namespace

const char* RoleName(SaverRoleId role) {
    switch (role) {
    case SaverRoleId::None:
        return "none";
    case SaverRoleId::FullScreen:
        return "full-screen";
    case SaverRoleId::Settings:
        return "settings";
    case SaverRoleId::Preview:
        return "preview";
    case SaverRoleId::Installer:
        return "installer";
    }
    return "?";
}

void WriteTransitionList(Platform& os) {
    FileSystem& files = os.Files();
    // A file that cannot be created is not reported: the writes then fail silently.
    const HFILE file =
        files.CreateFile("Transitions.qtl", FileAccess::ReadWrite, FileCreation::CreateAlways);
    // The ids this player knows, as little-endian int32 values.
    for (const StyleEntry& style : StyleRegistry()) {
        const auto id = static_cast<uint32_t>(style.Id);
        const uint8_t bytes[4] = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                                  static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 24)};
        files.WriteFile(file, bytes, 4);
    }
    files.CloseHandle(file);
}

int RunStartup(ShowContext& ctx) {
    Platform& os = ctx.Os;
    // The window in the foreground before any window of ours exists; the full-screen saver
    // and the settings dialog give the foreground back to it when they end.
    const HWND startForeground = os.User().GetForegroundWindow();
    Application app(os);
    app.SetTitle("Screen Saver");

    const std::string a1 = UpperCase(os.ParamStr(1));
    if (a1 == "/LIST") {
        ctx.Os.Trace().Emit("role", {{"SaverRole", ctx.Run.SaverRole}, {"role", "list"}});
        WriteTransitionList(os);
        os.Sleep(0);
        app.ProcessMessages();
        return 0;
    }

    ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::None);
    LoadShow(ctx);
    if (ctx.Run.ShowFile < 0) {
        os.Trace().Emit("no-show", {{"file", ShowFileNameOf(os)}});
        app.Restore();
        return 0;
    }
    CloseShow(ctx);

    if (os.User().FindWindow(kSaverClass, kSaverCaption) != 0) {
        os.Trace().Emit("saver-running");
        app.ProcessMessages();
        os.Sleep(0);
        app.Restore();
        return 0;
    }

    // The first test that holds wins: "A", then "P", then "S" or "/DEMO", then the path.
    if (a1.find('A') != std::string::npos) {
        TraceRole(ctx, "change-password");
        ChangePassword(ctx);
    } else if (a1.find('P') != std::string::npos) {
        ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::Preview);
        TraceRole(ctx, RoleName(SaverRoleId::Preview));
        Player player(os, app);
        TakeOver(player, ctx);
        RunPreview(player);
    } else if (a1.find('S') != std::string::npos || a1 == "/DEMO") {
        ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::FullScreen);
        TraceRole(ctx, RoleName(SaverRoleId::FullScreen));
        {
            Player player(os, app);
            TakeOver(player, ctx);
            RunFullScreen(player);
        }
        os.User().SetForegroundWindow(startForeground);
    } else if (UpperCase(os.ParamStr(0)).find("SETUP") != std::string::npos) {
        ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::Installer);
        TraceRole(ctx, RoleName(SaverRoleId::Installer));
    } else {
        ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::Settings);
        TraceRole(ctx, RoleName(SaverRoleId::Settings));
        RunSettings(ctx, app);
        os.User().SetForegroundWindow(startForeground);
    }

    app.Restore();
    return 0;
}

} // namespace qv
