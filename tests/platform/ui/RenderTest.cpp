// Pictures: a small view tree rendered and compared with committed references.

#include <numbers>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <VirtualTime.h>
#include <ui/Animation.h>
#include <ui/ImageContext.h>
#include <ui/ImageView.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/Window.h>

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
    EXPECT_MATCHES_GOLDEN(*picture, ZID_GOLDEN_DIR, "sample_tree_2x");
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
