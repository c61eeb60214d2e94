#include "ObjectsFixture.h"

namespace vtl {
namespace {

using test::ObjectsFixture;
using test::SizedObject;

class AnimationGroups : public ObjectsFixture {};

PlistDictionary step(double time, std::initializer_list<PlistDictionary::Entry> values) {
    PlistDictionary result{{"Time", PropertyList(time)}};
    for (const auto& entry : values)
        result.set(entry.first, entry.second);
    return result;
}

PlistDictionary groupOf(int insertionTime, std::vector<PlistDictionary> steps, int timing = 0) {
    PlistArray list;
    for (auto& s : steps)
        list.emplace_back(std::move(s));
    return PlistDictionary{{"InsertionTime", PropertyList(int64_t{insertionTime})},
                           {"TimingFunction", PropertyList(int64_t{timing})},
                           {"Steps", PropertyList(std::move(list))}};
}

std::vector<double> keyframeTimes(const CompositionBaseObject& object) {
    std::vector<double> times;
    for (const auto& state : object.states())
        times.push_back(state->time());
    return times;
}

TEST_F(AnimationGroups, StepsArePlacedFromTheStartTheEndOrTheGivenTime) {
    struct Case {
        const char* what;
        int insertion;
        std::vector<double> times; // object times of the keyframes made
    };
    const Case cases[] = {
        {"0: after the snapped start", 0, {0, 1}},
        {"1: before the snapped end", 1, {9, 10}},
        {"2: after the given time", 2, {4, 5}},
        {"another number: all at the given time", 5, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto object = add(10, 20);
        EXPECT_FALSE(object->isAnimationEnabled());
        object->addAnimationGroupFromDictionary(
            groupOf(c.insertion,
                    {step(0, {{"Alpha", PropertyList(0.0)}}), step(1, {{"Alpha", PropertyList(1.0)}})}),
            14);
        EXPECT_TRUE(object->isAnimationEnabled()) << "the first group switches animation on";
        EXPECT_EQ(keyframeTimes(*object), c.times);
    }
}

TEST_F(AnimationGroups, AlphaFadesInToThePreviousOpacityAndCompoundsWhenAppliedTwice) {
    auto object = add(0, 10);
    object->setOpacity(0.8f, 0);
    const PlistDictionary fadeIn =
        groupOf(0, {step(0, {{"Alpha", PropertyList(0.0)}}), step(1, {{"Alpha", PropertyList(1.0)}})}, 1);
    object->addAnimationGroupFromDictionary(fadeIn, 0);
    EXPECT_EQ(object->opacityForTime(0), 0.0f);
    EXPECT_FLOAT_EQ(object->opacityForTime(1), 0.8f);
    EXPECT_FLOAT_EQ(object->opacityForTime(5), 0.8f);
    auto first = keyframeAt(*object, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->animationTimingKind(), AnimationTimingKind::EaseInOut) << "the group's timing";

    const PlistDictionary half = groupOf(0, {step(1, {{"Alpha", PropertyList(0.5)}})});
    object->addAnimationGroupFromDictionary(half, 0);
    object->addAnimationGroupFromDictionary(half, 0);
    EXPECT_EQ(object->countOfStates(), 2u) << "the keyframes of the first application are reused";
    EXPECT_FLOAT_EQ(object->opacityForTime(1), 0.2f) << "and the factor applies again";
}

TEST_F(AnimationGroups, MovesTurnsAndScales) {
    auto object = add<SizedObject>(0, 10); // natural 200 × 100
    object->setRect(Rect(100, 100, 200, 100), 0);
    object->addAnimationGroupFromDictionary(
        groupOf(0, {step(2, {{"Rect", PropertyList("{{0.5, -0.25}, {9, 9}}")},
                             {"Rotation", PropertyList(90.0)},
                             {"Scale", PropertyList(2.0)}})}),
        0);
    const Rect moved = object->rectForTime(2);
    EXPECT_NEAR(moved.size.width, 400, 1e-3);
    EXPECT_NEAR(moved.midX(), 200 + 640, 1e-3)
        << "moved by half the canvas width, then scaled about the centre";
    EXPECT_NEAR(moved.midY(), 150 - 180, 1e-3);
    EXPECT_EQ(object->rotationForTime(2), 90.0f);

    auto text = add<SizedObject>(0, 10);
    text->rectInsteadOfScaling = true;
    text->natural = Size{0, 0};
    text->setRect(Rect(100, 100, 60, 40), 0);
    text->addAnimationGroupFromDictionary(groupOf(2, {step(0, {{"Scale", PropertyList(2.0)}})}), 3);
    EXPECT_EQ(text->rectForTime(3), Rect(70, 80, 120, 80)) << "a text-like object doubles its rectangle";

    auto plain = add(0, 10);
    plain->setRect(Rect(0, 0, 60, 40), 0);
    plain->addAnimationGroupFromDictionary(groupOf(0, {step(0, {{"scaling", PropertyList(3.0)}})}), 0);
    EXPECT_EQ(plain->rectForTime(0), Rect(0, 0, 60, 40))
        << "no natural size to scale by: nothing divides by it";
}

TEST_F(AnimationGroups, StepsWithoutValuesOrWithBadTextAreHarmless) {
    auto object = add(0, 10);
    object->setRect(Rect(10, 10, 60, 40), 0);
    object->addAnimationGroupFromDictionary(
        groupOf(0, {step(1, {}), step(2, {{"Rect", PropertyList("not a rectangle")}})}), 0);
    EXPECT_EQ(keyframeTimes(*object), (std::vector<double>{2})) << "the step without a value is left out";
    EXPECT_EQ(object->rectForTime(2), Rect(10, 10, 60, 40)) << "text that does not parse moves nothing";
}

TEST_F(AnimationGroups, AddingAGroupIsOneUndoStep) {
    auto object = add(0, 10);
    settle();
    roundTrip().check("group", [&] {
        object->addAnimationGroupFromDictionary(groupOf(1, {step(0, {{"Alpha", PropertyList(0.0)}}),
                                                            step(1, {{"Rotation", PropertyList(45.0)}})}),
                                                0);
    });
}

} // namespace
} // namespace vtl
