// Draws typical activity on the X display (DISPLAY) for the recorder comparison benchmark, as a
// program of its own so that its work is not counted as the recorder's:
//   x_activity_generator ui SECONDS    a text pane that scrolls now and then (a quarter of the
//                                      time), typing, a blinking cursor, a clock, a progress bar
//                                      and a spinner that changes at least 100 times a second
//   x_activity_generator full SECONDS  the whole 1920 x 1080 screen redrawn with new text-like
//                                      content 30 times a second
// One undecorated window covers the screen's top-left 1920 x 1080 pixels. Exits 0 when the time
// is up, 2 on bad arguments, 1 without a display.

#include "capture/CaptureTestSupport.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kLineHeight = 16;

// Draws on one window covering the area, without waiting for each drawing.
class Painter {
public:
    Painter()
        : window_(0, 0, kWidth, kHeight, 0xf4f4f4) {}
    bool ok() const { return window_.ok(); }
    void fill(int x, int y, int w, int h, std::uint32_t rgb) { window_.paint(x, y, w, h, rgb); }
    // One line of glyph-like marks in grey ink, from x for width pixels, over a cleared background.
    void textLine(int x, int y, int w, std::uint32_t background, std::uint32_t& seed) {
        fill(x, y, w, kLineHeight, background);
        std::vector<xcb_rectangle_t> glyphs;
        for (int gx = x + 4; gx + 10 < x + w;) {
            const int glyph = 3 + int(next(seed) % 6);
            const int top = 3 + int(next(seed) % 3);
            glyphs.push_back({static_cast<std::int16_t>(gx), static_cast<std::int16_t>(y + top),
                              static_cast<std::uint16_t>(glyph), static_cast<std::uint16_t>(12 - top)});
            gx += glyph + 2 + (next(seed) % 8 == 0 ? 6 : 0);
        }
        window_.paint(glyphs, 0x202020 + (next(seed) % 0x30) * 0x010101u);
    }
    // Scrolls: the window's own copy, which waits for the server.
    void copy(int fromX, int fromY, int w, int h, int toX, int toY) {
        window_.copyArea(fromX, fromY, w, h, toX, toY);
    }
    void sync() { window_.sync(); }
    static std::uint32_t next(std::uint32_t& seed) { return (seed = seed * 1664525u + 1013904223u) >> 8; }

private:
    vtl::capturetest::XcbTestWindow window_;
};

// A desktop of a few panes: a 960-pixel text pane on the left that scrolls in bursts, an editor
// on the right where text is typed, and a status bar with a clock, a progress bar and a spinner.
void runUi(Painter& p, double seconds) {
    using clock = std::chrono::steady_clock;
    std::uint32_t seed = 1;
    const int paneX = 0, paneY = 40, paneW = 960, paneH = 1008;
    p.fill(0, 0, kWidth, 40, 0x3a3f4b);
    for (int y = paneY; y < paneY + paneH; y += kLineHeight)
        p.textLine(paneX, y, paneW, 0xfbfbfb, seed);
    p.fill(960, 40, 8, 1008, 0xc8c8c8);
    p.fill(968, 40, 952, 1008, 0xffffff);
    for (int y = 56; y < 56 + 20 * kLineHeight; y += kLineHeight)
        p.textLine(984, y, 600 + int(Painter::next(seed) % 300), 0xffffff, seed);
    p.fill(0, 1048, kWidth, 32, 0xe0e0e0);
    p.sync();

    const auto start = clock::now();
    int typedX = 984, typedLine = 20;
    int step = 0;
    while (clock::now() - start < std::chrono::duration<double>(seconds)) {
        const double t = std::chrono::duration<double>(clock::now() - start).count();
        // Scrolling a quarter of the time: 2.5 s in every 10 s, one line every 50 ms.
        if (std::fmod(t, 10.0) < 2.5 && step % 10 == 0) {
            p.copy(paneX, paneY + kLineHeight, paneW, paneH - kLineHeight, paneX, paneY);
            p.textLine(paneX, paneY + paneH - kLineHeight, paneW, 0xfbfbfb, seed);
        }
        // Typing: a glyph every 80 ms, a new line at the end of one.
        if (step % 16 == 0) {
            const int y = 56 + typedLine * kLineHeight;
            const int glyph = 3 + int(Painter::next(seed) % 6);
            p.fill(typedX, y + 4, glyph, 9, 0x202020);
            typedX += glyph + 2;
            if (typedX > 1700) {
                typedX = 984;
                typedLine = typedLine >= 55 ? 20 : typedLine + 1;
                if (typedLine == 20) p.fill(968, 56 + 20 * kLineHeight, 952, 36 * kLineHeight, 0xffffff);
            }
        }
        // The cursor blinks every half second.
        if (step % 100 == 0)
            p.fill(typedX, 56 + typedLine * kLineHeight + 2, 2, 13, (step / 100) % 2 ? 0xffffff : 0x000000);
        // The clock every second, the progress bar every 100 ms.
        if (step % 200 == 0) {
            std::uint32_t s = static_cast<std::uint32_t>(t) + 7;
            p.textLine(1780, 1056, 120, 0xe0e0e0, s);
        }
        if (step % 20 == 0) {
            const int done = int(std::fmod(t, 20.0) / 20.0 * 400);
            p.fill(1300, 1058, 400, 12, 0xb0b0b0);
            p.fill(1300, 1058, done, 12, 0x2a82da);
        }
        // A spinner turning every 5 ms: something changes at every frame.
        const int phase = step % 8;
        p.fill(1260, 1052, 24, 24, 0xe0e0e0);
        p.fill(1260 + (phase % 4) * 6, 1052 + (phase / 4) * 12, 6, 12, 0x2a82da);
        p.sync();
        ++step;
        std::this_thread::sleep_until(start + std::chrono::microseconds(5000 * step));
    }
}

// The whole screen replaced 30 times a second, like slides or a video at full screen.
void runFull(Painter& p, double seconds) {
    using clock = std::chrono::steady_clock;
    std::uint32_t seed = 3;
    const auto start = clock::now();
    int frame = 0;
    while (clock::now() - start < std::chrono::duration<double>(seconds)) {
        const std::uint32_t background = 0xe8e8e8 - (frame % 16) * 0x040404u;
        for (int y = 0; y < kHeight; y += kLineHeight)
            p.textLine(0, y, kWidth, background, seed);
        p.sync();
        ++frame;
        std::this_thread::sleep_until(start + std::chrono::microseconds(33333 * frame));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "ui") != 0 && std::strcmp(argv[1], "full") != 0)) {
        std::fprintf(stderr, "usage: x_activity_generator ui|full SECONDS\n");
        return 2;
    }
    char* end = nullptr;
    const double seconds = std::strtod(argv[2], &end);
    if (!end || *end || !(seconds > 0)) {
        std::fprintf(stderr, "usage: x_activity_generator ui|full SECONDS\n");
        return 2;
    }
    Painter painter;
    if (!painter.ok()) {
        std::fprintf(stderr, "x_activity_generator: cannot connect to the X display\n");
        return 1;
    }
    if (std::strcmp(argv[1], "ui") == 0)
        runUi(painter, seconds);
    else
        runFull(painter, seconds);
    return 0;
}
