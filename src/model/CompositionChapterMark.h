#pragma once
// A named point in a composition's time line. The objects container owns its chapter marks; the
// document pointer is not owned (the document sets it after loading). Main thread only.

#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"

#include <string>

namespace vtl {

class CompositionDocumentServices;

class CompositionChapterMark : public ModelKeyCoding<CompositionChapterMark, CompositionUndoObject> {
public:
    // Named with the localized "New_ChapterMark".
    explicit CompositionChapterMark(CompositionDocumentServices* document = nullptr, double time = 0);

    std::string className() const override { return "CompositionChapterMark"; }
    // The time is stored as a single-precision float.
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    CompositionDocumentServices* document() const { return document_; }
    void setDocument(CompositionDocumentServices* document) { document_ = document; }

    double time() const { return time_; }
    // A negative time (or not a number) is ignored.
    void setTime(double time);
    const std::string& name() const { return name_; }
    void setName(const std::string& name);

    CompositionUndoManager* undoManager() const override;
    // Posts the chapter-marks notification (object: the document).
    void updateAfterUndo() override;

    static const ModelKeyTable<CompositionChapterMark>& keyValueTable();

private:
    CompositionDocumentServices* document_ = nullptr;
    std::string name_;
    double time_ = 0;
};

} // namespace vtl
