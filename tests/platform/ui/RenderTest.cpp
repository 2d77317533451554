// Pictures: a small view tree rendered and compared with committed references.

#include <numbers>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Animation.h>
#include <ui/BezierPath.h>
#include <ui/ImageContext.h>
#include <ui/ImageView.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/Window.h>
#include "CairoDrawing.h"

using namespace ui;

namespace {

rt::Ref<Image> checkerImage() {
    auto ctx = rt::make<ImageContext>(Size{24, 24}, false, 2.0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ctx->fillRect(Rect(x * 6, y * 6, 6, 6),
                          (x + y) % 2 ? *Color::rgba(0.1, 0.5, 0.9, 1) : *Color::rgba(1, 0.85, 0.2, 1));
    return ctx->image();
}

/// Label, image, border, corner radius, shadow, alpha, a rotated view and clipping.
rt::Ref<View> sampleTree() {
    auto root = rt::make<View>(Rect(0, 0, 200, 150));
    root->setBackgroundColor(Color::whiteColor());

    auto card = rt::make<View>(Rect(12, 12, 110, 70));
    card->setBackgroundColor(Color::rgba(0.95, 0.95, 1.0, 1));
    card->layer()->setCornerRadius(10);
    card->layer()->setBorderWidth(2);
    card->layer()->setBorderColor(Color::rgba(0.2, 0.3, 0.8, 1));
    card->layer()->setShadowOpacity(0.5);
    card->layer()->setShadowOffset({3, 4});
    card->layer()->setShadowRadius(3);
    root->addSubview(card);

    auto label = rt::make<Label>(Rect(8, 6, 94, 24));
    label->setText("Live now");
    label->setFont(Font::boldSystemFontOfSize(15));
    label->setTextColor(Color::rgba(0.1, 0.1, 0.2, 1));
    card->addSubview(label);

    auto small = rt::make<Label>(Rect(8, 34, 94, 30));
    small->setText("twelve viewers are watching");
    small->setFont(Font::systemFontOfSize(10));
    small->setNumberOfLines(2);
    small->setTextAlignment(TextAlignment::Center);
    card->addSubview(small);

    auto image = rt::make<ImageView>(checkerImage());
    image->setFrame(Rect(140, 14, 40, 40));
    image->setClipsToBounds(true);
    image->layer()->setCornerRadius(20);
    root->addSubview(image);

    auto faded = rt::make<View>(Rect(20, 100, 60, 36));
    faded->setBackgroundColor(Color::redColor());
    faded->setAlpha(0.5);
    auto inner = rt::make<View>(Rect(30, 10, 60, 16));  // sticks out, not clipped
    inner->setBackgroundColor(Color::blackColor());
    faded->addSubview(inner);
    root->addSubview(faded);

    auto turned = rt::make<View>(Rect(130, 90, 50, 30));
    turned->setBackgroundColor(Color::rgba(0.2, 0.7, 0.3, 1));
    turned->setTransform(transformMakeRotation(std::numbers::pi / 8));
    turned->setClipsToBounds(true);
    auto clipped = rt::make<View>(Rect(25, -10, 40, 20));
    clipped->setBackgroundColor(Color::yellowColor());
    turned->addSubview(clipped);
    root->addSubview(turned);
    return root;
}

}  // namespace

TEST(Rendering, SampleTreeMatchesItsReferencePicture) {
    auto tree = sampleTree();
    auto picture = renderToImage(*tree, 2.0);
    EXPECT_EQ(picture->pixelWidth(), 400);
    EXPECT_EQ(picture->pixelHeight(), 300);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "sample_tree_2x");
}

TEST(Rendering, OutputIsByteStable) {
    auto a = renderToImage(*sampleTree(), 1.0)->pngData();
    auto b = renderToImage(*sampleTree(), 1.0)->pngData();
    EXPECT_EQ(a, b);
    std::string path = ::testing::TempDir() + "ui_render_test.png";
    ASSERT_TRUE(renderToPNG(*sampleTree(), path, 1.0));
    auto back = Image::imageWithContentsOfFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pngData(), a);
}

TEST(Rendering, GivenShadowShapesAreReusedOnlyWhileTheyStayTheSame) {
    auto scene = [](const Rect& shape, bool opaque) {
        auto root = rt::make<View>(Rect(0, 0, 120, 80));
        root->setBackgroundColor(Color::whiteColor());
        auto v = rt::make<View>(Rect(30, 20, 60, 40));
        v->setBackgroundColor(opaque ? Color::redColor() : Color::rgba(1, 0, 0, 0.5));
        v->layer()->setShadowOpacity(0.8);
        v->layer()->setShadowRadius(4);
        v->layer()->setShadowOffset(Size{0, 3});
        v->layer()->setShadowPath(BezierPath::rect(shape));
        root->addSubview(v);
        return root;
    };
    auto narrow = renderToImage(*scene(Rect(0, 0, 60, 40), true), 1)->pngData();
    auto wide = renderToImage(*scene(Rect(-10, 0, 80, 40), true), 1)->pngData();
    EXPECT_NE(narrow, wide);
    // Drawn again, from the kept masks: the same pictures.
    EXPECT_EQ(renderToImage(*scene(Rect(0, 0, 60, 40), true), 1)->pngData(), narrow);
    EXPECT_EQ(renderToImage(*scene(Rect(-10, 0, 80, 40), true), 1)->pngData(), wide);
    // A see-through body shows the whole shadow under it; an opaque one hides it.
    auto seeThrough = renderToImage(*scene(Rect(0, 0, 60, 40), false), 1);
    auto image = renderToImage(*scene(Rect(0, 0, 60, 40), true), 1);
    EXPECT_NE(seeThrough->pngData(), image->pngData());
}

TEST(Rendering, PixelsFollowGeometryAlphaAndHiddenViews) {
    auto root = rt::make<View>(Rect(0, 0, 40, 40));
    auto v = rt::make<View>(Rect(10, 10, 10, 10));
    v->setBackgroundColor(Color::blueColor());
    root->addSubview(v);
    auto img = renderToImage(*root);
    EXPECT_EQ(img->pixelAt(15, 15), 0xFF0000FFu);
    EXPECT_EQ(img->pixelAt(5, 5), 0u);
    v->setAlpha(0.5);
    EXPECT_NEAR(int(renderToImage(*root)->pixelAt(15, 15) >> 24), 128, 1);
    v->setAlpha(1);
    v->setHidden(true);
    EXPECT_EQ(renderToImage(*root)->pixelAt(15, 15), 0u);
    v->setHidden(false);
    root->setBounds(Rect(10, 10, 40, 40));  // scrolls the content up-left
    EXPECT_EQ(renderToImage(*root)->pixelAt(5, 5), 0xFF0000FFu);
}

namespace {

/// A view that draws itself, as a video layer will put frames on the picture.
class Diagonal : public View {
    RT_CLASS(Diagonal, View)
public:
    using View::View;
    bool drawsContent() const override { return true; }
    void draw(ImageContext& context, const Rect& rect) override {
        auto path = BezierPath::path();
        path->moveTo(rect.origin);
        path->lineTo({maxX(rect), maxY(rect)});
        path->lineTo({minX(rect), maxY(rect)});
        path->close();
        context.fillPath(*path, *Color::rgba(0.5, 0, 0.5, 1));
        context.saveState();  // left open on purpose: the renderer closes it
    }
};

rt::Ref<View> labelsAndImages() {
    auto root = rt::make<View>(Rect(0, 0, 240, 120));
    root->setBackgroundColor(Color::rgba(0.97, 0.97, 0.92, 1));
    root->setTintColor(Color::rgba(0.8, 0.1, 0.5, 1));

    auto title = rt::make<Label>(Rect(6, 4, 110, 22));
    title->setText("Truncated headline text");
    title->setFont(Font::systemFontOfSize(13));
    title->setShadowColor(Color::rgba(0, 0, 0, 0.4));
    title->setShadowOffset({1, 1});
    root->addSubview(title);

    AttributedString rich("Live 1,204");
    TextAttributes red;
    red.foregroundColor = Color::redColor();
    red.font = Font::boldSystemFontOfSize(12);
    rich.addAttributes(0, 4, red);
    auto richLabel = rt::make<Label>(Rect(6, 30, 110, 20));
    richLabel->setAttributedText(rich);
    richLabel->setFont(Font::systemFontOfSize(12));
    richLabel->setTextAlignment(TextAlignment::Right);
    root->addSubview(richLabel);

    auto shrink = rt::make<Label>(Rect(6, 54, 110, 20));
    shrink->setText("Shrinks to fit the width");
    shrink->setFont(Font::systemFontOfSize(14));
    shrink->setAdjustsFontSizeToFitWidth(true);
    shrink->setMinimumScaleFactor(0.5);
    shrink->setHighlightedTextColor(Color::blueColor());
    shrink->setHighlighted(true);
    root->addSubview(shrink);

    // An arrow-like template mask, tinted by the root's tint colour.
    auto maskCtx = rt::make<ImageContext>(Size{20, 20}, false, 2.0);
    auto tri = BezierPath::path();
    tri->moveTo({2, 2});
    tri->lineTo({18, 10});
    tri->lineTo({2, 18});
    tri->close();
    maskCtx->fillPath(*tri, *Color::blackColor());
    auto arrow = maskCtx->image()->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate);
    ContentMode modes[] = {ContentMode::ScaleToFill, ContentMode::ScaleAspectFit, ContentMode::Center,
                           ContentMode::BottomRight};
    for (int i = 0; i < 4; ++i) {
        auto iv = rt::make<ImageView>(Rect(126 + (i % 2) * 56, 4 + (i / 2) * 42, 50, 36));
        iv->setBackgroundColor(Color::rgba(0.85, 0.9, 1.0, 1));
        iv->setImage(arrow);
        iv->setContentMode(modes[i]);
        root->addSubview(iv);
    }
    root->addSubview(rt::make<Diagonal>(Rect(6, 80, 60, 34)));
    return root;
}

}  // namespace

TEST(Rendering, LabelsImagesAndOwnDrawingMatchTheirReferencePicture) {
    EXPECT_MATCHES_GOLDEN(*renderToImage(*labelsAndImages(), 2.0), zidtest::testPath("golden"), "labels_and_images_2x");
}

TEST(Rendering, ImageViewsPlaceTheirImageByContentMode) {
    auto ctx = rt::make<ImageContext>(Size{20, 10}, false, 1.0);
    auto iv = rt::make<ImageView>(ctx->image());
    EXPECT_EQ(iv->frame(), Rect(0, 0, 20, 10)) << "made the size of its image";
    iv->setFrame(Rect(0, 0, 100, 100));
    iv->setContentMode(ContentMode::ScaleAspectFit);
    EXPECT_EQ(iv->imageRect(), Rect(0, 25, 100, 50));
    iv->setContentMode(ContentMode::ScaleAspectFill);
    EXPECT_EQ(iv->imageRect(), Rect(-50, 0, 200, 100));
    iv->setContentMode(ContentMode::TopRight);
    EXPECT_EQ(iv->imageRect(), Rect(80, 0, 20, 10));
    auto big = rt::make<ImageContext>(Size{40, 30}, false, 2.0)->image();
    iv->setHighlightedImage(big);
    iv->setHighlighted(true);
    iv->sizeToFit();
    EXPECT_EQ(iv->bounds().size, (Size{40, 30})) << "the highlighted image shows";
}

TEST(Rendering, MaskShapesAndShadowPaths) {
    auto root = rt::make<View>(Rect(0, 0, 60, 40));
    auto masked = rt::make<View>(Rect(0, 0, 20, 20));
    masked->setBackgroundColor(Color::blackColor());
    masked->layer()->setMaskPath(BezierPath::oval(Rect(0, 0, 20, 20)));
    root->addSubview(masked);
    auto casting = rt::make<View>(Rect(30, 0, 10, 10));
    casting->layer()->setShadowOpacity(1.0);
    casting->layer()->setShadowRadius(0);
    casting->layer()->setShadowOffset({0, 20});
    casting->layer()->setShadowPath(BezierPath::rect(Rect(0, 0, 20, 10)));
    root->addSubview(casting);
    auto img = renderToImage(*root);
    EXPECT_EQ(img->pixelAt(1, 1), 0u) << "outside the oval mask";
    EXPECT_EQ(img->pixelAt(10, 10), 0xFF000000u);
    EXPECT_EQ(img->pixelAt(32, 5), 0u) << "the view itself draws nothing";
    EXPECT_EQ(img->pixelAt(45, 25) >> 24, 255u) << "its shadow path, moved by the offset";
    EXPECT_EQ(img->pixelAt(55, 25), 0u);
}

class RenderingAnimations : public zidtest::VirtualTimeTest {};

TEST_F(RenderingAnimations, TheRendererDrawsPresentedValues) {
    auto root = rt::make<View>(Rect(0, 0, 100, 20));
    auto v = rt::make<View>(Rect(0, 0, 20, 20));
    v->setBackgroundColor(Color::blackColor());
    root->addSubview(v);
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] { v->setCenter({90, 10}); });
    EXPECT_EQ(renderToImage(*root)->pixelAt(5, 10), 0xFF000000u) << "the model moved, the picture did not yet";
    advance(0.5);
    auto mid = renderToImage(*root);
    EXPECT_EQ(mid->pixelAt(5, 10), 0u);
    EXPECT_EQ(mid->pixelAt(50, 10), 0xFF000000u);
    advance(0.5);
    EXPECT_EQ(renderToImage(*root)->pixelAt(90, 10), 0xFF000000u);
}

TEST_F(RenderingAnimations, CrossDissolveBlendsTheOldPictureIntoTheNew) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    v->setBackgroundColor(Color::blackColor());
    transition(*v, 1.0, AnimationOptions::TransitionCrossDissolve | AnimationOptions::CurveLinear,
               [&] { v->setBackgroundColor(Color::whiteColor()); });
    advance(0.5);
    std::uint32_t mid = renderToImage(*v)->pixelAt(5, 5);
    EXPECT_NEAR(int(mid >> 16 & 255), 128, 3) << "half black, half white";
    advance(0.5);
    EXPECT_EQ(renderToImage(*v)->pixelAt(5, 5), 0xFFFFFFFFu);
}

// ---- pictures left for the host ------------------------------------------------------------

namespace {

/// Draws a picture the way a video view does, filling its bounds.
class PictureView : public View {
public:
    using View::View;
    rt::Ref<Image> picture = checkerImage();
    bool drawsContent() const override { return true; }
    void draw(ImageContext& context, const Rect&) override {
        context.saveState();
        context.clipToRect(Rect(0, 0, bounds().size.width, bounds().size.height));
        context.drawPicture(*picture, Rect(-10, 0, bounds().size.width + 20, bounds().size.height));
        context.restoreState();
    }
};

struct PictureScene {
    rt::Ref<View> root = rt::make<View>(Rect(0, 0, 100, 80));
    rt::Ref<PictureView> video = rt::make<PictureView>(Rect(20, 10, 60, 40));
    rt::Ref<View> bar = rt::make<View>(Rect(0, 20, 100, 10));
    PictureScene() {
        root->setBackgroundColor(Color::rgba(0, 0, 0, 1));
        root->addSubview(video);
        video->addSubview(bar);
        bar->setBackgroundColor(Color::rgba(1, 1, 1, 0.5));
    }
    /// Draws at twice the size, leaving pictures; answers the picture.
    rt::Ref<Image> draw(std::vector<PlacedPicture>& pictures) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 160);
        cairo_t* cr = cairo_create(s);
        cairo_scale(cr, 2, 2);
        renderViewLeavingPictures(*root, cr, 2, &pictures);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        return rt::make<Image>(s, 2.0);
    }
};

}  // namespace

TEST(Rendering, APictureLeftForTheHostIsPlacedInPixelsAndItsVisiblePartLeftTransparent) {
    PictureScene scene;
    std::vector<PlacedPicture> pictures;
    auto drawn = scene.draw(pictures);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].image, scene.video->picture);
    // The picture overhangs the view by 10 points each side; the view's clip cuts it.
    EXPECT_EQ(pictures[0].rect, Rect(20, 20, 160, 80));
    EXPECT_EQ(pictures[0].visible, Rect(40, 20, 120, 80));
    EXPECT_EQ(drawn->pixelAt(100, 40), 0u) << "the picture's area is left transparent";
    EXPECT_EQ(drawn->pixelAt(10, 10), 0xFF000000u) << "the rest of the tree is drawn";
    EXPECT_NEAR(double(drawn->pixelAt(100, 70) >> 24), 128, 1) << "a half-transparent subview stays over the hole";
    EXPECT_EQ(drawn->pixelAt(30, 30), 0xFF000000u) << "the overhang outside the clip is not left";
}

TEST(Rendering, PicturesThatCannotBePlacedAreDrawnInTheTree) {
    for (int variant = 0; variant < 3; ++variant) {
        PictureScene scene;
        if (variant == 0) scene.video->setAlpha(0.5);
        if (variant == 1) scene.video->setTransform(transformMakeRotation(0.3));
        std::vector<PlacedPicture> pictures;
        auto drawn = variant == 2 ? renderToImage(*scene.root, 2) : scene.draw(pictures);
        EXPECT_TRUE(pictures.empty()) << "variant " << variant;
        EXPECT_NE(drawn->pixelAt(100, 30) >> 24, 0u) << "variant " << variant << ": the picture is drawn";
    }
}

// A host whose tree did not change gets a new picture by running only the picture view's
// own drawing again, under the maps and clips the whole pass drew it with.
TEST(Rendering, PictureViewsNamedByAPassDrawTheirNewPictureWhereThePassPlacedIt) {
    PictureScene scene;
    auto clipper = rt::make<View>(Rect(10, 5, 70, 60));
    clipper->setClipsToBounds(true);
    scene.video->removeFromSuperview();
    scene.video->setFrame(Rect(20, 10, 60, 40));  // overhangs the clipper's right edge
    scene.root->addSubview(clipper);
    clipper->addSubview(scene.video);
    std::vector<PlacedPicture> pictures;
    std::vector<rt::Weak<View>> drawers;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 160);
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, 2, 2);
    renderViewLeavingPictures(*scene.root, cr, 2, &pictures, &drawers);
    ASSERT_EQ(drawers.size(), 1u);
    EXPECT_EQ(drawers[0].lock(), scene.video);
    ASSERT_EQ(pictures.size(), 1u);
    // A new picture: only the view's drawing runs, on a surface that keeps nothing.
    scene.video->picture = checkerImage();
    cairo_surface_t* nothing = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* again = cairo_create(nothing);
    cairo_scale(again, 2, 2);
    std::vector<PlacedPicture> now;
    EXPECT_TRUE(redrawPictures(*scene.root, again, 2, drawers, now));
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].image, scene.video->picture);
    EXPECT_EQ(now[0].rect, pictures[0].rect);
    EXPECT_EQ(now[0].visible, pictures[0].visible) << "the clipper's clip applies as in the pass";
    // Faded, the picture goes into the tree: the pass says so and a redraw cannot serve.
    scene.video->setAlpha(0.5);
    pictures.clear();
    drawers.clear();
    renderViewLeavingPictures(*scene.root, cr, 2, &pictures, &drawers);
    EXPECT_TRUE(pictures.empty());
    ASSERT_EQ(drawers.size(), 2u);
    EXPECT_TRUE(drawers[1].expired());
    now.clear();
    EXPECT_FALSE(redrawPictures(*scene.root, again, 2, drawers, now));
    // A view no longer under the root cannot be drawn where the pass drew it.
    scene.video->setAlpha(1);
    drawers = {scene.video};
    scene.video->removeFromSuperview();
    EXPECT_FALSE(redrawPictures(*scene.root, again, 2, drawers, now));
    cairo_destroy(again);
    cairo_surface_destroy(nothing);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}
