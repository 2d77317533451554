#pragma once
// The shadow of a list during a change tracker's batch: a sequence of pieces, each
// covering one or more consecutive positions (a run of untouched positions, positions
// opened by a shift, or one position the batch touched), kept in chunks of a few dozen
// pieces with a Fenwick tree over the chunks' lengths.
//
// Finding the piece at a position walks the Fenwick tree (a few kilobytes, which stay in
// the cache) and then the pieces of one chunk, side by side in memory; an edit shifts
// the pieces of one chunk. A balanced tree of pieces would take a cache miss at every
// level of a deep tree for the same search, and the tracker searches at every call.

#include <cstdint>
#include <vector>

namespace zid {

class PieceSequence {
public:
    enum class Kind : char { Run, Entry, Gaps };
    struct Piece {
        std::uint64_t length;
        std::int64_t value;  // a run's first old position; an entry's number; 0 for gaps
        Kind kind;
    };
    /// Where a position lies: the piece (valid until the next edit) and the distance of
    /// the position from the piece's first one.
    struct Place {
        std::size_t chunk = 0, index = 0;
        std::uint64_t offset = 0;
    };

    PieceSequence() { clear(); }
    /// Empties the sequence (its first chunk keeps its room).
    void clear();
    std::uint64_t total() const { return total_; }

    /// The piece covering pos, which must be below total().
    Place find(std::uint64_t pos) const;
    const Piece& at(const Place& place) const { return chunks_[place.chunk][place.index]; }
    Piece& at(const Place& place) { return chunks_[place.chunk][place.index]; }

    /// Inserts a piece starting at pos (at most total()); a run or gaps covering pos is
    /// cut in two around it (the second part of a run goes on with the old positions).
    void insert(std::uint64_t pos, const Piece& piece);
    /// Makes the position at place a piece of length 1 of its own, cutting a run or gaps
    /// around it, and gives it the kind and value given; answers its place.
    Place isolate(const Place& place, Kind kind, std::int64_t value);
    /// Removes the position at place: a piece of length 1 goes, a longer run or gaps
    /// loses that position (cut in two when it lies inside).
    void removePosition(const Place& place);

    /// Calls f(piece) for every piece in order.
    template <class F> void forEach(F&& f) const {
        for (const auto& chunk : chunks_)
            for (const auto& piece : chunk) f(piece);
    }

private:
    static constexpr std::size_t kChunk = 48;  // pieces of a chunk when split; split at twice that
    static Piece rest(const Piece& piece, std::uint64_t from);
    void addToChunk(std::size_t chunk, std::int64_t delta);
    // Splits a chunk grown too long, or drops an emptied one.
    void rebalance(std::size_t chunk);
    void rebuildIndex();

    std::vector<std::vector<Piece>> chunks_;
    std::vector<std::uint64_t> lengths_;  // positions covered by each chunk
    std::vector<std::uint64_t> fenwick_;  // 1-based over lengths_
    std::size_t highBit_ = 0;             // the largest power of two at most the chunks' count
    std::uint64_t total_ = 0;
};

}  // namespace zid
