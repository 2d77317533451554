#pragma once
// An insertion-ordered set of URL strings: document order, each URL once. The tracking
// and click collections of an ad are these, so every result built from them (merges,
// tracking hits) comes out in the same order on every run.
#include <string>
#include <unordered_set>
#include <vector>

namespace zid {

class VASTUrlSet {
public:
    VASTUrlSet() = default;
    VASTUrlSet(std::initializer_list<std::string> urls) {
        for (const auto& url : urls) insert(url);
    }

    /// Appends the URL unless it is held already; true when it was appended.
    bool insert(std::string url) {
        if (contains(url)) return false;
        urls_.push_back(std::move(url));
        if (!index_.empty()) index_.insert(urls_.back());
        else if (urls_.size() > kLinear) index_.insert(urls_.begin(), urls_.end());
        return true;
    }
    void insertAll(const VASTUrlSet& other) {
        for (const auto& url : other.urls_) insert(url);
    }
    bool contains(const std::string& url) const {
        if (!index_.empty()) return index_.count(url) != 0;
        for (const auto& held : urls_)
            if (held == url) return true;
        return false;
    }
    std::size_t size() const { return urls_.size(); }
    bool empty() const { return urls_.empty(); }
    /// The URLs in the order they were first inserted.
    const std::vector<std::string>& urls() const { return urls_; }
    std::vector<std::string>::const_iterator begin() const { return urls_.begin(); }
    std::vector<std::string>::const_iterator end() const { return urls_.end(); }
    bool operator==(const VASTUrlSet& other) const { return urls_ == other.urls_; }

private:
    // Small sets (the usual case) are searched in order; larger ones get a hash index.
    static constexpr std::size_t kLinear = 8;
    std::vector<std::string> urls_;
    std::unordered_set<std::string> index_;
};

}  // namespace zid
