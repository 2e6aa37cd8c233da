#include "ends_within.h"
#include "platform/error.h"
#include "platform/profile.h"
#include "platform/trace.h"
#include "test_support.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(ProfileTest, FilesThatAreNoProfileReadAsMissingAndAreNotWrittenOver) {
    fs::create_directories(Ini().parent_path());
    std::string huge(kMaxProfileBytes + 1, '\n');
    const struct {
        const char* What;
        std::function<void()> Make;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(Ini().c_str(), 0600), 0); }},
        {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", Ini()); }},
        {"too large", [&] { test::WriteText(Ini(), "[S]\nSpeed=7\n" + huge); }},
    };
    for (const auto& c : cases) {
        fs::remove(Ini());
        c.Make();
        EXPECT_TRUE(test::EndsWithin(10000, [&] {
            return m_profile.GetPrivateProfileString("S", "Speed", "dflt", "control.ini") ==
                       "dflt" &&
                   !m_profile.WritePrivateProfileString("S", "Speed", "1", "control.ini");
        })) << c.What;
    }
    EXPECT_EQ(fs::file_size(Ini()), 12 + huge.size());
}

TEST_F(ProfileTest, WritesKeepTheModeAndGoThroughASymlinkToItsTarget) {
    test::TempDir dotfiles;
    test::WriteText(dotfiles / "quorvex.ini", "; mine\n[S]\nSpeed=3\n");
    ::chmod((dotfiles / "quorvex.ini").c_str(), 0600);
    fs::create_directories(Ini().parent_path());
    fs::create_symlink(dotfiles / "quorvex.ini", Ini());

    m_profile.WriteString("S", "Speed", "9", "control.ini");
    EXPECT_TRUE(fs::is_symlink(Ini()));
    EXPECT_EQ(test::ReadText(dotfiles / "quorvex.ini"), "; mine\n[S]\nSpeed=9\n");
    EXPECT_EQ(fs::status(dotfiles / "quorvex.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    // A file of our own keeps its mode too; a new one is rw-r--r--.
    m_profile.WriteString("S", "Speed", "1", "system.ini");
    const fs::path system = m_dir / "windows" / "system.ini";
    EXPECT_EQ(fs::status(system).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    ::chmod(system.c_str(), 0640);
    m_profile.WriteString("S", "Speed", "2", "system.ini");
    EXPECT_EQ(fs::status(system).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(ProfileTest, AWriteRemovesTheTemporariesOfKilledWritersOnly) {
    fs::create_directories(Ini().parent_path());
    // Left by writers killed before their rename: no one holds them.
    test::WriteText(m_dir / "windows" / "control.ini.a1B2c3", "stale");
    test::WriteText(m_dir / "windows" / "control.ini.ZZZZZZ", "stale");
    // A writer still at work holds its temporary locked; other names are not ours.
    const fs::path live = m_dir / "windows" / "control.ini.live00";
    test::WriteText(live, "live");
    const int fd = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    for (const char* other : {"control.ini.bak", "control.ini.1234567", "system.ini.abcdef"}) {
        test::WriteText(m_dir / "windows" / other, "other");
    }

    m_profile.WriteString("S", "Speed", "5", "control.ini");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(m_dir / "windows")) {
        if (e.is_regular_file()) {
            left.push_back(e.path().filename().string());
        }
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{"control.ini", "control.ini.1234567", "control.ini.bak",
                                        "control.ini.live00", "system.ini.abcdef"}));
    ::close(fd);
}

} // namespace
} // namespace qv
