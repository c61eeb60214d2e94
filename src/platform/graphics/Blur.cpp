#include "platform/graphics/Blur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace vtl {

namespace {

// Box sizes whose three passes approximate a gaussian of the given sigma.
std::array<int, 3> boxesForGauss(double sigma) {
    double wIdeal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int wl = static_cast<int>(std::floor(wIdeal));
    if (wl % 2 == 0) wl--;
    int wu = wl + 2;
    double mIdeal = (12 * sigma * sigma - 3.0 * wl * wl - 12.0 * wl - 9) / (-4.0 * wl - 4);
    int m = static_cast<int>(std::lround(mIdeal));
    std::array<int, 3> sizes{};
    for (int i = 0; i < 3; ++i)
        sizes[i] = i < m ? wl : wu;
    return sizes;
}

void boxBlurPass(std::vector<float>& src, std::vector<float>& dst, int w, int h, int r, bool horizontal) {
    int n = horizontal ? w : h;
    int lines = horizontal ? h : w;
    double scale = 1.0 / (2 * r + 1);
    for (int line = 0; line < lines; ++line) {
        auto idx = [&](int i) { return horizontal ? (line * w + i) : (i * w + line); };
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int i = -r; i <= r; ++i) {
                int k = std::clamp(i, -1, n);
                sum += (k < 0 || k >= n) ? 0 : src[idx(k) * 4 + c];
            }
            for (int i = 0; i < n; ++i) {
                dst[idx(i) * 4 + c] = static_cast<float>(sum * scale);
                int out = i - r, in = i + r + 1;
                if (out >= 0) sum -= src[idx(out) * 4 + c];
                if (in < n) sum += src[idx(in) * 4 + c];
            }
        }
    }
}

} // namespace

void gaussianBlurPixels(uint8_t* pixels, int w, int h, size_t bytesPerRow, double sigma) {
    if (!(sigma >= 0.25) || w <= 0 || h <= 0) return;
    // Beyond a few times the image's size a wider blur only leaves the image fainter, while its
    // box sizes would overflow an int and its passes run as long as the radius.
    sigma = std::min(sigma, 4.0 * std::max(w, h));
    std::vector<float> a(static_cast<size_t>(w) * h * 4), b(a.size());
    for (int y = 0; y < h; ++y) {
        const uint8_t* line = pixels + static_cast<size_t>(y) * bytesPerRow;
        for (int x = 0; x < w * 4; ++x)
            a[static_cast<size_t>(y) * w * 4 + x] = line[x];
    }
    for (int box : boxesForGauss(sigma)) {
        int r = (box - 1) / 2;
        if (r <= 0) continue;
        boxBlurPass(a, b, w, h, r, true);
        boxBlurPass(b, a, w, h, r, false);
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* line = pixels + static_cast<size_t>(y) * bytesPerRow;
        for (int x = 0; x < w * 4; ++x)
            line[x] = static_cast<uint8_t>(
                std::clamp(std::lround(a[static_cast<size_t>(y) * w * 4 + x]), 0L, 255L));
    }
}

void gaussianBlur(Bitmap& bitmap, double sigma) {
    gaussianBlurPixels(bitmap.data(), bitmap.width(), bitmap.height(), bitmap.bytesPerRow(), sigma);
}

} // namespace vtl
