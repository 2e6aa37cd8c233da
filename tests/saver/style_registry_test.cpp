#include "saver/style_registry.h"
#include "show/show_record.h"
#include "show/show_writer.h"
#include "show_info.h"
#include "style_list.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace qv {
namespace {

namespace fs = std::filesystem;

// A show whose header names `id` and whose block is `block` (raw int32 values), followed by
// an empty picture table.
std::vector<uint8_t> ShowBytes(int32_t id, std::initializer_list<int32_t> block) {
    ShowRecord rec;
    rec.SaverTitle = "Registry";
    rec.TransitionType = id;
    ShowWriter w;
    WriteShowHeader(w, rec);
    for (const int32_t v : block) {
        w.WriteInt(v);
    }
    for (int i = 0; i < 64; ++i) {
        w.WriteInt(-1);
    }
    return w.Bytes();
}

// The transition list the player writes, as int32 values.
std::vector<int32_t> WrittenTransitionList() {
    test::TempDir dir;
    const auto r =
        test::Run(QV_PLAYER, {"/LIST", "--display=headless", "--root=" + (dir / "root").string()},
                  dir.Path());
    EXPECT_EQ(r.ExitCode, 0);
    const std::vector<uint8_t> bytes = test::ReadFile(dir / "Transitions.qtl");
    std::vector<int32_t> ids;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        ids.push_back(static_cast<int32_t>(bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) |
                                           (uint32_t{bytes[i + 3]} << 24)));
    }
    return ids;
}

// Every id the header may hold, through every reader of the registry: the dispatcher's
// look-up, the transition list, and the show tool's info.
TEST(StyleRegistry, EveryTransitionIdThroughEveryReader) {
    struct Case {
        int32_t Id;
        const char* Style; // null: no style, the run ends at once
        int32_t Mode;
        bool Plays; // this player has the style
    };
    const Case cases[] = {
        {-1, nullptr, 0, false},
        {0, nullptr, 0, false},
        {1, "Bouncing cube", 0, true},
        {2, "Slideshow", 0, true},
        {3, "Exploding picture", 0, true},
        {4, "Floating picture", 0, true},
        {5, "Flying pictures", 0, true},
        {6, "Flying tiles", 0, true},
        {7, "Melting screen", 0, true},
        {8, "Spotlights and lenses", 0, true},
        {9, "Painter sprite", 0, true},
        {10, "Scattered pictures", 0, true},
        {11, "Video", 0, true},
        {12, "Ripple", 0, true},
        {13, "Slideshow", 1, true},
        {14, "Slideshow", 2, true},
        {15, "Parallax flight", 0, true},
        {16, "Spotlights and lenses", 1, true},
        {17, nullptr, 0, false},
    };
    std::vector<int32_t> listed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        const StyleEntry* entry = FindStyle(c.Id);
        const auto info = tool::DescribeShow(ShowBytes(c.Id, {}), tool::InfoView::Player);
        if (!c.Style) {
            EXPECT_EQ(entry, nullptr);
            EXPECT_FALSE(info["Info"].contains("Style"));
            continue;
        }
        listed.push_back(c.Id);
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(entry->Params->StyleName, c.Style);
        EXPECT_EQ(entry->Mode, c.Mode);
        EXPECT_EQ(entry->Run != nullptr, c.Plays);
        EXPECT_EQ(entry->Sound, c.Id == 11 ? StyleSound::Own : StyleSound::Show);
        EXPECT_EQ(info["Info"]["Style"], c.Style);
        EXPECT_EQ(info["Info"]["Mode"], c.Mode);
    }
    EXPECT_EQ(WrittenTransitionList(), listed);
}

// How far each style reads a block whose count it refuses: the slideshow, the scattered
// pictures and the ripple stop right after the count; the others read their whole block
// (and then open the picture table) before refusing.
TEST(StyleRegistry, BytesReadBeforeARefusal) {
    struct Case {
        int32_t Id;
        std::vector<int32_t> Block; // the refused block, then the picture table follows
        const char* Field;          // the refused field
        size_t Read;                // bytes of the block read
    };
    const Case cases[] = {
        {2, {11, 0, 0, 0, 0}, "PictureCount", 4},
        {13, {0, 1, 2, 3}, "PictureCount", 4},
        {14, {-3, 1, 2}, "PictureCount", 4},
        {10, {11, 1, 2}, "PictureCount", 4},
        {12, {2000000000, 1}, "PictureCount", 4},
        // Mode, count 7, seven picture numbers, three sizes, two axis masks, speed offset.
        {1, {0, 7, 0, 1, 2, 3, 4, 5, 6, 50, 50, 50, 7, 3, 50}, "PictureCount", 60},
        // Mode 10 brings the background picture into the block.
        {1, {10, 4, 0, 50, 50, 50, 7, 3, 50}, "PictureCount", 36},
        {4, {0, 100, 3, 50}, "PictureCount", 16},
        {5, {0, 65, 50}, "FlyerCount", 12},
        {15, {0, 0, 2, 50}, "FlyerCount", 16},
        {6, {5, 0, 0, 0, 4, 4, 50}, "BackgroundMode", 28},
        {6, {0, 0, 0, 0, 12, 4, 50}, "TileColumns", 28},
        {7, {0, 10, 0, 1, 1}, "PictureCount", 20},
        {8,
         {19, 0,  1,  2,  3,  4,  5,  6, 7,   8,    9, 10, 11,
          12, 13, 14, 15, 16, 17, 18, 3, 100, 5000, 3, 50},
         "PictureCount",
         100},
        {16, {1, 0, 18, 100, 5000, 2, 1, 50}, "SpotCount", 32},
        {16, {1, 0, 3, 100, 5000, 0, 1, 50}, "ZoomFactor", 32},
        {9, {1000, 0, 3, 5, 6, 7, 100, 1, 50}, "BackgroundCount", 36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        ShowWriter w;
        for (const int32_t v : c.Block) {
            w.WriteInt(v);
        }
        for (int i = 0; i < 64; ++i) {
            w.WriteInt(i); // the picture table behind the block
        }
        const StyleEntry* entry = FindStyle(c.Id);
        MemoryShowReader reader(w.Bytes());
        ParamReader params(reader, *entry->Params, entry->Mode);
        EXPECT_EQ(params.ReadAll(), ParamStatus::Refused);
        ASSERT_NE(params.RefusedField(), nullptr);
        EXPECT_STREQ(params.RefusedField()->Name, c.Field);
        EXPECT_EQ(reader.Position(), c.Read);
        EXPECT_FALSE(params.Truncated());
    }
}

// Styles without a refusing field never refuse, whatever their values.
TEST(StyleRegistry, StylesWithoutRefusalsReadEveryValue) {
    for (const int32_t id : {3, 11}) {
        const StyleEntry* entry = FindStyle(id);
        for (const ParamField& f : entry->Params->Fields) {
            EXPECT_NE(f.Use, LimitUse::Refuse) << id << " " << f.Name;
        }
    }
}

// The show tool's list of styles comes from the same table: one heading per id, in order.
TEST(StyleRegistry, ShowToolListsEveryStyle) {
    std::istringstream lines(tool::FormatStyleList());
    std::vector<int32_t> ids;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != ' ') {
            ids.push_back(std::stoi(line));
        }
    }
    std::vector<int32_t> expected;
    for (const StyleEntry& e : StyleRegistry()) {
        expected.push_back(e.Id);
    }
    EXPECT_EQ(ids, expected);
    EXPECT_NE(tool::FormatStyleList().find("11  Video\n    VideoFile (text)\n"), std::string::npos);
}

} // namespace
} // namespace qv
