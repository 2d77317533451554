// Toolbars and items of the facade's own toolbar control, for a host that lays out its
// controls itself (control style 1).
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerImpl.h"

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

rt::Ref<ICPPlaybackControlFactory> QXQuorvexPlayerImpl::customToolbarPlaybackControlFactory() const {
    return rt::make<ConstPlaybackControlFactory>(customToolbarPlaybackControl_);
}

rt::Ref<CPToolbarPlaybackControl> QXQuorvexPlayer::customToolbarPlaybackControl() const {
    QXQuorvexPlayerImpl::requireMainThread("customToolbarPlaybackControl");
    return impl_->customToolbarPlaybackControl_;
}

rt::Ref<QXToolbar> QXQuorvexPlayer::topToolbar() const {
    QXQuorvexPlayerImpl::requireMainThread("topToolbar");
    return impl_->customToolbarPlaybackControl_->topToolbar();
}
rt::Ref<QXToolbar> QXQuorvexPlayer::bottomToolbar() const {
    QXQuorvexPlayerImpl::requireMainThread("bottomToolbar");
    return impl_->customToolbarPlaybackControl_->bottomToolbar();
}
rt::Ref<CPPlayButtonToolbarItem> QXQuorvexPlayer::playButtonItem() const {
    QXQuorvexPlayerImpl::requireMainThread("playButtonItem");
    return impl_->customToolbarPlaybackControl_->playButtonItem();
}
rt::Ref<CPPlaybackSliderToolbarItem> QXQuorvexPlayer::sliderItem() const {
    QXQuorvexPlayerImpl::requireMainThread("sliderItem");
    return impl_->customToolbarPlaybackControl_->sliderItem();
}
rt::Ref<CPPlaybackTimeLabelToolbarItem> QXQuorvexPlayer::timeLabelItem() const {
    QXQuorvexPlayerImpl::requireMainThread("timeLabelItem");
    return impl_->customToolbarPlaybackControl_->timeLabelItem();
}
rt::Ref<CPContentDurationToolbarItem> QXQuorvexPlayer::durationLabelItem() const {
    QXQuorvexPlayerImpl::requireMainThread("durationLabelItem");
    return impl_->customToolbarPlaybackControl_->durationLabelItem();
}
rt::Ref<CPTimePerDurationToolbarItem> QXQuorvexPlayer::timePerDurationLabelItem() const {
    QXQuorvexPlayerImpl::requireMainThread("timePerDurationLabelItem");
    return impl_->customToolbarPlaybackControl_->timePerDurationLabelItem();
}
rt::Ref<CPViewerCountToolbarItem> QXQuorvexPlayer::viewerCountLabelItem() const {
    QXQuorvexPlayerImpl::requireMainThread("viewerCountLabelItem");
    return impl_->customToolbarPlaybackControl_->viewerCountLabelItem();
}
rt::Ref<CPStartedDateToolbarItem> QXQuorvexPlayer::startedDateLabelItem() const {
    QXQuorvexPlayerImpl::requireMainThread("startedDateLabelItem");
    return impl_->customToolbarPlaybackControl_->startedDateLabelItem();
}
rt::Ref<CPContentTitleToolbarItem> QXQuorvexPlayer::titleLabelItem() const {
    QXQuorvexPlayerImpl::requireMainThread("titleLabelItem");
    return impl_->customToolbarPlaybackControl_->titleLabelItem();
}
rt::Ref<CPAirplayToolbarItem> QXQuorvexPlayer::airplayButtonItem() const {
    QXQuorvexPlayerImpl::requireMainThread("airplayButtonItem");
    return impl_->customToolbarPlaybackControl_->airplayButtonItem();
}
rt::Ref<CPPictureInPictureToolbarItem> QXQuorvexPlayer::pictureInPictureButtonItem() const {
    QXQuorvexPlayerImpl::requireMainThread("pictureInPictureButtonItem");
    return impl_->customToolbarPlaybackControl_->pictureInPictureToolbarItem();
}
rt::Ref<QXButtonToolbarItem> QXQuorvexPlayer::subtitlesButtonItem() const {
    QXQuorvexPlayerImpl::requireMainThread("subtitlesButtonItem");
    return impl_->customToolbarPlaybackControl_->subtitlesButtonItem();
}
rt::Ref<QXButtonToolbarItem> QXQuorvexPlayer::audioTracksButtonItem() const {
    QXQuorvexPlayerImpl::requireMainThread("audioTracksButtonItem");
    return impl_->customToolbarPlaybackControl_->audioTracksButtonItem();
}
rt::Ref<QXImageToolbarItem> QXQuorvexPlayer::liveBadgeItem() const {
    QXQuorvexPlayerImpl::requireMainThread("liveBadgeItem");
    return impl_->customToolbarPlaybackControl_->liveBadgeToolbarItem();
}

}  // namespace zid
