// Toolbars and items of the facade's own toolbar control, for a host that lays out its
// controls itself (control style 1).
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>

#include <QXSDKPlayer/Common/ConstPlaybackControlFactory.h>

namespace zid {

rt::Ref<ICPPlaybackControlFactory> QXQuorvexPlayer::customToolbarPlaybackControlFactory() const {
    return rt::make<ConstPlaybackControlFactory>(customToolbarPlaybackControl_);
}

rt::Ref<QXToolbar> QXQuorvexPlayer::topToolbar() const { return customToolbarPlaybackControl_->topToolbar(); }
rt::Ref<QXToolbar> QXQuorvexPlayer::bottomToolbar() const { return customToolbarPlaybackControl_->bottomToolbar(); }
rt::Ref<CPPlayButtonToolbarItem> QXQuorvexPlayer::playButtonItem() const {
    return customToolbarPlaybackControl_->playButtonItem();
}
rt::Ref<CPPlaybackSliderToolbarItem> QXQuorvexPlayer::sliderItem() const {
    return customToolbarPlaybackControl_->sliderItem();
}
rt::Ref<CPPlaybackTimeLabelToolbarItem> QXQuorvexPlayer::timeLabelItem() const {
    return customToolbarPlaybackControl_->timeLabelItem();
}
rt::Ref<CPContentDurationToolbarItem> QXQuorvexPlayer::durationLabelItem() const {
    return customToolbarPlaybackControl_->durationLabelItem();
}
rt::Ref<CPTimePerDurationToolbarItem> QXQuorvexPlayer::timePerDurationLabelItem() const {
    return customToolbarPlaybackControl_->timePerDurationLabelItem();
}
rt::Ref<CPViewerCountToolbarItem> QXQuorvexPlayer::viewerCountLabelItem() const {
    return customToolbarPlaybackControl_->viewerCountLabelItem();
}
rt::Ref<CPStartedDateToolbarItem> QXQuorvexPlayer::startedDateLabelItem() const {
    return customToolbarPlaybackControl_->startedDateLabelItem();
}
rt::Ref<CPContentTitleToolbarItem> QXQuorvexPlayer::titleLabelItem() const {
    return customToolbarPlaybackControl_->titleLabelItem();
}
rt::Ref<CPAirplayToolbarItem> QXQuorvexPlayer::airplayButtonItem() const {
    return customToolbarPlaybackControl_->airplayButtonItem();
}
rt::Ref<CPPictureInPictureToolbarItem> QXQuorvexPlayer::pictureInPictureButtonItem() const {
    return customToolbarPlaybackControl_->pictureInPictureToolbarItem();
}
rt::Ref<QXButtonToolbarItem> QXQuorvexPlayer::subtitlesButtonItem() const {
    return customToolbarPlaybackControl_->subtitlesButtonItem();
}
rt::Ref<QXButtonToolbarItem> QXQuorvexPlayer::audioTracksButtonItem() const {
    return customToolbarPlaybackControl_->audioTracksButtonItem();
}
rt::Ref<QXImageToolbarItem> QXQuorvexPlayer::liveBadgeItem() const {
    return customToolbarPlaybackControl_->liveBadgeToolbarItem();
}

}  // namespace zid
