#include "Core/MediaPlayer/MoviePlayerController/QXPlayerViewAttachment.h"

#include <ui/Application.h>

namespace zid {

QXPlayerViewAttachment::QXPlayerViewAttachment(const rt::Ref<rt::Object>& owner, rt::Ref<QXPlayerView> view,
                                               std::function<rt::Ref<media::Player>()> player,
                                               std::function<bool()> playsInBackground)
    : owner_(owner),
      view_(std::move(view)),
      player_(std::move(player)),
      playsInBackground_(std::move(playsInBackground)) {
    attach();
    auto center = fnd::NotificationCenter::defaultCenter();
    // The tokens go with the attachment (stop() removes them), so `this` outlives them.
    appTokens_.push_back(center->addObserver(ui::ApplicationDidEnterBackgroundNotification, nullptr, nullptr,
                                             [this](const rt::Ref<fnd::Notification>&) {
                                                 if (owner_.lock() && playsInBackground_()) detach();
                                             }));
    appTokens_.push_back(center->addObserver(ui::ApplicationWillEnterForegroundNotification, nullptr, nullptr,
                                             [this](const rt::Ref<fnd::Notification>&) {
                                                 if (owner_.lock()) attach();
                                             }));
}

void QXPlayerViewAttachment::stop() {
    auto center = fnd::NotificationCenter::defaultCenter();
    for (auto& t : appTokens_) center->removeObserver(t);
    appTokens_.clear();
    if (binding_) binding_->remove();
    binding_ = nullptr;
}

void QXPlayerViewAttachment::attach() {
    if (binding_) binding_->remove();
    auto owner = owner_.lock();
    if (!owner) return;
    binding_ = rt::observe(owner, "player", rt::KVONew | rt::KVOInitial, [this](const rt::KVOChange&) {
        auto player = player_();
        if (view_->player() != player) view_->setPlayer(player);
    });
}

void QXPlayerViewAttachment::detach() {
    if (binding_) binding_->remove();
    binding_ = nullptr;
    view_->setPlayer(nullptr);
}

}  // namespace zid
