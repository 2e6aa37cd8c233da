#include "headless_fixture.h"
#include "platform/library.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        P.Start({"--display=headless"});
        Libs().SetComponentSources({QV_COMPONENT_DIR});
    }
    Libraries& Libs() { return P.Os->Libraries(); }
    fs::path SystemDir() const { return P.Os->Paths().SystemDir(); }
    HeadlessPlatform P;
};

TEST_F(LibraryTest, AFreshRootGetsTheProjectsComponentsOnFirstUse) {
    ASSERT_FALSE(fs::exists(SystemDir()));
    const HMODULE cpl = Libs().LoadLibrary(P.Os->Paths().GetSystemDirectory() + "\\PASSWORD.CPL");
    ASSERT_NE(cpl, 0u);
    EXPECT_TRUE(fs::is_regular_file(SystemDir() / "password.cpl"));
    EXPECT_NE(Libs().GetProcAddress(cpl, "VerifyScreenSavePwd"), nullptr);
    EXPECT_EQ(Libs().GetProcAddress(cpl, "PwdChangePasswordA"), nullptr);
    // A bare name means the system directory.
    const HMODULE mpr = Libs().LoadLibrary("mpr.dll");
    ASSERT_NE(mpr, 0u);
    EXPECT_NE(mpr, cpl);
    EXPECT_NE(Libs().GetProcAddress(mpr, "PwdChangePasswordA"), nullptr);
    EXPECT_TRUE(Libs().FreeLibrary(cpl));
    EXPECT_FALSE(Libs().FreeLibrary(cpl));
    EXPECT_EQ(Libs().GetProcAddress(cpl, "VerifyScreenSavePwd"), nullptr);
    EXPECT_TRUE(Libs().FreeLibrary(mpr));
    const auto installs = P.Trace("component-install");
    ASSERT_EQ(installs.size(), 2u);
    EXPECT_EQ(P.Trace("library-load").size(), 2u);
}

TEST_F(LibraryTest, ALibraryAlreadyThereIsUsedAsItIsWhateverTheCaseOfItsName) {
    fs::create_directories(SystemDir());
    fs::copy_file(QV_NO_ENTRY_LIBRARY, SystemDir() / "Password.Cpl");
    const HMODULE cpl = Libs().LoadLibrary("PASSWORD.CPL");
    ASSERT_NE(cpl, 0u);
    EXPECT_EQ(Libs().GetProcAddress(cpl, "VerifyScreenSavePwd"), nullptr);
    EXPECT_NE(Libs().GetProcAddress(cpl, "QvNotAnEntryPoint"), nullptr);
    EXPECT_TRUE(P.Trace("component-install").empty());
    EXPECT_FALSE(fs::exists(SystemDir() / "password.cpl"));
}

TEST_F(LibraryTest, WhatIsNotALoadableLibraryGivesNoHandle) {
    fs::create_directories(SystemDir());
    WriteText(SystemDir() / "broken.dll", "not a library");
    const struct {
        const char* Name;
        const char* File;
        std::vector<fs::path> Sources;
    } cases[] = {
        {"no such file", "NOPE.DLL", {QV_COMPONENT_DIR}},
        {"not a library", "BROKEN.DLL", {QV_COMPONENT_DIR}},
        {"other drive", "C:\\WINDOWS\\SYSTEM\\MPR.DLL", {QV_COMPONENT_DIR}},
        {"component not to be had", "MPR.DLL", {}},
        {"component source without it", "MPR.DLL", {P.Dir.Path()}},
    };
    for (const auto& c : cases) {
        Libs().SetComponentSources(c.Sources);
        EXPECT_EQ(Libs().LoadLibrary(c.File), 0u) << c.Name;
    }
    const auto loads = P.Trace("library-load");
    ASSERT_EQ(loads.size(), std::size(cases));
    for (const auto& l : loads) {
        EXPECT_FALSE(l["loaded"].get<bool>());
        EXPECT_FALSE(l["error"].get<std::string>().empty());
    }
    EXPECT_FALSE(fs::exists(SystemDir() / "mpr.dll"));
}

TEST_F(LibraryTest, AFullPathLoadsFromThere) {
    const HMODULE m = Libs().LoadLibrary(PathMap::ToWindows(QV_NO_ENTRY_LIBRARY));
    ASSERT_NE(m, 0u);
    EXPECT_NE(Libs().GetProcAddress(m, "QvNotAnEntryPoint"), nullptr);
    EXPECT_FALSE(fs::exists(SystemDir()));
}

} // namespace
} // namespace qv::test
