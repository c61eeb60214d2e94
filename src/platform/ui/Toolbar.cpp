#include "platform/ui/Toolbar.h"

#include "platform/graphics/QtBridge.h"
#include "platform/ui/ToolbarItem.h"

#include <QAction>
#include <QIcon>
#include <QPixmap>
#include <cmath>

namespace vtl {

namespace {

QIcon iconFor(const ImageRef& image) {
    if (!image) return QIcon();
    const BitmapRef bitmap = image->bestBitmapForPixelSize(image->size());
    if (!bitmap) return QIcon();
    return QIcon(QPixmap::fromImage(qt::wrap(*bitmap).copy()));
}

} // namespace

Toolbar::Toolbar(QWidget* parent)
    : QToolBar(parent) {
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
}

Toolbar::~Toolbar() {
    // Item views are the items' own: take them out of the bar before the bar deletes its children.
    for (auto& item : items_)
        if (QWidget* view = item->view()) view->setParent(nullptr);
    for (auto& item : items_)
        item->toolbar_ = nullptr;
}

ToolbarItem* Toolbar::insertItem(std::unique_ptr<ToolbarItem> item) {
    if (!item) return nullptr;
    ToolbarItem* raw = item.get();
    raw->toolbar_ = this;
    QAction* action = nullptr;
    if (QWidget* view = raw->view()) {
        action = addWidget(view);
        view->show();
    } else {
        action = addAction(QString::fromStdString(raw->label()));
        QObject::connect(action, &QAction::triggered, this, [raw] { raw->performAction(); });
    }
    items_.push_back(std::move(item));
    actions_.push_back(action);
    itemChanged(*raw);
    return raw;
}

void Toolbar::itemChanged(ToolbarItem& item) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() != &item) continue;
        QAction* action = actions_[i];
        action->setEnabled(item.isEnabled());
        action->setToolTip(QString::fromStdString(item.toolTip()));
        if (!item.view()) action->setIcon(iconFor(item.image()));
        if (QWidget* view = item.view()) {
            const Size min = item.minSize(), max = item.maxSize();
            if (min.width > 0 && min.height > 0)
                view->setMinimumSize(int(std::lround(min.width)), int(std::lround(min.height)));
            if (max.width > 0 && max.height > 0)
                view->setMaximumSize(int(std::lround(max.width)), int(std::lround(max.height)));
        }
    }
}

void Toolbar::validateVisibleItems() {
    for (auto& item : items_)
        item->validate();
}

} // namespace vtl
