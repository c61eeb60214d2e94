// A recording drawn through the object image pipeline with its recorded pointer: the event zoom
// about a click, the focus zoom kept inside the picture, the darkened focus highlight, the cursor
// at its hot spot, click marks by age, the spotlight and its fade, one cursor decode per cursor
// change, and untrusted style and state values that must not break a frame.

#include "imaging/ImagingTestSupport.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/SharedMediaManager.h"
#include "model/support/ModelFixture.h"
#include "objects/MouseVisualization.h"
#include "objects/ObjectImageRequest.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/tiff/TiffCodec.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "render/VTLObjectsContainerRenderer.h"
#include "tracks/CompositionTrackObjectEventZoom.h"
#include "tracks/CompositionTrackObjectMouseImages.h"
#include "tracks/CompositionVistrelTrack.h"

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRecWidth = 320;
constexpr int kRecHeight = 240;

PropertyList recTimed(double time, PlistDictionary values) {
    values.set("time", PropertyList(time));
    return PropertyList(std::move(values));
}

// A cursor picture of one colour (R, G, B) with a one-pixel transparent column on its left.
PlistBytes recCursorTiff(int side, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    TiffImage image{side, side, std::vector<std::uint8_t>(std::size_t(side * side) * 4, 0)};
    for (int y = 0; y < side; ++y)
        for (int x = 1; x < side; ++x) {
            std::uint8_t* p = image.rgba.data() + (std::size_t(y) * side + x) * 4;
            p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
        }
    auto bytes = encodeTiff(image);
    EXPECT_TRUE(bytes) << bytes.error();
    return bytes ? PlistBytes(bytes->begin(), bytes->end()) : PlistBytes();
}

struct RecScript {
    // The pointer rests at (100, 80) throughout.
    bool cursors = true;
    bool undecodableCursor = false;
    bool focus = true;
};

// Left clicks at 1.0 s (200, 100) and 4.0 s (60, 60); a wheel turn up at 1.0 s; a red 8-pixel
// cursor with hot spot (2, 3) from 0 s and a green one from 2 s.
PropertyList recMouseFile(const RecScript& script) {
    auto click = [](double time, const char* point, int type) {
        return recTimed(
            time,
            {{"point", PropertyList(point)}, {"eventType", PropertyList(type)}, {"button", PropertyList(1)}});
    };
    PlistArray events = {click(1.0, "{200, 100}", 1), click(1.05, "{200, 100}", 2), click(4.0, "{60, 60}", 1),
                         click(4.05, "{60, 60}", 2),
                         recTimed(1.0, {{"point", PropertyList("{100, 80}")},
                                        {"button", PropertyList(-1)},
                                        {"eventType", PropertyList(22)},
                                        {"wheelY", PropertyList(1.0)}})};
    PlistArray positions;
    for (int i = 0; i <= 60; ++i)
        positions.push_back(recTimed(i * 0.1, {{"point", PropertyList("{100, 80}")}}));
    PlistArray cursors;
    if (script.undecodableCursor) {
        cursors.push_back(recTimed(0.0, {{"mouseTIFFData", PropertyList(PlistBytes{1, 2, 3})},
                                         {"hotspot", PropertyList("{2, 3}")}}));
    } else if (script.cursors) {
        cursors.push_back(recTimed(0.0, {{"mouseTIFFData", PropertyList(recCursorTiff(8, 255, 0, 0))},
                                         {"hotspot", PropertyList("{2, 3}")}}));
        cursors.push_back(recTimed(2.0, {{"mouseTIFFData", PropertyList(recCursorTiff(8, 0, 255, 0))},
                                         {"hotspot", PropertyList("{2, 3}")}}));
    }
    PlistArray focus;
    if (script.focus) {
        focus.push_back(recTimed(0.5, {{"focusRect", PropertyList("{{20, 20}, {100, 80}}")}}));
    }
    return PropertyList(PlistDictionary{{"mouseVisible", PropertyList(true)},
                                        {"eventsVisible", PropertyList(true)},
                                        {"mousePositions", PropertyList(positions)},
                                        {"mouseEvents", PropertyList(events)},
                                        {"mouseCursorImages", PropertyList(cursors)},
                                        {"focusWindowRects", PropertyList(focus)}});
}

const fs::path& recSyntheticPackage() {
    static const fs::path path = [] {
        fs::path made = fs::path(::testing::TempDir()) /
                        ("rectrack-source-" + std::to_string(::getpid()) + ".vistrelRecord");
        fs::remove_all(made);
        SyntheticRecordingSettings settings;
        settings.screen.width = kRecWidth;
        settings.screen.height = kRecHeight;
        settings.screen.movingRectSize = 24;
        settings.framesPerSecond = 5;
        settings.seconds = 6;
        auto written = writeSyntheticRecording(made.string(), settings);
        EXPECT_TRUE(written) << written.error();
        return made;
    }();
    return path;
}

class RecordingTrackRendering : public ModelFixture {
protected:
    RecordingTrackRendering()
        : media_(fs::path(::testing::TempDir()) / ("rectrack-media-" + std::to_string(::getpid())))
        , renderer(document.objectsContainer()) {
        CompositionVistrelTrack::registerClasses();
    }
    ~RecordingTrackRendering() override {
        renderer.removeAllCachedImages();
        for (const auto& path : packages_)
            fs::remove_all(path);
    }

    std::shared_ptr<CompositionVistrelTrack> addTrack(const RecScript& script = {}) {
        const fs::path target =
            fs::path(::testing::TempDir()) / ("rectrack-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(packages_.size()) + ".vistrelRecord");
        fs::remove_all(target);
        fs::copy(recSyntheticPackage(), target, fs::copy_options::recursive);
        EXPECT_TRUE(recMouseFile(script).writeToFile(target / "mouse", PropertyListFormat::Xml));
        packages_.push_back(target);
        auto entry = media_.entryForResourceWithFileSystemPath(target.string(), &document,
                                                               SharedMediaManager::ResourceCopy::None);
        auto track = makeModelObject<CompositionVistrelTrack>(container());
        track->setMediaEntry(entry);
        container()->addObject(track);
        auto style = makeModelObject<MouseVisualization>();
        style->strength = 1;
        style->filled = true;
        style->size = 20;
        style->duration = 1.0;
        track->setMouseVisualization(style);
        return track;
    }

    CompositionEventTriggeredState& addState(CompositionVistrelTrack& track, double start, double end,
                                             int kind, double zoomTime = 1.0) {
        auto state = track.addNewTriggeredStateAtGlobalTimes(start, end);
        auto* event = dynamic_cast<CompositionEventTriggeredState*>(state.get());
        EXPECT_TRUE(event);
        event->setKind(kind);
        event->setZoomTime(zoomTime);
        return *event;
    }

    Rendered frameAt(CompositionVistrelTrack& track, double t) {
        ObjectImageRequest request;
        request.compositionTime = t;
        request.renderer = &renderer;
        const CIImage image = track.createImageAtTime(request);
        EXPECT_FALSE(image.isNull()) << t;
        return render(image, PixelRegion{0, 0, kRecWidth, kRecHeight});
    }

    Rendered overlayAt(CompositionVistrelTrack& track, double t, float backing = 1.0f) {
        const CIImage image = mouseCursorAndEventImageAtTime(track, t, &renderer, backing);
        if (image.isNull())
            return Rendered{PixelRegion{0, 0, kRecWidth, kRecHeight},
                            std::vector<std::uint8_t>(std::size_t(kRecWidth * kRecHeight) * 4, 0)};
        return render(image, PixelRegion{0, 0, kRecWidth, kRecHeight});
    }

    SharedMediaManager media_;
    std::vector<fs::path> packages_;
    VTLObjectsContainerRenderer renderer;
};

int recMaxDifference(const Rendered& a, const Rendered& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.bytes.size() && i < b.bytes.size(); ++i)
        worst = std::max(worst, std::abs(int(a.bytes[i]) - int(b.bytes[i])));
    return worst;
}

TEST_F(RecordingTrackRendering, EventZoomFollowsTheClickAndFadesAfterTwoSeconds) {
    auto track = addTrack();
    auto& state = addState(*track, 0.5, 5.5, 0);
    ASSERT_EQ(state.relevantMouseEvents().size(), 2u);
    struct Case {
        double t;
        std::optional<float> factor; // none: no zoom
        Point centre;
    };
    const Case cases[] = {
        {1.0 + 1.9, 1.0f, {200, 100}},
        {1.0 + 2.25, 0.5f, {200, 100}},
        {1.0 + 2.5, std::nullopt, {}},
        // The next click is 0.25 s away: weight 0.5 at the pointer.
        {4.0 - 0.25, 0.5f, {100, 80}},
    };
    for (const Case& c : cases) {
        EventZoomCentre centre;
        const auto transform =
            eventTransformForTime(*track, c.t, state, Rect(0, 0, kRecWidth, kRecHeight), &centre);
        ASSERT_EQ(transform.has_value(), c.factor.has_value()) << c.t;
        if (!c.factor) continue;
        EXPECT_FLOAT_EQ(centre.factor, *c.factor) << c.t;
        EXPECT_EQ(centre.point, c.centre) << c.t;
        const Point moved = transform->apply(Point{c.centre.x + 10, c.centre.y});
        EXPECT_NEAR(moved.x, c.centre.x + 10 * (1 + *c.factor), 1e-3) << c.t;
        EXPECT_EQ(transform->apply(c.centre), c.centre) << c.t;
    }

    // Held on the first click's point until the end, then fading over half a second.
    state.setSuspensionBehaviour(1);
    EventZoomCentre held;
    ASSERT_TRUE(eventTransformForTime(*track, 3.9, state, Rect(), &held));
    EXPECT_FLOAT_EQ(held.factor, 1.0f);
    EXPECT_EQ(held.point, (Point{200, 100}));
    ASSERT_TRUE(eventTransformForTime(*track, 5.75, state, Rect(), &held));
    EXPECT_FLOAT_EQ(held.factor, 0.5f);
}

TEST_F(RecordingTrackRendering, TheZoomedFrameIsThePlainFrameScaledAboutTheClick) {
    auto track = addTrack();
    const double t = 1.0 + 2.25;
    const Rendered plain = frameAt(*track, t);
    addState(*track, 0.5, 3.6, 0);
    ObjectImageRequest request;
    request.compositionTime = t;
    request.renderer = &renderer;
    const CIImage zoomed = track->createImageAtTime(request);
    ASSERT_FALSE(zoomed.isNull());
    EXPECT_EQ(zoomed.extent(), Rect(0, 0, kRecWidth, kRecHeight)) << "the zoom covers the same extent";

    // The expected picture made here from the frame: 1.5 × about the click point (200, 100).
    const CIImage frame =
        renderer.cachedAndUploadPixelBuffer(track->movie()->createImageAtTime(t, &renderer), *track);
    AffineTransform expected = AffineTransform::translation(-200, -100);
    expected.append(AffineTransform::scale(1.5, 1.5));
    expected.append(AffineTransform::translation(200, 100));
    const Rendered want =
        render(frame.imageByApplyingTransform(expected), PixelRegion{0, 0, kRecWidth, kRecHeight});
    const Rendered got = render(zoomed, PixelRegion{0, 0, kRecWidth, kRecHeight});
    EXPECT_LE(recMaxDifference(got, want), 2);
    EXPECT_GT(recMaxDifference(got, plain), 16) << "the picture did change";
}

TEST_F(RecordingTrackRendering, FocusZoomStaysInsideThePicture) {
    const Rect c(0, 0, kRecWidth, kRecHeight);
    struct Case {
        Rect focus;
        Point origin;
        float zoom;
    };
    const Case cases[] = {
        {Rect(0, 0, 80, 60), {0, 0}, 4.0f},                     // lower-left corner
        {Rect(280, 200, 40, 40), {320 - 320 / 6.0, 200}, 6.0f}, // upper-right corner, clamped
        {Rect(120, 90, 80, 60), {120, 90}, 4.0f},               // centred
        {Rect(10, 10, 0, 0), {0, 0}, 1.0f},                     // no area: the whole picture
        {Rect(NAN, 10, 20, 20), {0, 0}, 1.0f},
    };
    for (const Case& k : cases) {
        Point origin;
        float zoom = 0;
        pointZoomFactorInFocusRect(&origin, &zoom, k.focus, c);
        EXPECT_FLOAT_EQ(zoom, k.zoom) << k.focus.origin.x;
        EXPECT_NEAR(origin.x, k.origin.x, 1e-2) << k.focus.origin.x;
        EXPECT_NEAR(origin.y, k.origin.y, 1e-3) << k.focus.origin.x;
    }

    // A focus state on the recorded rectangle (20, 20, 100, 80): the region shown lies inside.
    auto track = addTrack();
    auto& state = addState(*track, 1.0, 4.0, 2);
    state.setSuspensionBehaviour(1);
    for (double t : {0.5, 1.5, 3.0, 4.5}) {
        const auto transform = focusTransformForTime(*track, t, state, c);
        ASSERT_TRUE(transform) << t;
        const auto inverse = transform->inverted();
        ASSERT_TRUE(inverse);
        const Rect shown = inverse->applyToRect(c);
        EXPECT_GE(shown.minX(), -1e-6) << t;
        EXPECT_GE(shown.minY(), -1e-6) << t;
        EXPECT_LE(shown.maxX(), kRecWidth + 1e-6) << t;
        EXPECT_LE(shown.maxY(), kRecHeight + 1e-6) << t;
    }
    const auto full = focusTransformForTime(*track, 3.0, state, c);
    ASSERT_TRUE(full);
    EXPECT_GT(full->a, 2.0) << "zoomed onto the window inside the state";
}

TEST_F(RecordingTrackRendering, UntrustedZoomTimesAndFocusRectsNeverCarryNaN) {
    auto track = addTrack(RecScript{true, false, true});
    for (double zoomTime : {0.0, -1.0, double(NAN), double(INFINITY)}) {
        for (int kind : {2, 3, 4}) {
            auto& state = addState(*track, 1.0, 3.0, kind, zoomTime);
            for (double t : {0.4, 0.9, 1.0, 2.0, 3.0, 3.2}) {
                const auto transform =
                    eventTransformForTime(*track, t, state, Rect(0, 0, kRecWidth, kRecHeight));
                if (transform) {
                    EXPECT_TRUE(isFiniteTransform(*transform)) << zoomTime << " " << kind << " " << t;
                }
                ObjectImageRequest request;
                request.compositionTime = t;
                request.renderer = &renderer;
                const CIImage frame = track->createImageAtTime(request);
                ASSERT_FALSE(frame.isNull());
                EXPECT_EQ(frame.extent(), Rect(0, 0, kRecWidth, kRecHeight))
                    << zoomTime << " " << kind << " " << t;
            }
            track->removeTriggeredState(&state);
        }
    }
    // A zoom time of zero switches at once: before the start the whole picture, inside it zoomed.
    auto& sharp = addState(*track, 1.0, 3.0, 2, 0.0);
    sharp.setSuspensionBehaviour(1);
    const auto before = focusTransformForTime(*track, 0.9, sharp, Rect(0, 0, kRecWidth, kRecHeight));
    ASSERT_TRUE(before);
    EXPECT_FLOAT_EQ(float(before->a), 1.0f);
    EXPECT_FALSE(focusTransformForTime(*track, 3.01, sharp, Rect(0, 0, kRecWidth, kRecHeight)));
}

TEST_F(RecordingTrackRendering, FocusHighlightDarkensByHalfItsStrength) {
    auto track = addTrack();
    const double t = 1.5; // half a zoom time before the state: strength 0.5
    const Rendered plain = frameAt(*track, t);
    addState(*track, 2.0, 4.0, 3, 1.0);
    const Rendered dark = frameAt(*track, t);
    // Far from the focused window: darkened by black at 0.25.
    for (Point p : {Point{300, 220}, Point{250, 200}, Point{10, 230}}) {
        const auto before = plain.at(int(p.x), int(p.y));
        const auto after = dark.at(int(p.x), int(p.y));
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(after[ch], before[ch] * 0.75, 2.0) << p.x << "," << p.y << " channel " << ch;
        EXPECT_EQ(after[3], 255);
    }
    EXPECT_TRUE(track->isInsideTriggeredStateAnimationAtTime(4.4));
    EXPECT_FALSE(track->isInsideTriggeredStateAnimationAtTime(4.6));

    // Fully lifted, the window (20, 20, 100, 80) grows to (0, 0, 170, 136), 1.7 times its width:
    // the pointer at (100, 80) moves with it to the used rectangle's centre + 1.7 × (30, 20).
    const Point moved = track->additionalMouseTransformAtTime(3.0).apply(Point{100, 80});
    EXPECT_NEAR(moved.x, 136, 1e-3);
    EXPECT_NEAR(moved.y, 102, 1e-3);
    EXPECT_TRUE(track->additionalMouseTransformAtTime(1.5).isIdentity()) << "not fully lifted yet";
}

TEST_F(RecordingTrackRendering, CursorSitsAtItsHotSpotAndClickRingsFadeByAge) {
    auto track = addTrack();
    // At 1.5 s: the red cursor with hot spot (2, 3) at the pointer (100, 80); the click at
    // (200, 100) half a second old, a disc of radius 10 at alpha 0.5.
    const Rendered overlay = overlayAt(*track, 1.5);
    // The cursor's 8 × 8 picture spans x 98 … 106 (its first column transparent) and y 75 … 83.
    EXPECT_EQ(overlay.at(100, 78), (std::array<int, 4>{0, 0, 255, 255}));
    EXPECT_EQ(overlay.alpha(98, 78), 0) << "the transparent column";
    EXPECT_EQ(overlay.alpha(106, 78), 0);
    EXPECT_EQ(overlay.alpha(100, 74), 0);
    EXPECT_EQ(overlay.alpha(100, 83), 0);
    EXPECT_EQ(overlay.alpha(100, 82), 255);

    struct Ring {
        double t;
        int radius;
        int alpha;
    };
    for (const Ring& ring : {Ring{1.25, 5, 191}, Ring{1.5, 10, 128}, Ring{1.75, 15, 64}}) {
        const Rendered o = overlayAt(*track, ring.t);
        EXPECT_NEAR(o.alpha(200, 100), ring.alpha, 2) << ring.t;
        EXPECT_NEAR(o.at(200, 100)[0], ring.alpha, 2) << "blue for the left button";
        for (Point d : {Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) {
            const int inX = int(200 + d.x * (ring.radius - 2)), inY = int(100 + d.y * (ring.radius - 2));
            const int outX = int(200 + d.x * (ring.radius + 2)), outY = int(100 + d.y * (ring.radius + 2));
            EXPECT_NEAR(o.alpha(inX, inY), ring.alpha, 2)
                << ring.t << " inside towards " << d.x << "," << d.y;
            EXPECT_EQ(o.alpha(outX, outY), 0) << ring.t << " outside towards " << d.x << "," << d.y;
        }
    }
    // A click exactly one duration old is drawn at alpha 0; a moment later nothing is left.
    EXPECT_EQ(overlayAt(*track, 2.0).alpha(200, 100), 0);
    EXPECT_EQ(overlayAt(*track, 2.01).alpha(200, 100), 0);
}

TEST_F(RecordingTrackRendering, AFadedRecordingFadesItsCursorOnce) {
    auto track = addTrack(RecScript{true, false, false});
    track->setOpacity(0.5f, track->startTime());
    ObjectImageRequest request;
    request.compositionTime = 1.5;
    request.renderer = &renderer;
    const std::vector<CIImage> list = track->createScaledImagesForTime(request, BackAndFrontImages::Include);
    ASSERT_EQ(list.size(), 1u) << "faded as one picture";
    const Rendered faded = render(list.front(), PixelRegion{0, 0, kRecWidth, kRecHeight});
    // The opaque red cursor over the frame, at half opacity: premultiplied (0, 0, 128, 128).
    const std::array<int, 4> cursor = faded.at(100, 78);
    EXPECT_NEAR(cursor[0], 0, 2);
    EXPECT_NEAR(cursor[1], 0, 2);
    EXPECT_NEAR(cursor[2], 128, 2);
    EXPECT_NEAR(cursor[3], 128, 2);
}

TEST_F(RecordingTrackRendering, CursorPicturesAreDecodedOncePerChange) {
    auto track = addTrack();
    const std::uint64_t decodes = mouseCursorDecodeCount();
    // Red from 0 s, green from 2 s: three changes in this walk.
    for (double t : {0.1, 0.5, 1.0, 1.9, 2.1, 2.5, 3.0, 0.3, 0.4})
        overlayAt(*track, t);
    EXPECT_EQ(mouseCursorDecodeCount() - decodes, 3u);
    EXPECT_EQ(renderer.storeCount(kCachePathMouseCursorImage), 3u);
    EXPECT_EQ(overlayAt(*track, 0.4).at(100, 78)[2], 255) << "red again";
    EXPECT_EQ(overlayAt(*track, 2.4).at(100, 78)[1], 255) << "green";
}

TEST_F(RecordingTrackRendering, WithoutRecordedCursorsTheArrowShowsOnEveryFrame) {
    int unreadable = 0;
    const LogSink previous = setLogSink([&unreadable](std::string_view line) {
        if (line.find("cursor picture cannot be read") != std::string_view::npos) ++unreadable;
    });
    for (const RecScript script : {RecScript{false, false, false}, RecScript{true, true, false}}) {
        auto track = addTrack(script);
        renderer.removeAllCachedImages();
        for (int pass = 0; pass < 3; ++pass) {
            const Rendered o = overlayAt(*track, 1.0 + pass * 0.1);
            // The tip at the pointer, the body below and to the right of it.
            EXPECT_GT(o.alpha(103, 74), 0) << script.undecodableCursor << " pass " << pass;
            EXPECT_EQ(o.alpha(98, 80), 0) << script.undecodableCursor << " pass " << pass;
        }
        EXPECT_EQ(renderer.storeCount(kCachePathMouseCursorImage), script.undecodableCursor ? 2u : 1u)
            << "one build per track, kept while the stamp holds";
        container()->removeObject(track.get());
    }
    setLogSink(previous);
    EXPECT_LE(unreadable, 1) << "an unreadable cursor is reported once, not on every frame";
}

// The opaque pixel of the topmost row that has any, leftmost in that row; and the leftmost
// column's topmost. For an arrow pointing up-left both are its tip.
std::pair<std::array<int, 2>, std::array<int, 2>> recArrowCorners(const Rendered& o) {
    std::array<int, 2> topRow{-1, -1}, leftColumn{-1, -1};
    for (int y = kRecHeight - 1; y >= 0 && topRow[0] < 0; --y)
        for (int x = 0; x < kRecWidth; ++x)
            if (o.alpha(x, y) > 0) {
                topRow = {x, y};
                break;
            }
    for (int x = 0; x < kRecWidth && leftColumn[0] < 0; ++x)
        for (int y = kRecHeight - 1; y >= 0; --y)
            if (o.alpha(x, y) > 0) {
                leftColumn = {x, y};
                break;
            }
    return {topRow, leftColumn};
}

TEST_F(RecordingTrackRendering, TheDrawnArrowPointsUpLeftWithItsTipAtThePointer) {
    struct Case {
        const char* what;
        RecScript script;
        MouseCursorKind kind;
    };
    const Case cases[] = {
        {"no recorded cursors", RecScript{false, false, false}, MouseCursorKind::Recorded},
        {"an undecodable cursor", RecScript{true, true, false}, MouseCursorKind::Recorded},
        {"the arrow kind", RecScript{true, false, false}, MouseCursorKind::Arrow},
    };
    const LogSink previous = setLogSink([](std::string_view) {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto track = addTrack(c.script);
        track->setMouseCursorKind(c.kind, track->startTime());
        renderer.removeAllCachedImages();
        // The pointer (100, 80) is the top-left corner of the pixel (100, 79).
        const Rendered o = overlayAt(*track, 0.5);
        const auto [topRow, leftColumn] = recArrowCorners(o);
        EXPECT_NEAR(topRow[0], 100, 1);
        EXPECT_NEAR(topRow[1], 79, 1);
        EXPECT_NEAR(leftColumn[0], 100, 1);
        EXPECT_NEAR(leftColumn[1], 79, 1);
        // The body widens downwards: the tail lies well below and right of the tip.
        EXPECT_GT(o.alpha(109, 60), 0);
        EXPECT_EQ(o.alpha(109, 95), 0);
        container()->removeObject(track.get());
    }
    setLogSink(previous);
}

TEST(RecordingFocusOverlay, LiftsEachRectangleOutOfTheDarkenedPicture) {
    // White, with a red square at (10, 10, 20, 20).
    auto bitmap = std::make_shared<Bitmap>(100, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            bitmap->setPixel(x, y, {255, 255, 255, 255});
    for (int y = 70; y < 90; ++y)
        for (int x = 10; x < 30; ++x)
            bitmap->setPixel(x, y, {0, 0, 255, 255}); // rows top first: image y 10 … 30
    const CIImage picture = CIImage::imageWithBitmap(bitmap);
    const PixelRegion whole{0, 0, 100, 100};
    struct Case {
        float alpha;
        Point liftedProbe; // inside the lifted piece
    };
    for (const Case& c : {Case{1.0f, {70, 70}}, Case{0.5f, {40, 40}}}) {
        const int before = assertionFailureCount();
        const Rendered out =
            render(imageByGeneratingOverlayOfRects({Rect(10, 10, 20, 20)}, {Rect(50, 50, 40, 40)}, {c.alpha},
                                                   Color::deviceRGB(0, 0, 0, 1), 0.5, picture),
                   whole);
        EXPECT_EQ(assertionFailureCount(), before);
        EXPECT_NEAR(out.at(5, 95)[0], 128, 2) << "darkened by black at 0.5";
        const auto lifted = out.at(int(c.liftedProbe.x), int(c.liftedProbe.y));
        // The piece at its alpha over the darkened picture.
        EXPECT_NEAR(lifted[2], 128 + (255 - 128) * c.alpha, 3) << c.alpha;
        EXPECT_NEAR(lifted[0], 128 * (1 - c.alpha), 3) << c.alpha;
    }
    // Unequal lists are reported, and the pairs present still drawn.
    const int before = assertionFailureCount();
    const CIImage uneven =
        imageByGeneratingOverlayOfRects({Rect(10, 10, 20, 20), Rect(0, 0, 5, 5)}, {Rect(50, 50, 40, 40)},
                                        {1.0f}, Color::deviceRGB(0, 0, 0, 1), 0.5, picture);
    EXPECT_EQ(assertionFailureCount(), before + 2);
    EXPECT_NEAR(render(uneven, whole).at(70, 70)[2], 255, 3);
}

TEST_F(RecordingTrackRendering, SpotlightFadesAroundItsStateAndFollowsPictureAndBacking) {
    auto track = addTrack(RecScript{true, false, false});
    addState(*track, 2.5, 3.5, 5);
    struct Case {
        double t;
        int sheetAlpha; // black at 0.5 × the fade
    };
    for (const Case& c : {Case{1.9, 0}, Case{2.25, 64}, Case{3.0, 128}, Case{3.75, 64}, Case{4.1, 0}}) {
        const Rendered o = overlayAt(*track, c.t);
        EXPECT_NEAR(o.alpha(300, 200), c.sheetAlpha, 2) << c.t;
        // The hole, of radius 0.1 × the picture height, lies on the pointer.
        EXPECT_EQ(o.alpha(100 - 15, 80), 0) << c.t;
    }
    // The sheet is kept while the picture size and backing factor stay.
    const std::uint64_t built = renderer.storeCount(kCachePathMouseFocusImage);
    EXPECT_EQ(built, 1u);
    overlayAt(*track, 3.0, 2.0f);
    EXPECT_EQ(renderer.storeCount(kCachePathMouseFocusImage), 2u) << "a new backing factor";
    overlayAt(*track, 3.1, 2.0f);
    EXPECT_EQ(renderer.storeCount(kCachePathMouseFocusImage), 2u);
}

TEST_F(RecordingTrackRendering, DamagedStylesStillDrawAFrame) {
    auto track = addTrack();
    auto style = makeModelObject<MouseVisualization>();
    style->strength = 1 << 30;
    style->size = 1.0e9f;
    style->duration = 0.0;
    track->setMouseVisualization(style);
    // A click duration of zero shows no marks; the cursor still draws.
    const Rendered o = overlayAt(*track, 1.0);
    EXPECT_EQ(o.alpha(200, 100), 0);
    EXPECT_EQ(o.alpha(100, 78), 255);
    style->duration = 1.0;
    const CIImage huge = mouseEventsImageAtTime(*track, 1.5, Point{});
    ASSERT_FALSE(huge.isNull());
    EXPECT_LE(huge.extent().size.width, 2048);
}

TEST_F(RecordingTrackRendering, OverlayFollowsTheEventZoomButASpotlightKeepsItInPlace) {
    auto track = addTrack(RecScript{true, false, false});
    auto& state = addState(*track, 0.5, 3.6, 0);
    // 1.5 × about the click (200, 100): the (green) cursor's pixel at (100, 78) moves to (50, 67).
    Rendered o = overlayAt(*track, 3.25);
    EXPECT_EQ(o.at(52, 67), (std::array<int, 4>{0, 255, 0, 255}));
    EXPECT_EQ(o.alpha(100, 78), 0);

    // Kind 1: the picture stays, a sheet at the zoom's strength (0.5 × 0.5) with its hole on the
    // zoom's centre, which for this kind is the pointer.
    state.setKind(1);
    o = overlayAt(*track, 3.25);
    EXPECT_EQ(o.at(100, 78), (std::array<int, 4>{0, 255, 0, 255}));
    EXPECT_NEAR(o.alpha(300, 200), 64, 2);
    EXPECT_EQ(o.alpha(85, 80), 0);
    EXPECT_NEAR(o.alpha(215, 100), 64, 2);
}

TEST_F(RecordingTrackRendering, WheelArrowsShowAboveThePointerAndFadeInTheLastQuarter) {
    auto track = addTrack(RecScript{true, false, false});
    track->mouseVisualizationStyle()->showMouseWheel = true;
    // The up arrow's picture spans (84, 92) to (116, 128) for the pointer at (100, 80).
    const int full = overlayAt(*track, 1.5).alpha(100, 110);
    EXPECT_GT(full, 128);
    EXPECT_EQ(overlayAt(*track, 1.7).alpha(100, 110), full) << "no fade before three quarters";
    EXPECT_NEAR(overlayAt(*track, 1.9).alpha(100, 110), full * 0.4, 3);
    EXPECT_EQ(overlayAt(*track, 2.1).alpha(100, 110), 0);
    EXPECT_EQ(overlayAt(*track, 1.5).alpha(100, 70), 0) << "no arrow below";
    // An up arrow: its tip row is narrow at the top of the picture, its shaft narrow at the bottom,
    // its head wide in the middle.
    const Rendered o = overlayAt(*track, 1.5);
    auto rowWidth = [&o](int y) {
        int width = 0;
        for (int x = 80; x < 120; ++x)
            width += o.alpha(x, y) > 0 ? 1 : 0;
        return width;
    };
    EXPECT_LT(rowWidth(125), 8) << "the tip";
    EXPECT_GT(rowWidth(109), 24) << "the head near its base";
    EXPECT_LT(rowWidth(96), 18) << "the shaft";
    EXPECT_GT(rowWidth(96), 8) << "the shaft";
}

TEST_F(RecordingTrackRendering, ThumbnailTilesCoverTheStripFromTheTileUnderItsOrigin) {
    auto track = addTrack();
    const Size thumb = track->underlyingRecording()->thumbSize();
    ASSERT_GT(thumb.width, 0);
    const double w = std::round(thumb.width * (40.0 / thumb.height));
    const auto tiles = track->thumbTiles(Size{500, 40}, 100, Point{130, 5}, 2.0);
    ASSERT_FALSE(tiles.empty());
    EXPECT_EQ(tiles.front().rect.minX(), std::floor(130 / w) * w);
    EXPECT_GE(tiles.back().rect.maxX(), 630);
    EXPECT_LT(tiles.back().rect.minX(), 630);
    bool scrubbed = false;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const auto& tile = tiles[i];
        EXPECT_EQ(tile.rect.size.height, 40);
        EXPECT_EQ(tile.rect.origin.y, 5);
        if (i > 0) {
            EXPECT_EQ(tile.rect.minX(), tiles[i - 1].rect.maxX());
        }
        const bool spans = tile.rect.minX() / 100 < 2.0 && 2.0 < tile.rect.maxX() / 100;
        EXPECT_DOUBLE_EQ(tile.time, spans ? 2.0 : tile.rect.minX() / 100);
        scrubbed = scrubbed || spans;
    }
    EXPECT_TRUE(scrubbed || std::fmod(200.0, w) == 0);
    EXPECT_TRUE(track->thumbTiles(Size{500, 40}, 0, Point{}, 0).empty()) << "no scale, no tiles";

    // Drawn into a strip: the tiles' pictures land where the layout says.
    auto context = GraphicsContext::createBitmapContext(640, 50);
    ASSERT_TRUE(context);
    track->drawThumbs(*context, Size{500, 40}, 100, Point{130, 5}, 0);
    const BitmapRef picture = context->makeImage();
    const int midX = int(tiles.front().rect.minX() + w / 2), midY = 50 - 25;
    EXPECT_EQ(picture->pixelAt(midX, midY).a, 255) << "inside the first tile";
    EXPECT_EQ(picture->pixelAt(5, 2).a, 0) << "below the strip";
}

} // namespace
} // namespace vtl::test
