#pragma once
// What a selection table asks of its delegate: the context menu of a row and what the delete keys
// do. A delegate that does not answer keeps the defaults below. Not owned by the table.

#include <optional>

class QMenu;

namespace vtl {

class AquaSelectionTableView;

class AquaSelectionTableViewDelegate {
public:
    // The menu for the row under the pointer (−1 outside every row); nothing: the delegate does not
    // answer, and the table shows its own menu.
    virtual std::optional<QMenu*> menuForRow(int /*row*/) { return std::nullopt; }
    // Backspace or Delete was pressed in the table. The default does nothing (the key is dropped).
    virtual void tableViewDelete(AquaSelectionTableView&) {}

protected:
    ~AquaSelectionTableViewDelegate() = default;
};

} // namespace vtl
