#pragma once

// What the scenarios of the 3D styles share: pictures that show misplaced pixels, a run with
// a series of snapshots, and comparisons of screens.

#include "scenario_support.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// A picture of w x h whose colours change every few pixels in both directions (cells of
// cell x cell pixels over a palette of many colours), so that a pixel out of place shows.
// Its colour components are of the form 16k + 8, which the common palette keeps exactly.
TestPicture CellPicture(int32_t w, int32_t h, int32_t cell, uint32_t seed);

// The show manifest of a 3D style: titles, the transition id and its parameters.
nlohmann::json StyleManifest(int32_t transitionType, nlohmann::json parameters);

// Adds a banner at the top and a clock at the bottom right.
nlohmann::json WithCaptions(nlohmann::json manifest);

// Snapshots at the given times, named NAME_T.png in dir.
struct Shots {
    std::filesystem::path Dir;
    std::string Name;
    std::vector<int32_t> Times;
    std::filesystem::path At(int32_t t) const {
        return Dir / (Name + "_" + std::to_string(t) + ".png");
    }
    // The --snapshot options for all of them.
    std::vector<std::string> Options() const;
    Image Read(int32_t t) const { return ReadPng(At(t)); }
};

// Times from `from` to `to` inclusive in steps of `step`.
std::vector<int32_t> Times(int32_t from, int32_t to, int32_t step);

// The indexes i (from 1) where shot i differs from shot i - 1.
std::vector<int32_t> ChangeIndexes(const Shots& shots);

// The number of pixels where two images differ (all of them when the sizes differ).
int64_t DifferentPixels(const Image& a, const Image& b);

// Appends options to a list.
std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b);

// Writes the settings of the show "Test show" (speed) into the run's root.
void WriteSpeed(const TempDir& dir, int32_t speed);

// The manifest's picture file i written by BuildWithTool (for use as a --desktop image).
std::filesystem::path ManifestPicture(const TempDir& dir, int32_t i);

} // namespace qv::test

namespace qv::test {

// Plays each raw block of a style for a short while: the run must end cleanly (exit code 0,
// no exception), whatever the block says.
void ExpectHostileBlocksEndCleanly(int32_t transitionType,
                                   const std::vector<std::vector<int32_t>>& blocks,
                                   const std::vector<TestPicture>& pictures);

} // namespace qv::test
