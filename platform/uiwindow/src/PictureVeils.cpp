#include "PictureVeils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ui {

void PictureVeils::reset(int columns, int rows) {
    columns_ = columns;
    rows_ = rows;
    alphas_.assign(std::size_t(columns) * rows * tileHeight_, 0);
    darkens_.assign(std::size_t(columns) * rows, false);
}

bool PictureVeils::classify(int column, int row, const std::uint32_t* pixels, int stride, int width, int height,
                            const std::vector<SDL_Rect>& pictures) {
    std::size_t tile = std::size_t(row) * columns_ + column;
    std::uint8_t* alphas = &alphas_[tile * tileHeight_];
    // No veil until every row is read: a tile that is none leaves the picture as it is.
    std::memset(alphas, 0, std::size_t(tileHeight_));
    darkens_[tile] = false;
    height = std::min(height, tileHeight_);
    int x0 = column * tileWidth_, y0 = row * tileHeight_;
    std::vector<std::uint8_t> read(std::size_t(std::max(0, height)));
    std::vector<bool> over(std::size_t(std::max(0, width)));
    bool any = false;
    for (int y = 0; y < height; ++y) {
        // Which of the row's pixels lie over a picture.
        std::fill(over.begin(), over.end(), false);
        for (const auto& p : pictures)
            if (y0 + y >= p.y && y0 + y < p.y + p.h)
                for (int x = std::max(0, p.x - x0); x < std::min(width, p.x + p.w - x0); ++x) over[std::size_t(x)] = true;
        const std::uint32_t* line = pixels + std::size_t(y) * stride;
        int alpha = -1;
        for (int x = 0; x < width; ++x) {
            // Premultiplied black, whatever its alpha; off the pictures it lies over black
            // and shows nothing, over them it must be the same all along the row.
            if (line[x] & 0x00ffffffu) return false;
            if (!over[std::size_t(x)]) continue;
            if (alpha < 0) alpha = int(line[x] >> 24);
            else if (int(line[x] >> 24) != alpha) return false;
        }
        read[std::size_t(y)] = std::uint8_t(std::max(0, alpha));
        any = any || alpha > 0;
    }
    std::copy(read.begin(), read.end(), alphas);
    darkens_[tile] = any;
    return true;
}

const std::uint8_t* PictureVeils::alphasOf(int column, int row) const {
    return &alphas_[(std::size_t(row) * columns_ + column) * tileHeight_];
}

bool PictureVeils::darkens(const SDL_Rect& area) const {
    int c0 = std::max(0, area.x / tileWidth_), c1 = std::min(columns_, (area.x + area.w + tileWidth_ - 1) / tileWidth_);
    int r0 = std::max(0, area.y / tileHeight_), r1 = std::min(rows_, (area.y + area.h + tileHeight_ - 1) / tileHeight_);
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            if (darkens_[std::size_t(r) * columns_ + c]) return true;
    return false;
}

void PictureVeils::evenRuns(const std::uint8_t* alphas, int n, std::vector<std::pair<int, int>>& runs) {
    int start = 0;
    while (start < n) {
        int end = start + 1;
        // Taken one row further while every row of the run lies within a level of the
        // line through its first and last rows.
        while (end < n) {
            double slope = double(alphas[end] - alphas[start]) / (end - start);
            bool even = true;
            for (int y = start + 1; y < end && even; ++y)
                even = std::abs(alphas[start] + slope * (y - start) - alphas[y]) <= 1.0;
            if (!even) break;
            ++end;
        }
        runs.emplace_back(start, end);
        start = end;
    }
}

void PictureVeils::appendPicture(const SDL_Rect& from, const SDL_Rect& to, int textureWidth, int textureHeight,
                                 std::vector<SDL_Vertex>& vertices, std::vector<int>& indices) const {
    if (to.w <= 0 || to.h <= 0 || textureWidth <= 0 || textureHeight <= 0) return;
    // The texture's coordinates along the copy, as the renderer maps `from` onto `to`.
    auto u = [&](int x) { return (from.x + float(x - to.x) * from.w / to.w) / textureWidth; };
    auto v = [&](int y) { return (from.y + float(y - to.y) * from.h / to.h) / textureHeight; };
    // A quad from (x0, y0) to (x1, y1), its top edge's colour `top` and its bottom's `bottom`.
    auto quad = [&](int x0, int y0, int x1, int y1, double top, double bottom) {
        auto level = [](double m) { return Uint8(std::clamp(std::lround(m), 0l, 255l)); };
        Uint8 t = level(top), b = level(bottom);
        int first = int(vertices.size());
        vertices.push_back(SDL_Vertex{{float(x0), float(y0)}, {t, t, t, 255}, {u(x0), v(y0)}});
        vertices.push_back(SDL_Vertex{{float(x1), float(y0)}, {t, t, t, 255}, {u(x1), v(y0)}});
        vertices.push_back(SDL_Vertex{{float(x1), float(y1)}, {b, b, b, 255}, {u(x1), v(y1)}});
        vertices.push_back(SDL_Vertex{{float(x0), float(y1)}, {b, b, b, 255}, {u(x0), v(y1)}});
        for (int corner : {0, 1, 2, 0, 2, 3}) indices.push_back(first + corner);
    };
    std::vector<std::pair<int, int>> runs;
    int c0 = std::max(0, to.x / tileWidth_), c1 = std::min(columns_, (to.x + to.w + tileWidth_ - 1) / tileWidth_);
    int r0 = std::max(0, to.y / tileHeight_), r1 = std::min(rows_, (to.y + to.h + tileHeight_ - 1) / tileHeight_);
    for (int row = r0; row < r1; ++row) {
        int y0 = std::max(to.y, row * tileHeight_), y1 = std::min(to.y + to.h, (row + 1) * tileHeight_);
        int skip = y0 - row * tileHeight_, n = y1 - y0;
        // Columns of tiles with the same alphas over these rows go together.
        for (int column = c0; column < c1;) {
            const std::uint8_t* alphas = alphasOf(column, row) + skip;
            int next = column + 1;
            while (next < c1 && std::memcmp(alphasOf(next, row) + skip, alphas, std::size_t(n)) == 0) ++next;
            int x0 = std::max(to.x, column * tileWidth_), x1 = std::min(to.x + to.w, next * tileWidth_);
            runs.clear();
            evenRuns(alphas, n, runs);
            for (auto [start, end] : runs) {
                // What the picture keeps (255 - alpha) at each row's centre, the quad's
                // edges half a row beyond its first and last rows.
                double first = 255 - alphas[start], last = 255 - alphas[end - 1];
                double step = end - start > 1 ? (last - first) / (end - 1 - start) : 0;
                quad(x0, y0 + start, x1, y0 + end, first - step / 2, last + step / 2);
            }
            column = next;
        }
    }
}

}  // namespace ui
