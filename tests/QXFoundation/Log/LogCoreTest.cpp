#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include <QXFoundation/Log/QXLogFilter.h>
#include <QXFoundation/Log/QXLogger.h>
#include "QXStderrLogHandler.h"

namespace {

using namespace zid;

// Records what it accepts, formatted.
class CapturingHandler : public QXLogHandler {
public:
    using QXLogHandler::QXLogHandler;
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        if (acceptsLogRecord(*record)) lines.push_back(formatter()->formatLog(*record));
    }
    std::vector<std::string> lines;
};

class CountingFilter : public QXLogFilter {
public:
    explicit CountingFilter(bool answer) : answer(answer) {}
    bool filterLog(const QXLogRecord&) const override {
        ++asked;
        return answer;
    }
    bool answer;
    mutable int asked = 0;
};

rt::Ref<QXLogRecord> record(std::int64_t level, std::string message = "hello", rt::Value source = {}) {
    return rt::make<QXLogRecord>("ZIDoredider/QXFoundation", source, 0, std::move(message), level);
}

TEST(LogCoreTest, LevelTagsCoverOneToSixAndEverythingElseIsUnknown) {
    const char* tags[] = {"[C]", "[E]", "[!]", "[S]", "[i]", "[d]"};
    for (int level = 1; level <= 6; ++level) EXPECT_EQ(QXLogFormatter::logRecordTypeFromLevel(level), tags[level - 1]);
    for (std::int64_t level : {0, 7, -1, 1000}) EXPECT_EQ(QXLogFormatter::logRecordTypeFromLevel(level), "[?]");
}

TEST(LogCoreTest, FormatsWithAndWithoutSource) {
    auto plain = record(5, "Not found: x");
    plain->setDate(rt::Date{0});
    EXPECT_EQ(rt::make<QXLogFormatter>()->formatLog(*plain), "[i] [1970-01-01 00:00:00 +0000] Not found: x");
    auto withSource = record(2, "Forbidden", rt::Value(&QXLogger::staticClass()));
    withSource->setDate(rt::Date{0});
    EXPECT_EQ(rt::make<QXLogFormatter>()->formatLog(*withSource), "[E] [QXLogger : 1970-01-01 00:00:00 +0000] Forbidden");
}

TEST(LogCoreTest, HandlerLevelMatrix) {
    auto plain = rt::make<CapturingHandler>();
    EXPECT_EQ(plain->level(), 0);
    for (int level = 1; level <= 6; ++level) EXPECT_FALSE(plain->acceptsLogRecord(*record(level)));
    EXPECT_TRUE(plain->acceptsLogRecord(*record(0)));
    EXPECT_TRUE(plain->acceptsLogRecord(*record(-4)));

    auto five = rt::make<CapturingHandler>(nullptr, 5);
    for (int level = 1; level <= 5; ++level) EXPECT_TRUE(five->acceptsLogRecord(*record(level)));
    EXPECT_FALSE(five->acceptsLogRecord(*record(6)));
}

TEST(LogCoreTest, FilterIsAskedOnlyAfterTheLevelTestPasses) {
    auto filter = rt::make<CountingFilter>(false);
    auto handler = rt::make<CapturingHandler>(filter, 3);
    EXPECT_FALSE(handler->acceptsLogRecord(*record(5)));
    EXPECT_EQ(filter->asked, 0);
    EXPECT_FALSE(handler->acceptsLogRecord(*record(2)));
    EXPECT_EQ(filter->asked, 1);
}

TEST(LogCoreTest, LoggerDeliversInOrderOnceEachAndDeregisters) {
    auto logger = rt::make<QXLogger>();
    logger->logRecord(record(1));  // no handler: nothing happens
    auto a = rt::make<CapturingHandler>(nullptr, 6);
    auto b = rt::make<CapturingHandler>(nullptr, 1);
    logger->registerHandler(a);
    logger->registerHandler(b);
    logger->registerHandler(a);
    ASSERT_EQ(logger->handlers().size(), 2u);
    EXPECT_EQ(logger->handlers()[0], a);
    logger->logRecord(record(3, "three"));  // b rejects, a still gets it
    logger->logRecord(record(1, "one"));
    EXPECT_EQ(a->lines.size(), 2u);
    EXPECT_EQ(b->lines.size(), 1u);
    logger->deregistreHandler(a);
    logger->deregistreHandler(a);
    logger->logRecord(record(1));
    EXPECT_EQ(a->lines.size(), 2u);
    EXPECT_EQ(logger->handlers().size(), 1u);
}

// Counts how often its text is made.
class Described : public rt::Object {
public:
    std::string description() const override {
        ++made;
        return "described";
    }
    mutable int made = 0;
};

TEST(LogCoreTest, ALogCallNoHandlerTakesMakesNothingAndLevelChangesAreSeen) {
    auto logger = QXLogger::defaultLogger();
    auto handler = rt::make<CapturingHandler>(nullptr, 4);
    auto argument = rt::make<Described>();
    auto log = [&](std::int64_t level) {
        QXLog("ZIDoredider/QXFoundation", rt::Object::staticClass(), level, "%@", rt::Value(argument));
    };
    log(4);  // nobody registered yet
    logger->registerHandler(handler);
    log(5);
    EXPECT_EQ(argument->made, 0) << "a record above every handler's level is not even formatted";
    EXPECT_FALSE(logger->takesLevel(5));
    log(4);
    EXPECT_EQ(argument->made, 1);
    handler->setLevel(6);  // raised after registration
    EXPECT_TRUE(logger->takesLevel(6));
    log(6);
    handler->setLevel(1);
    log(4);
    ASSERT_EQ(handler->lines.size(), 2u);
    EXPECT_EQ(handler->lines[1].substr(0, 3), "[d]");
    logger->deregistreHandler(handler);
    EXPECT_FALSE(logger->takesLevel(1)) << "no handler left";
    log(1);
    EXPECT_EQ(argument->made, 2);
}

TEST(LogCoreTest, RegistrationMayRaceWithLoggingFromOtherThreads) {
    auto logger = rt::make<QXLogger>();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) logger->logRecord(record(1));
    });
    for (int i = 0; i < 200; ++i) {
        auto handler = rt::make<QXLogHandler>(nullptr, 6);
        logger->registerHandler(handler);
        logger->deregistreHandler(handler);
    }
    stop = true;
    writer.join();
    EXPECT_TRUE(logger->handlers().empty());
}

// Equal by name; asking it logs through the logger it is registered with, as a
// handler that traces its own comparisons would.
class NamedHandler : public CapturingHandler {
public:
    NamedHandler(const rt::Ref<QXLogger>& logger, std::string name)
        : CapturingHandler(nullptr, 6), logger(logger), name(std::move(name)) {}
    bool isEqual(const rt::Object& other) const override {
        if (auto l = logger.lock()) l->logRecord(record(6, "comparing " + name));
        auto* named = dynamic_cast<const NamedHandler*>(&other);
        return named && named->name == name;
    }
    void handleLogRecord(const rt::Ref<QXLogRecord>& r) override {
        std::lock_guard lock(mutex);  // records arrive from several threads below
        CapturingHandler::handleLogRecord(r);
    }
    std::mutex mutex;
    rt::Weak<QXLogger> logger;  // the logger holds its handlers
    std::string name;
};

TEST(LogCoreTest, EqualHandlersAreRegisteredOnceAndMayLogWhileCompared) {
    auto logger = rt::make<QXLogger>();
    auto first = rt::make<NamedHandler>(logger, "console");
    logger->registerHandler(first);
    logger->registerHandler(rt::make<NamedHandler>(logger, "console"));  // equal, not the same object
    ASSERT_EQ(logger->handlers().size(), 1u);
    EXPECT_EQ(logger->handlers()[0], first);
    EXPECT_FALSE(first->lines.empty()) << "the comparison's own record reached the registered handler";

    logger->registerHandler(rt::make<NamedHandler>(logger, "file"));
    logger->deregistreHandler(rt::make<NamedHandler>(logger, "console"));  // removes the equal one
    ASSERT_EQ(logger->handlers().size(), 1u);
    EXPECT_EQ(static_cast<NamedHandler&>(*logger->handlers()[0]).name, "file");

    // Equal handlers registered from several threads at once still end up once.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) logger->registerHandler(rt::make<NamedHandler>(logger, "shared"));
        });
    for (auto& thread : threads) thread.join();
    int shared = 0;
    for (const auto& h : logger->handlers()) shared += static_cast<NamedHandler&>(*h).name == "shared";
    EXPECT_EQ(shared, 1);
}

TEST(LogFilterTest, AndOrShortCircuitAndMissingSubFiltersReject) {
    auto accept = rt::make<CountingFilter>(true), reject = rt::make<CountingFilter>(false);
    auto andFilter = rt::make<QXLogFilterAND>();
    andFilter->setFilter1(accept);
    EXPECT_FALSE(andFilter->filterLog(*record(1)));
    EXPECT_EQ(accept->asked, 0);
    andFilter->setFilter0(reject);
    EXPECT_FALSE(andFilter->filterLog(*record(1)));
    EXPECT_EQ(accept->asked, 0);
    andFilter->setFilter0(accept);
    EXPECT_TRUE(andFilter->filterLog(*record(1)));

    auto orFilter = rt::make<QXLogFilterOR>();
    EXPECT_FALSE(orFilter->filterLog(*record(1)));
    orFilter->setFilter0(accept);
    orFilter->setFilter1(reject);
    int rejectAsked = reject->asked;
    EXPECT_TRUE(orFilter->filterLog(*record(1)));
    EXPECT_EQ(reject->asked, rejectAsked);
    orFilter->setFilter0(reject);
    EXPECT_FALSE(orFilter->filterLog(*record(1)));
}

TEST(LogFilterTest, MessageBlockAndSourceFilters) {
    auto byMessage = rt::make<QXLogFilterByMessage>("error");
    EXPECT_TRUE(byMessage->filterLog(*record(1, "An Error here")));
    EXPECT_TRUE(byMessage->filterLog(*record(1, "ERROR!")));
    EXPECT_FALSE(byMessage->filterLog(*record(1, "all fine")));
    EXPECT_FALSE(rt::make<QXLogFilterByMessage>("")->filterLog(*record(1, "error")));
    EXPECT_FALSE(byMessage->filterLog(*record(1, "")));

    auto noBlock = rt::make<QXLogFilterByBlock>();
    EXPECT_FALSE(noBlock->filterLog(*record(1)));
    auto byBlock = QXLogFilterByBlock::filterWithBlock([](const QXLogRecord& r) { return r.level() == 2; });
    EXPECT_TRUE(byBlock->filterLog(*record(2)));
    EXPECT_FALSE(byBlock->filterLog(*record(3)));

    auto noSource = rt::make<QXLogFilterBySource>();
    EXPECT_TRUE(noSource->filterLog(*record(1)));
    EXPECT_FALSE(noSource->filterLog(*record(1, "m", rt::Value(&QXLogger::staticClass()))));
    auto loggerSource = rt::make<QXLogFilterBySource>(rt::Value(&QXLogger::staticClass()));
    EXPECT_TRUE(loggerSource->filterLog(*record(1, "m", rt::Value(&QXLogger::staticClass()))));
    EXPECT_FALSE(loggerSource->filterLog(*record(1, "m", rt::Value(&QXLogRecord::staticClass()))));
    EXPECT_FALSE(loggerSource->filterLog(*record(1)));
}

TEST(LogCoreTest, StderrHandlerWritesOneLinePerAcceptedRecord) {
    auto handler = rt::make<QXStderrLogHandler>(nullptr, 5);
    testing::internal::CaptureStderr();
    handler->handleLogRecord(record(5, "shown"));
    handler->handleLogRecord(record(6, "hidden"));
    handler->flush();
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(out, std::regex(R"(\[i\] \[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000\] shown\n)"))) << out;
}

}  // namespace
