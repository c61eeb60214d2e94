#include "drawing/views/CompositionButton.h"
#include "drawing/views/ControlImages.h"
#include "drawing/views/PopupMenuToolbarItem.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Toolbar.h"
#include "ui/WidgetsTestEnvironment.h"

#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <optional>
#include <set>

namespace vtl {
namespace {

using test::renderWidget;

// A square image of the size, filled red inside a transparent one-point border.
ImageRef redSquare(int side) {
    auto context = GraphicsContext::createBitmapContext(side, side);
    context->setFillColor(Color::rgb(1, 0, 0));
    context->fillRect(Rect(1, 1, side - 2, side - 2));
    return Image::withBitmap(context->makeImage());
}

// Answers the named actions and, when set, the two validations.
struct FakeResponder : Responder {
    bool respondsToAction(const std::string& action) const override { return actions.count(action) > 0; }
    std::optional<bool> validateToolbarItem(ToolbarItem&) override { return toolbarAnswer; }
    std::optional<bool> validateUserInterfaceItem(ToolbarItem&) override { return interfaceAnswer; }
    std::set<std::string> actions;
    std::optional<bool> toolbarAnswer;
    std::optional<bool> interfaceAnswer;
};

// A focusable field that answers actions: the window's first responder when focused.
struct ResponderField : QLineEdit, FakeResponder {};

TEST(PopupMenuToolbarItem, TheMenuImageWaitsForTheImageAndCarriesTheTriangle) {
    ASSERT_EQ(menuTriangleImage()->size().width, 10);
    PopupMenuToolbarItem item("share");
    EXPECT_EQ(item.button()->size(), QSize(32, 32));
    EXPECT_EQ(item.minSize(), (Size{32, 32}));
    item.setMenu(std::make_shared<QMenu>());
    EXPECT_TRUE(item.stillNeedsToSetMenuImage());
    EXPECT_FALSE(item.menuImageCreated());
    EXPECT_EQ(item.menuImage(), nullptr);
    ASSERT_NE(item.menuFormRepresentation(), nullptr);
    EXPECT_EQ(item.menuFormRepresentation()->menu(), item.menu().get());

    item.setImage(redSquare(32));
    EXPECT_TRUE(item.menuImageCreated());
    ASSERT_NE(item.menuImage(), nullptr);
    EXPECT_EQ(item.menuImage()->size(), (Size{37, 32}));
    EXPECT_EQ(item.minSize(), (Size{37, 32}));
    EXPECT_EQ(item.maxSize(), (Size{37, 32}));
    // The cell keeps the plain image.
    EXPECT_EQ(item.image()->size(), (Size{32, 32}));

    PopupMenuToolbarItem imageFirst("export");
    imageFirst.setImage(redSquare(32));
    EXPECT_FALSE(imageFirst.menuImageCreated());
    imageFirst.setMenu(std::make_shared<QMenu>());
    EXPECT_TRUE(imageFirst.menuImageCreated());
}

TEST(PopupMenuToolbarItem, ValidationAsksTheToolbarDelegateElseTheReceiverOfTheAction) {
    struct Case {
        const char* name;
        bool hasDelegate;
        std::optional<bool> toolbarAnswer, interfaceAnswer;
        const char* action;
        bool targetAnswers;
        bool expected;
    } cases[] = {
        {"delegate says no", true, false, true, "share:", true, false},
        {"delegate answers only the general question", true, std::nullopt, false, "share:", true, false},
        {"delegate answers neither", true, std::nullopt, std::nullopt, "share:", false, true},
        {"target answers", false, std::nullopt, std::nullopt, "share:", true, true},
        {"target does not answer", false, std::nullopt, std::nullopt, "share:", false, false},
    };
    for (const Case& c : cases) {
        QWidget window;
        auto* toolbar = new Toolbar(&window);
        FakeResponder delegate, target;
        delegate.toolbarAnswer = c.toolbarAnswer;
        delegate.interfaceAnswer = c.interfaceAnswer;
        if (c.hasDelegate) toolbar->setDelegate(&delegate);
        if (c.targetAnswers) target.actions.insert(c.action);
        auto* item = static_cast<PopupMenuToolbarItem*>(
            toolbar->insertItem(std::make_unique<PopupMenuToolbarItem>("share")));
        item->setAction(c.action);
        item->setTarget(&target);
        item->setEnabled(!c.expected);
        item->validate();
        EXPECT_EQ(item->isEnabled(), c.expected) << c.name;
        EXPECT_EQ(item->button()->isEnabled(), c.expected) << c.name;
    }
}

TEST(PopupMenuToolbarItem, WithoutDelegateAndTargetTheFirstResponderDecides) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* toolbar = new Toolbar;
    auto* answering = new ResponderField;
    answering->FakeResponder::actions = {"share:"};
    auto* silent = new ResponderField;
    layout->addWidget(toolbar);
    layout->addWidget(answering);
    layout->addWidget(silent);
    auto* item = static_cast<PopupMenuToolbarItem*>(
        toolbar->insertItem(std::make_unique<PopupMenuToolbarItem>("share")));
    item->setAction("share:");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();

    answering->setFocus();
    item->validate();
    EXPECT_TRUE(item->isEnabled());
    silent->setFocus();
    item->validate();
    EXPECT_FALSE(item->isEnabled());

    // Without an action only the platform's own validation runs, which leaves a view item alone.
    item->setAction("");
    item->setEnabled(true);
    item->validate();
    EXPECT_TRUE(item->isEnabled());
}

TEST(PopupMenuToolbarItem, PressingTheButtonOpensTheMenuJustUnderIt) {
    QWidget window;
    window.setGeometry(100, 100, 200, 120);
    PopupMenuToolbarItem item("share");
    auto menu = std::make_shared<QMenu>();
    menu->addAction("One");
    item.setMenu(menu);
    item.button()->setParent(&window);
    item.button()->move(40, 20);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mousePress(item.button(), Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_TRUE(test::processEventsUntil([&] { return menu->isVisible(); }));
    EXPECT_EQ(menu->pos(), item.button()->mapToGlobal(QPoint(1, 38)));
    menu->hide();
    QTest::mouseRelease(item.button(), Qt::LeftButton, {}, QPoint(10, 10));
    item.button()->setParent(nullptr);
}

TEST(VTLToolbarItem, ATargetDecidesAndTheViewFollows) {
    struct Case {
        bool hasTarget;
        std::optional<bool> answer;
        bool expected;
    } cases[] = {
        {false, std::nullopt, true}, {true, false, false}, {true, true, true}, {true, std::nullopt, true}};
    for (const Case& c : cases) {
        VTLToolbarItem item("play");
        item.setView(new QWidget);
        FakeResponder target;
        target.toolbarAnswer = c.answer;
        if (c.hasTarget) item.setTarget(&target);
        item.setEnabled(!c.expected);
        item.validate();
        EXPECT_EQ(item.isEnabled(), c.expected);
        EXPECT_EQ(item.view()->isEnabled(), c.expected);
    }
}

struct ShownButton {
    ShownButton() {
        button.setImage(redSquare(16));
        button.setAction([this](CompositionButton&) { ++sent; });
        button.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&button));
    }
    CompositionButton button{Rect(0, 0, 32, 32)};
    int sent = 0;
};

TEST(CompositionButton, APressCountsOnlyWhenItEndsInside) {
    struct Case {
        std::vector<QPoint> drags;
        QPoint release;
        int sent;
    } cases[] = {
        {{}, QPoint(16, 16), 1},
        {{QPoint(60, 16), QPoint(16, 16)}, QPoint(16, 16), 1}, // out and back in
        {{QPoint(60, 16)}, QPoint(60, 16), 0},                 // released outside
    };
    for (const Case& c : cases) {
        ShownButton b;
        QTest::mousePress(&b.button, Qt::LeftButton, {}, QPoint(16, 16));
        EXPECT_TRUE(b.button.mouseDownInside());
        for (QPoint p : c.drags)
            QTest::mouseMove(&b.button, p);
        QTest::mouseRelease(&b.button, Qt::LeftButton, {}, c.release);
        EXPECT_EQ(b.sent, c.sent);
        EXPECT_FALSE(b.button.mouseDownInside());
        EXPECT_FALSE(b.button.mouseWasDownInside());
    }
}

TEST(CompositionButton, OnShowsABlueSilhouetteAndDisabledHalfOpacity) {
    ShownButton b;
    // The 16-point image is drawn unscaled in the middle: Qt (8, 8) … (24, 24).
    QImage plain = renderWidget(b.button);
    EXPECT_EQ(QColor(plain.pixel(16, 16)), QColor(255, 0, 0));
    EXPECT_EQ(qAlpha(plain.pixel(2, 2)), 0);

    b.button.setState(ButtonState::On);
    QImage on = renderWidget(b.button);
    EXPECT_EQ(QColor(on.pixel(16, 16)), QColor(0, 0, 255));
    EXPECT_EQ(qAlpha(on.pixel(8, 8)), 0) << "the image's transparent border stays clear";

    b.button.setState(ButtonState::Off);
    b.button.setEnabled(false);
    QImage disabled = renderWidget(b.button);
    EXPECT_NEAR(qAlpha(disabled.pixel(16, 16)), 128, 2);
    QTest::mouseClick(&b.button, Qt::LeftButton, {}, QPoint(16, 16));
    EXPECT_EQ(b.sent, 0);
    EXPECT_FALSE(b.button.mouseDownInside());
}

} // namespace
} // namespace vtl
