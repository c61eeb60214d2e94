#include "tracks/PixelBufferPool.h"

namespace vtl {

BitmapImage PixelBufferPool::take() {
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_images.begin(); it != m_images.end(); ++it) {
            if (!it->isUniquelyHeld()) continue;
            BitmapImage image = std::move(*it);
            m_images.erase(it);
            return image;
        }
    }
    return BitmapImage(m_width, m_height);
}

void PixelBufferPool::recycle(BitmapImage image) {
    if (image.isEmpty() || image.width() != m_width || image.height() != m_height) return;
    std::lock_guard lock(m_mutex);
    // Drop images nobody will give back soon rather than grow without bound.
    if (m_images.size() >= m_maxKept) {
        for (auto it = m_images.begin(); it != m_images.end(); ++it)
            if (!it->isUniquelyHeld()) {
                m_images.erase(it);
                break;
            }
        if (m_images.size() >= m_maxKept) return;
    }
    m_images.push_back(std::move(image));
}

} // namespace vtl
