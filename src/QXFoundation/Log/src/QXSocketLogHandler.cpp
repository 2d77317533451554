#include "QXSocketLogHandler.h"

#include <limits>
#include <vector>

#include <nlohmann/json.hpp>

namespace zid {

// The stream's delegate and the reopen timer reach the handler through this relay,
// which the handler detaches before it goes away: a late event never meets a dead
// handler, and the handler needs no reference to itself while it is being made.
struct QXSocketLogHandler::Events : net::TcpStreamDelegate {
    std::recursive_mutex mutex;
    QXSocketLogHandler* handler;

    explicit Events(QXSocketLogHandler* h) : handler(h) {}
    void streamHandleEvent(net::TcpStream& stream, int event) override {
        std::lock_guard lock(mutex);
        if (handler) handler->streamHandleEvent(stream, event);
    }
    void reopenDue() {
        std::lock_guard lock(mutex);
        if (handler) handler->open();
    }
    void detach() {
        std::lock_guard lock(mutex);
        handler = nullptr;
    }
};

QXSocketLogHandler::QXSocketLogHandler(rt::Ref<QXLogFilter> filter, std::int64_t level, std::string host,
                                       std::uint32_t port)
    : QXLogHandler(std::move(filter), level),
      host_(std::move(host)),
      port_(port),
      loop_(fnd::RunLoop::current()),
      events_(std::make_shared<Events>(this)) {
    open();
}

QXSocketLogHandler::~QXSocketLogHandler() {
    events_->detach();
    std::lock_guard lock(mutex_);
    if (reopenTimer_) reopenTimer_->invalidate();
    if (outputStream_) outputStream_->close();
}

void QXSocketLogHandler::open() {
    std::lock_guard lock(mutex_);
    if (reopenTimer_) reopenTimer_->invalidate();
    reopenTimer_ = nullptr;
    closeStream();
    // A port beyond the TCP range would silently wrap to another port.
    if (port_ > std::numeric_limits<std::uint16_t>::max()) return;
    outputStream_ = rt::make<net::TcpStream>(host_, static_cast<std::uint16_t>(port_));
    outputStream_->setDelegate(events_);
    outputStream_->setDiscardsInput(true);  // the viewer only listens
    outputStream_->open(loop_);
}

void QXSocketLogHandler::closeStream() {
    classesSent_ = rt::Dictionary{};
    if (outputStream_) outputStream_->close();
    outputStream_ = nullptr;
}

void QXSocketLogHandler::close() {
    std::lock_guard lock(mutex_);
    if (reopenTimer_) reopenTimer_->invalidate();
    reopenTimer_ = nullptr;
    closeStream();
}

void QXSocketLogHandler::reopen() {
    std::lock_guard lock(mutex_);
    closeStream();
    if (reopenTimer_) reopenTimer_->invalidate();
    std::weak_ptr<Events> events = events_;
    reopenTimer_ = loop_->after(ReopenDelay, [events] {
        if (auto relay = events.lock()) relay->reopenDue();
    });
}

void QXSocketLogHandler::streamHandleEvent(net::TcpStream& stream, int event) {
    if (event != net::TcpStream::ErrorOccurred && event != net::TcpStream::EndEncountered) return;
    std::lock_guard lock(mutex_);
    if (&stream != outputStream_.get()) return;  // a stream already replaced
    reopen();
}

bool QXSocketLogHandler::isClass(const rt::Value& value) { return value.isClass(); }

void QXSocketLogHandler::handleLogRecord(const rt::Ref<QXLogRecord>& record) {
    if (!record || !acceptsLogRecord(*record)) return;
    const rt::Value& source = record->source();
    const rt::Class* cls = nullptr;
    if (isClass(source)) cls = source.cls();
    else if (auto object = source.object()) cls = &object->objectClass();
    std::string text = formatter()->formatLog(*record);
    std::lock_guard lock(mutex_);
    sendClassLocked(cls);
    sendLocked(text);
}

void QXSocketLogHandler::sendClass(const rt::Class* cls) {
    std::lock_guard lock(mutex_);
    sendClassLocked(cls);
}

bool QXSocketLogHandler::sendClassLocked(const rt::Class* cls) {
    if (!cls || isClassSent(cls)) return false;
    std::vector<const rt::Class*> listed;
    for (const rt::Class* c = cls; c; c = c->superclass()) {
        listed.push_back(c);
        if (c != cls && isClassSent(c)) break;
    }
    std::string line = "{\"classes\":[";
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (i) line += ',';
        line += nlohmann::json(listed[i]->name()).dump();
    }
    line += "]}";
    // Classes count as announced only once the viewer was actually sent the line;
    // otherwise the next record of the class tries again.
    if (!sendLocked(line)) return false;
    for (const rt::Class* c : listed)
        if (!isClassSent(c)) classesSent_.set(c->name(), true);
    return true;
}

bool QXSocketLogHandler::isClassSent(const rt::Class* cls) const {
    if (!cls) return false;
    std::lock_guard lock(mutex_);
    return classesSent_.contains(cls->name());
}

bool QXSocketLogHandler::sendMessage(const std::string& text) {
    std::lock_guard lock(mutex_);
    return sendLocked(text);
}

bool QXSocketLogHandler::sendLocked(const std::string& text) {
    if (!outputStream_ || outputStream_->status() != net::TcpStream::Status::Open) return false;
    // Text and line feed in one write: a line is never split by another thread's.
    std::string line = text;
    line += '\n';
    return outputStream_->write(line) == static_cast<long>(line.size());
}

rt::Dictionary QXSocketLogHandler::classesSent() const {
    std::lock_guard lock(mutex_);
    return classesSent_;
}

rt::Ref<net::TcpStream> QXSocketLogHandler::outputStream() const {
    std::lock_guard lock(mutex_);
    return outputStream_;
}

}  // namespace zid
