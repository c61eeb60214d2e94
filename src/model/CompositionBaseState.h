#pragma once
// A keyframe state: the values of one timeline object at one moment of its life (time relative to
// the object's start, effects and their values, the disabled flag). Owned by its object's keyframe
// list through std::shared_ptr; the back-pointer to the object is not owned. Main thread only,
// except that the time and the disabled flag change under the owner's keyframe-list lock.

#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"
#include "model/RGBAColor.h"
#include "model/TimingCurves.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vtl {

class CompositionBaseObject;

// One effect of a keyframe: a dictionary with at least "name".
using EffectEntry = PlistDictionary;

class CompositionBaseState : public ModelKeyCoding<CompositionBaseState, CompositionUndoObject> {
public:
    explicit CompositionBaseState(CompositionBaseObject* owner);

    std::string className() const override { return "CompositionBaseState"; }

    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    double time() const { return time_; }
    // Clamped to the owner's duration; posts "VistrelStateChangedTimeNotification".
    virtual void setTime(double time);
    // What undo sets: the earlier time exactly, without the clamping, because the owner may have
    // been shortened since without moving its keyframes.
    virtual void restoreTime(double time);
    // Adds without clamping and without notification.
    void moveByTime(double delta);

    CompositionBaseObject* baseObject() const { return object_; }
    void setBaseObject(CompositionBaseObject* object);
    // Points a copy or a decoded keyframe at its object without reporting a change.
    void adoptBaseObject(CompositionBaseObject* object) { object_ = object; }

    bool isDisabled() const { return isDisabled_; }
    void setDisabled(bool disabled);

    // Effects: the list (a copy), the indexed accessors and the value dictionaries by effect name.
    std::vector<EffectEntry> effects() const { return effects_; }
    void setEffects(const std::vector<EffectEntry>& effects);
    // Installs a list without reporting a change (keyframes not yet in a list).
    void adoptEffects(std::vector<EffectEntry> effects) { effects_ = std::move(effects); }
    bool hasEffects() const { return !effects_.empty(); }
    bool hasEffectNamed(const std::string& name) const;
    std::size_t countOfEffects() const { return effects_.size(); }
    EffectEntry objectInEffectsAtIndex(std::size_t index) const { return effects_.at(index); }
    void insertObjectInEffectsAtIndex(const EffectEntry& entry, std::size_t index);
    void removeObjectFromEffectsAtIndex(std::size_t index);
    const PlistDictionary& effectValues() const { return effectValues_; }
    void setEffectValues(const PlistDictionary& values);
    const PlistDictionary* effectValuesForEffectNamed(const std::string& name) const {
        const PropertyList* values = effectValues_.find(name);
        return values ? values->dictionaryValue() : nullptr;
    }
    void setEffectValuesForEffectNamed(const PlistDictionary& values, const std::string& name);

    // --- Effect operations. Group names are "effect_" + the effect (filter) name.
    static std::string groupNameForEffect(const std::string& effectName) { return "effect_" + effectName; }
    static std::string effectNameForGroup(const std::string& group) {
        return group.size() > 7 ? group.substr(7) : std::string();
    }
    std::vector<std::string> allEffectNamesAsArray() const;
    std::set<std::string> allEffectNames() const;
    bool canAddEffectNamed(const std::string& effectName) const { return !hasEffectNamed(effectName); }
    bool canAddEffect(const EffectEntry& entry) const;
    // Appends when the effect is not there yet.
    void addEffect(const EffectEntry& entry);
    // A missing effect is logged and changes nothing.
    void moveEffect(const std::string& group, std::size_t index);
    void removeEffectNamed(const std::string& group);
    // The effect's values stay, so an undone removal finds them again.
    void removeEffectAtIndex(std::size_t index);
    void setEmptyEffectValuesForEffectNamed(const std::string& effectName);
    void setAllEffectValues(const PlistDictionary& values);
    // The keyframe's value, else the owner's first keyframe's (animation on, this one later in the
    // list), else the filter default; nullopt when none exists.
    std::optional<PropertyList> objectForEffectName(const std::string& effectName,
                                                    const std::string& attribute) const;
    float floatForEffectName(const std::string& effectName, const std::string& attribute) const;
    RGBAColor colorForEffectName(const std::string& effectName, const std::string& attribute) const;
    static std::optional<PropertyList> defaultObjectValueForEffectNamed(const std::string& effectName,
                                                                        const std::string& attribute);
    static float defaultFloatValueForEffectNamed(const std::string& effectName, const std::string& attribute);
    static RGBAColor defaultColorValueForEffectNamed(const std::string& effectName,
                                                     const std::string& attribute);
    // Nothing when the effect has no value dictionary here; undoable unless undo is off.
    void setFloatForEffectNamed(float value, const std::string& effectName, const std::string& attribute);
    void undoSetFloatForEffectNamed(float value, const std::string& effectName, const std::string& attribute);
    // Not undoable (the inspector's colour well registers its own change).
    void setColorForEffectNamed(const RGBAColor& color, const std::string& effectName,
                                const std::string& attribute);
    // Mask in unit coordinates of the object's frame; (0, 0, 1, 1) counts as no mask.
    bool hasMaskForEffectNamed(const std::string& effectName) const;
    Rect maskForEffectNamed(const std::string& effectName, bool* isValid = nullptr) const;
    // Clamped into the unit square; a side below 0.05 is refused.
    void setMaskForEffectNamed(const Rect& mask, const std::string& effectName);
    void undoSetMaskForEffectNamed(const Rect& mask, const std::string& effectName);
    Point centerForEffectNamed(const std::string& effectName) const;
    void setCenterForEffectNamed(Point center, const std::string& effectName);
    void undoSetCenterForEffectNamed(Point center, const std::string& effectName) {
        setCenterForEffectNamed(center, effectName);
    }
    // Stores a value without undo (filling new keyframes); creates the value dictionary.
    void storeEffectValue(const std::string& effectName, const std::string& attribute,
                          const PropertyList& value);
    // Sets (or with nullopt removes) one value, registering the exact previous state for undo:
    // a value that did not exist is removed again, so the filter default shows once more.
    void replaceEffectValue(const std::string& effectName, const std::string& attribute,
                            const std::optional<PropertyList>& value);

    // The timing curve from this keyframe to the next (rectangular keyframes have one).
    virtual AnimationTimingKind effectTimingKind() const { return AnimationTimingKind::Linear; }
    // Removes the optional attribute groups (rectangular keyframes have them).
    virtual void disableAllAnimationProperties() {}

    // Whether the keyframe carries the attribute group (rectangular keyframes have groups).
    virtual bool carriesAttributeGroup(const std::string&) const { return false; }

    CompositionUndoManager* undoManager() const override;
    void updateAfterUndo() override;

    std::string description() const;

    // A copy for the same owner with every value (time, curve and the like included). The copy is
    // not in any list and its values are set directly, so making it registers no undo.
    std::shared_ptr<CompositionBaseState> copy() const;

    static const ModelKeyTable<CompositionBaseState>& keyValueTable();

protected:
    // Follows the owner: keyframes of offscreen compositions register nothing.
    bool acceptsUndoRegistration() const override;
    // A new, empty keyframe of the same class for the same owner.
    virtual std::shared_ptr<CompositionBaseState> makeEmptyCopy() const;
    // Copies this keyframe's values into `target` (a keyframe of the same class).
    virtual void copyValuesInto(CompositionBaseState& target) const;
    virtual std::string descriptionDetails() const { return {}; }
    // Time writes that skip the clamping (track keyframes).
    void writeTime(double time);
    void postTimeChanged() const;

private:
    template <typename Write> void writeUnderOwnerLock(Write&& write);

    double time_ = 0;
    CompositionBaseObject* object_ = nullptr;
    std::vector<EffectEntry> effects_;
    PlistDictionary effectValues_;
    bool isDisabled_ = false;
};

} // namespace vtl
