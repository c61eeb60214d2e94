#pragma once
// Test support: an X server of this test process alone, with openbox on it, for tests that drive
// the pointer and keyboard with XTEST (tests run in parallel and would otherwise click into each
// other's windows). openbox runs without key and mouse bindings, so clicks on the desktop open no
// menu that grabs the keyboard. Started on first use, points DISPLAY at it; both processes are
// stopped by their ids when the test process ends. Also a small XTEST driver.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

extern char** environ;

namespace vtl::testing {

inline pid_t spawnProcess(const char* const* argv, int outFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 3);
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        posix_spawn_file_actions_adddup2(&actions, null, 1);
        posix_spawn_file_actions_adddup2(&actions, null, 2);
    }
    // The child starts with no signal blocked or ignored, whatever this process does with them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (null >= 0) ::close(null);
    return rc == 0 ? pid : 0;
}

// Whether a window manager has announced itself on the display.
inline bool windowManagerRunning(xcb_connection_t* c) {
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        std::free(atom);
        return false;
    }
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    bool running = reply && xcb_get_property_value_length(reply) == 4;
    std::free(reply);
    std::free(atom);
    return running;
}

// Whether the window manager frames new windows yet (it announces itself before it does): a probe
// window is mapped and must be reparented.
inline bool windowManagerFramesWindows(xcb_connection_t* c) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 50, 50, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(c, probe);
    bool framed = false;
    for (int i = 0; i < 200 && !framed; ++i) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, probe), nullptr);
        framed = tree && tree->parent != screen->root;
        std::free(tree);
        if (!framed) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    xcb_destroy_window(c, probe);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return framed;
}

// Starts Xvfb (1920 × 1080) and, when asked, openbox; false with a message when they cannot run.
inline bool startPrivateXServer(std::string& error, bool withWindowManager = true) {
    static std::string failure;
    static bool started = false;
    static pid_t xvfb = 0, openbox = 0;
    static std::filesystem::path config;
    if (started) return true;
    if (!failure.empty()) {
        error = failure;
        return false;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        error = failure = "no pipe";
        return false;
    }
    const char* xArgs[] = {"Xvfb",         "-displayfd", "3",   "-screen",  "0",
                           "1920x1080x24", "-nolisten",  "tcp", "-noreset", nullptr};
    xvfb = spawnProcess(xArgs, fds[1]);
    ::close(fds[1]);
    std::string number;
    char ch;
    while (xvfb && ::read(fds[0], &ch, 1) == 1 && ch != '\n')
        number += ch;
    ::close(fds[0]);
    if (!xvfb || number.empty()) {
        error = failure = "Xvfb cannot be started";
        return false;
    }
    std::string display = ":" + number;
    ::setenv("DISPLAY", display.c_str(), 1);
    std::atexit([] {
        if (openbox > 0) {
            ::kill(openbox, SIGTERM);
            ::waitpid(openbox, nullptr, 0);
        }
        if (xvfb > 0) {
            ::kill(xvfb, SIGTERM);
            ::waitpid(xvfb, nullptr, 0);
        }
        if (!config.empty()) std::filesystem::remove(config);
    });
    if (withWindowManager) {
        config = std::filesystem::temp_directory_path() /
                 ("vistrel-openbox-" + std::to_string(::getpid()) + ".xml");
        std::ofstream(config)
            << "<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
               "<keyboard></keyboard>\n<mouse></mouse>\n</openbox_config>\n";
        std::string configPath = config.string();
        const char* obArgs[] = {"openbox", "--sm-disable", "--config-file", configPath.c_str(), nullptr};
        openbox = spawnProcess(obArgs);
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        bool up = false;
        for (int i = 0; i < 200 && openbox && !xcb_connection_has_error(c); ++i) {
            if ((up = windowManagerRunning(c))) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        // openbox announces itself before its startup is over, and a window mapped in that time
        // can leave it waiting for good: it is given a moment, then must frame a probe window.
        if (up) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (up) up = windowManagerFramesWindows(c);
        xcb_disconnect(c);
        if (!up) {
            error = failure = "openbox cannot be started";
            return false;
        }
    }
    started = true;
    return true;
}

// Moves the pointer and presses buttons and keys on the display through XTEST.
class XTestDriver {
public:
    XTestDriver() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        symbols_ = xcb_key_symbols_alloc(connection_);
    }
    ~XTestDriver() {
        if (symbols_) xcb_key_symbols_free(symbols_);
        xcb_disconnect(connection_);
    }
    XTestDriver(const XTestDriver&) = delete;
    XTestDriver& operator=(const XTestDriver&) = delete;

    bool ok() const { return symbols_ != nullptr; }
    xcb_connection_t* connection() const { return connection_; }

    void moveTo(int x, int y) {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                            static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
        sync();
    }
    void button(int x11Button, bool press) {
        xcb_test_fake_input(connection_, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                            static_cast<std::uint8_t>(x11Button), XCB_CURRENT_TIME, root_, 0, 0, 0);
        sync();
    }
    void click(int x11Button) {
        button(x11Button, true);
        button(x11Button, false);
    }
    // The first key code of the key symbol.
    std::uint8_t keycode(std::uint32_t keySymbol) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keySymbol);
        std::uint8_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    void key(std::uint32_t keySymbol, bool press) {
        xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode(keySymbol),
                            XCB_CURRENT_TIME, root_, 0, 0, 0);
        sync();
    }
    // Presses the keys in order and releases them in reverse.
    void chord(std::initializer_list<std::uint32_t> keySymbols) {
        for (std::uint32_t k : keySymbols)
            key(k, true);
        for (auto it = std::rbegin(keySymbols); it != std::rend(keySymbols); ++it)
            key(*it, false);
    }
    void sync() {
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_key_symbols_t* symbols_ = nullptr;
};

inline constexpr std::uint32_t kControlLKeySymbol = 0xffe3;
inline constexpr std::uint32_t kAltLKeySymbol = 0xffe9;

} // namespace vtl::testing
