#pragma once
// A track's chain of effect units, built from its effect dictionaries (first processes first),
// with the save and restore of the whole chain's state. Used by the track player on the render
// thread and by the exporter offline. Owned by its player (or the exporter's mix).
//
// An effect of a kind this system does not have keeps its slot (so unit indexes match the
// dictionaries) and is passed through, logged once.

#include "audio/AudioEffectUnit.h"
#include "audio/UnitConfigurations.h"
#include "platform/foundation/PropertyList.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace vtl {

class AudioEffectChain {
public:
    AudioEffectChain() = default;
    explicit AudioEffectChain(const std::vector<PropertyList>& effectDictionaries);
    AudioEffectChain(AudioEffectChain&&) noexcept = default;
    AudioEffectChain& operator=(AudioEffectChain&&) noexcept = default;

    std::size_t size() const { return units_.size(); }
    bool empty() const { return units_.empty(); }
    // Null for a slot whose kind is not available.
    AudioEffectUnit* unit(std::size_t index) const {
        return index < units_.size() ? units_[index].get() : nullptr;
    }

    // Allocates every unit's memory; not while process() may run.
    void prepare(double sampleRate, std::size_t maximumFrames);
    // Clears every unit's memory before the next process().
    void requestReset();
    // In chain order, in place; frames ≤ the prepared maximum. Never locks or allocates.
    void process(float* left, float* right, std::size_t frames) noexcept;

    // Saving: each unit's class information under its subtype, with "presetData" when the unit has
    // a present preset; a later unit of the same subtype replaces an earlier one.
    UnitConfigurations saveConfigurations() const;
    // Restoring: each entry goes to the first unit of its subtype (none: skipped); a "presetData"
    // number of 0 or more selects that factory preset first; then the class information applies.
    void restoreConfigurations(const UnitConfigurations& configurations);
    // Applies one entry to one unit, as restoring does.
    static void configureUnit(AudioEffectUnit& unit, const PropertyList& configuration);

private:
    std::vector<std::unique_ptr<AudioEffectUnit>> units_;
};

} // namespace vtl
