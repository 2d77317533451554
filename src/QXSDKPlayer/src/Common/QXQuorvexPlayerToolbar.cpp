// Toolbars and items of the facade's own toolbar control, for a host that lays out its
// controls itself (control style 1).
#include <rt/MainThread.h>
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

namespace {
using Impl = QXQuorvexPlayerImpl;
}  // namespace

rt::Ref<CPToolbarPlaybackControl> QXQuorvexPlayer::customToolbarPlaybackControl() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::customToolbarPlaybackControlKey);
}

rt::Ref<QXToolbar> QXQuorvexPlayer::topToolbar() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::topToolbar>(*this, "topToolbar");
}
rt::Ref<QXToolbar> QXQuorvexPlayer::bottomToolbar() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::bottomToolbar>(*this, "bottomToolbar");
}
rt::Ref<CPPlayButtonToolbarItem> QXQuorvexPlayer::playButtonItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::playButtonItem>(*this, "playButtonItem");
}
rt::Ref<CPPlaybackSliderToolbarItem> QXQuorvexPlayer::sliderItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::sliderItem>(*this, "sliderItem");
}
rt::Ref<CPPlaybackTimeLabelToolbarItem> QXQuorvexPlayer::timeLabelItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::timeLabelItem>(*this, "timeLabelItem");
}
rt::Ref<CPContentDurationToolbarItem> QXQuorvexPlayer::durationLabelItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::durationLabelItem>(*this, "durationLabelItem");
}
rt::Ref<CPTimePerDurationToolbarItem> QXQuorvexPlayer::timePerDurationLabelItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::timePerDurationLabelItem>(*this, "timePerDurationLabelItem");
}
rt::Ref<CPViewerCountToolbarItem> QXQuorvexPlayer::viewerCountLabelItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::viewerCountLabelItem>(*this, "viewerCountLabelItem");
}
rt::Ref<CPStartedDateToolbarItem> QXQuorvexPlayer::startedDateLabelItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::startedDateLabelItem>(*this, "startedDateLabelItem");
}
rt::Ref<CPContentTitleToolbarItem> QXQuorvexPlayer::titleLabelItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::titleLabelItem>(*this, "titleLabelItem");
}
rt::Ref<CPAirplayToolbarItem> QXQuorvexPlayer::airplayButtonItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::airplayButtonItem>(*this, "airplayButtonItem");
}
rt::Ref<CPPictureInPictureToolbarItem> QXQuorvexPlayer::pictureInPictureButtonItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::pictureInPictureToolbarItem>(*this, "pictureInPictureButtonItem");
}
rt::Ref<QXButtonToolbarItem> QXQuorvexPlayer::subtitlesButtonItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::subtitlesButtonItem>(*this, "subtitlesButtonItem");
}
rt::Ref<QXButtonToolbarItem> QXQuorvexPlayer::audioTracksButtonItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::audioTracksButtonItem>(*this, "audioTracksButtonItem");
}
rt::Ref<QXImageToolbarItem> QXQuorvexPlayer::liveBadgeItem() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostCall<&CPToolbarPlaybackControl::liveBadgeToolbarItem>(*this, "liveBadgeItem");
}

}  // namespace zid
