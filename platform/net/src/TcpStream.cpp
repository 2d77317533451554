#include <net/TcpStream.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace net {

namespace {

constexpr std::size_t ReadChunk = 64 * 1024;

std::string errnoText(int code) { return std::strerror(code); }

}  // namespace

// The addresses of the host, with the stream's port, in the resolver's order.
struct TcpStream::Resolved {
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> lengths;
    std::size_t next = 0;
    int lastErrno = 0;

    Resolved(const std::vector<SocketAddress>& found, std::uint16_t port) {
        for (const auto& address : found) {
            sockaddr_storage storage{};
            int family = addressFamily(address);
            if (family == AF_INET) {
                sockaddr_in in{};
                std::memcpy(&in, address.data(), sizeof in);
                in.sin_port = htons(port);
                std::memcpy(&storage, &in, sizeof in);
                lengths.push_back(sizeof in);
            } else if (family == AF_INET6) {
                sockaddr_in6 in6{};
                std::memcpy(&in6, address.data(), sizeof in6);
                in6.sin6_port = htons(port);
                std::memcpy(&storage, &in6, sizeof in6);
                lengths.push_back(sizeof in6);
            } else {
                continue;  // not an address a TCP socket can reach
            }
            addresses.push_back(storage);
        }
    }
};

TcpStream::TcpStream(std::string host, std::uint16_t port) : host_(std::move(host)), port_(port) {}

TcpStream::~TcpStream() {
    std::lock_guard lock(mutex_);
    ++generation_;
    releaseSocketLocked();
}

void TcpStream::setDelegate(std::weak_ptr<TcpStreamDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

TcpStream::Status TcpStream::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

rt::Ref<rt::Error> TcpStream::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::size_t TcpStream::bufferedOutput() const {
    std::lock_guard lock(mutex_);
    return output_.size() - outputSent_;
}

void TcpStream::setMaxBufferedOutput(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    maxOutput_ = bytes;
}

bool TcpStream::hasBytesAvailable() const {
    std::lock_guard lock(mutex_);
    return !input_.empty();
}

void TcpStream::setDiscardsInput(bool discards) {
    std::lock_guard lock(mutex_);
    discardsInput_ = discards;
    if (discards) input_.clear();
}

void TcpStream::open(rt::Ref<fnd::RunLoop> loop) {
    std::lock_guard lock(mutex_);
    if (status_ == Status::Opening || status_ == Status::Open) return;
    releaseSocketLocked();
    loop_ = loop ? std::move(loop) : fnd::RunLoop::current();
    status_ = Status::Opening;
    error_ = nullptr;
    output_.clear();
    outputSent_ = 0;
    input_.clear();
    std::uint64_t generation = ++generation_;

    // The resolver answers on the stream's loop, a numeric address included, so the
    // connection is always made there and never inside open().
    std::weak_ptr<TcpStream> weak = selfAs<TcpStream>();
    resolution_ = HostResolver::resolve(
        host_,
        [weak, generation](const std::vector<SocketAddress>& addresses, rt::Ref<rt::Error> error) {
            if (auto stream = weak.lock()) stream->resolvedOnLoop(addresses, std::move(error), generation);
        },
        loop_);
}

void TcpStream::resolvedOnLoop(const std::vector<SocketAddress>& addresses, rt::Ref<rt::Error> error,
                               std::uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || status_ != Status::Opening) return;
        resolution_ = nullptr;
        if (error) {
            failLocked(std::move(error));
        } else {
            resolved_ = std::make_unique<Resolved>(addresses, port_);
            if (resolved_->addresses.empty())
                failLocked(networkError(NetworkError::HostNotFound,
                                        "The host \"" + host_ + "\" has no address a TCP connection can reach."));
            else if (tryNextAddressLocked())
                return;
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;  // closed or reopened from another thread meanwhile
    }
    emit(ErrorOccurred);
}

bool TcpStream::tryNextAddressLocked() {
    auto& r = *resolved_;
    while (r.next < r.addresses.size()) {
        std::size_t i = r.next++;
        auto* address = reinterpret_cast<const sockaddr*>(&r.addresses[i]);
        int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            r.lastErrno = errno;
            continue;
        }
        if (::connect(fd, address, r.lengths[i]) == 0 || errno == EINPROGRESS) {
            fd_ = fd;
            std::weak_ptr<TcpStream> weak = selfAs<TcpStream>();
            std::uint64_t generation = generation_;
            watched_ = POLLOUT;
            source_ = loop_->addSource(fd, POLLOUT, [weak, generation](short revents) {
                if (auto stream = weak.lock()) stream->handleSocket(revents, generation);
            });
            return true;
        }
        r.lastErrno = errno;
        ::close(fd);
    }
    failLocked(r.lastErrno ? r.lastErrno : ECONNREFUSED, Stage::Connecting);
    return false;
}

void TcpStream::handleSocket(short revents, std::uint64_t generation) {
    std::vector<int> events;
    {
        std::unique_lock lock(mutex_);
        if (generation != generation_ || fd_ < 0) return;
        if (status_ == Status::Opening) {
            if (!(revents & (POLLOUT | POLLERR | POLLHUP))) return;
            int err = 0;
            socklen_t length = sizeof err;
            if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
            if (err == 0 && (revents & POLLERR)) err = ECONNREFUSED;
            if (err == 0) {
                status_ = Status::Open;
                watch(POLLIN);
                events = {OpenCompleted, HasSpaceAvailable};
            } else {
                resolved_->lastErrno = err;
                if (source_) loop_->removeSource(source_);
                source_ = 0;
                ::close(fd_);
                fd_ = -1;
                if (!tryNextAddressLocked()) events = {ErrorOccurred};
            }
        } else if (status_ == Status::Open) {
            if (revents & POLLOUT) {
                bool hadOutput = outputSent_ < output_.size();
                if (int err = flushOutput()) {
                    failLocked(err, Stage::Connected);
                    events.push_back(ErrorOccurred);
                } else if (hadOutput && outputSent_ == output_.size()) {
                    events.push_back(HasSpaceAvailable);
                }
            }
            if (status_ == Status::Open && (revents & (POLLIN | POLLHUP | POLLERR))) {
                bool received = false;
                char chunk[ReadChunk];
                for (;;) {
                    if (!discardsInput_ && input_.size() >= MaxBufferedInput && !(revents & (POLLHUP | POLLERR))) break;
                    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
                    if (n > 0) {
                        if (!discardsInput_) {
                            input_.insert(input_.end(), chunk, chunk + n);
                            received = true;
                        }
                        continue;
                    }
                    if (n < 0 && errno == EINTR) continue;
                    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                    if (received) events.push_back(HasBytesAvailable);
                    received = false;
                    if (n == 0) {
                        status_ = Status::AtEnd;
                        releaseSocketLocked();
                        events.push_back(EndEncountered);
                    } else {
                        int err = errno;
                        failLocked(err, Stage::Connected);
                        events.push_back(ErrorOccurred);
                    }
                    break;
                }
                if (received) events.push_back(HasBytesAvailable);
            }
            if (status_ == Status::Open) {
                short wanted = 0;
                if (discardsInput_ || input_.size() < MaxBufferedInput) wanted |= POLLIN;
                if (outputSent_ < output_.size()) wanted |= POLLOUT;
                if (wanted != watched_) watch(wanted);
            }
        }
    }
    for (int event : events) {
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_) return;  // the delegate closed or reopened the stream
        }
        emit(event);
    }
}

int TcpStream::flushOutput() {
    while (outputSent_ < output_.size()) {
        ssize_t n = ::send(fd_, output_.data() + outputSent_, output_.size() - outputSent_, MSG_NOSIGNAL);
        if (n > 0) {
            outputSent_ += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            return n < 0 ? errno : EPIPE;
        }
    }
    if (outputSent_ == output_.size()) {
        output_.clear();
        outputSent_ = 0;
    } else if (outputSent_ > output_.size() / 2) {
        output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(outputSent_));
        outputSent_ = 0;
    }
    return 0;
}

long TcpStream::write(const void* bytes, std::size_t length) {
    std::unique_lock lock(mutex_);
    if (status_ != Status::Open) return -1;
    if (length == 0) return 0;
    std::size_t pending = output_.size() - outputSent_;
    if (pending + length > maxOutput_) return 0;
    auto* begin = static_cast<const char*>(bytes);
    output_.insert(output_.end(), begin, begin + length);
    if (int err = flushOutput()) {
        std::uint64_t generation = generation_;
        failLocked(err, Stage::Connected);
        lock.unlock();
        postEmit(ErrorOccurred, generation);
        return -1;
    }
    if (outputSent_ < output_.size() && !(watched_ & POLLOUT)) watch(static_cast<short>(watched_ | POLLOUT));
    return static_cast<long>(length);
}

std::size_t TcpStream::read(void* buffer, std::size_t maxLength) {
    std::lock_guard lock(mutex_);
    std::size_t n = std::min(maxLength, input_.size());
    std::memcpy(buffer, input_.data(), n);
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
    if (status_ == Status::Open && !(watched_ & POLLIN) && input_.size() < MaxBufferedInput)
        watch(static_cast<short>(watched_ | POLLIN));
    return n;
}

void TcpStream::close() {
    std::lock_guard lock(mutex_);
    ++generation_;
    releaseSocketLocked();
    status_ = Status::Closed;
    output_.clear();
    outputSent_ = 0;
    input_.clear();
}

void TcpStream::failLocked(int errnum, Stage stage) {
    std::string peer = host_ + ":" + std::to_string(port_);
    std::string message = stage == Stage::Connecting ? "Could not connect to " + peer + ": " + errnoText(errnum)
                                                     : "The connection to " + peer + " failed: " + errnoText(errnum);
    failLocked(rt::Error::withDescription(kPOSIXErrorDomain, errnum, message));
}

void TcpStream::failLocked(rt::Ref<rt::Error> error) {
    error_ = std::move(error);
    status_ = Status::Error;
    releaseSocketLocked();
}

void TcpStream::releaseSocketLocked() {
    if (source_ && loop_) loop_->removeSource(source_);
    source_ = 0;
    watched_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (resolution_) resolution_->cancel();
    resolution_ = nullptr;
    resolved_.reset();
    output_.clear();
    outputSent_ = 0;
}

void TcpStream::watch(short events) {
    watched_ = events;
    if (source_) loop_->updateSource(source_, events);
}

void TcpStream::emit(int event) {
    std::shared_ptr<TcpStreamDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        delegate = delegate_.lock();
    }
    if (delegate) delegate->streamHandleEvent(*this, event);
}

void TcpStream::postEmit(int event, std::uint64_t generation) {
    rt::Ref<fnd::RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = loop_;
    }
    if (!loop) return;
    std::weak_ptr<TcpStream> weak = selfAs<TcpStream>();
    loop->post([weak, event, generation] {
        auto stream = weak.lock();
        if (!stream) return;
        {
            std::lock_guard lock(stream->mutex_);
            if (stream->generation_ != generation) return;
        }
        stream->emit(event);
    });
}

}  // namespace net
