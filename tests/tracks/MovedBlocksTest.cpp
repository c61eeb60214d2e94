#include "tracks/reader/VistrelDecoderFrameMovedChangedFrame.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vtl {
namespace {

using Move = VistrelDecoderFrameMovedChangedFrame::Move;

// A frame whose every pixel tells its own position.
struct Frame {
    std::size_t width, height;
    std::vector<std::uint8_t> bytes;
    Frame(std::size_t w, std::size_t h)
        : width(w)
        , height(h)
        , bytes(w * h * 4) {
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x) {
                std::uint8_t* p = &bytes[(y * w + x) * 4];
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = 0;
                p[3] = 255;
            }
    }
    std::pair<int, int> at(std::size_t x, std::size_t y) const {
        const std::uint8_t* p = &bytes[(y * width + x) * 4];
        return {p[0], p[1]};
    }
};

// What the moves mean: every destination pixel shows the previous picture at its source.
Frame expectedAfter(const Frame& before, const std::vector<Move>& moves) {
    Frame after = before;
    for (const Move& m : moves)
        for (std::size_t r = 0; r < m.height; ++r)
            for (std::size_t c = 0; c < m.width; ++c)
                std::memcpy(&after.bytes[((m.y + r) * after.width + m.x + c) * 4],
                            &before.bytes[((m.sourceY + r) * before.width + m.sourceX + c) * 4], 4);
    return after;
}

TEST(MovedBlocks, OffsetIsTheFirstRecordsLow16BitsAsASignedNumber) {
    struct Case {
        std::int64_t stored;
        std::int64_t applied;
    };
    for (const Case c : {Case{70000, 4464}, Case{-3, -3}, Case{65535, -1}, Case{5, 5}}) {
        SCOPED_TRACE(c.stored);
        const auto moves = VistrelDecoderFrameMovedChangedFrame::clipMoves(
            {{20000, 20000, 4, 4, c.stored, 0}}, 40000, 30000);
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(static_cast<std::int64_t>(moves[0].sourceX) - 20000, c.applied);
    }
    // Later records' offsets are not read.
    const auto moves =
        VistrelDecoderFrameMovedChangedFrame::clipMoves({{10, 10, 2, 2, 1, 2}, {20, 20, 2, 2, 9, 9}}, 64, 64);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].sourceX, 21u);
    EXPECT_EQ(moves[1].sourceY, 22u);
}

TEST(MovedBlocks, ClippingKeepsDestinationAndSourceInsideTheFrame) {
    bool clipped = false;
    // Source reaches past the right edge: only the part whose source exists is moved.
    auto moves = VistrelDecoderFrameMovedChangedFrame::clipMoves({{10, 0, 20, 5, 5, 0}}, 32, 8, &clipped);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(moves[0].width, 17u);
    EXPECT_EQ(moves[0].sourceX + moves[0].width, 32u);
    // Entirely outside, or absurd sizes: dropped without overflow.
    moves = VistrelDecoderFrameMovedChangedFrame::clipMoves(
        {{100, 0, 5, 5, 0, 0}, {UINT64_MAX - 2, 1, UINT64_MAX, UINT64_MAX, 0, 0}, {0, 0, 0, 4, 0, 0}}, 32, 8,
        &clipped);
    EXPECT_TRUE(moves.empty());
    // A block that fits is not reported as clipped.
    moves = VistrelDecoderFrameMovedChangedFrame::clipMoves({{0, 1, 32, 7, 0, -1}}, 32, 8, &clipped);
    EXPECT_FALSE(clipped);
    ASSERT_EQ(moves.size(), 1u);
}

TEST(MovedBlocks, MovesEndAsIfEverySourceWasReadFirst) {
    struct Case {
        const char* name;
        std::vector<Move> moves;
    };
    const std::vector<Case> cases = {
        // S.y < D.y: rows are copied bottom up.
        {"down by one row", {{2, 3, 10, 6, 2, 2}}},
        {"up by one row", {{2, 2, 10, 6, 2, 3}}},
        {"sideways, overlapping", {{4, 1, 10, 3, 2, 1}}},
        // The first one's destination covers the second one's source: the second goes first.
        {"chain", {{0, 0, 4, 4, 8, 0}, {8, 0, 4, 4, 16, 0}}},
        // Two blocks trading places block each other: finished through the spare copy.
        {"swap", {{0, 0, 4, 4, 8, 8}, {8, 8, 4, 4, 0, 0}}},
        {"three-way cycle", {{0, 0, 3, 3, 6, 0}, {6, 0, 3, 3, 12, 0}, {12, 0, 3, 3, 0, 0}}},
    };
    for (const Case& c : cases) {
        for (bool ownSpare : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ownSpare ? " (own spare)" : ""));
            Frame frame(24, 12);
            const Frame expected = expectedAfter(frame, c.moves);
            std::vector<std::uint8_t> spare(frame.bytes.size());
            VistrelDecoderFrameMovedChangedFrame::applyMoves(c.moves, frame.bytes.data(), 24, 12,
                                                             ownSpare ? nullptr : spare.data());
            EXPECT_EQ(frame.bytes, expected.bytes);
        }
    }
}

TEST(MovedBlocks, ManyMovesStillEnd) {
    Frame frame(64, 64);
    std::vector<Move> moves;
    for (std::size_t i = 0; i < 500; ++i)
        moves.push_back({(i * 7) % 60, (i * 13) % 60, 4, 4, (i * 11) % 60, (i * 3) % 60});
    std::vector<std::uint8_t> spare(frame.bytes.size());
    VistrelDecoderFrameMovedChangedFrame::applyMoves(moves, frame.bytes.data(), 64, 64, spare.data());
    SUCCEED();
}

} // namespace
} // namespace vtl
