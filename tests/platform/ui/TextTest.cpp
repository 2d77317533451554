// Fonts are pinned, text is measured from real metrics, labels size themselves.

#include <cmath>

#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/Text.h>
#include "CairoDrawing.h"

using namespace ui;

TEST(Text, TheFontConfigurationIsPinnedToDejaVuSans) {
    EXPECT_FALSE(fontConfigurationFile().empty()) << "the library finds its fontconfig file";
    // DejaVu Sans at 17 points: ascent 0.928 em, descent 0.236 em (the face's own numbers).
    auto font = Font::systemFontOfSize(17);
    EXPECT_NEAR(font->ascender(), 17 * 0.928, 0.3);
    EXPECT_NEAR(-font->descender(), 17 * 0.236, 0.3);
    EXPECT_GT(Font::boldSystemFontOfSize(17)->numericWeight(), font->numericWeight());
}

TEST(Text, MeasuringWrapsAtTheWidthAndKeepsOnlyLinesThatFit) {
    TextLayout layout;
    layout.font = Font::systemFontOfSize(10);
    AttributedString text("one two three four five six seven eight nine ten");
    Size single = measureText(text, {kInfinity, kInfinity}, layout);
    double line = single.height;
    EXPECT_GT(single.width, 100);
    EXPECT_NEAR(line, 10 * 1.164, 0.6) << "one line is ascent plus descent";

    Size wrapped = measureText(text, {60, kInfinity}, layout);
    EXPECT_LE(wrapped.width, 60);
    int lines = static_cast<int>(std::lround(wrapped.height / line));
    EXPECT_GE(lines, 4);
    Size limited = measureText(text, {60, line * 2 + 1}, layout);
    EXPECT_NEAR(limited.height, 2 * line, 0.01) << "only the lines that fit the height";
    Size tiny = measureText(text, {60, 1}, layout);
    EXPECT_NEAR(tiny.height, line, 0.01) << "the first line always counts";
    EXPECT_EQ(measureText(AttributedString(""), {100, 100}, layout), (Size{0, 0}));

    // A larger font in part of the text makes its line taller.
    AttributedString mixed("small BIG");
    TextAttributes big;
    big.font = Font::systemFontOfSize(20);
    mixed.addAttributes(6, 3, big);
    EXPECT_GT(measureText(mixed, {kInfinity, kInfinity}, layout).height, line * 1.5);
}

TEST(Text, LabelSizeThatFitsForOneTwoAndUnlimitedLines) {
    auto label = rt::make<Label>(Rect(0, 0, 100, 20));
    label->setFont(Font::systemFontOfSize(12));
    label->setText("The quick brown fox jumps over the lazy dog");
    Size one = label->sizeThatFits({100, 1000});
    EXPECT_GT(one.width, 100) << "one line does not wrap";
    EXPECT_EQ(one.width, std::ceil(one.width)) << "rounded up to whole points";
    double line = one.height;

    label->setNumberOfLines(2);
    Size two = label->sizeThatFits({100, 1000});
    EXPECT_LE(two.width, 100);
    EXPECT_NEAR(two.height, std::ceil(2 * (line - 0.5)), 1.0);

    label->setNumberOfLines(0);
    Size all = label->sizeThatFits({100, 1000});
    EXPECT_GT(all.height, two.height);
    EXPECT_LE(all.width, 100);

    label->sizeToFit();
    EXPECT_EQ(label->bounds().size, label->sizeThatFits(label->bounds().size));
    label->setText("");
    EXPECT_EQ(label->sizeThatFits({100, 100}), (Size{0, 0}));
}

TEST(Text, AdjustingLabelShrinksTheFontDownToTheMinimumScale) {
    auto label = rt::make<Label>(Rect(0, 0, 60, 20));
    label->setFont(Font::systemFontOfSize(20));
    label->setText("A rather long title");
    EXPECT_EQ(label->fittingFont()->pointSize(), 20) << "off by default";
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumScaleFactor(0.25);
    double fitted = label->fittingFont()->pointSize();
    EXPECT_LT(fitted, 20);
    EXPECT_GE(fitted, 5);
    TextLayout l;
    l.font = label->fittingFont();
    EXPECT_LE(measureText(AttributedString(label->text()), {kInfinity, kInfinity}, l).width, 60);
    label->setMinimumScaleFactor(0.9);
    EXPECT_EQ(label->fittingFont()->pointSize(), 18) << "never below the minimum";
}

namespace {

/// The debug console's text set-up: 13 points, broken by character, no line limit.
TextLayout consoleLayout() {
    TextLayout layout;
    layout.font = Font::systemFontOfSize(13);
    layout.lineBreakMode = LineBreakMode::CharWrapping;
    return layout;
}

struct Canvas {
    cairo_surface_t* surface;
    cairo_t* cr;
    Canvas(int w, int h)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)), cr(cairo_create(surface)) {}
    ~Canvas() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    bool samePixels(const Canvas& other) {
        cairo_surface_flush(surface);
        cairo_surface_flush(other.surface);
        int h = cairo_image_surface_get_height(surface), stride = cairo_image_surface_get_stride(surface);
        return std::memcmp(cairo_image_surface_get_data(surface), cairo_image_surface_get_data(other.surface),
                           std::size_t(h) * stride) == 0;
    }
};

}  // namespace

TEST(Text, WrappingByCharacterAddsNoHyphenToMeasureOrToDraw) {
    TextLayout layout = consoleLayout();
    const std::string run(30, 'a');
    double glyph = measureText(AttributedString("a"), {kInfinity, kInfinity}, layout).width;
    double line = measureText(AttributedString("a"), {kInfinity, kInfinity}, layout).height;
    Size wrapped = measureText(AttributedString(run), {100, kInfinity}, layout);
    // The widest line holds whole characters and nothing else.
    int perLine = static_cast<int>(std::floor(100 / glyph + 1e-9));
    ASSERT_GT(perLine, 1);
    EXPECT_NEAR(wrapped.width, perLine * glyph, 1e-6) << "a line is as wide as the characters it holds";
    int lines = (30 + perLine - 1) / perLine;
    EXPECT_NEAR(wrapped.height, lines * line, 1e-6);

    // Drawn, the wrapped block is exactly its lines drawn one by one: no added mark.
    Canvas block(120, 120), byLine(120, 120);
    TextLayout one = layout;
    one.lineBreakMode = LineBreakMode::Clipping;
    Size drawn = drawText(block.cr, AttributedString(run), Rect(0, 0, 100, 120), layout);
    EXPECT_EQ(drawn, wrapped) << "drawing lays the text out as measuring does";
    for (int i = 0; i < lines; ++i) {
        std::string part = run.substr(std::size_t(i) * perLine, perLine);
        drawText(byLine.cr, AttributedString(part), Rect(0, i * line, 120, line + 1), one);
    }
    EXPECT_TRUE(block.samePixels(byLine));
}

TEST(Text, ALabelWrappingTheConsolesTextByCharacterMatchesItsPicture) {
    auto root = rt::make<View>(Rect(0, 0, 150, 110));
    root->setBackgroundColor(Color::rgba(0, 0.13, 0.07, 1));
    auto label = rt::make<Label>(Rect(0, 0, 150, 110));
    label->setTextColor(Color::whiteColor());
    label->setFont(Font::systemFontOfSize(13));
    label->setLineBreakMode(LineBreakMode::CharWrapping);
    label->setNumberOfLines(0);
    label->setText("Content URL: https://origin.test/vod/index.m3u8\nFormat: avc1 - mp4a (320 x 180)\n");
    root->addSubview(label);
    Size fits = label->sizeThatFits({150, 1000});
    EXPECT_LE(fits.width, 150);
    TextLayout layout = consoleLayout();
    Size measured = measureText(AttributedString(label->text()), {150, kInfinity}, layout);
    EXPECT_EQ(fits.height, std::ceil(measured.height)) << "the label sizes itself from the same layout";
    EXPECT_MATCHES_GOLDEN(*renderToImage(*root, 2.0), zidtest::testPath("golden"), "char_wrapped_label_2x");
}

// A label keeps its laid-out text from one draw to the next; after any change that
// alters the layout (text, font, size, line breaking, alignment, line limit, runs) or
// only the drawing (colour), it draws exactly what a fresh label with the same settings
// draws.
TEST(Text, ALabelRedrawnAfterAChangeDrawsWhatAFreshLabelDraws) {
    using Change = std::function<void(Label&)>;
    const std::vector<std::pair<const char*, Change>> changes = {
        {"nothing", [](Label&) {}},
        {"text", [](Label& l) { l.setText("Another channel name"); }},
        {"font", [](Label& l) { l.setFont(Font::boldSystemFontOfSize(13)); }},
        {"width", [](Label& l) { l.setFrame(Rect(0, 0, 70, 40)); }},
        {"line break", [](Label& l) { l.setLineBreakMode(LineBreakMode::Clipping); }},
        {"alignment", [](Label& l) { l.setTextAlignment(TextAlignment::Right); }},
        {"line limit", [](Label& l) {
             l.setLineBreakMode(LineBreakMode::WordWrapping);
             l.setNumberOfLines(2);
         }},
        {"colour", [](Label& l) { l.setTextColor(Color::rgba(0.8, 0.1, 0.1, 1)); }},
        {"runs", [](Label& l) {
             AttributedString text("Another channel name");
             text.addAttributes(0, 7, TextAttributes{Font::systemFontOfSize(9), Color::rgba(0, 0, 1, 1)});
             l.setAttributedText(text);
         }},
        {"run colour", [](Label& l) {
             AttributedString text("Another channel name");
             text.addAttributes(0, 7, TextAttributes{Font::systemFontOfSize(9), Color::rgba(0, 0.6, 0, 1)});
             l.setAttributedText(text);
         }},
    };
    auto fresh = [] {
        auto label = rt::make<Label>(Rect(0, 0, 110, 40));
        label->setText("Channel 1234567890");
        label->setFont(Font::systemFontOfSize(12));
        return label;
    };
    auto kept = fresh();
    std::vector<std::uint8_t> before = renderToImage(*kept, 1)->pngData();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        changes[i].second(*kept);
        auto expected = fresh();
        for (std::size_t j = 0; j <= i; ++j) changes[j].second(*expected);
        auto now = renderToImage(*kept, 1)->pngData();
        EXPECT_EQ(now, renderToImage(*expected, 1)->pngData()) << "after changing the " << changes[i].first;
        if (i > 0) {
            EXPECT_NE(now, before) << "changing the " << changes[i].first << " shows";
        }
        EXPECT_EQ(renderToImage(*kept, 1)->pngData(), now) << "drawn again unchanged, after the " << changes[i].first;
        before = now;
    }
}
