#include "app/startup.h"

#include "dialogs/about_box.h"
#include "dialogs/settings_form.h"
#include "installer/installer_form.h"
#include "platform/paths.h"
#include "saver/saver.h"
#include "saver/style_registry.h"
#include "show/show_file.h"
#include "show/show_signature.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace qv {
namespace {

constexpr const char* kSaverClass = "Tss_screen";
constexpr const char* kSaverCaption = "SS_captionqazwsxedc";

// The saver roles end without a word where a desktop starts them, as they always did; a
// person at a terminal is told in one line why nothing happened. The trace always has it.
void SayWhy(Platform& os, const char* ev, const std::string& reason, nlohmann::json fields = {}) {
    if (!fields.is_object()) {
        fields = nlohmann::json::object();
    }
    fields["reason"] = reason;
    os.Trace().Emit(ev, fields);
    if (isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "quorvex: %s\n", reason.c_str());
    }
}

// Why the show file was not found, with the way to name one.
std::string NoShowReason(Platform& os, const std::string& file) {
    const std::string a1 = os.ParamStr(1);
    std::error_code ignored;
    if (!a1.empty() && a1[0] != '/' && a1[0] != '-' &&
        std::filesystem::is_regular_file(a1, ignored)) {
        return "no show file " + file + " beside the program; to play " + a1 +
               ", run quorvex /DEMO " + a1 + " or quorvex --show=" + a1;
    }
    return "no show file: looked for " + file + " (name one with /DEMO FILE or --show=FILE)";
}

// Why a saver run of this show will end at once, or nothing: its first bytes are another
// kind of file, or its transition id names no style this player plays.
std::optional<std::string> NotPlayableReason(Platform& os, const ShowContext& ctx,
                                             const std::string& file) {
    uint8_t head[16] = {};
    FileSystem& files = os.Files();
    const HFILE f = files.CreateFile(file, FileAccess::Read, FileCreation::OpenExisting);
    int32_t got = 0;
    if (f != INVALID_FILE) {
        got = std::max(files.ReadFile(f, head, sizeof head), 0);
        files.CloseHandle(f);
    }
    if (const char* kind =
            ForeignFileKind(std::span<const uint8_t>(head, static_cast<size_t>(got)))) {
        return file + " is not a show file: it is " + kind;
    }
    const StyleEntry* style = FindStyle(ctx.Show.TransitionType);
    if (!style) {
        return file + " is not a show file, or a damaged one: its transition id " +
               std::to_string(ctx.Show.TransitionType) + " names no style (1 to 16)";
    }
    if (!style->Run) {
        return std::string("this player cannot play the ") + style->Params->StyleName +
               " style of " + file + " yet";
    }
    return std::nullopt;
}

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

// The installer role: the wizard as the main form, until it closes.
void RunInstaller(ShowContext& ctx, Application& app) {
    DialogContext dialogs(ctx.Os, app);
    dialogs.Show = ctx.Show;
    dialogs.Run = ctx.Run;
    dialogs.RandSeed = ctx.RandSeed;
    TfrmInst installer(dialogs);
    installer.Run();
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
    const std::string showFile = ShowFileNameOf(os);
    if (ctx.Run.ShowFile < 0) {
        SayWhy(os, "no-show", NoShowReason(os, showFile), {{"file", showFile}});
        app.Restore();
        return 0;
    }
    CloseShow(ctx);

    if (os.User().FindWindow(kSaverClass, kSaverCaption) != 0) {
        SayWhy(os, "saver-running",
               "a full-screen saver of this program is running already; nothing else starts");
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
        const std::string handle = os.ParamStr(2);
        uint32_t wnd = 0;
        const auto [end, ec] = std::from_chars(handle.data(), handle.data() + handle.size(), wnd);
        if (handle.empty()) {
            SayWhy(os, "no-preview-window",
                   "the preview needs the number of the window to draw in (/p 1234)");
        } else if (ec != std::errc() || end != handle.data() + handle.size() ||
                   !os.User().IsWindow(wnd)) {
            SayWhy(os, "no-preview-window",
                   "the preview window " + handle + " is no window: nothing is shown",
                   {{"handle", handle}});
        } else if (const auto reason = NotPlayableReason(os, ctx, showFile)) {
            SayWhy(os, "not-playable", *reason, {{"file", showFile}});
        }
        Player player(os, app);
        TakeOver(player, ctx);
        RunPreview(player);
    } else if (a1.find('S') != std::string::npos || a1 == "/DEMO") {
        ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::FullScreen);
        TraceRole(ctx, RoleName(SaverRoleId::FullScreen));
        if (const auto reason = NotPlayableReason(os, ctx, showFile)) {
            SayWhy(os, "not-playable", *reason, {{"file", showFile}});
        }
        {
            Player player(os, app);
            TakeOver(player, ctx);
            RunFullScreen(player);
        }
        os.User().SetForegroundWindow(startForeground);
    } else if (UpperCase(os.ParamStr(0)).find("SETUP") != std::string::npos) {
        ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::Installer);
        TraceRole(ctx, RoleName(SaverRoleId::Installer));
        RunInstaller(ctx, app);
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
