// Cost of one emitted value reaching 1 and 8 handlers: a plain signal's setValue, a
// keypath signal fed by a registered setter, and two peer libraries emitting to the
// same number of slots. Every emitted value differs from the one before, so none is
// dropped as a repeat; each handler adds the value to a sink.

#include <benchmark/benchmark.h>

#include <boost/signals2/signal.hpp>
#include <sigc++/sigc++.h>

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <rt/KVC.h>
#include <rt/KVO.h>

namespace {

class SignalBenchModel : public rt::Object {
    RT_CLASS(SignalBenchModel, rt::Object)
public:
    static void describe(rt::ClassBuilder<SignalBenchModel>& c) {
        c.property("count", &SignalBenchModel::count, &SignalBenchModel::setCount);
    }
    long long count() const { return count_; }
    void setCount(long long v) { rt::kvoSet(this, "count", count_, v); }

private:
    long long count_ = 0;
};

long long sink = 0;

void BM_Signal_SetValue(benchmark::State& state) {
    auto signal = rt::make<zid::FKSignal>();
    std::vector<std::shared_ptr<zid::IDisposable>> subscriptions;
    for (int i = 0; i < state.range(0); ++i)
        subscriptions.push_back(signal->addValueHandler([](const rt::Value& v) { sink += v.longLongValue(); }));
    long long n = 0;
    for (auto _ : state) signal->setValue(rt::Value(++n));
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Signal_SetValue)->Name("Signals/FKSignal_setValue")->Arg(1)->Arg(8);

void BM_Signal_KeypathSetter(benchmark::State& state) {
    auto model = rt::make<SignalBenchModel>();
    auto signal = zid::signalForKeypath(model, "count");
    std::vector<std::shared_ptr<zid::IDisposable>> subscriptions;
    for (int i = 0; i < state.range(0); ++i)
        subscriptions.push_back(signal->addValueHandler([](const rt::Value& v) { sink += v.longLongValue(); }));
    long long n = 0;
    for (auto _ : state) model->setCount(++n);
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Signal_KeypathSetter)->Name("Signals/FKKeypathSignal_setter")->Arg(1)->Arg(8);

void BM_Signal_Boost(benchmark::State& state) {
    boost::signals2::signal<void(long long)> signal;
    for (int i = 0; i < state.range(0); ++i) signal.connect([](long long v) { sink += v; });
    long long n = 0;
    for (auto _ : state) signal(++n);
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Signal_Boost)->Name("Signals/BoostSignals2_emit")->Arg(1)->Arg(8);

void BM_Signal_Sigc(benchmark::State& state) {
    sigc::signal<void(long long)> signal;
    for (int i = 0; i < state.range(0); ++i) signal.connect([](long long v) { sink += v; });
    long long n = 0;
    for (auto _ : state) signal.emit(++n);
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Signal_Sigc)->Name("Signals/Sigcpp3_emit")->Arg(1)->Arg(8);

}  // namespace
