// Black veils of the tree over the video pictures, without a display: which tiles are
// veils, how a veil's rows are split where its alpha stops changing evenly, and the
// quads that copy a picture darkened under them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "PictureVeils.h"

namespace zidtest {
namespace {

constexpr int kTile = 8;

/// A tile of premultiplied black whose row y has alpha `alpha(y)`.
std::vector<std::uint32_t> veilTile(int (*alpha)(int)) {
    std::vector<std::uint32_t> pixels(kTile * kTile);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) pixels[y * kTile + x] = std::uint32_t(alpha(y)) << 24;
    return pixels;
}

TEST(PictureVeilsTest, ATileIsAVeilWhenItIsBlackOfOneAlphaAlongEachRowOverThePictures) {
    ui::PictureVeils veils(kTile, kTile);
    veils.reset(2, 2);
    std::vector<SDL_Rect> picture{{0, 0, 16, 16}};
    auto ramp = veilTile([](int y) { return 200 - 20 * y; });
    EXPECT_TRUE(veils.classify(0, 0, ramp.data(), kTile, kTile, kTile, picture));
    EXPECT_TRUE(veils.darkens(SDL_Rect{0, 0, 4, 4}));
    EXPECT_FALSE(veils.darkens(SDL_Rect{8, 8, 8, 8})) << "no tile classified there";
    // A coloured pixel (text, an icon) anywhere, or another alpha along a row over the
    // picture: no veil, and nothing of what was read before stays.
    auto text = ramp;
    text[5 * kTile + 3] = 0xffffffffu;
    EXPECT_FALSE(veils.classify(0, 0, text.data(), kTile, kTile, kTile, picture));
    EXPECT_FALSE(veils.darkens(SDL_Rect{0, 0, 8, 8}));
    auto uneven = ramp;
    uneven[6 * kTile + 7] = 0x10000000u;
    EXPECT_FALSE(veils.classify(0, 0, uneven.data(), kTile, kTile, kTile, picture));
    // Off the picture the black lies over black: its alpha may differ there (a view's
    // opaque black background beside the picture).
    std::vector<SDL_Rect> leftHalf{{0, 0, 4, 16}};
    EXPECT_TRUE(veils.classify(0, 0, uneven.data(), kTile, kTile, kTile, leftHalf));
    // A transparent tile is a veil that darkens nothing.
    std::vector<std::uint32_t> clear(kTile * kTile, 0);
    EXPECT_TRUE(veils.classify(1, 1, clear.data(), kTile, kTile, kTile, picture));
    EXPECT_FALSE(veils.darkens(SDL_Rect{8, 8, 8, 8}));
}

TEST(PictureVeilsTest, AVeilsRowsAreSplitWhereItsAlphaStopsChangingEvenly) {
    auto runs = [](std::vector<std::uint8_t> alphas) {
        std::vector<std::pair<int, int>> out;
        ui::PictureVeils::evenRuns(alphas.data(), int(alphas.size()), out);
        return out;
    };
    using Runs = std::vector<std::pair<int, int>>;
    EXPECT_EQ(runs({7, 7, 7, 7}), (Runs{{0, 4}}));
    // A ramp rounded to whole levels is one run; a kink starts another.
    EXPECT_EQ(runs({0, 2, 3, 5, 7, 8, 10}), (Runs{{0, 7}}));
    EXPECT_EQ(runs({0, 10, 20, 30, 30, 30}), (Runs{{0, 4}, {4, 6}}));
    EXPECT_EQ(runs({5}), (Runs{{0, 1}}));
    EXPECT_EQ(runs({}), Runs{});
}

TEST(PictureVeilsTest, APictureIsCopiedDarkenedUnderTheVeilsAndAsItIsElsewhere) {
    ui::PictureVeils veils(kTile, kTile);
    veils.reset(2, 2);
    std::vector<SDL_Rect> whole{{0, 0, 16, 16}};
    // The top left tile a ramp, the top right none (text), the bottom row clear.
    auto ramp = veilTile([](int y) { return 200 - 20 * y; });
    std::vector<std::uint32_t> text(kTile * kTile, 0xff808080u), clear(kTile * kTile, 0);
    ASSERT_TRUE(veils.classify(0, 0, ramp.data(), kTile, kTile, kTile, whole));
    ASSERT_FALSE(veils.classify(1, 0, text.data(), kTile, kTile, kTile, whole));
    ASSERT_TRUE(veils.classify(0, 1, clear.data(), kTile, kTile, kTile, whole));
    ASSERT_TRUE(veils.classify(1, 1, clear.data(), kTile, kTile, kTile, whole));
    // An 8 x 8 picture shown over the 16 x 16 window.
    std::vector<SDL_Vertex> vertices;
    std::vector<int> indices;
    veils.appendPicture(SDL_Rect{0, 0, 8, 8}, SDL_Rect{0, 0, 16, 16}, 8, 8, vertices, indices);
    ASSERT_EQ(vertices.size() % 4, 0u);
    ASSERT_EQ(indices.size(), vertices.size() / 4 * 6);
    // Each pixel of the window is covered once, with the colour (interpolated down the
    // quad at the pixel's centre) of what the picture keeps under the veil there.
    std::vector<int> covered(16 * 16, 0);
    for (std::size_t q = 0; q < vertices.size(); q += 4) {
        const SDL_Vertex& topLeft = vertices[q];
        const SDL_Vertex& bottomRight = vertices[q + 2];
        for (int y = int(topLeft.position.y); y < int(bottomRight.position.y); ++y)
            for (int x = int(topLeft.position.x); x < int(bottomRight.position.x); ++x) {
                ++covered[y * 16 + x];
                double t = (y + 0.5 - topLeft.position.y) / (bottomRight.position.y - topLeft.position.y);
                double colour = topLeft.color.r + t * (bottomRight.color.r - topLeft.color.r);
                double keeps = x < 8 && y < 8 ? 255 - (200 - 20 * y) : 255;
                EXPECT_NEAR(colour, keeps, 1.0) << x << "," << y;
            }
        // The texture is the picture stretched over the window: half a texel a pixel.
        EXPECT_FLOAT_EQ(topLeft.tex_coord.x, topLeft.position.x / 16);
        EXPECT_FLOAT_EQ(bottomRight.tex_coord.y, bottomRight.position.y / 16);
        EXPECT_EQ(topLeft.color.a, 255);
    }
    for (int i = 0; i < 16 * 16; ++i) ASSERT_EQ(covered[i], 1) << i % 16 << "," << i / 16;
    EXPECT_LE(vertices.size() / 4, 4u) << "the ramp, the text's tile and the clear row, each one quad";
}

}  // namespace
}  // namespace zidtest
