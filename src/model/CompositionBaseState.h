#pragma once
// A keyframe state: the values of one timeline object at one moment of its life (time relative to
// the object's start, effects and their values, the disabled flag). Owned by its object's keyframe
// list through std::shared_ptr; the back-pointer to the object is not owned. Main thread only.

#include "model/CompositionUndoObject.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionBaseObject;

// One effect of a keyframe: a dictionary with at least "name".
using EffectEntry = PlistDictionary;

class CompositionBaseState : public CompositionUndoObject {
public:
    explicit CompositionBaseState(CompositionBaseObject* owner);

    std::string className() const override { return "CompositionBaseState"; }

    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    double time() const { return time_; }
    // Clamped to the owner's duration; posts "VistrelStateChangedTimeNotification".
    virtual void setTime(double time);
    // Adds without clamping and without notification.
    void moveByTime(double delta) { time_ += delta; }

    CompositionBaseObject* baseObject() const { return object_; }
    void setBaseObject(CompositionBaseObject* object);
    // Points a copy or a decoded keyframe at its object without reporting a change.
    void adoptBaseObject(CompositionBaseObject* object) { object_ = object; }

    bool isDisabled() const { return isDisabled_; }
    void setDisabled(bool disabled);

    // Effects: the list (a copy), the indexed accessors and the value dictionaries by effect name.
    std::vector<EffectEntry> effects() const { return effects_; }
    void setEffects(const std::vector<EffectEntry>& effects);
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

    // Whether the keyframe carries the attribute group (rectangular keyframes have groups).
    virtual bool carriesAttributeGroup(const std::string&) const { return false; }

    CompositionUndoManager* undoManager() const override;
    std::vector<std::string> undoKeyPaths() const override;
    void updateAfterUndo() override;

    std::string description() const;

    // A copy for the same owner with every value (time, curve and the like included). The copy is
    // not in any list and its values are set directly, so making it registers no undo.
    std::shared_ptr<CompositionBaseState> copy() const;

    std::any valueForKey(const std::string& key) const override;
    bool setValueForKey(const std::string& key, const std::any& value) override;
    std::size_t countForKey(const std::string& key) const override;
    std::any valueAtIndex(const std::string& key, std::size_t index) const override;
    bool insertValueAtIndex(const std::string& key, std::size_t index, const std::any& value) override;
    bool removeValueAtIndex(const std::string& key, std::size_t index) override;

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
    double time_ = 0;
    CompositionBaseObject* object_ = nullptr;
    std::vector<EffectEntry> effects_;
    PlistDictionary effectValues_;
    bool isDisabled_ = false;
};

} // namespace vtl
