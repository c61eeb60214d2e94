#pragma once
// Sheets: a window shown modal to one parent window (a window-modal dialog) until it is ended.
// The sheet window stays owned by whoever made it.

class QWidget;

namespace vtl {

// Shows the window as a sheet of the window that holds `parent`, centred over it.
void beginSheet(QWidget* sheet, QWidget* parent);
// Hides the sheet and lets its parent window take input again.
void endSheet(QWidget* sheet);
bool isSheet(const QWidget* window);

} // namespace vtl
