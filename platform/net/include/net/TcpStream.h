#pragma once
// A TCP client connection driven by a run loop.
//
// open() resolves the host through HostResolver (answered on the run loop the stream
// is opened on), then connects without blocking to each address in turn until one
// takes the connection, and watches the socket on that loop. Events reach the
// delegate on that loop's thread: OpenCompleted once connected, HasSpaceAvailable
// whenever the output buffer has drained, HasBytesAvailable when input arrived,
// EndEncountered when the peer closed, ErrorOccurred when the connection failed
// (error() tells why: the resolver's error of kNetworkErrorDomain for a host that
// does not resolve, an errno value of kPOSIXErrorDomain naming host:port for a
// refused or broken connection). After an end or an error the socket is released;
// open() may be called again to start a new connection.
//
// write() is safe from any thread. A call is all or nothing: its bytes are appended
// to the output in one piece (never interleaved with another call's bytes), sent as
// far as the socket takes them and the rest is kept until the socket is writable
// again, so a short write by the kernel never truncates anything.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <net/HostResolver.h>
#include <rt/Error.h>
#include <rt/Object.h>

namespace net {

class TcpStream;

class TcpStreamDelegate {
public:
    virtual ~TcpStreamDelegate() = default;
    virtual void streamHandleEvent(TcpStream& stream, int event) = 0;
};

class TcpStream : public rt::Object {
    RT_CLASS(TcpStream, rt::Object)
public:
    enum class Status { NotOpen, Opening, Open, AtEnd, Closed, Error };
    enum Event : int {
        OpenCompleted = 1,
        HasBytesAvailable = 2,
        HasSpaceAvailable = 4,
        ErrorOccurred = 8,
        EndEncountered = 16,
    };
    /// Output kept while the peer is slow; a write that would exceed it is refused.
    static constexpr std::size_t DefaultMaxBufferedOutput = 4u << 20;
    /// Input kept until read(); beyond it the socket is not read until the reader catches up.
    static constexpr std::size_t MaxBufferedInput = 1u << 20;

    TcpStream(std::string host, std::uint16_t port);
    ~TcpStream() override;

    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }

    /// The delegate is held weakly.
    void setDelegate(std::weak_ptr<TcpStreamDelegate> delegate);

    /// Starts connecting; events arrive on the given loop (the calling thread's loop
    /// by default). Does nothing while a connection is opening or open.
    void open(rt::Ref<fnd::RunLoop> loop = nullptr);
    /// Drops the connection at once, with its unsent output; no event follows.
    void close();

    Status status() const;
    /// Why the stream is in the Error status.
    rt::Ref<rt::Error> error() const;

    /// Queues the bytes for sending. Answers the count accepted: all of them, 0 when
    /// the output buffer is too full to take them whole, or -1 when not open.
    long write(const void* bytes, std::size_t length);
    long write(std::string_view text) { return write(text.data(), text.size()); }
    /// Bytes written but not yet taken by the socket.
    std::size_t bufferedOutput() const;
    void setMaxBufferedOutput(std::size_t bytes);

    /// Takes up to maxLength received bytes; answers the count.
    std::size_t read(void* buffer, std::size_t maxLength);
    bool hasBytesAvailable() const;
    /// A write-only client: received bytes are dropped (ends and errors are still seen).
    void setDiscardsInput(bool discards);

private:
    struct Resolved;
    void resolvedOnLoop(const std::vector<SocketAddress>& addresses, rt::Ref<rt::Error> error, std::uint64_t generation);
    /// Starts a connection to the next address not tried yet. Answers false, with the
    /// stream failed, when none is left.
    bool tryNextAddressLocked();
    void handleSocket(short revents, std::uint64_t generation);
    /// Sends from the output buffer until it is empty or the socket is full. Answers
    /// the errno of a failure, 0 otherwise.
    int flushOutput();
    enum class Stage { Connecting, Connected };
    /// Fails with an errno value of kPOSIXErrorDomain, the message naming host:port.
    void failLocked(int errnum, Stage stage);
    void failLocked(rt::Ref<rt::Error> error);
    void releaseSocketLocked();
    void watch(short events);
    void emit(int event);
    void postEmit(int event, std::uint64_t generation);

    const std::string host_;
    const std::uint16_t port_;
    mutable std::mutex mutex_;
    std::weak_ptr<TcpStreamDelegate> delegate_;
    rt::Ref<fnd::RunLoop> loop_;
    Status status_ = Status::NotOpen;
    rt::Ref<rt::Error> error_;
    int fd_ = -1;
    fnd::RunLoop::SourceId source_ = 0;
    short watched_ = 0;
    std::uint64_t generation_ = 0;
    rt::Ref<HostResolution> resolution_;
    std::unique_ptr<Resolved> resolved_;
    std::vector<char> output_;
    std::size_t outputSent_ = 0;
    std::size_t maxOutput_ = DefaultMaxBufferedOutput;
    std::vector<char> input_;
    bool discardsInput_ = false;
};

}  // namespace net
