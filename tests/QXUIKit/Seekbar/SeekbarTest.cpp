// The seekbar: positions of the fill and markers, the label texts and the rules that
// hide labels which would overlap, bindings of its colours and alpha, and its picture.

#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Renderer.h>

#include "QXUIKit/Seekbar/QXSeekbar.h"

using namespace zid;
using ui::Rect;

namespace {

class Seekbar : public zidtest::VirtualTimeTest {
protected:
    rt::Ref<QXSeekbar> bar(double width = 300, double height = 40) {
        auto b = rt::make<QXSeekbar>(Rect(0, 0, width, height));
        b->layoutIfNeeded();
        return b;
    }
};

std::string clockText(double seconds) {
    long s = static_cast<long>(seconds);
    char text[32];
    if (s >= 3600) std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
}

bool finite(const Rect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

}  // namespace

TEST_F(Seekbar, NewBarShowsAnEmptyFillAndBothLabelsWithoutASeekMarker) {
    auto b = bar();
    EXPECT_EQ(b->progressView()->frame(), Rect(0, 0, 0, 40));
    EXPECT_EQ(b->trackView()->frame(), Rect(0, 0, 2, 40));
    EXPECT_EQ(b->seekView()->alpha(), 0);
    EXPECT_EQ(b->seekValueLabel()->alpha(), 0);
    EXPECT_EQ(b->progressValueLabel()->text(), "0.00");
    EXPECT_EQ(b->maxValueLabel()->text(), "1.00");
    EXPECT_EQ(b->seekValueLabel()->text(), "-1.00");
    Rect p = b->progressValueLabel()->frame();
    Rect m = b->maxValueLabel()->frame();
    EXPECT_EQ(p.origin.x, 10) << "moved right of the fill's edge, which sits at x 0";
    EXPECT_DOUBLE_EQ(m.origin.x + m.size.width, 290) << "right-aligned 10 points from the right edge";
    EXPECT_DOUBLE_EQ(p.origin.y, (40 - p.size.height) * 0.5);
    EXPECT_EQ(b->progressValueLabel()->alpha(), 1);
    EXPECT_EQ(b->maxValueLabel()->alpha(), 1);
    EXPECT_EQ(b->backgroundView()->frame(), Rect(0, 0, 300, 40));
    EXPECT_EQ(b->subviews().size(), 7u);
    EXPECT_EQ(b->subviews()[0], b->backgroundView());
    EXPECT_EQ(b->subviews()[6], b->seekValueLabel());
}

TEST_F(Seekbar, PositionsMapTheRangeAndTruncateTowardZero) {
    auto b = bar();
    b->setMinValue(100);
    b->setMaxValue(200);
    b->setProgressValue(150);
    EXPECT_TRUE(b->needsLayout()) << "a value change marks the bar for layout";
    b->layoutIfNeeded();
    EXPECT_EQ(b->progressView()->frame(), Rect(0, 0, 150, 40));
    EXPECT_EQ(b->trackView()->frame(), Rect(148, 0, 2, 40));

    auto narrow = bar(100);
    narrow->setMaxValue(1000);
    EXPECT_EQ(narrow->positionForValue(9), 0) << "0.9 points truncates to 0";
    EXPECT_EQ(narrow->positionForValue(-9), 0) << "-0.9 points truncates toward zero";
    EXPECT_EQ(narrow->positionForValue(19), 1);
    EXPECT_EQ(narrow->positionForValue(2000), 200) << "values outside the range are not clamped";
    EXPECT_EQ(narrow->positionForValue(-1000), -100);
}

TEST_F(Seekbar, AnEmptyRangePutsEverythingAtTheLeftEdge) {
    for (float end : {0.0f, 7.0f}) {
        SCOPED_TRACE(end);
        auto b = bar();
        b->setMinValue(end);
        b->setMaxValue(end);
        b->setProgressValue(5);
        b->setSeekValue(3);
        b->layoutIfNeeded();
        EXPECT_EQ(b->positionForValue(5), 0);
        EXPECT_EQ(b->positionForValue(end), 0);
        EXPECT_EQ(b->progressView()->frame(), Rect(0, 0, 0, 40));
        EXPECT_EQ(b->trackView()->frame(), Rect(0, 0, 2, 40));
        EXPECT_EQ(b->seekView()->frame(), Rect(0, 0, 4, 40));
        for (const auto& v : b->subviews()) EXPECT_TRUE(finite(v->frame()));
    }
}

TEST_F(Seekbar, SeekMarkerShowsForEveryValueButExactlyMinusOne) {
    auto b = bar();
    b->setProgressValue(0.5);
    b->setSeekValue(0.8f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->seekView()->alpha(), 1);
    EXPECT_EQ(b->seekValueLabel()->alpha(), 1);
    EXPECT_EQ(b->seekView()->frame(), Rect(236, 0, 4, 40));
    Rect s = b->seekValueLabel()->frame();
    EXPECT_DOUBLE_EQ(s.origin.x + s.size.width, 240 - 10) << "left of the marker, a padding away";

    b->setSeekValue(-1);
    b->layoutIfNeeded();
    EXPECT_EQ(b->seekView()->alpha(), 0);
    EXPECT_EQ(b->seekValueLabel()->alpha(), 0);
    EXPECT_EQ(b->seekView()->frame(), Rect(236, 0, 4, 40)) << "a hidden marker keeps its frame";

    b->setSeekValue(-1.0001f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->seekView()->alpha(), 1);
    EXPECT_EQ(b->seekView()->frame(), Rect(0, 0, 4, 40)) << "a marker left of the bar is held at its edge";
    EXPECT_EQ(b->seekValueLabel()->frame().origin.x, -300 + 10) << "the label goes right of the marker position";
}

TEST_F(Seekbar, FillFollowsValuesOutsideTheRange) {
    auto b = bar();
    b->setProgressValue(1.5);
    b->layoutIfNeeded();
    EXPECT_EQ(b->progressView()->bounds().size.width, 450);
    EXPECT_EQ(b->trackView()->frame(), Rect(448, 0, 2, 40));
    b->setProgressValue(-0.2f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->trackView()->frame(), Rect(0, 0, 2, 40)) << "the marker stays at the left edge";
    EXPECT_EQ(b->progressValueLabel()->frame().origin.x, -60 + 10);
}

TEST_F(Seekbar, LabelsGiveWayToTheSeekLabelAndTheMaximumToTheProgressLabel) {
    auto b = bar(600);
    b->setProgressValue(0.5);
    b->layoutIfNeeded();
    EXPECT_EQ(b->progressValueLabel()->alpha(), 1);
    EXPECT_EQ(b->maxValueLabel()->alpha(), 1);

    // A seek label near the progress label hides it.
    b->setSeekValue(0.55f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->seekValueLabel()->alpha(), 1);
    EXPECT_EQ(b->progressValueLabel()->alpha(), 0);
    EXPECT_EQ(b->maxValueLabel()->alpha(), 1);

    // Far apart, with less than two paddings between the widened frames, both show.
    b->setSeekValue(0.1f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->progressValueLabel()->alpha(), 1);

    // Both frames are widened by the padding: a gap below two paddings hides the
    // progress label, a wider one does not.
    b->setSeekValue(-1);
    b->layoutIfNeeded();
    const double left = b->progressValueLabel()->frame().origin.x;  // 300 - width - 10
    for (double gap : {15.0, 25.0}) {
        SCOPED_TRACE(gap);
        // The seek label ends a padding left of its marker at xs.
        double xs = left + 10 - gap;
        b->setSeekValue(static_cast<float>((xs + 0.5) / 600));
        b->layoutIfNeeded();
        Rect s = b->seekValueLabel()->frame();
        ASSERT_DOUBLE_EQ(s.origin.x + s.size.width + gap, left);
        EXPECT_EQ(b->progressValueLabel()->alpha(), gap < 20 ? 0 : 1);
    }

    // A seek label near the maximum label hides that one.
    b->setSeekValue(1.0f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->maxValueLabel()->alpha(), 0);
    EXPECT_EQ(b->progressValueLabel()->alpha(), 1);

    // A progress label reaching the maximum label hides the maximum label, seek or not.
    b->setSeekValue(-1);
    b->setProgressValue(0.97f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->progressValueLabel()->alpha(), 1);
    EXPECT_EQ(b->maxValueLabel()->alpha(), 0);
    b->setProgressValue(0.8f);
    b->layoutIfNeeded();
    EXPECT_EQ(b->maxValueLabel()->alpha(), 1);
}

TEST_F(Seekbar, MappingRendersEveryLabelAtOnceAndAppliesToLaterChanges) {
    auto b = bar();
    b->setMaxValue(3725);
    b->setProgressValue(65);
    EXPECT_EQ(b->maxValueLabel()->text(), "3725.00") << "texts follow their values before any layout";
    b->setValueMapping(clockText);
    EXPECT_EQ(b->progressValueLabel()->text(), "01:05");
    EXPECT_EQ(b->maxValueLabel()->text(), "01:02:05");
    EXPECT_EQ(b->seekValueLabel()->text(), "00:-1") << "the mapping sees -1 like any value";
    b->setSeekValue(125);
    EXPECT_EQ(b->seekValueLabel()->text(), "02:05");
    b->setValueMapping(nullptr);
    EXPECT_EQ(b->seekValueLabel()->text(), "125.00") << "no mapping reads as the default one";
}

TEST_F(Seekbar, LayoutSettingsWaitForTheNextPassAndAlphaReachesThePartsAtOnce) {
    auto b = bar();
    b->setProgressValue(0.5);
    b->layoutIfNeeded();
    b->setTrackViewWidth(6);
    b->layoutIfNeeded();
    EXPECT_EQ(b->trackView()->frame().size.width, 2) << "setting the width does not mark the bar";
    b->setNeedsLayout();
    b->layoutIfNeeded();
    EXPECT_EQ(b->trackView()->frame(), Rect(144, 0, 6, 40));

    b->setComponentAlpha(0.5);
    EXPECT_EQ(b->backgroundView()->alpha(), 0.5);
    EXPECT_EQ(b->progressView()->alpha(), 0.5);
    EXPECT_EQ(b->trackView()->alpha(), 0.5);
    EXPECT_EQ(b->progressValueLabel()->alpha(), 0.5);
    EXPECT_EQ(b->seekView()->alpha(), 0) << "the seek marker has no alpha binding";
    b->setNeedsLayout();
    b->layoutIfNeeded();
    EXPECT_EQ(b->progressValueLabel()->alpha(), 1) << "a visible label is opaque after a pass";
    EXPECT_EQ(b->backgroundView()->alpha(), 0.5);

    b->setBgColor(ui::Color::redColor());
    b->setTrackColor(ui::Color::greenColor());
    b->setTextColor(ui::Color::blackColor());
    EXPECT_TRUE(b->backgroundView()->backgroundColor()->isEqual(*ui::Color::redColor()));
    EXPECT_TRUE(b->trackView()->backgroundColor()->isEqual(*ui::Color::greenColor()));
    EXPECT_TRUE(b->seekView()->backgroundColor()->isEqual(*ui::Color::greenColor()));
    EXPECT_TRUE(b->seekValueLabel()->textColor()->isEqual(*ui::Color::blackColor()));
    EXPECT_TRUE(b->maxValueLabel()->textColor()->isEqual(*ui::Color::blackColor()));
}

TEST_F(Seekbar, AnimatedSetterMovesTheFillOverAThirdOfASecond) {
    auto b = bar();
    b->setProgressValue(0.5, true);
    EXPECT_EQ(b->progressView()->frame(), Rect(0, 0, 150, 40)) << "the model changes at once";
    advance(0.15);
    double mid = b->progressView()->presentedFrame().size.width;
    EXPECT_GT(mid, 0);
    EXPECT_LT(mid, 150);
    advance(0.2);
    EXPECT_EQ(b->progressView()->presentedFrame().size.width, 150);
}

TEST_F(Seekbar, BindingsKeepNothingAlive) {
    rt::Weak<QXSeekbar> weak;
    {
        auto b = bar();
        weak = b;
        b->setProgressValue(0.3f);
    }
    EXPECT_TRUE(weak.expired());
}

TEST_F(Seekbar, Picture) {
    auto b = bar(320, 30);
    b->setValueMapping(clockText);
    b->setMaxValue(600);
    b->setProgressValue(222);
    b->setSeekValue(420);
    b->layoutIfNeeded();
    auto image = ui::renderToImage(*b, 2);
    EXPECT_MATCHES_GOLDEN(*image, zidtest::testPath("golden"), "seekbar");
}
