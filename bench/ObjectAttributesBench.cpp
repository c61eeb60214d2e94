// The attribute reads the image pipeline makes for one object per frame (rectangle, scaling,
// opacity, rotation, frame, shadow, corner radius) on objects with 100 and 1,000 keyframes, beside
// the way those reads used to find their keyframes (a copy of the group's keyframes per read), in
// the same run.

#include "objects/CompositionRectangularObject.h"

#include <benchmark/benchmark.h>

using namespace vtl;

namespace {

class NaturalSizeObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return {640, 360}; }
};

// One keyframe a second; every one moves and fades, every second one turns, every fourth one
// changes the frame and shadow, as ready-made animations and hand edits leave them.
std::shared_ptr<NaturalSizeObject> objectWithKeyframes(int count) {
    auto object = makeModelObject<NaturalSizeObject>(nullptr);
    object->setStartTimeEndTime(0, count);
    object->enableAnimations();
    for (int i = 0; i < count; ++i) {
        auto state = object->createNewStateForTime(i, kGroupRectOrScaling);
        auto& keyframe = static_cast<CompositionRectangularState&>(*state);
        keyframe.setRect(Rect(i % 50, i % 30, 640 + i % 7, 360 + i % 5));
        keyframe.setOpacity(static_cast<float>(i % 10) / 10);
        keyframe.setAnimationTimingKind(static_cast<AnimationTimingKind>(i % 4));
        if (i % 2 == 0) keyframe.setRotation(static_cast<float>(i % 90));
        if (i % 4 == 0) {
            keyframe.setFrameThickness(static_cast<float>(i % 6));
            keyframe.setShadowRadius(static_cast<float>(i % 9));
            keyframe.setCornerRadius(static_cast<float>(i % 12));
        }
        object->addNewState(state);
    }
    return object;
}

void readFrame(const CompositionRectangularObject& object, double time) {
    benchmark::DoNotOptimize(object.rectForTime(time));
    benchmark::DoNotOptimize(object.xScalingFactorForTime(time));
    benchmark::DoNotOptimize(object.yScalingFactorForTime(time));
    benchmark::DoNotOptimize(object.opacityForTime(time));
    benchmark::DoNotOptimize(object.rotationForTime(time));
    benchmark::DoNotOptimize(object.frameThicknessForTime(time));
    benchmark::DoNotOptimize(object.frameColorForTime(time));
    benchmark::DoNotOptimize(object.drawsFrameAtTime(time));
    benchmark::DoNotOptimize(object.shadowColorForTime(time));
    benchmark::DoNotOptimize(object.shadowOpacityForTime(time));
    benchmark::DoNotOptimize(object.shadowRadiusForTime(time));
    benchmark::DoNotOptimize(object.shadowDistanceForTime(time));
    benchmark::DoNotOptimize(object.shadowAngleForTime(time));
    benchmark::DoNotOptimize(object.drawsShadowAtTime(time));
    benchmark::DoNotOptimize(object.cornerRadiusForTime(time));
}

// Frame times at 30 fps that wander over the whole object.
double frameTime(std::int64_t frame, int keyframes) {
    return static_cast<double>((frame * 7919) % (keyframes * 30)) / 30.0;
}

void BM_FrameAttributeReads(benchmark::State& state) {
    const int keyframes = static_cast<int>(state.range(0));
    auto object = objectWithKeyframes(keyframes);
    std::int64_t frame = 0;
    for (auto _ : state)
        readFrame(*object, frameTime(frame++, keyframes));
}
BENCHMARK(BM_FrameAttributeReads)->Arg(100)->Arg(1000);

// The former lookup: each read copied the group's keyframes into a new list and bracketed the time
// in it (the fifteen reads of a frame make eleven such lookups and the scaling and corner radius
// read the rectangle again).
void BM_CopyingLookupPerFrame(benchmark::State& state) {
    const int keyframes = static_cast<int>(state.range(0));
    auto object = objectWithKeyframes(keyframes);
    const char* groups[] = {
        kGroupRectOrScaling, kGroupRectOrScaling, kGroupRectOrScaling, kGroupOpacity,
        kGroupRotation,      kGroupFrame,         kGroupFrame,         kGroupFrame,
        kGroupFrame,         kGroupFrame,         kGroupFrame,         kGroupFrame,
        kGroupFrame,         kGroupFrame,         kGroupFrame,         kGroupRectOrScaling};
    std::int64_t frame = 0;
    for (auto _ : state) {
        const double time = frameTime(frame++, keyframes);
        for (const char* group : groups) {
            StateList carrying = object->statesForAttributeGroupNamed(group);
            benchmark::DoNotOptimize(object->bracketStatesInList(carrying, time));
        }
    }
}
BENCHMARK(BM_CopyingLookupPerFrame)->Arg(100)->Arg(1000);

} // namespace
