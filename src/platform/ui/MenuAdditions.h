#pragma once
// Menu and text-field helpers the system adds to the toolkit's own classes: a menu item's
// represented object (compared by identity) and whether a text field is being edited.

class QAction;
class QLineEdit;
class QMenu;

namespace vtl {

// Attaches an object to a menu item; the item does not own it.
void setRepresentedObject(QAction& item, const void* object);
const void* representedObject(const QAction& item);

// The first item, in index order, whose represented object is the very same object; null if none.
QAction* itemWithRepresentedObject(const QMenu& menu, const void* object);

// True while the field is being edited: it holds the keyboard focus of its window.
bool isFirstResponder(const QLineEdit& field);

} // namespace vtl
