#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Every style's parameter block as a plain struct, in the order the fields are stored.
// The field tables in style_params.cpp bind each stored field to its member here; a style
// reads its block with ReadStyleBlock and uses the members by name. Members of fields that
// a mode leaves out keep the value given here.

// Slideshow: ids 2, 13, 14 (modes 0, 1, 2).
struct SlideshowBlock {
    int32_t PictureCount = 0; // 1 to 10
    std::vector<int32_t> PictureNumbers;
    int32_t EffectOption = 0; // mode 1: block order 0..2; mode 2: wipe direction 0..4
    int32_t BlockSize = 0;    // mode 1: block edge in percent of the picture's larger side
    int32_t RandomPlacement = 0;
    int32_t HoldTime = 0;   // milliseconds
    int32_t EffectTime = 0; // milliseconds
};

// Bouncing cube: id 1.
struct CubeBlock {
    int32_t BackgroundMode = 0;     // 0 black, 1 desktop, 10 tiled, 11 centred picture
    int32_t BackgroundPicture = -1; // present from background mode 10 on
    int32_t PictureCount = 0;       // 1 to 6
    std::vector<int32_t> PictureNumbers;
    int32_t SizeX = 0; // half the box's width, scene units
    int32_t SizeY = 0;
    int32_t SizeZ = 0;
    int32_t RotationAxes = 0; // bits 0..2: spin on angles A, B, C
    int32_t MoveAxes = 0;     // bit 0 horizontal, bit 1 vertical drift
    int32_t SpeedOffset = 0;
};

// Floating picture: id 4.
struct FloatingBlock {
    int32_t PictureCount = 0; // 1 to 10
    std::vector<int32_t> PictureNumbers;
    int32_t SwitchTime = 0; // milliseconds
    int32_t MoveAxes = 0;
    int32_t SpeedOffset = 0;
};

// Flying pictures: id 5.
struct FlyingBlock {
    int32_t FlyerPicture = 0;
    int32_t FlyerCount = 0; // 1 to 64
    int32_t SpeedOffset = 0;
};

// Exploding picture: id 3.
struct ExplodingBlock {
    int32_t BackgroundMode = 0;
    int32_t BackgroundPicture = -1; // present from background mode 10 on; -1: none
    int32_t TilePicture = 0;
    int32_t Columns = 0; // clamped to 2..8
    int32_t Rows = 0;    // clamped to 2..8
    int32_t Tumble = 0;
    int32_t CameraSpin = 0;
    int32_t TileOrder = 0;
    int32_t SpeedOffset = 0;
};

// Melting screen: id 7.
struct MeltingBlock {
    int32_t PictureCount = 0; // 1 to 20
    std::vector<int32_t> PictureNumbers;
    int32_t ShowTime = 0; // seconds
    int32_t DesktopStart = 0;
    int32_t Jitter = 0;     // pixels
    int32_t BlockScale = 0; // blocks up to 150 x BlockScale - 1
};

// Scattered pictures: id 10.
struct ScatteredBlock {
    int32_t PictureCount = 0; // 1 to 10
    std::vector<int32_t> PictureNumbers;
    int32_t SwitchTime = 0; // milliseconds
    int32_t ClearOnSwitch = 0;
    int32_t SpeedOffset = 0;
};

// Ripple: id 12.
struct RippleBlock {
    int32_t PictureCount = 0; // 1 to 10
    std::vector<int32_t> PictureNumbers;
    int32_t PictureTime = 0; // milliseconds
    int32_t RippleDecay = 0; // 0.005 pixels per frame
    int32_t VerticalAmplitude = 0;
    int32_t VerticalWaveLength = 0;
    int32_t VerticalWaveSpeed = 0;
    int32_t HorizontalAmplitude = 0;
    int32_t HorizontalWaveLength = 0;
    int32_t HorizontalWaveSpeed = 0;
};

// Spotlights and lenses: ids 8 (mode 0) and 16 (mode 1).
struct SpotlightsBlock {
    int32_t PictureCount = 0; // 1 to 18
    std::vector<int32_t> PictureNumbers;
    int32_t SpotCount = 0; // spots (mode 0) or lenses (mode 1)
    int32_t SpotSize = 0;  // pixels
    int32_t SwitchTime = 0;
    int32_t MoveAxes = 0;   // mode 0 only
    int32_t ZoomFactor = 0; // mode 1 only
    int32_t SpotShape = 0;  // mode 1 only: circle, square, triangle
    int32_t SpeedOffset = 0;
};

// Parallax flight: id 15.
struct ParallaxBlock {
    int32_t FlyerPicture = 0;
    int32_t FlyerCount = 0; // 1 to 64
    int32_t FlightDirection = 0;
    int32_t SpeedOffset = 0;
};

// Painter sprite: id 9.
struct PainterBlock {
    int32_t FreeFlightTime = 0;  // milliseconds
    int32_t BackgroundCount = 0; // 1 to 10
    std::vector<int32_t> BackgroundNumbers;
    int32_t SpriteFrameCount = 0; // 1 to 9
    std::vector<int32_t> SpriteFrameNumbers;
    int32_t SpriteFrameTime = 0;
    int32_t SpriteKeyed = 0;
    int32_t SpeedOffset = 0;
};

// Flying tiles: id 6.
struct TilesBlock {
    int32_t BackgroundMode = 0;
    int32_t BackgroundPicture = -1; // present from background mode 10 on
    int32_t TilePlacement = 0;
    int32_t TileOrder = 0;
    int32_t TilePicture = 0;
    int32_t TileColumns = 0; // 1 to 11
    int32_t TileRows = 0;    // 1 to 11
    int32_t SpeedOffset = 0;
};

// Video style: id 11.
struct VideoBlock {
    std::string VideoFile;
    int32_t VideoLoop = 0;   // low byte non-zero: play over and over
    int32_t VideoWidth = 0;  // percent of the video's own width
    int32_t VideoHeight = 0; // percent of the video's own height
    int32_t VideoLeft = 0;   // percent of the room beside the video: 0 left, 100 right
    int32_t VideoTop = 0;    // percent of the room above and below: 0 top, 100 bottom
};

} // namespace qv
