#include "recorder/synthetic/SyntheticScreenSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtl::recording {

namespace {

void storePixel(std::uint8_t* p, std::uint32_t bgr) {
    p[0] = static_cast<std::uint8_t>(bgr & 0xff);
    p[1] = static_cast<std::uint8_t>((bgr >> 8) & 0xff);
    p[2] = static_cast<std::uint8_t>((bgr >> 16) & 0xff);
    p[3] = 255;
}

} // namespace

SyntheticScreenSource::SyntheticScreenSource(SyntheticScreenSettings settings)
    : m_settings(settings)
    , m_random(settings.seed * 0x9e3779b97f4a7c15ull + 1) {
    const std::uint32_t w = std::max<std::uint32_t>(m_settings.width, 1);
    const std::uint32_t h = std::max<std::uint32_t>(m_settings.height, 1);
    m_settings.width = w;
    m_settings.height = h;
    m_surface = std::make_shared<MemorySurface>(w, h);
    paintBackground();
    m_background.assign(m_surface->pixels(), m_surface->pixels() + m_surface->bytesPerRow() * h);

    // Movers and changing rectangles stay in the left half when a scrolling area takes the right.
    const double fieldWidth = m_settings.movedBlocks ? std::floor(w / 2.0) : w;
    const double size = std::min<double>({double(m_settings.movingRectSize), fieldWidth / 2, h / 2.0});
    for (unsigned i = 0; i < m_settings.movingRects; ++i) {
        Mover mover;
        mover.x = double(random() % std::max<std::uint64_t>(1, std::uint64_t(fieldWidth - size)));
        mover.y = double(random() % std::max<std::uint64_t>(1, std::uint64_t(h - size)));
        mover.vx = double(random() % 13) + 3;
        mover.vy = double(random() % 9) + 2;
        mover.colour = static_cast<std::uint32_t>(random() & 0xffffff);
        m_movers.push_back(mover);
    }
    for (unsigned i = 0; i < m_settings.changingRects; ++i) {
        const double cw = std::min<double>(m_settings.changingRectWidth, fieldWidth);
        const double ch = std::min<double>(m_settings.changingRectHeight, h);
        const double x = double(random() % std::max<std::uint64_t>(1, std::uint64_t(fieldWidth - cw)));
        const double y = double(random() % std::max<std::uint64_t>(1, std::uint64_t(h - ch)));
        m_changing.push_back(Rect(x, y, cw, ch));
    }
    if (m_settings.movedBlocks) {
        m_scrollArea = Rect(std::floor(w / 2.0), 0, w - std::floor(w / 2.0), h);
        paintScrollRows(0, h);
        m_background.assign(m_surface->pixels(), m_surface->pixels() + m_surface->bytesPerRow() * h);
    }
}

std::uint64_t SyntheticScreenSource::random() {
    // xorshift64*
    m_random ^= m_random >> 12;
    m_random ^= m_random << 25;
    m_random ^= m_random >> 27;
    return m_random * 0x2545f4914f6cdd1dull;
}

void SyntheticScreenSource::paintBackground() {
    // A soft gradient with thin text-like lines, so the JPEG has real work to do.
    const std::uint32_t w = m_settings.width;
    const std::uint32_t h = m_settings.height;
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = m_surface->pixels() + y * m_surface->bytesPerRow();
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
    const std::size_t stride = m_surface->bytesPerRow();
    for (std::size_t y = y0; y < y0 + h; ++y)
        std::memcpy(m_surface->pixels() + y * stride + x0 * 4, m_background.data() + y * stride + x0 * 4,
                    w * 4);
}

void SyntheticScreenSource::fillRect(const Rect& rect, std::uint32_t colour, bool framed) {
    const auto x0 = static_cast<std::uint32_t>(rect.minX());
    const auto y0 = static_cast<std::uint32_t>(rect.minY());
    const auto w = static_cast<std::uint32_t>(rect.width());
    const auto h = static_cast<std::uint32_t>(rect.height());
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = m_surface->pixels() + (y0 + y) * m_surface->bytesPerRow() + x0 * 4;
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
        std::uint8_t* row = m_surface->pixels() + (y0 + y) * m_surface->bytesPerRow() + x0 * 4;
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
    const auto x0 = static_cast<std::uint32_t>(m_scrollArea.minX());
    const auto w = static_cast<std::uint32_t>(m_scrollArea.width());
    for (std::uint32_t y = firstRow; y < firstRow + rowCount; ++y) {
        std::uint8_t* row = m_surface->pixels() + y * m_surface->bytesPerRow() + x0 * 4;
        for (std::uint32_t x = 0; x < w; ++x)
            storePixel(row + x * 4, scrollPixel(m_scrollOffset + y, x));
    }
}

SyntheticUpdate SyntheticScreenSource::nextFrame() {
    SyntheticUpdate update;
    update.surface = m_surface;
    const double w = m_settings.width;
    const double h = m_settings.height;
    const std::uint64_t frame = m_frameNumber++;
    const double fieldWidth = m_settings.movedBlocks ? std::floor(w / 2.0) : w;
    const double size = std::min<double>({double(m_settings.movingRectSize), fieldWidth / 2, h / 2.0});
    if (frame == 0) {
        for (const Mover& mover : m_movers) {
            fillRect(Rect(mover.x, mover.y, size, size), mover.colour, true);
        }
        for (const Rect& rect : m_changing)
            paintChanging(rect, 0);
        update.changedRects.push_back(Rect(0, 0, w, h));
        return update;
    }

    if (m_settings.movedBlocks && m_scrollArea.height() > m_settings.scrollStepRows) {
        // Scroll the area up: its pixels come from scrollStepRows further down in the old picture.
        const std::uint32_t step = m_settings.scrollStepRows;
        const auto x0 = static_cast<std::size_t>(m_scrollArea.minX());
        const auto areaWidth = static_cast<std::size_t>(m_scrollArea.width());
        const auto areaHeight = static_cast<std::uint32_t>(m_scrollArea.height());
        const std::size_t stride = m_surface->bytesPerRow();
        for (std::uint32_t y = 0; y + step < areaHeight; ++y)
            std::memmove(m_surface->pixels() + y * stride + x0 * 4,
                         m_surface->pixels() + (y + step) * stride + x0 * 4, areaWidth * 4);
        m_scrollOffset += step;
        paintScrollRows(areaHeight - step, step);
        update.movedRects.push_back(Rect(m_scrollArea.minX(), 0, m_scrollArea.width(), areaHeight - step));
        update.movedDeltaX = 0;
        update.movedDeltaY = step;
        update.changedRects.push_back(
            Rect(m_scrollArea.minX(), areaHeight - step, m_scrollArea.width(), step));
    }

    for (const Mover& mover : m_movers) {
        const Rect old(mover.x, mover.y, size, size);
        restoreBackground(old);
        update.changedRects.push_back(old);
    }
    for (Mover& mover : m_movers) {
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
    for (const Rect& rect : m_changing) {
        paintChanging(rect, frame);
        update.changedRects.push_back(rect);
    }
    for (const Mover& mover : m_movers) {
        const Rect now(mover.x, mover.y, size, size);
        fillRect(now, mover.colour, true);
        update.changedRects.push_back(now);
    }
    return update;
}

std::shared_ptr<MemorySurface> SyntheticScreenSource::snapshot() const {
    auto copy =
        std::make_shared<MemorySurface>(m_surface->width(), m_surface->height(), m_surface->bytesPerRow());
    std::memcpy(copy->pixels(), m_surface->pixels(), m_surface->bytesPerRow() * m_surface->height());
    return copy;
}

} // namespace vtl::recording
