#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <net/TcpStream.h>

#include "LoopbackTcpServer.h"
#include "peers/ClosedPort.h"

namespace {

using net::TcpStream;

struct Recorder : net::TcpStreamDelegate {
    std::vector<int> events;
    std::function<void(TcpStream&, int)> also;
    void streamHandleEvent(TcpStream& stream, int event) override {
        events.push_back(event);
        if (also) also(stream, event);
    }
    bool saw(int event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

bool runUntil(const std::function<bool()>& done, double seconds = 5) {
    return fnd::RunLoop::main()->runUntil(done, seconds);
}

struct Connected {
    zidtest::LoopbackTcpServer server;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    rt::Ref<TcpStream> stream;
    explicit Connected(int receiveBuffer = 0) : server(0, receiveBuffer) {
        stream = rt::make<TcpStream>("127.0.0.1", server.port());
        stream->setDelegate(recorder);
        stream->open();
    }
    bool open() { return runUntil([&] { return stream->status() == TcpStream::Status::Open; }); }
};

TEST(TcpStreamConnection, OpensAsynchronouslyThenReportsSpaceAndDeliversWrites) {
    Connected c;
    EXPECT_EQ(c.stream->status(), TcpStream::Status::Opening);
    EXPECT_EQ(c.stream->write("too early\n"), -1) << "nothing is queued before the connection stands";
    ASSERT_TRUE(c.open());
    runUntil([&] { return c.recorder->events.size() >= 2; });
    EXPECT_EQ(c.recorder->events, (std::vector<int>{TcpStream::OpenCompleted, TcpStream::HasSpaceAvailable}));
    EXPECT_EQ(c.stream->write("one\n"), 4);
    EXPECT_EQ(c.stream->write("two\n"), 4);
    ASSERT_TRUE(c.server.waitFor([&] { return c.server.received() == "one\ntwo\n"; })) << c.server.received();
}

TEST(TcpStreamConnection, RefusedConnectionIsAnErrorEventWithAReadableReason) {
    auto recorder = std::make_shared<Recorder>();
    peers::ClosedPort closed;
    auto port = closed.port();
    auto stream = rt::make<TcpStream>("127.0.0.1", port);
    stream->setDelegate(recorder);
    stream->open();
    ASSERT_TRUE(runUntil([&] { return recorder->saw(TcpStream::ErrorOccurred); }));
    EXPECT_EQ(stream->status(), TcpStream::Status::Error);
    ASSERT_TRUE(stream->error());
    EXPECT_EQ(stream->error()->domain(), net::kPOSIXErrorDomain);
    EXPECT_EQ(stream->error()->code(), ECONNREFUSED);
    EXPECT_NE(stream->error()->localizedDescription().find("127.0.0.1:" + std::to_string(port)), std::string::npos);
    EXPECT_FALSE(recorder->saw(TcpStream::OpenCompleted));
}

TEST(TcpStreamConnection, PeerCloseIsTheEndAndTheStreamCanOpenAgain) {
    Connected c;
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(c.server.waitFor([&] { return c.server.clientsConnected() == 1; }));
    c.server.dropClients();
    ASSERT_TRUE(runUntil([&] { return c.recorder->saw(TcpStream::EndEncountered); }));
    EXPECT_EQ(c.stream->status(), TcpStream::Status::AtEnd);
    EXPECT_EQ(c.stream->write("lost\n"), -1);

    c.stream->open();
    ASSERT_TRUE(c.open());
    EXPECT_EQ(c.stream->write("again\n"), 6);
    ASSERT_TRUE(c.server.waitFor([&] { return c.server.received() == "again\n"; }));
    EXPECT_EQ(c.server.connectionsAccepted(), 2);
}

TEST(TcpStreamConnection, DelegateMayCloseTheStreamFromAnEvent) {
    Connected c;
    c.recorder->also = [](TcpStream& s, int e) {
        if (e == TcpStream::OpenCompleted) s.close();
    };
    runUntil([&] { return !c.recorder->events.empty(); });
    runUntil([] { return false; }, 0.1);
    EXPECT_EQ(c.recorder->events, (std::vector<int>{TcpStream::OpenCompleted})) << "nothing after a close";
    EXPECT_EQ(c.stream->status(), TcpStream::Status::Closed);
}

TEST(TcpStreamResolution, AHostNameIsResolvedThenConnected) {
    // Where "localhost" answers ::1 before 127.0.0.1 the first attempt is refused (the
    // server listens on 127.0.0.1 only) and the next address must be tried.
    zidtest::LoopbackTcpServer server;
    auto recorder = std::make_shared<Recorder>();
    auto stream = rt::make<TcpStream>("localhost", server.port());
    stream->setDelegate(recorder);
    stream->open();
    EXPECT_EQ(stream->status(), TcpStream::Status::Opening);
    ASSERT_TRUE(runUntil([&] { return stream->status() == TcpStream::Status::Open; }));
    EXPECT_EQ(stream->write("by name\n"), 8);
    ASSERT_TRUE(server.waitFor([&] { return server.received() == "by name\n"; }));
    EXPECT_FALSE(recorder->saw(TcpStream::ErrorOccurred));
}

TEST(TcpStreamResolution, AnUnresolvableHostIsTheResolversError) {
    // A label longer than 63 characters fails inside the resolver, before any query.
    std::string name = std::string(70, 'a') + ".invalid";
    auto recorder = std::make_shared<Recorder>();
    auto stream = rt::make<TcpStream>(name, 9);
    stream->setDelegate(recorder);
    stream->open();
    ASSERT_TRUE(runUntil([&] { return recorder->saw(TcpStream::ErrorOccurred); }));
    EXPECT_EQ(stream->status(), TcpStream::Status::Error);
    ASSERT_TRUE(stream->error());
    EXPECT_EQ(stream->error()->domain(), net::kNetworkErrorDomain);
    EXPECT_EQ(stream->error()->code(), static_cast<long long>(net::NetworkError::HostUnknown));
    EXPECT_NE(stream->error()->localizedDescription().find(name), std::string::npos);
    EXPECT_EQ(recorder->events, (std::vector<int>{TcpStream::ErrorOccurred}));
}

TEST(TcpStreamResolution, AResolutionOvertakenByCloseOrReopenConnectsNothing) {
    zidtest::LoopbackTcpServer server;
    auto recorder = std::make_shared<Recorder>();
    auto stream = rt::make<TcpStream>("localhost", server.port());
    stream->setDelegate(recorder);
    stream->open();
    stream->close();
    runUntil([] { return false; }, 0.3);
    EXPECT_TRUE(recorder->events.empty()) << "a closed stream reports nothing";
    EXPECT_EQ(stream->status(), TcpStream::Status::Closed);
    EXPECT_EQ(server.connectionsAccepted(), 0);

    stream->open();
    stream->close();
    stream->open();  // the first lookup is still on its way and must not connect too
    ASSERT_TRUE(runUntil([&] { return recorder->saw(TcpStream::OpenCompleted); }));
    runUntil([] { return false; }, 0.3);
    EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), int(TcpStream::OpenCompleted)), 1);
    ASSERT_TRUE(server.waitFor([&] { return server.connectionsAccepted() >= 1; }));
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST(TcpStreamResolution, EventsArriveOnTheLoopTheStreamWasOpenedOn) {
    zidtest::LoopbackTcpServer server;
    auto queue = fnd::Queue::serial("tcp-stream-test");
    rt::Ref<fnd::RunLoop> loop;
    std::thread::id loopThread;
    queue->sync([&] {
        loop = fnd::RunLoop::current();
        loopThread = std::this_thread::get_id();
    });
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    auto recorder = std::make_shared<Recorder>();
    recorder->also = [&](TcpStream&, int) {
        std::lock_guard lock(mutex);
        threads.push_back(std::this_thread::get_id());
    };
    for (const char* host : {"127.0.0.1", "localhost"}) {
        auto stream = rt::make<TcpStream>(host, server.port());
        stream->setDelegate(recorder);
        stream->open(loop);  // opened from the main thread, reported on the queue's
        ASSERT_TRUE(server.waitFor([&] {
            std::lock_guard lock(mutex);
            return threads.size() >= 2;
        })) << host;
        queue->sync([&] { stream->close(); });
        std::lock_guard lock(mutex);
        for (auto id : threads) EXPECT_EQ(id, loopThread) << host;
        threads.clear();
    }
    queue->sync([&] { recorder->events.clear(); });
}

TEST(TcpStreamReading, ReceivedBytesAreReportedAndRead) {
    Connected c;
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(c.server.waitFor([&] { return c.server.clientsConnected() == 1; }));
    c.server.sendToClients("hello");
    ASSERT_TRUE(runUntil([&] { return c.recorder->saw(TcpStream::HasBytesAvailable); }));
    char buffer[16];
    std::size_t n = c.stream->read(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), "hello");
    EXPECT_FALSE(c.stream->hasBytesAvailable());
}

TEST(TcpStreamWriting, ShortWritesAreBufferedAndDeliveredWholeInOrder) {
    Connected c(4096);  // a small receive window so the kernel takes writes in pieces
    c.server.setReading(false);
    ASSERT_TRUE(c.open());
    c.stream->setMaxBufferedOutput(std::size_t(1) << 30);
    std::string expected;
    // Write until the kernel stops taking everything, then some more.
    for (int i = 0, extra = 0; extra < 1000 && i < 500000; ++i) {
        std::string line = "line " + std::to_string(i) + " " + std::string(200, 'x') + "\n";
        ASSERT_EQ(c.stream->write(line), static_cast<long>(line.size()));
        expected += line;
        if (c.stream->bufferedOutput() > 0) ++extra;
    }
    EXPECT_GT(c.stream->bufferedOutput(), 0u) << "the peer is not reading: part of the output must wait";
    c.recorder->events.clear();
    c.server.setReading(true);
    ASSERT_TRUE(runUntil([&] { return c.stream->bufferedOutput() == 0; }, 10));
    ASSERT_TRUE(c.server.waitFor([&] { return c.server.received().size() == expected.size(); }));
    EXPECT_EQ(c.server.received(), expected);
    runUntil([&] { return c.recorder->saw(TcpStream::HasSpaceAvailable); }, 1);
    EXPECT_TRUE(c.recorder->saw(TcpStream::HasSpaceAvailable));
}

TEST(TcpStreamWriting, AWriteThatDoesNotFitWholeIsRefusedNotCut) {
    Connected c(4096);
    c.server.setReading(false);
    ASSERT_TRUE(c.open());
    c.stream->setMaxBufferedOutput(64 * 1024);
    std::string block(16 * 1024, 'y');
    long accepted = 0;
    int refusals = 0;
    for (int i = 0; i < 200; ++i) {
        long n = c.stream->write(block);
        if (n == 0) ++refusals;
        else {
            ASSERT_EQ(n, static_cast<long>(block.size()));
            accepted += n;
        }
    }
    EXPECT_GT(refusals, 0);
    c.server.setReading(true);
    ASSERT_TRUE(runUntil([&] { return c.server.received().size() == static_cast<std::size_t>(accepted); }, 10));
    EXPECT_EQ(c.server.received(), std::string(static_cast<std::size_t>(accepted), 'y'));
}

TEST(TcpStreamWriting, WritesFromManyThreadsNeverInterleave) {
    Connected c(8192);
    ASSERT_TRUE(c.open());
    constexpr int Threads = 6, Lines = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < Lines; ++i) {
                std::string line = "t" + std::to_string(t) + ":" + std::to_string(i) + ":" + std::string(300, char('a' + t)) + "\n";
                while (c.stream->write(line) == 0) std::this_thread::yield();
            }
        });
    }
    // The loop keeps flushing meanwhile.
    runUntil([&] {
        for (auto& w : writers)
            if (w.joinable()) return false;
        return true;
    }, 0.5);
    for (auto& w : writers) w.join();
    runUntil([&] { return c.stream->bufferedOutput() == 0; }, 10);
    ASSERT_TRUE(c.server.waitFor([&] {
        auto r = c.server.received();
        return std::count(r.begin(), r.end(), '\n') == Threads * Lines;
    }, 10));
    std::set<std::string> seen;
    std::string all = c.server.received();
    std::size_t start = 0;
    while (start < all.size()) {
        auto end = all.find('\n', start);
        std::string line = all.substr(start, end - start);
        start = end + 1;
        auto first = line.find(':'), second = line.find(':', first + 1);
        ASSERT_NE(second, std::string::npos) << line;
        int t = std::stoi(line.substr(1, first - 1));
        EXPECT_EQ(line.substr(second + 1), std::string(300, char('a' + t))) << "a line was cut or mixed";
        seen.insert(line.substr(0, second));
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(Threads * Lines));
}

}  // namespace
