#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "QXFileLogHandler.h"
#include "QXJSONLogFormatter.h"
#include <QXFoundation/Log/QXLogger.h>
#include <nlohmann/json.hpp>

#include "ScratchDirectory.h"

namespace {

using namespace zid;
namespace fs = std::filesystem;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

rt::Ref<QXLogRecord> fileRecord(std::int64_t level, std::string message) {
    auto r = rt::make<QXLogRecord>("ZIDoredider/QXFoundation", rt::Value(), 0, std::move(message), level);
    r->setDate(rt::Date{0});
    return r;
}

// Points the temporary directory at a fresh folder for each test.
class FileLogHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        if (old) saved_ = old;
        hadTmp_ = old != nullptr;
        ::setenv("TMPDIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (hadTmp_) ::setenv("TMPDIR", saved_.c_str(), 1);
        else ::unsetenv("TMPDIR");
    }
    zidtest::ScratchDirectory scratch{"filelog"};
    std::string dir_ = scratch.string();
    std::string saved_;
    bool hadTmp_ = false;
};

TEST_F(FileLogHandlerTest, DefaultHandlerCreatesTheLogFolderAndADateNamedFile) {
    EXPECT_EQ(QXFileLogHandler::logDir(), dir_ + "/logs/");
    ASSERT_FALSE(fs::exists(dir_ + "/logs"));
    auto before = rt::Date::now().description();
    auto handler = QXFileLogHandler::init();
    auto after = rt::Date::now().description();
    ASSERT_TRUE(handler);
    EXPECT_TRUE(fs::is_directory(dir_ + "/logs"));
    auto name = fs::path(handler->path()).filename().string();
    EXPECT_TRUE(name == before + ".log" || name == after + ".log") << name;

    handler->handleLogRecord(fileRecord(5, "dropped at level 0"));
    EXPECT_EQ(contents(handler->path()), "");
    handler->setLevel(5);
    handler->handleLogRecord(fileRecord(5, "first"));
    handler->handleLogRecord(fileRecord(6, "too detailed"));
    handler->handleLogRecord(fileRecord(2, "second"));
    // On disk as soon as the call returns, without an explicit flush.
    EXPECT_EQ(contents(handler->path()),
              "[i] [1970-01-01 00:00:00 +0000] first\n[E] [1970-01-01 00:00:00 +0000] second\n");
}

TEST_F(FileLogHandlerTest, HandlersOpenedInTheSameSecondKeepSeparateFiles) {
    std::vector<rt::Ref<QXFileLogHandler>> handlers;
    for (int i = 0; i < 3; ++i) {
        auto h = QXFileLogHandler::init();
        ASSERT_TRUE(h);
        h->setLevel(5);
        h->handleLogRecord(fileRecord(5, "from " + std::to_string(i)));
        handlers.push_back(h);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(contents(handlers[i]->path()), "[i] [1970-01-01 00:00:00 +0000] from " + std::to_string(i) + "\n")
            << "a later handler must not truncate an earlier one's file";
        for (int j = 0; j < i; ++j) EXPECT_NE(handlers[i]->path(), handlers[j]->path());
    }
}

TEST_F(FileLogHandlerTest, NamedFileIsTruncatedOnReopenAndUnopenablePathGivesNoHandler) {
    auto first = QXFileLogHandler::initWithFileName("app.log");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path(), dir_ + "/logs/app.log");
    first->setLevel(6);
    first->handleLogRecord(fileRecord(5, "old run"));
    first->close();

    auto second = QXFileLogHandler::initWithFileName("app.log");
    ASSERT_TRUE(second);
    second->setLevel(6);
    second->handleLogRecord(fileRecord(3, "new run"));
    EXPECT_EQ(contents(dir_ + "/logs/app.log"), "[!] [1970-01-01 00:00:00 +0000] new run\n");

    EXPECT_FALSE(QXFileLogHandler::initWithPath(dir_ + "/missing/folder/x.log"));
}

TEST_F(FileLogHandlerTest, CloseEndsOutputAndIsIdempotent) {
    auto handler = QXFileLogHandler::initWithPath(dir_ + "/closing.log");
    ASSERT_TRUE(handler);
    handler->setLevel(5);
    handler->handleLogRecord(fileRecord(5, "kept"));
    handler->close();
    EXPECT_FALSE(handler->isOpen());
    handler->handleLogRecord(fileRecord(5, "after close"));
    handler->flush();
    handler->close();
    EXPECT_EQ(contents(dir_ + "/closing.log"), "[i] [1970-01-01 00:00:00 +0000] kept\n");
}

TEST_F(FileLogHandlerTest, ConcurrentRecordsAndACloseLeaveOnlyWholeLines) {
    auto handler = QXFileLogHandler::initWithPath(dir_ + "/threads.log");
    ASSERT_TRUE(handler);
    handler->setLevel(5);
    std::vector<std::thread> threads;
    std::atomic<int> written{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                handler->handleLogRecord(fileRecord(5, std::string(100, char('a' + t))));
                ++written;
            }
        });
    }
    while (written < 20) std::this_thread::yield();
    handler->close();  // while the writers still run
    for (auto& t : threads) t.join();
    std::istringstream lines(contents(dir_ + "/threads.log"));
    std::string line;
    while (std::getline(lines, line)) {
        auto message = line.substr(line.rfind("] ") + 2);
        EXPECT_EQ(message.size(), 100u) << line;
        EXPECT_EQ(message, std::string(100, message[0])) << line;
    }
}

TEST_F(FileLogHandlerTest, JsonFormatterGivesOneObjectPerLine) {
    auto handler = QXFileLogHandler::initWithPath(dir_ + "/json.log");
    ASSERT_TRUE(handler);
    handler->setLevel(5);
    handler->setFormatter(rt::make<QXJSONLogFormatter>());
    QXLogger::defaultLogger()->registerHandler(handler);
    QXLog("ZIDoredider/QXFoundation", QXFileLogHandler::staticClass(), 5, "value %d", 42);
    QXLogger::defaultLogger()->deregistreHandler(handler);
    auto text = contents(dir_ + "/json.log");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    auto object = nlohmann::json::parse(text);
    EXPECT_EQ(object["message"], "value 42");
    EXPECT_EQ(object["source"], "QXFileLogHandler");
}

}  // namespace
