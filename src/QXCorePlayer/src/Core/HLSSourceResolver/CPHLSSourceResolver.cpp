#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/UTF16.h>

#include <cctype>
#include "Core/CPEndAndRelease.h"
#include "Core/CoreLogModule.h"

namespace zid {

namespace {
bool isHttpURL(const std::string& url) {
    auto lower = url.substr(0, 8);
    for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}
}  // namespace

long CPHLSSourceResolver::parseProgressFromString(const std::string& text) {
    static const std::string mark = "#progressed ";
    for (std::size_t start = 0; start + mark.size() <= text.size(); ++start) {
        bool same = true;
        for (std::size_t k = 0; k < mark.size() && same; ++k)
            same = std::tolower(static_cast<unsigned char>(text[start + k])) == mark[k];
        if (!same) continue;
        std::size_t i = start + mark.size();
        long value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (value < 1000000000L) value = value * 10 + (text[i] - '0');
            ++i;
        }
        if (i < text.size() && text[i] == '%') return value;
    }
    return -1;
}

std::string CPHLSSourceResolver::contentString() const {
    std::lock_guard lock(contentMutex_);
    return contentString_;
}

void CPHLSSourceResolver::resolveURL(const std::string& url, SuccessBlock successBlock, FailBlock failBlock) {
    cancel();
    remoteSourceKey.set(*this, url);
    successBlock_ = std::move(successBlock);
    failBlock_ = std::move(failBlock);
    offlineReported_ = false;
    if (!isHttpURL(url)) {
        QXLog(kCoreLogModule, staticClass(), 2, "Unsupported stream URL: %@", rt::Value(url));
        auto fail = std::move(failBlock_);
        endResolution();
        if (fail) fail(mediaSourceError(CPMediaSourceErrorCode::Unsupported));
        return;
    }
    rt::Weak<CPHLSSourceResolver> weak = selfAs<CPHLSSourceResolver>();
    pollTicker_ = onSignal(tickerWithTimeInterval(kPollInterval), deallocSignal(*this), [weak](const rt::Value&) {
        if (auto r = weak.lock()) r->poll();
    });
    poll();
}

void CPHLSSourceResolver::cancel() {
    ++generation_;  // a request still in flight reports to nobody
    polling_.store(false);
    CPEndAndRelease(pollTicker_, &IDisposable::dispose);
}

void CPHLSSourceResolver::endResolution() {
    cancel();
    successBlock_ = nullptr;
    failBlock_ = nullptr;
}

void CPHLSSourceResolver::willDestroy() {
    ++generation_;
    if (pollTicker_) pollTicker_->dispose();
    rt::Object::willDestroy();
}

void CPHLSSourceResolver::poll() {
    if (!pollTicker_ || polling_.load()) return;
    polling_.store(true);
    if (!client_) client_ = net::HttpClient::shared();
    rt::Weak<CPHLSSourceResolver> weak = selfAs<CPHLSSourceResolver>();
    unsigned long generation = generation_;
    // The transfer runs on the client's network thread beside any other, so a hung one
    // blocks nothing else, and its answer comes back on this (the main) loop. The
    // completion keeps the client alive until the request is over; the resolver itself
    // may go meanwhile, and a cancelled one drops the answer by its generation.
    client_->performAsync(net::HttpRequest::get(remoteSource_, {}, kRequestTimeout),
                          [client = client_, weak, generation](const net::HttpResult& result) {
                              if (auto r = weak.lock()) r->handleResult(generation, result);
                          });
}

void CPHLSSourceResolver::handleResult(unsigned long generation, const net::HttpResult& result) {
    if (generation != generation_) return;  // cancelled or restarted meanwhile
    polling_.store(false);
    long status = result.ok() ? result.response->status : 0;
    std::string body = result.ok() ? result.response->body : std::string();
    if (!fnd::isValidUTF8(body)) body.clear();
    {
        std::lock_guard lock(contentMutex_);
        contentString_ = body;
    }
    // The blocks are taken out first: an outcome that ends resolution may lead the
    // caller to start a new one from inside the block.
    auto fail = [&](CPMediaSourceErrorCode code) {
        auto block = failBlock_;
        endResolution();
        if (block) block(mediaSourceError(code));
    };
    switch (status) {
        case 200: {
            offlineReported_ = false;
            if (body.find("preroll") != std::string::npos) return;
            auto block = successBlock_;
            endResolution();
            if (block) block(std::string());
            return;
        }
        case 202:
            offlineReported_ = false;
            if (!body.empty()) setProgress(parseProgressFromString(body));
            return;
        case 204:
            QXLog(kCoreLogModule, staticClass(), 2, "No content on: %@", rt::Value(remoteSource_));
            // Offline is not the end: polling goes on and a stream that comes online is
            // picked up. The waiting caller hears of it once per offline period.
            if (!offlineReported_) {
                offlineReported_ = true;
                auto block = failBlock_;
                if (block) block(mediaSourceError(CPMediaSourceErrorCode::Offline));
            }
            return;
        case 403:
            QXLog(kCoreLogModule, staticClass(), 2, "Forbidden: %@", rt::Value(remoteSource_));
            fail(CPMediaSourceErrorCode::Forbidden);
            return;
        case 404:
            QXLog(kCoreLogModule, staticClass(), 2, "Not found: %@", rt::Value(remoteSource_));
            fail(CPMediaSourceErrorCode::Inexistent);
            return;
        default:
            QXLog(kCoreLogModule, staticClass(), 3, "Unhandled status code received: %ld", status);
            fail(CPMediaSourceErrorCode::Unknown);
            return;
    }
}

}  // namespace zid
