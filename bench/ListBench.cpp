// Observable lists under load, each figure next to a plain std::vector<rt::Value>
// given the same mutations in the same run:
// - one batch of k mixed mutations on a 100,000-item array list with a listener, alone
//   and with a filtered, a sorted and a mapped list following it (each with a listener
//   of its own): the mutations, the batch's report and the derived lists' work;
// - one-item batches on lists of 100,000 and 1,000,000 items followed by a filtered and
//   a sorted list: the cost of a single mutation reaching every listener.

#include <benchmark/benchmark.h>

#include <random>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
#include <QXFoundation/Lists/MappedList.h>
#include <QXFoundation/Lists/SortedList.h>

namespace {

using namespace zid;

class BenchItem : public rt::Object {
    RT_CLASS(BenchItem, rt::Object)
public:
    explicit BenchItem(int key) : key(key) {}
    int key;
};

class CountingListener : public rt::Object, public IListListener {
public:
    void listDidInsertItem(IList&, const rt::Value&, std::uint64_t) override { ++calls; }
    void listDidDeleteItem(IList&, const rt::Value&, std::uint64_t) override { ++calls; }
    void listDidMoveItem(IList&, const rt::Value&, std::uint64_t, std::uint64_t) override { ++calls; }
    void listDidChangeItem(IList&, const rt::Value&, std::uint64_t) override { ++calls; }
    std::uint64_t calls = 0;
};

int keyOf(const rt::Value& item) { return static_cast<const BenchItem&>(*item.object()).key; }
bool evenKey(const rt::Value& v) { return keyOf(v) % 2 == 0; }
int byKey(const rt::Value& a, const rt::Value& b) {
    int x = keyOf(a), y = keyOf(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

constexpr int kListSize = 100000;

rt::Value::Array makeItems(std::mt19937& rng, int n) {
    rt::Value::Array items;
    items.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) items.push_back(rt::make<BenchItem>(static_cast<int>(rng() % 1000)));
    return items;
}

// The mutation mix, in turn: insert at a random position, remove, move, replace, change,
// append. The same sequence drives the list and the vector.
struct Mutations {
    template <class Apply> static void run(std::mt19937& rng, int count, const rt::Value::Array& fresh, Apply&& apply) {
        for (int i = 0; i < count; ++i) apply(i % 6, rng, fresh[static_cast<std::size_t>(i)]);
    }
};

// Arg 0: mutations in the batch; arg 1: 1 with a filtered, a sorted and a mapped list.
void BM_ArrayListBatch(benchmark::State& state) {
    const auto mutations = static_cast<int>(state.range(0));
    const bool derived = state.range(1) != 0;
    std::mt19937 rng(42);
    auto items = makeItems(rng, kListSize);
    std::uint64_t reported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto list = MutableArrayList::listWithArray(items);
        auto listener = rt::make<CountingListener>();
        addListener(*list, listener);
        std::vector<rt::Ref<IList>> views;
        std::vector<rt::Ref<CountingListener>> viewListeners;
        if (derived) {
            views.push_back(FilteredList::listWithSource(list, evenKey));
            views.push_back(SortedList::listWithSource(list, byKey));
            views.push_back(MappedList::listWithSource(list, [](const rt::Value& v) { return v; }));
            for (auto& view : views) {
                viewListeners.push_back(rt::make<CountingListener>());
                addListener(*view, viewListeners.back());
            }
        }
        auto fresh = makeItems(rng, mutations);
        std::mt19937 ops(7);
        state.ResumeTiming();

        list->beginUpdates();
        Mutations::run(ops, mutations, fresh, [&](int kind, std::mt19937& r, const rt::Value& item) {
            auto n = list->count();
            auto at = static_cast<std::uint64_t>(r() % n);
            switch (kind) {
                case 0: list->insertObject(item, at); break;
                case 1: list->removeObjectAtIndex(at); break;
                case 2: list->moveObjectAtIndex(at, r() % n); break;
                case 3: list->replaceObjectAtIndex(at, item); break;
                case 4: list->objectDidChangeAtIndex(at); break;
                default: list->addObject(item); break;
            }
        });
        list->endUpdates();

        state.PauseTiming();
        reported += listener->calls;
        for (auto& l : viewListeners) reported += l->calls;
        views.clear();
        list.reset();
        state.ResumeTiming();
    }
    state.counters["reported"] = benchmark::Counter(static_cast<double>(reported) / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * mutations);
}

BENCHMARK(BM_ArrayListBatch)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The peer: the same mutations on a std::vector<rt::Value> of the same items.
void BM_VectorMutations(benchmark::State& state) {
    const auto mutations = static_cast<int>(state.range(0));
    std::mt19937 rng(42);
    auto items = makeItems(rng, kListSize);
    for (auto _ : state) {
        state.PauseTiming();
        rt::Value::Array vector = items;
        auto fresh = makeItems(rng, mutations);
        std::mt19937 ops(7);
        state.ResumeTiming();
        Mutations::run(ops, mutations, fresh, [&](int kind, std::mt19937& r, const rt::Value& item) {
            auto n = vector.size();
            auto at = static_cast<std::ptrdiff_t>(r() % n);
            switch (kind) {
                case 0: vector.insert(vector.begin() + at, item); break;
                case 1: vector.erase(vector.begin() + at); break;
                case 2: {
                    auto to = static_cast<std::ptrdiff_t>(r() % n);
                    auto moved = vector[static_cast<std::size_t>(at)];
                    vector.erase(vector.begin() + at);
                    vector.insert(vector.begin() + to, moved);
                    break;
                }
                case 3: vector[static_cast<std::size_t>(at)] = item; break;
                case 4: benchmark::DoNotOptimize(vector[static_cast<std::size_t>(at)]); break;
                default: vector.push_back(item); break;
            }
        });
        benchmark::DoNotOptimize(vector.data());
        state.PauseTiming();
        vector.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * mutations);
}

BENCHMARK(BM_VectorMutations)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// One-item batches (each iteration inserts or removes one item at a random position) on
// a list of range(0) items followed by a filtered and a sorted list with listeners.
void BM_OneItemBatch(benchmark::State& state) {
    const auto size = static_cast<int>(state.range(0));
    std::mt19937 rng(11);
    auto list = MutableArrayList::listWithArray(makeItems(rng, size));
    auto filtered = FilteredList::listWithSource(list, evenKey);
    auto sorted = SortedList::listWithSource(list, byKey);
    auto filteredListener = rt::make<CountingListener>(), sortedListener = rt::make<CountingListener>();
    addListener(*filtered, filteredListener);
    addListener(*sorted, sortedListener);
    auto fresh = makeItems(rng, 4096);
    std::size_t i = 0;
    for (auto _ : state) {
        auto at = rng() % list->count();
        if (i % 2 == 0) list->insertObject(fresh[i % fresh.size()], at);
        else list->removeObjectAtIndex(at);
        ++i;
    }
    benchmark::DoNotOptimize(filteredListener->calls + sortedListener->calls);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_OneItemBatch)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The peer of a one-item batch: one insert or removal at a random position of a
// std::vector<rt::Value> of as many items.
void BM_VectorOneItem(benchmark::State& state) {
    const auto size = static_cast<int>(state.range(0));
    std::mt19937 rng(11);
    auto vector = makeItems(rng, size);
    auto fresh = makeItems(rng, 4096);
    std::size_t i = 0;
    for (auto _ : state) {
        auto at = static_cast<std::ptrdiff_t>(rng() % vector.size());
        if (i % 2 == 0) vector.insert(vector.begin() + at, fresh[i % fresh.size()]);
        else vector.erase(vector.begin() + at);
        ++i;
    }
    benchmark::DoNotOptimize(vector.data());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_VectorOneItem)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace
