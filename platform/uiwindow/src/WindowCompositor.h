#pragma once
// Puts a ui::Window on screen through an SDL renderer. The tree is drawn on the CPU into
// a picture of the window's pixels, with the moving pictures (video frames) left out as
// transparent holes; the pictures go to textures of their own at their own size, scaled
// by the renderer, and the tree's picture is laid over them. Only the tiles of the tree
// that changed since the last frame are uploaded, and only the tiles that show anything
// over the black background are laid over, so a frame whose only change is a new video
// picture costs the picture's upload and its scaled copy. A renderer that cannot lay a
// premultiplied picture over another gets the whole tree, pictures included, as one
// opaque picture. Tiles of the tree that are only a black veil over the pictures (a
// player's toolbar gradients) are not blended: the pictures are copied darkened under
// them (PictureVeils). When the host knows the tree did not change, a frame draws only
// the own drawing of the views that show pictures, for their new pictures, and lays the
// tree's texture over them as it is. Main thread only.

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <ui/ImageContext.h>
#include <ui/Window.h>

#include "PictureVeils.h"
#include "CairoDrawing.h"

namespace ui {

class WindowCompositor {
public:
    explicit WindowCompositor(SDL_Renderer* renderer);
    ~WindowCompositor();
    WindowCompositor(const WindowCompositor&) = delete;
    WindowCompositor& operator=(const WindowCompositor&) = delete;

    /// Draws the window's tree and shows it with its pictures; false when the renderer
    /// has no output or refused a texture. `changed`, when given, is what the host knows
    /// changed since the last frame, in the target's pixels: only that part of the tree is
    /// drawn again (all of it when the part is large), and with a null rectangle none of
    /// it, the frame showing new pictures under the tree as it was.
    bool present(Window& window, const Rect* changed = nullptr);
    /// How many frames drew the tree, all of it or a part (the rest only showed new
    /// pictures); and how many of them drew all of it.
    std::uint64_t treesDrawn() const { return treesDrawn_; }
    std::uint64_t wholeTreesDrawn() const { return wholeTreesDrawn_; }
    /// Whether the last tree drawn placed pictures to composite apart from it (the
    /// renderer blends, and views drew their pictures with drawPicture), all of them: a
    /// new picture then needs none of the tree drawn.
    bool placesPictures() const {
        return apart_ && !pictureDrawers_.empty() &&
               std::none_of(pictureDrawers_.begin(), pictureDrawers_.end(), [](const auto& v) { return v.expired(); });
    }

    static constexpr int kTileWidth = 64, kTileHeight = 32;

private:
    struct PictureTexture {
        SDL_Texture* texture = nullptr;
        int width = 0, height = 0;
        rt::Ref<Image> uploaded;
    };

    struct Tiles {
        int column0 = 0, row0 = 0, column1 = 0, row1 = 0;  // [column0, column1) x [row0, row1)
    };

    bool ensureTree(int width, int height);
    void drawTree(Window& window);
    bool drawTreePart(Window& window, const Rect& changed);
    double clearForTree(cairo_t* cr, Window& window) const;
    bool redrawPictures(Window& window);
    bool keepTree(Window& window);
    void uploadChangedTiles(bool picturesMoved, Tiles tiles);
    /// The part of a tile (in its own pixels) that shows over the pictures.
    struct Shown {
        std::uint8_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // nothing when x1 == 0
    };
    Shown tileShows(int column, int row) const;
    bool showPicture(const PlacedPicture& picture, PictureTexture& slot);
    void showTree();

    SDL_Renderer* renderer_;
    bool apart_ = false;
    int width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
    SDL_Texture* tree_ = nullptr;
    cairo_surface_t* drawn_ = nullptr;  // this frame's tree
    std::vector<std::uint32_t> shown_;  // what the tree's texture holds
    std::vector<Shown> shows_;          // per tile: what to lay over the pictures
    PictureVeils veils_{kTileWidth, kTileHeight};
    std::vector<SDL_Vertex> vertices_;  // a veiled picture's quads
    std::vector<int> indices_;
    std::vector<PlacedPicture> pictures_, shownPictures_;
    std::vector<rt::Weak<View>> pictureDrawers_;  // the views whose drawing drew pictures
    bool treeValid_ = false;                      // the tree's texture holds a drawn tree
    std::uint64_t treesDrawn_ = 0, wholeTreesDrawn_ = 0;
    std::vector<PictureTexture> pictureTextures_;
};

}  // namespace ui
