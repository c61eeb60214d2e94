#include "recorder/synthetic/SyntheticScreenSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtl {

namespace {

void storePixel(std::uint8_t* p, std::uint32_t bgr) {
    p[0] = static_cast<std::uint8_t>(bgr & 0xff);
    p[1] = static_cast<std::uint8_t>((bgr >> 8) & 0xff);
    p[2] = static_cast<std::uint8_t>((bgr >> 16) & 0xff);
    p[3] = 255;
}

} // namespace

SyntheticScreenSource::SyntheticScreenSource(SyntheticScreenSettings settings)
    : settings_(settings)
    , random_(settings.seed * 0x9e3779b97f4a7c15ull + 1) {
    const std::uint32_t w = std::max<std::uint32_t>(settings_.width, 1);
    const std::uint32_t h = std::max<std::uint32_t>(settings_.height, 1);
    settings_.width = w;
    settings_.height = h;
    surface_ = std::make_shared<MemorySurface>(w, h);
    paintBackground();
    background_.assign(surface_->pixels(), surface_->pixels() + surface_->bytesPerRow() * h);

    // Movers and changing rectangles stay in the left half when a scrolling area takes the right.
    const double fieldWidth = settings_.movedBlocks ? std::floor(w / 2.0) : w;
    const double size = std::min<double>({double(settings_.movingRectSize), fieldWidth / 2, h / 2.0});
    for (unsigned i = 0; i < settings_.movingRects; ++i) {
        Mover mover;
        mover.x = double(random() % std::max<std::uint64_t>(1, std::uint64_t(fieldWidth - size)));
        mover.y = double(random() % std::max<std::uint64_t>(1, std::uint64_t(h - size)));
        mover.vx = double(random() % 13) + 3;
        mover.vy = double(random() % 9) + 2;
        mover.colour = static_cast<std::uint32_t>(random() & 0xffffff);
        movers_.push_back(mover);
    }
    for (unsigned i = 0; i < settings_.changingRects; ++i) {
        const double cw = std::min<double>(settings_.changingRectWidth, fieldWidth);
        const double ch = std::min<double>(settings_.changingRectHeight, h);
        const double x = double(random() % std::max<std::uint64_t>(1, std::uint64_t(fieldWidth - cw)));
        const double y = double(random() % std::max<std::uint64_t>(1, std::uint64_t(h - ch)));
        changing_.push_back(Rect(x, y, cw, ch));
    }
    if (settings_.movedBlocks) {
        scrollArea_ = Rect(std::floor(w / 2.0), 0, w - std::floor(w / 2.0), h);
        paintScrollRows(0, h);
        background_.assign(surface_->pixels(), surface_->pixels() + surface_->bytesPerRow() * h);
    }
}

std::uint64_t SyntheticScreenSource::random() {
    // xorshift64*
    random_ ^= random_ >> 12;
    random_ ^= random_ << 25;
    random_ ^= random_ >> 27;
    return random_ * 0x2545f4914f6cdd1dull;
}

void SyntheticScreenSource::paintBackground() {
    // A soft gradient with thin text-like lines, so the JPEG has real work to do.
    const std::uint32_t w = settings_.width;
    const std::uint32_t h = settings_.height;
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = surface_->pixels() + y * surface_->bytesPerRow();
        const bool textRow = (y % 18) >= 6 && (y % 18) <= 12;
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t b = 200 + (x * 40) / w;
            std::uint32_t g = 180 + (y * 60) / h;
            std::uint32_t r = 160 + ((x + y) % 64);
            if (textRow && ((x / 7 + y / 18) % 5 != 0) && ((x * 13 + y * 7) % 11 < 4)) b = g = r = 40;
            storePixel(row + x * 4, (r << 16) | (g << 8) | b);
        }
    }
}

void SyntheticScreenSource::restoreBackground(const Rect& rect) {
    const auto x0 = static_cast<std::size_t>(rect.minX());
    const auto y0 = static_cast<std::size_t>(rect.minY());
    const auto w = static_cast<std::size_t>(rect.width());
    const auto h = static_cast<std::size_t>(rect.height());
    const std::size_t stride = surface_->bytesPerRow();
    for (std::size_t y = y0; y < y0 + h; ++y)
        std::memcpy(surface_->pixels() + y * stride + x0 * 4, background_.data() + y * stride + x0 * 4,
                    w * 4);
}

void SyntheticScreenSource::fillRect(const Rect& rect, std::uint32_t colour, bool framed) {
    const auto x0 = static_cast<std::uint32_t>(rect.minX());
    const auto y0 = static_cast<std::uint32_t>(rect.minY());
    const auto w = static_cast<std::uint32_t>(rect.width());
    const auto h = static_cast<std::uint32_t>(rect.height());
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = surface_->pixels() + (y0 + y) * surface_->bytesPerRow() + x0 * 4;
        for (std::uint32_t x = 0; x < w; ++x) {
            const bool border = framed && (x < 3 || y < 3 || x + 3 >= w || y + 3 >= h);
            storePixel(row + x * 4, border ? 0x202020 : colour);
        }
    }
}

void SyntheticScreenSource::paintChanging(const Rect& rect, std::uint64_t step) {
    const auto x0 = static_cast<std::uint32_t>(rect.minX());
    const auto y0 = static_cast<std::uint32_t>(rect.minY());
    const auto w = static_cast<std::uint32_t>(rect.width());
    const auto h = static_cast<std::uint32_t>(rect.height());
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = surface_->pixels() + (y0 + y) * surface_->bytesPerRow() + x0 * 4;
        for (std::uint32_t x = 0; x < w; ++x) {
            const bool ink = ((x / 9 + step) % 4 != 0) && ((x * 7 + y * 3 + step * 5) % 10 < 4);
            storePixel(row + x * 4, ink ? 0x101010 : 0xf0f0e8);
        }
    }
}

std::uint32_t SyntheticScreenSource::scrollPixel(std::uint64_t documentRow, std::uint32_t x) const {
    const bool line = (documentRow % 20) >= 5 && (documentRow % 20) <= 13;
    const bool ink = line && ((x * 11 + documentRow * 3) % 13 < 5) && ((x / 6 + documentRow / 20) % 6 != 0);
    return ink ? 0x303030 : static_cast<std::uint32_t>(0xfafafa - (documentRow / 20 % 8) * 0x010101);
}

void SyntheticScreenSource::paintScrollRows(std::uint32_t firstRow, std::uint32_t rowCount) {
    const auto x0 = static_cast<std::uint32_t>(scrollArea_.minX());
    const auto w = static_cast<std::uint32_t>(scrollArea_.width());
    for (std::uint32_t y = firstRow; y < firstRow + rowCount; ++y) {
        std::uint8_t* row = surface_->pixels() + y * surface_->bytesPerRow() + x0 * 4;
        for (std::uint32_t x = 0; x < w; ++x)
            storePixel(row + x * 4, scrollPixel(scrollOffset_ + y, x));
    }
}

SyntheticUpdate SyntheticScreenSource::nextFrame() {
    SyntheticUpdate update;
    update.surface = surface_;
    const double w = settings_.width;
    const double h = settings_.height;
    const std::uint64_t frame = frameNumber_++;
    const double fieldWidth = settings_.movedBlocks ? std::floor(w / 2.0) : w;
    const double size = std::min<double>({double(settings_.movingRectSize), fieldWidth / 2, h / 2.0});
    if (frame == 0) {
        for (const Mover& mover : movers_) {
            fillRect(Rect(mover.x, mover.y, size, size), mover.colour, true);
        }
        for (const Rect& rect : changing_)
            paintChanging(rect, 0);
        update.changedRects.push_back(Rect(0, 0, w, h));
        paintFrameNumber(frame, update);
        return update;
    }

    if (settings_.movedBlocks && scrollArea_.height() > settings_.scrollStepRows) {
        // Scroll the area up: its pixels come from scrollStepRows further down in the old picture.
        const std::uint32_t step = settings_.scrollStepRows;
        const auto x0 = static_cast<std::size_t>(scrollArea_.minX());
        const auto areaWidth = static_cast<std::size_t>(scrollArea_.width());
        const auto areaHeight = static_cast<std::uint32_t>(scrollArea_.height());
        const std::size_t stride = surface_->bytesPerRow();
        for (std::uint32_t y = 0; y + step < areaHeight; ++y)
            std::memmove(surface_->pixels() + y * stride + x0 * 4,
                         surface_->pixels() + (y + step) * stride + x0 * 4, areaWidth * 4);
        scrollOffset_ += step;
        paintScrollRows(areaHeight - step, step);
        update.movedRects.push_back(Rect(scrollArea_.minX(), 0, scrollArea_.width(), areaHeight - step));
        update.movedDeltaX = 0;
        update.movedDeltaY = step;
        update.changedRects.push_back(Rect(scrollArea_.minX(), areaHeight - step, scrollArea_.width(), step));
    }

    for (const Mover& mover : movers_) {
        const Rect old(mover.x, mover.y, size, size);
        restoreBackground(old);
        update.changedRects.push_back(old);
    }
    for (Mover& mover : movers_) {
        mover.x += mover.vx;
        mover.y += mover.vy;
        if (mover.x < 0 || mover.x + size > fieldWidth) {
            mover.vx = -mover.vx;
            mover.x = std::clamp(mover.x, 0.0, fieldWidth - size);
        }
        if (mover.y < 0 || mover.y + size > h) {
            mover.vy = -mover.vy;
            mover.y = std::clamp(mover.y, 0.0, h - size);
        }
    }
    // Changing rectangles are painted first so movers pass over them.
    for (const Rect& rect : changing_) {
        paintChanging(rect, frame);
        update.changedRects.push_back(rect);
    }
    for (const Mover& mover : movers_) {
        const Rect now(mover.x, mover.y, size, size);
        fillRect(now, mover.colour, true);
        update.changedRects.push_back(now);
    }
    paintFrameNumber(frame, update);
    return update;
}

void SyntheticScreenSource::paintFrameNumber(std::uint64_t frame, SyntheticUpdate& update) {
    if (!settings_.frameNumberBlock) return;
    // Painted last and reported every frame, so whatever passed over the block is covered again.
    const std::uint32_t cells = std::min(frameNumberBits, settings_.width / frameNumberCellPixels);
    const std::uint32_t side = std::min(frameNumberCellPixels, settings_.height);
    if (cells == 0) return;
    for (std::uint32_t bit = 0; bit < cells; ++bit)
        fillRect(Rect(double(bit * frameNumberCellPixels), 0, frameNumberCellPixels, side),
                 ((frame >> bit) & 1) ? 0xffffff : 0x000000, false);
    update.changedRects.push_back(Rect(0, 0, double(cells * frameNumberCellPixels), side));
}

std::shared_ptr<MemorySurface> SyntheticScreenSource::snapshot() const {
    auto copy =
        std::make_shared<MemorySurface>(surface_->width(), surface_->height(), surface_->bytesPerRow());
    std::memcpy(copy->pixels(), surface_->pixels(), surface_->bytesPerRow() * surface_->height());
    return copy;
}

} // namespace vtl
