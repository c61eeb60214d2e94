#include "tracks/reader/VistrelRecording.h"

#include "TestPackage.h"
#include "recorder/format/LittleEndian.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/stat.h>

namespace vtl {
namespace {

using test::Picture;
using test::TestPackage;

constexpr std::size_t kWidth = 40;
constexpr std::size_t kHeight = 300; // two stripes: 256 rows and 44
constexpr std::uint64_t kTicksPerFrame = 20;

// Frame i's picture: the previous one with a block moved and some rectangles repainted.
Picture nextPicture(const Picture& previous, int seed, bool move, std::vector<test::ChangedBlock>& changed,
                    std::vector<MovedRectRecord>& moved) {
    Picture next = previous;
    if (move) {
        // The block at (4, 40) now shows what was 3 rows lower and 2 columns to the right.
        moved = {{4, 40, 20, 30, 2, 3}};
        test::copyBlock(previous, 6, 43, next, 4, 40, 20, 30);
    }
    const Picture fresh = test::smoothPicture(kWidth, kHeight, seed);
    changed = {{8, 100 + std::size_t(seed % 5) * 8, 16, 24}, {0, 264, 40, 36}};
    for (const auto& c : changed)
        test::copyBlock(fresh, c.x, c.y, next, c.x, c.y, c.w, c.h);
    return next;
}

// Key frames at 0, 5 and 10 (key-frame rate 5), block frames between them (some with moves),
// a stop frame last, and thumbnails along the way.
TestPackage makeRecording() {
    TestPackage package(kWidth, kHeight, 5);
    Picture picture = test::smoothPicture(kWidth, kHeight, 0);
    for (int i = 0; i < 12; ++i) {
        if (i % 5 == 0) {
            if (i > 0) picture = test::smoothPicture(kWidth, kHeight, i);
            package.addKeyFrame(picture, std::uint64_t(i) * kTicksPerFrame);
        } else {
            std::vector<test::ChangedBlock> changed;
            std::vector<MovedRectRecord> moved;
            picture = nextPicture(picture, i, i % 2 == 0, changed, moved);
            package.addBlockFrame(picture, moved, changed, std::uint64_t(i) * kTicksPerFrame);
        }
        if (i % 4 == 0) package.addThumbnail(i * kTicksPerFrame / 600.0, picture);
    }
    package.addStopFrame(12 * kTicksPerFrame);
    package.finish();
    return package;
}

struct Decoder {
    std::shared_ptr<VistrelRecording> recording;
    std::unique_ptr<DecompressionInfo> info;
    explicit Decoder(std::shared_ptr<PackageStorage> storage)
        : recording(std::make_shared<VistrelRecording>(std::move(storage))) {
        if (recording->open()) {
            auto made = recording->makeDecompressionInfo();
            if (made) info = std::move(made).value();
        }
    }
    ~Decoder() {
        if (info) info->release();
    }
    bool decode(std::uint64_t frame) { return info && info->decompressFrame(frame); }
    std::string lastError() const { return info ? info->lastError() : "no decoder"; }
};

void expectPicture(const Decoder& decoder, const Picture& expected, std::uint64_t frame) {
    ASSERT_EQ(decoder.info->frameNumber(), frame);
    const auto difference =
        test::compareBGR(decoder.info->frameBytes().data(), expected.bgra.data(), kWidth, kHeight);
    EXPECT_LE(difference.maximum, 24) << "frame " << frame;
    EXPECT_LE(difference.mean, 3.0) << "frame " << frame;
}

TEST(VistrelRecording, OpensAndAnswersTheHeaderAndDirectory) {
    TestPackage package = makeRecording();
    VistrelRecording recording(package.storage());
    EXPECT_EQ(recording.recordingState(), VistrelRecording::NotOpened);
    ASSERT_TRUE(recording.open());
    EXPECT_TRUE(recording.open());
    EXPECT_EQ(recording.recordingState(), VistrelRecording::Open);
    EXPECT_EQ(recording.numberOfFrames(), 13u);
    EXPECT_EQ(recording.width(), kWidth);
    EXPECT_EQ(recording.height(), kHeight);
    EXPECT_EQ(recording.bytesPerRow(), kWidth * 4);
    EXPECT_EQ(recording.frameRate(), 5u);
    EXPECT_EQ(recording.timeScale(), 600u);
    EXPECT_DOUBLE_EQ(recording.duration(), 240.0 / 600.0);
    EXPECT_DOUBLE_EQ(recording.averageFrameRate(), 13 / 0.4);
    EXPECT_EQ(recording.timeOfFrame(3), 60u);
    EXPECT_EQ(VistrelRecording::readableTypes(), std::vector<std::string>{"vistrelRecord"});
    EXPECT_TRUE(recording.openWarnings().empty());
}

TEST(VistrelRecording, TimeMapsToTheFrameShownThen) {
    TestPackage package = makeRecording();
    VistrelRecording recording(package.storage());
    ASSERT_TRUE(recording.open());
    const double tick = 1.0 / 600.0;
    struct Case {
        double seconds;
        std::int64_t index;
    };
    for (const Case c : {Case{0, 0}, Case{19 * tick, 0}, Case{20 * tick, 1}, Case{0.1, 3}, Case{0.39, 11},
                         Case{0.4, 12}, Case{0.4 + tick, 13}, Case{-0.001, 13}, Case{-1e300, 13},
                         Case{1e300, 13}, Case{std::nan(""), 13}}) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(recording.indexOfTime(c.seconds), c.index);
    }
    for (auto [index, key] : {std::pair{0, 0}, {4, 0}, {5, 5}, {9, 5}, {12, 10}, {500, 10}})
        EXPECT_EQ(recording.indexOfKeyframeAtOrBeforeIndex(index), std::uint64_t(key)) << index;
}

TEST(VistrelRecording, EveryFrameDecodesInAnyOrder) {
    TestPackage package = makeRecording();
    Decoder decoder(package.storage());
    ASSERT_TRUE(decoder.info && decoder.info->isValid());
    std::vector<std::uint64_t> order;
    for (std::uint64_t i = 0; i < 13; ++i)
        order.push_back(i);
    for (std::uint64_t i = 13; i-- > 0;)
        order.push_back(i);
    std::mt19937 random(7);
    for (int i = 0; i < 30; ++i)
        order.push_back(random() % 13);
    order.insert(order.end(), {4, 4, 6, 6, 12, 0});
    for (std::uint64_t frame : order) {
        SCOPED_TRACE(frame);
        EXPECT_TRUE(decoder.decode(frame)) << decoder.lastError();
        expectPicture(decoder, package.expected()[frame], frame);
    }
    // Past the end keeps the last picture.
    EXPECT_TRUE(decoder.decode(40));
    expectPicture(decoder, package.expected()[12], 12);
}

TEST(VistrelRecording, DecodesOnlyWhatAFrameRequestNeeds) {
    // Only frame 0 is a key frame; key-frame rate 30.
    TestPackage package(16, 16, 30);
    Picture picture = test::smoothPicture(16, 16, 0);
    package.addKeyFrame(picture, 0);
    for (int i = 1; i < 45; ++i) {
        test::copyBlock(test::smoothPicture(16, 16, i), 0, 0, picture, 4, 4, 8, 8);
        package.addBlockFrame(picture, {}, {{4, 4, 8, 8}}, std::uint64_t(i) * 20);
    }
    package.addStopFrame(45 * 20);
    package.finish();
    Decoder decoder(package.storage());
    struct Step {
        std::uint64_t frame;
        std::uint64_t decoded;
    };
    // From 10 to 40 steps 30 frames forward; from 10 to 41 rewinds to frame 0.
    const std::vector<Step> steps = {{10, 11}, {10, 0},  {11, 1},  {10, 11},
                                     {40, 30}, {10, 11}, {41, 42}, {0, 1}};
    for (const Step& s : steps) {
        const std::uint64_t before = decoder.info->decodedFrameCount();
        decoder.decode(s.frame);
        EXPECT_EQ(decoder.info->decodedFrameCount() - before, s.decoded) << "to frame " << s.frame;
        EXPECT_EQ(test::compareBGR(decoder.info->frameBytes().data(), package.expected()[s.frame].bgra.data(),
                                   16, 16)
                          .mean < 3,
                  true);
    }
}

TEST(VistrelRecording, MissingFilesAndImpossibleHeaders) {
    struct Case {
        const char* name;
        std::function<void(TestPackage&)> damage;
        bool opens;
        VistrelRecording::State state;
        bool decodes;
    };
    const std::vector<Case> cases = {
        {"complete", [](TestPackage&) {}, true, VistrelRecording::Open, true},
        {"no directory", [](TestPackage& p) { p.files().erase("vtldirectory"); }, false,
         VistrelRecording::Failed, false},
        {"no meta", [](TestPackage& p) { p.files().erase("vtlmeta"); }, false, VistrelRecording::Failed,
         false},
        {"no data", [](TestPackage& p) { p.files().erase("vtldata"); }, false, VistrelRecording::Failed,
         false},
        {"no header yet", [](TestPackage& p) { p.files()["vtlmeta"].resize(100); }, false,
         VistrelRecording::NotOpened, false},
        {"zero width", [](TestPackage& p) { storeU64LE(p.files()["vtlmeta"].data() + 16, 0); }, false,
         VistrelRecording::NotOpened, false},
        {"absurd size",
         [](TestPackage& p) { storeU64LE(p.files()["vtlmeta"].data() + 24, std::uint64_t(1) << 40); }, false,
         VistrelRecording::NotOpened, false},
        // One picture: a one-frame recording (a later frame shows its last picture).
        {"one entry", [](TestPackage& p) { p.files()["vtldirectory"].resize(40); }, true,
         VistrelRecording::Open, true},
        {"no entry", [](TestPackage& p) { p.files()["vtldirectory"].clear(); }, false,
         VistrelRecording::NotOpened, false},
        {"no thumbnails",
         [](TestPackage& p) {
             p.files().erase("thumbmeta");
             p.files().erase("thumbdata");
         },
         true, VistrelRecording::Open, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPackage package = makeRecording();
        c.damage(package);
        Decoder decoder(package.storage());
        EXPECT_EQ(decoder.recording->open(), c.opens);
        EXPECT_EQ(decoder.recording->recordingState(), c.state);
        EXPECT_EQ(decoder.decode(3), c.decodes);
        if (!c.opens) {
            EXPECT_FALSE(decoder.recording->openError().empty());
            EXPECT_EQ(decoder.recording->duration(), 0.0);
        }
    }
}

TEST(VistrelRecording, AnUnfinishedPackageOpensUpToItsLastCompleteFrame) {
    TestPackage package = makeRecording();
    // The recorder was killed: the header still holds the provisional count and the last
    // frame's meta record is half written.
    storeU64LE(package.files()["vtlmeta"].data() + 8, 1000);
    package.files()["vtlmeta"].resize(package.files()["vtlmeta"].size() - 10);
    Decoder decoder(package.storage());
    ASSERT_TRUE(decoder.recording->open());
    EXPECT_EQ(decoder.recording->numberOfFrames(), 12u);
    EXPECT_FALSE(decoder.recording->openWarnings().empty());
    EXPECT_DOUBLE_EQ(decoder.recording->duration(), 11 * 20 / 600.0);
    for (std::uint64_t frame = 0; frame < 12; ++frame) {
        EXPECT_TRUE(decoder.decode(frame));
        expectPicture(decoder, package.expected()[frame], frame);
    }

    // A header count larger than the directory holds is held to the directory.
    TestPackage longer = makeRecording();
    storeU64LE(longer.files()["vtlmeta"].data() + 8, 5000);
    VistrelRecording recording(longer.storage());
    ASSERT_TRUE(recording.open());
    EXPECT_EQ(recording.numberOfFrames(), 13u);
}

// The stop record ends the stream, but a recording that lost it (a full disk, a killed recorder)
// still shows its pictures: the last picture ends it, and a single picture lasts one frame.
TEST(VistrelRecording, APackageWithoutItsStopRecordOpensWithThePicturesItHolds) {
    struct Case {
        const char* name;
        int pictures;
        bool stop;
        std::uint64_t frames; // 0: does not open
        double durationSeconds;
    };
    const Case cases[] = {
        {"several pictures", 3, false, 3, 2 * 20 / 600.0},
        {"one picture", 1, false, 2, 1 / 5.0}, // key-frame rate 5: one frame lasts 0.2 s
        {"one picture and its stop", 1, true, 2, 20 / 600.0},
        {"only a stop record", 0, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPackage package(kWidth, kHeight, 5);
        std::vector<Picture> pictures;
        for (int i = 0; i < c.pictures; ++i) {
            pictures.push_back(test::smoothPicture(kWidth, kHeight, i));
            package.addKeyFrame(pictures.back(), std::uint64_t(i) * kTicksPerFrame);
        }
        if (c.stop) package.addStopFrame(std::uint64_t(c.pictures) * kTicksPerFrame);
        package.finish();
        Decoder decoder(package.storage());
        if (c.frames == 0) {
            EXPECT_FALSE(decoder.recording->open());
            EXPECT_NE(decoder.recording->openError().find("no picture"), std::string::npos)
                << decoder.recording->openError();
            continue;
        }
        ASSERT_TRUE(decoder.recording->open()) << decoder.recording->openError();
        EXPECT_EQ(decoder.recording->numberOfFrames(), c.frames);
        EXPECT_DOUBLE_EQ(decoder.recording->duration(), c.durationSeconds);
        ASSERT_TRUE(decoder.info);
        for (std::uint64_t frame = 0; frame < c.frames; ++frame) {
            ASSERT_TRUE(decoder.decode(frame)) << frame << ": " << decoder.lastError();
            // The end shows the last picture.
            expectPicture(decoder, pictures[std::min<std::size_t>(frame, pictures.size() - 1)], frame);
        }
        EXPECT_EQ(decoder.recording->indexOfTime(0), 0);
    }
}

// Offsets of every record in the package, to cut and damage it at meaningful places.
std::vector<DirectoryEntry> entriesOf(TestPackage& package) {
    std::vector<DirectoryEntry> entries;
    const auto& bytes = package.files()["vtldirectory"];
    for (std::size_t i = 0; i + 40 <= bytes.size(); i += 40)
        entries.push_back(parseDirectoryEntry(std::span(bytes.data() + i, 40)).value());
    return entries;
}

TEST(VistrelRecording, TruncatedPackagesDecodeWhatIsIntact) {
    TestPackage reference = makeRecording();
    const auto entries = entriesOf(reference);
    for (const std::string file : {"vtldirectory", "vtlmeta", "vtldata", "thumbmeta", "thumbdata"}) {
        const std::size_t full = reference.files()[file].size();
        // Every record boundary, a few bytes either side, and steps through the file.
        std::vector<std::size_t> cuts = {0, 1, 127, 128, 129};
        for (const DirectoryEntry& e : entries)
            for (std::uint64_t base : {e.metaOffsetBytes, e.dataOffsetBytes, e.frameIndex * 40})
                for (std::int64_t delta : {-1, 0, 1, 33, 50})
                    if (std::int64_t(base) + delta >= 0)
                        cuts.push_back(std::size_t(std::int64_t(base) + delta));
        for (std::size_t c = 0; c < full; c += std::max<std::size_t>(1, full / 20))
            cuts.push_back(c);
        for (std::size_t cut : cuts) {
            if (cut >= full) continue;
            SCOPED_TRACE(file + " cut at " + std::to_string(cut));
            TestPackage package = makeRecording();
            package.files()[file].resize(cut);
            Decoder decoder(package.storage());
            if (!decoder.recording->open()) continue;
            const std::uint64_t n = decoder.recording->numberOfFrames();
            ASSERT_LE(n, 13u);
            // Frames whose records and data lie wholly before the cut come out right.
            for (std::uint64_t frame = 0; frame < n; ++frame) {
                const bool whole = decoder.decode(frame);
                const DirectoryEntry& next = entries[frame + 1];
                const bool intact = (file != "vtlmeta" || cut >= next.metaOffsetBytes) &&
                                    (file != "vtldata" || cut >= next.dataOffsetBytes);
                if (intact && frame < 10) {
                    EXPECT_TRUE(whole) << "frame " << frame << ": " << decoder.lastError();
                    // A lone picture's end entry shows that picture again.
                    const bool loneEnd = n == 2 && frame == 1 &&
                                         decoder.recording->directoryEntryAtIndex(1)->metaOffsetBytes ==
                                             entries[0].metaOffsetBytes;
                    expectPicture(decoder, package.expected()[loneEnd ? 0 : frame], frame);
                }
            }
            decoder.recording->posterImages();
        }
    }
}

void patch(TestPackage& package, const std::string& file, std::uint64_t offset, std::uint64_t value) {
    storeU64LE(package.files()[file].data() + offset, value);
}

TEST(VistrelRecording, CorruptedFieldsAreReportedAndDecodeWhatIsIntact) {
    TestPackage reference = makeRecording();
    const auto entries = entriesOf(reference);
    const std::uint64_t key5 = entries[5].metaOffsetBytes;   // key frame: 16 bytes, then stripes
    const std::uint64_t block6 = entries[6].metaOffsetBytes; // moves and changes
    const std::uint64_t block7 = entries[7].metaOffsetBytes; // changes only
    struct Case {
        const char* name;
        std::function<void(TestPackage&)> damage;
        std::uint64_t damagedFrame; // frames before it decode exactly; it reports a problem
    };
    const std::vector<Case> cases = {
        {"unknown frame kind", [&](TestPackage& p) { patch(p, "vtlmeta", block6, 7); }, 6},
        {"stripe count huge", [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 32, UINT64_MAX / 8); }, 5},
        {"stripe rows zero", [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 48 + 8, 0); }, 5},
        {"stripe taller than the frame", [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 48 + 8, 5000); },
         5},
        {"stripe bytes huge", [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 48 + 16, UINT64_MAX - 5); },
         5},
        {"stripe bytes off by some", [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 48 + 16, 40); }, 5},
        {"moved count huge", [&](TestPackage& p) { patch(p, "vtlmeta", block6 + 32, UINT64_MAX); }, 6},
        {"changed count huge", [&](TestPackage& p) { patch(p, "vtlmeta", block7 + 40, 1u << 30); }, 7},
        {"moved block outside", [&](TestPackage& p) { patch(p, "vtlmeta", block6 + 56, 1u << 20); }, 6},
        {"moved delta out of the frame",
         [&](TestPackage& p) { patch(p, "vtlmeta", block6 + 56 + 40, -30000); }, 6},
        {"changed rectangle outside", [&](TestPackage& p) { patch(p, "vtlmeta", block7 + 56, 39); }, 7},
        {"changed size unlike its stream", [&](TestPackage& p) { patch(p, "vtlmeta", block7 + 56 + 16, 8); },
         7},
        {"changed bytes past the data",
         [&](TestPackage& p) { patch(p, "vtlmeta", block7 + 56 + 32, 1u << 30); }, 7},
        {"JPEG bytes garbled",
         [&](TestPackage& p) {
             for (std::uint64_t i = 0; i < 40; ++i)
                 p.files()["vtldata"][entries[7].dataOffsetBytes + 10 + i] ^= 0x5A;
         },
         7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPackage package = makeRecording();
        c.damage(package);
        Decoder decoder(package.storage());
        ASSERT_TRUE(decoder.recording->open());
        for (std::uint64_t frame = 0; frame < decoder.recording->numberOfFrames(); ++frame) {
            const bool whole = decoder.decode(frame);
            if (frame < c.damagedFrame) {
                EXPECT_TRUE(whole) << frame;
                expectPicture(decoder, package.expected()[frame], frame);
            } else if (frame == c.damagedFrame) {
                EXPECT_FALSE(whole);
                EXPECT_FALSE(decoder.lastError().empty());
            }
        }
        // The key frame after the damage starts clean again.
        if (c.damagedFrame < 10) {
            EXPECT_TRUE(decoder.decode(10));
            expectPicture(decoder, package.expected()[10], 10);
        }
    }
}

TEST(VistrelRecording, AFrameMovingMoreBlocksThanAScreenCanIsRefused) {
    TestPackage package(16, 16, 5);
    const Picture picture = test::smoothPicture(16, 16, 0);
    package.addKeyFrame(picture, 0);
    package.addBlockFrame(picture, std::vector<MovedRectRecord>(5000, {0, 0, 16, 16, 0, 0}), {}, 20);
    package.addStopFrame(40);
    package.finish();
    Decoder decoder(package.storage());
    EXPECT_FALSE(decoder.decode(1));
    EXPECT_NE(decoder.lastError().find("moves more blocks"), std::string::npos) << decoder.lastError();
    EXPECT_LT(test::compareBGR(decoder.info->frameBytes().data(), picture.bgra.data(), 16, 16).mean, 3.0);
}

TEST(VistrelRecording, OverlappingChangedRectanglesApplyInTheirOrder) {
    // A damaged record: the second, small rectangle lies over the first, large one.
    constexpr std::size_t kSide = 512;
    TestPackage package(kSide, kSide, 5);
    const Picture first = test::smoothPicture(kSide, kSide, 0);
    const Picture second = test::smoothPicture(kSide, kSide, 1);
    package.addKeyFrame(first, 0);
    package.addBlockFrame(second, {}, {{0, 0, kSide, 480}, {0, 480, 16, 16}}, 20);
    package.addStopFrame(40);
    package.finish();
    patch(package, "vtlmeta", entriesOf(package)[1].metaOffsetBytes + 56 + 48 + 8, 400);
    Picture expected = first;
    test::copyBlock(second, 0, 0, expected, 0, 0, kSide, 480);
    test::copyBlock(second, 0, 480, expected, 0, 400, 16, 16);
    for (int attempt = 0; attempt < 5; ++attempt) {
        Decoder decoder(package.storage());
        ASSERT_TRUE(decoder.decode(1)) << decoder.lastError();
        const auto difference =
            test::compareBGR(decoder.info->frameBytes().data(), expected.bgra.data(), kSide, kSide);
        ASSERT_LE(difference.maximum, 24) << "attempt " << attempt;
    }
}

TEST(VistrelRecording, DamagedDirectoriesEndAtTheFirstBadEntry) {
    struct Case {
        const char* name;
        std::uint64_t entry;
        std::uint64_t fieldOffset;
        std::uint64_t value;
    };
    TestPackage reference = makeRecording();
    const auto entries = entriesOf(reference);
    const std::vector<Case> cases = {
        {"meta offset outside the file", 8, 16, std::uint64_t(1) << 40},
        {"meta offset going back", 8, 16, entries[3].metaOffsetBytes},
        {"meta offset inside the header", 8, 16, 5},
        {"data offset going back", 8, 24, 0},
        {"time going back", 8, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPackage package = makeRecording();
        patch(package, "vtldirectory", c.entry * 40 + c.fieldOffset, c.value);
        Decoder decoder(package.storage());
        ASSERT_TRUE(decoder.recording->open());
        EXPECT_EQ(decoder.recording->numberOfFrames(), c.entry);
        EXPECT_FALSE(decoder.recording->openWarnings().empty());
        EXPECT_TRUE(decoder.decode(c.entry - 1));
        expectPicture(decoder, package.expected()[c.entry - 1], c.entry - 1);
    }
}

// A package whose chosen files end in a hole, as sparse files do: they claim `extraBytes` more
// than they hold, and read as zeros there.
class SparseTailStorage final : public PackageStorage {
public:
    SparseTailStorage(std::shared_ptr<PackageStorage> inner, std::set<std::string> names,
                      std::uint64_t extraBytes)
        : inner_(std::move(inner))
        , names_(std::move(names))
        , extraBytes_(extraBytes) {}
    const std::string& path() const override { return inner_->path(); }
    std::unique_ptr<PackageFile> openFile(const std::string& name) const override {
        auto file = inner_->openFile(name);
        if (!file || !names_.contains(name)) return file;
        return std::make_unique<File>(std::move(file), extraBytes_);
    }

private:
    class File final : public PackageFile {
    public:
        File(std::unique_ptr<PackageFile> inner, std::uint64_t extraBytes)
            : inner_(std::move(inner))
            , extraBytes_(extraBytes) {}
        std::uint64_t sizeBytes() const override { return inner_->sizeBytes() + extraBytes_; }
        std::size_t readAt(std::uint64_t offset, void* destination, std::size_t length) const override {
            const std::uint64_t size = sizeBytes();
            if (offset >= size) return 0;
            length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size - offset));
            const std::size_t real = inner_->readAt(offset, destination, length);
            std::memset(static_cast<std::uint8_t*>(destination) + real, 0, length - real);
            return length;
        }

    private:
        std::unique_ptr<PackageFile> inner_;
        std::uint64_t extraBytes_;
    };
    std::shared_ptr<PackageStorage> inner_;
    std::set<std::string> names_;
    std::uint64_t extraBytes_;
};

TEST(VistrelRecording, SizesClaimedBySparseFilesAreNotTakenAsMemoryToSpend) {
    TestPackage reference = makeRecording();
    const auto entries = entriesOf(reference);
    const std::uint64_t key5 = entries[5].metaOffsetBytes;
    const std::uint64_t block7 = entries[7].metaOffsetBytes;
    constexpr std::uint64_t kHole = std::uint64_t(1) << 42;
    struct Case {
        const char* name;
        std::set<std::string> sparse;
        std::function<void(TestPackage&)> damage;
        std::uint64_t damagedFrame; // 13: none
    };
    const std::vector<Case> cases = {
        {"unfinished directory", {"vtldirectory"}, [](TestPackage& p) { patch(p, "vtlmeta", 8, 1000); }, 13},
        {"stripe count", {"vtlmeta"}, [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 32, kHole / 64); }, 5},
        {"changed count",
         {"vtlmeta"},
         [&](TestPackage& p) { patch(p, "vtlmeta", block7 + 40, kHole / 64); },
         7},
        {"stripe bytes",
         {"vtldata"},
         [&](TestPackage& p) { patch(p, "vtlmeta", key5 + 48 + 16, kHole / 2); },
         5},
        {"changed bytes",
         {"vtldata"},
         [&](TestPackage& p) { patch(p, "vtlmeta", block7 + 56 + 32, kHole / 2); },
         7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPackage package = makeRecording();
        c.damage(package);
        Decoder decoder(std::make_shared<SparseTailStorage>(package.storage(), c.sparse, kHole));
        ASSERT_TRUE(decoder.recording->open());
        EXPECT_EQ(decoder.recording->numberOfFrames(), 13u);
        for (std::uint64_t frame = 0; frame < 13; ++frame) {
            const bool whole = decoder.decode(frame);
            if (frame < c.damagedFrame) {
                EXPECT_TRUE(whole) << frame << ": " << decoder.lastError();
                expectPicture(decoder, package.expected()[frame], frame);
            } else if (frame == c.damagedFrame) {
                EXPECT_FALSE(whole);
                EXPECT_FALSE(decoder.lastError().empty());
            }
        }
    }
}

TEST(VistrelRecording, ThumbnailsAndPosterImages) {
    TestPackage package = makeRecording();
    VistrelRecording recording(package.storage());
    ASSERT_TRUE(recording.open());
    // Thumbnails at 0, 4/30 and 8/30 s.
    EXPECT_EQ(recording.numberOfThumbnails(), 3u);
    struct Case {
        double seconds;
        std::int32_t index;
    };
    for (const Case c :
         {Case{-1, 0}, Case{0, 0}, Case{0.1, 0}, Case{4 / 30.0, 1}, Case{0.2, 1}, Case{0.3, 2}, Case{100, 2}})
        EXPECT_EQ(recording.indexOfTimeInThumbnails(c.seconds), c.index) << c.seconds;
    const Size size = recording.thumbSize();
    EXPECT_EQ(size.width, double(package.header().thumbWidth));
    const auto bytes = recording.thumbnailDataAtTime(0.2);
    ASSERT_EQ(bytes.size(), size.width * size.height * 4);
    const BitmapImage poster = recording.posterImage();
    ASSERT_FALSE(poster.isEmpty());
    EXPECT_EQ(poster.width(), std::size_t(size.width));
    EXPECT_EQ(poster.pixelAt(0, 0) >> 24, 255u);
    EXPECT_EQ(recording.posterImages().size(), 3u);

    // Thumbnail data shorter than its records: the missing ones are refused.
    package.files()["thumbdata"].resize(bytes.size() * 2 + 10);
    VistrelRecording shortData(package.storage());
    ASSERT_TRUE(shortData.open());
    EXPECT_FALSE(shortData.thumbnailDataAtTime(0).empty());
    EXPECT_TRUE(shortData.thumbnailDataAtTime(0.3).empty());
    EXPECT_TRUE(shortData.posterImageAtTime(0.3).isEmpty());
    EXPECT_EQ(shortData.posterImages().size(), 3u); // replaced by the middle one

    package.files().erase("thumbmeta");
    VistrelRecording none(package.storage());
    ASSERT_TRUE(none.open());
    EXPECT_EQ(none.indexOfTimeInThumbnails(0), -1);
    EXPECT_TRUE(none.posterImage().isEmpty());
    EXPECT_TRUE(none.posterImages().empty());
}

TEST(VistrelRecording, ReadsAPackageFolderAndItsSideFiles) {
    TestPackage package = makeRecording();
    PlistDictionary mouse;
    mouse.set("mouseVisible", PropertyList(true));
    package.files()["mouse"] = PropertyList(mouse).toBytes(PropertyListFormat::Binary).value();
    package.files()["pauseTimes"] = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    const std::string dir = ::testing::TempDir() + "/reader-test.vistrelRecord";
    std::filesystem::remove_all(dir);
    package.writeTo(dir);
    Decoder decoder(std::make_shared<DirectoryPackageStorage>(dir));
    ASSERT_TRUE(decoder.recording->open());
    EXPECT_TRUE(decoder.decode(7));
    expectPicture(decoder, package.expected()[7], 7);
    const auto read = decoder.recording->metaDataWithPath("mouse");
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->isDictionary());
    EXPECT_FALSE(decoder.recording->metaDataWithPath("pauseTimes").has_value());          // damaged
    EXPECT_FALSE(decoder.recording->metaDataWithPath("iOSDeviceMeta.plist").has_value()); // missing
    EXPECT_FALSE(decoder.recording->metaDataWithPath("../reader-test.vistrelRecord/mouse").has_value());
    VistrelRecording missing(dir + "-not-there");
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.recordingState(), VistrelRecording::Failed);
    std::filesystem::remove_all(dir);
}

TEST(VistrelRecording, PackageFilesThatAreNotRegularFilesAreRefusedWithoutWaiting) {
    // A fifo with no writer would block a plain open forever.
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
    };
    const std::vector<Case> cases = {
        {"fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }},
    };
    for (const std::string file : {"vtlmeta", "vtldata"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(file + " as a " + c.name);
            const std::string dir = ::testing::TempDir() + "/reader-special-files.vistrelRecord";
            std::filesystem::remove_all(dir);
            TestPackage package = makeRecording();
            package.files().erase(file);
            package.writeTo(dir);
            c.make(dir + "/" + file);
            Decoder decoder(std::make_shared<DirectoryPackageStorage>(dir));
            EXPECT_FALSE(decoder.decode(3));
            EXPECT_EQ(decoder.recording->recordingState(), VistrelRecording::Failed);
            std::filesystem::remove_all(dir);
        }
    }
}

TEST(VistrelRecording, ReleasedRecordsDecodeNothingAndObserversHearOfRemoval) {
    TestPackage package = makeRecording();
    int removed = 0;
    {
        Decoder decoder(package.storage());
        decoder.recording->addRemovalObserver([&](const VistrelRecording&) { ++removed; });
        const int dropped =
            decoder.recording->addRemovalObserver([&](const VistrelRecording&) { removed += 100; });
        decoder.recording->removeRemovalObserver(dropped);
        decoder.info->release();
        EXPECT_FALSE(decoder.decode(3));
        EXPECT_EQ(removed, 0);
    }
    EXPECT_EQ(removed, 1);
}

} // namespace
} // namespace vtl
