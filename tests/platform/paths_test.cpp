#include "platform/desktop_settings.h"
#include "platform/paths.h"
#include "test_support.h"

#include <climits>
#include <gtest/gtest.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

class PathMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "tmp" / "x");
        test::WriteText(m_dir / "tmp" / "x" / "birds.qdm", "show");
        test::WriteText(m_dir / "tmp" / "x" / "Mixed.Txt", "m");
    }
    std::string Win(const std::string& rel) const {
        std::string s = PathMap::ToWindows(m_dir.Path()) + "\\" + rel;
        return s;
    }
    test::TempDir m_dir;
    PathMap m_paths{m_dir.Path()};
};

TEST_F(PathMapTest, UpperCasedPathFindsLowerCaseFile) {
    const auto p = m_paths.Resolve(UpperCase(Win("tmp\\x\\birds.qdm")));
    EXPECT_EQ(p, m_dir / "tmp" / "x" / "birds.qdm");
    EXPECT_TRUE(fs::exists(p));
}

TEST_F(PathMapTest, BothSeparatorsAndAnyCaseResolve) {
    const struct {
        std::string Rel;
        fs::path Expected;
    } cases[] = {
        {"TMP/X/MIXED.TXT", fs::path("tmp") / "x" / "Mixed.Txt"},
        {"tmp\\x/mixed.txt", fs::path("tmp") / "x" / "Mixed.Txt"},
        {"Tmp\\X\\.\\Birds.QDM", fs::path("tmp") / "x" / "birds.qdm"},
        {"tmp\\X\\..\\x\\BIRDS.qdm", fs::path("tmp") / "x" / "birds.qdm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_paths.Resolve(Win(c.Rel)), m_dir.Path() / c.Expected) << c.Rel;
    }
}

TEST_F(PathMapTest, MissingComponentsAreKeptAsWritten) {
    // A new file is created under the name the program gave.
    EXPECT_EQ(m_paths.Resolve(Win("TMP\\NEW\\File.INI")), m_dir / "tmp" / "NEW" / "File.INI");
}

TEST_F(PathMapTest, OtherDrivesResolveToNothing) {
    EXPECT_TRUE(m_paths.Resolve("C:\\WINDOWS\\BIRDS.SCR").empty());
    EXPECT_FALSE(m_paths.Resolve("z:\\").empty());
}

TEST_F(PathMapTest, DeepTreesResolveComponentByComponent) {
    // 200 levels of mixed-case names, looked up upper-cased: every level is matched.
    fs::path real = m_dir.Path();
    std::string asked;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "Lv" + std::to_string(i % 10);
        real /= name;
        asked += UpperCase(name) + "\\";
    }
    fs::create_directories(real);
    test::WriteText(real / "End.txt", "e");
    EXPECT_EQ(m_paths.Resolve(Win(asked + "END.TXT")), real / "End.txt");
}

TEST_F(PathMapTest, DotDotIsLexicalAndSymlinkedFoldersAreFollowed) {
    fs::create_symlink(m_dir / "tmp" / "x", m_dir / "Link");
    const struct {
        std::string Rel;
        fs::path Expected;
    } cases[] = {
        {"LINK\\BIRDS.QDM", fs::path("Link") / "birds.qdm"},
        {"link\\..\\TMP\\X\\MIXED.TXT", fs::path("tmp") / "x" / "Mixed.Txt"},
        // A file where a folder is asked for: the rest is taken as written.
        {"tmp\\x\\birds.qdm\\Inner", fs::path("tmp") / "x" / "birds.qdm" / "Inner"},
        {"a\\b\\..\\..\\..\\" + m_dir.Path().filename().string() + "\\TMP", fs::path("tmp")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_paths.Resolve(Win(c.Rel)), m_dir.Path() / c.Expected) << c.Rel;
    }
}

TEST_F(PathMapTest, NamesNoFileSystemTakesAreRefusedAtOnce) {
    // Without the length checks, the megabyte of short components took over an hour.
    std::string many;
    for (int i = 0; i < (1 << 19); ++i) {
        many += "a\\";
    }
    const struct {
        std::string Name;
        bool Refused;
    } cases[] = {
        {"Z:\\" + many, true},
        {"Z:\\tmp\\" + std::string(PATH_MAX, 'b'), true},
        {Win(std::string(NAME_MAX + 1, 'c')), true},
        {"relative\\" + std::string(NAME_MAX + 1, 'c') + "\\x", true},
        {Win(std::string(NAME_MAX, 'c')), false},
        {"Z:\\" + many.substr(0, 2000), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_paths.Resolve(c.Name).empty(), c.Refused) << c.Name.substr(0, 40);
    }
}

TEST(ShortNames, ValidNamesAreTheirOwnAndOthersGetAnAlias) {
    const struct {
        const char* Name;
        bool Short;
        const char* Alias; // with rank 1
    } cases[] = {
        {"README.TXT", true, nullptr},
        {"readme.txt", true, nullptr},
        {"A", true, nullptr},
        {"Long Saver.scr", false, "LONGSA~1.SCR"},
        {".local", false, "LOCAL~1"},
        {"my.show.data", false, "MYSHOW~1.DAT"},
        {"ABCDEFGHI", false, "ABCDEF~1"},
        {"a+b.scr", false, "A_B~1.SCR"},
        {"x.html", false, "X~1.HTM"},
        {"...", false, "_~1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsShortName(c.Name), c.Short) << c.Name;
        if (c.Alias) {
            EXPECT_EQ(ShortAlias(c.Name, 1), c.Alias) << c.Name;
        }
    }
    // A larger rank takes room from the stem, so the alias keeps to eight characters.
    EXPECT_EQ(ShortAlias("Long Saver.scr", 12), "LONGS~12.SCR");
}

TEST_F(PathMapTest, ShortPathsLeadBackToTheSameFile) {
    fs::create_directories(m_dir / "tmp" / "Program Files");
    test::WriteText(m_dir / "tmp" / "Program Files" / "Long Saver One.scr", "1");
    test::WriteText(m_dir / "tmp" / "Program Files" / "Long Saver Two.scr", "2");
    const std::string one = m_paths.GetShortPathName(Win("tmp\\program files\\long saver one.scr"));
    const std::string two = m_paths.GetShortPathName(Win("tmp\\Program Files\\Long Saver Two.scr"));
    // Names sharing a stem are told apart by their rank in name order.
    EXPECT_EQ(one.substr(one.size() - 22), "\\PROGRA~1\\LONGSA~1.SCR");
    EXPECT_EQ(two.substr(two.size() - 13), "\\LONGSA~2.SCR");
    EXPECT_EQ(m_paths.Resolve(one), m_dir / "tmp" / "Program Files" / "Long Saver One.scr");
    EXPECT_EQ(m_paths.Resolve(UpperCase(two)),
              m_dir / "tmp" / "Program Files" / "Long Saver Two.scr");
    // Nothing there: no short form.
    EXPECT_EQ(m_paths.GetShortPathName(Win("tmp\\nothing here.scr")), "");
    // A real file bearing an alias's name wins over the alias, so the long name has no
    // short form that would lead back to it.
    test::WriteText(m_dir / "tmp" / "Program Files" / "LONGSA~1.SCR", "other");
    EXPECT_EQ(m_paths.GetShortPathName(Win("tmp\\program files\\long saver one.scr")), "");
}

TEST(DesktopSettings, OnlyAnExecutableInAnAbsoluteSearchFolderIsFound) {
    test::TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    test::WriteText(dir / "a" / "tool", "not executable");
    test::WriteText(dir / "b" / "tool", "#!/bin/sh\n");
    fs::permissions(dir / "b" / "tool", fs::perms::owner_all);
    const std::string a = (dir / "a").string();
    const std::string b = (dir / "b").string();
    EXPECT_EQ(FindOnSearchPath("tool", a + ":" + b), (dir / "b" / "tool").string());
    EXPECT_EQ(FindOnSearchPath("tool", a), "");
    // Empty and relative entries (the current folder) are never searched, nor are names
    // with a slash taken as paths.
    EXPECT_EQ(FindOnSearchPath("tool", "::b:."), "");
    EXPECT_EQ(FindOnSearchPath("b/tool", dir.Path().string()), "");
    EXPECT_EQ(FindOnSearchPath("", b), "");
}

TEST(PathMap, ToWindowsUsesDriveZAndBackslashes) {
    EXPECT_EQ(PathMap::ToWindows("/tmp/x/birds.scr"), "Z:\\tmp\\x\\birds.scr");
    EXPECT_EQ(PathMap::ToWindows("/"), "Z:\\");
    EXPECT_EQ(PathMap::ToWindows("/a/b/"), "Z:\\a\\b");
}

TEST(PathMap, UpperCaseTouchesOnlyAsciiLetters) {
    EXPECT_EQ(UpperCase("c:\\setup\\saver.scr \xe9"), "C:\\SETUP\\SAVER.SCR \xe9");
    EXPECT_TRUE(EqualsNoCase("Tss_screen", "TSS_SCREEN"));
    EXPECT_FALSE(EqualsNoCase("Tss_screen", "Tss_screen2"));
}

} // namespace
} // namespace qv
