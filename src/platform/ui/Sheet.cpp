#include "platform/ui/Sheet.h"

#include <QWidget>

namespace vtl {

namespace {
constexpr const char* kSheetProperty = "vtlIsSheet";
}

void beginSheet(QWidget* sheet, QWidget* parent) {
    if (!sheet || !parent) return;
    QWidget* parentWindow = parent->window();
    sheet->setParent(parentWindow, Qt::Sheet | Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setProperty(kSheetProperty, true);
    sheet->adjustSize();
    const QPoint centre = parentWindow->mapToGlobal(parentWindow->rect().center());
    sheet->move(centre - QPoint(sheet->width() / 2, sheet->height() / 2));
    sheet->show();
    sheet->raise();
}

void endSheet(QWidget* sheet) {
    if (!sheet) return;
    sheet->hide();
    sheet->setWindowModality(Qt::NonModal);
    sheet->setProperty(kSheetProperty, false);
}

bool isSheet(const QWidget* window) {
    return window && window->property(kSheetProperty).toBool();
}

} // namespace vtl
