#include <QXFoundation/CentralLog/QXCentralLoggerHandler.h>

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "CentralLog/CentralLoggerTesting.h"

#include <nlohmann/json.hpp>

#include <QXFoundation/Crypto/QXCrypto.h>
#include <QXFoundation/Device/DeviceIdentification.h>
#include <dev/Application.h>
#include <dev/Device.h>
#include <net/HttpClient.h>
#include <rt/Format.h>
#include <sec/Random.h>

namespace zid {

const std::string kCentralLoggerServerURL = [] {
    const char* configured = std::getenv("ZID_CENTRAL_LOG_HOST");
    return std::string(configured && *configured ? configured : "localhost");
}();

namespace {

std::optional<std::string>& hostForTesting() {
    static std::optional<std::string> host;
    return host;
}

using Json = nlohmann::json;

std::string textOrDash(const std::string& text) { return text.empty() ? "-" : text; }

Json recordObject(const QXLogRecord& record, const std::string& uuid) {
    double seconds = record.date().secondsSince1970;
    auto wholeSeconds = static_cast<long long>(std::trunc(seconds));
    // Milliseconds as the clock gave them; before 1970 there is nothing to count.
    auto milliseconds = seconds > 0 ? static_cast<unsigned long long>(std::floor(seconds * 1000.0)) : 0ull;
    char address[32];
    std::snprintf(address, sizeof address, "0x%llx", static_cast<unsigned long long>(record.address()));
    const rt::Value& source = record.source();
    Json object = Json::object();
    object["u_msg"] = textOrDash(record.message());
    object["u_ts"] = wholeSeconds;
    object["u_corr_id"] = uuid;
    object["ts_msec"] = milliseconds;
    object["level"] = record.level();
    object["module"] = textOrDash(record.module());
    object["source"] = source.isNilOrNull() ? std::string("-") : textOrDash(source.description());
    object["addr"] = address;
    return object;
}

net::HttpRequest batchRequest(const std::string& url, const std::string& body) {
    return net::HttpRequest::post(url, body, {{"Content-Type", "application/json"}, {"Accept", "application/json"}},
                                  QXCentralLoggerHandler::kRequestTimeout);
}

}  // namespace

void setCentralLoggerServerURLForTesting(std::optional<std::string> host) { hostForTesting() = std::move(host); }

/// Everything the handler's queue works on. Timers, observers and requests reach it
/// weakly, so none of them keeps a released handler's state alive for long. The queue
/// belongs to the handler, not to the state: the state's last reference may go in a
/// block on the queue's own thread, and a queue must not be destroyed from there.
struct QXCentralLoggerHandler::State : std::enable_shared_from_this<QXCentralLoggerHandler::State> {
    rt::Weak<fnd::Queue> queue;
    // Touched on the queue only.
    std::string url;
    std::string uuid;
    std::vector<rt::Ref<QXLogRecord>> records;
    Json unsent = Json::array();
    Json inFlight;
    bool sending = false;
    bool flushAgain = false;  // a batch step was asked for while one was on its way
    std::size_t dropped = 0;
    rt::Ref<net::HttpTask> task;

    ~State() {
        if (task) task->cancel();
    }

    void scheduleFlush() {
        auto target = queue.lock();
        if (!target) return;  // the handler is going away
        auto self = shared_from_this();
        target->async([self] { self->bgFlush(); });
    }

    void bgFlush() {
        // One batch at a time, so a failed batch is not sent twice: a step asked for
        // while one is on its way runs when that one ends.
        if (sending) {
            flushAgain = true;
            return;
        }
        if (records.empty() && unsent.empty()) return;
        Json batch = std::move(unsent);
        unsent = Json::array();
        std::vector<rt::Ref<QXLogRecord>> taken;
        taken.swap(records);
        for (const auto& record : taken) batch.push_back(recordObject(*record, uuid));
        // Text that is not valid UTF-8 is replaced rather than losing the batch.
        std::string body = batch.dump(-1, ' ', false, Json::error_handler_t::replace);
        inFlight = std::move(batch);
        sending = true;
        std::weak_ptr<State> weak = shared_from_this();
        task = net::HttpClient::shared()->performAsync(batchRequest(url, body), [weak](const net::HttpResult& result) {
            if (auto self = weak.lock()) self->batchDone(result.ok() && result.response->isSuccess());
        });
    }

    void batchDone(bool delivered) {
        sending = false;
        task.reset();
        if (delivered) {
            inFlight = Json();
        } else {
            // Nothing joined the backlog meanwhile: the failed batch is all of it.
            unsent = std::move(inFlight);
            inFlight = Json();
            if (unsent.size() > kMaxUnsentRecords) {
                std::size_t excess = unsent.size() - kMaxUnsentRecords;
                unsent.erase(unsent.begin(), unsent.begin() + static_cast<std::ptrdiff_t>(excess));
                dropped += excess;
            }
        }
        if (flushAgain) {
            flushAgain = false;
            bgFlush();
        }
    }
};

QXCentralLoggerHandler::QXCentralLoggerHandler(std::string tag)
    : uuid_(genUUID()), tag_(std::move(tag)), state_(std::make_shared<State>()) {
    url_ = rt::format("https://%@/%@/", hostForTesting().value_or(kCentralLoggerServerURL), tag_);
    queue_ = fnd::Queue::serial("central logger queue");
    // Wait until the queue's loop runs: a queue released before its loop started
    // would miss the stop request and never end.
    queue_->sync([] {});
    state_->queue = queue_;
    state_->url = url_;
    state_->uuid = uuid_;

    std::weak_ptr<State> weak = state_;
    observer_ = fnd::NotificationCenter::defaultCenter()->addObserver(
        std::string(dev::ApplicationWillResignActiveNotification), nullptr, nullptr,
        [weak](const rt::Ref<fnd::Notification>&) {
            if (auto state = weak.lock()) state->scheduleFlush();
        });
    // The flush timer belongs to the main run loop, whichever thread makes the handler.
    timer_ = fnd::RunLoop::main()->schedule(batchPeriod_, true, [weak](fnd::Timer&) {
        if (auto state = weak.lock()) state->scheduleFlush();
    });
}

QXCentralLoggerHandler::~QXCentralLoggerHandler() { stopTriggers(); }

void QXCentralLoggerHandler::willDestroy() {
    stopTriggers();
    QXLogHandler::willDestroy();
}

void QXCentralLoggerHandler::stopTriggers() {
    if (timer_) timer_->invalidate();
    timer_.reset();
    if (observer_) fnd::NotificationCenter::defaultCenter()->removeObserver(observer_);
    observer_.reset();
}

std::string QXCentralLoggerHandler::genUUID() {
    // The date text has whole seconds only; the counter and the random part keep two
    // handlers made in the same second apart.
    static std::atomic<std::uint64_t> made{0};
    auto nonce = sec::randomData(16);
    std::string unique = std::to_string(made.fetch_add(1)) + " " +
                         (nonce ? QXCrypto::MD5ForData(*nonce) : std::to_string(rt::Date::now().secondsSince1970));
    std::string text = rt::format("%@ %@ %@", rt::Value(qxDeviceIdentifier(dev::Device::current()).value_or(std::string())),
                                  rt::Date::now().description(), unique);
    return QXCrypto::MD5ForString(text).value_or(std::string());
}

void QXCentralLoggerHandler::handleLogRecord(const rt::Ref<QXLogRecord>& record) {
    if (!record || !acceptsLogRecord(*record)) return;
    std::weak_ptr<State> weak = state_;
    queue_->async([weak, record] {
        if (auto state = weak.lock()) state->records.push_back(record);
    });
}

void QXCentralLoggerHandler::flush() { state_->scheduleFlush(); }

void QXCentralLoggerHandler::appDeactivates() { flush(); }

void QXCentralLoggerHandler::bgFlush() {
    auto state = state_;
    queue_->sync([state] { state->bgFlush(); });
}

void QXCentralLoggerHandler::sendLogData(const std::string& data) {
    net::HttpClient::shared()->performAsync(batchRequest(url_, data), nullptr);
}

std::string QXCentralLoggerHandler::dictionaryFromLogRecord(const QXLogRecord& record) const {
    return recordObject(record, uuid_).dump(-1, ' ', false, Json::error_handler_t::replace);
}

void QXCentralLoggerHandler::setUuid(std::string uuid) {
    uuid_ = std::move(uuid);
    auto state = state_;
    queue_->async([state, uuid = uuid_] { state->uuid = uuid; });
}

void QXCentralLoggerHandler::setUrl(std::string url) {
    url_ = std::move(url);
    auto state = state_;
    queue_->async([state, url = url_] { state->url = url; });
}

std::vector<rt::Ref<QXLogRecord>> QXCentralLoggerHandler::logRecords() const {
    std::vector<rt::Ref<QXLogRecord>> copy;
    auto state = state_;
    queue_->sync([&] { copy = state->records; });
    return copy;
}

rt::Ref<fnd::Queue> QXCentralLoggerHandler::dispatchQueue() const { return queue_; }

std::size_t QXCentralLoggerHandler::unsentRecordCount() const {
    std::size_t count = 0;
    auto state = state_;
    queue_->sync([&] { count = state->unsent.size(); });
    return count;
}

std::size_t QXCentralLoggerHandler::droppedRecordCount() const {
    std::size_t count = 0;
    auto state = state_;
    queue_->sync([&] { count = state->dropped; });
    return count;
}

bool QXCentralLoggerHandler::isSending() const {
    bool sending = false;
    auto state = state_;
    queue_->sync([&] { sending = state->sending; });
    return sending;
}

}  // namespace zid
