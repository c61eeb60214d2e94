#include "tracks/MovieThumbnailLayout.h"

#include <cmath>

namespace vtl {

ThumbnailSchedule thumbnailSchedule(double durationSeconds) {
    ThumbnailSchedule schedule;
    if (!std::isfinite(durationSeconds) || durationSeconds <= 0) return schedule;
    const auto all = static_cast<std::size_t>(std::ceil(durationSeconds * kThumbnailsPerSecond));
    if (durationSeconds <= 1800) {
        schedule.copiesPerImage = 1;
        schedule.total = all;
    } else if (durationSeconds <= 3600) {
        schedule.copiesPerImage = 2;
        schedule.total = all / 2;
    } else {
        schedule.copiesPerImage = 4;
        schedule.total = all / 4;
    }
    schedule.spacingSeconds = static_cast<double>(schedule.copiesPerImage) / kThumbnailsPerSecond;
    // Counted in whole thirds of a second so that no time drifts over a long movie, and rounded up:
    // a third of a second rounded down would fall into the picture before the one it names.
    for (std::size_t i = 0;; ++i) {
        const double thirds = static_cast<double>(i * schedule.copiesPerImage);
        if (thirds / kThumbnailsPerSecond >= durationSeconds) break;
        schedule.times.push_back(MediaTime{
            static_cast<std::int64_t>(std::ceil(thirds * kThumbnailTimeScale / kThumbnailsPerSecond)),
            kThumbnailTimeScale});
    }
    return schedule;
}

ThumbnailSize thumbnailSizeForPicture(double widthPixels, double heightPixels) {
    const float width = static_cast<float>(widthPixels);
    const float height = static_cast<float>(heightPixels);
    if (!(width >= 1) || !(height >= 1) || !std::isfinite(width) || !std::isfinite(height)) return {};
    const float factor = height / static_cast<float>(kThumbnailHeightPixels);
    const float thumbWidth = std::round(width / factor);
    const float thumbHeight = std::round(height / factor);
    // Pictures far wider than high would give absurd strips; none is drawn then.
    if (!(thumbWidth >= 1) || thumbWidth > 16384) return {};
    return ThumbnailSize{static_cast<int>(thumbWidth), static_cast<int>(thumbHeight)};
}

std::size_t thumbnailIndexAtTime(double seconds) {
    const float index = std::floor(static_cast<float>(seconds) * static_cast<float>(kThumbnailsPerSecond));
    if (!(index > 0)) return 0;
    if (index >= 1e15f) return static_cast<std::size_t>(1e15);
    return static_cast<std::size_t>(index);
}

std::vector<ThumbnailPlacement> thumbnailPlacements(Size clipSize, double fromSecond, double pixelsPerSecond,
                                                    Point origin, double scrubTime, Size thumbnailSize,
                                                    std::size_t thumbnailCount) {
    std::vector<ThumbnailPlacement> placements;
    const float thumbWidth = static_cast<float>(thumbnailSize.width);
    const float thumbHeight = static_cast<float>(thumbnailSize.height);
    if (thumbnailCount == 0 || !(thumbWidth > 0) || !(thumbHeight > 0) || !(pixelsPerSecond > 0) ||
        !std::isfinite(pixelsPerSecond))
        return placements;
    const double startX = std::floor(origin.x / thumbWidth) * thumbWidth;
    if (scrubTime > 0) scrubTime = (origin.x - startX) / pixelsPerSecond + scrubTime;
    const double scale = std::floor(clipSize.height) / thumbHeight;
    const double drawWidth = std::round(thumbWidth * scale);
    const double drawHeight = std::round(scale * thumbHeight);
    const double limit = origin.x + clipSize.width + drawWidth;
    if (limit < 0 || !(drawWidth > 0)) return placements;
    const float secondsPerThumb = static_cast<float>(drawWidth / pixelsPerSecond);
    const float fromIndex = static_cast<float>(fromSecond) / secondsPerThumb;
    for (std::size_t k = 0;; ++k) {
        double time = (static_cast<double>(k) + fromIndex) * secondsPerThumb;
        if (scrubTime > 0 && time < scrubTime && scrubTime < time + secondsPerThumb) time = scrubTime;
        const std::size_t index = thumbnailIndexAtTime(time);
        if (index >= thumbnailCount) break;
        placements.push_back(
            {index, Rect(startX + static_cast<double>(k) * drawWidth, origin.y, drawWidth, drawHeight)});
        if (static_cast<double>(k + 1) * drawWidth > limit) break;
    }
    return placements;
}

} // namespace vtl
