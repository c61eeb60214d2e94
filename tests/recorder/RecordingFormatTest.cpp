#include "recorder/format/RecordingFormat.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <limits>
#include <vector>

namespace vtl {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Expected bytes are spelled out word by word, little-endian, independently of the code under test.
void addWord(Bytes& out, std::uint64_t word) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>((word >> (8 * i)) & 0xff));
}

Bytes words(std::initializer_list<std::uint64_t> list) {
    Bytes out;
    for (std::uint64_t w : list)
        addWord(out, w);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

template <std::size_t N> Bytes toBytes(const std::array<std::uint8_t, N>& array) {
    return Bytes(array.begin(), array.end());
}

TEST(RecordingHeaderFormat, SerialisesByteExactForTypicalAreas) {
    struct Case {
        std::uint64_t width, height, keyFrameRate;
        float scaling;
        std::uint64_t thumbWidth, thumbHeight;
        Bytes scalingBytes; // f32 little-endian followed by four padding bytes
    };
    const Case cases[] = {
        // 1920 x 1080: factor min(24, 13) = 13, thumbnails 147 x 83.
        {1920, 1080, 30, 1.0f, 147, 83, {0x00, 0x00, 0x80, 0x3f, 0, 0, 0, 0}},
        // 320 x 256: factor min(4, 3) = 3, thumbnails 106 x 85.
        {320, 256, 60, 2.0f, 106, 85, {0x00, 0x00, 0x00, 0x40, 0, 0, 0, 0}},
        // 100 x 257: factor max(1, min(1, 3)) = 1.
        {100, 257, 15, 1.5f, 100, 257, {0x00, 0x00, 0xc0, 0x3f, 0, 0, 0, 0}},
        // Smaller than 80 pixels: the factor never drops below 1.
        {40, 30, 10, 1.0f, 40, 30, {0x00, 0x00, 0x80, 0x3f, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const RecordingHeader header = makeRecordingHeader(c.width, c.height, c.keyFrameRate, c.scaling);
        const Bytes expected =
            concat({words({1, 1000, c.width, c.height, 600, c.keyFrameRate, 0, c.thumbHeight, c.thumbWidth}),
                    c.scalingBytes, words({0, 0, 0, 0, 0, 0})});
        ASSERT_EQ(expected.size(), 128u);
        EXPECT_EQ(toBytes(serializeHeader(header)), expected) << c.width << "x" << c.height;

        const auto parsed = parseHeader(expected);
        ASSERT_TRUE(parsed.ok()) << parsed.error();
        EXPECT_EQ(parsed.value(), header);
    }
}

TEST(RecordingHeaderFormat, FirstBytesOfA1080pHeaderLiterally) {
    RecordingHeader header = makeRecordingHeader(1920, 1080, 30, 1.0f);
    header.numberFrameEntries = 301;
    const Bytes bytes = toBytes(serializeHeader(header));
    const Bytes start = {0x01, 0, 0,    0,    0,    0,    0, 0, 0x2d, 0x01, 0,    0,    0, 0,
                         0,    0, 0x80, 0x07, 0,    0,    0, 0, 0,    0,    0x38, 0x04, 0, 0,
                         0,    0, 0,    0,    0x58, 0x02, 0, 0, 0,    0,    0,    0};
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 40), start);
}

TEST(RecordingHeaderFormat, ParseRefusesShortInput) {
    const Bytes bytes = toBytes(serializeHeader(makeRecordingHeader(1920, 1080, 30, 1.0f)));
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{127}}) {
        const auto parsed = parseHeader(std::span(bytes.data(), length));
        EXPECT_FALSE(parsed.ok()) << length;
        EXPECT_FALSE(parsed.error().empty());
    }
}

TEST(RecordingLayout, StripesAndThumbnailFactor) {
    struct Case {
        std::uint64_t height, stripes;
        std::vector<std::uint64_t> rows;
    };
    const Case cases[] = {
        {256, 1, {256}}, {257, 2, {256, 1}}, {512, 2, {256, 256}}, {1080, 5, {256, 256, 256, 256, 56}},
        {1, 1, {1}},     {0, 0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stripeCount(c.height), c.stripes) << c.height;
        for (std::uint64_t i = 0; i < c.rows.size(); ++i)
            EXPECT_EQ(stripeHeightRows(c.height, i), c.rows[i]);
        EXPECT_EQ(stripeHeightRows(c.height, c.stripes), 0u);
    }
    EXPECT_EQ(thumbnailFactor(1920, 1080), 13u);
    EXPECT_EQ(thumbnailFactor(0, 0), 1u);
}

TEST(RecordingLayout, TimeConversionTruncatesAndClamps) {
    struct Case {
        double seconds;
        std::uint64_t ticks;
    };
    const Case cases[] = {
        {0.0, 0},
        {1.5, 900},
        {0.0049, 2}, // 2.94 ticks truncated
        {-0.25, 0},
        {-1e300, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {1e300, std::numeric_limits<std::uint64_t>::max()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(secondsToTicks(c.seconds), c.ticks) << c.seconds;
    EXPECT_DOUBLE_EQ(ticksToSeconds(900), 1.5);
    EXPECT_EQ(ticksToSeconds(900, 0), 0.0);
}

TEST(RecordingLayout, UsableFrameEntryCount) {
    struct Case {
        std::uint64_t headerCount, directoryBytes, usable;
    };
    const Case cases[] = {
        {1000, 40 * 37, 37},         // unfinished package: the directory decides
        {1000, 40 * 1500 + 7, 1500}, // longer than the provisional count; a torn entry is dropped
        {1000, 40 * 1000, 1000},     // exactly 1000 real entries
        {12, 40 * 12, 12},
        {12, 40 * 5, 5}, // directory shorter than the header claims
        {0, 40 * 5, 0},
    };
    for (const Case& c : cases) {
        RecordingHeader header;
        header.numberFrameEntries = c.headerCount;
        EXPECT_EQ(usableFrameEntryCount(header, c.directoryBytes), c.usable)
            << c.headerCount << " " << c.directoryBytes;
    }
}

struct MetaCase {
    const char* name;
    FrameMetaRecord record;
    Bytes expected;
};

std::vector<MetaCase> metaCases() {
    std::vector<MetaCase> cases;
    {
        // Key frame of a 1080-row surface: five stripes, the last one 56 rows.
        FrameMetaRecord key;
        key.kind = FrameKind::Key;
        key.frameIndex = 0;
        key.time = 0;
        key.dataSizeBytes = 100 + 200 + 300 + 400 + 50;
        key.jpegQuality = 70;
        key.stripes = {{0, 256, 100}, {1, 256, 200}, {2, 256, 300}, {3, 256, 400}, {4, 56, 50}};
        cases.push_back({"key", key, words({0,   0, 0,   1050, 5, 70,  0,   256, 100, 1, 256,
                                            200, 2, 256, 300,  3, 256, 400, 4,   56,  50})});
    }
    {
        // Key frame of a 257-row surface.
        FrameMetaRecord key;
        key.frameIndex = 60;
        key.time = 1200;
        key.dataSizeBytes = 7;
        key.jpegQuality = 255;
        key.stripes = {{0, 256, 6}, {1, 1, 1}};
        cases.push_back({"key257", key, words({0, 60, 1200, 7, 2, 255, 0, 256, 6, 1, 1, 1})});
    }
    {
        // Moved and changed blocks; the move offset is negative.
        FrameMetaRecord block;
        block.kind = FrameKind::Block;
        block.frameIndex = 7;
        block.time = 140;
        block.dataSizeBytes = 1234;
        block.framesSinceKeyFrame = 7;
        block.movedRects = {{10, 20, 300, 40, -5, 12}, {0, 0, 16, 16, -5, 12}};
        block.changedRects = {{100, 200, 32, 48, 1234, 82}};
        cases.push_back({"changed", block, words({1,  7,   140, 1234, 2,  1,
                                                  7,  10,  20,  300,  40, 0xfffffffffffffffbull,
                                                  12, 0,   0,   16,   16, 0xfffffffffffffffbull,
                                                  12, 100, 200, 32,   48, 1234,
                                                  82})});
    }
    cases.push_back({"stop", makeStopFrameRecord(31, 620, 1), words({1, 31, 620, 0, 0, 0, 1})});
    return cases;
}

TEST(FrameMetaRecordFormat, SerialisesAndParsesByteExact) {
    for (const MetaCase& c : metaCases()) {
        EXPECT_EQ(serializeFrameMetaRecord(c.record), c.expected) << c.name;
        EXPECT_EQ(frameMetaRecordSize(c.record), c.expected.size()) << c.name;

        // Parse from a buffer with a following record's bytes behind it: only one record is consumed.
        Bytes buffer = c.expected;
        buffer.insert(buffer.end(), 16, 0xee);
        FrameMetaRecord parsed;
        const auto consumed = parseFrameMetaRecord(buffer, parsed);
        ASSERT_TRUE(consumed.ok()) << c.name << ": " << consumed.error();
        EXPECT_EQ(consumed.value(), c.expected.size()) << c.name;
        EXPECT_EQ(parsed, c.record) << c.name;
    }
    EXPECT_TRUE(makeStopFrameRecord(1, 2, 3).isStopFrame());
}

TEST(FrameMetaRecordFormat, AppendReusesTheBuffer) {
    std::vector<std::uint8_t> out;
    for (const MetaCase& c : metaCases())
        appendFrameMetaRecord(c.record, out);
    Bytes expected;
    for (const MetaCase& c : metaCases())
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(out, expected);
}

TEST(FrameMetaRecordFormat, ParseRefusesTruncatedAndInconsistentInputWithoutChangingTheOutput) {
    FrameMetaRecord sentinel = makeStopFrameRecord(99, 99, 99);
    for (const MetaCase& c : metaCases()) {
        for (std::size_t length = 0; length < c.expected.size(); ++length) {
            FrameMetaRecord out = sentinel;
            const auto result = parseFrameMetaRecord(std::span(c.expected.data(), length), out);
            EXPECT_FALSE(result.ok()) << c.name << " at " << length;
            EXPECT_EQ(out, sentinel);
        }
    }
    struct Bad {
        const char* name;
        Bytes bytes;
    };
    const Bad bad[] = {
        {"unknown kind", words({2, 0, 0, 0, 0, 0, 0})},
        {"huge stripe count", words({0, 0, 0, 0, 0xffffffffffffffffull, 70, 0, 0, 0})},
        {"huge moved count", words({1, 0, 0, 0, 0x0555555555555556ull, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"huge changed count", words({1, 0, 0, 0, 0, 0xffffffffffffffffull, 0, 0, 0, 0, 0, 0, 0})},
        {"counts fit alone but not together", words({1, 0, 0, 0, 1, 1, 0, 1, 2, 3, 4, 5, 6})},
    };
    for (const Bad& b : bad) {
        FrameMetaRecord out = sentinel;
        const auto result = parseFrameMetaRecord(b.bytes, out);
        EXPECT_FALSE(result.ok()) << b.name;
        EXPECT_FALSE(result.error().empty()) << b.name;
        EXPECT_EQ(out, sentinel) << b.name;
    }
}

TEST(DirectoryAndThumbnailFormat, SerialiseAndParseByteExact) {
    struct Case {
        DirectoryEntry entry;
        Bytes expected;
    };
    const Case cases[] = {
        {{0, 0, 128, 0, true}, words({0, 0, 128, 0, 1})},
        {{1, 20, 128 + 176, 5000, false}, words({1, 20, 304, 5000, 0})},
        // Stop frame: data offset at the end of "vtldata".
        {{31, 620, 9000, 123456, false}, words({31, 620, 9000, 123456, 0})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toBytes(serializeDirectoryEntry(c.entry)), c.expected);
        const auto parsed = parseDirectoryEntry(c.expected);
        ASSERT_TRUE(parsed.ok());
        EXPECT_EQ(parsed.value(), c.entry);
    }
    // Only bit 0 of the flags word marks a key frame.
    EXPECT_FALSE(parseDirectoryEntry(words({0, 0, 0, 0, 2})).value().isKeyFrame);
    EXPECT_TRUE(parseDirectoryEntry(words({0, 0, 0, 0, 3})).value().isKeyFrame);
    EXPECT_FALSE(parseDirectoryEntry(Bytes(39, 0)).ok());

    // 2.5 s as an IEEE double is 0x4004000000000000.
    const ThumbnailRecord thumb{2.5, 3};
    const Bytes thumbBytes = words({0x4004000000000000ull, 3});
    EXPECT_EQ(toBytes(serializeThumbnailRecord(thumb)), thumbBytes);
    const auto parsedThumb = parseThumbnailRecord(thumbBytes);
    ASSERT_TRUE(parsedThumb.ok());
    EXPECT_EQ(parsedThumb.value(), thumb);
    EXPECT_FALSE(parseThumbnailRecord(Bytes(15, 0)).ok());

    RecordingHeader header = makeRecordingHeader(1920, 1080, 30, 1.0f);
    EXPECT_EQ(thumbnailSizeBytes(header), 147u * 83u * 4u);
    header.thumbWidth = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(thumbnailSizeBytes(header), 0u);
}

} // namespace
} // namespace vtl
