#include "app/hack.h"

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "saver/saver.h"
#include "show/show_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

namespace fs = std::filesystem;

// xscreensaver's standard options that this hack accepts and ignores; the second group
// takes a value.
constexpr const char* kIgnored[] = {"fps",  "no-fps", "install", "noinstall",
                                    "mono", "window", "pair",    "no-pair"};
constexpr const char* kIgnoredWithValue[] = {"visual", "display"};

bool Exists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

} // namespace

std::optional<uint32_t> ParseHackWindowId(const std::string& text) {
    std::string_view digits(text);
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
    }
    uint32_t id = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, id, base);
    if (digits.empty() || ec != std::errc() || ptr != end || id == 0) {
        return std::nullopt;
    }
    return id;
}

HackCommandLine ParseHackArguments(const std::vector<std::string>& args) {
    HackCommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // xscreensaver spells its options with one dash or two.
        std::string name = arg.starts_with("--")  ? arg.substr(2)
                           : arg.starts_with("-") ? arg.substr(1)
                                                  : std::string();
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto take = [&]() -> std::string {
            if (value) {
                return *value;
            }
            if (i + 1 >= args.size()) {
                throw UsageError("option -" + name + ": needs a value");
            }
            return args[++i];
        };
        if (name.empty()) {
            throw UsageError("unexpected argument '" + arg + "' (see --help)");
        }
        if (name == "root" && !value) {
            line.Root = true;
        } else if (name == "window-id") {
            const std::string id = take();
            line.WindowId = ParseHackWindowId(id);
            if (!line.WindowId) {
                throw UsageError("option -window-id: '" + id +
                                 "' is no window ID (0x hexadecimal or decimal)");
            }
        } else if (std::find(std::begin(kIgnored), std::end(kIgnored), name) !=
                       std::end(kIgnored) &&
                   !value) {
            // Accepted and ignored.
        } else if (std::find(std::begin(kIgnoredWithValue), std::end(kIgnoredWithValue), name) !=
                   std::end(kIgnoredWithValue)) {
            take();
        } else if (arg.starts_with("--")) {
            line.HostArgs.push_back(arg); // a host option: checked by the platform
        } else {
            throw UsageError("unknown option " + arg + " (see --help)");
        }
    }
    return line;
}

std::string DefaultHackShow(const HostOptions& options, const std::string& executable) {
    const PathMap paths(options.Root.empty() ? DefaultPlatformRoot() : fs::path(options.Root));
    const ProfileStore profile(paths, nullptr);
    const std::string saver =
        profile.GetPrivateProfileString("BOOT", "SCRNSAVE.EXE", "", "system.ini");
    if (!saver.empty()) {
        // The saver's show file sits beside it; a bare name lies in the Windows directory.
        std::string show = ShowFileName(saver, "", "");
        if (show.find_first_of("\\/") == std::string::npos) {
            show = paths.GetWindowsDirectory() + "\\" + show;
        }
        if (const fs::path found = paths.Resolve(show); Exists(found)) {
            return found.string();
        }
    }
    std::error_code ec;
    const fs::path self = fs::weakly_canonical(executable, ec);
    if (!ec) {
        const fs::path installed =
            self.parent_path().parent_path() / "share" / "quorvex" / "demo.qdm";
        if (Exists(installed)) {
            return installed.string();
        }
    }
#if defined(QV_BUILD_DEMO)
    if (Exists(QV_BUILD_DEMO)) {
        return QV_BUILD_DEMO;
    }
#endif
    return {};
}

int RunHack(ShowContext& ctx) {
    Platform& os = ctx.Os;
    Application app(os);
    app.SetTitle("Screen Saver");
    LoadShow(ctx);
    if (ctx.Run.ShowFile < 0) {
        os.Trace().Emit("no-show", {{"file", ShowFileNameOf(os)}});
        std::fprintf(stderr, "quorvex-xscreensaver: cannot open the show file %s\n",
                     os.Options().Show.empty() ? "(none found; use --show=FILE)"
                                               : os.Options().Show.c_str());
        return 1;
    }
    CloseShow(ctx);
    // The hack plays the full-screen run; it takes no running-saver marker, so that one
    // hack per monitor can run.
    ctx.Run.SaverRole = static_cast<int32_t>(SaverRoleId::FullScreen);
    os.Trace().Emit(
        "role",
        {{"SaverRole", ctx.Run.SaverRole}, {"role", "hosted"}, {"show", ShowFileNameOf(os)}});
    const std::optional<uint32_t> host = ParseHackWindowId(os.ParamStr(2));
    if (!host || !os.User().IsWindow(*host)) {
        std::fprintf(stderr, "quorvex-xscreensaver: window %s cannot be drawn on\n",
                     os.ParamStr(2).c_str());
        return 1;
    }
    Player player(os, app);
    player.Show = ctx.Show;
    player.Run = ctx.Run;
    player.RandSeed = ctx.RandSeed;
    player.Run.HostWnd = *host;
    RunHosted(player);
    return 0;
}

} // namespace qv
