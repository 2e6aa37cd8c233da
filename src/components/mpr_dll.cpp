// MPR.DLL: PwdChangePasswordA for the "SCRSAVE" provider. A form asks for the old password
// (when one is set), the new one twice, and whether the saver is protected; the new
// password is kept only as a salted yescrypt hash, and the check box becomes
// "ScreenSaveUsePassword".

#include "components/component.h"

#include <cstdio>

using namespace qv::component;

namespace {

constexpr const char* kCaption = "Change Password";
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorCancelled = 1223;
constexpr uint32_t kErrorBadDb = 1009;
// A form that comes back wrong this many times in a row ends the change.
constexpr int kMaxAttempts = 20;

void Say(uint32_t owner, const char* text, uint32_t icon) {
    const QvComponentServices* s = Services();
    if (s->MessageBox) {
        s->MessageBox(s->Context, owner, text, kCaption, kMbOk | icon);
    }
}

bool ReadUsePassword() {
    const QvComponentServices* s = Services();
    uint8_t data[4];
    uint32_t size = sizeof data;
    uint32_t type = 0;
    if (s->RegQueryValue(s->Context, kDesktopKey, kUsePasswordValue, &type, data, &size) != 0 ||
        type != kRegDword || size != 4) {
        return false;
    }
    return (data[0] | data[1] | data[2] | data[3]) != 0;
}

bool WriteUsePassword(bool on) {
    const QvComponentServices* s = Services();
    const uint8_t data[4] = {static_cast<uint8_t>(on ? 1 : 0), 0, 0, 0};
    return s->RegSetValue(s->Context, kDesktopKey, kUsePasswordValue, kRegDword, data, 4) == 0;
}

bool WriteHash(const std::string& hash) {
    const QvComponentServices* s = Services();
    return s->RegSetValue(s->Context, kDesktopKey, kHashValue, kRegSz,
                          reinterpret_cast<const uint8_t*>(hash.c_str()),
                          static_cast<uint32_t>(hash.size() + 1)) == 0;
}

struct WipedForm {
    QvChangePasswordForm Form{};
    ~WipedForm() { explicit_bzero(&Form, sizeof Form); }
};

// What the user asked for, or the message that says why it cannot be done.
const char* Problem(const QvChangePasswordForm& f, const std::optional<std::string>& hash) {
    if (hash && !Matches(f.Old, *hash)) {
        return "The old password is not correct.";
    }
    if (std::strcmp(f.New, f.Confirm) != 0) {
        return "The new password and its confirmation do not match.";
    }
    if (!hash && f.New[0] == 0 && f.UsePassword) {
        return "Type a password to protect the screen saver with.";
    }
    return nullptr;
}

} // namespace

QV_EXPORT void QvAttachComponent(const QvComponentServices* services) {
    Services() = services;
}

QV_EXPORT void QvDetachComponent() {
    Services() = nullptr;
}

QV_EXPORT uint32_t PwdChangePasswordA(const char* provider, uint32_t parent, uint32_t /*reserved1*/,
                                      uint32_t /*reserved2*/) {
    const QvComponentServices* s = Services();
    if (!s || !s->AskChangePassword || !provider || strcasecmp(provider, "SCRSAVE") != 0) {
        return kErrorInvalidParameter;
    }
    const std::optional<std::string> hash = ReadHash();
    const bool wasOn = ReadUsePassword();
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        WipedForm w;
        QvChangePasswordForm& f = w.Form;
        f.HasOld = hash ? 1 : 0;
        f.UsePassword = wasOn ? 1 : 0;
        if (!s->AskChangePassword(s->Context, parent, &f)) {
            Trace("password-change", R"({"result":"cancel"})");
            return kErrorCancelled;
        }
        if (const char* problem = Problem(f, hash)) {
            Trace("password-change", R"({"result":"refused"})");
            Say(parent, problem, kMbIconError);
            continue;
        }
        // Empty new boxes keep the password as it is and change only the protection.
        const bool newPassword = f.New[0] != 0;
        if (newPassword) {
            const std::optional<std::string> made = MakeHash(f.New);
            if (!made || !WriteHash(*made)) {
                Say(parent, "The password could not be saved.", kMbIconError);
                return kErrorBadDb;
            }
        }
        if (!WriteUsePassword(f.UsePassword != 0)) {
            Say(parent, "The password setting could not be saved.", kMbIconError);
            return kErrorBadDb;
        }
        char fields[96];
        std::snprintf(fields, sizeof fields, R"({"result":"%s","UsePassword":%d})",
                      newPassword ? "changed" : "kept", f.UsePassword != 0 ? 1 : 0);
        Trace("password-change", fields);
        if (newPassword) {
            Say(parent, "The password has been changed.", kMbIconInformation);
        }
        return 0;
    }
    return kErrorCancelled;
}
