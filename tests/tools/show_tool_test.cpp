// The show tool as a user runs it: the real binary on manifests, pictures and shows that
// the tests make themselves.

#include "picture_record.h"
#include "png_io.h"
#include "show/show_writer.h"
#include "test_support.h"

#include <array>
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
        // Every show built here also goes through check, which must give its verdict.
        const std::string show = (m_dir / name).string();
        const RunResult check = Tool({"check", show});
        EXPECT_TRUE(check.ExitCode == 0 || check.ExitCode == 1) << check.Err;
        EXPECT_TRUE(check.Out.rfind(show + ": plays\n", 0) == 0 ||
                    check.Out.rfind(show + ": does not play\n", 0) == 0)
            << check.Out;
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
        std::string CheckSays = "";   // what check says, when not the problem itself
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
        cases.push_back({"PictureOffsetsOutsideTheFile", m, "offset outside the file",
                         json::object(), "problem: picture 0 does not load [LB]"});
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
        // None of these has a picture to give.
        const RunResult extract = Tool({"extract", show.string(), "-o", (m_dir / c.Name).string()});
        EXPECT_EQ(extract.ExitCode, 1) << c.Name << extract.Err;
        EXPECT_NE(extract.Err.find("no picture of"), std::string::npos) << c.Name << extract.Err;
        // check says the player does not play them, and why.
        const RunResult check = Tool({"check", show.string()});
        EXPECT_EQ(check.ExitCode, 1) << c.Name << check.Out;
        EXPECT_EQ(check.Out.rfind(show.string() + ": does not play\nproblem: ", 0), 0u)
            << c.Name << check.Out;
        EXPECT_NE(check.Out.find(c.CheckSays.empty() ? c.Problem : c.CheckSays), std::string::npos)
            << c.Name << check.Out;
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
        {"MisspeltKey",
         {{"TransitonType", 2}},
         "unknown key 'TransitonType' (did you mean 'TransitionType'?)"},
        {"ParameterInTheHeader",
         {{"HoldTime", 3}},
         "unknown key 'HoldTime': a field of the Slideshow block belongs inside \"Parameters\""},
        // Named as misspelt, not as missing under its right name.
        {"MisspeltParameter",
         {{"Parameters",
           {{"PictureNumbers", {0}}, {"RandomPlacement", 0}, {"HoldTme", 1}, {"EffectTime", 1}}}},
         "Parameters.HoldTme: unknown field of the Slideshow mode 0 (TransitionType 2) block (did "
         "you mean 'HoldTime'?)"},
        {"FlagAsAWord",
         {{"BannerBold", "yes"}},
         "BannerBold: a flag is true or false (or an integer), not \"yes\""},
        {"PictureIsAFolder",
         {{"Pictures", {{{"File", "folder"}}}}},
         "folder' is a folder, not a picture file"},
    };
    std::filesystem::create_directory(m_dir / "folder");
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

// Every value the player will cut, ignore or read differently is named, the build still
// succeeds; a manifest with nothing of the kind builds without a word.
TEST_F(ShowTool, BuildWarnsAboutWhatThePlayerCutsIgnoresOrRefuses) {
    tool::WritePng(m_dir / "p.png", TestPicture(8, 8));
    const std::string format33 = "hh:nn:ss dddd mmmm yyyy ampm a/p!";
    ASSERT_EQ(format33.size(), 33u);
    struct Case {
        std::string Name;
        json Change; // merged into a slideshow manifest with one picture
        std::vector<std::string> Warnings;
    };
    const std::vector<Case> cases = {
        {"Clean", json::object(), {}},
        {"LowerCasePlacesAreFine", {{"BannerPlace", "bm"}, {"ClockPlace", "tr"}}, {}},
        {"LongClockFormat",
         {{"ClockFormat", format33}},
         {"ClockFormat: 33 characters; the player keeps the first 32 (\"hh:nn:ss dddd mmmm yyyy "
          "ampm a/p\")"}},
        {"LongTitle",
         {{"SaverTitle", std::string(70, 'T')}},
         {"SaverTitle: 70 characters; the player keeps the first 64 (\"" + std::string(64, 'T') +
          "\")"}},
        {"PlaceAsAWord",
         {{"BannerPlace", "bottom"}},
         {"BannerPlace: \"bottom\" is not two place letters (T or B, then L, M or R): the player "
          "places the caption at BL"}},
        {"LongPlace",
         {{"ClockPlace", "TRXYZ"}},
         {"ClockPlace: \"TRXYZ\" is not two place letters (T or B, then L, M or R): the player "
          "places the caption at TR",
          "ClockPlace: 5 characters; the player keeps the first 4 (\"TRXY\")"}},
        {"FlagWithAnEmptyLowByte",
         {{"BannerBold", 256}},
         {"BannerBold: 256 has a low byte of 0: the player reads it as false"}},
        {"OutsideTheLimits",
         {{"Parameters",
           {{"PictureNumbers", {0}}, {"RandomPlacement", 0}, {"HoldTime", -5}, {"EffectTime", 1}}}},
         {"Parameters.HoldTime = -5 is outside 0 or more"}},
        {"PictureBeyondThePictures",
         {{"Parameters",
           {{"PictureNumbers", {0, 1}},
            {"RandomPlacement", 0},
            {"HoldTime", 1},
            {"EffectTime", 1}}}},
         {"Parameters.PictureNumbers: picture 1 is not among the 1 Pictures"}},
        {"RefusedCount",
         {{"Parameters",
           {{"PictureCount", 0},
            {"PictureNumbers", json::array()},
            {"RandomPlacement", 0},
            {"HoldTime", 1},
            {"EffectTime", 1}}}},
         {"Parameters.PictureCount = 0 is outside 1..10: the player refuses the block (\"The "
          "slideshow transition requires 1-10 bitmaps.\")"}},
        {"CubeWithoutParameters",
         {{"TransitionType", 1}, {"Parameters", nullptr}},
         {"Parameters: not given; the player reads what follows the header as the Bouncing cube "
          "block",
          "the player will not play this show: the player refuses the parameter block: \"The cube "
          "transition requres 1-6 bitmaps\""}},
        {"NoStyle",
         {{"TransitionType", 0}, {"Parameters", nullptr}},
         {"the player will not play this show: TransitionType 0 names no style: the player ends "
          "the run"}},
    };
    for (const Case& c : cases) {
        json m = SlideshowManifest();
        m["Pictures"] = {{{"File", "p.png"}}};
        for (const auto& [key, value] : c.Change.items()) {
            if (value.is_null()) {
                m.erase(key);
            } else {
                m[key] = value;
            }
        }
        test::WriteText(m_dir / "warn.json", m.dump());
        const RunResult r =
            Tool({"build", (m_dir / "warn.json").string(), "-o", (m_dir / "warn.qdm").string()});
        EXPECT_EQ(r.ExitCode, 0) << c.Name << r.Err;
        std::string expected;
        for (const std::string& w : c.Warnings) {
            expected += "quorvex-show: warning: " + w + "\n";
        }
        EXPECT_EQ(r.Err, expected) << c.Name;
    }
}

TEST_F(ShowTool, HelpAndVersionAnswerOnStandardOutput) {
    const struct {
        std::vector<std::string> Args;
        int ExitCode;
        std::string OutStart; // "" : nothing on standard output
        std::string ErrStart;
    } cases[] = {
        {{"--help"}, 0, "usage: quorvex-show COMMAND ...\n", ""},
        {{"-h"}, 0, "usage: quorvex-show COMMAND ...\n", ""},
        {{"help"}, 0, "usage: quorvex-show COMMAND ...\n", ""},
        {{"help", "build"}, 0, "usage: quorvex-show build MANIFEST.json -o SHOW.qdm", ""},
        {{"help", "check"}, 0, "usage: quorvex-show check SHOW.qdm", ""},
        {{"template", "--help"}, 0, "usage: quorvex-show template ID [PICTURE...]", ""},
        {{"--version"}, 0, "quorvex-show ", ""},
        {{"help", "paint"}, 2, "", "quorvex-show: help: unknown command 'paint'\n"},
        {{"template", "17"},
         2,
         "",
         "quorvex-show: template: '17' is no transition id (1 to 16; quorvex-show styles lists "
         "them)\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = Tool(c.Args);
        const std::string args = testing::PrintToString(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << args;
        EXPECT_EQ(r.Out.rfind(c.OutStart, 0), 0u) << args << r.Out;
        EXPECT_EQ(c.OutStart.empty(), r.Out.empty()) << args;
        EXPECT_EQ(r.Err.rfind(c.ErrStart, 0), 0u) << args << r.Err;
        EXPECT_EQ(c.ErrStart.empty(), r.Err.empty()) << args << r.Err;
    }
}

// styles comes from the registry's field tables: every id, every field with its limits,
// its refusal and its meaning.
TEST_F(ShowTool, StylesListsEveryIdWithItsFields) {
    const RunResult r = Tool({"styles"});
    ASSERT_EQ(r.ExitCode, 0);
    for (const char* line :
         {"1  Bouncing cube\n", "2  Slideshow mode 0\n", "13  Slideshow mode 1\n",
          "16  Spotlights and lenses mode 1\n", "11  Video\n",
          "    PictureCount  1..10, refused otherwise (\"The slideshow transition requires 1-10 "
          "bitmaps.\")\n        number of pictures shown\n",
          "    HoldTime  0..\n        milliseconds a fully shown picture stays\n",
          "    BackgroundPicture (when BackgroundMode >= 10)  picture number  -1..63\n",
          "    SizeX  -500..500, clamped\n"}) {
        EXPECT_NE(r.Out.find(line), std::string::npos) << line;
    }
    for (int id = 1; id <= 16; ++id) {
        EXPECT_NE(("\n" + r.Out).find("\n" + std::to_string(id) + "  "), std::string::npos) << id;
    }
}

// A template builds as it is, check passes it, and the player plays it for 2 s without an
// error screen: for every transition id.
TEST_F(ShowTool, TemplateOfEveryStyleBuildsChecksAndPlays) {
    for (const char* name : {"picture1.png", "picture2.png", "picture3.png"}) {
        tool::WritePng(m_dir / name, TestPicture(64, 48));
    }
    for (int id = 1; id <= 16; ++id) {
        SCOPED_TRACE(id);
        const RunResult t = Tool({"template", std::to_string(id)});
        ASSERT_EQ(t.ExitCode, 0) << t.Err;
        const json manifest = json::parse(t.Out);
        EXPECT_EQ(manifest["TransitionType"], id);
        const std::string base = "template" + std::to_string(id);
        test::WriteText(m_dir / (base + ".json"), t.Out);
        const RunResult b = Tool({"build", (m_dir / (base + ".json")).string(), "-o",
                                  (m_dir / (base + ".qdm")).string()});
        ASSERT_EQ(b.ExitCode, 0) << b.Err;
        EXPECT_EQ(b.Err, ""); // no warnings either
        const RunResult c = Tool({"check", (m_dir / (base + ".qdm")).string()});
        if (id == 11) {
            // The video style needs a video file, which the template only names.
            EXPECT_EQ(c.ExitCode, 1) << c.Out;
            EXPECT_EQ(c.Out.rfind((m_dir / (base + ".qdm")).string() +
                                      ": does not play\nproblem: the video file video.mpg is not "
                                      "beside the show\n",
                                  0),
                      0u)
                << c.Out;
            EXPECT_NE(c.Out.find("\"Could not play video file.\""), std::string::npos) << c.Out;
            continue;
        }
        EXPECT_EQ(c.ExitCode, 0) << c.Out;
        EXPECT_EQ(c.Out.rfind((m_dir / (base + ".qdm")).string() + ": plays\n", 0), 0u) << c.Out;
        const auto trace = m_dir / (base + ".jsonl");
        const RunResult play = test::Run(
            QV_PLAYER,
            {"/DEMO", (m_dir / (base + ".qdm")).string(), "--display=headless", "--size=320x240",
             "--duration=2000", "--root=" + (m_dir / "root").string(), "--trace=" + trace.string()},
            m_dir.Path());
        EXPECT_EQ(play.ExitCode, 0) << play.Err;
        const auto events = test::ReadTrace(trace);
        EXPECT_TRUE(test::Events(events, "error-screen").empty())
            << test::Events(events, "error-screen")[0].dump();
        EXPECT_EQ(test::Events(events, "role").size(), 1u);
    }
    // Pictures given take the placeholders' place.
    const RunResult t = Tool({"template", "2", "a.jpg", "b.png"});
    ASSERT_EQ(t.ExitCode, 0);
    const json m = json::parse(t.Out);
    EXPECT_EQ(m["Parameters"]["PictureNumbers"], json({0, 1}));
    EXPECT_EQ(m["Pictures"][1]["File"], "b.png");
}

// info, extract and check name files that are no shows as such, with exit 1.
TEST_F(ShowTool, FilesThatAreNoShowsAreNamed) {
    std::vector<uint8_t> noise(3000);
    std::mt19937 random(11);
    for (uint8_t& b : noise) {
        b = static_cast<uint8_t>(random());
    }
    const struct {
        const char* Name;
        std::vector<uint8_t> Bytes;
        std::string Kind;
    } cases[] = {
        {"photo.png",
         {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13},
         "it is a PNG picture"},
        {"photo.jpg", {0xff, 0xd8, 0xff, 0xe0, 0, 16, 'J', 'F', 'I', 'F'}, "it is a JPEG picture"},
        {"anim.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "it is a GIF picture"},
        {"pic.bmp", {'B', 'M', 0x36, 0, 0, 0, 0, 0, 0, 0}, "it is a BMP picture"},
        {"sound.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, "it is a RIFF file"},
        {"show.zip", {'P', 'K', 3, 4, 20, 0, 0, 0}, "it is a ZIP archive"},
        {"setup.exe", {'M', 'Z', 0x90, 0, 3, 0, 0, 0}, "it is a Windows or DOS executable"},
        {"program", {0x7f, 'E', 'L', 'F', 2, 1, 1, 0}, "it is an ELF executable"},
        {"noise.bin", noise, "its transition id and texts are none a show has"},
    };
    for (const auto& c : cases) {
        test::WriteFile(m_dir / c.Name, c.Bytes);
        const std::string file = (m_dir / c.Name).string();
        const std::string why = "'" + file + "' is not a show file: " + c.Kind;
        const RunResult info = Tool({"info", file});
        EXPECT_EQ(info.ExitCode, 1) << c.Name;
        EXPECT_EQ(info.Err.rfind("quorvex-show: info: " + why, 0), 0u) << info.Err;
        EXPECT_EQ(info.Out, "");
        const RunResult extract = Tool({"extract", file, "-o", (m_dir / "out").string()});
        EXPECT_EQ(extract.ExitCode, 1) << c.Name;
        EXPECT_EQ(extract.Err.rfind("quorvex-show: extract: " + why, 0), 0u) << extract.Err;
        const RunResult check = Tool({"check", file});
        EXPECT_EQ(check.ExitCode, 1) << c.Name;
        EXPECT_EQ(check.Out.rfind(file + ": not a show file", 0), 0u) << check.Out;
    }
}

// check loads every picture the way the player does and names the raster engine's code
// for one that does not load, with the error line the style would show.
TEST_F(ShowTool, CheckNamesThePictureThatDoesNotLoad) {
    tool::WritePng(m_dir / "p.png", TestPicture(8, 8));
    json m = SlideshowManifest();
    m["AboutText"] = "Birds";
    m["Parameters"]["PictureNumbers"] = {0, 1};
    m["Pictures"] = {{{"File", "p.png"}}, {{"File", "p.png"}}};
    const auto good = Build(m, "good.qdm");
    const RunResult fine = Tool({"check", good.string()});
    EXPECT_EQ(fine.ExitCode, 0);
    EXPECT_EQ(fine.Out, good.string() +
                            ": plays\nstyle: Slideshow mode 0 (TransitionType 2)\npictures:\n"
                            "  0: 8x8, loads\n  1: 8x8, loads\n");

    // A missing sound does not stop the show; it is named.
    json sounding = m;
    sounding["SoundFile"] = "song.mid";
    const auto quiet = Build(sounding, "quiet.qdm");
    const RunResult silent = Tool({"check", quiet.string()});
    EXPECT_EQ(silent.ExitCode, 0);
    EXPECT_NE(silent.Out.find("\nwarning: the sound file song.mid is not beside the show: it "
                              "plays without sound\n"),
              std::string::npos)
        << silent.Out;
    test::WriteText(m_dir / "SONG.MID", "MThd");
    EXPECT_EQ(Tool({"check", quiet.string()}).Out.find("sound file"), std::string::npos);

    // The second picture's colour count is damaged: the engine refuses it with "LB".
    std::vector<uint8_t> bytes = ReadFile(good);
    const json info = Info(good);
    const size_t second = info["Pictures"][1]["Offset"].get<size_t>();
    bytes[second + 14 + 32] = 7; // biClrUsed
    test::WriteFile(m_dir / "bad.qdm", bytes);
    const RunResult bad = Tool({"check", (m_dir / "bad.qdm").string()});
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_EQ(bad.Out, (m_dir / "bad.qdm").string() +
                           ": does not play\nproblem: picture 1 does not load [LB]\n"
                           "style: Slideshow mode 0 (TransitionType 2)\npictures:\n"
                           "  0: 8x8, loads\n  1: does not load [LB]\n"
                           "the style would show:\n  \"ERROR : Birds [LB]\"\n");
}

// "Fit" scales a larger picture down inside its box, keeping its proportions, before the
// reduction to 256 colours; a smaller one stays as it is.
TEST_F(ShowTool, FitScalesLargePicturesDownKeepingTheirProportions) {
    tool::WritePng(m_dir / "large.png", TestPicture(2000, 1400));
    tool::WritePng(m_dir / "small.png", TestPicture(100, 50));
    struct Case {
        std::string Name;
        json Change;
        std::pair<int32_t, int32_t> Large, Small;
    };
    const Case cases[] = {
        {"PerPicture",
         {{"Pictures", {{{"File", "large.png"}, {"Fit", {800, 600}}}, {{"File", "small.png"}}}}},
         {800, 560},
         {100, 50}},
        {"OnceForAll",
         {{"Fit", {600, 600}}, {"Pictures", {{{"File", "large.png"}}, {{"File", "small.png"}}}}},
         {600, 420},
         {100, 50}},
        {"TallBox",
         {{"Fit", {1000, 200}}, {"Pictures", {{{"File", "large.png"}}, {{"File", "small.png"}}}}},
         {286, 200},
         {100, 50}},
    };
    for (const Case& c : cases) {
        json m = SlideshowManifest();
        m["Parameters"]["PictureNumbers"] = {0, 1};
        for (const auto& [key, value] : c.Change.items()) {
            m[key] = value;
        }
        const auto show = Build(m, c.Name + ".qdm");
        const RunResult r = Tool({"extract", show.string(), "-o", (m_dir / c.Name).string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        int32_t w = 0;
        int32_t h = 0;
        tool::LoadRgba(m_dir / c.Name / "picture00.png", w, h);
        EXPECT_EQ(std::make_pair(w, h), c.Large) << c.Name;
        tool::LoadRgba(m_dir / c.Name / "picture01.png", w, h);
        EXPECT_EQ(std::make_pair(w, h), c.Small) << c.Name;
    }
    json bad = SlideshowManifest();
    bad["Fit"] = {0, 600};
    test::WriteText(m_dir / "bad.json", bad.dump());
    const RunResult r = Tool({"build", (m_dir / "bad.json").string(), "-o", "bad.qdm"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "quorvex-show: Fit: expected [WIDTH, HEIGHT], each 1 to 65535, not [0,600]\n");
}

// Transparent pixels are composed over the manifest's "Matte" colour, or over black with a
// warning.
TEST_F(ShowTool, TransparencyIsComposedOverTheMatte) {
    // Opaque blue, fully transparent red and red at 40 % (alpha 102), 2 pixels each.
    const RunResult made = test::Run("/usr/bin/convert",
                                     {"-size", "2x1", "xc:rgba(0,0,255,1)", "xc:rgba(255,0,0,0)",
                                      "xc:rgba(255,0,0,0.4)", "+append", "PNG32:alpha.png"},
                                     m_dir.Path());
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
    const struct {
        const char* Name;
        json Matte;                     // null: none
        std::array<uint32_t, 3> Pixels; // 0xRRGGBB of the three pairs
        std::string Err;
    } cases[] = {
        {"Green", 0x0000FF00, {0x0000FF, 0x00FF00, 0x669900}, ""},
        {"None",
         nullptr,
         {0x0000FF, 0x000000, 0x660000},
         "quorvex-show: warning: Pictures[0].File: the picture has transparent pixels; composed "
         "over black (give \"Matte\" for another colour)\n"},
    };
    for (const auto& c : cases) {
        json m = SlideshowManifest();
        m["Pictures"] = {{{"File", "alpha.png"}}};
        if (!c.Matte.is_null()) {
            m["Matte"] = c.Matte;
        }
        test::WriteText(m_dir / "alpha.json", m.dump());
        const RunResult b =
            Tool({"build", (m_dir / "alpha.json").string(), "-o", (m_dir / "alpha.qdm").string()});
        ASSERT_EQ(b.ExitCode, 0) << b.Err;
        EXPECT_EQ(b.Err, c.Err) << c.Name;
        const RunResult x =
            Tool({"extract", (m_dir / "alpha.qdm").string(), "-o", (m_dir / c.Name).string()});
        ASSERT_EQ(x.ExitCode, 0) << x.Err;
        int32_t w = 0;
        int32_t h = 0;
        const std::vector<uint8_t> rgba = tool::LoadRgba(m_dir / c.Name / "picture00.png", w, h);
        ASSERT_EQ(w, 6);
        for (int i = 0; i < 6; ++i) {
            const uint32_t rgb = static_cast<uint32_t>(rgba[4 * i]) << 16 |
                                 static_cast<uint32_t>(rgba[4 * i + 1]) << 8 | rgba[4 * i + 2];
            EXPECT_EQ(rgb, c.Pixels[static_cast<size_t>(i / 2)]) << c.Name << " pixel " << i;
        }
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
