// Moving pictures in a desktop window on a real X server: each drawn once while they
// come, the first of a run at once, and composited apart from the tree to look as the
// renderer draws the same tree.

#include <SDL.h>

#include <algorithm>

#include <ui/ImageView.h>

#include "WindowHostFixture.h"
#include "CairoDrawing.h"

namespace zidtest {
namespace {

/// The desktop window fixture, as a suite of its own in this file.
class WindowPicturesTest : public WindowHostTest {};

TEST_F(WindowPicturesTest, WhilePicturesComeEachIsDrawnOnceAndOtherChangesRideAlong) {
    auto picture = rt::make<ui::View>(ui::Rect(0, 0, 320, 180));
    auto label = rt::make<ui::Label>(ui::Rect(0, 200, 200, 30));
    window->addSubview(picture);
    window->addSubview(label);
    open();
    auto loop = fnd::RunLoop::main();
    int pictures = 0, texts = 0;
    // 25 pictures a second, and a label and other loop work changing in between.
    auto video = loop->schedule(0.04, true, [&](fnd::Timer&) {
        ++pictures;
        picture->setNeedsDisplayForNewPicture();
    });
    auto ticks = loop->schedule(0.013, true, [&](fnd::Timer&) { label->setText(std::to_string(++texts)); });
    pass(0.3);
    auto frames = host->framesPresented();
    int picturesBefore = pictures;
    pass(1.0);
    auto drawn = host->framesPresented() - frames;
    int shown = pictures - picturesBefore;
    EXPECT_LE(drawn, std::uint64_t(shown + 1)) << "at most one frame per picture";
    EXPECT_GE(drawn, std::uint64_t(shown * 3 / 4)) << "every picture is drawn";
    // Pictures stop: the label's changes are drawn again on their own.
    video->invalidate();
    pass(0.3);
    frames = host->framesPresented();
    pass(0.5);
    EXPECT_GE(host->framesPresented() - frames, 15u);
    ticks->invalidate();
}

TEST_F(WindowPicturesTest, TheFirstPictureOfARunIsDrawnInTheTurnThatBroughtIt) {
    auto picture = rt::make<ui::View>(ui::Rect(0, 0, 320, 180));
    window->addSubview(picture);
    rt::Ref<rt::Error> error;
    // One frame a second: a picture waiting for the frame timer would wait long.
    host = ui::WindowHost::open(window, {.frameRate = 1}, &error);
    ASSERT_TRUE(host);
    auto loop = fnd::RunLoop::main();
    pass(1.2);
    auto before = host->framesPresented();
    loop->post([&] { picture->setNeedsDisplayForNewPicture(); });
    loop->drain();
    EXPECT_EQ(host->framesPresented(), before + 1) << "drawn as the turn ended";
    // The next picture comes while pictures flow: it waits for its frame.
    loop->post([&] { picture->setNeedsDisplayForNewPicture(); });
    loop->drain();
    EXPECT_EQ(host->framesPresented(), before + 1);
    ASSERT_TRUE(waitFor([&] { return host->framesPresented() == before + 2; }));
}

namespace {

/// Stands in for a video view: draws its picture with drawPicture, letterboxed.
class PictureView : public ui::View {
public:
    using ui::View::View;
    rt::Ref<ui::Image> picture;
    bool drawsContent() const override { return true; }
    void draw(ui::ImageContext& context, const ui::Rect&) override {
        if (picture) context.drawPicture(*picture, ui::Rect(80, 0, 480, 360));
    }
};

/// A 160 x 120 picture of four coloured quarters.
rt::Ref<ui::Image> quarters(const ui::Color& first) {
    auto ctx = rt::make<ui::ImageContext>(ui::Size{160, 120}, true, 1.0);
    ctx->fillRect(ui::Rect(0, 0, 80, 60), first);
    ctx->fillRect(ui::Rect(80, 0, 80, 60), *ui::Color::rgba(0.1, 0.7, 0.2, 1));
    ctx->fillRect(ui::Rect(0, 60, 80, 60), *ui::Color::rgba(0.9, 0.8, 0.1, 1));
    ctx->fillRect(ui::Rect(80, 60, 80, 60), *ui::Color::rgba(0.2, 0.3, 0.9, 1));
    return ctx->image();
}

/// Pixels of two pictures of the same size whose channels differ by more than 24.
int differingPixels(const ui::Image& a, const ui::Image& b) {
    int count = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            std::uint32_t p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            for (int shift = 0; shift < 24; shift += 8)
                if (std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)) > 24) {
                    ++count;
                    break;
                }
        }
    return count;
}

}  // namespace

// The renderer scales pictures smoothly, the display's renderer by its own scale quality
// (the nearest pixel by default): they differ along the quarters' edges only.
constexpr int kPictureTolerance = 640 * 360 / 80;

TEST_F(WindowPicturesTest, APictureCompositedApartLooksAsTheRendererDrawsItAndANewOneShows) {
    auto video = rt::make<PictureView>(window->bounds());
    video->setBackgroundColor(ui::Color::blackColor());
    video->picture = quarters(*ui::Color::rgba(0.9, 0.1, 0.1, 1));
    // Controls over the picture: a half-transparent bar with a label, and one beside it.
    auto bar = rt::make<ui::View>(ui::Rect(0, 300, 640, 60));
    bar->setBackgroundColor(ui::Color::rgba(0.1, 0.1, 0.1, 0.6));
    auto label = rt::make<ui::Label>(ui::Rect(100, 310, 300, 40));
    label->setText("Morning show");
    label->setTextColor(ui::Color::whiteColor());
    bar->addSubview(label);
    auto badge = rt::make<ui::View>(ui::Rect(10, 10, 50, 50));
    badge->setBackgroundColor(ui::Color::rgba(1, 1, 1, 1));
    window->addSubview(video);
    video->addSubview(bar);
    video->addSubview(badge);
    open();
    auto drawn = [&] {
        window->layoutIfNeeded();
        return ui::renderToImage(*window);
    };
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *drawn()), kPictureTolerance) << "the picture, the bar over it and the badge";
    EXPECT_EQ(shot->pixelAt(300, 100) & 0xFFFFFF, drawn()->pixelAt(300, 100) & 0xFFFFFF);
    // A new picture, and nothing else: the window shows it.
    video->picture = quarters(*ui::Color::rgba(0.1, 0.9, 0.9, 1));
    video->setNeedsDisplayForNewPicture();
    settle();
    shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *drawn()), kPictureTolerance) << "the new picture";
    // Faded, the view's picture is drawn in the tree: the same on screen.
    video->setAlpha(0.5);
    settle();
    shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *drawn()), kPictureTolerance) << "the faded picture";
}

namespace {

/// A custom view that draws a colour of its own and says so when it changes (or not).
class SwatchView : public ui::View {
public:
    using ui::View::View;
    rt::Ref<ui::Color> colour = ui::Color::rgba(0.9, 0.1, 0.1, 1);
    bool drawsContent() const override { return true; }
    void draw(ui::ImageContext& context, const ui::Rect&) override { context.fillRect(bounds(), *colour); }
};

}  // namespace

/// A video with controls over it: a half-transparent bar holding a label and a swatch.
struct VideoWithControls {
    rt::Ref<PictureView> video;
    rt::Ref<ui::View> bar;
    rt::Ref<ui::Label> label;
    rt::Ref<SwatchView> swatch;
    rt::Ref<ui::Image> pictures[2] = {quarters(*ui::Color::rgba(0.9, 0.1, 0.1, 1)),
                                      quarters(*ui::Color::rgba(0.1, 0.9, 0.9, 1))};
    int shown = 0;

    explicit VideoWithControls(ui::Window& window) {
        video = rt::make<PictureView>(window.bounds());
        video->setBackgroundColor(ui::Color::blackColor());
        video->picture = pictures[0];
        bar = rt::make<ui::View>(ui::Rect(0, 280, 640, 80));
        bar->setBackgroundColor(ui::Color::rgba(0, 0, 0, 0.5));
        label = rt::make<ui::Label>(ui::Rect(100, 20, 300, 40));
        label->setText("00:01");
        label->setTextColor(ui::Color::whiteColor());
        swatch = rt::make<SwatchView>(ui::Rect(20, 20, 40, 40));
        bar->addSubview(label);
        bar->addSubview(swatch);
        window.addSubview(video);
        video->addSubview(bar);
    }
    void nextPicture() {
        video->picture = pictures[++shown % 2];
        video->setNeedsDisplayForNewPicture();
    }
};

// The controls' layer over a playing video is drawn only when something in it changes:
// a frame whose only news is a picture uploads the picture and lays the tree drawn
// before over it, and the window still shows exactly what the renderer draws.
TEST_F(WindowPicturesTest, NewPicturesUnderControlsThatStayTheSameDrawNoTree) {
    VideoWithControls scene(*window);
    open();
    auto loop = fnd::RunLoop::main();
    auto video = loop->schedule(0.04, true, [&](fnd::Timer&) { scene.nextPicture(); });
    pass(0.3);
    auto trees = host->treesDrawn();
    auto frames = host->framesPresented();
    // Under the second after which the whole tree is drawn again regardless.
    pass(0.8);
    video->invalidate();
    EXPECT_GE(host->framesPresented() - frames, 12u) << "the pictures were shown";
    EXPECT_LE(host->treesDrawn() - trees, 1u) << "the unchanged controls were drawn again with the pictures";
    // The last picture shows under the bar as the renderer draws them together.
    scene.nextPicture();
    settle();
    window->layoutIfNeeded();
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *ui::renderToImage(*window)), kPictureTolerance);
}

// What changes in the controls while pictures come is drawn (a part of the tree, not all
// of it): a label's new text, read from the label, and a custom view's new colour, which
// it reports with setNeedsDisplay. A change a custom view does not report still shows
// within the second after which the whole tree is drawn again.
TEST_F(WindowPicturesTest, ChangesInTheControlsShowWithThePictures) {
    VideoWithControls scene(*window);
    open();
    auto loop = fnd::RunLoop::main();
    auto video = loop->schedule(0.04, true, [&](fnd::Timer&) { scene.nextPicture(); });
    pass(0.3);
    // The label's part of the bar, off the picture's edges (where the two scalings
    // differ), and the swatch.
    auto looksRendered = [&](const char* what) {
        window->layoutIfNeeded();
        auto shot = x->screenshot(xwindow());
        ASSERT_TRUE(shot);
        auto drawn = ui::renderToImage(*window);
        int differing = 0;
        for (int y = 300; y < 340; ++y)
            for (int px = 100; px < 300; ++px)
                for (int shift = 0; shift < 24; shift += 8)
                    if (std::abs(int((shot->pixelAt(px, y) >> shift) & 0xFF) - int((drawn->pixelAt(px, y) >> shift) & 0xFF)) > 24) {
                        ++differing;
                        break;
                    }
        EXPECT_EQ(differing, 0) << what;
        EXPECT_EQ(shot->pixelAt(40, 320) & 0xFFFFFF, drawn->pixelAt(40, 320) & 0xFFFFFF) << what;
    };
    auto trees = host->treesDrawn();
    scene.label->setText("00:02");
    pass(0.15);
    EXPECT_GT(host->treesDrawn(), trees) << "the label's new text";
    video->invalidate();
    settle();
    looksRendered("the label's new text");
    video = loop->schedule(0.04, true, [&](fnd::Timer&) { scene.nextPicture(); });
    scene.swatch->colour = ui::Color::rgba(0.1, 0.8, 0.1, 1);
    scene.swatch->setNeedsDisplay();
    pass(0.15);
    video->invalidate();
    settle();
    looksRendered("the swatch's reported colour");
    // Not reported: shown by the next drawing of the whole tree, within a second.
    video = loop->schedule(0.04, true, [&](fnd::Timer&) { scene.nextPicture(); });
    scene.swatch->colour = ui::Color::rgba(0.1, 0.1, 0.9, 1);
    pass(1.2);
    video->invalidate();
    settle();
    looksRendered("the swatch's unreported colour, after the refresh");
}

namespace {

/// A black gradient from alpha `top` to alpha `bottom`, 1 x 40 pixels: a toolbar's background.
rt::Ref<ui::Image> blackGradient(double top, double bottom) {
    auto ctx = rt::make<ui::ImageContext>(ui::Size{1, 40}, false, 1.0);
    for (int y = 0; y < 40; ++y) ctx->fillRect(ui::Rect(0, y, 1, 1), *ui::Color::rgba(0, 0, 0, top + (bottom - top) * y / 39));
    return ctx->image();
}

/// The largest difference of a channel between the two pictures' pixels over the area,
/// every third pixel.
int largestDifference(const ui::Image& a, const ui::Image& b, ui::Rect area) {
    int largest = 0;
    for (int y = int(ui::minY(area)); y < int(ui::maxY(area)); y += 3)
        for (int x = int(ui::minX(area)); x < int(ui::maxX(area)); x += 3)
            for (int shift = 0; shift < 24; shift += 8)
                largest = std::max(largest, std::abs(int((a.pixelAt(x, y) >> shift) & 0xFF) - int((b.pixelAt(x, y) >> shift) & 0xFF)));
    return largest;
}

}  // namespace

// A player's toolbars darken the picture with black veils: a gradient stretched over the
// top, a translucent bar at the bottom. The picture is copied darkened under them rather
// than having them blended over it, at either scale quality, and the window shows what
// the renderer draws: the picture under the gradient and the bar, the bar's label.
TEST_F(WindowPicturesTest, VeilsOverPicturesLookAsTheRendererDrawsThemAtEitherScaleQuality) {
    struct ScaleQuality {
        explicit ScaleQuality(const char* quality) { SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, quality); }
        ~ScaleQuality() { SDL_ResetHint(SDL_HINT_RENDER_SCALE_QUALITY); }
    };
    for (const char* quality : {"nearest", "linear"}) {
        SCOPED_TRACE(quality);
        ScaleQuality scaling(quality);
        window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
        VideoWithControls scene(*window);
        auto shade = rt::make<ui::ImageView>(ui::Rect(0, 0, 640, 110));
        shade->setImage(blackGradient(0.8, 0));
        scene.video->addSubview(shade);
        open();
        scene.nextPicture();
        settle();
        window->layoutIfNeeded();
        auto shot = x->screenshot(xwindow());
        ASSERT_TRUE(shot);
        auto drawn = ui::renderToImage(*window);
        EXPECT_LE(differingPixels(*shot, *drawn), kPictureTolerance);
        // Inside the picture's quarters (off their edges, where the two scalings differ):
        // the gradient's darkening within a few levels, the bar's, and the label.
        EXPECT_LE(largestDifference(*shot, *drawn, ui::Rect(100, 0, 200, 170)), 4) << "under the gradient, left";
        EXPECT_LE(largestDifference(*shot, *drawn, ui::Rect(340, 0, 200, 170)), 4) << "under the gradient, right";
        EXPECT_LE(largestDifference(*shot, *drawn, ui::Rect(340, 282, 200, 76)), 4) << "under the bar";
        EXPECT_LE(largestDifference(*shot, *drawn, ui::Rect(100, 290, 200, 60)), 24) << "the bar's label";
        EXPECT_EQ(shot->pixelAt(40, 320) & 0xFFFFFF, drawn->pixelAt(40, 320) & 0xFFFFFF) << "the swatch off the picture";
        host->close();
        host = nullptr;
    }
}

// A view that draws its moving picture as any image (not with drawPicture) has it in the
// tree's pixels: each new picture it reports is drawn, tree and all.
TEST_F(WindowPicturesTest, APictureDrawnInTheTreeIsDrawnAgainWhenNew) {
    class ImagePictureView : public ui::View {
    public:
        using ui::View::View;
        rt::Ref<ui::Image> picture;
        bool drawsContent() const override { return true; }
        void draw(ui::ImageContext& context, const ui::Rect&) override { context.drawImage(*picture, bounds()); }
    };
    auto video = rt::make<ImagePictureView>(window->bounds());
    video->picture = quarters(*ui::Color::rgba(0.9, 0.1, 0.1, 1));
    window->addSubview(video);
    open();
    video->picture = quarters(*ui::Color::rgba(0.1, 0.9, 0.9, 1));
    video->setNeedsDisplayForNewPicture();
    settle();
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    window->layoutIfNeeded();
    EXPECT_EQ(shot->pixelAt(100, 60) & 0xFFFFFF, ui::renderToImage(*window)->pixelAt(100, 60) & 0xFFFFFF);
}

// Runs without a display too. In a fresh process: the display library, once started,
// stays started for the process's life.
}  // namespace
}  // namespace zidtest
