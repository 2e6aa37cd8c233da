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

std::vector<std::string> FieldNames(const ParamBlock& block) {
    std::vector<std::string> names;
    for (const ParamValue& v : block.Values()) {
        names.emplace_back(v.Field->Name);
    }
    return names;
}

TEST(StyleParams, TransitionIdsSelectStyleAndMode) {
    struct Case {
        int32_t Id;
        const char* Style;
        int32_t Mode;
    };
    const Case cases[] = {
        {1, "Bouncing cube", 0},
        {2, "Slideshow", 0},
        {3, "Exploding picture", 0},
        {4, "Floating picture", 0},
        {5, "Flying pictures", 0},
        {6, "Flying tiles", 0},
        {7, "Melting screen", 0},
        {8, "Spotlights and lenses", 0},
        {9, "Painter sprite", 0},
        {10, "Scattered pictures", 0},
        {11, "Video", 0},
        {12, "Ripple", 0},
        {13, "Slideshow", 1},
        {14, "Slideshow", 2},
        {15, "Parallax flight", 0},
        {16, "Spotlights and lenses", 1},
    };
    for (const Case& c : cases) {
        const TransitionStyle t = FindTransitionStyle(c.Id);
        ASSERT_NE(t.Style, nullptr) << c.Id;
        EXPECT_STREQ(t.Style->StyleName, c.Style) << c.Id;
        EXPECT_EQ(t.Mode, c.Mode) << c.Id;
    }
    EXPECT_EQ(FindTransitionStyle(0).Style, nullptr);
    EXPECT_EQ(FindTransitionStyle(17).Style, nullptr);
    EXPECT_EQ(FindTransitionStyle(-2).Style, nullptr);
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
        const TransitionStyle t = FindTransitionStyle(c.Id);
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
    ParamReader params(reader, *FindTransitionStyle(11).Style, 0);
    ASSERT_EQ(params.ReadAll(), ParamStatus::Complete);
    EXPECT_EQ(params.Block().Str("VideoFile"), "CLIP.AVI");
    EXPECT_EQ(params.Block().Int("VideoTop"), 50);
}

// A refused count ends the block: nothing after it is read, so the file position stays
// right after the count.
TEST(StyleParams, RefusedCountStopsTheReading) {
    struct Case {
        int32_t Id;
        std::vector<uint8_t> Data;
        const char* Field;
        const char* Message;
        size_t Position;
    };
    const Case cases[] = {
        {2, Ints({11, 0, 0, 0}), "PictureCount", "The slideshow transition requires 1-10 bitmaps.",
         4},
        {2, Ints({0, 0, 0, 0}), "PictureCount", "The slideshow transition requires 1-10 bitmaps.",
         4},
        {10, Ints({-5, 1}), "PictureCount", "The slideshow transition requires 1-10 bitmaps.", 4},
        {1, Ints({0, 7, 0}), "PictureCount", "The cube transition requres 1-6 bitmaps", 8},
        {5, Ints({0, 65, 50}), "FlyerCount",
         "The flying bitmap transition requires 1-64 flying bitmaps.", 8},
        {12, Ints({2000000000}), "PictureCount", "The ripple transition requires 1-10 bitmaps.", 4},
        {6, Ints({5, 0}), "BackgroundMode",
         "The flying tiles transition requires background mode 0, 1, 10 or 11.", 4},
        {16, Ints({1, 0, 18, 1}), "SpotCount", "The lens transition requires 1-17 lenses.", 12},
    };
    for (const Case& c : cases) {
        const TransitionStyle t = FindTransitionStyle(c.Id);
        MemoryShowReader reader(c.Data);
        ParamReader params(reader, *t.Style, t.Mode);
        EXPECT_EQ(params.ReadAll(), ParamStatus::Refused) << c.Id;
        ASSERT_NE(params.RefusedField(), nullptr);
        EXPECT_STREQ(params.RefusedField()->Name, c.Field);
        EXPECT_STREQ(params.RefusedField()->Refusal, c.Message);
        EXPECT_EQ(reader.Position(), c.Position) << c.Id;
    }
}

TEST(StyleParams, ListsEndAtTheEndOfTheData) {
    // A painter block whose sprite list claims 9 entries but the file ends after 2.
    const std::vector<uint8_t> data = Ints({1000, 1, 4, 9, 5, 6});
    MemoryShowReader reader(data);
    ParamReader params(reader, *FindTransitionStyle(9).Style, 0);
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
    ParamReader params(reader, *FindTransitionStyle(2).Style, 0);
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
    for (int32_t id = kFirstTransition; id <= kLastTransition; ++id) {
        const TransitionStyle t = FindTransitionStyle(id);
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
    const TransitionStyle t = FindTransitionStyle(13);
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
