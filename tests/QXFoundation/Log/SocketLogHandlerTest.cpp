#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "QXSocketLogHandler.h"
#include <fnd/RunLoop.h>

#include "LoopbackTcpServer.h"
#include "VirtualTime.h"

namespace {

using namespace zid;

class ViewBase : public rt::Object {
    RT_CLASS(ViewBase, rt::Object)
};
class PlayerView : public ViewBase {
    RT_CLASS(PlayerView, ViewBase)
};
class StatusView : public ViewBase {
    RT_CLASS(StatusView, ViewBase)
};

rt::Ref<QXLogRecord> record(rt::Value source, std::string message, std::int64_t level = 5) {
    auto r = rt::make<QXLogRecord>("ZIDoredider/QXFoundation", std::move(source), 0, std::move(message), level);
    r->setDate(rt::Date{0});
    return r;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The main loop runs on a virtual clock: socket events arrive in real time while the
// one-second reconnection delay passes only when the test advances it.
class SocketLogHandlerTest : public zidtest::VirtualTimeTest {
protected:
    bool runUntil(const std::function<bool()>& done, double seconds = 5) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }
    bool connected(const rt::Ref<QXSocketLogHandler>& h) {
        return runUntil([&] {
            auto s = h->outputStream();
            return s && s->status() == net::TcpStream::Status::Open && server.clientsConnected() == 1;
        });
    }
    bool serverHas(std::size_t lineCount) {
        return runUntil([&] { return lines(server.received()).size() >= lineCount; });
    }
    rt::Ref<QXSocketLogHandler> makeHandler() {
        return rt::make<QXSocketLogHandler>(nullptr, 5, "127.0.0.1", server.port());
    }

    zidtest::LoopbackTcpServer server;
};

const std::string kDate = "1970-01-01 00:00:00 +0000";

TEST_F(SocketLogHandlerTest, AnnouncesEachClassOncePerConnectionBeforeItsFirstLine) {
    auto handler = makeHandler();
    ASSERT_TRUE(connected(handler));
    handler->handleLogRecord(record(&PlayerView::staticClass(), "one"));
    handler->handleLogRecord(record(&PlayerView::staticClass(), "two"));
    handler->handleLogRecord(record(&StatusView::staticClass(), "three"));
    auto object = rt::make<ViewBase>();
    handler->handleLogRecord(record(object, "from an object"));
    handler->handleLogRecord(record(rt::Value(), "no source"));
    handler->handleLogRecord(record(&PlayerView::staticClass(), "too detailed", 6));
    ASSERT_TRUE(serverHas(7));
    EXPECT_EQ(lines(server.received()), (std::vector<std::string>{
                                            R"({"classes":["PlayerView","ViewBase","Object"]})",
                                            "[i] [PlayerView : " + kDate + "] one",
                                            "[i] [PlayerView : " + kDate + "] two",
                                            R"({"classes":["StatusView","ViewBase"]})",
                                            "[i] [StatusView : " + kDate + "] three",
                                            // The object's own class was announced already.
                                            "[i] [" + rt::Value(object).description() + " : " + kDate + "] from an object",
                                            "[i] [" + kDate + "] no source",
                                        }));
    EXPECT_TRUE(handler->isClassSent(&ViewBase::staticClass()));
    EXPECT_EQ(handler->classesSent().size(), 4u);
}

TEST_F(SocketLogHandlerTest, LinesLoggedWhileConnectingAreDroppedNotQueued) {
    auto handler = makeHandler();
    EXPECT_EQ(handler->outputStream()->status(), net::TcpStream::Status::Opening);
    handler->handleLogRecord(record(&PlayerView::staticClass(), "too early"));
    ASSERT_TRUE(connected(handler));
    handler->handleLogRecord(record(&PlayerView::staticClass(), "in time"));
    ASSERT_TRUE(serverHas(2));
    // The dropped record must not have used up the class's announcement.
    EXPECT_EQ(lines(server.received()),
              (std::vector<std::string>{R"({"classes":["PlayerView","ViewBase","Object"]})",
                                        "[i] [PlayerView : " + kDate + "] in time"}));
}

TEST_F(SocketLogHandlerTest, ReconnectsOneSecondAfterTheViewerHangsUpAndAnnouncesAgain) {
    auto handler = makeHandler();
    ASSERT_TRUE(connected(handler));
    handler->handleLogRecord(record(&StatusView::staticClass(), "before"));
    ASSERT_TRUE(serverHas(2));
    server.dropClients();
    ASSERT_TRUE(runUntil([&] { return handler->outputStream() == nullptr; })) << "end of stream closes at once";
    EXPECT_TRUE(handler->classesSent().empty());
    handler->handleLogRecord(record(&StatusView::staticClass(), "while away"));

    advance(0.9);
    runUntil([] { return false; }, 0.05);
    EXPECT_EQ(server.connectionsAccepted(), 1) << "not before the delay";
    advance(0.1);
    ASSERT_TRUE(connected(handler));
    EXPECT_EQ(server.connectionsAccepted(), 2);
    handler->handleLogRecord(record(&StatusView::staticClass(), "after"));
    ASSERT_TRUE(serverHas(4));
    auto got = lines(server.received());
    EXPECT_EQ(got[2], R"({"classes":["StatusView","ViewBase","Object"]})");
    EXPECT_EQ(got[3], "[i] [StatusView : " + kDate + "] after");
}

TEST_F(SocketLogHandlerTest, KeepsRetryingEverySecondUntilTheViewerComesBack) {
    auto handler = makeHandler();
    ASSERT_TRUE(connected(handler));
    server.goAway();
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Each failed attempt (end or refusal) schedules the next one a second later.
        ASSERT_TRUE(runUntil([&] { return handler->outputStream() == nullptr; }));
        advance(1.0);
        ASSERT_TRUE(handler->outputStream());
    }
    server.comeBack();
    ASSERT_TRUE(runUntil([&] {
        auto s = handler->outputStream();
        if (s && s->status() == net::TcpStream::Status::Open) return true;
        if (!s) advance(1.0);
        return false;
    }, 10));
    ASSERT_TRUE(connected(handler));
    handler->handleLogRecord(record(rt::Value(), "back"));
    ASSERT_TRUE(runUntil([&] { return server.received().find("] back\n") != std::string::npos; }));
}

TEST_F(SocketLogHandlerTest, ExplicitCloseCancelsAPendingReconnection) {
    auto handler = makeHandler();
    ASSERT_TRUE(connected(handler));
    server.dropClients();
    ASSERT_TRUE(runUntil([&] { return handler->outputStream() == nullptr; }));
    handler->close();
    advance(5);
    runUntil([] { return false; }, 0.1);
    EXPECT_EQ(handler->outputStream(), nullptr);
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST_F(SocketLogHandlerTest, LinesFromManyThreadsArriveWholeWithTheirAnnouncementFirst) {
    auto handler = makeHandler();
    ASSERT_TRUE(connected(handler));
    constexpr int Threads = 4, Records = 250;
    std::vector<std::thread> threads;
    std::atomic<int> finished{0};
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            const rt::Class& cls = t % 2 ? PlayerView::staticClass() : StatusView::staticClass();
            for (int i = 0; i < Records; ++i)
                handler->handleLogRecord(record(&cls, "t" + std::to_string(t) + " " + std::string(500, char('a' + t))));
            ++finished;
        });
    }
    runUntil([&] { return finished.load() == Threads; }, 10);  // the loop flushes meanwhile
    for (auto& t : threads) t.join();
    ASSERT_TRUE(serverHas(Threads * Records + 2));
    auto got = lines(server.received());
    std::set<std::string> announced;
    int records = 0;
    for (auto& line : got) {
        if (line.rfind("{\"classes\":", 0) == 0) {
            announced.insert(line.substr(13, line.find('"', 13) - 13));
            continue;
        }
        ++records;
        auto cls = line.substr(5, line.find(' ', 5) - 5);
        EXPECT_TRUE(announced.count(cls)) << "record before its class announcement: " << line;
        auto message = line.substr(line.rfind("] ") + 2);
        ASSERT_EQ(message.size(), 3u + 500u) << line;
        EXPECT_EQ(message.substr(3), std::string(500, message[1] - '0' + 'a')) << "cut or mixed line";
    }
    EXPECT_EQ(records, Threads * Records);
}

TEST_F(SocketLogHandlerTest, PortOutsideTheTcpRangeIsNotWrappedOntoAnotherPort) {
    auto handler = rt::make<QXSocketLogHandler>(nullptr, 5, "127.0.0.1", 65536u + server.port());
    runUntil([] { return false; }, 0.1);
    EXPECT_EQ(handler->outputStream(), nullptr);
    EXPECT_EQ(server.connectionsAccepted(), 0);
}

}  // namespace
