#pragma once
// What a composition document asks of the window that shows it: its editing state (playhead and
// selection), pending inspector edits, the values a saved document hands to its window, and
// questions put to the user. The main window controller implements it; documents without a window (tools,
// tests) have none and take the neutral answers the document gives in its place. Not owned by the document.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class CompositionBaseObject;
class EditingState;

// A question or notice put to the user. Texts are localized-string keys.
struct DocumentAlert {
    std::string messageKey;
    std::string informativeKey;
    std::vector<std::string> buttonKeys; // first: the default button
    bool showsSuppressionBox = false;
};

struct DocumentAlertAnswer {
    std::size_t buttonIndex = 0; // into DocumentAlert::buttonKeys
    bool suppressionTicked = false;
};

class CompositionDocumentWindow {
public:
    virtual ~CompositionDocumentWindow() = default;

    // The playhead and the selection the document reads and sets: the window's editing state.
    virtual EditingState& editingState() = 0;
    virtual void animatedScrollToObject(const std::shared_ptr<CompositionBaseObject>& object) = 0;
    // Commits edits still open in the inspector to the model.
    virtual void takeValuesFromInspector() = 0;

    // Modal question; answers the button chosen.
    virtual DocumentAlertAnswer runAlert(const DocumentAlert& alert) = 0;
    virtual void beep() = 0;

    // State the window keeps for a package: read when saving, handed over once after opening.
    virtual PlistDictionary expandedCollapsedPropertyViewStates() const = 0;
    virtual void setExpandedCollapsedPropertyViewStates(const PlistDictionary& states) = 0;
    // Canvas guide positions, canvas units.
    virtual std::vector<double> horizontalGuides() const = 0;
    virtual std::vector<double> verticalGuides() const = 0;
    virtual void setGuides(const std::vector<double>& horizontal, const std::vector<double>& vertical) = 0;
    virtual void setPixelsPerSecond(double pixelsPerSecond) = 0;
    // The window's frame and its screen's size (zero without a screen).
    virtual Rect windowFrame() const = 0;
    virtual Size screenSize() const = 0;
    virtual void setWindowFrame(const Rect& frame) = 0;
    virtual void resizeWindowToGoodInitialSize() = 0;

    // --- Adding media and objects: a modal notice while a long step runs, the inspector, and
    // the canvas edit modes. Windows that lack them do nothing.
    virtual void showWaitingSheet(const std::string& /*titleKey*/, const std::string& /*messageKey*/) {}
    virtual void hideWaitingSheet() {}
    virtual void setCurrentlyEditingEffectName(const std::string& /*effectName*/) {}
    // 1: an effect's centre, 2: its mask.
    virtual void setDisplayAndDragMode(int /*mode*/) {}

    // --- The document's life: views to refresh, playback, and what a closing document ends.
    virtual void updatePreviewView() {}
    virtual void updateSequencerView() {}
    virtual bool isPlaying() const { return false; }
    virtual void stopPlay() {}
    // The preview pane's content view is in place (the window was just made).
    virtual void contentViewDidAddToSuperView() {}
    // Empties the inspector without observing anything, and closes the hover menus.
    virtual void clearInspector() {}
    virtual void hideAllMenus() {}
    // The window controller goes; the window is not used afterwards.
    virtual void tearDown() {}
};

} // namespace vtl
