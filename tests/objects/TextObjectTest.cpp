#include "ObjectPictures.h"
#include "ObjectsFixture.h"
#include "StillPipelineChecks.h"
#include "model/CompositionTextState.h"
#include "objects/CompositionTextObject.h"
#include "objects/TextPicture.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/imaging/FilterRegistry.h"

#include <functional>

namespace vtl {
namespace {

using test::archiveOf;
using test::MemoryImageCache;
using test::renderPicture;

class TextObjectTest : public test::ObjectsFixture {
protected:
    TextObjectTest() {
        preset_ = makeModelObject<TextVisualization>();
        preset_->setName("Test preset");
        preset_->vistrelOwn = true;
        preset_->setFont(ArchivedFont{"DejaVu Sans", 40});
        CompositionTextObject::setDefaultStyleProvider([preset = preset_] { return preset; });
    }
    ~TextObjectTest() override { CompositionTextObject::setDefaultStyleProvider(nullptr); }

    std::shared_ptr<CompositionTextObject> text(const std::string& content = "Hello") {
        auto object = makeModelObject<CompositionTextObject>(container());
        object->setStartTimeEndTime(0, 10);
        container()->addObject(object);
        object->setText(content);
        return object;
    }
    // An anonymous style of the object's own, for changing the look in one test.
    std::shared_ptr<TextVisualization> ownStyle(CompositionTextObject& object) {
        object.setUsesPreset(false);
        return object.textVisualizationStyle();
    }

    std::shared_ptr<TextVisualization> preset_;
};

// Rows of the picture (image space, y up) that hold pixels matching the test.
std::pair<int, int> inkRows(const test::Rendered& pixels,
                            const std::function<bool(std::array<int, 4>)>& ink) {
    int low = -1, high = -1;
    for (int y = pixels.region.y; y < pixels.region.maxY(); ++y)
        for (int x = pixels.region.x; x < pixels.region.maxX(); ++x)
            if (ink(pixels.at(x, y))) {
                if (low < 0) low = y;
                high = y;
                break;
            }
    return {low, high};
}

TEST_F(TextObjectTest, NewObjectsTakeTheDefaults) {
    auto object = makeModelObject<CompositionTextObject>(container());
    EXPECT_EQ(object->text(), "New Text");
    EXPECT_EQ(object->name(), "New Text");
    EXPECT_EQ(object->textVisualizationStyle(), preset_);
    EXPECT_TRUE(object->autoResizeMode());
    EXPECT_EQ(object->rectForTime(0).size, object->requiredSize());
    EXPECT_EQ(object->propertyNames().at(4), "TextPropertiesView.nib");
    EXPECT_TRUE(std::dynamic_pointer_cast<CompositionTextState>(object->noneAnimationState()));
}

TEST_F(TextObjectTest, TextAndName) {
    auto object = text("Title");
    object->setName("Title");
    object->setText("First line\nsecond line");
    EXPECT_EQ(object->name(), "First line");
    object->setText("");
    EXPECT_EQ(object->text(), " ");
    object->setName("Kept");
    object->setText("Other");
    EXPECT_EQ(object->name(), "Kept");
}

TEST_F(TextObjectTest, AutoResizeAndTheRequiredSize) {
    auto object = text("Some text");
    const Size required = object->requiredSize();
    EXPECT_GT(required.width, 2 * 10.0);
    EXPECT_GT(text("One\nTwo\nThree")->requiredSize().height - 20, 2.5 * (required.height - 20))
        << "every line";
    object->setText("Some longer text");
    EXPECT_GT(object->rectForTime(0).size.width, required.width) << "the rect follows the text";
    object->setRect(Rect(5, 5, object->requiredSize().width, object->requiredSize().height), 0);
    EXPECT_TRUE(object->autoResizeMode());
    object->setRect(Rect(5, 5, 100, 30), 0);
    EXPECT_FALSE(object->autoResizeMode());

    // Kept inside the canvas (1280 × 720) when it grows at the right edge; a size wider than the
    // canvas keeps the position worked out from the centre.
    const struct {
        Rect rect;
        Size size;
        double expectedX;
    } cases[] = {{Rect(1200, 10, 50, 40), Size(200, 40), 1080},
                 {Rect(-20, 10, 50, 40), Size(80, 40), 0},
                 {Rect(100, 10, 50, 40), Size(80, 40), 85},
                 {Rect(1200, 10, 50, 40), Size(1400, 40), 525}};
    for (const auto& c : cases) {
        CompositionTextState state(object.get());
        state.setRect(c.rect);
        object->resizeState(state, c.size);
        EXPECT_DOUBLE_EQ(state.rect().origin.x, c.expectedX) << c.rect.origin.x << " " << c.size.width;
        EXPECT_EQ(state.rect().size, c.size);
    }
}

TEST_F(TextObjectTest, StyleStandsInForFrameAndCorners) {
    auto object = text();
    object->setAutoResizeMode(false);
    object->setRect(Rect(0, 0, 100, 30), 0);
    auto style = ownStyle(*object);
    style->state()->setCornerRadius(40);
    style->state()->setDrawsFrame(true);
    style->state()->setFrameThickness(3);
    EXPECT_FLOAT_EQ(object->cornerRadiusForTime(0), 15);
    EXPECT_TRUE(object->drawsFrameAtTime(0));
    EXPECT_FLOAT_EQ(object->frameThicknessForTime(0), 3);
    EXPECT_EQ(object->frameImageSizeAtTime(0, 1, 1), Size(100, 30));
}

TEST_F(TextObjectTest, ScalingFactors) {
    auto object = text();
    object->setYScalingFactor(0.05, 0);
    EXPECT_DOUBLE_EQ(object->yScalingFactorForTime(0), 0.1);
    object->setXScalingFactor(std::nan(""), 0);
    EXPECT_DOUBLE_EQ(object->xScalingFactorForTime(0), 0.1);

    auto animated = text();
    animated->enableAnimations();
    animated->setYScalingFactor(2, 6);
    auto state = keyframeAt(*animated, 6);
    ASSERT_NE(state, nullptr) << "a new keyframe at a time without one";
    EXPECT_DOUBLE_EQ(state->yScalingFactor(), 2);
    EXPECT_DOUBLE_EQ(animated->ratioForTime(6), 2 / animated->xScalingFactorForTime(6));
}

TEST_F(TextObjectTest, AppearModeProgress) {
    auto object = text("abcdefghij");
    auto style = ownStyle(*object);
    style->setAppearMode(1);
    const struct {
        double start, end, time;
        size_t units;
    } cases[] = {{0, 10, 0, 0},  {0, 10, -1, 0},  {0, 10, 2.5, 5}, {0, 10, 5, 10},
                 {0, 10, 9, 10}, {2, 12, 4.5, 5}, {3, 3, 3, 10},   {3, 3, 1, 10}};
    for (const auto& c : cases) {
        object->setStartTimeEndTime(c.start, c.end);
        EXPECT_EQ(object->visibleTextUnitsAtTime(c.time), c.units)
            << c.start << "-" << c.end << " at " << c.time;
    }
    style->setAppearMode(2);
    EXPECT_EQ(object->visibleTextUnitsAtTime(5), 0u);
    style->setAppearMode(0);
    EXPECT_EQ(object->visibleTextUnitsAtTime(-5), 10u);

    // UTF-16 units, a surrogate pair never split.
    const std::string emoji = "a\xF0\x9F\x98\x80"
                              "b";
    EXPECT_EQ(utf16Length(emoji), 4u);
    EXPECT_EQ(utf16Prefix(emoji, 2), "a");
    EXPECT_EQ(utf16Prefix(emoji, 3), "a\xF0\x9F\x98\x80");
}

TEST_F(TextObjectTest, VerticalAlignmentAndShadow) {
    auto object = text("Xx");
    object->setAutoResizeMode(false);
    object->setRect(Rect(0, 0, 300, 240), 0);
    auto style = ownStyle(*object);
    style->setColor(ArchivedColor{1, 1, 1, 1, ArchivedColor::deviceRgb});
    auto white = [](std::array<int, 4> p) { return p[3] > 128 && p[2] > 200; };
    const struct {
        int32_t alignment;
        int lowAtLeast, highAtMost;
    } cases[] = {{0, 150, 240}, {1, 80, 160}, {2, 0, 90}};
    for (const auto& c : cases) {
        style->setVerticalAlignment(c.alignment);
        const auto [low, high] = inkRows(renderPicture(object->createImageAtTime({})), white);
        EXPECT_GE(low, c.lowAtLeast) << c.alignment;
        EXPECT_LE(high, c.highAtMost) << c.alignment;
    }

    // Angle 180 puts the shadow straight below the text.
    style->setVerticalAlignment(1);
    style->state()->setDrawsShadow(true);
    style->state()->setShadowAngle(180);
    style->state()->setShadowDistance(30);
    style->state()->setShadowRadius(0);
    style->state()->setShadowOpacity(1);
    style->state()->setShadowColor(RGBAColor::device(0, 0, 0, 1));
    const test::Rendered pixels = renderPicture(object->createImageAtTime({}));
    auto dark = [](std::array<int, 4> p) { return p[3] > 200 && p[2] < 40; };
    const auto textRows = inkRows(pixels, white);
    const auto shadowRows = inkRows(pixels, dark);
    EXPECT_NEAR(shadowRows.first, textRows.first - 30, 2);
    auto columns = [&](const std::function<bool(std::array<int, 4>)>& ink) {
        int low = 1 << 20, high = -1;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 300; ++x)
                if (ink(pixels.at(x, y))) low = std::min(low, x), high = std::max(high, x);
        return std::make_pair(low, high);
    };
    EXPECT_NEAR(columns(dark).first, columns(white).first, 1) << "not moved sideways";
}

TEST_F(TextObjectTest, CachedUntilAnInputChanges) {
    auto object = text();
    MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    const CIImage first = object->createImageAtTime(request);
    ASSERT_FALSE(first.isNull());
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(object->createImageAtTime(request).isSameImage(first));
    EXPECT_EQ(object->rasterisationCount(), 1u);
    request.purpose = ImagePurpose::Export;
    object->createImageAtTime(request);
    EXPECT_TRUE(cache.has(object.get(), "exportImage"));
    request.purpose = ImagePurpose::Preview;

    auto style = ownStyle(*object);
    const uint64_t rasterised = object->rasterisationCount();
    style->state()->setDrawsBackground(true);
    style->state()->setBackgroundColor(RGBAColor::device(0.2, 0.4, 0.6));
    object->createImageAtTime(request);
    EXPECT_EQ(object->rasterisationCount(), rasterised + 1);

    style->setAppearMode(1);
    request.compositionTime = 3;
    object->createImageAtTime(request);
    object->createImageAtTime(request);
    EXPECT_EQ(object->rasterisationCount(), rasterised + 3) << "a typed-in text renders every frame";

    for (const Rect& rect : {Rect(0, 0, 0, 20), Rect(0, 0, 20, -1), Rect(0, 0, std::nan(""), 20)})
        EXPECT_TRUE(object->renderedText("Hi", rect, *style, 0, nullptr).isNull())
            << "no picture for an empty rect";
    EXPECT_TRUE(object->renderedText("Hi", Rect(0, 0, 20, 20), *style, 0, nullptr, HUGE_VAL, 1).isNull());
}

TEST_F(TextObjectTest, PictureComesThroughThePipelineAndItsShadowIsReused) {
    auto object = text();
    object->setAutoResizeMode(false);
    test::expectPictureThroughPipelineAndShadowReused(
        *object, {[&] { return object->rasterisationCount(); }, [&] { object->setText("Changed"); }});
}

TEST_F(TextObjectTest, ATypedInTextGetsTheShadowOfWhatShows) {
    registerBuiltinFilters();
    auto object = text("Hello");
    object->setAutoResizeMode(false);
    object->setDrawsShadow(true, 0);
    object->setShadowRadius(1, 0);
    ownStyle(*object)->setAppearMode(1);
    MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    // Five characters typed in over the first five seconds: one more each second.
    auto shadowAt = [&](double t) {
        request.compositionTime = t;
        const std::vector<CIImage> list =
            object->createScaledImagesForTime(request, BackAndFrontImages::Include);
        EXPECT_EQ(list.size(), 2u) << t;
        return list.empty() ? CIImage() : list.front();
    };
    auto stampAt = [&](double t) {
        request.compositionTime = t;
        return object->pictureStampAtTime(request);
    };
    const struct {
        double earlier, later;
        bool sameShadow;
    } cases[] = {{1.2, 1.7, true}, {1.7, 3.5, false}, {3.5, 3.9, true}, {3.9, 8, false}, {8, 9, true}};
    for (const auto& c : cases) {
        const CIImage earlier = shadowAt(c.earlier);
        EXPECT_EQ(shadowAt(c.later).isSameImage(earlier), c.sameShadow) << c.earlier << " then " << c.later;
        EXPECT_EQ(stampAt(c.later) == stampAt(c.earlier), c.sameShadow) << c.earlier << " then " << c.later;
    }
}

TEST_F(TextObjectTest, EveryInputChangesTheKey) {
    using Change = std::function<void(CompositionTextObject&, TextVisualization&)>;
    const std::vector<std::pair<const char*, Change>> changes{
        {"font",
         [](auto&, auto& s) {
             s.setFont(ArchivedFont{"DejaVu Serif", 40});
         }},
        {"size",
         [](auto&, auto& s) {
             s.setFont(ArchivedFont{"DejaVu Sans", 41});
         }},
        {"rotation", [](auto& o, auto&) { o.setRotation(5, 0); }},
        {"frame", [](auto&, auto& s) { s.state()->setDrawsFrame(true); }},
        {"shadow", [](auto&, auto& s) { s.state()->setDrawsShadow(true); }},
        {"background", [](auto&, auto& s) { s.state()->setDrawsBackground(true); }},
        {"width", [](auto& o, auto&) { o.setRect(Rect(0, 0, 333, 80), 0); }},
        {"shadow distance", [](auto&, auto& s) { s.state()->setShadowDistance(12); }},
        {"shadow angle", [](auto&, auto& s) { s.state()->setShadowAngle(90); }},
        {"shadow opacity", [](auto&, auto& s) { s.state()->setShadowOpacity(0.9f); }},
        {"shadow radius", [](auto&, auto& s) { s.state()->setShadowRadius(9); }},
        {"alignment", [](auto&, auto& s) { s.setAlignment(2); }},
        {"vertical alignment", [](auto&, auto& s) { s.setVerticalAlignment(2); }},
        {"appear mode", [](auto&, auto& s) { s.setAppearMode(1); }},
        {"padding", [](auto&, auto& s) { s.setHorizontalPadding(3); }},
        {"frame colour", [](auto&, auto& s) { s.state()->setFrameColor(RGBAColor::device(0, 1, 0)); }},
        {"frame thickness", [](auto&, auto& s) { s.state()->setFrameThickness(9); }},
        {"text", [](auto& o, auto&) { o.setText("Changed"); }},
        {"colour",
         [](auto&, auto& s) {
             s.setColor(ArchivedColor{0.5, 0.5, 0, 1, ArchivedColor::deviceRgb});
         }},
        {"shadow colour", [](auto&, auto& s) { s.state()->setShadowColor(RGBAColor::device(1, 0, 0)); }},
        {"background colour",
         [](auto&, auto& s) { s.state()->setBackgroundColor(RGBAColor::device(0, 0, 1)); }},
        {"y scaling", [](auto& o, auto&) { o.setYScalingFactor(2, 0); }},
    };
    for (const auto& [what, change] : changes) {
        auto object = text();
        auto style = ownStyle(*object);
        object->setAutoResizeMode(false);
        const uint64_t before = object->imageCacheHashForTime(0, 1);
        change(*object, *style);
        EXPECT_NE(object->imageCacheHashForTime(0, 1), before) << what;
    }
    auto object = text();
    EXPECT_NE(object->imageCacheHashForTime(0, 1), object->imageCacheHashForTime(0, 2)) << "factor";
    EXPECT_EQ(object->pictureStampAtTime({}), object->imageCacheHashForTime(0, 1));
}

TEST_F(TextObjectTest, ArchiveAndUndo) {
    auto object = text("Archived\ntext");
    object->setAutoResizeMode(false);
    const PlistBytes bytes = archiveOf(document.objectsContainer());
    const std::string dump = test::describeArchive(bytes);
    for (const char* key : {"key_textVisualization", "key_textAutoResizeMode", "\"Archived"})
        EXPECT_NE(dump.find(key), std::string::npos) << key;
    auto decoded = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(archiveOf(*decoded), bytes);
    auto read = std::dynamic_pointer_cast<CompositionTextObject>((*decoded)->objects().at(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->text(), "Archived\ntext");
    EXPECT_FALSE(read->autoResizeMode());
    EXPECT_EQ(read->rectForTime(0), object->rectForTime(0));

    auto copy = std::dynamic_pointer_cast<CompositionTextObject>(object->copy());
    EXPECT_EQ(copy->textVisualizationStyle(), object->textVisualizationStyle()) << "the style is shared";

    settle();
    auto check = roundTrip();
    check.check("auto-resize", [&] { object->setAutoResizeMode(true); });
    auto other = makeModelObject<TextVisualization>();
    other->setFont(ArchivedFont{"DejaVu Serif", 30});
    // The composition keeps its copy of a preset once made; that is no part of the undo step.
    container()->projectTextVisualizationForVisualization(other);
    settle();
    check.check("style", [&] { object->setTextVisualization(other); });
}

} // namespace
} // namespace vtl
