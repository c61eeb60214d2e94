#pragma once
// A toolbar item that asks its own target whether it is enabled and passes the answer on to its
// view. Owned by its toolbar; the target is not owned.

#include "platform/ui/ToolbarItem.h"

namespace vtl {

class VTLToolbarItem : public ToolbarItem {
public:
    using ToolbarItem::ToolbarItem;

    // Enabled without a target; else the target's answer to validateToolbarItem (a target that
    // does not answer leaves the item enabled).
    void validate() override;

protected:
    // Sets the item's enabled state and its view's.
    void applyEnabled(bool enabled);
};

} // namespace vtl
