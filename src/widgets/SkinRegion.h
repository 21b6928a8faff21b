#pragma once
// The shape of a skinned control from its mask picture: one rectangle per run of non-white
// pixels in each row. Plain C++ so that the run rule is testable on small grids.
#include <cstdint>
#include <vector>

struct SkinRun {
    int left = 0; // first pixel of the run
    int right = 0; // one past its last pixel
    int row = 0;
    bool operator==(const SkinRun&) const = default;
};

// `pixels` holds width*height RGB values (0xRRGGBB, the top byte ignored), row after row.
// A pixel belongs to the control unless it is pure white.
std::vector<SkinRun> SkinRunsFromPixels(const std::vector<std::uint32_t>& pixels, int width, int height);
