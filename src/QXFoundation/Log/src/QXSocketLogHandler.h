#pragma once
// Streams one line per accepted record over TCP to a log viewer at host:port, and
// announces the class hierarchy of each record's source class once per connection
// ({"classes":["Cls","Super",…]}). While the connection is down or still being made,
// lines are dropped; an error or the viewer's end of stream drops the connection
// and a new one is tried a second later, on the run loop the handler was made on.
//
// Records may come from any thread: each line goes out whole, in one write, never
// cut or mixed with another thread's line, and a class's announcement always
// reaches the wire before the first record line of that class.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <QXFoundation/Log/QXLogHandler.h>
#include <fnd/RunLoop.h>
#include <net/TcpStream.h>
#include <rt/Value.h>

namespace zid {

class QXSocketLogHandler : public QXLogHandler {
    RT_CLASS(QXSocketLogHandler, QXLogHandler)
public:
    /// Seconds between a dropped connection and the next attempt.
    static constexpr double ReopenDelay = 1.0;

    /// Stores the viewer's address and opens the connection on the calling thread's
    /// run loop.
    QXSocketLogHandler(rt::Ref<QXLogFilter> filter, std::int64_t level, std::string host, std::uint32_t port);
    ~QXSocketLogHandler() override;

    /// Starts a connection (asynchronous).
    void open();
    /// Drops the connection and forgets the announced classes; an explicit close also
    /// cancels a pending reconnection.
    void close() override;
    /// Drops the connection now and opens a new one after ReopenDelay.
    void reopen();
    void flush() override {}

    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override;
    /// Announces the class unless it was announced on this connection.
    void sendClass(const rt::Class* cls);
    bool isClassSent(const rt::Class* cls) const;
    /// Whether the value is a class rather than an ordinary object.
    static bool isClass(const rt::Value& value);
    /// Writes the text and a line feed in one piece when the connection is open;
    /// drops it otherwise. Answers whether it went out.
    bool sendMessage(const std::string& text);

    /// Stream events: an error or the end of the stream leads to reopen().
    void streamHandleEvent(net::TcpStream& stream, int event);

    const std::string& host() const { return host_; }
    std::uint32_t port() const { return port_; }
    /// The announced classes of the current connection (class name -> true).
    rt::Dictionary classesSent() const;
    rt::Ref<net::TcpStream> outputStream() const;

private:
    struct Events;
    void closeStream();
    bool sendClassLocked(const rt::Class* cls);
    bool sendLocked(const std::string& text);

    const std::string host_;
    const std::uint32_t port_;
    rt::Ref<fnd::RunLoop> loop_;
    std::shared_ptr<Events> events_;
    // One lock for the connection, its announcements and the lines written on it.
    mutable std::recursive_mutex mutex_;
    rt::Dictionary classesSent_;
    rt::Ref<net::TcpStream> outputStream_;
    rt::Ref<fnd::Timer> reopenTimer_;
};

}  // namespace zid
