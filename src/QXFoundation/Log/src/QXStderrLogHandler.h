#pragma once
// Writes accepted records to standard error, one line each.

#include <QXFoundation/Log/QXLogHandler.h>

namespace zid {

class QXStderrLogHandler : public QXLogHandler {
    RT_CLASS(QXStderrLogHandler, QXLogHandler)
public:
    using QXLogHandler::QXLogHandler;
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override;
    void flush() override;
    /// Standard error stays open and is not flushed.
    void close() override;
};

}  // namespace zid
