// The transition object: times that follow the overlap of its two objects, the types with their
// filters, presets and panes, stored values, undo, archives (damaged ones included) and the
// frames it draws from the two objects' pictures.

#include "imaging/ImagingTestSupport.h"
#include "model/EffectFilterDescriptions.h"
#include "objects/CompositionTransition.h"
#include "objects/ObjectsFixture.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/ColorTransition.h"
#include "platform/imaging/FilterRegistry.h"
#include "render/FilterCatalog.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <cmath>
#include <functional>

namespace vtl::test {
namespace {

constexpr int canvasWidth = 160, canvasHeight = 90;

// An opaque picture filling the canvas whose colours depend on the position and on `tint`, so the
// two objects of a transition never share a pixel. Archived with its tint.
class TintedPicture : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    std::string className() const override { return "TransitionTestPicture"; }
    Size originalSize() const override { return {canvasWidth, canvasHeight}; }
    // Moved as a whole, like the clips of a composition.
    bool alsoWantsEndSetWhenMovingInTime() const override { return true; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        CompositionRectangularObject::encodeWithCoder(coder);
        coder.encodeInt32("test_tint", tint);
    }
    void initWithCoder(KeyedUnarchiver& coder) override {
        CompositionRectangularObject::initWithCoder(coder);
        tint = coder.decodeInt32ForKey("test_tint");
    }
    CIImage createImageAtTime(const ObjectImageRequest& request) override {
        const int w = int(std::ceil(canvasWidth * request.xFactor));
        const int h = int(std::ceil(canvasHeight * double(request.yFactor)));
        auto bitmap = std::make_shared<Bitmap>(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bitmap->setPixel(x, y,
                                 {std::uint8_t((x * 3 + tint) % 256), std::uint8_t((y * 5 + tint) % 256),
                                  std::uint8_t(tint), 255});
        return CIImage::imageWithBitmap(bitmap);
    }
    int32_t tint = 0;
};

// Writes what it is told under the transition's keys, so tests can make damaged archives that
// decode as real transitions.
class ForgedTransition : public CompositionTransition {
public:
    using CompositionTransition::CompositionTransition;
    void encodeWithCoder(KeyedArchiver& coder) const override {
        CompositionTransition::encodeWithCoder(coder);
        if (forgeObjects) {
            coder.encodeObject("key_fromObject", ArchivedValue(forgedFrom));
            coder.encodeObject("key_toObject", ArchivedValue(forgedTo));
        }
        if (forgedValues)
            coder.encodeObject("key_renderFilterValues", ArchivedValue::fromPropertyList(*forgedValues));
        if (forgedStart) coder.encodeDouble("key_transitionStartTime", *forgedStart);
    }
    bool forgeObjects = false;
    std::shared_ptr<CompositionBaseObject> forgedFrom, forgedTo;
    std::optional<PropertyList> forgedValues;
    std::optional<double> forgedStart;
};

Rendered pixelsOfFrame(const CIImage& image) {
    return render(image, {0, 0, canvasWidth, canvasHeight});
}

bool samePixels(const Rendered& a, const Rendered& b) {
    return !a.bytes.empty() && a.bytes == b.bytes;
}

class Transitions : public ObjectsFixture {
protected:
    Transitions() {
        registerBuiltinFilters();
        installFilterDescriptionCatalog(FilterCatalog::standard());
        ArchiveClassRegistry::shared().registerClass(
            "TransitionTestPicture", "CompositionRectangularObject",
            [] { return std::static_pointer_cast<Archivable>(makeModelObject<TintedPicture>(nullptr)); });
        previousSink_ = setLogSink([this](std::string_view line) { log.emplace_back(line); });
        container()->setCanvasSize({canvasWidth, canvasHeight});
        // The from-object started at 4 s and ends at 12 s; the to-object starts at 10 s.
        from = add<TintedPicture>(4, 12);
        from->tint = 40;
        to = add<TintedPicture>(10, 20);
        to->tint = 200;
        transition = CompositionTransition::transitionWithObjects(from, to, container());
        container()->addObject(transition);
        renderer = std::make_unique<VTLObjectsContainerRenderer>(document.objectsContainer());
        settle();
        log.clear();
    }
    ~Transitions() override { setLogSink(previousSink_); }

    ObjectImageRequest requestAt(double time) {
        ObjectImageRequest r;
        r.compositionTime = time;
        r.renderer = renderer.get();
        return r;
    }
    Rendered frameAt(double time) { return pixelsOfFrame(transition->createImageAtTime(requestAt(time))); }
    Rendered pictureOf(CompositionRectangularObject& object, double time) {
        return pixelsOfFrame(object.createImageAtTime(requestAt(time)));
    }

    // The container decoded from its archive.
    std::shared_ptr<CompositionObjectsContainer> decodedContainer() {
        const PlistBytes bytes = archiveOf(document.objectsContainer());
        auto decoded = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes);
        EXPECT_TRUE(decoded.ok()) << decoded.error();
        return decoded.ok() ? decoded.value() : nullptr;
    }
    template <typename T>
    static std::vector<std::shared_ptr<T>> objectsOf(const CompositionObjectsContainer& c) {
        std::vector<std::shared_ptr<T>> found;
        for (const auto& object : c.objects())
            if (auto typed = std::dynamic_pointer_cast<T>(object)) found.push_back(typed);
        return found;
    }
    int logLinesWith(const std::string& text) const {
        int count = 0;
        for (const std::string& line : log)
            count += line.find(text) != std::string::npos;
        return count;
    }

    std::shared_ptr<TintedPicture> from, to;
    std::shared_ptr<CompositionTransition> transition;
    std::unique_ptr<VTLObjectsContainerRenderer> renderer;
    std::vector<std::string> log;

private:
    LogSink previousSink_;
};

// A manual dissolve of the two pictures followed by a blur, for the blur dissolve.
CIImage blurredMix(const CIImage& source, const CIImage& target, double time, double radius) {
    auto dissolve = CIFilter::filterWithName("CIDissolveTransition");
    dissolve->setValue("inputImage", source);
    dissolve->setValue("inputTargetImage", target);
    dissolve->setValue("inputTime", time);
    auto blur = CIFilter::filterWithName("CIGaussianBlur");
    blur->setValue("inputImage", dissolve->outputImage());
    blur->setValue("inputRadius", radius);
    return blur->outputImage();
}

TEST_F(Transitions, EdgeCasesOfTimesSettingsAndCopies) {
    struct Case {
        const char* what;
        std::function<void()> check;
    };
    const std::vector<Case> cases{
        {"an overlap from 10 s to 12 s",
         [&] {
             EXPECT_DOUBLE_EQ(transition->transitionStartTime(), 6);
             EXPECT_DOUBLE_EQ(transition->transitionEndTime(), 2);
             EXPECT_DOUBLE_EQ(transition->transitionStartTimeInGlobalTime(), 10);
             EXPECT_DOUBLE_EQ(transition->transitionEndTimeInGlobalTime(), 12);
             EXPECT_DOUBLE_EQ(transition->startTime(), 10);
             EXPECT_DOUBLE_EQ(transition->endTime(), 12);
             for (double t : {10.0, 11.0, 12.0})
                 EXPECT_TRUE(transition->needsToDrawAtTime(t)) << t;
             for (double t : {9.99, 12.01})
                 EXPECT_FALSE(transition->needsToDrawAtTime(t)) << t;
             EXPECT_DOUBLE_EQ(transition->progressAtTime(11), 0.5);
             EXPECT_EQ(transition->rectForTime(11), Rect(0, 0, canvasWidth, canvasHeight));
             EXPECT_EQ(from->toTransition(), transition);
             EXPECT_EQ(to->fromTransition(), transition);
         }},
        {"a move of the to-object under 0.01 s changes nothing, a longer one is followed",
         [&] {
             to->setStartTime(10.005);
             EXPECT_DOUBLE_EQ(transition->startTime(), 10);
             EXPECT_DOUBLE_EQ(transition->transitionEndTime(), 2);
             to->setStartTime(10.5);
             EXPECT_DOUBLE_EQ(transition->startTime(), 10.5);
             EXPECT_DOUBLE_EQ(transition->transitionStartTime(), 6.5);
             EXPECT_DOUBLE_EQ(transition->transitionEndTime(), 1.5);
             EXPECT_DOUBLE_EQ(transition->transitionEndTimeInGlobalTime(), 12);
         }},
        {"a blur dissolve blurs by its radius halfway and not at all at its ends",
         [&] {
             transition->setTransitionType(int32_t(TransitionType::BlurDissolve));
             EXPECT_EQ(transition->helperFilterValueForKey("inputRadius").numberValue(), 20.0);
             const CIImage a = from->createImageAtTime(requestAt(11)),
                           b = to->createImageAtTime(requestAt(11));
             EXPECT_TRUE(samePixels(frameAt(11), pixelsOfFrame(blurredMix(a, b, 0.5, 20))));
             EXPECT_FALSE(samePixels(frameAt(11), pixelsOfFrame(blurredMix(a, b, 0.5, 0))));
             EXPECT_TRUE(samePixels(frameAt(10), pictureOf(*from, 10)));
             EXPECT_TRUE(samePixels(frameAt(12), pictureOf(*to, 12)));
         }},
        {"pasted settings change the type and values in one undoable step",
         [&] {
             auto other = makeModelObject<CompositionTransition>(container());
             other->setTransitionType(int32_t(TransitionType::CopyMachine));
             other->setFilterValue(PropertyList(120.0), "inputWidth");
             other->setFilterValue(PropertyList("1 0 0 1"), "inputColor");
             const PlistDictionary settings = other->serializedSettings();
             roundTrip().check("paste", [&] { transition->configureFromSerializedSettings(settings); });
             EXPECT_EQ(transition->transitionType(), int32_t(TransitionType::CopyMachine));
             EXPECT_EQ(transition->filterValueForKey("inputWidth").numberValue(), 120.0);
             EXPECT_EQ(transition->filterValues(), other->filterValues());
         }},
        {"a copy carries the look but no objects",
         [&] {
             transition->setTransitionType(int32_t(TransitionType::Ripple));
             transition->setFilterValue(PropertyList(30.0), "inputWidth");
             transition->setSerializationMode(SerializationMode::Copy);
             const PlistBytes bytes = archiveOf(transition);
             transition->setSerializationMode(SerializationMode::Full);
             EXPECT_EQ(describeArchive(bytes).find("key_fromObject"), std::string::npos);
             auto decoded = KeyedUnarchiver::unarchive<CompositionTransition>(bytes);
             ASSERT_TRUE(decoded.ok()) << decoded.error();
             EXPECT_FALSE(decoded.value()->fromObject());
             EXPECT_FALSE(decoded.value()->toObject());
             EXPECT_EQ(decoded.value()->transitionType(), int32_t(TransitionType::Ripple));
             auto copy = std::dynamic_pointer_cast<CompositionTransition>(transition->copy());
             ASSERT_TRUE(copy);
             EXPECT_FALSE(copy->fromObject());
             EXPECT_EQ(copy->filterValues(), transition->filterValues());
             EXPECT_EQ(from->toTransition(), transition) << "copying leaves the original's links";
         }},
        {"objects that no longer overlap lose their transition",
         [&] {
             transition->removeIfNecessary();
             EXPECT_TRUE(container()->containsObject(transition.get())) << "they still overlap";
             from->setEndTime(9);
             transition->removeIfNecessary();
             EXPECT_FALSE(container()->containsObject(transition.get()));
             EXPECT_FALSE(from->toTransition());
             EXPECT_FALSE(to->fromTransition());
             EXPECT_TRUE(transition->isInvalidated());
         }},
        {"a transition without length has happened; progress stays within 0 … 1",
         [&] {
             EXPECT_EQ(transition->progressAtTime(3), 0);
             EXPECT_EQ(transition->progressAtTime(30), 1);
             to->setStartTime(12);
             EXPECT_DOUBLE_EQ(transition->transitionDuration(), 0);
             for (double t : {11.0, 12.0, 13.0})
                 EXPECT_EQ(transition->progressAtTime(t), 1) << t;
             EXPECT_TRUE(samePixels(frameAt(12), pictureOf(*to, 12)));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        container()->removeObject(transition.get());
        from = add<TintedPicture>(4, 12);
        from->tint = 40;
        to = add<TintedPicture>(10, 20);
        to->tint = 200;
        transition = CompositionTransition::transitionWithObjects(from, to, container());
        container()->addObject(transition);
        settle();
        c.check();
    }
}

TEST_F(Transitions, GlobalSettersKeepToTheirLimitsAndValidationClamps) {
    struct Setter {
        bool start;
        double time;
        double expectedStart, expectedEnd;
    };
    const Setter setters[] = {
        {true, 10.5, 6.5, 2},  {true, 9.9, 6, 2},  {true, 12.5, 6, 2},  {true, NAN, 6, 2},
        {false, 11.5, 6, 1.5}, {false, 9.5, 6, 2}, {false, 12.5, 6, 2}, {false, INFINITY, 6, 2},
    };
    for (const Setter& s : setters) {
        SCOPED_TRACE(testing::Message() << (s.start ? "start " : "end ") << s.time);
        transition->setTransitionStartTime(6);
        transition->setTransitionEndTime(2);
        if (s.start)
            transition->setTransitionStartTimeInGlobalTime(s.time);
        else
            transition->setTransitionEndTimeInGlobalTime(s.time);
        EXPECT_DOUBLE_EQ(transition->transitionStartTime(), s.expectedStart);
        EXPECT_DOUBLE_EQ(transition->transitionEndTime(), s.expectedEnd);
    }
    EXPECT_DOUBLE_EQ(transition->latestGlobalStartTime(), 12);
    EXPECT_DOUBLE_EQ(transition->earliestGlobalEndTime(), 10);

    // From-object 4 … 12 (8 s), to-object 10 … 20 (10 s).
    struct Validation {
        double start, end, validStart, validEnd;
    };
    const Validation validations[] = {
        {6, 2, 6, 2}, {-1, -1, 0, 0}, {9, 11, 8, 10}, {7, 0, 7, 1}, {NAN, NAN, 0, 0},
    };
    for (const Validation& v : validations) {
        double start = v.start, end = v.end;
        transition->validateTransitionStartEnd(start, end);
        EXPECT_DOUBLE_EQ(start, v.validStart) << v.start << " " << v.end;
        EXPECT_DOUBLE_EQ(end, v.validEnd) << v.start << " " << v.end;
    }
}

TEST_F(Transitions, EachTypeHasItsFiltersPresetsAndPanes) {
    struct Case {
        int32_t type;
        const char* render;
        const char* helper;
        const char* pane; // after the general pane
    };
    const Case cases[] = {
        {0, "CIDissolveTransition", nullptr, nullptr},
        {1, "CICopyMachineTransition", nullptr, "CopyMachineTransition.nib"},
        {2, "CIPageCurlTransition", "CIColorControls", "CurlTransition.nib"},
        {3, "CIRippleTransition", nullptr, "RippleTransition.nib"},
        {4, "ColorTransition", nullptr, "ColorTransitionSettings.nib"},
        {5, "CIBarsSwipeTransition", nullptr, "BarSwipeTransition.nib"},
        {6, "CIDissolveTransition", "CIGaussianBlur", "BlurDissolveTransition.nib"},
        {7, "CIPageCurlWithShadowTransition", "CIColorControls", "CurlWithShadowTransition.nib"},
        {8, nullptr, nullptr, nullptr},
        {-1, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        transition->setTransitionType(c.type);
        std::vector<std::string> panes{"TransitionProperties.nib"};
        if (c.pane) panes.push_back(c.pane);
        EXPECT_EQ(transition->propertyNames(), panes);
        CompositionTransition::Filters filters = transition->filtersForRendering();
        if (!c.render) {
            EXPECT_FALSE(filters.render);
            EXPECT_TRUE(transition->createImageAtTime(requestAt(11)).isNull())
                << "unknown types draw nothing";
            continue;
        }
        ASSERT_TRUE(filters.render);
        EXPECT_EQ(filters.render->name(), c.render);
        EXPECT_EQ(filters.helper ? filters.helper->name() : std::string(), c.helper ? c.helper : "");
        auto number = [](const CIFilter& f, const char* key) { return std::get<double>(f.value(key)); };
        if (c.type == 2 || c.type == 7) {
            EXPECT_NEAR(number(*filters.render, "inputAngle"), 1.0471976, 1e-7);
            EXPECT_EQ(number(*filters.render, "inputRadius"), 100);
            EXPECT_EQ(number(*filters.helper, "inputSaturation"), 0.22);
            EXPECT_EQ(number(*filters.helper, "inputBrightness"), -0.35);
            EXPECT_EQ(number(*filters.helper, "inputContrast"), 0.25);
        }
        if (c.type == 2 || c.type == 3) {
            EXPECT_FALSE(std::get<CIImage>(filters.render->value("inputShadingImage")).isEmpty())
                << "lit by the shine";
        }
        if (c.type == 6) {
            EXPECT_EQ(transition->helperFilterValueForKey("inputRadius").numberValue(), 20.0);
        }
        EXPECT_FALSE(transition->createImageAtTime(requestAt(11)).isNull());
    }
}

// Each type shows exactly the from-object's picture at its start and the to-object's at its end.
TEST_F(Transitions, FramesRunFromTheFromObjectToTheToObject) {
    const Rendered first = pictureOf(*from, 10), last = pictureOf(*to, 12);
    for (int32_t type = 0; type < 8; ++type) {
        SCOPED_TRACE(type);
        transition->setTransitionType(type);
        EXPECT_TRUE(samePixels(frameAt(10), first));
        EXPECT_TRUE(samePixels(frameAt(12), last));
        EXPECT_FALSE(samePixels(frameAt(11), first));
    }
    // The dissolve halfway is the mix of the two.
    transition->setTransitionType(int32_t(TransitionType::Dissolve));
    const Rendered half = frameAt(11);
    ASSERT_FALSE(half.bytes.empty());
    int worst = 0;
    for (std::size_t i = 0; i < half.bytes.size(); ++i)
        worst = std::max(worst, std::abs(2 * half.bytes[i] - first.bytes[i] - last.bytes[i]));
    EXPECT_LE(worst, 2) << "within one level of the mix";
}

// A masked object takes part cut by its mask, placed on the canvas as the object itself is.
TEST_F(Transitions, AMaskedObjectIsCutByItsMask) {
    auto mask = add<TintedPicture>(0, 30);
    mask->setRect(Rect(10, 10, 40, 30), 0);
    container()->establishMaskRelation(mask, from);
    const Rendered start = frameAt(10), picture = pictureOf(*from, 10);
    ASSERT_FALSE(start.bytes.empty());
    EXPECT_EQ(start.at(20, 20), picture.at(20, 20)) << "inside the mask";
    EXPECT_EQ(start.at(49, 39), picture.at(49, 39));
    EXPECT_EQ(start.alpha(100, 60), 0) << "outside the mask";
    EXPECT_EQ(start.alpha(9, 9), 0);
    EXPECT_TRUE(samePixels(frameAt(12), pictureOf(*to, 12))) << "the to-object has no mask";
}

// The curl's back is the from-object's picture through the colour controls of the type's helper.
TEST_F(Transitions, CurlBackIsTheColourControlledFromPicture) {
    transition->setTransitionType(int32_t(TransitionType::PageCurl));
    // A roll small enough to show its back on this small canvas halfway.
    transition->setFilterValue(PropertyList(12.0), "inputRadius");
    const CIImage a = from->createImageAtTime(requestAt(11)), b = to->createImageAtTime(requestAt(11));
    auto controls = CIFilter::filterWithName("CIColorControls");
    controls->setValue("inputImage", a);
    controls->setValue("inputSaturation", 0.22);
    controls->setValue("inputBrightness", -0.35);
    controls->setValue("inputContrast", 0.25);
    auto curl = CIFilter::filterWithName("CIPageCurlTransition");
    curl->setValue("inputImage", a);
    curl->setValue("inputTargetImage", b);
    curl->setValue("inputBacksideImage", controls->outputImage());
    curl->setValue("inputShadingImage", transition->filtersForRendering().render->value("inputShadingImage"));
    curl->setValue("inputAngle", 1.0471976);
    curl->setValue("inputRadius", 12.0);
    curl->setValue("inputExtent", CIVector{0, 0, canvasWidth, canvasHeight});
    curl->setValue("inputTime", 0.5);
    EXPECT_TRUE(samePixels(frameAt(11), pixelsOfFrame(curl->outputImage())));
    curl->setValue("inputBacksideImage", a);
    EXPECT_FALSE(samePixels(frameAt(11), pixelsOfFrame(curl->outputImage())))
        << "the back is not the plain picture";
}

TEST_F(Transitions, ValuesStayAcrossTypesAndUnsoundValuesKeepTheDefault) {
    transition->setTransitionType(int32_t(TransitionType::CopyMachine));
    EXPECT_EQ(transition->filterValueForKey("inputWidth").numberValue(), 200.0) << "the default";
    EXPECT_EQ(*transition->filterValueForKey("inputColor").stringValue(),
              effectColorText(RGBAColor::device(0.6, 1, 1, 1)));
    transition->setFilterValue(PropertyList(120.0), "inputWidth");
    transition->setFilterValue(PropertyList("[0 0 50 40]"), "inputExtent");
    EXPECT_EQ(*transition->filterValueForKey("inputExtent").stringValue(), "[0 0 50 40]");

    transition->setTransitionType(int32_t(TransitionType::Dissolve));
    EXPECT_TRUE(transition->filterValues().contains("inputWidth")) << "kept under the earlier type";
    EXPECT_TRUE(transition->filterValueForKey("inputWidth").isNone()) << "the dissolve has no width";
    EXPECT_FALSE(transition->createImageAtTime(requestAt(11)).isNull());
    transition->setTransitionType(int32_t(TransitionType::CopyMachine));
    EXPECT_EQ(std::get<double>(transition->filtersForRendering().render->value("inputWidth")), 120);

    // From the inspector, an archive or the pasteboard alike: the value is refused, the default stays.
    transition->setFilterValue(PropertyList(200.0), "inputWidth");
    const PlistDictionary before = transition->filterValues();
    PlistDictionary unsound;
    unsound.set("inputWidth", PropertyList(NAN));
    unsound.set("inputOpacity", PropertyList(INFINITY));
    unsound.set("inputColor", PropertyList("1 nan 0 1"));
    unsound.set("inputAngle", PropertyList("wide"));
    unsound.set("inputExtent", PropertyList("[0 0 inf 4]"));
    PlistDictionary settings;
    settings.set("transitionType", PropertyList(std::int64_t(1)));
    settings.set("filterValues", PropertyList(unsound));
    transition->configureFromSerializedSettings(settings);
    EXPECT_EQ(transition->filterValues(), before);
    EXPECT_EQ(transition->filterValueForKey("inputWidth").numberValue(), 200.0);
    EXPECT_EQ(logLinesWith("Refused the transition value"), 5);
    transition->setHelperFilterValue(PropertyList(NAN), "inputRadius");
    EXPECT_TRUE(transition->helperFilterValueForKey("inputRadius").isNone());
}

TEST_F(Transitions, TheColourOfColourTransitionsIsOneForTheProgram) {
    transition->setTransitionType(int32_t(TransitionType::Color));
    transition->setFilterValue(PropertyList("1 0 0 1"), "transitionColor");
    EXPECT_EQ(ColorTransition::transitionColor(), CIColor(1, 0, 0, 1));
    ColorTransition::setTransitionColor(CIColor(0, 1, 0, 1));
    EXPECT_FALSE(frameAt(11).bytes.empty());
    EXPECT_EQ(ColorTransition::transitionColor(), CIColor(0, 1, 0, 1)) << "drawing a frame never sets it";
    ASSERT_TRUE(decodedContainer());
    EXPECT_EQ(ColorTransition::transitionColor(), CIColor(1, 0, 0, 1)) << "decoding sets it";
    ColorTransition::setTransitionColor(CIColor(1, 1, 1, 1));
}

TEST_F(Transitions, DrawingWritesNothingOfTheModel) {
    transition->setTransitionType(int32_t(TransitionType::PageCurl));
    endPass();
    const PlistBytes before = archiveOf(document.objectsContainer());
    const std::size_t steps = undoManager().undoStepCount();
    for (double t : {9.0, 10.0, 10.5, 11.0, 12.0, 13.0})
        EXPECT_FALSE(frameAt(t).bytes.empty());
    endPass();
    EXPECT_EQ(archiveOf(document.objectsContainer()), before);
    EXPECT_EQ(undoManager().undoStepCount(), steps);
}

TEST_F(Transitions, EachTypeRoundTripsThroughTheArchive) {
    struct Case {
        int32_t type;
        const char* key;
        PropertyList value;
    };
    const Case cases[] = {
        {0, nullptr, {}},
        {1, "inputColor", PropertyList("0.25 0.5 1 1")},
        {2, "inputRadius", PropertyList(40.0)},
        {3, "inputScale", PropertyList(-20.0)},
        {4, "transitionColor", PropertyList("0 0 1 1")},
        {5, "inputBarOffset", PropertyList(25.0)},
        {6, nullptr, {}},
        {7, "inputShadowAmount", PropertyList(0.3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        transition->setTransitionType(c.type);
        if (c.key) transition->setFilterValue(c.value, c.key);
        if (c.type == 6) transition->setHelperFilterValue(PropertyList(35.0), "inputRadius");
        const Rendered quarter = frameAt(10.5), half = frameAt(11);
        const PlistBytes bytes = archiveOf(document.objectsContainer());
        auto decoded = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes);
        ASSERT_TRUE(decoded.ok()) << decoded.error();
        EXPECT_EQ(archiveOf(decoded.value()), bytes) << "re-archived byte for byte";
        auto transitions = objectsOf<CompositionTransition>(*decoded.value());
        ASSERT_EQ(transitions.size(), 1u);
        const auto& copy = transitions.front();
        EXPECT_EQ(copy->transitionType(), c.type);
        EXPECT_EQ(copy->filterValues(), transition->filterValues());
        EXPECT_EQ(copy->helperFilterValues(), transition->helperFilterValues());
        if (c.key) {
            EXPECT_EQ(copy->filterValueForKey(c.key), transition->filterValueForKey(c.key));
        }
        ASSERT_TRUE(copy->fromObject() && copy->toObject());
        EXPECT_EQ(std::dynamic_pointer_cast<CompositionRectangularObject>(copy->fromObject())->toTransition(),
                  copy);
        VTLObjectsContainerRenderer decodedRenderer(decoded.value());
        for (const auto& [time, expected] : {std::pair{10.5, &quarter}, std::pair{11.0, &half}}) {
            ObjectImageRequest request = requestAt(time);
            request.renderer = &decodedRenderer;
            EXPECT_TRUE(samePixels(pixelsOfFrame(copy->createImageAtTime(request)), *expected)) << time;
        }
    }
    ColorTransition::setTransitionColor(CIColor(1, 1, 1, 1));
}

// Damaged documents: the transition goes (one log line), the rest opens, nothing keeps a link to
// it; links that the transition does not return are cleared.
TEST_F(Transitions, DecodingDropsTransitionsWithBrokenLinks) {
    auto outside = makeModelObject<TintedPicture>(container());
    auto forged = makeModelObject<ForgedTransition>(container());
    container()->addObject(forged);
    auto spare = add<TintedPicture>(30, 40);
    struct Case {
        const char* what;
        std::function<void()> forge;
    };
    const std::vector<Case> cases{
        {"missing its to-object", [&] { forged->forgedFrom = spare; }},
        {"joining an object to itself", [&] { forged->forgedFrom = forged->forgedTo = spare; }},
        {"joining an object to a transition",
         [&] { forged->forgedFrom = spare, forged->forgedTo = transition; }},
        {"naming an object outside the composition",
         [&] { forged->forgedFrom = spare, forged->forgedTo = outside; }},
        {"joining an object another transition joins",
         [&] { forged->forgedFrom = from, forged->forgedTo = spare; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        forged->forgeObjects = true;
        forged->forgedFrom = forged->forgedTo = nullptr;
        c.forge();
        // The objects named point at the forged transition, as a consistent archive would have them.
        spare->setToTransition(forged);
        log.clear();
        auto decoded = decodedContainer();
        ASSERT_TRUE(decoded);
        EXPECT_EQ(logLinesWith("A transition of the document"), 1);
        auto transitions = objectsOf<CompositionTransition>(*decoded);
        ASSERT_EQ(transitions.size(), 1u) << "only the sound transition stays";
        const auto& kept = transitions.front();
        EXPECT_EQ(std::dynamic_pointer_cast<CompositionRectangularObject>(kept->fromObject())->toTransition(),
                  kept);
        EXPECT_EQ(std::dynamic_pointer_cast<CompositionRectangularObject>(kept->toObject())->fromTransition(),
                  kept);
        for (const auto& object : objectsOf<CompositionRectangularObject>(*decoded)) {
            for (const auto& link : {object->toTransition(), object->fromTransition()})
                EXPECT_TRUE(!link || link == kept) << "no link to the dropped transition";
        }
        for (const auto& track : decoded->tracks())
            for (const auto& clip : track->clips())
                EXPECT_TRUE(!clip->isTransition() || clip == kept);
        spare->setToTransition(nullptr);
    }

    // A sound transition makes its objects' links point back and clears those of others.
    container()->removeObject(forged.get());
    from->setToTransition(nullptr);
    spare->setFromTransition(transition);
    auto decoded = decodedContainer();
    ASSERT_TRUE(decoded);
    auto kept = objectsOf<CompositionTransition>(*decoded).at(0);
    auto decodedFrom = std::dynamic_pointer_cast<CompositionRectangularObject>(kept->fromObject());
    EXPECT_EQ(decodedFrom->toTransition(), kept);
    for (const auto& object : objectsOf<TintedPicture>(*decoded))
        if (object != kept->toObject()) {
            EXPECT_FALSE(object->fromTransition());
        }
}

TEST_F(Transitions, DecodedValuesThatAreNotFiniteKeepTheDefaults) {
    auto forged = makeModelObject<ForgedTransition>(container());
    auto a = add<TintedPicture>(30, 38), b = add<TintedPicture>(36, 44);
    forged->setFromObject(a);
    forged->setToObject(b);
    forged->setTransitionType(int32_t(TransitionType::BarsSwipe));
    container()->addObject(forged);
    forged->forgedValues = PropertyList(
        PlistDictionary{{"inputWidth", PropertyList(NAN)}, {"inputBarOffset", PropertyList(12.0)}});
    forged->forgedStart = NAN;
    auto decoded = decodedContainer();
    ASSERT_TRUE(decoded);
    for (const auto& t : objectsOf<CompositionTransition>(*decoded)) {
        if (t->transitionType() != int32_t(TransitionType::BarsSwipe)) continue;
        EXPECT_EQ(t->filterValueForKey("inputWidth").numberValue(), 30.0);
        EXPECT_EQ(t->filterValueForKey("inputBarOffset").numberValue(), 12.0);
        EXPECT_TRUE(std::isfinite(t->transitionStartTime()));
    }
}

TEST_F(Transitions, EveryModelMoveOfEitherObjectKeepsTheTransitionOnTheOverlap) {
    struct Case {
        const char* what;
        std::function<void()> move;
        double start, end; // the overlap afterwards
    };
    const std::vector<Case> cases{
        {"the to-object moved earlier as a whole", [&] { to->moveSnapStartTimeByTimeValue(-1); }, 9, 12},
        {"the to-object moved later as a whole", [&] { to->moveSnapStartTimeByTimeValue(1.5); }, 11.5, 12},
        {"the from-object moved later as a whole", [&] { from->moveSnapStartTimeByTimeValue(1); }, 10, 13},
        {"the to-object placed by its start", [&] { to->moveSnapStartTimeTo(11); }, 11, 12},
        {"both times of the from-object set together", [&] { from->setStartTimeEndTime(2, 11); }, 10, 11},
        {"the container moving everything from 9.5 s",
         [&] { container()->moveAllObjectsBeginningAfter(9.5, 1); }, 11, 12},
        {"the container moving everything from 3 s", [&] { container()->moveAllObjectsBeginningAfter(3, 2); },
         12, 14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        roundTrip().check(c.what, c.move);
        EXPECT_DOUBLE_EQ(transition->startTime(), c.start);
        EXPECT_DOUBLE_EQ(transition->endTime(), c.end);
        EXPECT_DOUBLE_EQ(transition->transitionStartTimeInGlobalTime(), c.start);
        EXPECT_DOUBLE_EQ(transition->transitionEndTimeInGlobalTime(), c.end);
        // The objects draw up to the transition and the transition across the whole overlap.
        EXPECT_TRUE(from->needsToDrawAtTime(c.start - 0.05));
        EXPECT_FALSE(from->needsToDrawAtTime(c.start + 0.05));
        EXPECT_TRUE(to->needsToDrawAtTime(c.end + 0.05));
        EXPECT_FALSE(to->needsToDrawAtTime(c.end - 0.05));
        EXPECT_TRUE(transition->needsToDrawAtTime((c.start + c.end) / 2));
        undoManager().undo();
        EXPECT_DOUBLE_EQ(transition->transitionStartTimeInGlobalTime(), 10) << "undone";
        EXPECT_DOUBLE_EQ(transition->transitionEndTimeInGlobalTime(), 12) << "undone";
        settle();
    }
}

TEST_F(Transitions, ATransitionWhoseObjectsComeApartIsRemovedInTheSameStep) {
    struct Case {
        const char* what;
        std::function<void()> move;
    };
    const std::vector<Case> cases{
        {"the to-object moved past the from-object's end", [&] { to->moveSnapStartTimeByTimeValue(3); }},
        {"the container moving the to-object away",
         [&] { container()->moveAllObjectsBeginningAfter(9.5, 5); }},
        {"the from-object ending early", [&] { from->setEndTime(9); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        roundTrip().check(c.what, c.move);
        EXPECT_FALSE(container()->containsObject(transition.get()));
        EXPECT_EQ(from->toTransition(), nullptr);
        EXPECT_EQ(to->fromTransition(), nullptr);
        // Each object draws exactly its own time again; nothing blends across the gap.
        EXPECT_TRUE(from->needsToDrawAtTime(from->snapEndTime() - 0.05));
        EXPECT_FALSE(from->needsToDrawAtTime(from->snapEndTime() + 0.05));
        EXPECT_TRUE(to->needsToDrawAtTime(to->snapStartTime() + 0.05));
        EXPECT_FALSE(to->needsToDrawAtTime(to->snapStartTime() - 0.05));
        undoManager().undo();
        EXPECT_TRUE(container()->containsObject(transition.get())) << "undone";
        EXPECT_EQ(from->toTransition(), transition);
        EXPECT_EQ(to->fromTransition(), transition);
        EXPECT_DOUBLE_EQ(transition->transitionStartTimeInGlobalTime(), 10);
        EXPECT_DOUBLE_EQ(transition->transitionEndTimeInGlobalTime(), 12);
        settle();
    }
}

TEST_F(Transitions, EveryUndoableChangeUndoesAndRedoes) {
    auto third = add<TintedPicture>(3, 11);
    auto fourth = add<TintedPicture>(10.5, 18);
    settle();
    struct Case {
        const char* what;
        std::function<void()> operation;
    };
    const std::vector<Case> cases{
        {"transitionStartTime", [&] { transition->setTransitionStartTime(6.5); }},
        {"transitionEndTime", [&] { transition->setTransitionEndTime(1.5); }},
        {"start in global time", [&] { transition->setTransitionStartTimeInGlobalTime(10.25); }},
        {"end in global time", [&] { transition->setTransitionEndTimeInGlobalTime(11.75); }},
        {"fromObject", [&] { transition->setFromObject(third); }},
        {"toObject", [&] { transition->setToObject(fourth); }},
        {"transitionType", [&] { transition->setTransitionType(int32_t(TransitionType::Ripple)); }},
        {"blur dissolve type with its stored radius",
         [&] { transition->setTransitionType(int32_t(TransitionType::BlurDissolve)); }},
        {"a new filter value", [&] { transition->setFilterValue(PropertyList(0.25), "inputTime"); }},
        {"a helper value", [&] { transition->setHelperFilterValue(PropertyList(12.0), "inputRadius"); }},
        {"removing the transition", [&] { transition->remove(); }},
    };
    for (const Case& c : cases)
        roundTrip().check(c.what, c.operation);
}

} // namespace
} // namespace vtl::test
