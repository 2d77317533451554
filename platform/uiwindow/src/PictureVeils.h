#pragma once
// The black veils of a window's tree over its video pictures: a player's toolbars darken
// the picture under them with a black gradient. Laid over each new picture by blending,
// a software renderer pays for every pixel of them as much again as for copying the
// picture; a veil is instead drawn with the picture, the picture's copy darkened row by
// row (its vertices' colours, interpolated along rows over which the veil's alpha changes
// evenly), which costs what the copy costs. A tile of the tree is a veil when all its
// pixels are premultiplied black and each of its pixel rows has one alpha over the
// pictures; anything else in a tile (text, icons) leaves it to be blended as before.
// Main thread only.

#include <SDL.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace ui {

class PictureVeils {
public:
    PictureVeils(int tileWidth, int tileHeight) : tileWidth_(tileWidth), tileHeight_(tileHeight) {}

    /// Forgets every tile: a grid of columns x rows tiles, none a veil.
    void reset(int columns, int rows);
    /// Reads a tile's pixels (premultiplied ARGB, `stride` pixels a row, `width` x
    /// `height` of them) and answers whether they are a veil over the pictures placed at
    /// `pictures` (in the target's pixels): premultiplied black, of one alpha along each
    /// row over the pictures (off them it lies over black and shows nothing).
    bool classify(int column, int row, const std::uint32_t* pixels, int stride, int width, int height,
                  const std::vector<SDL_Rect>& pictures);
    /// Whether a veil darkens any of the target's `area`.
    bool darkens(const SDL_Rect& area) const;
    /// The quads that copy `from` of a texture of the given size to `to`, darkened by the
    /// veils over it, appended as vertices and the indices of their triangles.
    void appendPicture(const SDL_Rect& from, const SDL_Rect& to, int textureWidth, int textureHeight,
                       std::vector<SDL_Vertex>& vertices, std::vector<int>& indices) const;

    /// Rows [0, n) of alphas in runs [start, end) over which the alpha changes evenly
    /// from row to row (each row within a level of the line through the run's ends).
    static void evenRuns(const std::uint8_t* alphas, int n, std::vector<std::pair<int, int>>& runs);

private:
    const std::uint8_t* alphasOf(int column, int row) const;

    int tileWidth_, tileHeight_;
    int columns_ = 0, rows_ = 0;
    std::vector<std::uint8_t> alphas_;  // per tile, one per pixel row; 0 for tiles that are no veil
    std::vector<bool> darkens_;         // per tile: a veil with some alpha
};

}  // namespace ui
