#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <QXFoundation/Assert/QXAssert.h>
#include <QXFoundation/Log/QXLogger.h>

namespace {

using namespace zid;

struct Capture : QXLogHandler {
    Capture() : QXLogHandler(nullptr, 5) {}
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        if (!acceptsLogRecord(*record)) return;
        std::lock_guard lock(mutex);
        messages.push_back(record->message());
    }
    std::mutex mutex;
    std::vector<std::string> messages;
};

class AssertTest : public ::testing::Test {
protected:
    void SetUp() override { QXLogger::defaultLogger()->registerHandler(capture); }
    void TearDown() override { QXLogger::defaultLogger()->deregistreHandler(capture); }
    rt::Ref<Capture> capture = rt::make<Capture>();
};

int mainThreadAssertLine = 0;
int mainThreadOnly(int x) {
    mainThreadAssertLine = __LINE__ + 1;
    QXMainThreadAssert();
    return x * 2;  // carries on either way
}

int checkedHalf(int x, const char* what) {
    QXAssert(x % 2 == 0, "Invalid subtitle instance: %@", what);
    return x / 2;
}

TEST_F(AssertTest, MainThreadAssertIsSilentOnMainAndReportsElsewhereThenCarriesOn) {
    EXPECT_EQ(mainThreadOnly(2), 4);
    EXPECT_TRUE(capture->messages.empty());

    int result = 0;
    std::thread([&] { result = mainThreadOnly(5); }).join();
    EXPECT_EQ(result, 10);
    ASSERT_EQ(capture->messages.size(), 1u);
    const std::string& line = capture->messages[0];
    auto marker = line.find(": MainThreadAssert: ");
    ASSERT_NE(marker, std::string::npos) << line;
    std::string where = line.substr(0, marker);
    EXPECT_NE(where.find("mainThreadOnly"), std::string::npos) << where;
    EXPECT_EQ(where.substr(where.rfind(':') + 1), std::to_string(mainThreadAssertLine)) << "the line of the assertion";
    EXPECT_GT(line.size(), marker + 20) << "a call stack follows";
}

TEST_F(AssertTest, ValueAssertReportsFailureTextAndCarriesOn) {
    EXPECT_EQ(checkedHalf(4, "ok"), 2);
    EXPECT_TRUE(capture->messages.empty());
    EXPECT_EQ(checkedHalf(5, "sub-7"), 2);
    ASSERT_EQ(capture->messages.size(), 1u);
    const std::string& line = capture->messages[0];
    EXPECT_NE(line.find("checkedHalf"), std::string::npos) << line;
    auto failure = line.find(": QXAssert failure: Invalid subtitle instance: sub-7");
    ASSERT_NE(failure, std::string::npos) << line;
    EXPECT_EQ(line.size(), failure + std::string(": QXAssert failure: Invalid subtitle instance: sub-7").size());
}

TEST_F(AssertTest, TraceUsesTheSamePrefix) {
    int traceLine = __LINE__ + 1;
    QXDiagnosticsTrace("Connection established");
    ASSERT_EQ(capture->messages.size(), 1u);
    const std::string& line = capture->messages[0];
    EXPECT_EQ(line.substr(line.size() - std::string(": Connection established").size()), ": Connection established");
    EXPECT_NE(line.find(":" + std::to_string(traceLine) + ": "), std::string::npos) << line;
}

}  // namespace
