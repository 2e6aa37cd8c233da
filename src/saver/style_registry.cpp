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

void MeltingScreen(Player& player, int32_t /*mode*/) {
    RunMeltingScreen(player);
}

void Ripple(Player& player, int32_t /*mode*/) {
    RunRipple(player);
}

void BouncingCube(Player& player, int32_t /*mode*/) {
    RunBouncingCube(player);
}

void ExplodingPicture(Player& player, int32_t /*mode*/) {
    RunExplodingPicture(player);
}

void FlyingTiles(Player& player, int32_t /*mode*/) {
    RunFlyingTiles(player);
}

void FloatingPicture(Player& player, int32_t /*mode*/) {
    RunFloatingPicture(player);
}

void FlyingPictures(Player& player, int32_t /*mode*/) {
    RunFlyingPictures(player);
}

void ParallaxFlight(Player& player, int32_t /*mode*/) {
    RunParallaxFlight(player);
}

void ScatteredPictures(Player& player, int32_t /*mode*/) {
    RunScatteredPictures(player);
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
    {1, &kCubeParams, 0, BouncingCube},
    {2, &kSlideshowParams, 0, Slideshow},
    {3, &kExplodingParams, 0, ExplodingPicture},
    {4, &kFloatingParams, 0, FloatingPicture},
    {5, &kFlyingParams, 0, FlyingPictures},
    {6, &kTilesParams, 0, FlyingTiles},
    {7, &kMeltingParams, 0, MeltingScreen},
    {8, &kSpotlightsParams, 0, Spotlights},
    {9, &kPainterParams, 0, PainterSprite},
    {10, &kScatteredParams, 0, ScatteredPictures},
    {11, &kVideoParams, 0, Video, StyleSound::Own},
    {12, &kRippleParams, 0, Ripple},
    {13, &kSlideshowParams, 1, Slideshow},
    {14, &kSlideshowParams, 2, Slideshow},
    {15, &kParallaxParams, 0, ParallaxFlight},
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
