// One batch of mixed mutations on a 100,000-item array list with a listener, and with a
// filtered and a sorted list over it: the cost of the batch, its report and the derived
// lists' work, for batches of 1k, 10k and 100k mutations.

#include <benchmark/benchmark.h>

#include <random>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/FilteredList.h>
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

constexpr int kListSize = 100000;

// Arg 0: mutations in the batch; arg 1: 1 with a filtered and a sorted list over the list.
void BM_ArrayListBatch(benchmark::State& state) {
    const auto mutations = static_cast<int>(state.range(0));
    const bool derived = state.range(1) != 0;
    std::mt19937 rng(42);
    rt::Value::Array items;
    items.reserve(kListSize);
    for (int i = 0; i < kListSize; ++i) items.push_back(rt::make<BenchItem>(static_cast<int>(rng() % 1000)));
    std::uint64_t reported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto list = MutableArrayList::listWithArray(items);
        auto listener = rt::make<CountingListener>();
        addListener(*list, listener);
        rt::Ref<FilteredList> filtered;
        rt::Ref<SortedList> sorted;
        rt::Ref<CountingListener> filteredListener = rt::make<CountingListener>(), sortedListener = rt::make<CountingListener>();
        if (derived) {
            filtered = FilteredList::listWithSource(list, [](const rt::Value& v) { return keyOf(v) % 2 == 0; });
            sorted = SortedList::listWithSource(list, [](const rt::Value& a, const rt::Value& b) {
                int x = keyOf(a), y = keyOf(b);
                return x < y ? -1 : (x > y ? 1 : 0);
            });
            addListener(*filtered, filteredListener);
            addListener(*sorted, sortedListener);
        }
        std::vector<rt::Value> fresh;
        for (int i = 0; i < mutations; ++i) fresh.push_back(rt::make<BenchItem>(static_cast<int>(rng() % 1000)));
        state.ResumeTiming();

        list->beginUpdates();
        for (int i = 0; i < mutations; ++i) {
            auto n = list->count();
            auto at = static_cast<std::uint64_t>(rng() % n);
            switch (i % 6) {
                case 0: list->insertObject(fresh[i], at); break;
                case 1: list->removeObjectAtIndex(at); break;
                case 2: list->moveObjectAtIndex(at, rng() % n); break;
                case 3: list->replaceObjectAtIndex(at, fresh[i]); break;
                case 4: list->objectDidChangeAtIndex(at); break;
                default: list->addObject(fresh[i]); break;
            }
        }
        list->endUpdates();

        state.PauseTiming();
        reported += listener->calls + filteredListener->calls + sortedListener->calls;
        list.reset();
        filtered.reset();
        sorted.reset();
        state.ResumeTiming();
    }
    state.counters["reported"] = benchmark::Counter(static_cast<double>(reported) / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * mutations);
}

BENCHMARK(BM_ArrayListBatch)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
