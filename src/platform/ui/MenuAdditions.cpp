#include "platform/ui/MenuAdditions.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QVariant>

namespace vtl {

namespace {
// Stored under a property of its own so an item's data() stays free for other uses.
constexpr const char* kRepresentedObjectProperty = "vtlRepresentedObject";
} // namespace

void setRepresentedObject(QAction& item, const void* object) {
    item.setProperty(kRepresentedObjectProperty, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
}

const void* representedObject(const QAction& item) {
    QVariant value = item.property(kRepresentedObjectProperty);
    return value.isValid() ? reinterpret_cast<const void*>(value.value<quintptr>()) : nullptr;
}

QAction* itemWithRepresentedObject(const QMenu& menu, const void* object) {
    for (QAction* item : menu.actions()) {
        if (representedObject(*item) == object) return item;
    }
    return nullptr;
}

bool isFirstResponder(const QLineEdit& field) {
    const QWidget* window = field.window();
    return window && window->focusWidget() == &field && field.hasFocus();
}

} // namespace vtl
