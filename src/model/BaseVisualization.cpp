#include "model/BaseVisualization.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <cstdio>

namespace vtl {

BaseVisualization::BaseVisualization()
    : uid(makeGloballyUniqueString()) {}

const ModelKeyTable<BaseVisualization>& BaseVisualization::keyValueTable() {
    static const auto table = ModelKeyTable<BaseVisualization>().undoable(
        "name", &BaseVisualization::storedName, &BaseVisualization::setName);
    return table;
}

void BaseVisualization::registerClasses(ArchiveClassRegistry& registry) {
    if (!registry.contains("CompositionUndoObject"))
        registry.registerClass("CompositionUndoObject", "NSObject", nullptr);
    if (!registry.contains("BaseVisualization")) {
        registry.registerClass("BaseVisualization", "CompositionUndoObject", [] {
            return std::static_pointer_cast<Archivable>(makeModelObject<BaseVisualization>());
        });
    }
}

void BaseVisualization::setName(std::string name) {
    setObservedValue("name", name_, std::move(name));
}

CompositionUndoManager* BaseVisualization::undoManager() const {
    return document_ ? document_->undoManager() : nullptr;
}

void BaseVisualization::encodeWithCoder(KeyedArchiver& coder) const {
    // A style without a name stores nil, never an empty string.
    if (!name_.empty())
        coder.encodeString("name", name_);
    else
        coder.encodeObject("name", ArchivedValue());
    coder.encodeBool("isVistrelOwn", vistrelOwn);
    coder.encodeString("key_uid", uid);
    coder.encodeBool("documentSpecific", documentSpecific);
    if (originalVisualizationUID)
        coder.encodeString("key_originalVisualizationUID", *originalVisualizationUID);
    coder.encodeBool("key_isProjectCopy", isProjectCopy);
}

void BaseVisualization::initWithCoder(KeyedUnarchiver& coder) {
    name_ = coder.decodeStringForKey("name").value_or("");
    vistrelOwn = coder.decodeBoolForKey("isVistrelOwn");
    documentSpecific = coder.decodeBoolForKey("documentSpecific");
    uid = coder.decodeStringForKey("key_uid").value_or("");
    originalVisualizationUID.reset();
    if (auto original = coder.decodeStringForKey("key_originalVisualizationUID"))
        originalVisualizationUID = *original;
    isProjectCopy = coder.decodeBoolForKey("key_isProjectCopy");
}

std::shared_ptr<BaseVisualization> BaseVisualization::makeEmpty() const {
    return makeModelObject<BaseVisualization>();
}

std::shared_ptr<BaseVisualization> BaseVisualization::copy() const {
    std::shared_ptr<BaseVisualization> target = makeEmpty();
    target->name_ = name_;
    target->vistrelOwn = false;
    return target;
}

std::shared_ptr<BaseVisualization> BaseVisualization::projectCopy() const {
    std::shared_ptr<BaseVisualization> target = copy();
    target->originalVisualizationUID = uid;
    target->isProjectCopy = true;
    return target;
}

std::string BaseVisualization::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + className() + ": " + address + "> name: " + (name_.empty() ? "(null)" : name_) +
           " uid: " + uid + " originalUID: " + originalVisualizationUID.value_or("(null)");
}

} // namespace vtl
