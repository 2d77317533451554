#include "GstPlaylistHandOver.h"

namespace media::gstimpl {

PlaylistHandOver::PlaylistHandOver(std::size_t mostBytes) : mostBytes_(mostBytes) {}

void PlaylistHandOver::handOver(const std::string& url, FetchedText fetched) {
    std::lock_guard lock(mutex_);
    if (handedOverBytes_ + fetched.text.size() > mostBytes_) return;
    if (auto it = handedOver_.find(url); it != handedOver_.end()) handedOverBytes_ -= it->second.text.size();
    handedOverBytes_ += fetched.text.size();
    handedOver_[url] = std::move(fetched);
}

std::optional<FetchedText> PlaylistHandOver::take(const std::string& url) {
    std::lock_guard lock(mutex_);
    auto it = handedOver_.find(url);
    if (it == handedOver_.end()) return std::nullopt;
    handedOverBytes_ -= it->second.text.size();
    std::optional<FetchedText> taken = std::move(it->second);
    handedOver_.erase(it);
    return taken;
}

void PlaylistHandOver::drop() {
    std::lock_guard lock(mutex_);
    handedOver_.clear();
    handedOverBytes_ = 0;
}

}  // namespace media::gstimpl
