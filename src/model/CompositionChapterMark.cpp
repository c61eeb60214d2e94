#include "model/CompositionChapterMark.h"

#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"

namespace vtl {

namespace {

using Mark = CompositionChapterMark;

} // namespace

const ModelKeyTable<CompositionChapterMark>& CompositionChapterMark::keyValueTable() {
    static const auto table = ModelKeyTable<Mark>()
                                  .undoable("time", &Mark::time, &Mark::setTime)
                                  .undoable("name", &Mark::name, &Mark::setName);
    return table;
}

Mark::CompositionChapterMark(CompositionDocumentServices* document, double time)
    : document_(document)
    , name_(localizedString("New_ChapterMark", "Composition"))
    , time_(time >= 0 ? time : 0) {}

void Mark::setTime(double time) {
    // Not a number is refused too: the marks are sorted by time.
    if (!(time >= 0)) return;
    setObservedValue("time", time_, time);
}

void Mark::setName(const std::string& name) {
    setObservedValue("name", name_, name);
}

CompositionUndoManager* Mark::undoManager() const {
    return document_ ? document_->undoManager() : nullptr;
}

void Mark::updateAfterUndo() {
    NotificationCenter::defaultCenter().post(kChapterMarksChangedNotification, document_);
    CompositionUndoObject::updateAfterUndo();
}

void Mark::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeString("name", name_);
    coder.encodeFloat("time", static_cast<float>(time_));
}

void Mark::initWithCoder(KeyedUnarchiver& coder) {
    if (std::optional<std::string> name = coder.decodeStringForKey("name")) name_ = *name;
    const double time = coder.decodeFloatForKey("time");
    time_ = time >= 0 ? time : 0;
}

} // namespace vtl
