#include <gtest/gtest.h>

#include <random>

#include <QXFoundation/Lists/PieceSequence.h>

namespace {

using zid::PieceSequence;
using Kind = PieceSequence::Kind;

bool samePiece(const PieceSequence::Piece& a, const PieceSequence::Piece& b) {
    return a.length == b.length && a.value == b.value && a.kind == b.kind;
}

// The sequence against a plain vector of pieces through random inserts (cutting runs and
// gaps), isolated positions and removed positions: first growing well past the size at
// which chunks split, then shrinking until chunks empty. Every few steps the pieces,
// their order and the places of their first and last positions agree.
TEST(PieceSequenceTest, AgreesWithAVectorModelWhileChunksSplitAndEmpty) {
    std::mt19937 rng(7);
    PieceSequence sequence;
    std::vector<PieceSequence::Piece> model;
    sequence.insert(0, {1000, 0, Kind::Run});
    model.push_back({1000, 0, Kind::Run});
    auto rest = [](const PieceSequence::Piece& piece, std::uint64_t from) {
        return PieceSequence::Piece{piece.length - from, piece.kind == Kind::Run ? piece.value + static_cast<std::int64_t>(from) : piece.value,
                                    piece.kind};
    };
    // where pos lies in the model: the piece's index and the offset in it
    auto locate = [&](std::uint64_t pos) {
        std::size_t i = 0;
        while (pos >= model[i].length) pos -= model[i++].length;
        return std::pair<std::size_t, std::uint64_t>{i, pos};
    };
    std::int64_t nextEntry = 0;
    for (int step = 0; step < 8000; ++step) {
        std::uint64_t total = 0;
        for (const auto& p : model) total += p.length;
        bool growing = step < 3000;
        int op = total == 0 ? 0 : growing ? static_cast<int>(rng() % 3) : (rng() % 8 == 0 ? 1 : 2);
        if (op == 0) {
            std::uint64_t pos = rng() % (total + 1);
            PieceSequence::Piece piece = rng() % 4 == 0 ? PieceSequence::Piece{1 + rng() % 5, 0, Kind::Gaps}
                                                        : PieceSequence::Piece{1, nextEntry++, Kind::Entry};
            sequence.insert(pos, piece);
            if (pos == total) {
                model.push_back(piece);
            } else {
                auto [i, offset] = locate(pos);
                auto at = model.begin() + static_cast<std::ptrdiff_t>(i);
                if (offset > 0) {
                    auto second = rest(*at, offset);
                    at->length = offset;
                    model.insert(model.begin() + static_cast<std::ptrdiff_t>(i) + 1, {piece, second});
                } else {
                    model.insert(at, piece);
                }
            }
        } else if (op == 1) {
            std::uint64_t pos = rng() % total;
            auto place = sequence.find(pos);
            auto entry = nextEntry++;
            auto isolated = sequence.isolate(place, Kind::Entry, entry);
            auto [i, offset] = locate(pos);
            auto piece = model[i];
            std::vector<PieceSequence::Piece> parts;
            if (offset > 0) parts.push_back({offset, piece.value, piece.kind});
            parts.push_back({1, entry, Kind::Entry});
            if (offset + 1 < piece.length) parts.push_back(rest(piece, offset + 1));
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(i), parts.begin(), parts.end());
            ASSERT_TRUE(samePiece(sequence.at(isolated), {1, entry, Kind::Entry})) << "step " << step;
        } else {
            // mostly near the front, so that chunks there empty while later ones stay
            std::uint64_t pos = rng() % (total / 3 + 1);
            sequence.removePosition(sequence.find(pos));
            auto [i, offset] = locate(pos);
            auto piece = model[i];
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
            std::vector<PieceSequence::Piece> parts;
            if (offset > 0) parts.push_back({offset, piece.value, piece.kind});
            if (offset + 1 < piece.length) parts.push_back(rest(piece, offset + 1));
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(i), parts.begin(), parts.end());
        }
        if (step % 7 != 0 && step != 7999) continue;
        std::vector<PieceSequence::Piece> seen;
        sequence.forEach([&](const PieceSequence::Piece& p) { seen.push_back(p); });
        ASSERT_EQ(seen.size(), model.size()) << "step " << step;
        std::uint64_t pos = 0;
        for (std::size_t i = 0; i < model.size(); ++i) {
            ASSERT_TRUE(samePiece(seen[i], model[i])) << "step " << step << " piece " << i;
            auto first = sequence.find(pos), last = sequence.find(pos + model[i].length - 1);
            ASSERT_TRUE(samePiece(sequence.at(first), model[i]));
            ASSERT_EQ(first.offset, 0u);
            ASSERT_EQ(last.offset, model[i].length - 1);
            pos += model[i].length;
        }
        ASSERT_EQ(sequence.total(), pos);
    }
    EXPECT_LT(model.size(), 200u);  // the shrinking half emptied chunks on the way
}

}  // namespace
