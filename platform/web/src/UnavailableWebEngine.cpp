#include "UnavailableWebEngine.h"

#include <atomic>
#include <cstdio>

namespace web {

UnavailableWebEngine::UnavailableWebEngine(std::string reason) : reason_(std::move(reason)) {
    // The reason is the program's, not the view's: logged with the first view, and each
    // view's host hears it at every load.
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) std::fprintf(stderr, "web: a web view cannot show pages: %s\n", reason_.c_str());
}

void UnavailableWebEngine::loadHTMLString(const std::string&, const std::string&) { fail(); }
void UnavailableWebEngine::loadRequest(const std::string&) { fail(); }

void UnavailableWebEngine::fail() {
    if (didFailLoad) didFailLoad(reason_);
}

}  // namespace web
