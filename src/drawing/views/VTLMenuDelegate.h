#pragma once
// What a pop-up menu tells the one who showed it: that it is about to close, and that a chosen
// item asks for it to be closed. Not owned by the menu.

namespace vtl {

class VTLMenu;

class VTLMenuDelegate {
public:
    // A choice asks the delegate to close the menu (the window hides it and forgets it).
    virtual void closeMenu(VTLMenu& menu) = 0;
    // Sent as closing starts, before the bubble fades out. Optional: the default does nothing.
    virtual void vtlMenuWillClose(VTLMenu&) {}

protected:
    ~VTLMenuDelegate() = default;
};

} // namespace vtl
