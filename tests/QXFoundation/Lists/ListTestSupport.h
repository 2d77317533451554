#pragma once
// Helpers for list tests: a listener that records every call as text and per batch,
// and the replay of a reported batch on the contents before it.

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/IList.h>
#include <rt/Format.h>
#include <rt/KVO.h>

namespace zidtest {

struct ListBatch {
    struct Item {
        rt::Value item;
        std::uint64_t from, to;
    };
    std::vector<Item> deletions, inserts, moves, changes;
    std::vector<char> order;  // 'd' 'i' 'm' 'c' in call order
};

class ListRecorder : public rt::Object, public zid::IListListener {
public:
    void listWillChangeContent(zid::IList&) override {
        calls.push_back("will");
        ++openBatches;
        batches.emplace_back();
    }
    void listDidChangeContent(zid::IList&) override {
        calls.push_back("did");
        --openBatches;
    }
    void listDidInsertItem(zid::IList&, const rt::Value& item, std::uint64_t index) override {
        calls.push_back(rt::format("insert %@ at %llu", item, index));
        current().inserts.push_back({item, 0, index});
        current().order.push_back('i');
    }
    void listDidDeleteItem(zid::IList&, const rt::Value& item, std::uint64_t index) override {
        calls.push_back(rt::format("delete %@ from %llu", item, index));
        current().deletions.push_back({item, index, 0});
        current().order.push_back('d');
    }
    void listDidMoveItem(zid::IList&, const rt::Value& item, std::uint64_t from, std::uint64_t to) override {
        calls.push_back(rt::format("move %@ from %llu to %llu", item, from, to));
        current().moves.push_back({item, from, to});
        current().order.push_back('m');
    }
    void listDidChangeItem(zid::IList&, const rt::Value& item, std::uint64_t index) override {
        calls.push_back(rt::format("change %@ at %llu", item, index));
        current().changes.push_back({item, index, 0});
        current().order.push_back('c');
    }
    ListBatch& current() {
        if (batches.empty()) batches.emplace_back();  // calls outside a batch still land somewhere
        return batches.back();
    }
    void clear() {
        calls.clear();
        batches.clear();
    }

    std::vector<std::string> calls;
    std::vector<ListBatch> batches;
    int openBatches = 0;
};

/// Applies a batch to the contents before it: removes deletions and move sources at
/// their old positions, then places inserts and move destinations at their new
/// positions, filling the other positions with the remaining items in order. Checks the
/// contract on the way (group order, index ranges, no position used twice).
inline rt::Value::Array replayBatch(const rt::Value::Array& before, const ListBatch& batch) {
    // group order: deletions, inserts, moves, changes
    std::string groups;
    for (char c : batch.order)
        if (groups.empty() || groups.back() != c) groups += c;
    std::string expectedOrder = "dimc";
    std::size_t at = 0;
    for (char c : groups) {
        at = expectedOrder.find(c, at);
        EXPECT_NE(at, std::string::npos) << "group order broken: " << groups;
        if (at == std::string::npos) break;
    }
    std::set<std::uint64_t> removed;
    for (const auto& d : batch.deletions) {
        EXPECT_LT(d.from, before.size()) << "deletion index out of range";
        EXPECT_TRUE(removed.insert(d.from).second) << "old position removed twice: " << d.from;
        if (d.from < before.size()) {
            EXPECT_TRUE(before[d.from].isIdentical(d.item)) << "deleted item is not the one at " << d.from;
        }
    }
    for (const auto& m : batch.moves) {
        EXPECT_LT(m.from, before.size()) << "move source out of range";
        EXPECT_TRUE(removed.insert(m.from).second) << "old position moved twice: " << m.from;
        if (m.from < before.size()) {
            EXPECT_TRUE(before[m.from].isIdentical(m.item)) << "moved item is not the one at " << m.from;
        }
    }
    for (const auto& c : batch.changes) {
        EXPECT_LT(c.from, before.size()) << "change index out of range";
        EXPECT_FALSE(std::any_of(batch.deletions.begin(), batch.deletions.end(),
                                 [&](const auto& d) { return d.from == c.from; }))
            << "changed position is also deleted: " << c.from;
    }
    rt::Value::Array remaining;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (!removed.count(i)) remaining.push_back(before[i]);
    std::size_t size = remaining.size() + batch.inserts.size() + batch.moves.size();
    std::vector<std::optional<rt::Value>> slots(size);
    auto place = [&](std::uint64_t index, const rt::Value& item) {
        EXPECT_LT(index, size) << "destination out of range";
        if (index >= size) return;
        EXPECT_FALSE(slots[index].has_value()) << "destination used twice: " << index;
        slots[index] = item;
    };
    for (const auto& i : batch.inserts) place(i.to, i.item);
    for (const auto& m : batch.moves) place(m.to, m.item);
    rt::Value::Array after;
    std::size_t next = 0;
    for (auto& slot : slots) after.push_back(slot ? *slot : (next < remaining.size() ? remaining[next++] : rt::Value()));
    return after;
}

/// Adds the key-value notices of "count" and "isEmpty" to the recorder's calls, before
/// ("will count") and after ("did count") each change, so tests see every effect of a
/// batch in one sequence.
inline std::vector<rt::Ref<rt::Observation>> recordCountAndEmptiness(const rt::Ref<zid::IList>& list, ListRecorder& recorder) {
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (std::string key : {"count", "isEmpty"})
        tokens.push_back(rt::observe(list, key, rt::KVONew | rt::KVOPrior, [&recorder, key](const rt::KVOChange& c) {
            recorder.calls.push_back((c.isPrior ? "will " : "did ") + key);
        }));
    return tokens;
}

inline bool sameItems(const rt::Value::Array& a, const rt::Value::Array& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!a[i].isIdentical(b[i])) return false;
    return true;
}

}  // namespace zidtest
