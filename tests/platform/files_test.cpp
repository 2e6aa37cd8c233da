// Files where the program expects a regular one: FIFOs, devices, folders and symlinks
// must neither block the program nor be written through.
#include "ends_within.h"
#include "platform/files.h"
#include "platform/instance_marker.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
        fs::create_directories(m_dir / "folder");
        test::WriteText(m_dir / "plain.txt", "plain");
        fs::create_symlink("/dev/zero", m_dir / "zero");
    }
    std::string Win(const std::string& name) const {
        return PathMap::ToWindows(m_dir.Path()) + "\\" + name;
    }
    test::TempDir m_dir;
    PathMap m_paths{m_dir.Path()};
    FileSystem m_files{m_paths, nullptr};
};

TEST_F(FilesTest, OnlyRegularFilesOpenAndNothingElseBlocks) {
    const struct {
        const char* Name;
        FileAccess Access;
        bool Opens;
    } cases[] = {
        {"fifo", FileAccess::Read, false},     {"fifo", FileAccess::ReadWrite, false},
        {"zero", FileAccess::Read, false},     {"folder", FileAccess::Read, false},
        {"PLAIN.TXT", FileAccess::Read, true}, {"plain.txt", FileAccess::ReadWrite, true},
        {"missing", FileAccess::Read, false},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(test::EndsWithin(5000, [&] {
            const HFILE f = m_files.CreateFile(Win(c.Name), c.Access, FileCreation::OpenExisting);
            return (f >= 0) == c.Opens;
        })) << c.Name;
    }
    const HFILE f =
        m_files.CreateFile(Win("plain.txt"), FileAccess::Read, FileCreation::OpenExisting);
    char text[8] = {};
    EXPECT_EQ(m_files.ReadFile(f, text, sizeof text), 5);
    EXPECT_STREQ(text, "plain");
}

TEST_F(FilesTest, CreatingNeverFollowsASymlinkNorTruncatesWhatIsNoFile) {
    test::WriteText(m_dir / "target.txt", "keep");
    fs::create_symlink(m_dir / "target.txt", m_dir / "Transitions.qtl");
    fs::create_symlink(m_dir / "elsewhere.txt", m_dir / "dangling");
    for (const char* name : {"Transitions.qtl", "dangling", "fifo", "zero", "folder"}) {
        EXPECT_TRUE(test::EndsWithin(5000, [&] {
            return m_files.CreateFile(Win(name), FileAccess::ReadWrite,
                                      FileCreation::CreateAlways) == INVALID_FILE;
        })) << name;
    }
    EXPECT_EQ(test::ReadText(m_dir / "target.txt"), "keep");
    EXPECT_FALSE(fs::exists(m_dir / "elsewhere.txt"));
    EXPECT_TRUE(fs::is_symlink(m_dir / "Transitions.qtl"));

    // A regular file is still created or truncated.
    const HFILE f =
        m_files.CreateFile(Win("plain.txt"), FileAccess::ReadWrite, FileCreation::CreateAlways);
    ASSERT_GE(f, 0);
    EXPECT_EQ(m_files.WriteFile(f, "ab", 2), 2);
    m_files.CloseHandle(f);
    EXPECT_EQ(test::ReadText(m_dir / "plain.txt"), "ab");
}

TEST_F(FilesTest, WholeFileReadsAreBoundedByTheFilesRealSize) {
    const struct {
        const char* Name;
        size_t Limit;
        WholeFile::StatusCode Status;
    } cases[] = {
        {"plain.txt", 5, WholeFile::Ok},
        {"plain.txt", 4, WholeFile::TooLarge},
        {"zero", 1 << 20, WholeFile::NotRegular},
        {"fifo", 1 << 20, WholeFile::NotRegular},
        {"folder", 1 << 20, WholeFile::NotRegular},
        {"missing", 1 << 20, WholeFile::Missing},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(test::EndsWithin(5000,
                                     [&] {
                                         const WholeFile f =
                                             ReadRegularFile(m_dir / c.Name, c.Limit);
                                         return f.Status == c.Status &&
                                                (f.Status != WholeFile::Ok || f.Bytes == "plain");
                                     }))
            << c.Name << " " << c.Limit;
    }
}

TEST(InstanceMarker, WhatIsNoRegularFileInItsPlaceIsNeitherFollowedNorWaitedFor) {
    test::TempDir dir;
    const fs::path marker = InstanceMarker::PathFor(dir.Path(), "Tss_screen", "Cap");
    fs::create_directories(marker.parent_path());
    const struct {
        const char* What;
        std::function<void()> Make;
    } cases[] = {
        {"symlink", [&] { fs::create_symlink(dir / "outside", marker); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(marker.c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        fs::remove(marker);
        c.Make();
        EXPECT_TRUE(test::EndsWithin(5000, [&] {
            InstanceMarker m;
            return !m.Claim(dir.Path(), "Tss_screen", "Cap") &&
                   !InstanceMarker::IsHeld(dir.Path(), "Tss_screen", "Cap");
        })) << c.What;
        EXPECT_FALSE(fs::exists(dir / "outside")) << c.What;
    }

    // "run" itself as a symlink leads nowhere either.
    test::TempDir other;
    fs::remove_all(dir / "run");
    fs::create_symlink(other.Path(), dir / "run");
    InstanceMarker m;
    EXPECT_FALSE(m.Claim(dir.Path(), "Tss_screen", "Cap"));
    EXPECT_TRUE(fs::is_empty(other.Path()));

    // A plain marker still works.
    fs::remove(dir / "run");
    EXPECT_TRUE(m.Claim(dir.Path(), "Tss_screen", "Cap"));
    EXPECT_TRUE(InstanceMarker::IsHeld(dir.Path(), "Tss_screen", "Cap"));
}

} // namespace
} // namespace qv
