// Global hot keys on an X server of the test's own, pressed through XTEST, and the table of
// stored key codes.

#include "platform/capture/HotKey.h"

#include "capture/PrivateXServer.h"
#include "platform/capture/KeyCodes.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchQueue.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

constexpr std::uint32_t kKeyC = 8;
constexpr std::uint32_t kControlOption = 6144;
constexpr std::uint32_t kKeySymbolC = 0x63;

TEST(KeyCodes, NamesSymbolsAndModifierMasks) {
    struct Case {
        std::uint32_t keyCode;
        const char* name;
        std::optional<std::uint32_t> keySymbol;
    };
    const Case cases[] = {
        {0, "A", 0x61},
        {8, "C", 0x63},
        {29, "0", 0x30},
        {24, "=", 0x3d},
        {42, "|", 0x5c},
        {50, "~", 0x60},
        {36, "Return", 0xff0d},
        {49, "Space", 0x20},
        {51, "Delete", 0xff08},
        {52, "Enter", 0xff8d},
        {76, "Enter", 0xff8d},
        {53, "Escape", 0xff1b},
        {65, "KP .", 0xffae},
        {82, "KP 0", 0xffb0},
        {89, "KP 7", 0xffb7},
        {91, "KP 8", 0xffb8},
        {92, "KP 9", 0xffb9},
        {122, "F1", 0xffbe},
        {120, "F2", 0xffbf},
        {105, "F13", 0xffca},
        {117, "Forward Delete", 0xffff},
        {126, "Up Arrow", 0xff52},
        {10, "a", std::nullopt},
        {54, "36", std::nullopt},
        {200, "c8", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stringFromKeyCode(c.keyCode), c.name) << c.keyCode;
        EXPECT_EQ(keySymbolForKeyCode(c.keyCode), c.keySymbol) << c.keyCode;
    }
    const std::uint32_t digits[] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(keyCodeForDigit(d), digits[d]);
    EXPECT_EQ(keyCodeForDigit(10), 0u);
    EXPECT_EQ(keyCodeForDigit(-1), 0u);

    EXPECT_EQ(x11ModifiersForMask(kControlOption), 4 | 8);
    EXPECT_EQ(x11ModifiersForMask(kCommandKeyMask | kShiftKeyMask), 64 | 1);
    EXPECT_EQ(x11ModifiersForMask(0x80), 0);
    EXPECT_EQ(hotKeyText(kKeyC, kControlOption), "Control-Option-C");
    EXPECT_EQ(hotKeyText(36, kCommandKeyMask | kShiftKeyMask), "Shift-Command-Return");
}

class HotKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!testing::startPrivateXServer(error)) GTEST_SKIP() << error;
        driver = std::make_unique<testing::XTestDriver>();
        ASSERT_TRUE(driver->ok());
    }
    void pressControlOptionC() {
        driver->chord({testing::kControlLKeySymbol, testing::kAltLKeySymbol, kKeySymbolC});
    }

    std::unique_ptr<testing::XTestDriver> driver;
};

TEST_F(HotKeyTest, APressAnywhereRunsTheTargetOnTheMainThreadUntilUnregistered) {
    HotKey key("StopCapture", kKeyC, kControlOption);
    int presses = 0;
    key.setTarget([&] {
        EXPECT_TRUE(isMainThread());
        ++presses;
    });
    ASSERT_TRUE(key.registerHotKey()) << "registered";
    EXPECT_TRUE(key.isRegistered());
    EXPECT_EQ(key.keyText(), "Control-Option-C");
    pressControlOptionC();
    EXPECT_TRUE(runMainLoopUntil([&] { return presses == 1; }, 5));
    // The key alone, or with other modifiers, is not the hot key.
    driver->chord({kKeySymbolC});
    driver->chord({testing::kControlLKeySymbol, kKeySymbolC});
    runMainLoopUntil([] { return false; }, 0.2);
    EXPECT_EQ(presses, 1);

    key.unregisterHotKey();
    pressControlOptionC();
    runMainLoopUntil([] { return false; }, 0.2);
    EXPECT_EQ(presses, 1);
}

TEST_F(HotKeyTest, AKeyAnotherProgramHoldsIsRefusedAndFreeAgainOnceReleased) {
    // The test grabs Control + Alt + C first, as another program would.
    xcb_connection_t* other = driver->connection();
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    std::uint8_t keycode = driver->keycode(kKeySymbolC);
    xcb_generic_error_t* error =
        xcb_request_check(other, xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                                      keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);

    HotKey key("StopCapture", kKeyC, kControlOption);
    Status registered = key.registerHotKey();
    ASSERT_FALSE(registered);
    EXPECT_NE(registered.error().find("Another program holds the key"), std::string::npos)
        << registered.error();
    EXPECT_FALSE(key.isRegistered());

    // Nothing of the refused registration stays behind: once the other lets go, the key is free.
    xcb_ungrab_key(other, keycode, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    driver->sync();
    EXPECT_TRUE(key.registerHotKey());
}

TEST(HotKey, AKeyWithoutASymbolIsRefused) {
    HotKey key("StopCapture", 10, kControlOption);
    Status registered = key.registerHotKey();
    EXPECT_FALSE(registered);
    EXPECT_FALSE(key.isRegistered());
}

} // namespace
} // namespace vtl
