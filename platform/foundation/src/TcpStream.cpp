#include <fnd/TcpStream.h>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace fnd {

namespace {

constexpr std::size_t ReadChunk = 64 * 1024;

std::string errnoText(int code) { return std::strerror(code); }

}  // namespace

struct TcpStream::Resolved {
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> lengths;
    std::size_t next = 0;
    int lastErrno = 0;
    std::string failure;  // why resolution failed, when there are no addresses

    void take(addrinfo* list) {
        for (addrinfo* a = list; a; a = a->ai_next) {
            sockaddr_storage storage{};
            std::memcpy(&storage, a->ai_addr, a->ai_addrlen);
            addresses.push_back(storage);
            lengths.push_back(a->ai_addrlen);
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

void TcpStream::open(rt::Ref<RunLoop> loop) {
    std::unique_lock lock(mutex_);
    if (status_ == Status::Opening || status_ == Status::Open) return;
    releaseSocketLocked();
    loop_ = loop ? std::move(loop) : RunLoop::current();
    status_ = Status::Opening;
    error_ = nullptr;
    output_.clear();
    outputSent_ = 0;
    input_.clear();
    std::uint64_t generation = ++generation_;

    std::string service = std::to_string(port_);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (!host_.empty() && ::getaddrinfo(host_.c_str(), service.c_str(), &hints, &list) == 0) {
        auto resolved = std::make_shared<Resolved>();
        resolved->take(list);
        ::freeaddrinfo(list);
        startConnecting(lock, std::move(resolved), generation);
        return;
    }

    // A name: resolve it off the loop, since the lookup may block for long.
    std::weak_ptr<TcpStream> weak = selfAs<TcpStream>();
    std::thread([weak, host = host_, service, loop = loop_, generation] {
        auto resolved = std::make_shared<Resolved>();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        int rc = host.empty() ? EAI_NONAME : ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        if (rc == 0) {
            resolved->take(list);
            ::freeaddrinfo(list);
        } else {
            resolved->failure = ::gai_strerror(rc);
        }
        loop->post([weak, resolved, generation] {
            if (auto stream = weak.lock()) stream->resolvedOnLoop(resolved, generation);
        });
    }).detach();
}

void TcpStream::resolvedOnLoop(std::shared_ptr<Resolved> resolved, std::uint64_t generation) {
    std::unique_lock lock(mutex_);
    if (generation != generation_ || status_ != Status::Opening) return;
    if (resolved->addresses.empty()) {
        failLocked(HostNotFound, "Could not resolve the host \"" + host_ + "\": " +
                                     (resolved->failure.empty() ? std::string("no address") : resolved->failure));
        lock.unlock();
        emit(ErrorOccurred);
        return;
    }
    startConnecting(lock, std::move(resolved), generation);
}

void TcpStream::startConnecting(std::unique_lock<std::mutex>& lock, std::shared_ptr<Resolved> resolved,
                                std::uint64_t generation) {
    resolved_ = std::move(resolved);
    if (tryNextAddress(lock)) return;
    lock.unlock();
    postEmit(ErrorOccurred, generation);
}

bool TcpStream::tryNextAddress(std::unique_lock<std::mutex>&) {
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
    int err = r.lastErrno ? r.lastErrno : ECONNREFUSED;
    failLocked(err, "Could not connect to " + host_ + ":" + std::to_string(port_) + ": " + errnoText(err));
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
                if (!tryNextAddress(lock)) events = {ErrorOccurred};
            }
        } else if (status_ == Status::Open) {
            if (revents & POLLOUT) {
                bool hadOutput = outputSent_ < output_.size();
                if (int err = flushOutput()) {
                    failLocked(err, "The connection to " + host_ + ":" + std::to_string(port_) + " failed: " + errnoText(err));
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
                        failLocked(err, "The connection to " + host_ + ":" + std::to_string(port_) + " failed: " + errnoText(err));
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
        failLocked(err, "The connection to " + host_ + ":" + std::to_string(port_) + " failed: " + errnoText(err));
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

void TcpStream::failLocked(long long code, const std::string& message) {
    error_ = rt::Error::withDescription(ErrorDomain, code, message);
    status_ = Status::Error;
    releaseSocketLocked();
}

void TcpStream::releaseSocketLocked() {
    if (source_ && loop_) loop_->removeSource(source_);
    source_ = 0;
    watched_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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
    rt::Ref<RunLoop> loop;
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

}  // namespace fnd
