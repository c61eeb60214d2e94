#include "platform/ui/Responder.h"

#include <QWidget>

namespace vtl {

Responder* Responder::firstResponderOfWindow(const QWidget* widget) {
    if (!widget) return nullptr;
    QWidget* window = widget->window();
    if (QWidget* focus = window->focusWidget())
        if (auto* responder = dynamic_cast<Responder*>(focus)) return responder;
    return dynamic_cast<Responder*>(window);
}

} // namespace vtl
