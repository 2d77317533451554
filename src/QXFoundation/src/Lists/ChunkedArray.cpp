#include <QXFoundation/Lists/ChunkedArray.h>

namespace zid {

void ChunkedArray::rebuildIndex() {
    fenwick_.assign(chunks_.size() + 1, 0);
    for (std::size_t i = 1; i <= chunks_.size(); ++i) {
        fenwick_[i] += static_cast<std::int64_t>(chunks_[i - 1].size());
        std::size_t parent = i + (i & (~i + 1));
        if (parent <= chunks_.size()) fenwick_[parent] += fenwick_[i];
    }
    highBit_ = 1;
    while (highBit_ * 2 <= chunks_.size()) highBit_ *= 2;
}

void ChunkedArray::addToChunk(std::size_t chunk, std::int64_t delta) {
    for (std::size_t i = chunk + 1; i < fenwick_.size(); i += i & (~i + 1)) fenwick_[i] += delta;
}

ChunkedArray::Place ChunkedArray::locate(std::size_t index) const {
    // the first chunk whose running total passes index
    std::size_t chunk = 0;
    auto rest = static_cast<std::int64_t>(index);
    for (std::size_t step = highBit_; step > 0; step /= 2) {
        std::size_t next = chunk + step;
        if (next < fenwick_.size() && fenwick_[next] <= rest) {
            chunk = next;
            rest -= fenwick_[next];
        }
    }
    return Place{chunk, static_cast<std::size_t>(rest)};
}

const rt::Value& ChunkedArray::operator[](std::size_t index) const {
    auto place = locate(index);
    return chunks_[place.chunk][place.offset];
}

rt::Value& ChunkedArray::operator[](std::size_t index) {
    auto place = locate(index);
    return chunks_[place.chunk][place.offset];
}

void ChunkedArray::insert(std::size_t index, rt::Value value) {
    if (chunks_.empty()) {
        chunks_.emplace_back();
        rebuildIndex();
    }
    Place place = index == size_ ? Place{chunks_.size() - 1, chunks_.back().size()} : locate(index);
    auto& chunk = chunks_[place.chunk];
    chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(place.offset), std::move(value));
    ++size_;
    if (chunk.size() < 2 * kChunk) {
        addToChunk(place.chunk, 1);
        return;
    }
    std::vector<rt::Value> second(std::make_move_iterator(chunk.begin() + kChunk), std::make_move_iterator(chunk.end()));
    chunk.resize(kChunk);
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(place.chunk) + 1, std::move(second));
    rebuildIndex();
}

void ChunkedArray::erase(std::size_t index) {
    auto place = locate(index);
    auto& chunk = chunks_[place.chunk];
    chunk.erase(chunk.begin() + static_cast<std::ptrdiff_t>(place.offset));
    --size_;
    if (!chunk.empty()) {
        addToChunk(place.chunk, -1);
        return;
    }
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(place.chunk));
    rebuildIndex();
}

void ChunkedArray::assign(const rt::Value::Array& values) {
    chunks_.clear();
    for (std::size_t i = 0; i < values.size(); i += kChunk)
        chunks_.emplace_back(values.begin() + static_cast<std::ptrdiff_t>(i),
                             values.begin() + static_cast<std::ptrdiff_t>(std::min(values.size(), i + kChunk)));
    size_ = values.size();
    rebuildIndex();
}

rt::Value::Array ChunkedArray::toArray() const {
    rt::Value::Array out;
    out.reserve(size_);
    for (const auto& chunk : chunks_) out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

}  // namespace zid
