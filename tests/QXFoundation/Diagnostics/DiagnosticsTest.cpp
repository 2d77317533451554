#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <QXFoundation/Log/QXLogger.h>

namespace {

using namespace zid;

// Keeps the records the default logger hands it while a test runs.
class CapturedLog {
public:
    struct Handler : QXLogHandler {
        Handler() : QXLogHandler(nullptr, 6) {}
        void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
            if (!acceptsLogRecord(*record)) return;
            std::lock_guard lock(mutex);
            records.push_back(record);
        }
        std::mutex mutex;
        std::vector<rt::Ref<QXLogRecord>> records;
    };
    CapturedLog() : handler(rt::make<Handler>()) { QXLogger::defaultLogger()->registerHandler(handler); }
    ~CapturedLog() { QXLogger::defaultLogger()->deregistreHandler(handler); }
    std::vector<std::string> messages() {
        std::lock_guard lock(handler->mutex);
        std::vector<std::string> out;
        for (auto& r : handler->records) out.push_back(r->message());
        return out;
    }
    rt::Ref<Handler> handler;
};

struct Recording : DiagnosticRecorder {
    std::vector<std::string> calls;
    std::function<void()> onLog;
    void recordLog(const std::string& text) override {
        calls.push_back("log:" + text);
        if (onLog) onLog();
    }
    void recordError(const rt::Ref<rt::Error>& e) override { calls.push_back("error:" + e->domain()); }
    void setObjectValue(const rt::Value& v, const std::string& k) override { calls.push_back("obj:" + k + "=" + v.description()); }
    void setIntValue(std::int32_t v, const std::string& k) override { calls.push_back("int:" + k + "=" + std::to_string(v)); }
    void setBoolValue(bool v, const std::string& k) override { calls.push_back("bool:" + k + "=" + (v ? "1" : "0")); }
    void setFloatValue(float v, const std::string& k) override { calls.push_back("float:" + k + "=" + std::to_string(v)); }
    void setUserID(const std::string& id) override { calls.push_back("user:" + id); }
};

struct UserOnly : DiagnosticRecorder {
    std::vector<std::string> ids;
    void setUserID(const std::string& id) override { ids.push_back(id); }
};

TEST(DiagnosticsLogging, FormattedLineIsOneLevelFiveRecordFromDiagnostics) {
    CapturedLog log;
    Diagnostics::recordLog("%s:%d: MainThreadAssert: %@", "-[QXView reload]", 43, "stack");
    ASSERT_EQ(log.handler->records.size(), 1u);
    auto& r = *log.handler->records[0];
    EXPECT_EQ(r.message(), "-[QXView reload]:43: MainThreadAssert: stack");
    EXPECT_EQ(r.level(), 5);
    EXPECT_EQ(r.module(), "ZIDoredider/QXFoundation");
    EXPECT_EQ(r.source().cls(), &Diagnostics::staticClass());
    EXPECT_EQ(r.address(), 0);
}

TEST(DiagnosticsLogging, EachOperationLogsItsOwnText) {
    CapturedLog log;
    auto d = rt::make<Diagnostics>();
    d->doRecordLog("100% done");  // the text is not a format
    d->doRecordError(rt::Error::withDescription("Net", 3, "down"));
    d->doSetObjectValue(rt::Value("x1"), "channel");
    d->doSetIntValue(-7, "retries");
    d->doSetBoolValue(true, "muted");
    d->doSetBoolValue(false, "live");
    d->doSetFloatValue(1.5f, "rate");
    d->doSetUserID("u-9");
    auto messages = log.messages();
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(messages[0], "100% done");
    EXPECT_EQ(messages[1], rt::Value(rt::Error::withDescription("Net", 3, "down")).description());
    EXPECT_EQ(std::vector<std::string>(messages.begin() + 2, messages.end()),
              (std::vector<std::string>{"channel = x1", "retries = -7", "muted = YES", "live = NO", "rate = 1.500000",
                                        "UserID = u-9"}));
}

TEST(DiagnosticsRecorders, ForwardedOnceEachInOrderAfterLogging) {
    CapturedLog log;
    auto d = rt::make<Diagnostics>();
    auto all = rt::make<Recording>();
    auto users = rt::make<UserOnly>();
    d->doRegisterDiagnosticRecorder(all);
    d->doRegisterDiagnosticRecorder(all);  // once is enough
    d->doRegisterDiagnosticRecorder(users);
    EXPECT_EQ(d->recorders().size(), 2u);

    std::size_t loggedBeforeForwarding = 0;
    all->onLog = [&] { loggedBeforeForwarding = log.messages().size(); };
    d->doRecordLog("hello");
    EXPECT_EQ(loggedBeforeForwarding, 1u) << "the log comes before any recorder";
    d->doRecordError(rt::Error::make("Dom", 1));
    d->doSetObjectValue(rt::Value(3), "k");
    d->doSetIntValue(4, "i");
    d->doSetBoolValue(true, "b");
    d->doSetFloatValue(0.25f, "f");
    d->doSetUserID("me");
    EXPECT_EQ(all->calls, (std::vector<std::string>{"log:hello", "error:Dom", "obj:k=3", "int:i=4", "bool:b=1",
                                                     "float:f=0.250000", "user:me"}));
    EXPECT_EQ(users->ids, (std::vector<std::string>{"me"})) << "a recorder gets only what it implements";
}

TEST(DiagnosticsRecorders, RegistrationDuringAWalkDoesNotDisturbIt) {
    CapturedLog log;
    auto d = rt::make<Diagnostics>();
    auto first = rt::make<Recording>();
    std::vector<rt::Ref<Recording>> added;
    first->onLog = [&] {
        // Enough registrations to move the list's storage under a live walk.
        for (int i = 0; i < 64; ++i) {
            added.push_back(rt::make<Recording>());
            d->doRegisterDiagnosticRecorder(added.back());
        }
    };
    d->doRegisterDiagnosticRecorder(first);
    d->doRecordLog("one");
    for (auto& r : added) EXPECT_TRUE(r->calls.empty()) << "joined after the event began";
    first->onLog = nullptr;
    d->doRecordLog("two");
    for (auto& r : added) EXPECT_EQ(r->calls, (std::vector<std::string>{"log:two"}));
}

// Equal by name; comparing it records through the Diagnostics it is offered to.
struct NamedRecorder : DiagnosticRecorder {
    NamedRecorder(const rt::Ref<Diagnostics>& d, std::string name) : diagnostics(d), name(std::move(name)) {}
    bool isEqual(const rt::Object& other) const override {
        if (auto d = diagnostics.lock()) d->doRecordLog("comparing " + name);
        auto* named = dynamic_cast<const NamedRecorder*>(&other);
        return named && named->name == name;
    }
    rt::Weak<Diagnostics> diagnostics;  // Diagnostics holds its recorders
    std::string name;
};

TEST(DiagnosticsRecorders, EqualRecordersAreRegisteredOnceAndMayRecordWhileCompared) {
    CapturedLog log;
    auto d = rt::make<Diagnostics>();
    auto first = rt::make<NamedRecorder>(d, "crash-reporter");
    d->doRegisterDiagnosticRecorder(first);
    d->doRegisterDiagnosticRecorder(rt::make<NamedRecorder>(d, "crash-reporter"));
    ASSERT_EQ(d->recorders().size(), 1u);
    EXPECT_EQ(d->recorders()[0], first);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"comparing crash-reporter"}));
}

TEST(DiagnosticsRecorders, EventsAndRegistrationsFromManyThreads) {
    auto d = rt::make<Diagnostics>();
    struct Counting : DiagnosticRecorder {
        std::atomic<int> n{0};
        void recordLog(const std::string&) override { ++n; }
    };
    auto counter = rt::make<Counting>();
    d->doRegisterDiagnosticRecorder(counter);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (t == 0) d->doRegisterDiagnosticRecorder(rt::make<DiagnosticRecorder>());
                else d->doRecordLog("x");
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter->n.load(), 600);
    EXPECT_EQ(d->recorders().size(), 201u);
}

TEST(DiagnosticsShared, StaticInterfaceReachesTheSharedInstance) {
    EXPECT_EQ(Diagnostics::sharedDiagnostics(), Diagnostics::sharedDiagnostics());
    auto users = rt::make<UserOnly>();
    Diagnostics::registerDiagnosticRecorder(users);
    CapturedLog log;
    Diagnostics::setUserID("shared-user");
    Diagnostics::recordLog("ignored by a user-only recorder");
    EXPECT_EQ(users->ids, (std::vector<std::string>{"shared-user"}));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"UserID = shared-user", "ignored by a user-only recorder"}));
}

TEST(DiagnosticsShared, EventsDuringProcessExitStillReachTheLogger) {
    // An exit handler registered before the shared instance is first used runs after
    // the process's static objects are gone; it must still find Diagnostics and the
    // logger. Checked in a fresh process, where this is the first use.
    const auto style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit([] { Diagnostics::recordLog("%s", "late event"); });
            Diagnostics::recordLog("%s", "first event");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
