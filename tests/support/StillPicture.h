#pragma once
// A still picture standing in for the video in drawn tests: a sky with a sun, over ground.

#include <ui/View.h>

namespace zidtest {

/// The sky fills `sky`; the sun and the ground stand at their frames within it.
inline rt::Ref<ui::View> stillPicture(const ui::Rect& sky, const ui::Rect& sun, const ui::Rect& ground) {
    auto picture = rt::make<ui::View>(sky);
    picture->setBackgroundColor(ui::Color::rgba(0.35, 0.55, 0.8, 1));
    auto sunView = rt::make<ui::View>(sun);
    sunView->setBackgroundColor(ui::Color::rgba(0.98, 0.85, 0.3, 1));
    auto groundView = rt::make<ui::View>(ground);
    groundView->setBackgroundColor(ui::Color::rgba(0.25, 0.5, 0.25, 1));
    picture->addSubview(sunView);
    picture->addSubview(groundView);
    return picture;
}

}  // namespace zidtest
