#include "model/CompositionObjectsContainer.h"
#include "model/CompositionShapeState.h"
#include "model/CompositionTextState.h"
#include "model/CompositionTrackState.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "support/ArchiveWriter.h"
#include "support/ModelFixture.h"
#include "support/UndoRoundTrip.h"

#include <functional>

namespace vtl {
namespace {

using test::archiveOf;
using test::ArchiveWriter;
using test::describeArchive;
using test::ModelFixture;

class ModelArchive : public ModelFixture {
protected:
    template <typename T> std::shared_ptr<T> roundTrip(const std::shared_ptr<Archivable>& root) {
        PlistBytes bytes = archiveOf(root);
        auto decoded = KeyedUnarchiver::unarchive<T>(bytes);
        EXPECT_TRUE(decoded.ok()) << decoded.error();
        return std::move(decoded).valueOr(nullptr);
    }
};

TEST_F(ModelArchive, ObjectWithKeyframesOfEveryClassRoundTrips) {
    auto object = makeObject(3, 9);
    object->setName("Clip");
    object->enableAnimations();
    object->setStretchMode(StretchMode::Scale);
    object->setMetaDataObject(PropertyList("value"), "key");
    auto rectangular = addKeyframe(*object, 1, 0.5f, AnimationTimingKind::EaseOut);
    rectangular->setRect(Rect(1, 2, 30, 40));
    rectangular->setBackgroundColor(RGBAColor::device(0, 1, 0, 0.5));
    rectangular->insertObjectInEffectsAtIndex(EffectEntry{{"name", PropertyList("CIBloom")}}, 0);
    rectangular->setEffectValuesForEffectNamed(PlistDictionary{{"inputRadius", PropertyList(2.5)}},
                                               "CIBloom");
    auto shape = makeModelObject<CompositionShapeState>(object.get());
    shape->setTime(2);
    shape->setIsStar(true);
    shape->setRotation(12);
    object->addNewState(shape);
    auto text = makeModelObject<CompositionTextState>(object.get());
    text->setTime(3);
    text->disableAllAnimationProperties();
    object->addNewState(text);
    auto track = makeModelObject<CompositionMovieTrackState>(object.get());
    track->setTime(4);
    track->setPlaybackSpeed(2);
    track->setVisualizesMouseCursor(true);
    track->setVisualizesMouseEvents(false); // decoded track keyframes always carry both
    object->addNewState(track);
    object->setSerializationMode(SerializationMode::Copy); // without references outside the object

    auto decoded = roundTrip<CompositionRectangularObject>(object);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->name(), "Clip");
    EXPECT_EQ(decoded->uniqueID(), object->uniqueID());
    EXPECT_EQ(decoded->startTime(), 3.0);
    EXPECT_EQ(decoded->endTime(), 9.0);
    EXPECT_TRUE(decoded->isAnimationEnabled());
    EXPECT_EQ(decoded->stretchMode(), StretchMode::Scale);
    ASSERT_NE(decoded->metaDataObjectForKey("key"), nullptr);
    ASSERT_EQ(decoded->countOfStates(), 4u);
    const char* classes[] = {"CompositionRectangularState", "CompositionShapeState", "CompositionTextState",
                             "CompositionMovieTrackState"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(decoded->objectInStatesAtIndex(i)->className(), classes[i]);
        EXPECT_EQ(decoded->objectInStatesAtIndex(i)->baseObject(), decoded.get());
    }
    auto decodedRect =
        std::dynamic_pointer_cast<CompositionRectangularState>(decoded->objectInStatesAtIndex(0));
    EXPECT_EQ(decodedRect->rect(), Rect(1, 2, 30, 40));
    EXPECT_EQ(decodedRect->animationTimingKind(), AnimationTimingKind::EaseOut);
    EXPECT_EQ(decodedRect->backgroundColor(), RGBAColor::device(0, 1, 0, 0.5));
    EXPECT_TRUE(decodedRect->hasEffectNamed("CIBloom"));
    auto decodedText =
        std::dynamic_pointer_cast<CompositionRectangularState>(decoded->objectInStatesAtIndex(2));
    EXPECT_FALSE(decodedText->hasRectOrScaling());
    EXPECT_FALSE(decodedText->hasOpacity());

    // Nothing is lost or added: the decoded graph archives to the same bytes.
    decoded->setSerializationMode(SerializationMode::Copy);
    PlistBytes original = archiveOf(object), again = archiveOf(decoded);
    EXPECT_EQ(again, original) << describeArchive(original) << "\n---\n" << describeArchive(again);
}

TEST_F(ModelArchive, FullArchiveKeepsTheReferencesOutsideTheObject) {
    auto owner = makeObject(0, 5), dependent = makeObject(1, 2);
    owner->addDependentTrack(dependent);
    auto decoded = roundTrip<CompositionBaseObject>(owner);
    ASSERT_NE(decoded, nullptr);
    ASSERT_EQ(decoded->countOfDependentTracks(), 1u);
    EXPECT_EQ(decoded->objectInDependentTracksAtIndex(0)->owningTrack(), decoded);

    owner->setSerializationMode(SerializationMode::Copy);
    auto partial = roundTrip<CompositionBaseObject>(owner);
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(partial->countOfDependentTracks(), 0u);
    EXPECT_EQ(partial->compositionObjectsContainer(), nullptr);
}

TEST_F(ModelArchive, AbsentGroupsAreWrittenWithTheirFlags) {
    auto object = makeObject(0, 5);
    auto keyframe = addKeyframe(*object, 1);
    const std::string text = describeArchive(archiveOf(keyframe));
    for (const char* key : {"key_no_rect", "key_no_rotation", "key_no_frame", "key_no_CornerRadius",
                            "key_opacityObject", "rect"}) {
        EXPECT_NE(text.find(key), std::string::npos) << key << " in\n" << text;
    }
    EXPECT_EQ(text.find("key_no_opacity"), std::string::npos);
}

TEST_F(ModelArchive, OlderArchivesDecodeWithDefaults) {
    auto objectWriter =
        std::make_shared<ArchiveWriter>("CompositionRectangularObject", [](KeyedArchiver& coder) {
            coder.encodeString("name", "Old");
            coder.encodeDouble("startTime", 1);
            coder.encodeDouble("endTime", 4);
        });
    auto object = KeyedUnarchiver::unarchive<CompositionBaseObject>(archiveOf(objectWriter));
    ASSERT_TRUE(object.ok()) << object.error();
    EXPECT_EQ(object.value()->stretchMode(), StretchMode::Keep) << "older archives keep keyframes in place";
    EXPECT_FALSE(object.value()->uniqueID().empty());
    EXPECT_EQ(object.value()->countOfStates(), 0u);

    auto stateWriter = std::make_shared<ArchiveWriter>("CompositionTrackState", [](KeyedArchiver& coder) {
        coder.encodeDouble("time", 2);
        coder.encodeRect("rect", Rect(5, 6, 70, 80));
        coder.encodeFloat("opacity", 0.75f);
        coder.encodeBool("key_visualizesMouseCursor", true);
        coder.encodeDouble("key_playbackSpeed", 0);
    });
    auto state = KeyedUnarchiver::unarchive<CompositionTrackState>(archiveOf(stateWriter));
    ASSERT_TRUE(state.ok()) << state.error();
    EXPECT_EQ(state.value()->time(), 2.0);
    EXPECT_EQ(state.value()->rect(), Rect(5, 6, 70, 80));
    EXPECT_FLOAT_EQ(state.value()->opacity(), 0.75f);
    EXPECT_EQ(state.value()->rotationNumber(), 0.0f) << "a very old archive carries every group";
    EXPECT_EQ(state.value()->playbackSpeed(), 1.0) << "an impossible speed of 0 becomes 1";
    EXPECT_EQ(state.value()->xScalingFactor(), 1.0) << "an impossible scaling of 0 becomes 1";
    EXPECT_EQ(state.value()->visualizesMouseCursorNumber(), true);
    EXPECT_EQ(state.value()->visualizesMouseEventsNumber(), false)
        << "a decoded track keyframe carries both numbers";
    EXPECT_FALSE(state.value()->shadowColor().has_value());
}

TEST_F(ModelArchive, StoredModeAndKindNumbersAreCheckedOnDecoding) {
    struct Case {
        int32_t stored;
        StretchMode stretch;
        MouseCursorKind cursor;
        BackgroundKind background;
    };
    const Case cases[] = {
        {1, StretchMode::Scale, MouseCursorKind::Arrow, BackgroundKind::RadialGradient},
        {2, StretchMode::ShiftSecondHalf, MouseCursorKind::RedRing, BackgroundKind::None},
        {3, StretchMode::Keep, MouseCursorKind::BlackDot, BackgroundKind::None},
        {-4, StretchMode::Keep, MouseCursorKind::Recorded, BackgroundKind::None},
        {1 << 30, StretchMode::Keep, MouseCursorKind::Recorded, BackgroundKind::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        auto object = KeyedUnarchiver::unarchive<CompositionBaseObject>(archiveOf(
            std::make_shared<ArchiveWriter>("CompositionRectangularObject", [&](KeyedArchiver& coder) {
                coder.encodeInt32("key_animationStatesStretchMode", c.stored);
            })));
        ASSERT_TRUE(object.ok()) << object.error();
        EXPECT_EQ(object.value()->stretchMode(), c.stretch);
        auto state = KeyedUnarchiver::unarchive<CompositionTrackState>(
            archiveOf(std::make_shared<ArchiveWriter>("CompositionTrackState", [&](KeyedArchiver& coder) {
                coder.encodeInt32("key_mouseCursorKind", c.stored);
            })));
        ASSERT_TRUE(state.ok()) << state.error();
        EXPECT_EQ(state.value()->mouseCursorKind(), c.cursor);
        auto container = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(archiveOf(
            std::make_shared<ArchiveWriter>("CompositionObjectsContainer", [&](KeyedArchiver& coder) {
                coder.encodeInt32("key_backgroundKind", c.stored);
            })));
        ASSERT_TRUE(container.ok()) << container.error();
        EXPECT_EQ(container.value()->backgroundKind(), c.background);
    }
}

// A damaged archive may list one keyframe or triggered state in two objects, the second named only
// weakly (as the owning track) and so gone once decoding ends. The part must never point back at it.
TEST_F(ModelArchive, PartListedInTwoObjectsPointsBackAtTheObjectThatKeepsIt) {
    struct Case {
        const char* key;
        const char* partClass;
        bool inList;
    };
    const Case cases[] = {
        {"states", "CompositionBaseState", true},
        {"noneAnimationState", "CompositionRectangularState", false},
        {"key_triggeredStates", "CompositionBaseTriggeredState", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        auto part = std::make_shared<ArchiveWriter>(c.partClass, [](KeyedArchiver& coder) {
            coder.encodeDouble("time", 1);
            coder.encodeDouble("startTime", 1);
            coder.encodeDouble("endTime", 2);
        });
        auto writePart = [&](KeyedArchiver& coder) {
            if (c.inList) {
                coder.encodeArray(c.key, std::vector<std::shared_ptr<ArchiveWriter>>{part});
            } else {
                coder.encodeObject(c.key, part.get());
            }
        };
        // Decoding reads the keyframes before the owning track, so the other object claims the
        // part last.
        auto other = std::make_shared<ArchiveWriter>("CompositionBaseObject", writePart);
        auto root = std::make_shared<ArchiveWriter>("CompositionBaseObject", [&](KeyedArchiver& coder) {
            writePart(coder);
            coder.encodeObject("owningTrack", other.get());
        });
        auto decoded = KeyedUnarchiver::unarchive<CompositionBaseObject>(archiveOf(root));
        ASSERT_TRUE(decoded.ok()) << decoded.error();
        const auto& object = decoded.value();
        EXPECT_EQ(object->owningTrack(), nullptr) << "nobody keeps the other object";
        if (std::string(c.key) == "states") {
            ASSERT_EQ(object->countOfStates(), 1u);
            EXPECT_EQ(object->objectInStatesAtIndex(0)->baseObject(), object.get());
        } else if (std::string(c.key) == "noneAnimationState") {
            EXPECT_EQ(object->noneAnimationState()->baseObject(), object.get());
        } else {
            ASSERT_EQ(object->countOfTriggeredStates(), 1u);
            EXPECT_EQ(object->objectInTriggeredStatesAtIndex(0)->object(), object.get());
        }
    }
}

TEST_F(ModelArchive, DamagedValuesAreReportedNotCrashed) {
    auto writer = std::make_shared<ArchiveWriter>(
        "CompositionBaseObject", [](KeyedArchiver& coder) { coder.encodeString("states", "not a list"); });
    auto decoded = KeyedUnarchiver::unarchive<CompositionBaseObject>(archiveOf(writer));
    EXPECT_FALSE(decoded.ok());
    EXPECT_FALSE(decoded.error().empty());
}

} // namespace
} // namespace vtl
