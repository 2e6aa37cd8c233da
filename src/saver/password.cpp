#include "platform/component_api.h"
#include "platform/password_host.h"
#include "saver/player.h"
#include "saver/saver.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

constexpr const char* kDesktopKey = "Control Panel\\desktop";
constexpr const char* kUsePassword = "ScreenSaveUsePassword";

// What the desktop's screen-saver password setting says.
enum class PasswordSetting : uint8_t {
    NoKey, // "Control Panel\desktop" cannot be opened
    Off,   // no "ScreenSaveUsePassword" value, or 0
    On,
};

// Reads "ScreenSaveUsePassword" (a DWORD) under HKEY_CURRENT_USER\Control Panel\desktop.
// A value of another type raises PlatformError, which ends the run.
PasswordSetting ReadPasswordSetting(Platform& os) {
    Registry& reg = os.Registry();
    HKEY key = 0;
    if (reg.RegOpenKeyEx(HKEY_CURRENT_USER, kDesktopKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return PasswordSetting::NoKey;
    }
    struct Closer {
        Registry& Reg;
        HKEY Key;
        ~Closer() { Reg.RegCloseKey(Key); }
    } closer{reg, key};
    const std::optional<uint32_t> value = reg.ReadDWord(key, kUsePassword);
    return value && *value != 0 ? PasswordSetting::On : PasswordSetting::Off;
}

// The system directory with a "\" after it, as the components are looked up there.
std::string SystemDirectoryPath(const Platform& os) {
    std::string dir = os.Paths().GetSystemDirectory();
    if (dir.empty() || dir.back() != '\\') {
        dir += '\\';
    }
    return dir;
}

// A loaded library, freed when this goes.
class LoadedLibrary {
public:
    LoadedLibrary(Libraries& libs, const std::string& file)
        : m_libs(libs), m_module(libs.LoadLibrary(file)) {}
    ~LoadedLibrary() {
        if (m_module) {
            m_libs.FreeLibrary(m_module);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    bool Loaded() const { return m_module != 0; }
    void* Proc(const char* name) {
        return m_module ? m_libs.GetProcAddress(m_module, name) : nullptr;
    }

private:
    Libraries& m_libs;
    HMODULE m_module;
};

// Clears InPasswordCheck however the check ends.
class CheckGuard {
public:
    explicit CheckGuard(Player& player) : m_player(player) { m_player.InPasswordCheck = true; }
    ~CheckGuard() { m_player.InPasswordCheck = false; }
    CheckGuard(const CheckGuard&) = delete;
    CheckGuard& operator=(const CheckGuard&) = delete;

private:
    Player& m_player;
};

// Asks PASSWORD.CPL with the styles' clock paused; true when the user got through. A
// library that will not load, or lacks the entry point, counts as no protection.
bool VerifyWithComponent(Player& player) {
    Platform& os = player.Os;
    LoadedLibrary cpl(os.Libraries(), SystemDirectoryPath(os) + "PASSWORD.CPL");
    auto verify = reinterpret_cast<VerifyScreenSavePwdProc>(cpl.Proc("VerifyScreenSavePwd"));
    if (!verify) {
        return true;
    }
    // Time spent in the prompt does not count on the styles' clock.
    player.TickBase =
        static_cast<int32_t>(static_cast<uint32_t>(player.TickBase) - os.GetTickCount());
    const bool right = (verify(player.Run.SaverWnd) & 0xFF) != 0;
    player.TickBase =
        static_cast<int32_t>(static_cast<uint32_t>(player.TickBase) + os.GetTickCount());
    return right;
}

} // namespace

void PasswordCheck(Player& player) {
    if (player.Run.IsPreview || player.InPasswordCheck || player.StopRequested) {
        return;
    }
    WindowManager& user = player.Os.User();
    CheckGuard guard(player);
    user.SetScreenCursor(Cursor::Arrow);
    user.ProcessMessages();

    if (ReadPasswordSetting(player.Os) != PasswordSetting::On || VerifyWithComponent(player)) {
        // No protection, or the right password: the disturbance ends the run.
        player.StopRequested = true;
    }

    if (!player.StopRequested) {
        // A refused password: the input that queued up meanwhile is dispatched while the
        // flag is set and the guard holds, so it neither starts another check nor ends the
        // run.
        player.StopRequested = true;
        user.ProcessMessages();
        player.StopRequested = false;
    }
    user.SetScreenCursor(Cursor::None);
}

void ChangePassword(ShowContext& ctx) {
    Platform& os = ctx.Os;
    RunState& run = ctx.Run;
    const std::string arg = os.ParamStr(2);
    if (arg.empty()) {
        return;
    }
    HWND parent = 0;
    const auto [ptr, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), parent);
    // A handle that is not a decimal number reads as no parent window.
    run.HostWnd = ec == std::errc() && ptr == arg.data() + arg.size() ? parent : 0;
    LoadedLibrary mpr(os.Libraries(), SystemDirectoryPath(os) + "MPR.DLL");
    if (auto change = reinterpret_cast<PwdChangePasswordAProc>(mpr.Proc("PwdChangePasswordA"))) {
        change("SCRSAVE", run.HostWnd, 0, 0);
    }
}

void HoldInputIfProtected(Player& player) {
    PasswordHost* host = PasswordHostOf(player.Os.Host());
    if (!host || player.Run.IsPreview) {
        return;
    }
    try {
        if (ReadPasswordSetting(player.Os) == PasswordSetting::On) {
            player.Os.Trace().Emit("input-hold", {{"hwnd", player.Run.SaverWnd}});
            host->HoldInput(player.Run.SaverWnd);
        }
    } catch (...) {
        // A setting of the wrong type ends the run at the first check, not here.
    }
}

} // namespace qv
