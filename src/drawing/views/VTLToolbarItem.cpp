#include "drawing/views/VTLToolbarItem.h"

#include "platform/ui/Responder.h"

#include <QWidget>

namespace vtl {

void VTLToolbarItem::applyEnabled(bool enabled) {
    setEnabled(enabled);
    if (QWidget* v = view()) v->setEnabled(enabled);
}

void VTLToolbarItem::validate() {
    Responder* receiver = target();
    applyEnabled(!receiver || receiver->validateToolbarItem(*this).value_or(true));
}

} // namespace vtl
