#include "widgets/SkinRegion.h"

std::vector<SkinRun> SkinRunsFromPixels(const std::vector<std::uint32_t>& pixels, int width, int height)
{
    std::vector<SkinRun> runs;
    if (width <= 0 || height <= 0 || pixels.size() < static_cast<std::size_t>(width) * height)
        return runs;
    constexpr std::uint32_t kWhite = 0xFFFFFF;
    // Rectangles are gathered in blocks, as the region is built from them in batches.
    constexpr std::size_t kBlock = 40;
    runs.reserve(kBlock);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels.data() + static_cast<std::size_t>(y) * width;
        int x = 0;
        while (x < width) {
            while (x < width && (row[x] & kWhite) == kWhite)
                ++x;
            if (x == width)
                break;
            int start = x;
            while (x < width && (row[x] & kWhite) != kWhite)
                ++x;
            if (runs.size() == runs.capacity())
                runs.reserve(runs.size() + kBlock);
            runs.push_back({start, x, y});
        }
    }
    return runs;
}
