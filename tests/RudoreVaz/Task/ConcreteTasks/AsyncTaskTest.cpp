#include <gtest/gtest.h>

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>
#include "Task/ConcreteTasks/AKFacadeTask.h"
#include "Task/ConcreteTasks/AKUITask.h"
#include <RudoreVaz/Task/ConcreteTasks/AKURLHitTask.h>
#include <peers/AdServerPeer.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

#include "../../TaskTestSupport.h"

namespace {

using namespace tasktest;
using Strings = std::vector<std::string>;

class ProbeTask : public zid::AKAsyncOperationTask {
    RT_CLASS(ProbeTask, zid::AKAsyncOperationTask)
public:
    ProbeTask() = default;
    void startOperation() override {
        ++starts;
        errorAtStart = error() != nullptr;
        onMain = onMain && fnd::RunLoop::isMainThread();
        if (onStart) onStart(*this);
    }
    void cancelOperation() override {
        ++cancelOperations;
        zid::AKAsyncOperationTask::cancelOperation();
    }
    std::function<void(ProbeTask&)> onStart;
    std::atomic<int> starts{0};
    std::atomic<int> cancelOperations{0};
    bool errorAtStart = false;
    bool onMain = true;
};

using AsyncTask = zidtest::VirtualTimeTest;

TEST_F(AsyncTask, StartingTwiceStartsOnceAndACancelledTaskOnlyEnds) {
    auto task = rt::make<ProbeTask>();
    task->start();
    task->start();
    drain();
    EXPECT_EQ(task->starts, 1);
    EXPECT_TRUE(task->isExecuting());
    EXPECT_TRUE(task->onMain);
    task->start();
    drain();
    EXPECT_EQ(task->starts, 1);

    auto cancelled = rt::make<ProbeTask>();
    FlagRecorder flags(cancelled);
    cancelled->cancel();
    cancelled->start();
    drain();
    EXPECT_EQ(cancelled->starts, 0);
    EXPECT_EQ(flags.entries(), (Strings{"isCancelled=1", "isExecuting=0", "isFinished=1"}));
}

TEST_F(AsyncTask, AFailureWithARetryLeftStartsAgainAfterTheIntervalThenFails) {
    auto task = rt::make<ProbeTask>();
    task->setRetryAttempts(1);
    task->setRetryTimeInterval(5);
    task->onStart = [](ProbeTask& t) { t.setFailedWithError(testError(t.starts)); };
    FlagRecorder flags(task);
    task->start();
    drain();
    EXPECT_EQ(task->starts, 1);
    EXPECT_TRUE(task->isExecuting());
    EXPECT_FALSE(task->isFailed());
    ASSERT_TRUE(task->error());
    advance(4.9);
    EXPECT_EQ(task->starts, 1);
    advance(0.1);
    drain();
    EXPECT_EQ(task->starts, 2);
    EXPECT_FALSE(task->errorAtStart) << "the error is cleared before the retry starts";
    EXPECT_TRUE(task->isFailed());
    EXPECT_TRUE(task->isFinished());
    EXPECT_EQ(task->failedAttemptsCount(), 2u);
    EXPECT_EQ(task->error()->code(), 2);
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isFailed=1", "isExecuting=0", "isFinished=1"}));
}

TEST_F(AsyncTask, TheRetryIsArmedOnTheMainLoopWhateverThreadReportedTheFailure) {
    auto task = rt::make<ProbeTask>();
    task->setRetryAttempts(1);
    task->setRetryTimeInterval(2);
    task->onStart = [](ProbeTask& t) {
        if (t.starts == 1) {
            std::thread reporter([&t] { t.setFailedWithError(testError()); });
            reporter.join();
        } else {
            t.setFinished();
        }
    };
    task->start();
    drain();
    ASSERT_EQ(task->starts, 1);
    advance(2);
    drain();
    EXPECT_EQ(task->starts, 2);
    EXPECT_TRUE(task->isFinished());
    EXPECT_FALSE(task->isFailed());
}

TEST_F(AsyncTask, ATaskGoneWhileItsRetryWaitsIsNotStartedAgain) {
    std::atomic<int> starts{0};
    rt::Weak<ProbeTask> weak;
    {
        auto task = rt::make<ProbeTask>();
        weak = task;
        task->setRetryAttempts(3);
        task->setRetryTimeInterval(1);
        task->onStart = [&starts](ProbeTask& t) {
            ++starts;
            t.setFailedWithError(testError());
        };
        task->start();
        drain();
    }
    drain();
    EXPECT_TRUE(weak.expired());
    advance(5);
    EXPECT_EQ(starts, 1);
}

TEST_F(AsyncTask, CancelWhileExecutingAnnouncesCancelledAndTheEndOnce) {
    LogCapture log;
    auto task = rt::make<ProbeTask>();
    FlagRecorder flags(task);
    task->start();
    drain();
    task->cancel();
    drain();
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isCancelled=1", "isExecuting=0", "isFinished=1"}));
    EXPECT_EQ(task->cancelOperations, 1);
    EXPECT_EQ(log.count("Cancelled task: "), 1);
    EXPECT_EQ(log.count("Finished task: "), 1);
}

TEST_F(AsyncTask, CancelStopsAPendingRetry) {
    auto task = rt::make<ProbeTask>();
    task->setRetryAttempts(2);
    task->setRetryTimeInterval(3);
    task->onStart = [](ProbeTask& t) { t.setFailedWithError(testError()); };
    task->start();
    drain();
    task->cancel();
    advance(10);
    drain();
    EXPECT_EQ(task->starts, 1);
    EXPECT_TRUE(task->isCancelled());
    EXPECT_TRUE(task->isFinished());
    EXPECT_FALSE(task->isFailed());
}

TEST_F(AsyncTask, UITaskRunsItsBlockOnTheMainThreadAndEndsOnce) {
    auto empty = zid::AKUITask::taskWithIdentifier("ui", "empty", nullptr);
    empty->start();
    drain();
    EXPECT_TRUE(empty->isFinished());

    bool blockOnMain = false;
    auto selfEnding = zid::AKUITask::taskWithIdentifier("ui2", "self-ending", [&](zid::AKUITask& t) {
        blockOnMain = fnd::RunLoop::isMainThread();
        t.setFinished();
    });
    FlagRecorder flags(selfEnding);
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("ui-queue");
    queue->addTask(selfEnding);
    ASSERT_TRUE(spinUntil([&] { return selfEnding->isFinished(); }));
    settle();
    EXPECT_TRUE(blockOnMain);
    EXPECT_EQ(flags.count("isFinished=1"), 1);
}

TEST_F(AsyncTask, FacadeTaskExecutesUntilItsOwnerEndsIt) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("facade-queue");
    auto facade = zid::AKFacadeTask::taskWithIdentifier("facade", "driven");
    queue->addTask(facade);
    ASSERT_TRUE(spinUntil([&] { return facade->isExecuting(); }));
    settle();
    EXPECT_FALSE(facade->isFinished());
    std::thread owner([&] { facade->setProgress(0.75); });
    owner.join();
    EXPECT_EQ(facade->progress(), 0.0) << "stored on the main queue, not at once";
    drain();
    EXPECT_EQ(facade->progress(), 0.75);
    facade->setResult("value");
    std::thread finisher([&] { facade->setFinished(); });
    finisher.join();
    ASSERT_TRUE(spinUntil([&] { return facade->isFinished() && queue->isEmpty(); }));
    EXPECT_EQ(facade->result(), rt::Value("value"));
}

// ---- URL hits against a loopback peer ----------------------------------------------

// Answers each connection on 127.0.0.1 with the next status of its script.
class StatusServer {
public:
    explicit StatusServer(std::vector<int> statuses) : statuses_(std::move(statuses)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 8);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~StatusServer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/hit"; }
    int hits() const { return hits_.load(); }

private:
    void serve() {
        for (int status : statuses_) {
            int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            ++hits_;
            std::string reply = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            [[maybe_unused]] auto written = ::write(client, reply.data(), reply.size());
            ::close(client);
        }
    }
    std::vector<int> statuses_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> hits_{0};
    std::thread thread_;
};

class URLHit : public ::testing::Test {
protected:
    rt::Ref<zid::AKOperationTaskQueue> queue = zid::AKOperationTaskQueue::queueWithIdentifier("url-hits");
};

TEST_F(URLHit, ASuccessfulStatusFinishesWithoutFailure) {
    StatusServer server({204});
    auto hit = zid::AKURLHitTask::taskWithIdentifier("hit", "hit", server.url());
    queue->addTask(hit);
    ASSERT_TRUE(spinUntil([&] { return hit->isFinished(); }, 10));
    EXPECT_FALSE(hit->isFailed());
    EXPECT_EQ(server.hits(), 1);
    EXPECT_NE(hit->description().find(" url=" + server.url()), std::string::npos);
}

TEST_F(URLHit, AnErrorStatusFailsAndIsRetried) {
    StatusServer server({503, 500});
    auto hit = zid::AKURLHitTask::taskWithIdentifier("hit", "hit", server.url());
    hit->setRetryAttempts(1);
    queue->addTask(hit);
    ASSERT_TRUE(spinUntil([&] { return hit->isFinished(); }, 10));
    EXPECT_TRUE(hit->isFailed());
    EXPECT_EQ(server.hits(), 2);
    ASSERT_TRUE(hit->error());
    EXPECT_EQ(hit->error()->domain(), zid::AKURLHitTaskErrorDomain);
    EXPECT_EQ(hit->error()->code(), 500);
}

TEST_F(URLHit, AHitWithATimeOutOfItsOwnGivesUpOnASilentPeer) {
    peers::AdServerPeer server;
    server.start();
    server.script("/silent", {peers::AdServerPeer::Answer::heldVast("")});
    auto hit = zid::AKURLHitTask::taskWithIdentifier("hit", "hit", server.url("/silent"), 0.3);
    EXPECT_EQ(hit->timeout(), 0.3);
    auto started = std::chrono::steady_clock::now();
    queue->addTask(hit);
    ASSERT_TRUE(spinUntil([&] { return hit->isFinished(); }, 10));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    server.release("/silent");
    EXPECT_TRUE(hit->isFailed());
    EXPECT_EQ(hit->error()->code(), -1);
    EXPECT_LT(seconds, 5.0);
    server.stop();
}

TEST_F(URLHit, AnUnreachablePeerFailsWithTheTransportError) {
    std::string url;
    {
        StatusServer closed({});
        url = closed.url();
    }  // the port is closed again
    auto hit = zid::AKURLHitTask::taskWithIdentifier("hit", "hit", url);
    queue->addTask(hit);
    ASSERT_TRUE(spinUntil([&] { return hit->isFinished(); }, 10));
    EXPECT_TRUE(hit->isFailed());
    ASSERT_TRUE(hit->error());
    EXPECT_EQ(hit->error()->code(), -1);
    EXPECT_TRUE(hit->error()->underlyingError());
}

}  // namespace
