#pragma once
// A log handler that collects accepted records and sends them in batches, one JSON
// array per HTTPS POST, to the central log service.
//
// Batches leave every batchPeriod seconds (a timer on the main run loop), when the
// application is about to resign active, and on flush(). A batch that the service does
// not take (no answer, a time-out, an error status) is kept and goes out again with
// the next one; at most kMaxUnsentRecords records wait like that, and older ones past
// that bound are dropped and counted. Records and batches are only touched on the
// handler's own serial queue, so logging costs the caller the acceptance test and one
// hand-over. Releasing the handler stops its timer and its notification observer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QXFoundation/Log/QXLogHandler.h>
#include <fnd/NotificationCenter.h>
#include <fnd/Queue.h>
#include <fnd/RunLoop.h>

namespace zid {

/// The host name (optionally with ":port") of the central log service. A deployment
/// setting: taken from the environment variable ZID_CENTRAL_LOG_HOST at start-up,
/// "localhost" otherwise.
extern const std::string kCentralLoggerServerURL;

class QXCentralLoggerHandler : public QXLogHandler {
    RT_CLASS(QXCentralLoggerHandler, QXLogHandler)
public:
    static constexpr double kDefaultBatchPeriod = 120.0;
    static constexpr double kRequestTimeout = 60.0;
    static constexpr std::size_t kMaxUnsentRecords = 1000;

    /// Level 0 (accepts nothing until raised), the correlation id, the URL
    /// "https://<host>/<tag>/", the flush timer and the resign-active observer.
    explicit QXCentralLoggerHandler(std::string tag);
    ~QXCentralLoggerHandler() override;

    /// The correlation id: upper-case hexadecimal MD5 of the device identifier, the
    /// current date and a value unique to this call.
    static std::string genUUID();

    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override;
    /// Queues a batch step; returns at once. Asked for while a batch is on its way, the
    /// step runs as soon as that batch ends.
    void flush() override;
    void appDeactivates();
    /// The batch step; runs on dispatchQueue().
    void bgFlush();
    /// Starts the POST of a batch body; returns at once. Its outcome is not followed.
    void sendLogData(const std::string& data);
    /// The eight-member object a record becomes, as the JSON text a batch carries.
    std::string dictionaryFromLogRecord(const QXLogRecord& record) const;

    double batchPeriod() const { return batchPeriod_; }
    /// Does not change the running timer.
    void setBatchPeriod(double period) { batchPeriod_ = period; }
    const std::string& uuid() const { return uuid_; }
    void setUuid(std::string uuid);
    const std::string& tag() const { return tag_; }
    void setTag(std::string tag) { tag_ = std::move(tag); }
    const std::string& url() const { return url_; }
    void setUrl(std::string url);
    /// A copy of the records accepted since the last batch, oldest first.
    std::vector<rt::Ref<QXLogRecord>> logRecords() const;
    rt::Ref<fnd::Queue> dispatchQueue() const;

    /// Records of failed batches waiting to go out again.
    std::size_t unsentRecordCount() const;
    /// Records dropped because more than kMaxUnsentRecords were waiting.
    std::size_t droppedRecordCount() const;
    /// Whether a batch is on its way.
    bool isSending() const;

    struct State;

protected:
    void willDestroy() override;

private:
    void stopTriggers();

    double batchPeriod_ = kDefaultBatchPeriod;
    std::string uuid_;
    std::string tag_;
    std::string url_;
    rt::Ref<fnd::Queue> queue_;     // released after state_: the queue finishes its blocks first
    std::shared_ptr<State> state_;
    rt::Ref<fnd::Timer> timer_;
    rt::Ref<fnd::NotificationObserver> observer_;
};

}  // namespace zid
