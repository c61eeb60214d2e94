#pragma once
// A styled piece of text on the canvas: the text, a text style (a shared preset or the object's
// own anonymous copy) and whether the rectangle follows the size the text needs. Renders the text
// into a picture for the per-object pipeline, cached under a key of every input; the style's
// frame, corner radius and shadow stand for the object's own. Held by std::shared_ptr like every
// timeline object (the container owns it); the style is shared with other objects and the store.
//
// Threads: setters and style observation run on the main thread. createImageAtTime runs on the
// render thread and only reads (the one-shot invalidation flag is cleared atomically).

#include "objects/CompositionRectangularObject.h"
#include "objects/ObjectThumbnail.h"
#include "objects/TextVisualization.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/ColorSpace.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

struct TextPictureStyle;

class CompositionTextObject : public ModelKeyCoding<CompositionTextObject, CompositionRectangularObject> {
public:
    // The first shipped style, which new text objects take (installed by the style store).
    using DefaultStyleProvider = std::function<std::shared_ptr<TextVisualization>()>;
    static void setDefaultStyleProvider(DefaultStyleProvider provider);

    explicit CompositionTextObject(CompositionObjectsContainer* container);
    CompositionTextObject(CompositionObjectsContainer* container,
                          std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionTextObject() override;

    void didConstruct() override;
    std::string className() const override { return "CompositionTextObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());
    std::shared_ptr<CompositionBaseState> newStateOfStateClass() override;

    // --- Text and style
    const std::string& text() const { return text_; }
    // An empty text is stored as one space; an object named after its text takes the new first line.
    void setText(const std::string& text);
    const std::shared_ptr<TextVisualization>& textVisualizationStyle() const { return textVisualization_; }
    std::shared_ptr<BaseVisualization> textVisualization() const override { return textVisualization_; }
    void setTextVisualization(const std::shared_ptr<TextVisualization>& style);
    bool autoResizeMode() const { return autoResizeMode_; }
    void setAutoResizeMode(bool on);
    bool usesPreset() const { return textVisualization_ && !textVisualization_->anonymous(); }
    // NO gives the object an anonymous copy of its style; YES the first shipped preset.
    void setUsesPreset(bool uses);

    // --- Size
    Size requiredSize() const;
    void resizeToRequiredSize();
    void resizeState(CompositionRectangularState& state, Size size);

    // --- What the kind answers
    float frameThicknessForTime(double compositionTime) const override;
    RGBAColor frameColorForTime(double compositionTime) const override;
    bool drawsFrameAtTime(double compositionTime) const override;
    float cornerRadiusForTime(double compositionTime) const override;
    // A size other than the required one switches auto-resize off first.
    void setRect(const Rect& rect, double compositionTime) override;
    double scalingFactorForTime(double compositionTime) const override {
        return xScalingFactorForTime(compositionTime);
    }
    double ratioForTime(double compositionTime) const override;
    double xScalingFactorForTime(double compositionTime) const override;
    double yScalingFactorForTime(double compositionTime) const override;
    void setXScalingFactor(double factor, double compositionTime) override;
    void setYScalingFactor(double factor, double compositionTime) override;
    bool requiresScalingToBeRespectedForHandleInteraction() const override { return true; }
    bool wantsRectSetInsteadOfScaling() const override { return true; }
    bool wantsRectSetInsteadOfScalingForAnimationGroup() const override { return false; }
    bool wantsNonProportionalResizingByDefault() const override { return true; }
    bool alsoWantsEndSetWhenMovingInTime() const override { return true; }
    Size originalSize() const override { return {}; }
    bool hasOwnVisualization() const override { return false; }
    // The frame the pipeline draws around the text: the rect's size.
    Size frameImageSizeAtTime(double compositionTime, double, float) const override {
        return rectForTime(compositionTime).size;
    }

    // --- Timeline thumbnail: every change rebuilds it a moment later.
    void invalidate() override;
    void tearDown() override;
    void regenerateThumb() { thumbnail_.regenerateThumb(); }
    ObjectThumbnail& thumbnail() { return thumbnail_; }

    // --- Drawing (render thread)
    // How many UTF-16 units of the text show at the time (appear mode 1 types the text in over
    // the first half of the object's duration).
    std::size_t visibleTextUnitsAtTime(double compositionTime) const;
    CIImage renderedText(const std::string& text, const Rect& rect, const TextVisualization& style,
                         double compositionTime, const ColorSpaceRef& colorSpace, double xFactor = 1.0,
                         double yFactor = 1.0) const;
    CIImage createImageAtTime(const ObjectImageRequest& request) override;
    uint64_t imageCacheHashForTime(double compositionTime, double factor) const;
    // What the pipeline's shadow key takes in place of the picture's identity: the key at factor 1,
    // and while the text is typed in, how much of it shows.
    std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest& request) const override;
    uint64_t rasterisationCount() const { return rasterisations_.load(std::memory_order_relaxed); }

    static const ModelKeyTable<CompositionTextObject>& keyValueTable();

protected:
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    ObjectThumbnail thumbnail_{*this};
    void addObservers();
    void removeObservers();
    void textVisualizationChanged();
    const CompositionRectangularState* styleState() const;
    double interpolatedScaling(double compositionTime,
                               double (CompositionRectangularState::*value)() const) const;
    void setScalingFactor(double factor, double compositionTime, bool horizontal);

    std::string text_ = " ";
    std::shared_ptr<TextVisualization> textVisualization_;
    bool autoResizeMode_ = false;
    std::vector<ObservableObject::Token> styleTokens_;
    ScopedNotificationObserver styleUndoObserver_;
    mutable std::atomic<uint64_t> rasterisations_{0};
};

// The plain values the text picture is drawn with.
TextPictureStyle textPictureStyleFor(const TextVisualization& style);

} // namespace vtl
