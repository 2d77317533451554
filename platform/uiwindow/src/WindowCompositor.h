#pragma once
// Puts a ui::Window on screen through an SDL renderer. The tree is drawn on the CPU into
// a picture of the window's pixels, with the moving pictures (video frames) left out as
// transparent holes; the pictures go to textures of their own at their own size, scaled
// by the renderer, and the tree's picture is laid over them. Only the tiles of the tree
// that changed since the last frame are uploaded, and only the tiles that show anything
// over the black background are laid over, so a frame whose only change is a new video
// picture costs the picture's upload and its scaled copy. A renderer that cannot lay a
// premultiplied picture over another gets the whole tree, pictures included, as one
// opaque picture. Main thread only.

#include <SDL.h>
#include <cairo.h>

#include <cstdint>
#include <vector>

#include <ui/ImageContext.h>
#include <ui/Window.h>

namespace ui {

class WindowCompositor {
public:
    explicit WindowCompositor(SDL_Renderer* renderer);
    ~WindowCompositor();
    WindowCompositor(const WindowCompositor&) = delete;
    WindowCompositor& operator=(const WindowCompositor&) = delete;

    /// Draws the window's tree and shows it with its pictures; false when the renderer
    /// has no output or refused a texture.
    bool present(Window& window);
    /// Whether pictures are composited apart from the tree (the renderer blends).
    bool picturesApart() const { return apart_; }

    static constexpr int kTileWidth = 64, kTileHeight = 32;

private:
    struct PictureTexture {
        SDL_Texture* texture = nullptr;
        int width = 0, height = 0;
        rt::Ref<Image> uploaded;
    };

    bool ensureTree(int width, int height);
    void drawTree(Window& window);
    void uploadChangedTiles(bool picturesMoved);
    bool tileShows(int column, int row) const;
    bool showPicture(const PlacedPicture& picture, PictureTexture& slot);
    void showTree();

    SDL_Renderer* renderer_;
    bool apart_ = false;
    int width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
    SDL_Texture* tree_ = nullptr;
    cairo_surface_t* drawn_ = nullptr;  // this frame's tree
    std::vector<std::uint32_t> shown_;  // what the tree's texture holds
    std::vector<std::uint8_t> shows_;   // per tile: something to lay over the pictures
    std::vector<PlacedPicture> pictures_, shownPictures_;
    std::vector<PictureTexture> pictureTextures_;
};

}  // namespace ui
