// PASSWORD.CPL: the screen-saver password check. VerifyScreenSavePwd asks for the password
// over the saver window and is true only when it matches the stored hash; a cancelled
// prompt is a refusal.

#include "components/component.h"

using namespace qv::component;

QV_EXPORT void QvAttachComponent(const QvComponentServices* services) {
    Services() = services;
}

QV_EXPORT void QvDetachComponent() {
    Services() = nullptr;
}

QV_EXPORT int32_t VerifyScreenSavePwd(uint32_t saverWnd) {
    const QvComponentServices* s = Services();
    if (!s || !s->AskPassword) {
        return 0;
    }
    const std::optional<std::string> hash = ReadHash();
    char typed[QV_TEXT_MAX] = {};
    if (!s->AskPassword(s->Context, saverWnd, typed)) {
        Trace("password-verify", R"({"result":"cancel"})");
        return 0;
    }
    // Without a stored password only an empty entry is right, as the system's own check has
    // it.
    const bool ok = hash ? Matches(typed, *hash) : typed[0] == 0;
    explicit_bzero(typed, sizeof typed);
    Trace("password-verify", ok ? R"({"result":"right"})" : R"({"result":"wrong"})");
    return ok ? 1 : 0;
}
