// Tasks against a plain thread pool: throughput of trivial work through four workers,
// and the time from enqueueing one piece of work to its start; the run loop's posting
// against an I/O context's.
//
// Rows:
//   TaskQueue/*       AKOperationTaskQueue, 4 at a time: listed tasks, flags announced
//                     on the main thread, removal at the end announcement
//   OperationQueue/*  the bare operation engine, 4 at a time (no task layer)
//   AsioPool/*        boost::asio::thread_pool with 4 threads running the same work
//   RunLoop/*         posting blocks to a run loop and running them: from its own
//                     thread, and from four other threads while it runs
//   AsioIoContext/*   boost::asio::io_context doing the same
//   Throughput/*VsPool the task queue and the operation engine against the pool as
//                     alternating pairs in one run (bench/support/AlternatingPairs.h):
//                     wall and CPU time of each pass of 100,000, the ratios per pair;
//                     run under `taskset -c` for a machine of few cores
//
// Every throughput row ends an iteration the same way: the enqueueing thread spins
// (yielding) until the last piece of work has run. Throughput rows give wall time and
// the process's CPU time over the same work: a side whose workers burn cycles looking
// for work shows it there.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>

#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>
#include <fnd/OperationQueue.h>
#include <fnd/RunLoop.h>

#include "AlternatingPairs.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Workers = 4;

class CountingOperation : public fnd::Operation {
    RT_CLASS(CountingOperation, fnd::Operation)
public:
    explicit CountingOperation(std::atomic<long>* counter) : counter_(counter) {}
    void main() override { counter_->fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<long>* counter_;
};

// Runs the main loop (where tasks announce their ends) until done() holds.
template <class Done> void spinMainUntil(Done&& done) {
    auto loop = fnd::RunLoop::main();
    while (!done()) loop->runOnce(0.0005);
}

void TaskQueueThroughput(benchmark::State& state) {
    const long count = state.range(0);
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("bench.throughput");
    queue->setMaxConcurrentOperationCount(Workers);
    std::atomic<long> ran{0};
    double enqueueSeconds = 0;
    for (auto _ : state) {
        ran = 0;
        auto before = Clock::now();
        for (long i = 0; i < count; ++i) {
            queue->addTask(rt::make<zid::AKBlockTask>(rt::Value(), std::string(),
                                                      [&ran](zid::AKBlockTask&) { ran.fetch_add(1, std::memory_order_relaxed); }));
        }
        enqueueSeconds += std::chrono::duration<double>(Clock::now() - before).count();
        spinMainUntil([&] { return queue->isEmpty(); });
    }
    state.SetItemsProcessed(state.iterations() * count);
    // The part of the time the main thread spent in addTask (the rest: running the
    // tasks' announcements and removals).
    state.counters["enqueue_ms"] = 1000 * enqueueSeconds / static_cast<double>(state.iterations());
}

void OperationQueueThroughput(benchmark::State& state) {
    const long count = state.range(0);
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(Workers);
    std::atomic<long> ran{0};
    for (auto _ : state) {
        ran = 0;
        for (long i = 0; i < count; ++i) queue->addOperation(rt::make<CountingOperation>(&ran));
        while (ran.load(std::memory_order_acquire) < count) std::this_thread::yield();
    }
    queue->waitUntilAllOperationsAreFinished();
    state.SetItemsProcessed(state.iterations() * count);
}

void AsioPoolThroughput(benchmark::State& state) {
    const long count = state.range(0);
    boost::asio::thread_pool pool(Workers);
    std::atomic<long> ran{0};
    for (auto _ : state) {
        ran = 0;
        for (long i = 0; i < count; ++i) {
            boost::asio::post(pool, [&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
        }
        while (ran.load(std::memory_order_acquire) < count) std::this_thread::yield();
    }
    pool.join();
    state.SetItemsProcessed(state.iterations() * count);
}

// ---- alternating pairs ----------------------------------------------------------------

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// One pass of `count` pieces of work: {wall seconds, process CPU seconds}. Each side keeps
// its queue or pool (and so its threads) for the whole row, as a host does.
template <class Pass> std::vector<double> measuredPass(Pass&& pass) {
    double cpu = processCpuSeconds();
    auto before = Clock::now();
    pass();
    double wall = std::chrono::duration<double>(Clock::now() - before).count();
    return {wall, processCpuSeconds() - cpu};
}

constexpr long PassCount = 100000;
constexpr int Pairs = 10;

std::vector<double> poolPass(boost::asio::thread_pool& pool) {
    std::atomic<long> ran{0};
    return measuredPass([&] {
        for (long i = 0; i < PassCount; ++i) boost::asio::post(pool, [&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
        while (ran.load(std::memory_order_acquire) < PassCount) std::this_thread::yield();
    });
}

void OperationQueueVsPool(benchmark::State& state) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(Workers);
    boost::asio::thread_pool pool(Workers);
    auto engine = [&] {
        std::atomic<long> ran{0};
        auto figures = measuredPass([&] {
            for (long i = 0; i < PassCount; ++i) queue->addOperation(rt::make<CountingOperation>(&ran));
            while (ran.load(std::memory_order_acquire) < PassCount) std::this_thread::yield();
        });
        // The last operations' ends are announced after their work ran: the counter they
        // point to outlives them.
        queue->waitUntilAllOperationsAreFinished();
        return figures;
    };
    auto bare = [&] { return poolPass(pool); };
    engine();  // untimed: the threads of both sides started
    bare();
    zidbench::runAlternatingPairsOf(state, Pairs, {"ms", "cpu_ms"}, 1e3, engine, bare);
    pool.join();
}

void TaskQueueVsPool(benchmark::State& state) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("bench.pairs");
    queue->setMaxConcurrentOperationCount(Workers);
    boost::asio::thread_pool pool(Workers);
    auto tasks = [&] {
        std::atomic<long> ran{0};
        return measuredPass([&] {
            for (long i = 0; i < PassCount; ++i) {
                queue->addTask(rt::make<zid::AKBlockTask>(rt::Value(), std::string(), [&ran](zid::AKBlockTask&) {
                    ran.fetch_add(1, std::memory_order_relaxed);
                }));
            }
            spinMainUntil([&] { return queue->isEmpty(); });
        });
    };
    auto bare = [&] { return poolPass(pool); };
    tasks();
    bare();
    zidbench::runAlternatingPairsOf(state, Pairs, {"ms", "cpu_ms"}, 1e3, tasks, bare);
    pool.join();
}

// Latency: the time from the enqueueing call to the first line of the work, one piece of
// work at a time on an idle queue; waiting for the end is not timed.
void TaskQueueLatency(benchmark::State& state) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("bench.latency");
    queue->setMaxConcurrentOperationCount(Workers);
    for (auto _ : state) {
        std::atomic<Clock::rep> startedAt{0};
        auto task = rt::make<zid::AKBlockTask>(rt::Value(), std::string(), [&startedAt](zid::AKBlockTask&) {
            startedAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        });
        auto before = Clock::now();
        queue->addTask(task);
        while (startedAt.load(std::memory_order_acquire) == 0) std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(Clock::duration(startedAt.load()) - before.time_since_epoch()).count());
        spinMainUntil([&] { return queue->isEmpty(); });
    }
}

class StampOperation : public fnd::Operation {
    RT_CLASS(StampOperation, fnd::Operation)
public:
    explicit StampOperation(std::atomic<Clock::rep>* stamp) : stamp_(stamp) {}
    void main() override { stamp_->store(Clock::now().time_since_epoch().count(), std::memory_order_release); }

private:
    std::atomic<Clock::rep>* stamp_;
};

void OperationQueueLatency(benchmark::State& state) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(Workers);
    for (auto _ : state) {
        std::atomic<Clock::rep> startedAt{0};
        auto before = Clock::now();
        queue->addOperation(rt::make<StampOperation>(&startedAt));
        while (startedAt.load(std::memory_order_acquire) == 0) std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(Clock::duration(startedAt.load()) - before.time_since_epoch()).count());
        queue->waitUntilAllOperationsAreFinished();
    }
}

void AsioPoolLatency(benchmark::State& state) {
    boost::asio::thread_pool pool(Workers);
    for (auto _ : state) {
        std::atomic<Clock::rep> startedAt{0};
        auto before = Clock::now();
        boost::asio::post(pool, [&startedAt] { startedAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release); });
        while (startedAt.load(std::memory_order_acquire) == 0) std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(Clock::duration(startedAt.load()) - before.time_since_epoch()).count());
    }
    pool.join();
}

// ---- posting to a loop -------------------------------------------------------------

void RunLoopPostAndRun(benchmark::State& state) {
    const long count = state.range(0);
    auto loop = rt::make<fnd::RunLoop>();  // made here: this thread's loop
    long ran = 0;
    for (auto _ : state) {
        ran = 0;
        for (long i = 0; i < count; ++i) loop->post([&ran] { ++ran; });
        while (ran < count) loop->runOnce(0);
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void AsioIoContextPostAndRun(benchmark::State& state) {
    const long count = state.range(0);
    boost::asio::io_context io(1);
    long ran = 0;
    for (auto _ : state) {
        ran = 0;
        for (long i = 0; i < count; ++i) boost::asio::post(io, [&ran] { ++ran; });
        io.restart();
        while (ran < count) io.poll();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

constexpr int Producers = 4;

void RunLoopCrossThread(benchmark::State& state) {
    const long count = state.range(0);
    auto loop = rt::make<fnd::RunLoop>();
    long ran = 0;
    for (auto _ : state) {
        ran = 0;
        std::vector<std::thread> producers;
        for (int p = 0; p < Producers; ++p) {
            producers.emplace_back([&] {
                for (long i = 0; i < count / Producers; ++i) loop->post([&ran] { ++ran; });
            });
        }
        while (ran < count) loop->runOnce(0.01);
        for (auto& producer : producers) producer.join();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void AsioIoContextCrossThread(benchmark::State& state) {
    const long count = state.range(0);
    boost::asio::io_context io(1);
    auto guard = boost::asio::make_work_guard(io);
    long ran = 0;
    for (auto _ : state) {
        ran = 0;
        std::vector<std::thread> producers;
        for (int p = 0; p < Producers; ++p) {
            producers.emplace_back([&] {
                for (long i = 0; i < count / Producers; ++i) boost::asio::post(io, [&ran] { ++ran; });
            });
        }
        while (ran < count) io.run_one();
        for (auto& producer : producers) producer.join();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

}  // namespace

// Throughput rows report wall time ("Time") and the CPU time of the whole process over
// the measured work ("CPU": every thread, the workers' looking for work included).
BENCHMARK(TaskQueueThroughput)->Name("TaskQueue/throughput")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(OperationQueueThroughput)->Name("OperationQueue/throughput")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(AsioPoolThroughput)->Name("AsioPool/throughput")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(OperationQueueVsPool)->Name("Throughput/OperationQueueVsPool")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(TaskQueueVsPool)->Name("Throughput/TaskQueueVsPool")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(TaskQueueLatency)->Name("TaskQueue/latency")->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(OperationQueueLatency)->Name("OperationQueue/latency")->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(AsioPoolLatency)->Name("AsioPool/latency")->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(RunLoopPostAndRun)->Name("RunLoop/post_and_run")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(AsioIoContextPostAndRun)->Name("AsioIoContext/post_and_run")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(RunLoopCrossThread)->Name("RunLoop/cross_thread")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(AsioIoContextCrossThread)->Name("AsioIoContext/cross_thread")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);
