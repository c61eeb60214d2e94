#pragma once
// The arithmetic of a movie track's timeline thumbnails: which movie times a run asks for, how
// often each picture is stored so that thumbnail i always shows time i ÷ 3 s, the size of one
// thumbnail, and where the thumbnails of a clip are drawn. Pure functions.

#include "platform/foundation/Geometry.h"
#include "platform/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl {

// Thumbnails stored per second of movie time, and their height in pixels.
inline constexpr int kThumbnailsPerSecond = 3;
inline constexpr int kThumbnailHeightPixels = 132;
// Time scale of the requested times.
inline constexpr std::int32_t kThumbnailTimeScale = 10000;

struct ThumbnailSchedule {
    double spacingSeconds = 0;      // between requested pictures
    std::size_t copiesPerImage = 1; // slots each picture fills
    std::size_t total = 0;          // pictures the original count expects (ceil(3d), halved per doubling)
    std::vector<MediaTime> times;   // requested, ascending
};
// For a movie of that duration (longer movies get fewer, repeated pictures). None for a duration
// that is not finite and positive.
ThumbnailSchedule thumbnailSchedule(double durationSeconds);

// The whole-pixel size of a thumbnail of a W × H picture (132 high, width kept in proportion);
// zero for a picture without size.
struct ThumbnailSize {
    int width = 0;
    int height = 0;
};
ThumbnailSize thumbnailSizeForPicture(double widthPixels, double heightPixels);

// floor(t × 3) in single precision, never below 0.
std::size_t thumbnailIndexAtTime(double seconds);

// One thumbnail drawn into a clip of the timeline.
struct ThumbnailPlacement {
    std::size_t index = 0;
    Rect rect;
};
// The thumbnails a clip of `clipSize` at `origin` shows from movie second `fromSecond` at
// `pixelsPerSecond`, aligned to whole thumbnails; the slot under a positive `scrubTime` shows the
// scrubbed picture. `thumbnailCount` thumbnails of `thumbnailSize` exist.
std::vector<ThumbnailPlacement> thumbnailPlacements(Size clipSize, double fromSecond, double pixelsPerSecond,
                                                    Point origin, double scrubTime, Size thumbnailSize,
                                                    std::size_t thumbnailCount);

} // namespace vtl
