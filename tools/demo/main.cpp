// The demo host application: embeds the framework the way a host would, on its main
// thread and run loop, and shows the layers that exist so far working together:
// logging, observable lists and their views, key-value observing through signals,
// tasks on a queue reporting back on the main thread, and a ticker on the loop's clock.

#include <cstdio>
#include <string>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXFoundation/Log/QXStderrLogHandler.h>
#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>
#include <rt/Format.h>

namespace {

constexpr const char* kModule = "ZIDoredider/Demo";

class Demo : public rt::Object {
    RT_CLASS(Demo, rt::Object)
};

std::string oneLine(const rt::Value::Array& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i].description();
    return out + "]";
}

// Prints every batch a list reports, one line per batch.
class BatchPrinter : public rt::Object, public zid::IListListener {
public:
    explicit BatchPrinter(std::string name) : name_(std::move(name)) {}
    void listWillChangeContent(zid::IList&) override { line_ = "  " + name_ + ":"; }
    void listDidChangeContent(zid::IList& list) override {
        std::printf("%s -> %s\n", line_.c_str(), oneLine(list.allObjects()).c_str());
    }
    void listDidInsertItem(zid::IList&, const rt::Value& item, std::uint64_t index) override {
        line_ += rt::format(" insert %@ at %llu;", item, index);
    }
    void listDidDeleteItem(zid::IList&, const rt::Value& item, std::uint64_t index) override {
        line_ += rt::format(" delete %@ from %llu;", item, index);
    }
    void listDidMoveItem(zid::IList&, const rt::Value& item, std::uint64_t from, std::uint64_t to) override {
        line_ += rt::format(" move %@ %llu->%llu;", item, from, to);
    }
    void listDidChangeItem(zid::IList&, const rt::Value& item, std::uint64_t index) override {
        line_ += rt::format(" change %@ at %llu;", item, index);
    }

private:
    std::string name_;
    std::string line_;
};

}  // namespace

int main() {
    auto loop = fnd::RunLoop::main();  // this thread is the host's main thread
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // interleave with the log on standard error

    // 1. Logging: the host registers a handler; level 5 shows state changes.
    auto logger = zid::QXLogger::defaultLogger();
    logger->registerHandler(rt::make<zid::QXStderrLogHandler>(nullptr, 5));
    zid::QXLog(kModule, Demo::staticClass(), 5, "Demo host started at %@", rt::Date::now());

    // 2. Observable lists: an array list, a filtered view over it, a signal on its count.
    std::printf("Lists:\n");
    auto channels = zid::MutableArrayList::listWithArray({"news", "sport", "music"});
    auto longNames = zid::FilteredList::listWithSource(channels, [](const rt::Value& v) { return v.string().size() > 4; });
    auto printAll = rt::make<BatchPrinter>("channels"), printLong = rt::make<BatchPrinter>("long names");
    zid::addListener(*channels, printAll);
    zid::addListener(*longNames, printLong);
    auto countSignal = zid::signalForKeypath(*channels, "count");
    auto countTrigger = zid::onSignal(countSignal, nullptr, [](const rt::Value& count) {
        std::printf("  count signal: %s\n", count.description().c_str());
    });
    channels->beginUpdates();
    channels->addObject("weather");
    channels->removeObjectAtIndex(0);
    channels->moveObjectAtIndex(2, 0);
    channels->endUpdates();
    std::printf("  long names now %s\n", oneLine(longNames->allObjects()).c_str());

    // 3. Tasks: four at a time on worker threads, flags announced on the main thread.
    std::printf("Tasks:\n");
    auto queue = rt::make<zid::AKOperationTaskQueue>("demo");
    queue->setMaxConcurrentOperationCount(4);
    int finished = 0;
    std::vector<rt::Ref<zid::OnSignalHelper>> triggers;
    for (int i = 1; i <= 6; ++i) {
        auto task = zid::AKBlockTask::taskWithIdentifier(i, rt::format("probe %d", i), [](zid::AKBlockTask&) {});
        triggers.push_back(zid::onSignal(zid::signalForKeypath(*task, "isFinished"), nullptr,
                                         [&finished, i](const rt::Value& done) {
                                             if (!done.boolValue()) return;
                                             ++finished;
                                             std::printf("  task %d finished (main thread: %s)\n", i,
                                                         fnd::RunLoop::isMainThread() ? "yes" : "no");
                                         }));
        queue->addTask(task);
    }
    loop->runUntil([&] { return finished == 6; }, 10);

    // 4. A ticker on the run loop's clock.
    std::printf("Ticker:\n");
    int ticks = 0;
    auto ticker = zid::tickerWithTimeInterval(0.1);
    auto tickTrigger = zid::onSignal(ticker, nullptr, [&](const rt::Value&) { std::printf("  tick %d\n", ++ticks); });
    loop->runUntil([&] { return ticks >= 3; }, 5);
    ticker->close();

    zid::QXLog(kModule, Demo::staticClass(), 5, "Demo host done: %d tasks, %d ticks", finished, ticks);
    return finished == 6 && ticks >= 3 ? 0 : 1;
}
