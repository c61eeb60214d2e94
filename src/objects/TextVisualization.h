#pragma once
// The text style of text objects (`TextVisualization`): font, colour, paragraph alignment,
// paddings, appear mode, and a rectangular keyframe (owned, with no object) that carries the
// background, frame, corner radius and shadow. A shared preset, or an object's own anonymous
// style. Held by std::shared_ptr; main thread only.

#include "model/BaseVisualization.h"
#include "model/RGBAColor.h"
#include "platform/foundation/KeyedArchiveValue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionRectangularState;

// The attributes text is drawn with: always these three. The drawing layer turns them into its
// own paragraph style.
struct TextStyleAttributes {
    // Alignment of the lines of a paragraph; Natural is the platform's default.
    enum class Alignment { Left, Center, Right, Justified, Natural };
    enum class LineBreak { WordWrapping };

    ArchivedColor foregroundColor;
    ArchivedFont font;
    Alignment alignment = Alignment::Natural;
    LineBreak lineBreakMode = LineBreak::WordWrapping;
    friend bool operator==(const TextStyleAttributes&, const TextStyleAttributes&) = default;
};

class TextVisualization : public ModelKeyCoding<TextVisualization, BaseVisualization> {
public:
    // A style with the defaults and a new default state.
    TextVisualization();
    ~TextVisualization() override;

    std::string className() const override { return "TextVisualization"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // The key paths that views of the style observe.
    static const std::vector<std::string>& observableKeyPaths();
    // The values of the state that the style announces changes of.
    static const std::vector<std::string>& stateObserveKeyPaths();

    const ArchivedFont& font() const { return font_; }
    void setFont(const ArchivedFont& font);
    const ArchivedColor& color() const { return fontColor_; }
    void setColor(const ArchivedColor& color);
    // Stored numbers: 0 left, 1 centre, 2 right, 3 justified.
    std::int32_t alignment() const { return alignment_; }
    void setAlignment(std::int32_t alignment);
    std::int32_t verticalAlignment() const { return verticalAlignment_; }
    void setVerticalAlignment(std::int32_t alignment);
    std::int32_t appearMode() const { return appearMode_; }
    void setAppearMode(std::int32_t mode);
    float horizontalPadding() const { return horizontalPadding_; }
    void setHorizontalPadding(float points);
    float verticalPadding() const { return verticalPadding_; }
    void setVerticalPadding(float points);

    const std::shared_ptr<CompositionRectangularState>& state() const { return state_; }
    // Stops observing the old state and observes the new one.
    void setState(std::shared_ptr<CompositionRectangularState> state);

    const TextStyleAttributes& attributes() const { return attributes_; }
    void recacheAttributes();

    bool anonymous() const override { return anonymous_; }
    // Only ever marks the style anonymous: nothing makes an object's own style shared again.
    void setAnonymous(bool);

    // Posts "VistrelVisualizationDidUndoChangeNotification" with the style.
    void updateAfterUndo() override;

    std::shared_ptr<BaseVisualization> copy() const override;

    static const ModelKeyTable<TextVisualization>& keyValueTable();
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

protected:
    std::shared_ptr<BaseVisualization> makeEmpty() const override;

private:
    void stopObservingState();
    void stateChanged(const KeyValueChange& change);

    ArchivedFont font_{"Helvetica", 54};
    ArchivedColor fontColor_{1, 1, 1, 1, ArchivedColor::deviceRgb};
    std::int32_t alignment_ = 1;
    std::int32_t verticalAlignment_ = 0;
    std::int32_t appearMode_ = 0;
    float horizontalPadding_ = 10.0f;
    float verticalPadding_ = 10.0f;
    std::shared_ptr<CompositionRectangularState> state_;
    TextStyleAttributes attributes_;
    bool anonymous_ = false;
    bool isRegisteredObserver_ = false;
    std::vector<ObservableObject::Token> stateTokens_;
};

} // namespace vtl
