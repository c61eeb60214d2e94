#pragma once
// Converts decoded pictures of any pixel format to B, G, R, A images from a pool, with the
// picture's own colour matrix and range (unspecified: BT.709 from 720 lines up, else BT.601).
// Owned by one reader; not thread-safe.

#include "platform/foundation/Result.h"
#include "platform/imaging/pixels/BitmapImage.h"

#include <memory>

struct AVFrame;
struct SwsContext;

namespace vtl {
class PixelBufferPool;
}

namespace vtl::detail {

class FrameConverter {
public:
    // outputWidth/Height 0: each picture's own size. threadCount ≥ 1.
    FrameConverter(int threadCount, int outputWidth, int outputHeight);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    Result<BitmapImage> convert(const AVFrame* frame);

private:
    struct Key {
        int width = 0, height = 0, format = -1, matrix = -1, fullRange = -1, outWidth = 0, outHeight = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    int threadCount_;
    int outputWidth_;
    int outputHeight_;
    Key key_;
    SwsContext* scaler_ = nullptr;
    std::shared_ptr<PixelBufferPool> pool_;
};

} // namespace vtl::detail
