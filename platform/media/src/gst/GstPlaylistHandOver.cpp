#include "GstPlaylistHandOver.h"

namespace media::gstimpl {

PlaylistHandOver::PlaylistHandOver(std::size_t mostBytes) : mostBytes_(mostBytes) {}

void PlaylistHandOver::expect(const std::vector<std::string>& urls) {
    std::lock_guard lock(mutex_);
    expected_.insert(urls.begin(), urls.end());
}

void PlaylistHandOver::handOver(const std::string& url, FetchedText fetched) {
    std::vector<WaitingRead> answered;
    {
        std::lock_guard lock(mutex_);
        expected_.erase(url);
        for (auto it = waiting_.begin(); it != waiting_.end();)
            if (it->url == url) {
                answered.push_back(std::move(*it));
                it = waiting_.erase(it);
            } else {
                ++it;
            }
        if (answered.empty()) {
            if (handedOverBytes_ + fetched.text.size() > mostBytes_) return;
            if (auto it = handedOver_.find(url); it != handedOver_.end()) handedOverBytes_ -= it->second.text.size();
            handedOverBytes_ += fetched.text.size();
            handedOver_[url] = std::move(fetched);
            return;
        }
    }
    for (auto& read : answered) read.answer(fetched);
}

void PlaylistHandOver::expectNoMore() {
    std::vector<WaitingRead> waiting;
    {
        std::lock_guard lock(mutex_);
        expected_.clear();
        waiting.swap(waiting_);
    }
    for (auto& read : waiting) read.answer(std::nullopt);
}

PlaylistHandOver::Read PlaylistHandOver::read(const std::string& url, Answer answer) {
    std::lock_guard lock(mutex_);
    Read found;
    if (auto it = handedOver_.find(url); it != handedOver_.end()) {
        handedOverBytes_ -= it->second.text.size();
        found.handedOver = std::move(it->second);
        handedOver_.erase(it);
    } else if (expected_.count(url) > 0) {
        waiting_.push_back(WaitingRead{url, std::move(answer)});
        found.waits = true;
    }
    return found;
}

bool PlaylistHandOver::waiting(const std::string& url) const {
    std::lock_guard lock(mutex_);
    for (const auto& read : waiting_)
        if (read.url == url) return true;
    return false;
}

void PlaylistHandOver::drop() {
    std::lock_guard lock(mutex_);
    handedOver_.clear();
    handedOverBytes_ = 0;
}

}  // namespace media::gstimpl
