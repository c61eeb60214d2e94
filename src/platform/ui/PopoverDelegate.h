#pragma once
// Told when a popover closes, whether by its owner or by the user. Not owned by the popover.

namespace vtl {

class Popover;

class PopoverDelegate {
public:
    virtual void popoverWillClose(Popover&) {}
    virtual void popoverDidClose(Popover&) {}

protected:
    ~PopoverDelegate() = default;
};

} // namespace vtl
