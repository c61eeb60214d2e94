#pragma once
// One decoded picture of a video track as B, G, R, A pixels, with the interval it is shown for.
// Plain value; the pixels are shared (and recycled through the reader's pool once every copy is
// gone).

#include "platform/imaging/pixels/BitmapImage.h"
#include "platform/media/MediaTime.h"

namespace vtl {

struct VideoFrame {
    BitmapImage image;
    MediaTime time;     // when it starts to show (media time)
    MediaTime duration; // how long it shows: until the next frame, or its own length at the end
};

} // namespace vtl
