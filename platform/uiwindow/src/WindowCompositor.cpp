#include "WindowCompositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "WindowDrawing.h"

namespace ui {

namespace {

// Cairo's pixels are premultiplied: laid over with "one, one minus source alpha".
SDL_BlendMode premultipliedOver() {
    return SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD,
                                      SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD);
}

bool samePlaces(const std::vector<PlacedPicture>& a, const std::vector<PlacedPicture>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].rect != b[i].rect || a[i].visible != b[i].visible) return false;
    return true;
}

/// Where a picture lands, in whole pixels of the target, as the renderer is given it.
SDL_Rect landing(const PlacedPicture& picture) {
    const Rect& v = picture.visible;
    return SDL_Rect{int(minX(v)), int(minY(v)), int(width(v)), int(height(v))};
}

}  // namespace

WindowCompositor::WindowCompositor(SDL_Renderer* renderer) : renderer_(renderer) {}

WindowCompositor::~WindowCompositor() {
    for (auto& p : pictureTextures_)
        if (p.texture) SDL_DestroyTexture(p.texture);
    if (tree_) SDL_DestroyTexture(tree_);
    if (drawn_) cairo_surface_destroy(drawn_);
}

bool WindowCompositor::ensureTree(int width, int height) {
    if (tree_ && width == width_ && height == height_) return true;
    if (tree_) SDL_DestroyTexture(tree_);
    if (drawn_) cairo_surface_destroy(drawn_);
    // ARGB8888 is Cairo's ARGB32 on every byte order SDL names it for. Static: the
    // textures are only written with SDL_UpdateTexture, so the renderer keeps no pixel
    // copy of its own for locking them (a window's worth of memory each).
    tree_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, width, height);
    drawn_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    width_ = tree_ ? width : 0;
    height_ = tree_ ? height : 0;
    if (!tree_) return false;
    apart_ = SDL_SetTextureBlendMode(tree_, premultipliedOver()) == 0;
    if (!apart_) SDL_SetTextureBlendMode(tree_, SDL_BLENDMODE_NONE);
    columns_ = (width + kTileWidth - 1) / kTileWidth;
    rows_ = (height + kTileHeight - 1) / kTileHeight;
    // Nothing uploaded yet: every tile differs from what the texture is said to hold.
    shown_.assign(std::size_t(width) * height, 0x01010101u);
    shows_.assign(std::size_t(columns_) * rows_, Shown{0, 0, kTileWidth, kTileHeight});
    veils_.reset(columns_, rows_);
    shownPictures_.clear();
    treeValid_ = false;
    return true;
}

// Clears what `cr` is clipped to (transparent where pictures show apart, black where
// they are drawn in the tree) and scales it from the window's points to pixels; answers
// the horizontal scale.
double WindowCompositor::clearForTree(cairo_t* cr, Window& window) const {
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (apart_) cairo_set_source_rgba(cr, 0, 0, 0, 0);
    else cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    Size size = window.bounds().size;
    double scale = size.width > 0 ? width_ / size.width : 1;
    cairo_scale(cr, scale, size.height > 0 ? height_ / size.height : 1);
    return scale;
}

void WindowCompositor::drawTree(Window& window) {
    pictures_.clear();
    pictureDrawers_.clear();
    ++treesDrawn_;
    ++wholeTreesDrawn_;
    cairo_t* cr = cairo_create(drawn_);
    double scale = clearForTree(cr, window);
    zid_ui_render_view_leaving_pictures(window, cr, scale, apart_ ? &pictures_ : nullptr, &pictureDrawers_);
    cairo_destroy(cr);
    cairo_surface_flush(drawn_);
}

// Draws again the whole tiles the change touches, the rest of the tree staying as drawn;
// false when the whole tree must be drawn (a large change, the picture views changed).
bool WindowCompositor::drawTreePart(Window& window, const Rect& changed) {
    // Pictures drawn in the tree change without the host knowing where.
    if (!treeValid_ || !apart_) return false;
    Tiles t;
    t.column0 = std::max(0, int(std::floor(minX(changed) / kTileWidth)));
    t.row0 = std::max(0, int(std::floor(minY(changed) / kTileHeight)));
    t.column1 = std::min(columns_, int(std::ceil(maxX(changed) / kTileWidth)));
    t.row1 = std::min(rows_, int(std::ceil(maxY(changed) / kTileHeight)));
    if (t.column1 <= t.column0 || t.row1 <= t.row0) return keepTree(window);  // off the window
    if ((t.column1 - t.column0) * (t.row1 - t.row0) * 2 > columns_ * rows_) return false;
    int x0 = t.column0 * kTileWidth, x1 = std::min(width_, t.column1 * kTileWidth);
    int y0 = t.row0 * kTileHeight, y1 = std::min(height_, t.row1 * kTileHeight);
    cairo_t* cr = cairo_create(drawn_);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr);
    double scale = clearForTree(cr, window);
    // The pictures placed under this clip show only their part in it: they are had again
    // whole below; the views that drew them must be the ones the whole tree named.
    std::vector<PlacedPicture> clipped;
    std::vector<rt::Weak<View>> drawers;
    zid_ui_render_view_leaving_pictures(window, cr, scale, apart_ ? &clipped : nullptr, &drawers);
    cairo_destroy(cr);
    cairo_surface_flush(drawn_);
    ++treesDrawn_;
    auto same = [](const rt::Weak<View>& a, const rt::Weak<View>& b) { return a.lock() == b.lock(); };
    if (!std::equal(drawers.begin(), drawers.end(), pictureDrawers_.begin(), pictureDrawers_.end(), same)) return false;
    if (!pictureDrawers_.empty() && !redrawPictures(window)) return false;
    uploadChangedTiles(false, t);
    return true;
}

// The tree as drawn last time, with the pictures its picture views show now: their own
// drawing runs on a recording surface that keeps nothing, and each picture must land
// where the last drawing placed it. False when the tree must be drawn instead.
bool WindowCompositor::redrawPictures(Window& window) {
    if (!apart_ || !treeValid_) return false;
    cairo_rectangle_t extents{0, 0, double(width_), double(height_)};
    cairo_surface_t* nothing = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    cairo_t* cr = cairo_create(nothing);
    Size size = window.bounds().size;
    double scale = size.width > 0 ? width_ / size.width : 1;
    cairo_scale(cr, scale, size.height > 0 ? height_ / size.height : 1);
    std::vector<PlacedPicture> now;
    now.reserve(pictures_.size());
    bool placed = zid_ui_redraw_pictures(window, cr, scale, pictureDrawers_, now);
    cairo_destroy(cr);
    cairo_surface_destroy(nothing);
    if (!placed || !samePlaces(now, pictures_)) return false;
    pictures_ = std::move(now);
    return true;
}

// Nothing of the tree changed: it stays as drawn, with the pictures had again. Not when
// the renderer does not blend (the pictures are in the tree's pixels).
bool WindowCompositor::keepTree(Window& window) {
    if (!treeValid_ || !apart_) return false;
    return pictureDrawers_.empty() || redrawPictures(window);
}

// What of a tile of the tree shows once laid over the pictures and the black background:
// inside a picture, any pixel not fully transparent; outside, any pixel whose colour is
// not black (premultiplied black at any alpha leaves black as it is). Only that box is
// blended on each frame: a toolbar's gradient rarely fills its tiles.
WindowCompositor::Shown WindowCompositor::tileShows(int column, int row) const {
    int x0 = column * kTileWidth, x1 = std::min(width_, x0 + kTileWidth);
    int y0 = row * kTileHeight, y1 = std::min(height_, y0 + kTileHeight);
    if (!apart_) return Shown{0, 0, std::uint8_t(x1 - x0), std::uint8_t(y1 - y0)};
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(drawn_));
    int stride = cairo_image_surface_get_stride(drawn_) / 4;
    auto overPicture = [&](int x, int y) {
        for (const auto& picture : pictures_)
            if (x >= minX(picture.visible) && x < maxX(picture.visible) && y >= minY(picture.visible) &&
                y < maxY(picture.visible))
                return true;
        return false;
    };
    int left = x1, right = x0, top = y1, bottom = y0;
    for (int y = y0; y < y1; ++y) {
        const std::uint32_t* line = pixels + std::size_t(y) * stride;
        for (int x = x0; x < x1; ++x) {
            std::uint32_t p = line[x];
            if (p == 0) continue;
            // Black with some alpha: it shows only over a picture.
            if (!(p & 0x00ffffffu) && !overPicture(x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x + 1);
            top = std::min(top, y);
            bottom = y + 1;
        }
    }
    if (right <= left) return Shown{};
    return Shown{std::uint8_t(left - x0), std::uint8_t(top - y0), std::uint8_t(right - x0), std::uint8_t(bottom - y0)};
}

// Compares the tree drawn with what the texture holds, tile by tile over the given
// tiles, and uploads the runs of changed tiles of each tile row.
void WindowCompositor::uploadChangedTiles(bool picturesMoved, Tiles tiles) {
    const auto* drawn = cairo_image_surface_get_data(drawn_);
    int stride = cairo_image_surface_get_stride(drawn_);
    std::vector<SDL_Rect> under;
    for (const auto& picture : pictures_) under.push_back(landing(picture));
    for (int row = tiles.row0; row < tiles.row1; ++row) {
        int y0 = row * kTileHeight, y1 = std::min(height_, y0 + kTileHeight);
        int runStart = -1;
        for (int column = tiles.column0; column <= tiles.column1; ++column) {
            bool changed = false;
            if (column < tiles.column1) {
                int x0 = column * kTileWidth, bytes = (std::min(width_, x0 + kTileWidth) - x0) * 4;
                for (int y = y0; y < y1 && !changed; ++y)
                    changed = std::memcmp(drawn + std::size_t(y) * stride + x0 * 4,
                                          &shown_[std::size_t(y) * width_ + x0], bytes) != 0;
                if (changed || picturesMoved) {
                    // A veil is drawn with the pictures: nothing of it is blended.
                    const auto* tile = reinterpret_cast<const std::uint32_t*>(drawn + std::size_t(y0) * stride) + x0;
                    bool veil = apart_ && veils_.classify(column, row, tile, stride / 4, bytes / 4, y1 - y0, under);
                    shows_[std::size_t(row) * columns_ + column] = veil ? Shown{} : tileShows(column, row);
                }
            }
            if (changed && runStart < 0) runStart = column;
            if (changed || runStart < 0) continue;
            int x0 = runStart * kTileWidth, x1 = std::min(width_, column * kTileWidth);
            for (int y = y0; y < y1; ++y)
                std::memcpy(&shown_[std::size_t(y) * width_ + x0], drawn + std::size_t(y) * stride + x0 * 4,
                            std::size_t(x1 - x0) * 4);
            SDL_Rect area{x0, y0, x1 - x0, y1 - y0};
            SDL_UpdateTexture(tree_, &area, &shown_[std::size_t(y0) * width_ + x0], width_ * 4);
            runStart = -1;
        }
    }
}

// Uploads the picture when it is a new one and copies what of it shows, scaled by the
// renderer, darkened where veils of the tree lie over it.
bool WindowCompositor::showPicture(const PlacedPicture& picture, PictureTexture& slot) {
    cairo_surface_t* pixels = picture.image->surface();
    int w = cairo_image_surface_get_width(pixels), h = cairo_image_surface_get_height(pixels);
    if (w <= 0 || h <= 0) return true;
    if (!slot.texture || slot.width != w || slot.height != h) {
        if (slot.texture) SDL_DestroyTexture(slot.texture);
        slot = PictureTexture{SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, w, h),
                              w, h, nullptr};
        if (!slot.texture) return false;
        // Scaled as the renderer's scale quality says (SDL_HINT_RENDER_SCALE_QUALITY;
        // nearest by default, a quarter of a software renderer's cost per picture less
        // than linear).
        SDL_SetTextureBlendMode(slot.texture, SDL_BLENDMODE_NONE);
    }
    if (slot.uploaded != picture.image) {
        cairo_surface_flush(pixels);
        SDL_UpdateTexture(slot.texture, nullptr, cairo_image_surface_get_data(pixels), cairo_image_surface_get_stride(pixels));
        slot.uploaded = picture.image;
    }
    const Rect& at = picture.rect;
    const Rect& v = picture.visible;
    double sx = w / width(at), sy = h / height(at);
    SDL_Rect from{int(std::lround((minX(v) - minX(at)) * sx)), int(std::lround((minY(v) - minY(at)) * sy)),
                  int(std::lround(width(v) * sx)), int(std::lround(height(v) * sy))};
    SDL_Rect to = landing(picture);
    if (!apart_ || !veils_.darkens(to)) {
        SDL_RenderCopy(renderer_, slot.texture, &from, &to);
        return true;
    }
    vertices_.clear();
    indices_.clear();
    veils_.appendPicture(from, to, w, h, vertices_, indices_);
    SDL_RenderGeometry(renderer_, slot.texture, vertices_.data(), int(vertices_.size()), indices_.data(),
                       int(indices_.size()));
    return true;
}

// Lays the tree over the pictures: the runs of tiles that show, row by row, each run as
// the box of what shows in its tiles.
void WindowCompositor::showTree() {
    for (int row = 0; row < rows_; ++row) {
        int runStart = -1, top = kTileHeight, bottom = 0;
        for (int column = 0; column <= columns_; ++column) {
            const Shown* shown = column < columns_ ? &shows_[std::size_t(row) * columns_ + column] : nullptr;
            bool shows = shown && shown->x1 > 0;
            if (shows) {
                if (runStart < 0) runStart = column;
                top = std::min<int>(top, shown->y0);
                bottom = std::max<int>(bottom, shown->y1);
                continue;
            }
            if (runStart < 0) continue;
            int x0 = runStart * kTileWidth + shows_[std::size_t(row) * columns_ + runStart].x0;
            int x1 = (column - 1) * kTileWidth + shows_[std::size_t(row) * columns_ + column - 1].x1;
            int y0 = row * kTileHeight;
            SDL_Rect area{x0, y0 + top, x1 - x0, bottom - top};
            SDL_RenderCopy(renderer_, tree_, &area, &area);
            runStart = -1;
            top = kTileHeight;
            bottom = 0;
        }
    }
}

bool WindowCompositor::present(Window& window, const Rect* changed) {
    int pw = 0, ph = 0;
    if (SDL_GetRendererOutputSize(renderer_, &pw, &ph) != 0 || pw <= 0 || ph <= 0) return false;
    if (!ensureTree(pw, ph)) return false;
    bool kept = changed && (rectIsNull(*changed) ? keepTree(window) : drawTreePart(window, *changed));
    if (!kept) {
        drawTree(window);
        bool moved = !samePlaces(pictures_, shownPictures_);
        uploadChangedTiles(moved, Tiles{0, 0, columns_, rows_});
        shownPictures_ = pictures_;
        treeValid_ = true;
    }
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (pictureTextures_.size() < pictures_.size()) pictureTextures_.resize(pictures_.size());
    for (std::size_t i = 0; i < pictures_.size(); ++i)
        if (!showPicture(pictures_[i], pictureTextures_[i])) return false;
    // Frames the window no longer shows are let go.
    for (std::size_t i = pictures_.size(); i < pictureTextures_.size(); ++i) pictureTextures_[i].uploaded = nullptr;
    showTree();
    SDL_RenderPresent(renderer_);
    return true;
}

}  // namespace ui
