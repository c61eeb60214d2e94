// The offscreen generator: output size, pixel formats at any row stride, the top row first, the
// mask list never used, and two threads sharing one generator.

#include "model/support/ModelFixture.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/imaging/CIColor.h"
#include "platform/imaging/CIImage.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace vtl::test {
namespace {

class GeneratorSolidObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    CIColor color{1, 0, 0, 1};
    Size naturalSize{40, 20};

    Size originalSize() const override { return naturalSize; }
    CIImage createImageAtTime(const ObjectImageRequest& request) override {
        return CIImage::imageWithColor(color).imageByCroppingToRect(
            Rect(0, 0, naturalSize.width * request.xFactor, naturalSize.height * request.yFactor));
    }
};

class ContainerImageGenerator : public ModelFixture {
protected:
    ContainerImageGenerator() {
        container()->setCanvasSize({64, 32});
        container()->setBackgroundKind(BackgroundKind::None);
        // Red over the top half, a half-transparent blue square at the lower left.
        add(Rect(0, 16, 64, 16), {1, 0, 0, 1});
        add(Rect(0, 0, 16, 16), {0, 0, 1, 0.5});
    }

    std::shared_ptr<GeneratorSolidObject> add(const Rect& rect, CIColor color) {
        auto object = makeModelObject<GeneratorSolidObject>(container());
        object->color = color;
        object->naturalSize = rect.size;
        object->setStartTimeEndTime(0, 10);
        object->setRect(rect, 0);
        container()->addObject(object);
        return object;
    }

    static std::vector<std::uint8_t> bytesAt(const RenderedFrame& frame, int x, int y) {
        const std::size_t size = bytesPerPixel(frame.format);
        const std::uint8_t* p = frame.row(y) + std::size_t(x) * size;
        return std::vector<std::uint8_t>(p, p + size);
    }
};

TEST_F(ContainerImageGenerator, OutputSizeIsTheScaledCanvasRoundedDown) {
    VTLObjectsContainerImageGenerator generator({1001, 601}, 0.5f, nullptr, GeneratorAlpha::With);
    EXPECT_EQ(generator.outputWidth(), 500);
    EXPECT_EQ(generator.outputHeight(), 300);
    auto frame = generator.imageFromObjectsContainer(*container(), 1, false);
    ASSERT_TRUE(frame) << frame.error();
    EXPECT_EQ(frame->width, 500);
    EXPECT_EQ(frame->height, 300);
    generator.setOutputScalingFactor(2);
    EXPECT_EQ(generator.outputWidth(), 500) << "fixed at creation";
}

TEST_F(ContainerImageGenerator, FramesHoldExactlyTheDeclaredFormatTopRowFirst) {
    struct Case {
        const char* name;
        GeneratorAlpha alpha;
        FramePixelFormat format;
        std::vector<std::uint8_t> red, halfBlue, empty;
    };
    const Case cases[] = {
        {"BGRA",
         GeneratorAlpha::With,
         FramePixelFormat::BGRA8Premultiplied,
         {0, 0, 255, 255},
         {128, 0, 0, 128},
         {0, 0, 0, 0}},
        {"RGBA",
         GeneratorAlpha::With,
         FramePixelFormat::RGBA8Premultiplied,
         {255, 0, 0, 255},
         {0, 0, 128, 128},
         {0, 0, 0, 0}},
        {"BGRX",
         GeneratorAlpha::Without,
         FramePixelFormat::BGRX8,
         {0, 0, 255, 255},
         {128, 0, 0, 255},
         {0, 0, 0, 255}},
        {"RGB", GeneratorAlpha::Without, FramePixelFormat::RGB8, {255, 0, 0}, {0, 0, 128}, {0, 0, 0}},
        {"BGRX from an alpha generator",
         GeneratorAlpha::With,
         FramePixelFormat::BGRX8,
         {0, 0, 255, 255},
         {128, 0, 0, 255},
         {0, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        for (std::size_t padding : {std::size_t(0), std::size_t(52)}) {
            SCOPED_TRACE(std::string(c.name) + (padding ? ", padded rows" : ", packed rows"));
            VTLObjectsContainerImageGenerator generator({64, 32}, 1, nullptr, c.alpha);
            const std::size_t stride = 64 * bytesPerPixel(c.format) + padding;
            generator.setPixelBufferPool(std::make_shared<RenderedFramePool>(64, 32, c.format, stride));
            auto frame = generator.imageFromObjectsContainer(*container(), 1, false);
            ASSERT_TRUE(frame) << frame.error();
            EXPECT_EQ(frame->format, c.format);
            EXPECT_EQ(frame->bytesPerRow, stride);
            EXPECT_EQ(bytesAt(*frame, 30, 0), c.red) << "the first row is the top of the canvas";
            EXPECT_EQ(bytesAt(*frame, 8, 31), c.halfBlue);
            EXPECT_EQ(bytesAt(*frame, 40, 31), c.empty);
        }
    }
}

TEST_F(ContainerImageGenerator, OwnPoolIsPremultipliedBGRAWithAlphaAndBGRXWithout) {
    VTLObjectsContainerImageGenerator withAlpha({64, 32}, 1, nullptr, GeneratorAlpha::With);
    VTLObjectsContainerImageGenerator withoutAlpha({64, 32}, 1, nullptr, GeneratorAlpha::Without);
    auto a = withAlpha.imageFromObjectsContainer(*container(), 1, false);
    auto b = withoutAlpha.imageFromObjectsContainer(*container(), 1, false);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->format, FramePixelFormat::BGRA8Premultiplied);
    EXPECT_EQ(b->format, FramePixelFormat::BGRX8);
    EXPECT_EQ(a->bytesPerRow, 64u * 4);
}

TEST_F(ContainerImageGenerator, PaddedAndPackedPoolsGiveTheSamePixels) {
    VTLObjectsContainerImageGenerator generator({64, 32}, 1, nullptr, GeneratorAlpha::With);
    auto packed = generator.imageFromObjectsContainer(*container(), 1, false);
    generator.setPixelBufferPool(
        std::make_shared<RenderedFramePool>(64, 32, FramePixelFormat::BGRA8Premultiplied, 64 * 4 + 60));
    auto padded = generator.imageFromObjectsContainer(*container(), 1, false);
    ASSERT_TRUE(packed && padded);
    for (int y = 0; y < 32; ++y)
        ASSERT_EQ(std::memcmp(packed->row(y), padded->row(y), 64 * 4), 0) << "row " << y;
}

TEST_F(ContainerImageGenerator, MismatchedPoolsAndBadInputFailCleanly) {
    VTLObjectsContainerImageGenerator generator({64, 32}, 1, nullptr, GeneratorAlpha::With);
    EXPECT_FALSE(generator.imageFromObjectsContainer(*container(), std::nan(""), false));
    generator.setPixelBufferPool(std::make_shared<RenderedFramePool>(10, 10, FramePixelFormat::BGRX8));
    auto mismatched = generator.imageFromObjectsContainer(*container(), 1, false);
    ASSERT_FALSE(mismatched);
    EXPECT_NE(mismatched.error().find("64 × 32"), std::string::npos) << mismatched.error();

    VTLObjectsContainerImageGenerator empty({0, 10}, 1, nullptr, GeneratorAlpha::With);
    EXPECT_FALSE(empty.imageFromObjectsContainer(*container(), 1, false));
    VTLObjectsContainerImageGenerator huge({1e12, 10}, 1, nullptr, GeneratorAlpha::With);
    EXPECT_FALSE(huge.imageFromObjectsContainer(*container(), 1, false));
}

TEST_F(ContainerImageGenerator, MasksNeverAppearInItsFrames) {
    auto masked = add(Rect(32, 0, 32, 16), {0, 1, 0, 1});
    auto mask = add(Rect(48, 0, 16, 16), {1, 1, 1, 1});
    masked->setMaskObject(mask);
    mask->setMaskForObject(masked);
    VTLObjectsContainerImageGenerator generator({64, 32}, 1, nullptr, GeneratorAlpha::With);
    auto frame = generator.imageFromObjectsContainer(*container(), 1, false);
    ASSERT_TRUE(frame);
    EXPECT_EQ(bytesAt(*frame, 40, 24), (std::vector<std::uint8_t>{0, 0, 0, 0})) << "masked away";
    EXPECT_EQ(bytesAt(*frame, 56, 24), (std::vector<std::uint8_t>{0, 255, 0, 255})) << "no ghost";
}

TEST_F(ContainerImageGenerator, TwoThreadsThroughOneGeneratorGetWholeSeparateFrames) {
    VTLObjectsContainerImageGenerator generator({64, 32}, 1, nullptr, GeneratorAlpha::With);
    auto reference = generator.bitmapFromObjectsContainer(*container(), 1, false);
    ASSERT_TRUE(reference);
    std::vector<RenderedFrame> frames[2];
    auto work = [&](int index) {
        for (int i = 0; i < 8; ++i) {
            auto frame = generator.imageFromObjectsContainer(*container(), 1, false);
            if (frame) frames[index].push_back(std::move(frame).value());
        }
    };
    std::thread first(work, 0), second(work, 1);
    first.join();
    second.join();
    for (const auto& list : frames) {
        ASSERT_EQ(list.size(), 8u);
        for (const RenderedFrame& frame : list)
            for (int y = 0; y < 32; ++y)
                ASSERT_EQ(std::memcmp(frame.row(y), reference->rowAt(std::size_t(y)), 64 * 4), 0)
                    << "row " << y;
    }
    EXPECT_NE(frames[0][0].pixels.get(), frames[1][0].pixels.get()) << "each frame its own pixels";
}

} // namespace
} // namespace vtl::test
