#include "headless_fixture.h"
#include "platform/component_api.h"
#include "platform/library.h"

#include <crypt.h>
#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDesktop = "Control Panel\\desktop";

// A platform on the headless host whose events file answers the components' prompts, in a
// platform root that the steps of a test share.
class Components {
public:
    explicit Components(const fs::path& root) : m_root(root) {}

    void Start(const std::string& events) {
        P = std::make_unique<HeadlessPlatform>();
        WriteText(P->Dir / "events.txt", events);
        P->Start({"--display=headless", "--root=" + m_root.string(),
                  "--events=" + (P->Dir / "events.txt").string()});
        P->Os->Libraries().SetComponentSources({QV_COMPONENT_DIR});
    }

    // PwdChangePasswordA("SCRSAVE", 0, 0, 0) with the form answered by `events`.
    uint32_t Change(const std::string& events, const char* provider = "SCRSAVE") {
        Start(events);
        Libraries& libs = P->Os->Libraries();
        const HMODULE m = libs.LoadLibrary("MPR.DLL");
        EXPECT_NE(m, 0u);
        auto change =
            reinterpret_cast<PwdChangePasswordAProc>(libs.GetProcAddress(m, "PwdChangePasswordA"));
        const uint32_t r = change ? change(provider, 0, 0, 0) : 0xFFFFFFFF;
        libs.FreeLibrary(m);
        return r;
    }

    // VerifyScreenSavePwd with the prompt answered by `events`.
    bool Verify(const std::string& events) {
        Start(events);
        Libraries& libs = P->Os->Libraries();
        const HMODULE m = libs.LoadLibrary("PASSWORD.CPL");
        EXPECT_NE(m, 0u);
        auto verify = reinterpret_cast<VerifyScreenSavePwdProc>(
            libs.GetProcAddress(m, "VerifyScreenSavePwd"));
        const bool ok = verify && (verify(0x100) & 0xFF) != 0;
        libs.FreeLibrary(m);
        return ok;
    }

    std::optional<std::string> Hash() {
        HKEY k = 0;
        Registry& reg = P->Os->Registry();
        if (reg.RegOpenKeyEx(HKEY_CURRENT_USER, kDesktop, KEY_READ, &k) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        auto h = reg.ReadString(k, "ScreenSave_Data");
        reg.RegCloseKey(k);
        return h;
    }
    std::optional<uint32_t> UsePassword() {
        HKEY k = 0;
        Registry& reg = P->Os->Registry();
        if (reg.RegOpenKeyEx(HKEY_CURRENT_USER, kDesktop, KEY_READ, &k) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        auto v = reg.ReadDWord(k, "ScreenSaveUsePassword");
        reg.RegCloseKey(k);
        return v;
    }
    std::string RegistryFile() const {
        return fs::exists(m_root / "registry.reg") ? ReadText(m_root / "registry.reg") : "";
    }

    std::unique_ptr<HeadlessPlatform> P;

private:
    fs::path m_root;
};

// Whether the stored hash is one of `password`, checked with libcrypt here.
bool HashIsOf(const std::optional<std::string>& hash, const char* password) {
    if (!hash) {
        return false;
    }
    crypt_data data{};
    const char* out = crypt_r(password, hash->c_str(), &data);
    return out && *hash == out;
}

TEST(PasswordComponents, ChangingThePasswordKeepsOnlyASaltedHashAndNeedsTheOldOne) {
    TempDir root;
    Components c(root.Path());
    const struct {
        const char* Name;
        const char* Events;
        uint32_t Result;
        const char* HashOf;   // the password the stored hash is of afterwards
        uint32_t UsePassword; // afterwards
        const char* Message;  // the first message box shown, if any
    } steps[] = {
        {"cancel with nothing set", "answer change-password cancel\n", 1223, nullptr, 0, nullptr},
        {"protection needs a password", "answer change-password protect=on\n", 1223, nullptr, 0,
         "Type a password to protect the screen saver with."},
        {"confirmation differs",
         "answer change-password new=Sesame-42 confirm=Sesame-24 protect=on\n", 1223, nullptr, 0,
         "The new password and its confirmation do not match."},
        {"set and protect", "answer change-password new=Sesame-42 confirm=Sesame-42 protect=on\n",
         0, "Sesame-42", 1, "The password has been changed."},
        {"wrong old password, then cancel",
         "answer change-password old=nope new=Other-7 confirm=Other-7\n"
         "answer change-password cancel\n",
         1223, "Sesame-42", 1, "The old password is not correct."},
        {"no old password at all", "answer change-password new=Other-7 confirm=Other-7\n", 1223,
         "Sesame-42", 1, "The old password is not correct."},
        {"wrong, then right old password",
         "answer change-password old=nope new=Other-7 confirm=Other-7\n"
         "answer change-password old=Sesame-42 new=Other-7 confirm=Other-7\n",
         0, "Other-7", 1, "The old password is not correct."},
        {"protection off, the password kept", "answer change-password old=Other-7 protect=off\n", 0,
         "Other-7", 0, nullptr},
        {"protection on again", "answer change-password old=Other-7 protect=on\n", 0, "Other-7", 1,
         nullptr},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.Name);
        EXPECT_EQ(c.Change(s.Events), s.Result);
        const std::optional<std::string> hash = c.Hash();
        if (s.HashOf) {
            ASSERT_TRUE(hash);
            EXPECT_TRUE(hash->starts_with("$y$")) << *hash;
            EXPECT_TRUE(HashIsOf(hash, s.HashOf));
            EXPECT_FALSE(HashIsOf(hash, "Sesame-24"));
        } else {
            EXPECT_FALSE(hash);
        }
        EXPECT_EQ(c.UsePassword().value_or(0), s.UsePassword);
        const auto boxes = c.P->Trace("msgbox");
        if (s.Message) {
            ASSERT_FALSE(boxes.empty());
            EXPECT_EQ(boxes[0]["text"], s.Message);
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        // Neither the file nor the trace holds a typed password.
        const std::string file = c.RegistryFile();
        const std::string trace = ReadText(c.P->TracePath());
        for (const char* secret : {"Sesame-42", "Sesame-24", "Other-7", "nope"}) {
            EXPECT_EQ(file.find(secret), std::string::npos) << secret;
            EXPECT_EQ(trace.find(secret), std::string::npos) << secret;
        }
    }
    // Two hashes of the same password differ: the salt is new each time.
    const std::optional<std::string> first = c.Hash();
    EXPECT_EQ(c.Change("answer change-password old=Other-7 new=Other-7 confirm=Other-7\n"), 0u);
    EXPECT_TRUE(HashIsOf(c.Hash(), "Other-7"));
    EXPECT_NE(c.Hash(), first);
}

TEST(PasswordComponents, OnlyTheScreenSaverProviderIsServed) {
    TempDir root;
    Components c(root.Path());
    EXPECT_EQ(c.Change("answer change-password new=a confirm=a\n", "OTHER"), 87u);
    EXPECT_FALSE(c.Hash());
    EXPECT_EQ(c.Change("answer change-password new=a confirm=a\n", "scrsave"), 0u);
    EXPECT_TRUE(HashIsOf(c.Hash(), "a"));
}

TEST(PasswordComponents, TheCheckIsTrueOnlyForTheRightPassword) {
    TempDir root;
    Components c(root.Path());
    // Without a password only an empty entry gets through.
    EXPECT_FALSE(c.Verify("answer password type x\n"));
    EXPECT_FALSE(c.Verify(""));
    ASSERT_EQ(c.Change("answer change-password new=Sesame-42 confirm=Sesame-42 protect=on\n"), 0u);
    const struct {
        const char* Events;
        bool Right;
        const char* Result;
    } cases[] = {
        {"answer password type Sesame-42\n", true, "right"},
        {"answer password type sesame-42\n", false, "wrong"},
        {"answer password type Sesame-4\n", false, "wrong"},
        {"answer password type Sesame-420\n", false, "wrong"},
        {"answer password cancel\n", false, "cancel"},
        // A verdict of the system dialog's stand-in is not a typed password.
        {"answer password accept\n", false, "cancel"},
        {"", false, "cancel"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(c.Verify(k.Events), k.Right) << k.Events;
        const auto v = c.P->Trace("password-verify");
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(v[0]["result"], k.Result) << k.Events;
        EXPECT_EQ(ReadText(c.P->TracePath()).find("Sesame"), std::string::npos);
    }
    // A hash that was damaged by hand lets nothing through.
    HKEY k = 0;
    Registry& reg = c.P->Os->Registry();
    ASSERT_EQ(reg.RegOpenKeyEx(HKEY_CURRENT_USER, kDesktop, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
    reg.WriteString(k, "ScreenSave_Data", "$y$garbage");
    EXPECT_FALSE(c.Verify("answer password type Sesame-42\n"));
}

} // namespace
} // namespace qv::test
