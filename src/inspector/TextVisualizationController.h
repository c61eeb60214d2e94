#pragma once
// The store of text style presets: the user's list kept as a keyed archive of an array in the
// user defaults under "textVisualizations", with the shipped presets made when that list is empty.
// One shared instance made on first use (sharedInstance), which also hands new text objects their
// first shipped preset; tests make their own over their own defaults. Main thread only; the
// store owns its presets, which text objects share.

#include "objects/TextVisualization.h"

#include <memory>
#include <string>
#include <vector>

namespace vtl {

class UserDefaults;

class TextVisualizationController {
public:
    static constexpr const char* userDefaultsKey = "textVisualizations";
    using StyleList = std::vector<std::shared_ptr<TextVisualization>>;

    // Reads the stored presets (a damaged or empty archive gives the shipped ones).
    explicit TextVisualizationController(UserDefaults& defaults);

    static TextVisualizationController& sharedInstance();

    // Archives the presets into the user defaults and writes them out.
    Status synchronize();

    const StyleList& availableVisualizations() const { return visualizations_; }
    // Entry i, or the first for an index past the end (none for an empty store).
    std::shared_ptr<TextVisualization> visualizationAtIndex(size_t index) const;
    // The shipped presets, the user's own, and the document's, each sorted by name.
    StyleList visualizationsVistrelOwn() const;
    StyleList visualizationsUser() const;
    StyleList visualizationsDocumentSpecific() const;

    std::shared_ptr<TextVisualization> addNewVisualization();
    void addVisualization(const std::shared_ptr<TextVisualization>& style);
    void removeVisualization(const std::shared_ptr<TextVisualization>& style);
    // A user preset copied from the style (new uid, neither shipped nor a project copy), added.
    std::shared_ptr<TextVisualization> copyOfVisualization(const TextVisualization& style);
    // A document's copy of the preset (new uid, remembering the preset's), not added.
    std::shared_ptr<TextVisualization> projectCopyOfVisualization(const TextVisualization& style) const;

    // The shipped presets "Vistrel 1" … "Vistrel 6".
    static StyleList standardVisualizations();

private:
    UserDefaults& defaults_;
    StyleList visualizations_;
};

} // namespace vtl
