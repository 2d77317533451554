#pragma once
// The storage of an array list: values in chunks of at most 128, with a
// Fenwick tree over the chunk sizes. Reading a position costs O(log(n / chunk)); an
// insert or removal in the middle shifts only the values of one chunk, where one
// vector would shift half the list.

#include <cstdint>
#include <vector>

#include <rt/Value.h>

namespace zid {

class ChunkedArray {
public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const rt::Value& operator[](std::size_t index) const;
    rt::Value& operator[](std::size_t index);
    void insert(std::size_t index, rt::Value value);
    void erase(std::size_t index);
    void push_back(rt::Value value) { insert(size_, std::move(value)); }
    /// Replaces the contents.
    void assign(const rt::Value::Array& values);
    void clear() { assign({}); }
    rt::Value::Array toArray() const;

    /// Calls f(index, value) for every value in order.
    template <class F> void forEach(F&& f) const {
        std::size_t index = 0;
        for (const auto& chunk : chunks_)
            for (const auto& value : chunk) f(index++, value);
    }

private:
    static constexpr std::size_t kChunk = 64;  // values per chunk when filled; split at twice that
    struct Place {
        std::size_t chunk, offset;
    };
    Place locate(std::size_t index) const;
    void rebuildIndex();
    void addToChunk(std::size_t chunk, std::int64_t delta);

    std::vector<std::vector<rt::Value>> chunks_;
    std::vector<std::int64_t> fenwick_;  // 1-based over chunk sizes
    std::size_t highBit_ = 0;            // the largest power of two at most chunks_.size()
    std::size_t size_ = 0;
};

}  // namespace zid
