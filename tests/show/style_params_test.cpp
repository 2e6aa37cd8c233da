#include "saver/style_registry.h"
#include "show/style_params.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qv {
namespace {

std::vector<uint8_t> Ints(std::initializer_list<int32_t> values) {
    ShowWriter w;
    for (const int32_t v : values) {
        w.WriteInt(v);
    }
    return w.Bytes();
}

// The description and mode that a transition id selects.
struct IdStyle {
    const StyleParams* Style;
    int32_t Mode;
};
IdStyle Find(int32_t id) {
    const StyleEntry* e = FindStyle(id);
    return {e->Params, e->Mode};
}

std::vector<std::string> FieldNames(const ParamBlock& block) {
    std::vector<std::string> names;
    for (const ParamValue& v : block.Values()) {
        names.emplace_back(v.Field->Name);
    }
    return names;
}

// Which fields a block holds depends on the mode and on earlier fields.
TEST(StyleParams, FieldsPresentByModeAndEarlierFields) {
    struct Case {
        std::string Name;
        int32_t Id;
        std::vector<uint8_t> Data;
        std::vector<std::string> Fields;
    };
    const std::vector<Case> cases = {
        {"SlideshowMode0",
         2,
         Ints({2, 0, 1, 1, 3000, 500}),
         {"PictureCount", "PictureNumbers", "RandomPlacement", "HoldTime", "EffectTime"}},
        {"SlideshowMode1",
         13,
         Ints({1, 0, 2, 10, 0, 3000, 500}),
         {"PictureCount", "PictureNumbers", "EffectOption", "BlockSize", "RandomPlacement",
          "HoldTime", "EffectTime"}},
        {"SlideshowMode2",
         14,
         Ints({1, 0, 4, 0, 3000, 500}),
         {"PictureCount", "PictureNumbers", "EffectOption", "RandomPlacement", "HoldTime",
          "EffectTime"}},
        {"CubeBlackBackground",
         1,
         Ints({0, 1, 0, 50, 50, 50, 7, 3, 50}),
         {"BackgroundMode", "PictureCount", "PictureNumbers", "SizeX", "SizeY", "SizeZ",
          "RotationAxes", "MoveAxes", "SpeedOffset"}},
        {"CubeTiledBackground",
         1,
         Ints({10, 4, 1, 0, 50, 50, 50, 7, 3, 50}),
         {"BackgroundMode", "BackgroundPicture", "PictureCount", "PictureNumbers", "SizeX", "SizeY",
          "SizeZ", "RotationAxes", "MoveAxes", "SpeedOffset"}},
        {"Spotlights",
         8,
         Ints({1, 0, 3, 100, 5000, 3, 50}),
         {"PictureCount", "PictureNumbers", "SpotCount", "SpotSize", "SwitchTime", "MoveAxes",
          "SpeedOffset"}},
        {"Lenses",
         16,
         Ints({1, 0, 3, 100, 5000, 2, 1, 50}),
         {"PictureCount", "PictureNumbers", "SpotCount", "SpotSize", "SwitchTime", "ZoomFactor",
          "SpotShape", "SpeedOffset"}},
    };
    for (const Case& c : cases) {
        const IdStyle t = Find(c.Id);
        MemoryShowReader reader(c.Data);
        ParamReader params(reader, *t.Style, t.Mode);
        EXPECT_EQ(params.ReadAll(), ParamStatus::Complete) << c.Name;
        EXPECT_EQ(FieldNames(params.Block()), c.Fields) << c.Name;
        EXPECT_EQ(reader.Position(), c.Data.size()) << c.Name;
        EXPECT_FALSE(params.Truncated()) << c.Name;
    }
}

TEST(StyleParams, VideoBlockStartsWithAString) {
    ShowWriter w;
    w.WriteStr("CLIP.AVI");
    for (const int32_t v : {1, 100, 100, 50, 50}) {
        w.WriteInt(v);
    }
    MemoryShowReader reader(w.Bytes());
    ParamReader params(reader, *&kVideoParams, 0);
    ASSERT_EQ(params.ReadAll(), ParamStatus::Complete);
    EXPECT_EQ(params.Block().Str("VideoFile"), "CLIP.AVI");
    EXPECT_EQ(params.Block().Int("VideoTop"), 50);
}

// A style reading its block into its struct gets the values as it uses them: clamped where
// the table says so, while the block the show tool sees keeps what the file holds.
TEST(StyleParams, TypedBlocksGetClampedValues) {
    {
        const std::vector<uint8_t> data = Ints({0, 2, 1, 99, 1, 0, 3, 50});
        MemoryShowReader reader(data);
        const auto block = ReadStyleBlock(reader, kExplodingParams, 0);
        EXPECT_EQ(block.Refused, nullptr);
        EXPECT_EQ(block.Values.Columns, 2);
        EXPECT_EQ(block.Values.Rows, 8);
        EXPECT_EQ(block.Values.TileOrder, 3);
        EXPECT_EQ(block.Values.BackgroundPicture, -1); // absent below mode 10
    }
    {
        const std::vector<uint8_t> data = Ints({1, 4, 10, 1, -7, -2});
        MemoryShowReader reader(data);
        const auto block = ReadStyleBlock(reader, kMeltingParams, 0);
        EXPECT_EQ(block.Values.Jitter, 0);
        EXPECT_EQ(block.Values.BlockScale, 1);
        EXPECT_EQ(block.Values.PictureNumbers, (std::vector<int32_t>{4}));
    }
    {
        const std::vector<uint8_t> data = Ints({1, 0, 5000, 10, -3, 40, 2, kNoMin, 40, 2});
        MemoryShowReader reader(data);
        ParamReader params(reader, kRippleParams, 0);
        params.ReadAll();
        EXPECT_EQ(params.Block().Int("VerticalAmplitude"), -3); // as stored
        MemoryShowReader again(data);
        const auto block = ReadStyleBlock(again, kRippleParams, 0);
        EXPECT_EQ(block.Values.VerticalAmplitude, 0);
        EXPECT_EQ(block.Values.HorizontalAmplitude, 0);
        EXPECT_EQ(block.Values.VerticalWaveLength, 40);
    }
}

// A typed list holds as many entries as its count, those past the end of the file as 0,
// and never more than a picture table holds, however large a refused count is.
TEST(StyleParams, TypedListsFollowTheirCount) {
    {
        const std::vector<uint8_t> data = Ints({3, 7});
        MemoryShowReader reader(data);
        const auto block = ReadStyleBlock(reader, kSlideshowParams, 0);
        EXPECT_EQ(block.Refused, nullptr);
        EXPECT_TRUE(block.Truncated);
        EXPECT_EQ(block.Values.PictureNumbers, (std::vector<int32_t>{7, 0, 0}));
    }
    {
        std::vector<int32_t> values{0, 100000};
        values.resize(2 + 100000 + 6, 1);
        ShowWriter w;
        for (const int32_t v : values) {
            w.WriteInt(v);
        }
        MemoryShowReader reader(w.Bytes());
        const auto block = ReadStyleBlock(reader, kCubeParams, 0);
        ASSERT_NE(block.Refused, nullptr);
        EXPECT_STREQ(block.Refused->Name, "PictureCount");
        EXPECT_EQ(block.Values.PictureNumbers.size(), static_cast<size_t>(kMaxListEntries));
        EXPECT_EQ(reader.Position(), w.Size()); // every entry read past, then the rest
        EXPECT_FALSE(block.Truncated);
    }
}

// Picture-number fields are marked as such, whatever their limits.
TEST(StyleParams, PictureFieldsAreMarked) {
    std::vector<std::string> pictures;
    for (const StyleEntry& entry : StyleRegistry()) {
        if (entry.Mode != 0) {
            continue;
        }
        for (const ParamField& f : entry.Params->Fields) {
            if (f.Meaning == ParamMeaning::Picture) {
                pictures.push_back(std::string(entry.Params->StyleName) + "." + f.Name);
            }
        }
    }
    const std::vector<std::string> expected = {
        "Bouncing cube.BackgroundPicture",
        "Bouncing cube.PictureNumbers",
        "Slideshow.PictureNumbers",
        "Exploding picture.BackgroundPicture",
        "Exploding picture.TilePicture",
        "Floating picture.PictureNumbers",
        "Flying pictures.FlyerPicture",
        "Flying tiles.BackgroundPicture",
        "Flying tiles.TilePicture",
        "Melting screen.PictureNumbers",
        "Spotlights and lenses.PictureNumbers",
        "Painter sprite.BackgroundNumbers",
        "Painter sprite.SpriteFrameNumbers",
        "Scattered pictures.PictureNumbers",
        "Ripple.PictureNumbers",
        "Parallax flight.FlyerPicture",
    };
    EXPECT_EQ(pictures, expected);
}

TEST(StyleParams, ListsEndAtTheEndOfTheData) {
    // A painter block whose sprite list claims 9 entries but the file ends after 2.
    const std::vector<uint8_t> data = Ints({1000, 1, 4, 9, 5, 6});
    MemoryShowReader reader(data);
    ParamReader params(reader, *&kPainterParams, 0);
    EXPECT_EQ(params.ReadAll(), ParamStatus::Complete);
    EXPECT_TRUE(params.Truncated());
    EXPECT_EQ(params.Block().Int("SpriteFrameCount"), 9);
    EXPECT_EQ(std::vector<int32_t>(params.Block().List("SpriteFrameNumbers").begin(),
                                   params.Block().List("SpriteFrameNumbers").end()),
              (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(params.Block().Int("SpeedOffset", -1), 0);
}

TEST(StyleParams, NextReadsOneFieldAtATime) {
    const std::vector<uint8_t> data = Ints({3, 0, 1, 2, 1, 4000, 800});
    MemoryShowReader reader(data);
    ParamReader params(reader, *&kSlideshowParams, 0);
    const ParamValue* first = params.Next();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->Field->Name, "PictureCount");
    EXPECT_EQ(first->Int, 3);
    EXPECT_EQ(reader.Position(), 4u);
    const ParamValue* second = params.Next();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->List, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(params.Status(), ParamStatus::Reading);
}

// Every style's block written from values by name reads back field for field.
TEST(StyleParams, WriteThenReadGivesTheSameBlockForEveryTransition) {
    for (const StyleEntry& entry : StyleRegistry()) {
        const int32_t id = entry.Id;
        const IdStyle t{entry.Params, entry.Mode};
        ParamBlock block;
        int32_t next = 1;
        for (const ParamField& f : t.Style->Fields) {
            if (block.Find(f.Name)) {
                continue; // the second SpotCount entry: one value serves both modes
            }
            ParamValue v;
            v.Field = &f;
            if (f.Kind == ParamKind::Str) {
                v.Str = "FILE" + std::to_string(id);
            } else if (f.Kind == ParamKind::IntList) {
                const int32_t count = block.Int(f.CountField);
                for (int32_t i = 0; i < count; ++i) {
                    v.List.push_back(i);
                }
            } else {
                // In range for every refusing field, distinct otherwise.
                v.Int =
                    f.Use == LimitUse::Refuse ? (f.Allowed.empty() ? f.Min + 1 : 10) : 100 + next++;
                if (std::string(f.Name) == "BackgroundMode") {
                    v.Int = 10;
                }
                if (std::string(f.Name) == "BackgroundPicture") {
                    v.Int = 3;
                }
            }
            block.Add(v);
        }
        ShowWriter w;
        ASSERT_TRUE(WriteParams(w, *t.Style, t.Mode, block).empty()) << id;
        MemoryShowReader reader(w.Bytes());
        ParamReader params(reader, *t.Style, t.Mode);
        ASSERT_EQ(params.ReadAll(), ParamStatus::Complete) << id;
        EXPECT_EQ(reader.Position(), w.Size()) << id;
        for (const ParamValue& read : params.Block().Values()) {
            const ParamValue* given = block.Find(read.Field->Name);
            ASSERT_NE(given, nullptr);
            EXPECT_EQ(read.Int, given->Int) << id << " " << read.Field->Name;
            EXPECT_EQ(read.List, given->List) << id << " " << read.Field->Name;
            EXPECT_EQ(read.Str, given->Str) << id << " " << read.Field->Name;
        }
    }
}

TEST(StyleParams, WriteReportsMissingFields) {
    const IdStyle t = Find(13);
    ParamBlock block;
    ParamValue count;
    count.Field = &t.Style->Fields[0];
    count.Int = 0;
    block.Add(count);
    ShowWriter w;
    const std::vector<std::string> missing = WriteParams(w, *t.Style, t.Mode, block);
    EXPECT_EQ(missing, (std::vector<std::string>{"PictureNumbers", "EffectOption", "BlockSize",
                                                 "RandomPlacement", "HoldTime", "EffectTime"}));
    EXPECT_EQ(w.Size(), 0u);
}

} // namespace
} // namespace qv
