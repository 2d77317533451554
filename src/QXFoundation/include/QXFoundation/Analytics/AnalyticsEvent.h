#pragma once
// Small value objects that tell the host application what happened: a type number
// from 0 to 59 and optional parameters. Parameterless events are shared, process-wide
// instances (every request of a type answers the same object, so a parameter set on
// one is seen by every later report of that type); events with parameters are made
// new on each request.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <rt/Locked.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class AnalyticsEvent : public rt::Object {
    RT_CLASS(AnalyticsEvent, rt::Object)
public:
    /// Number of event types, and of preallocated events.
    static constexpr std::size_t TypeCount = 60;

    /// An event of that type without parameters.
    explicit AnalyticsEvent(std::uint64_t type = 0);

    std::uint64_t type() const { return type_.get(); }
    void setType(std::uint64_t type) { type_.set(type); }
    /// Parameter name to value; none until the first parameter is set.
    std::optional<rt::Dictionary> params() const;
    void setParams(std::optional<rt::Dictionary> params);
    /// Makes the parameters on first use, then stores the value under the key; a nil
    /// value removes the key.
    void setParam(const rt::Value& value, const std::string& key);

    /// The preallocated event of each type, index n having type n.
    static const std::vector<rt::Ref<AnalyticsEvent>>& analyticsEventObjects();

    // Parameterless events: the preallocated instance of the type.
    static rt::Ref<AnalyticsEvent> EventView() { return preallocated(0); }
    static rt::Ref<AnalyticsEvent> EventBroadcast() { return preallocated(1); }
    static rt::Ref<AnalyticsEvent> EventShareToTwitter() { return preallocated(2); }
    static rt::Ref<AnalyticsEvent> EventShareToFacebook() { return preallocated(3); }
    static rt::Ref<AnalyticsEvent> EventPrerollVideoClicked() { return preallocated(5); }
    static rt::Ref<AnalyticsEvent> EventLoginManually() { return preallocated(6); }
    static rt::Ref<AnalyticsEvent> EventFollow() { return preallocated(7); }
    static rt::Ref<AnalyticsEvent> EventUnfollow() { return preallocated(8); }
    static rt::Ref<AnalyticsEvent> EventAttend() { return preallocated(9); }
    static rt::Ref<AnalyticsEvent> EventUnattend() { return preallocated(10); }
    static rt::Ref<AnalyticsEvent> EventChatMessageSent() { return preallocated(11); }
    static rt::Ref<AnalyticsEvent> EventSocialStreamMessageSent() { return preallocated(12); }
    static rt::Ref<AnalyticsEvent> EventCreateChannel() { return preallocated(13); }
    static rt::Ref<AnalyticsEvent> EventLogout() { return preallocated(14); }
    static rt::Ref<AnalyticsEvent> EventLocalVideoUploadSuccess() { return preallocated(15); }
    static rt::Ref<AnalyticsEvent> EventLocalVideoUploadFail() { return preallocated(16); }
    static rt::Ref<AnalyticsEvent> EventSwitchCamera() { return preallocated(17); }
    static rt::Ref<AnalyticsEvent> EventBroadcastMuted() { return preallocated(18); }
    static rt::Ref<AnalyticsEvent> EventPremiumMembership1MO() { return preallocated(19); }
    static rt::Ref<AnalyticsEvent> EventPremiumMembership3MO() { return preallocated(20); }
    static rt::Ref<AnalyticsEvent> EventPremiumMembership6MO() { return preallocated(21); }
    static rt::Ref<AnalyticsEvent> EventSignup() { return preallocated(24); }
    static rt::Ref<AnalyticsEvent> EventPurchaseErrorPaymentCancelled() { return preallocated(25); }
    static rt::Ref<AnalyticsEvent> EventPurchaseErrorPaymentFailed() { return preallocated(26); }
    static rt::Ref<AnalyticsEvent> EventPurchaseErrorValidationFailed() { return preallocated(27); }
    static rt::Ref<AnalyticsEvent> EventPurchaseErrorMoneyLost() { return preallocated(28); }
    static rt::Ref<AnalyticsEvent> EventForgotPasswordCodeRequested() { return preallocated(29); }
    static rt::Ref<AnalyticsEvent> EventForgotPasswordChanged() { return preallocated(30); }
    static rt::Ref<AnalyticsEvent> EventPasswordLock() { return preallocated(31); }
    static rt::Ref<AnalyticsEvent> EventGeoLock() { return preallocated(32); }
    static rt::Ref<AnalyticsEvent> EventAgeLock() { return preallocated(33); }
    static rt::Ref<AnalyticsEvent> EventHashLock() { return preallocated(34); }
    static rt::Ref<AnalyticsEvent> EventViewerHourLock() { return preallocated(35); }
    static rt::Ref<AnalyticsEvent> EventEmbedLock() { return preallocated(36); }
    static rt::Ref<AnalyticsEvent> EventOtherLock() { return preallocated(37); }
    static rt::Ref<AnalyticsEvent> EventFlashTurnedOn() { return preallocated(38); }
    static rt::Ref<AnalyticsEvent> EventGridTurnedOn() { return preallocated(39); }
    static rt::Ref<AnalyticsEvent> EventSetBroadcastTitle() { return preallocated(40); }
    static rt::Ref<AnalyticsEvent> EventGridTurnedOff() { return preallocated(46); }
    static rt::Ref<AnalyticsEvent> EventSendFeedback() { return preallocated(48); }
    static rt::Ref<AnalyticsEvent> EventDeleteEvent() { return preallocated(51); }
    static rt::Ref<AnalyticsEvent> EventTooManyNetworkRequests() { return preallocated(52); }
    static rt::Ref<AnalyticsEvent> EventVideoCapturerFailed() { return preallocated(53); }
    static rt::Ref<AnalyticsEvent> EventAudioCapturerFailed() { return preallocated(54); }
    static rt::Ref<AnalyticsEvent> EventStatusUpdateSent() { return preallocated(55); }
    static rt::Ref<AnalyticsEvent> EventRatingHappy() { return preallocated(56); }
    static rt::Ref<AnalyticsEvent> EventRatingUnhappy() { return preallocated(57); }
    static rt::Ref<AnalyticsEvent> EventRatingLater() { return preallocated(58); }
    static rt::Ref<AnalyticsEvent> EventPurchaseErrorProductListMissing() { return preallocated(59); }

    // Events with parameters: a new event on every call.
    static rt::Ref<AnalyticsEvent> EventPrerollVideoStarted(std::int32_t duration);
    static rt::Ref<AnalyticsEvent> EventReportChannel(const rt::Value& mediaID);
    static rt::Ref<AnalyticsEvent> EventReportRecord(const rt::Value& mediaID);
    static rt::Ref<AnalyticsEvent> EventCrash(const rt::Value& appVersion, const rt::Value& osVersion);
    static rt::Ref<AnalyticsEvent> EventGatewayErrorLoginFailed(std::int32_t errorCode) { return withErrorCode(41, errorCode); }
    static rt::Ref<AnalyticsEvent> EventGatewayErrorSignupFailed(std::int32_t errorCode) { return withErrorCode(42, errorCode); }
    static rt::Ref<AnalyticsEvent> EventGatewayErrorChannelCreationFailed(std::int32_t errorCode) { return withErrorCode(43, errorCode); }
    static rt::Ref<AnalyticsEvent> EventGatewayErrorGetVerificationCodeFailed(std::int32_t errorCode) { return withErrorCode(44, errorCode); }
    static rt::Ref<AnalyticsEvent> EventGatewayErrorVerificationFailed(std::int32_t errorCode) { return withErrorCode(45, errorCode); }
    static rt::Ref<AnalyticsEvent> EventGatewayErrorSendFeedbackFailed(std::int32_t errorCode) { return withErrorCode(49, errorCode); }
    static rt::Ref<AnalyticsEvent> EventGatewayErrorDeleteVideoFailed(std::int32_t errorCode) { return withErrorCode(50, errorCode); }

private:
    static rt::Ref<AnalyticsEvent> preallocated(std::uint64_t type) { return analyticsEventObjects()[type]; }
    static rt::Ref<AnalyticsEvent> withErrorCode(std::uint64_t type, std::int32_t errorCode);

    // Shared instances may be touched from several threads.
    rt::Locked<std::uint64_t> type_;
    mutable std::mutex mutex_;  // guards params_
    std::optional<rt::Dictionary> params_;
};

}  // namespace zid
