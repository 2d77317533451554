#include <fnd/URLRequest.h>

#include <algorithm>
#include <cctype>

namespace fnd {

namespace {
bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

URLRequest::URLRequest(std::string url) : url_(std::move(url)) {}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view name) const {
    for (const auto& [n, v] : headers_)
        if (sameName(n, name)) return v;
    return std::nullopt;
}

void URLRequest::setValueForHTTPHeaderField(std::optional<std::string> value, std::string_view name) {
    auto it = std::find_if(headers_.begin(), headers_.end(), [&](const auto& h) { return sameName(h.first, name); });
    if (!value) {
        if (it != headers_.end()) headers_.erase(it);
    } else if (it != headers_.end()) {
        it->second = std::move(*value);
    } else {
        headers_.emplace_back(std::string(name), std::move(*value));
    }
}

void URLRequest::addValueForHTTPHeaderField(std::string_view value, std::string_view name) {
    auto it = std::find_if(headers_.begin(), headers_.end(), [&](const auto& h) { return sameName(h.first, name); });
    if (it == headers_.end()) headers_.emplace_back(std::string(name), std::string(value));
    else it->second += ", " + std::string(value);
}

std::string URLRequest::description() const { return "<URLRequest " + method_ + " " + url_ + ">"; }

}  // namespace fnd
