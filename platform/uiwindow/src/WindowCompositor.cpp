#include "WindowCompositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <ui/Renderer.h>

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
    // ARGB8888 is Cairo's ARGB32 on every byte order SDL names it for.
    tree_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
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
    shows_.assign(std::size_t(columns_) * rows_, 1);
    shownPictures_.clear();
    return true;
}

void WindowCompositor::drawTree(Window& window) {
    pictures_.clear();
    cairo_t* cr = cairo_create(drawn_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (apart_) cairo_set_source_rgba(cr, 0, 0, 0, 0);
    else cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    Size size = window.bounds().size;
    double scale = size.width > 0 ? width_ / size.width : 1;
    cairo_scale(cr, scale, size.height > 0 ? height_ / size.height : 1);
    renderViewLeavingPictures(window, cr, scale, apart_ ? &pictures_ : nullptr);
    cairo_destroy(cr);
    cairo_surface_flush(drawn_);
}

// Whether a tile of the tree shows anything once laid over the pictures and the black
// background: inside a picture, any pixel not fully transparent; outside, any pixel
// whose colour is not black (premultiplied black at any alpha leaves black as it is).
bool WindowCompositor::tileShows(int column, int row) const {
    if (!apart_) return true;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(drawn_));
    int stride = cairo_image_surface_get_stride(drawn_) / 4;
    int x0 = column * kTileWidth, x1 = std::min(width_, x0 + kTileWidth);
    int y0 = row * kTileHeight, y1 = std::min(height_, y0 + kTileHeight);
    for (int y = y0; y < y1; ++y) {
        const std::uint32_t* line = pixels + std::size_t(y) * stride;
        for (int x = x0; x < x1; ++x) {
            std::uint32_t p = line[x];
            if (p == 0) continue;
            if (p & 0x00ffffffu) return true;
            // Black with some alpha: it shows only over a picture.
            for (const auto& picture : pictures_)
                if (x >= minX(picture.visible) && x < maxX(picture.visible) && y >= minY(picture.visible) &&
                    y < maxY(picture.visible))
                    return true;
        }
    }
    return false;
}

// Compares the tree drawn with what the texture holds, tile by tile, and uploads the
// runs of changed tiles of each tile row.
void WindowCompositor::uploadChangedTiles(bool picturesMoved) {
    const auto* drawn = cairo_image_surface_get_data(drawn_);
    int stride = cairo_image_surface_get_stride(drawn_);
    for (int row = 0; row < rows_; ++row) {
        int y0 = row * kTileHeight, y1 = std::min(height_, y0 + kTileHeight);
        int runStart = -1;
        for (int column = 0; column <= columns_; ++column) {
            bool changed = false;
            if (column < columns_) {
                int x0 = column * kTileWidth, bytes = (std::min(width_, x0 + kTileWidth) - x0) * 4;
                for (int y = y0; y < y1 && !changed; ++y)
                    changed = std::memcmp(drawn + std::size_t(y) * stride + x0 * 4,
                                          &shown_[std::size_t(y) * width_ + x0], bytes) != 0;
                if (changed || picturesMoved) shows_[std::size_t(row) * columns_ + column] = tileShows(column, row);
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
// renderer.
bool WindowCompositor::showPicture(const PlacedPicture& picture, PictureTexture& slot) {
    cairo_surface_t* pixels = picture.image->surface();
    int w = cairo_image_surface_get_width(pixels), h = cairo_image_surface_get_height(pixels);
    if (w <= 0 || h <= 0) return true;
    if (!slot.texture || slot.width != w || slot.height != h) {
        if (slot.texture) SDL_DestroyTexture(slot.texture);
        slot = PictureTexture{SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h),
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
    SDL_Rect to{int(minX(v)), int(minY(v)), int(width(v)), int(height(v))};
    SDL_RenderCopy(renderer_, slot.texture, &from, &to);
    return true;
}

// Lays the tree over the pictures: the runs of tiles that show, row by row.
void WindowCompositor::showTree() {
    for (int row = 0; row < rows_; ++row) {
        int y0 = row * kTileHeight, y1 = std::min(height_, y0 + kTileHeight);
        int runStart = -1;
        for (int column = 0; column <= columns_; ++column) {
            bool shows = column < columns_ && shows_[std::size_t(row) * columns_ + column];
            if (shows && runStart < 0) runStart = column;
            if (shows || runStart < 0) continue;
            int x0 = runStart * kTileWidth, x1 = std::min(width_, column * kTileWidth);
            SDL_Rect area{x0, y0, x1 - x0, y1 - y0};
            SDL_RenderCopy(renderer_, tree_, &area, &area);
            runStart = -1;
        }
    }
}

bool WindowCompositor::present(Window& window) {
    int pw = 0, ph = 0;
    if (SDL_GetRendererOutputSize(renderer_, &pw, &ph) != 0 || pw <= 0 || ph <= 0) return false;
    if (!ensureTree(pw, ph)) return false;
    drawTree(window);
    bool moved = !samePlaces(pictures_, shownPictures_);
    uploadChangedTiles(moved);
    shownPictures_ = pictures_;
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
