#include "UnavailableWebEngine.h"

#include <cstdio>

namespace web {

UnavailableWebEngine::UnavailableWebEngine(std::string reason) : reason_(std::move(reason)) {
    std::fprintf(stderr, "web: a web view cannot show pages: %s\n", reason_.c_str());
}

void UnavailableWebEngine::loadHTMLString(const std::string&, const std::string&) { fail(); }
void UnavailableWebEngine::loadRequest(const std::string&) { fail(); }

void UnavailableWebEngine::fail() {
    if (didFailLoad) didFailLoad(reason_);
}

}  // namespace web
