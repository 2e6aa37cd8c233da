// The show tool as a user runs it: the real binary on manifests, pictures and shows that
// the tests make themselves.

#include "picture_record.h"
#include "png_io.h"
#include "show/show_writer.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qv {
namespace {

using nlohmann::json;
using test::ReadFile;
using test::Run;
using test::RunResult;
using test::TempDir;
using tool::IndexedPicture;

class ShowTool : public testing::Test {
protected:
    RunResult Tool(const std::vector<std::string>& args) {
        return test::Run(QV_SHOW_TOOL, args, m_dir.Path());
    }

    // Builds the manifest into name; expects success.
    std::filesystem::path Build(const json& manifest, const std::string& name = "show.qdm") {
        test::WriteText(m_dir / (name + ".json"), manifest.dump());
        const RunResult r =
            Tool({"build", (m_dir / (name + ".json")).string(), "-o", (m_dir / name).string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return m_dir / name;
    }

    json Info(const std::filesystem::path& show, const char* view = "--json") {
        const RunResult r = Tool({"info", show.string(), view});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return json::parse(r.Out);
    }

    static bool HasProblem(const json& info, const std::string& text) {
        for (const json& p : info["Info"]["Problems"]) {
            if (p.get<std::string>().find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    TempDir m_dir;
};

// A picture with odd width (row padding), long runs, short runs and noise, in 40 colours.
IndexedPicture TestPicture(int32_t width, int32_t height) {
    IndexedPicture p;
    p.Width = width;
    p.Height = height;
    for (int i = 0; i < 40; ++i) {
        p.Palette[static_cast<size_t>(i)] =
            RGBQUAD{static_cast<uint8_t>(i * 6), static_cast<uint8_t>(255 - i * 5),
                    static_cast<uint8_t>(i * i % 256), 0};
    }
    p.Pixels.assign(static_cast<size_t>(p.Stride()) * static_cast<size_t>(height), 0);
    std::mt19937 random(7);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = x < width / 3 ? static_cast<uint8_t>(y % 40)
                              : x % 5 == 0  ? static_cast<uint8_t>(random() % 40)
                                            : static_cast<uint8_t>((x / 4 + y) % 40);
            p.Pixels[static_cast<size_t>(y) * static_cast<size_t>(p.Stride()) +
                     static_cast<size_t>(x)] = v;
        }
    }
    return p;
}

json SlideshowManifest() {
    return {{"TransitionType", 2},
            {"Parameters",
             {{"PictureNumbers", {0}},
              {"RandomPlacement", 0},
              {"HoldTime", 3000},
              {"EffectTime", 800}}}};
}

TEST_F(ShowTool, HeaderReadsBackFieldForField) {
    const std::string title70(70, 'T');
    const json manifest = {
        {"ExtraFileSize", {1200, 34}},
        {"ExtraFileName", {"README.TXT", "LICENCE.TXT"}},
        {"ShowDataSize", 5000},
        {"LogoOffset", 77},
        {"DiskCount", 2},
        {"SaverFileName", "BIRDS"},
        {"SaverTitle", title70},
        {"AboutText", "Line one|Line two"},
        {"LogoKind", 2},
        {"ClientText", "Caf\u00e9 \u20ac"},
        {"TransitionType", 13},
        {"SoundFile", "SONG.MID"},
        {"SoundLoop", 1},
        {"SpareValue", 99},
        {"BannerPlace", "BM"},
        {"BannerText", "Hello"},
        {"BannerFont", ""},
        {"BannerSize", 24},
        {"BannerBold", true},
        {"BannerItalic", 0},
        {"BannerColor", 0x00FF8040},
        {"ClockPlace", "TLXYZ"},
        {"ClockFormat", "hh:nn"},
        {"ClockFont", "Courier New"},
        {"ClockSize", 12},
        {"ClockBold", 0},
        {"ClockItalic", true},
        {"ClockColor", 0xFFFFFFFFu},
        {"Parameters",
         {{"PictureCount", 1},
          {"PictureNumbers", {0}},
          {"EffectOption", 2},
          {"BlockSize", 10},
          {"RandomPlacement", 1},
          {"HoldTime", 4000},
          {"EffectTime", 900}}},
    };
    const json info = Info(Build(manifest));

    // The fields the loader adjusts or cuts.
    struct Case {
        const char* Field;
        json Stored;
    };
    const Case adjusted[] = {
        {"SaverTitle", title70.substr(0, 64)},
        {"BannerText", " Hello "},
        {"BannerFont", "Arial"},
        {"ClockPlace", "TLXY"},
        {"BannerItalic", false},
        {"BannerBold", true},
        {"ClockBold", false},
        {"ClockItalic", true},
        {"ExtraFileCount", 2},
    };
    for (const Case& c : adjusted) {
        EXPECT_EQ(info[c.Field], c.Stored) << c.Field;
    }
    for (const char* field :
         {"ExtraFileSize", "ExtraFileName", "ShowDataSize", "LogoOffset", "DiskCount",
          "SaverFileName", "AboutText",     "LogoKind",     "ClientText", "TransitionType",
          "SoundFile",     "SoundLoop",     "BannerPlace",  "BannerSize", "BannerColor",
          "ClockFormat",   "ClockFont",     "ClockSize",    "ClockColor", "Parameters"}) {
        EXPECT_EQ(info[field], manifest[field]) << field;
    }
    // Texts are stored in code page 1252.
    const std::vector<uint8_t> bytes = ReadFile(m_dir / "show.qdm");
    const std::vector<uint8_t> ansi = {'C', 'a', 'f', 0xE9, ' ', 0x80, 0};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), ansi.begin(), ansi.end()), bytes.end());
}

TEST_F(ShowTool, ExtraFileEntriesFollowTheirCount) {
    struct Case {
        json Count;
        int Entries;
        json StoredNames;
    };
    const Case cases[] = {
        {0, 0, json::array()},
        {-3, 0, json::array()},
        {2, 2, {"F0", "F1"}},
        // Five entries: the record keeps two, the others are read and dropped.
        {5, 5, {"F0", "F1"}},
    };
    for (const Case& c : cases) {
        json m = SlideshowManifest();
        m["ExtraFileCount"] = c.Count;
        m["ExtraFileSize"] = json::array();
        m["ExtraFileName"] = json::array();
        for (int i = 0; i < c.Entries; ++i) {
            m["ExtraFileSize"].push_back(100 + i);
            m["ExtraFileName"].push_back("F" + std::to_string(i));
        }
        m["ShowDataSize"] = 4321;
        m["SaverTitle"] = "After the entries";
        const json info = Info(Build(m));
        EXPECT_EQ(info["ExtraFileCount"], c.Count);
        EXPECT_EQ(info["ExtraFileName"], c.StoredNames) << c.Count;
        EXPECT_EQ(info["ShowDataSize"], 4321) << c.Count;
        EXPECT_EQ(info["SaverTitle"], "After the entries") << c.Count;
        EXPECT_EQ(info["Parameters"]["HoldTime"], 3000) << c.Count;
        EXPECT_FALSE(HasProblem(info, "truncated")) << c.Count;
    }
}

// Damaged and hostile files: info and extract report, never crash or hang.
TEST_F(ShowTool, DamagedFilesAreReported) {
    struct Case {
        std::string Name;
        json Manifest;
        std::string Problem;
        json Fields = json::object(); // header fields as the player stores them
    };
    std::vector<Case> cases;
    {
        json m = SlideshowManifest();
        m["Truncate"] = 50;
        cases.push_back({"Truncated", m, "truncated at byte 50"});
    }
    {
        // The header ends inside SaverTitle, whose zero byte is missing.
        json m;
        m["RawHeader"] = {{{"Int", 0}}, {{"Int", 0}},      {{"Int", 0}},
                          {{"Int", 0}}, {{"Str", "NAME"}}, {{"Bytes", "4142434445"}}};
        m["Truncate"] = 26;
        cases.push_back({"StringWithoutZero",
                         m,
                         "truncated at byte 26: the header is cut",
                         {{"SaverFileName", "NAME"}, {"SaverTitle", "ABCDE"}}});
    }
    {
        json m;
        m["TransitionType"] = 2;
        m["Raw"] = {{{"Int", 2000000000}}};
        cases.push_back({"AbsurdCount", m, "refuses the parameter block"});
    }
    {
        // A painter block whose background list claims 5 entries; the file holds one.
        json m;
        m["TransitionType"] = 9;
        m["Raw"] = {{{"Int", 100}}, {{"Int", 5}}, {{"Int", 0}}};
        m["Truncate"] = 0; // replaced below
        cases.push_back({"ListCutByTheEnd", m, "holds 1 of 5 entries"});
    }
    {
        json m = SlideshowManifest();
        m["PictureTable"] = {1000000, -2000};
        cases.push_back({"PictureOffsetsOutsideTheFile", m, "offset outside the file"});
    }
    {
        json m = SlideshowManifest();
        m["LogoOffset"] = 999999;
        cases.push_back({"LogoOffsetOutsideTheFile", m, "LogoOffset 999999 is outside the file"});
    }
    {
        json m;
        m["RawHeader"] = {{{"Int", 2000000000}}, {{"Int", 5}}, {{"Str", "A"}}};
        cases.push_back({"HugeExtraFileCount", m, "truncated"});
    }
    {
        json m;
        m["TransitionType"] = 0;
        cases.push_back({"NoStyle", m, "names no style"});
    }
    for (Case& c : cases) {
        if (c.Name == "ListCutByTheEnd") {
            // Cut right after the painter block's first list entry.
            c.Manifest.erase("Truncate");
            const auto full = ReadFile(Build(c.Manifest, c.Name + ".full"));
            c.Manifest["Truncate"] = static_cast<int>(full.size()) - 256;
        }
        const auto show = Build(c.Manifest, c.Name + ".qdm");
        const json info = Info(show);
        EXPECT_TRUE(HasProblem(info, c.Problem)) << c.Name << ": " << info["Info"].dump();
        for (const auto& [field, value] : c.Fields.items()) {
            EXPECT_EQ(info[field], value) << c.Name << " " << field;
        }
        const RunResult text = Tool({"info", show.string()});
        EXPECT_EQ(text.ExitCode, 0) << c.Name;
        EXPECT_NE(text.Out.find(c.Problem), std::string::npos) << c.Name;
        const RunResult extract = Tool({"extract", show.string(), "-o", (m_dir / c.Name).string()});
        EXPECT_EQ(extract.ExitCode, 0) << c.Name << extract.Err;
    }
}

TEST_F(ShowTool, BuildErrorsNameTheField) {
    tool::WritePng(m_dir / "p.png", TestPicture(8, 8));
    struct Case {
        std::string Name;
        json Change; // merged into the slideshow manifest
        std::string Message;
    };
    json tooMany = json::array();
    for (int i = 0; i < 65; ++i) {
        tooMany.push_back({{"File", "p.png"}});
    }
    const std::vector<Case> cases = {
        {"UnknownKey", {{"SaverTitel", "x"}}, "unknown key 'SaverTitel'"},
        {"WrongType", {{"SaverTitle", 5}}, "SaverTitle: expected a string"},
        {"IntTooLarge", {{"DiskCount", 5000000000}}, "DiskCount:"},
        {"MissingFile", {{"Pictures", {{{"File", "nope.png"}}}}}, "Pictures[0].File"},
        {"NotAPicture", {{"Pictures", {{{"File", "show.qdm.json"}}}}}, "Pictures[0].File"},
        {"BadCompression",
         {{"Pictures", {{{"File", "p.png"}, {"Compression", "zip"}}}}},
         "Pictures[0].Compression"},
        {"TooManyPictures", {{"Pictures", tooMany}}, "Pictures: 65 pictures"},
        {"MissingParameter",
         {{"Parameters", {{"PictureNumbers", {0}}, {"HoldTime", 1}, {"EffectTime", 1}}}},
         "Parameters.RandomPlacement: missing"},
        {"ParameterOfAnotherMode",
         {{"Parameters",
           {{"PictureNumbers", {0}},
            {"BlockSize", 5},
            {"RandomPlacement", 0},
            {"HoldTime", 1},
            {"EffectTime", 1}}}},
         "Parameters.BlockSize: not part of the Slideshow mode 0"},
        {"UnknownParameter",
         {{"Parameters",
           {{"PictureNumbers", {0}},
            {"Colour", 5},
            {"RandomPlacement", 0},
            {"HoldTime", 1},
            {"EffectTime", 1}}}},
         "Parameters.Colour: unknown field"},
        {"CountMismatch",
         {{"Parameters",
           {{"PictureCount", 3},
            {"PictureNumbers", {0}},
            {"RandomPlacement", 0},
            {"HoldTime", 1},
            {"EffectTime", 1}}}},
         "Parameters.PictureNumbers: 1 entries but PictureCount is 3"},
        {"NoStyle", {{"TransitionType", 0}}, "Parameters: TransitionType 0 names no style"},
        {"ExtraFileCountMismatch", {{"ExtraFileCount", 3}}, "ExtraFileCount: 3 but 0"},
        {"BadRawItem", {{"Raw", {{{"Float", 1}}}}}, "Raw[0]: unknown raw item 'Float'"},
        {"BadHex", {{"Raw", {{{"Bytes", "0g"}}}}}, "Raw[0].Bytes"},
    };
    for (const Case& c : cases) {
        json m = SlideshowManifest();
        for (const auto& [key, value] : c.Change.items()) {
            m[key] = value;
        }
        std::filesystem::remove(m_dir / "bad.qdm");
        test::WriteText(m_dir / "show.qdm.json", m.dump());
        const RunResult r =
            Tool({"build", (m_dir / "show.qdm.json").string(), "-o", (m_dir / "bad.qdm").string()});
        EXPECT_EQ(r.ExitCode, 2) << c.Name;
        EXPECT_NE(r.Err.find(c.Message), std::string::npos) << c.Name << ": " << r.Err;
        EXPECT_FALSE(std::filesystem::exists(m_dir / "bad.qdm")) << c.Name;
    }
}

TEST_F(ShowTool, InstallationSetMistakesNameTheFieldAndWriteNothing) {
    tool::WritePng(m_dir / "p.png", TestPicture(8, 8));
    test::WriteText(m_dir / "extra.bin", "extra");
    const struct {
        const char* Name;
        json Installation;
        json Header;
        const char* Message;
    } cases[] = {
        {"no SETUP", {{"Setup", "BIRDS.EXE"}}, json::object(), "Installation.Setup: 'BIRDS.EXE'"},
        {"no extension", {{"Setup", "SETUP"}}, json::object(), "Installation.Setup"},
        {"a path", {{"Setup", "../SETUP.EXE"}}, json::object(), "Installation.Setup"},
        {"negative disk", {{"DiskSize", -1}}, json::object(), "Installation.DiskSize"},
        {"unknown key", {{"Disks", 2}}, json::object(), "Installation.Disks: unknown key"},
        {"three extras",
         {{"ExtraFiles", json::array({{{"File", "extra.bin"}, {"Name", "a"}},
                                      {{"File", "extra.bin"}, {"Name", "b"}},
                                      {{"File", "extra.bin"}, {"Name", "c"}}})}},
         json::object(),
         "Installation.ExtraFiles: an array of at most two"},
        {"missing extra",
         {{"ExtraFiles", json::array({{{"File", "nope.bin"}, {"Name", "a"}}})}},
         json::object(),
         "Installation.ExtraFiles[0].File: no file"},
        {"extra entries by hand",
         json::object(),
         {{"ExtraFileSize", {1}}, {"ExtraFileName", {"a"}}},
         "ExtraFileSize: filled in from Installation.ExtraFiles"},
    };
    for (const auto& c : cases) {
        json m = SlideshowManifest();
        m["Installation"] = c.Installation;
        m.update(c.Header);
        test::WriteText(m_dir / "set.json", m.dump());
        const RunResult r =
            Tool({"build", (m_dir / "set.json").string(), "--set=" + (m_dir / "set").string(),
                  std::string("--player=") + QV_PLAYER});
        EXPECT_EQ(r.ExitCode, 2) << c.Name;
        EXPECT_NE(r.Err.find(c.Message), std::string::npos) << c.Name << ": " << r.Err;
        EXPECT_FALSE(std::filesystem::exists(m_dir / "set")) << c.Name;
    }
}

TEST_F(ShowTool, InstallationSetHeaderMatchesItsDisks) {
    tool::WritePng(m_dir / "p.png", TestPicture(8, 8));
    std::string extra(3000, 'x');
    test::WriteText(m_dir / "extra.bin", extra);
    json m = SlideshowManifest();
    m["SaverFileName"] = "Birds";
    m["Installation"] = {
        {"Setup", "Birds Setup.exe"},
        {"DiskSize", 1000},
        {"ExtraFiles", json::array({{{"File", "extra.bin"}, {"Name", "birds.dat"}}})}};
    const std::filesystem::path show = Build(m);
    const json info = Info(show);
    EXPECT_EQ(info["ShowDataSize"], std::filesystem::file_size(show));
    EXPECT_EQ(info["ExtraFileCount"], 1);
    EXPECT_EQ(info["ExtraFileSize"], json::array({3000}));
    EXPECT_EQ(info["ExtraFileName"], json::array({"birds.dat"}));
    const auto size = static_cast<int64_t>(std::filesystem::file_size(show));
    EXPECT_EQ(info["DiskCount"], (size + 3000 + 999) / 1000);

    test::WriteText(m_dir / "set.json", m.dump());
    const RunResult r =
        Tool({"build", (m_dir / "set.json").string(), "--set=" + (m_dir / "set").string(),
              std::string("--player=") + QV_PLAYER});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    // The disks hold the show and then the extra file, cut at the disk size; the setup
    // is a link to the player.
    std::vector<uint8_t> stream;
    for (int64_t n = 1; n <= info["DiskCount"].get<int64_t>(); ++n) {
        const auto file =
            m_dir / "set" /
            (n == 1 ? std::string("Birds Setup.qdm") : "Birds Setup." + std::to_string(n));
        const auto bytes = ReadFile(file);
        EXPECT_EQ(bytes.size(), n < info["DiskCount"] ? 1000u : (size + 3000 - 1) % 1000 + 1);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> expected = ReadFile(show);
    expected.insert(expected.end(), extra.begin(), extra.end());
    EXPECT_EQ(stream, expected);
    EXPECT_EQ(std::filesystem::read_symlink(m_dir / "set" / "Birds Setup.exe"),
              std::filesystem::absolute(QV_PLAYER));
}

TEST_F(ShowTool, UsageAndFileErrorsGiveTheirExitCodes) {
    test::WriteText(m_dir / "broken.json", "{\"SaverTitle\": ");
    test::WriteText(m_dir / "ok.json", SlideshowManifest().dump());
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> Args;
        int ExitCode;
        std::string Message;
    };
    const Case cases[] = {
        {{}, 2, "usage: quorvex-show"},
        {{"paint"}, 2, "unknown command 'paint'"},
        {{"build", "ok.json"}, 2, "usage: quorvex-show build"},
        {{"info", "x.qdm", "--yaml"}, 2, "unknown option --yaml"},
        {{"build", "broken.json", "-o", "x.qdm"}, 2, "not valid JSON"},
        {{"build", "missing.json", "-o", "x.qdm"}, 1, "cannot read 'missing.json'"},
        {{"build", "ok.json", "-o", "no/such/dir/x.qdm"}, 1, "cannot write"},
        {{"info", "missing.qdm"}, 1, "cannot read"},
        // Read by their real size, and only when they are regular files: nothing blocks on
        // a FIFO or reads /dev/zero until memory runs out.
        {{"info", "/dev/zero"}, 1, "not a regular file"},
        {{"extract", "/dev/zero", "-o", "out"}, 1, "not a regular file"},
        {{"info", "fifo"}, 1, "not a regular file"},
        {{"extract", "fifo", "-o", "out"}, 1, "not a regular file"},
        {{"build", "fifo", "-o", "x.qdm"}, 1, "not a regular file"},
    };
    for (const Case& c : cases) {
        const RunResult r = Tool(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << testing::PrintToString(c.Args);
        EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    }
}

// The same picture stored raw, RLE8 and scheme 4 extracts to the source's exact pixels.
TEST_F(ShowTool, ExtractGivesTheSourcePixelsForEveryPacking) {
    tool::WritePng(m_dir / "source.png", TestPicture(37, 23));
    int32_t w = 0;
    int32_t h = 0;
    const std::vector<uint8_t> source = tool::LoadRgba(m_dir / "source.png", w, h);
    ASSERT_EQ(w, 37);
    for (const char* packing : {"raw", "rle8", "scheme4"}) {
        json m = SlideshowManifest();
        m["Pictures"] = {{{"File", "source.png"}, {"Compression", packing}}};
        const auto show = Build(m, std::string(packing) + ".qdm");
        const json info = Info(show);
        ASSERT_EQ(info["Pictures"].size(), 1u);
        EXPECT_EQ(info["Pictures"][0]["Compression"], packing);
        EXPECT_EQ(info["Pictures"][0]["ColorsUsed"], 256);
        const auto dir = m_dir / (std::string(packing) + "-out");
        ASSERT_EQ(Tool({"extract", show.string(), "-o", dir.string()}).ExitCode, 0);
        int32_t ew = 0;
        int32_t eh = 0;
        EXPECT_EQ(tool::LoadRgba(dir / "picture00.png", ew, eh), source) << packing;
        EXPECT_EQ(ew, 37);
        EXPECT_EQ(eh, 23);
    }
}

// A 256-colour BMP keeps its colour table and indexes unchanged; logos get their own table.
TEST_F(ShowTool, FullPaletteBmpIsTakenAsItIs) {
    const IndexedPicture picture = TestPicture(13, 9);
    // The record format is a BMP file after its first 14 bytes: write one by hand.
    std::vector<uint8_t> bmp = tool::EncodePictureRecord(picture, tool::Compression::Raw);
    test::WriteFile(m_dir / "pic.bmp", bmp);
    json m = SlideshowManifest();
    m["Pictures"] = {{{"File", "pic.bmp"}, {"Compression", "rle8"}}};
    m["Logo"] = {{{"File", "pic.bmp"}, {"Compression", "scheme4"}}};
    m["LogoKind"] = 1;
    const auto show = Build(m);
    const std::vector<uint8_t> bytes = ReadFile(show);
    const json info = Info(show);
    for (const char* table : {"Pictures", "Logo"}) {
        const auto record = tool::ReadPictureRecord(bytes, info[table][0]["Offset"].get<int64_t>());
        ASSERT_TRUE(record.Problem.empty()) << record.Problem;
        const auto decoded = tool::DecodePictureRecord(bytes, record);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->Pixels, picture.Pixels) << table;
        EXPECT_EQ(decoded->Palette, picture.Palette) << table;
    }
    EXPECT_EQ(info["LogoOffset"], info["Info"]["LogoTableOffset"]);
}

TEST_F(ShowTool, PicturesWithManyColoursAreReducedTo256) {
    // A 64 x 64 picture with 4096 colours, as 24-bit BMP written by hand.
    const int32_t size = 64;
    ShowWriter w;
    w.WriteBytes("BM", 2);
    w.WriteInt(54 + size * size * 3);
    w.WriteInt(0);
    w.WriteInt(54);
    for (const int32_t v : {40, size, size}) {
        w.WriteInt(v);
    }
    w.WriteBytes("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; ++i) {
        w.WriteInt(0);
    }
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            const uint8_t bgr[3] = {static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4),
                                    static_cast<uint8_t>((x + y) * 2)};
            w.WriteBytes(bgr, 3);
        }
    }
    test::WriteFile(m_dir / "many.bmp", w.Bytes());
    json m = SlideshowManifest();
    m["Pictures"] = {{{"File", "many.bmp"}}};
    const auto show = Build(m);
    ASSERT_EQ(Tool({"extract", show.string(), "-o", (m_dir / "out").string()}).ExitCode, 0);
    int32_t sw = 0;
    int32_t sh = 0;
    int32_t ew = 0;
    int32_t eh = 0;
    const auto source = tool::LoadRgba(m_dir / "many.bmp", sw, sh);
    const auto extracted = tool::LoadRgba(m_dir / "out" / "picture00.png", ew, eh);
    ASSERT_EQ(source.size(), extracted.size());
    double error = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        error += std::abs(static_cast<int>(source[i]) - static_cast<int>(extracted[i]));
    }
    EXPECT_LT(error / static_cast<double>(source.size()), 6.0);
}

// info --manifest gives build what it needs to make a show that the player reads the same.
TEST_F(ShowTool, ManifestViewRoundTripsHeaderAndParameters) {
    tool::WritePng(m_dir / "p.png", TestPicture(8, 8));
    for (const int32_t id : {1, 8, 11, 13, 16}) {
        json m = {{"TransitionType", id},    {"BannerText", "Hello"},      {"SaverTitle", "Round"},
                  {"ClockPlace", "BR"},      {"ClockFormat", "hh:nn"},     {"BannerColor", 255},
                  {"ExtraFileSize", {1, 2}}, {"ExtraFileName", {"A", "B"}}};
        switch (id) {
        case 1:
            m["Parameters"] = {{"BackgroundMode", 10},
                               {"BackgroundPicture", 0},
                               {"PictureNumbers", {0, 0}},
                               {"SizeX", 40},
                               {"SizeY", 30},
                               {"SizeZ", 20},
                               {"RotationAxes", 7},
                               {"MoveAxes", 3},
                               {"SpeedOffset", 50}};
            break;
        case 8:
        case 16:
            m["Parameters"] = {{"PictureNumbers", {0}},
                               {"SpotCount", 3},
                               {"SpotSize", 80},
                               {"SwitchTime", 4000},
                               {"SpeedOffset", 50}};
            m["Parameters"][id == 8 ? "MoveAxes" : "ZoomFactor"] = 2;
            if (id == 16) {
                m["Parameters"]["SpotShape"] = 1;
            }
            break;
        case 11:
            m["Parameters"] = {{"VideoFile", "CLIP.AVI"}, {"VideoLoop", 1},  {"VideoWidth", 100},
                               {"VideoHeight", 100},      {"VideoLeft", 50}, {"VideoTop", 50}};
            break;
        default:
            m["Parameters"] = {{"PictureNumbers", {0}}, {"EffectOption", 1}, {"BlockSize", 12},
                               {"RandomPlacement", 0},  {"HoldTime", 1},     {"EffectTime", 2}};
            break;
        }
        m["Pictures"] = {{{"File", "p.png"}}};
        const json first = Info(Build(m, "first.qdm"));
        const RunResult view = Tool({"info", (m_dir / "first.qdm").string(), "--manifest"});
        ASSERT_EQ(view.ExitCode, 0);
        test::WriteText(m_dir / "again.json", view.Out);
        ASSERT_EQ(
            Tool({"build", (m_dir / "again.json").string(), "-o", (m_dir / "again.qdm").string()})
                .ExitCode,
            0)
            << id;
        json second = Info(m_dir / "again.qdm");
        json expected = first;
        for (json* j : {&expected, &second}) {
            j->erase("Pictures");
            j->erase("Info");
        }
        EXPECT_EQ(second, expected) << id;
    }
}

// A picture too wide for libpng's default limits is still written, and one that cannot be
// written does not stop the others: the tool names it and ends with exit code 1.
TEST_F(ShowTool, ExtractWritesEveryPictureItCanAndNamesTheOthers) {
    tool::WritePng(m_dir / "strip.png", TestPicture(4194304, 1));
    tool::WritePng(m_dir / "small.png", TestPicture(8, 8));
    json m = SlideshowManifest();
    m["Parameters"]["PictureNumbers"] = {0, 1, 2};
    m["Pictures"] = {{{"File", "small.png"}}, {{"File", "strip.png"}}, {{"File", "small.png"}}};
    const auto show = Build(m);

    const RunResult all = Tool({"extract", show.string(), "-o", (m_dir / "all").string()});
    EXPECT_EQ(all.ExitCode, 0) << all.Err;
    int32_t w = 0;
    int32_t h = 0;
    EXPECT_FALSE(tool::LoadRgba(m_dir / "all" / "picture01.png", w, h).empty());
    EXPECT_EQ(w, 4194304);
    EXPECT_EQ(h, 1);

    std::filesystem::create_directories(m_dir / "some" / "picture01.png");
    const RunResult some = Tool({"extract", show.string(), "-o", (m_dir / "some").string()});
    EXPECT_EQ(some.ExitCode, 1);
    EXPECT_NE(some.Err.find("picture01.png not written"), std::string::npos) << some.Err;
    EXPECT_TRUE(std::filesystem::is_regular_file(m_dir / "some" / "picture00.png"));
    EXPECT_TRUE(std::filesystem::is_regular_file(m_dir / "some" / "picture02.png"));
}

// info --manifest gives a manifest only when build takes it and the rebuilt file reads the
// same; for a damaged file that no manifest can stand for, it says so and fails.
TEST_F(ShowTool, ManifestViewOfADamagedFileRebuildsItOrSaysItCannot) {
    json m = SlideshowManifest();
    m["SaverTitle"] = "Cut";
    const std::vector<uint8_t> full = ReadFile(Build(m, "full.qdm"));
    int refused = 0;
    int rebuilt = 0;
    for (size_t cut = 0; cut <= full.size(); cut += full.size() / 12 + 1) {
        const std::filesystem::path part = m_dir / ("cut" + std::to_string(cut) + ".qdm");
        test::WriteFile(part, std::vector<uint8_t>(full.begin(), full.begin() + cut));
        const RunResult view = Tool({"info", part.string(), "--manifest"});
        if (view.ExitCode != 0) {
            EXPECT_EQ(view.ExitCode, 1) << cut;
            EXPECT_NE(view.Err.find("no manifest can stand for"), std::string::npos) << view.Err;
            ++refused;
            continue;
        }
        test::WriteText(m_dir / "again.json", view.Out);
        const RunResult again =
            Tool({"build", (m_dir / "again.json").string(), "-o", (m_dir / "again.qdm").string()});
        ASSERT_EQ(again.ExitCode, 0) << cut << ": " << again.Err;
        json first = json::parse(view.Out);
        json second = Info(m_dir / "again.qdm", "--manifest");
        first.erase("Info");
        second.erase("Info");
        EXPECT_EQ(first, second) << cut;
        ++rebuilt;
    }
    // A cut inside the parameter block leaves fields that build cannot be given; a cut in
    // the picture data leaves a header and block that it can.
    EXPECT_GT(refused, 0);
    EXPECT_GT(rebuilt, 0);
}

} // namespace
} // namespace qv
