#include "platform/ui/MenuAdditions.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace vtl {
namespace {

// One application for the binary, torn down by the test framework before Qt's own exit handlers run.
class WidgetsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

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
