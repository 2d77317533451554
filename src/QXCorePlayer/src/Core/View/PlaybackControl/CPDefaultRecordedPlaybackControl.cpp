#include "CPDefaultRecordedPlaybackControl.h"

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>

namespace zid {

rt::Ref<CPDefaultRecordedPlaybackControl> CPDefaultRecordedPlaybackControl::controlForMediaSource(
    const rt::Ref<ICPMediaSource>& source, const rt::Ref<ICPMediaPlayer>& player) {
    return rt::make<CPDefaultRecordedPlaybackControl>(source, player, ui::Rect(0, 0, 100, 100));
}

rt::Ref<QXToolbarItem> CPDefaultRecordedPlaybackControl::contentDetailsItem() {
    return recordedContentDetailsToolbarItem();
}

QXToolbar::Items CPDefaultRecordedPlaybackControl::bottomItems() {
    auto time = timeLabelItem();
    time->label()->setTextAlignment(ui::TextAlignment::Right);
    auto slider = sliderItem();
    slider->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
    auto duration = durationLabelItem();
    duration->label()->setTextAlignment(ui::TextAlignment::Left);
    return {playButtonItem(),
            time,
            QXToolbarItem::fixedSpaceItemWithWidth(4),
            slider,
            QXToolbarItem::fixedSpaceItemWithWidth(4),
            duration,
            airplayButtonItem(),
            pictureInPictureToolbarItem()};
}

}  // namespace zid
