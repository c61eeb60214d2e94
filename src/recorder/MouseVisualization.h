#pragma once
// The mouse click and pointer style of a recording (`MouseVisualization`, a `BaseVisualization`):
// the main application archives it into the recording settings, the recorder program reads it and
// stores it again with the recording. Its keyed-archive form is shared by both programs and every
// stored recording. Plain value object, held by std::shared_ptr as archives require.

#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/KeyedArchiveValue.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vtl {

class MouseVisualization : public Archivable {
public:
    // A new style with the defaults and a fresh uid.
    MouseVisualization();

    // BaseVisualization fields.
    std::string name() const { return name_.empty() ? uid : name_; }
    void setName(std::string name) { name_ = std::move(name); }
    std::string uid;
    bool vistrelOwn = false;
    bool documentSpecific = false;
    bool isProjectCopy = false;
    std::optional<std::string> originalVisualizationUID;

    // MouseVisualization fields.
    double duration = 1.0;
    std::int32_t strength = 3;
    float size = 20.0f;
    bool filled = false;
    bool visualizesClicks = true;
    bool visualizeMouseCursor = true;
    ArchivedColor leftClickColor{0, 0, 1, 1, ArchivedColor::deviceRgb};
    ArchivedColor rightClickColor{1, 0, 0, 1, ArchivedColor::deviceRgb};
    ArchivedFont clickFont{"Helvetica", 12};
    ArchivedColor clickFontColor{1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0, 1, ArchivedColor::calibratedRgb};
    bool showClickCount = false;
    bool showMouseWheel = false;
    bool showButtonName = false;
    bool clickBump = false;
    float clickBumpWidth = 20.0f;
    float clickBumpExtent = 40.0f;

    std::string archivedClassName() const override { return "MouseVisualization"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // Registers MouseVisualization and its base classes (needed before unarchiving).
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // Reads a keyed archive whose root is a MouseVisualization.
    static Result<std::shared_ptr<MouseVisualization>> unarchive(std::span<const std::uint8_t> bytes);
    Result<PlistBytes> archivedData() const;

    // Equal in every stored field.
    bool sameStoredValues(const MouseVisualization& other) const;

private:
    std::string name_;
};

} // namespace vtl
