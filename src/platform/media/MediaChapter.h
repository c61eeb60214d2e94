#pragma once
// One chapter of a movie: a title over a time range. Plain value.

#include "platform/media/MediaTime.h"

#include <string>

namespace vtl {

struct MediaChapter {
    std::string title;
    MediaTime start;
    MediaTime end;
};

} // namespace vtl
