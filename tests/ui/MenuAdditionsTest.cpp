#include "platform/ui/MenuAdditions.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace vtl {
namespace {

TEST(MenuAdditions, FindsTheFirstItemByIdentityNotEquality) {
    int a = 7, b = 7;
    QMenu menu;
    QAction* plain = menu.addAction("plain");
    QAction* first = menu.addAction("first");
    QAction* second = menu.addAction("second");
    setRepresentedObject(*first, &a);
    setRepresentedObject(*second, &a);
    EXPECT_EQ(itemWithRepresentedObject(menu, &a), first);
    EXPECT_EQ(itemWithRepresentedObject(menu, &b), nullptr); // equal value, other object
    EXPECT_EQ(representedObject(*plain), nullptr);
    menu.removeAction(first);
    EXPECT_EQ(itemWithRepresentedObject(menu, &a), second);
}

TEST(MenuAdditions, TextFieldIsFirstResponderOnlyWhileFocused) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit;
    auto* other = new QLineEdit;
    layout->addWidget(field);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    field->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(isFirstResponder(*field));
    EXPECT_FALSE(isFirstResponder(*other));
    other->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(isFirstResponder(*field));
}

} // namespace
} // namespace vtl
