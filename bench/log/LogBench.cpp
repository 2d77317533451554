// A log call against spdlog doing the same, as alternating pairs (each side times
// 20,000 calls and answers the time of one):
//   Disabled   a record of level 6 (debug) while the one handler takes up to level 4;
//              spdlog's logger at info, asked for a debug line
//   Enabled    a record of level 4 written as one line to /dev/null by the file handler
//              (its formatter: level tag, sender, date, message; flushed per record);
//              spdlog's file sink on /dev/null with its default pattern, flushed per line
// Both format the same message with a string and a number.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include <QXFoundation/Log/QXLogger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include "AlternatingPairs.h"
#include "QXFileLogHandler.h"

namespace {

constexpr int kCalls = 20000;
constexpr const char* kModule = "ZIDoredider/Bench";

class LogBenchSender : public rt::Object {
    RT_CLASS(LogBenchSender, rt::Object)
};

template <class F> double perCall(F&& call) {
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) call(i);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / kCalls;
}

struct Sides {
    rt::Ref<zid::QXFileLogHandler> handler = zid::QXFileLogHandler::initWithPath("/dev/null");
    std::shared_ptr<spdlog::logger> peer =
        std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::basic_file_sink_mt>("/dev/null"));
    std::string stream = "rtmp://origin/live/channel-123";

    Sides() {
        handler->setLevel(4);
        zid::QXLogger::defaultLogger()->registerHandler(handler);
        peer->set_level(spdlog::level::info);
        peer->flush_on(spdlog::level::info);
    }
    ~Sides() { zid::QXLogger::defaultLogger()->deregistreHandler(handler); }
};

void run(benchmark::State& state, std::int64_t level, spdlog::level::level_enum peerLevel) {
    Sides sides;
    zidbench::runAlternatingPairs(
        state, 31, "ns", 1e9,
        [&] {
            return perCall([&](int i) {
                zid::QXLog(kModule, LogBenchSender::staticClass(), level, "subscribed to %@ in %d ms", sides.stream, i);
            });
        },
        [&] {
            return perCall([&](int i) { sides.peer->log(peerLevel, "subscribed to {} in {} ms", sides.stream, i); });
        });
}

void BM_Log_Disabled(benchmark::State& state) { run(state, 6, spdlog::level::debug); }
void BM_Log_Enabled(benchmark::State& state) { run(state, 4, spdlog::level::info); }

}  // namespace

BENCHMARK(BM_Log_Disabled)->Name("Log/DisabledVsSpdlog")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Log_Enabled)->Name("Log/EnabledVsSpdlog")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
