#include "saver/style_registry.h"

#include "media/video.h"
#include "saver/player.h"
#include "transitions/styles.h"

#include <array>

namespace qv {
namespace {

void Slideshow(Player& player, int32_t mode) {
    RunSlideshow(player, static_cast<uint8_t>(mode));
}

void Spotlights(Player& player, int32_t mode) {
    RunSpotlights(player, static_cast<uint8_t>(mode));
}

void PainterSprite(Player& player, int32_t /*mode*/) {
    RunPainterSprite(player);
}

void Video(Player& player, int32_t /*mode*/) {
    RunVideo(player, player.Media);
}

const std::array<StyleEntry, 16> kStyles{{
    {1, &kCubeParams, 0, nullptr},
    {2, &kSlideshowParams, 0, Slideshow},
    {3, &kExplodingParams, 0, nullptr},
    {4, &kFloatingParams, 0, nullptr},
    {5, &kFlyingParams, 0, nullptr},
    {6, &kTilesParams, 0, nullptr},
    {7, &kMeltingParams, 0, nullptr},
    {8, &kSpotlightsParams, 0, Spotlights},
    {9, &kPainterParams, 0, PainterSprite},
    {10, &kScatteredParams, 0, nullptr},
    {11, &kVideoParams, 0, Video, StyleSound::Own},
    {12, &kRippleParams, 0, nullptr},
    {13, &kSlideshowParams, 1, Slideshow},
    {14, &kSlideshowParams, 2, Slideshow},
    {15, &kParallaxParams, 0, nullptr},
    {16, &kSpotlightsParams, 1, Spotlights},
}};

} // namespace

std::span<const StyleEntry> StyleRegistry() {
    return kStyles;
}

const StyleEntry* FindStyle(int32_t transitionType) {
    for (const StyleEntry& entry : kStyles) {
        if (entry.Id == transitionType) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace qv
