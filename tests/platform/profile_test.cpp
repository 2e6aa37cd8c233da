#include "platform/error.h"
#include "platform/profile.h"
#include "platform/trace.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
protected:
    fs::path Ini() const { return m_dir / "windows" / "control.ini"; }
    test::TempDir m_dir;
    PathMap m_paths{m_dir.Path()};
    Trace m_trace;
    ProfileStore m_profile{m_paths, &m_trace};
};

TEST_F(ProfileTest, ReadsSectionsAndKeysWithoutRegardToCase) {
    test::WriteText(Ini(), "; settings\r\n[Screen Saver.Birds]\r\nSpeed = 70 \r\nSound=\"0\"\r\n"
                           "[other]\r\nSpeed=1\r\n");
    EXPECT_EQ(m_profile.GetPrivateProfileString("screen saver.BIRDS", "SPEED", "", "CONTROL.INI"),
              "70");
    EXPECT_EQ(m_profile.GetPrivateProfileString("Screen Saver.Birds", "sound", "", "control.ini"),
              "0");
    EXPECT_EQ(
        m_profile.GetPrivateProfileString("Screen Saver.Birds", "Missing", "dflt", "control.ini"),
        "dflt");
    EXPECT_EQ(m_profile.GetPrivateProfileString("Nope", "Speed", "d", "control.ini"), "d");
    EXPECT_EQ(m_profile.GetPrivateProfileString("x", "y", "d", "absent.ini"), "d");
}

TEST_F(ProfileTest, WritesKeepEveryOtherLine) {
    test::WriteText(Ini(),
                    "; keep me\n[A]\nx=1\n\n[Screen Saver.Birds]\nSpeed=70\n; note\n\n[Z]\nq=2\n");
    m_profile.WriteString("SCREEN SAVER.BIRDS", "speed", "20", "control.ini");
    m_profile.WriteString("Screen Saver.Birds", "Sound", "0", "control.ini");
    m_profile.WriteString("New", "k", "v", "control.ini");
    EXPECT_EQ(test::ReadText(Ini()),
              "; keep me\n[A]\nx=1\n\n[Screen Saver.Birds]\nspeed=20\n; note\n"
              "Sound=0\n\n[Z]\nq=2\n\n[New]\nk=v\n");
}

TEST_F(ProfileTest, DeletesKeysAndWholeSections) {
    test::WriteText(Ini(), "[A]\nx=1\ny=2\n[B]\nz=3\n[C]\nw=4\n");
    m_profile.WriteString("a", "X", std::nullopt, "control.ini");
    m_profile.WriteString("b", std::nullopt, std::nullopt, "control.ini");
    EXPECT_EQ(test::ReadText(Ini()), "[A]\ny=2\n[C]\nw=4\n");
}

TEST_F(ProfileTest, CreatesTheWindowsDirectoryAndFile) {
    m_profile.WriteString("S", "Speed", "5", "control.ini");
    EXPECT_EQ(test::ReadText(Ini()), "[S]\nSpeed=5\n");
}

TEST_F(ProfileTest, KeepsWindowsLineEnds) {
    test::WriteText(Ini(), "[S]\r\nA=1\r\n");
    m_profile.WriteString("S", "B", "2", "control.ini");
    EXPECT_EQ(test::ReadText(Ini()), "[S]\r\nA=1\r\nB=2\r\n");
}

TEST_F(ProfileTest, WriteToAFolderNamedLikeTheFileRaisesWithTheFileName) {
    fs::create_directories(m_dir / "windows" / "control.ini");
    try {
        m_profile.WriteString("S", "Speed", "1", "control.ini");
        FAIL() << "no error raised";
    } catch (const PlatformError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to control.ini");
    }
    // The temporary file of the failed write is gone.
    for (const auto& e : fs::directory_iterator(m_dir / "windows")) {
        EXPECT_EQ(e.path().filename().string().rfind("control.ini.", 0), std::string::npos)
            << e.path();
    }
}

} // namespace
} // namespace qv
