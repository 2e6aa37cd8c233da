#include "show/show_file.h"
#include "show/show_writer.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ShowFileName, FromExecutablePathOrDemoArgument) {
    const struct {
        std::string Arg0, Arg1, Arg2, Expected;
    } cases[] = {
        {"C:\\WINDOWS\\BIRDS.SCR", "/s", "", "C:\\WINDOWS\\BIRDS.QDM"},
        {"z:\\tmp\\x\\birds.scr", "", "", "Z:\\TMP\\X\\BIRDS.QDM"},
        {"C:\\MY.EXE.FILES\\SAVER.SCR", "", "", "C:\\MY.QDM"},          // the first ".EXE" wins
        {"C:\\SAVERS.SCR\\RUN.EXE", "", "", "C:\\SAVERS.SCR\\RUN.QDM"}, // ".EXE" before ".SCR"
        {"C:\\TOOLS\\PLAYER", "/s", "", "QDM"},                         // neither: relative
        {"C:\\X\\A.SCR", "/demo", "c:\\shows\\show.dat", "C:\\SHOWS\\SHOW.DAT"},
        {"C:\\X\\A.SCR", "/DEMO", "", ""},
        {"C:\\X\\A.SCR", "/DEMOS", "other", "C:\\X\\A.QDM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShowFileName(c.Arg0, c.Arg1, c.Arg2), c.Expected) << c.Arg0 << " " << c.Arg1;
    }
}

TEST(ShowFileName, DirAndBaseName) {
    const struct {
        std::string Name, Dir, Base;
    } cases[] = {
        {"C:\\WINDOWS\\BIRDS.QDM", "C:\\WINDOWS\\", "BIRDS"},
        {"C:\\SHOWS\\SHOW.DAT", "C:\\SHOWS\\", ""},
        {"QDM", "", ""},
        {"A.QDM", "", "A"},
        {"C:\\A.QDM\\B.DAT", "C:\\A.QDM\\", ""},
        {"/TMP/X/SHOW.QDM", "/TMP/X/", "SHOW"},
        {"C:\\" + std::string(70, 'N') + ".QDM", "C:\\", std::string(64, 'N')},
    };
    for (const auto& c : cases) {
        ShowRecord s;
        ComputeShowNames(c.Name, s);
        EXPECT_EQ(s.ShowDir, c.Dir) << c.Name;
        EXPECT_EQ(s.ShowBaseName, c.Base) << c.Name;
    }
}

ShowRecord Sample() {
    ShowRecord s;
    s.ExtraFileCount = 2;
    s.ExtraFileSize = {100, 200};
    s.ExtraFileName = {"README.TXT", "LICENCE.TXT"};
    s.ShowDataSize = 1234;
    s.LogoOffset = 99;
    s.DiskCount = 1;
    s.SaverFileName = "BIRDS";
    s.SaverTitle = "Birds of Paradise";
    s.AboutText = "Line one|Line two";
    s.LogoKind = 1;
    s.ClientText = "Client";
    s.TransitionType = 2;
    s.SoundFile = "SONG.WAV";
    s.SoundLoop = 0x101;
    s.BannerPlace = "TM";
    s.BannerText = "Hello";
    s.BannerFont = "";
    s.BannerSize = 12;
    s.BannerBold = true;
    s.BannerColor = 0x00FF00;
    s.ClockPlace = "BR";
    s.ClockFormat = "hh:nn";
    s.ClockFont = "Courier New";
    s.ClockSize = 10;
    s.ClockItalic = true;
    s.ClockColor = 0xFFFFFF;
    return s;
}

TEST(ReadShowHeader, ReadsEveryFieldAndAppliesTheAdjustments) {
    ShowWriter w;
    WriteShowHeader(w, Sample());
    w.WriteInt(0x5EED); // the style's parameter block starts here
    MemoryShowReader r(w.Bytes());
    ShowRecord s;
    ReadShowHeader(r, s);
    EXPECT_EQ(r.ReadInt(), 0x5EED);
    EXPECT_FALSE(r.HitEnd());
    EXPECT_EQ(s.ExtraFileCount, 2);
    EXPECT_EQ(s.ExtraFileSize[1], 200);
    EXPECT_EQ(s.ExtraFileName[1], "LICENCE.TXT");
    EXPECT_EQ(s.ShowDataSize, 1234);
    EXPECT_EQ(s.LogoOffset, 99);
    EXPECT_EQ(s.SaverTitle, "Birds of Paradise");
    EXPECT_EQ(s.AboutText, "Line one|Line two");
    EXPECT_EQ(s.TransitionType, 2);
    EXPECT_EQ(s.SoundLoop, 0x101);
    EXPECT_EQ(s.BannerText, " Hello ");
    EXPECT_EQ(s.BannerFont, "Arial");
    EXPECT_TRUE(s.BannerBold);
    EXPECT_FALSE(s.BannerItalic);
    EXPECT_EQ(s.BannerColor, 0x00FF00u);
    EXPECT_EQ(s.ClockFont, "Courier New");
    EXPECT_TRUE(s.ClockItalic);
}

TEST(ReadShowHeader, CutsLimitedTextsAndKeepsEmptyBannerEmpty) {
    ShowRecord in = Sample();
    in.SaverTitle = std::string(70, 'T');
    in.SaverFileName = std::string(300, 'F');
    in.BannerText = "";
    in.BannerFont = std::string(40, 'f');
    in.ClockPlace = "TLXYZ";
    in.ClockFormat = std::string(33, 'h');
    in.AboutText = std::string(1000, 'a'); // unlimited
    ShowWriter w;
    WriteShowHeader(w, in);
    MemoryShowReader r(w.Bytes());
    ShowRecord s;
    ReadShowHeader(r, s);
    EXPECT_EQ(s.SaverTitle, std::string(64, 'T'));
    EXPECT_EQ(s.SaverFileName, std::string(64, 'F'));
    EXPECT_EQ(s.BannerText, "");
    EXPECT_EQ(s.BannerFont, std::string(32, 'f'));
    EXPECT_EQ(s.ClockPlace, "TLXY");
    EXPECT_EQ(s.ClockFormat, std::string(32, 'h'));
    EXPECT_EQ(s.AboutText.size(), 1000u);
}

// Writes a header whose extra-file entries are given explicitly.
std::vector<uint8_t> WithExtraEntries(int32_t count, int entries) {
    ShowRecord rest = Sample();
    rest.ExtraFileCount = 0;
    ShowWriter w;
    w.WriteInt(count);
    for (int i = 0; i < entries; ++i) {
        w.WriteInt(1000 + i);
        w.WriteStr("EXTRA" + std::to_string(i));
    }
    ShowWriter tail;
    WriteShowHeader(tail, rest);
    // Skip the tail's own ExtraFileCount field.
    w.WriteBytes(tail.Bytes().data() + 4, tail.Size() - 4);
    return w.Bytes();
}

TEST(ReadShowHeader, ExtraFileCounts) {
    const struct {
        int32_t Count;
        int Entries;
        int32_t Size0, Size1;
        std::string Name1;
    } cases[] = {
        {0, 0, 0, 0, ""},
        {-3, 0, 0, 0, ""},
        {1, 1, 1000, 0, ""},
        {5, 5, 1000, 1001, "EXTRA1"}, // entries 3 to 5 are read and dropped
    };
    for (const auto& c : cases) {
        const auto bytes = WithExtraEntries(c.Count, c.Entries);
        MemoryShowReader r(bytes);
        ShowRecord s;
        ReadShowHeader(r, s);
        EXPECT_EQ(s.ExtraFileCount, c.Count);
        EXPECT_EQ(s.ExtraFileSize[0], c.Size0) << c.Count;
        EXPECT_EQ(s.ExtraFileSize[1], c.Size1) << c.Count;
        EXPECT_EQ(s.ExtraFileName[1], c.Name1) << c.Count;
        // The fields after the entries are intact.
        EXPECT_EQ(s.ShowDataSize, 1234) << c.Count;
        EXPECT_EQ(s.SaverTitle, "Birds of Paradise") << c.Count;
        EXPECT_EQ(s.ClockColor, 0xFFFFFFu) << c.Count;
        EXPECT_FALSE(r.HitEnd()) << c.Count;
    }
}

TEST(ReadShowHeader, TruncatedDataReadsAsZeroAndEndsStrings) {
    ShowWriter w;
    WriteShowHeader(w, Sample());
    for (size_t cut = 0; cut < w.Size(); cut += 7) {
        std::vector<uint8_t> part(w.Bytes().begin(),
                                  w.Bytes().begin() + static_cast<ptrdiff_t>(cut));
        MemoryShowReader r(part);
        ShowRecord s;
        ReadShowHeader(r, s);
        EXPECT_TRUE(r.HitEnd()) << cut;
    }
    // A string without its zero byte ends at the end of the data.
    const std::vector<uint8_t> open = {'a', 'b', 'c'};
    MemoryShowReader r(open);
    EXPECT_EQ(r.ReadStr(), "abc");
    EXPECT_TRUE(r.HitEnd());
    EXPECT_EQ(r.ReadInt(), 0);
}

TEST(ReadShowHeader, HugeExtraFileCountStopsAtTheEnd) {
    ShowWriter w;
    w.WriteInt(0x7FFFFFFF);
    w.WriteInt(5);
    w.WriteStr("X");
    MemoryShowReader r(w.Bytes());
    ShowRecord s;
    ReadShowHeader(r, s); // must return promptly
    EXPECT_TRUE(r.HitEnd());
    EXPECT_EQ(s.ExtraFileSize[0], 5);
}

// Counts the reads that reach the data, as the reads of a file handle are system calls.
class CountingReader : public MemoryShowReader {
public:
    using MemoryShowReader::MemoryShowReader;
    int Reads = 0;

protected:
    int32_t ReadBytes(void* buffer, int32_t count) override {
        ++Reads;
        return MemoryShowReader::ReadBytes(buffer, count);
    }
};

TEST(ReadShowHeader, EntriesBeyondTheTwoKeptCostWhatTheirBytesCost) {
    // 2^31 - 1 entries announced, 100000 tiny ones there: one pass over the bytes in
    // chunks, not two reads per entry.
    ShowWriter w;
    w.WriteInt(0x7FFFFFFF);
    for (int i = 0; i < 100000; ++i) {
        w.WriteInt(i);
        w.WriteStr(i < 2 ? "KEPT" : "x");
    }
    CountingReader r(w.Bytes());
    ShowRecord s;
    ReadShowHeader(r, s);
    EXPECT_TRUE(r.HitEnd());
    EXPECT_EQ(s.ExtraFileSize[1], 1);
    EXPECT_EQ(s.ExtraFileName[1], "KEPT");
    EXPECT_LT(r.Reads, 100);
}

TEST(ShowReader, SkippingEntriesEndsWhereReadingThemWould) {
    // Random bytes, rich in zeros, skipped and read entry by entry: same position, same end.
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 120; ++round) {
        std::vector<uint8_t> bytes(next() % 40000);
        for (uint8_t& b : bytes) {
            b = next() % 5 == 0 ? 0 : static_cast<uint8_t>(next());
        }
        const uint32_t count = round % 3 == 0 ? 0x7FFFFFFF : next() % 3000;
        MemoryShowReader skipped(bytes);
        skipped.SkipEntries(count);
        MemoryShowReader read(bytes);
        for (uint32_t i = 0; i < count && !read.HitEnd(); ++i) {
            read.ReadInt();
            read.ReadStr();
        }
        ASSERT_EQ(skipped.Position(), read.Position()) << round;
        ASSERT_EQ(skipped.HitEnd(), read.HitEnd()) << round;
    }
}

TEST(ShowReader, StringReadsLeaveThePositionAfterTheZero) {
    ShowWriter w;
    w.WriteStr("first");
    w.WriteStr(std::string(600, 'x')); // longer than one read-ahead chunk
    w.WriteInt(42);
    MemoryShowReader r(w.Bytes());
    EXPECT_EQ(r.ReadStr(), "first");
    EXPECT_EQ(r.ReadStr().size(), 600u);
    EXPECT_EQ(r.ReadInt(), 42);
    EXPECT_FALSE(r.HitEnd());
}

} // namespace
} // namespace qv
