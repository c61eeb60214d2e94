#pragma once
// The mouse click and pointer style of a recording (`MouseVisualization`): how the recorded
// pointer, clicks and wheel turns are drawn over it. The main application archives it into the
// recording settings, the recorder program reads it and stores it again with the recording, and a
// recording track draws with one. Its keyed-archive form is shared by both programs and every
// stored recording. Held by std::shared_ptr as archives require.
//
// The values are plain members, which the recorder program and the archive read and write
// directly; editors change them through the setters, which observers of the style see.

#include "model/BaseVisualization.h"
#include "platform/foundation/KeyedArchiveValue.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vtl {

class MouseVisualization : public ModelKeyCoding<MouseVisualization, BaseVisualization> {
public:
    // A new style with the defaults and a fresh uid.
    MouseVisualization() = default;

    std::string className() const override { return "MouseVisualization"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // Seconds a click or wheel mark stays visible.
    double duration = 1.0;
    std::int32_t strength = 3;
    float size = 20.0f;
    bool filled = false;
    bool visualizesClicks = true;
    bool visualizeMouseCursor = true;
    ArchivedColor leftClickColor{0, 0, 1, 1, ArchivedColor::deviceRgb};
    ArchivedColor rightClickColor{1, 0, 0, 1, ArchivedColor::deviceRgb};
    // Missing fonts are replaced when drawing, so the stored name stays as chosen.
    ArchivedFont clickFont{"Helvetica", 12};
    ArchivedColor clickFontColor{1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0, 1, ArchivedColor::calibratedRgb};
    bool showClickCount = false;
    bool showMouseWheel = false;
    bool showButtonName = false;
    // Stored and edited; nothing draws them.
    bool clickBump = false;
    float clickBumpWidth = 20.0f;
    float clickBumpExtent = 40.0f;

    // Observed setters, one per value.
    void setDuration(double seconds);
    void setStrength(std::int32_t value);
    void setSize(float value);
    void setFilled(bool value);
    void setVisualizesClicks(bool value);
    void setVisualizeMouseCursor(bool value);
    void setLeftClickColor(const ArchivedColor& color);
    void setRightClickColor(const ArchivedColor& color);
    void setClickFont(const ArchivedFont& font);
    void setClickFontColor(const ArchivedColor& color);
    void setShowClickCount(bool value);
    void setShowMouseWheel(bool value);
    void setShowButtonName(bool value);
    void setClickBump(bool value);
    void setClickBumpWidth(float value);
    void setClickBumpExtent(float value);

    // The base copy with the drawing values a copied preset keeps; the font colour, the bump and
    // the two switches start from the defaults.
    std::shared_ptr<BaseVisualization> copy() const override;
    std::string description() const override;

    static const ModelKeyTable<MouseVisualization>& keyValueTable();

    // Registers MouseVisualization and its base classes (needed before unarchiving).
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // Reads a keyed archive whose root is a MouseVisualization.
    static Result<std::shared_ptr<MouseVisualization>> unarchive(std::span<const std::uint8_t> bytes);
    Result<PlistBytes> archivedData() const;

    // Equal in every stored field.
    bool sameStoredValues(const MouseVisualization& other) const;

protected:
    std::shared_ptr<BaseVisualization> makeEmpty() const override;
};

// The opacity of a click label at progress p (0 … 1) of the click's visible time: whole in the
// first half, fading to nothing in the second.
float textAlphaForProgress(float progress);

} // namespace vtl
