#pragma once
// An object that receives named actions (the original's selectors) and may be asked to validate
// interface items. Controls send their action to a target; toolbar items ask whether their target,
// or the first responder of their window, answers an action. A validation that returns nothing
// means the object does not answer it. Targets and delegates are never owned.

#include <any>
#include <optional>
#include <string>

class QWidget;

namespace vtl {

class ToolbarItem;

class Responder {
public:
    virtual bool respondsToAction(const std::string& /*action*/) const { return false; }
    // Only called for actions the responder answers; the sender is the control, as a pointer.
    virtual void performAction(const std::string& /*action*/, const std::any& /*sender*/) {}
    virtual std::optional<bool> validateToolbarItem(ToolbarItem&) { return std::nullopt; }
    virtual std::optional<bool> validateUserInterfaceItem(ToolbarItem&) { return std::nullopt; }

    // The first responder of the window holding the widget: the focused widget when it is a
    // responder, else the window when it is one; null otherwise.
    static Responder* firstResponderOfWindow(const QWidget* widget);

protected:
    ~Responder() = default;
};

} // namespace vtl
