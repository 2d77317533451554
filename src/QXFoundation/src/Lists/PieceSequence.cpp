#include <QXFoundation/Lists/PieceSequence.h>

#include <iterator>

namespace zid {

void PieceSequence::clear() {
    chunks_.resize(1);
    chunks_.front().clear();
    lengths_.assign(1, 0);
    total_ = 0;
    rebuildIndex();
}

void PieceSequence::rebuildIndex() {
    fenwick_.assign(chunks_.size() + 1, 0);
    for (std::size_t i = 1; i <= chunks_.size(); ++i) {
        fenwick_[i] += lengths_[i - 1];
        std::size_t parent = i + (i & (~i + 1));
        if (parent <= chunks_.size()) fenwick_[parent] += fenwick_[i];
    }
    highBit_ = 1;
    while (highBit_ * 2 <= chunks_.size()) highBit_ *= 2;
}

void PieceSequence::addToChunk(std::size_t chunk, std::int64_t delta) {
    // lengths wrap like the unsigned counts they are: adding a negative delta subtracts
    lengths_[chunk] += static_cast<std::uint64_t>(delta);
    for (std::size_t i = chunk + 1; i < fenwick_.size(); i += i & (~i + 1)) fenwick_[i] += static_cast<std::uint64_t>(delta);
    total_ += static_cast<std::uint64_t>(delta);
}

PieceSequence::Place PieceSequence::find(std::uint64_t pos) const {
    // the chunk whose running total passes pos, then the piece within it
    std::size_t chunk = 0;
    for (std::size_t step = highBit_; step > 0; step /= 2) {
        std::size_t next = chunk + step;
        if (next < fenwick_.size() && fenwick_[next] <= pos) {
            chunk = next;
            pos -= fenwick_[next];
        }
    }
    const auto& pieces = chunks_[chunk];
    std::size_t index = 0;
    while (pos >= pieces[index].length) pos -= pieces[index++].length;
    return Place{chunk, index, pos};
}

PieceSequence::Piece PieceSequence::rest(const Piece& piece, std::uint64_t from) {
    return Piece{piece.length - from, piece.kind == Kind::Run ? piece.value + static_cast<std::int64_t>(from) : piece.value,
                 piece.kind};
}

void PieceSequence::insert(std::uint64_t pos, const Piece& piece) {
    Place place;
    if (pos >= total_) {
        place.chunk = chunks_.size() - 1;
        place.index = chunks_[place.chunk].size();
    } else {
        place = find(pos);
    }
    auto& pieces = chunks_[place.chunk];
    auto at = pieces.begin() + static_cast<std::ptrdiff_t>(place.index);
    if (place.offset > 0) {
        // cut: the piece keeps its first positions, its rest follows the new piece
        Piece second = rest(*at, place.offset);
        at->length = place.offset;
        at = pieces.insert(std::next(at), {piece, second});
    } else {
        pieces.insert(at, piece);
    }
    addToChunk(place.chunk, static_cast<std::int64_t>(piece.length));
    rebalance(place.chunk);
}

PieceSequence::Place PieceSequence::isolate(const Place& place, Kind kind, std::int64_t value) {
    auto& pieces = chunks_[place.chunk];
    auto& piece = pieces[place.index];
    Place one{place.chunk, place.index, 0};
    if (piece.length == 1) {
        piece.kind = kind;
        piece.value = value;
        return one;
    }
    // [before] [the position] [after], as long as the piece was: the chunk's length stays
    Piece own{1, value, kind};
    std::uint64_t after = piece.length - place.offset - 1;
    Piece second = rest(piece, place.offset + 1);
    auto it = pieces.begin() + static_cast<std::ptrdiff_t>(place.index);
    if (place.offset == 0) {
        *it = own;
        if (after > 0) pieces.insert(std::next(it), second);
    } else {
        it->length = place.offset;
        if (after > 0) pieces.insert(std::next(it), {own, second});
        else pieces.insert(std::next(it), own);
        ++one.index;
    }
    if (pieces.size() < 2 * kChunk) return one;
    // the chunk splits: the piece's place moves with it
    std::size_t firstHalf = pieces.size() / 2;
    rebalance(place.chunk);
    if (one.index >= firstHalf) return Place{place.chunk + 1, one.index - firstHalf, 0};
    return one;
}

void PieceSequence::removePosition(const Place& place) {
    auto& pieces = chunks_[place.chunk];
    auto it = pieces.begin() + static_cast<std::ptrdiff_t>(place.index);
    if (it->length == 1) {
        pieces.erase(it);
    } else if (place.offset == 0) {
        *it = rest(*it, 1);
    } else if (place.offset + 1 == it->length) {
        --it->length;
    } else {
        Piece second = rest(*it, place.offset + 1);
        it->length = place.offset;
        pieces.insert(std::next(it), second);
    }
    addToChunk(place.chunk, -1);
    rebalance(place.chunk);
}

void PieceSequence::rebalance(std::size_t chunk) {
    auto& pieces = chunks_[chunk];
    if (pieces.size() >= 2 * kChunk) {
        std::vector<Piece> second(pieces.begin() + static_cast<std::ptrdiff_t>(pieces.size() / 2), pieces.end());
        pieces.resize(pieces.size() / 2);
        std::uint64_t secondLength = 0;
        for (const auto& piece : second) secondLength += piece.length;
        lengths_[chunk] -= secondLength;
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk) + 1, std::move(second));
        lengths_.insert(lengths_.begin() + static_cast<std::ptrdiff_t>(chunk) + 1, secondLength);
        rebuildIndex();
    } else if (pieces.empty() && chunks_.size() > 1) {
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk));
        lengths_.erase(lengths_.begin() + static_cast<std::ptrdiff_t>(chunk));
        rebuildIndex();
    }
}

}  // namespace zid
