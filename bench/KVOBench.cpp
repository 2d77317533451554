// Cost of an observable setter: nobody observing, one and eight observers, on the key
// itself and through a two-level key path.

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Key.h>
#include <rt/MainThread.h>

namespace {

class BenchLeaf : public rt::Object {
    RT_CLASS(BenchLeaf, rt::Object)
public:
    static void describe(rt::ClassBuilder<BenchLeaf>& c) { c.property("count", &BenchLeaf::count, &BenchLeaf::setCount); }
    long long count() const { return count_; }
    void setCount(long long v) { rt::kvoSet(this, "count", count_, v); }

private:
    long long count_ = 0;
};

// The same property declared with a typed key.
class TypedLeaf : public rt::Object {
    RT_CLASS(TypedLeaf, rt::Object)
private:
    long long count_ = 0;

public:
    static constexpr rt::Key<TypedLeaf, long long> countKey{"count", &TypedLeaf::count_};
    static void describe(rt::ClassBuilder<TypedLeaf>& c) { c.property(countKey); }
    long long count() const { return countKey.get(*this); }
    void setCount(long long v) { countKey.set(*this, v); }
};

// The same, of a class whose objects keep to the main thread: its setter checks the
// thread at its entry, as every method of such a class does.
class MainThreadLeaf : public rt::Object {
    RT_CLASS(MainThreadLeaf, rt::Object)
private:
    long long count_ = 0;

public:
    static constexpr rt::Key<MainThreadLeaf, long long> countKey{"count", &MainThreadLeaf::count_};
    static void describe(rt::ClassBuilder<MainThreadLeaf>& c) { c.property(countKey).mainThreadOnly(); }
    void setCount(long long v) {
        RT_MAIN_THREAD_ONLY();
        countKey.set(*this, v);
    }
};

class Sink : public rt::Object {
    RT_CLASS(Sink, rt::Object)
public:
    long long seen = 0;
};

// The baseline: a plain comparing store into a field, no runtime involved.
struct PlainLeaf {
    long long count_ = 0;
    void setCount(long long v) {
        if (count_ != v) count_ = v;
    }
};

class BenchRoot : public rt::Object {
    RT_CLASS(BenchRoot, rt::Object)
public:
    static void describe(rt::ClassBuilder<BenchRoot>& c) { c.property("leaf", &BenchRoot::leaf, &BenchRoot::setLeaf); }
    rt::Ref<BenchLeaf> leaf() const { return leaf_; }
    void setLeaf(rt::Ref<BenchLeaf> v) { rt::kvoSet(this, "leaf", leaf_, std::move(v)); }

private:
    rt::Ref<BenchLeaf> leaf_;
};

// state.range(0): number of observers; state.range(1): 0 observes "count" on the leaf,
// 1 observes "leaf.count" on the root.
void BM_ObservedSetter(benchmark::State& state) {
    auto root = rt::make<BenchRoot>();
    auto leaf = rt::make<BenchLeaf>();
    root->setLeaf(leaf);
    long long seen = 0;
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (int i = 0; i < state.range(0); ++i) {
        if (state.range(1) == 0)
            tokens.push_back(rt::observe(leaf, "count", rt::KVONew | rt::KVOOld, [&](const rt::KVOChange& c) { seen += c.newValue.longLongValue(); }));
        else
            tokens.push_back(rt::observe(root, "leaf.count", rt::KVONew | rt::KVOOld, [&](const rt::KVOChange& c) { seen += c.newValue.longLongValue(); }));
    }
    long long v = 0;
    for (auto _ : state) {
        leaf->setCount(++v);
        benchmark::DoNotOptimize(seen);
    }
    state.SetLabel(state.range(1) ? "keypath leaf.count" : "key count");
}
BENCHMARK(BM_ObservedSetter)->ArgsProduct({{0, 1, 8}, {0, 1}});

// A plain store through a non-inlined call, in the same run as the setters.
void BM_PlainSetter(benchmark::State& state) {
    PlainLeaf leaf;
    void (PlainLeaf::*volatile set)(long long) = &PlainLeaf::setCount;
    long long v = 0;
    for (auto _ : state) {
        (leaf.*set)(++v);
        benchmark::DoNotOptimize(leaf.count_);
    }
}
BENCHMARK(BM_PlainSetter);

// state.range(0): number of observers; state.range(1): 0 string observations of
// "count" asking for new and old values, 1 typed observations (old and new typed).
void BM_TypedSetter(benchmark::State& state) {
    auto leaf = rt::make<TypedLeaf>();
    auto sink = rt::make<Sink>();
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (int i = 0; i < state.range(0); ++i) {
        if (state.range(1) == 0)
            tokens.push_back(rt::observe(leaf, "count", rt::KVONew | rt::KVOOld,
                                         [&](const rt::KVOChange& c) { sink->seen += c.newValue.longLongValue(); }));
        else
            rt::observe(leaf, TypedLeaf::countKey, sink, [](Sink& s, long long, long long now) { s.seen += now; });
    }
    void (TypedLeaf::*volatile set)(long long) = &TypedLeaf::setCount;
    long long v = 0;
    for (auto _ : state) {
        ((*leaf).*set)(++v);
        benchmark::DoNotOptimize(sink->seen);
    }
    state.SetLabel(state.range(1) ? "typed observers" : "string observers");
}
BENCHMARK(BM_TypedSetter)->ArgsProduct({{0, 1, 8}, {0, 1}});

// An unobserved typed setter of a main-thread-only class, the thread checked at its entry.
// Its counter vs_plain_store is its time over a plain comparing store's (BM_PlainSetter's
// loop), the two timed back to back in the same run.
void BM_MainThreadTypedSetter(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    auto leaf = rt::make<MainThreadLeaf>();
    void (MainThreadLeaf::*volatile set)(long long) = &MainThreadLeaf::setCount;
    long long v = 0;
    auto start = Clock::now();
    for (auto _ : state) ((*leaf).*set)(++v);
    auto checked = Clock::now() - start;
    PlainLeaf plain;
    void (PlainLeaf::*volatile store)(long long) = &PlainLeaf::setCount;
    start = Clock::now();
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
        (plain.*store)(static_cast<long long>(i) + 1);
        benchmark::DoNotOptimize(plain.count_);
    }
    auto plainTime = Clock::now() - start;
    state.counters["vs_plain_store"] =
        plainTime.count() > 0 ? static_cast<double>(checked.count()) / static_cast<double>(plainTime.count()) : 0;
}
BENCHMARK(BM_MainThreadTypedSetter);

// The comparing setter given its current value: no store, no notice.
void BM_SetterEqualValue(benchmark::State& state) {
    auto leaf = rt::make<BenchLeaf>();
    auto token = rt::observe(leaf, "count", rt::KVONew, [](const rt::KVOChange&) {});
    for (auto _ : state) leaf->setCount(0);
}
BENCHMARK(BM_SetterEqualValue);

void BM_ValueForKeyPath(benchmark::State& state) {
    auto root = rt::make<BenchRoot>();
    root->setLeaf(rt::make<BenchLeaf>());
    for (auto _ : state) benchmark::DoNotOptimize(root->valueForKeyPath("leaf.count"));
}
BENCHMARK(BM_ValueForKeyPath);

}  // namespace
