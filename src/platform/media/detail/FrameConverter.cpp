#include "platform/media/detail/FrameConverter.h"

#include "platform/imaging/pixels/PixelBufferPool.h"
#include "platform/media/detail/Ffmpeg.h"

#include <cstring>

namespace vtl::detail {

namespace {

// Images kept for reuse: a playback context holds up to nine, a caller a few more.
constexpr std::size_t pooledImages = 16;

// A damaged stream can leave any number in a colour enum; loading that as the enum is undefined,
// so its bytes are read as the int the C compiler stored.
template <typename Enum> int enumValue(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

int swsMatrix(const AVFrame* frame) {
    switch (enumValue(frame->colorspace)) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    default:
        return frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// The old full-range formats are the plain ones with a full range.
AVPixelFormat plainFormat(AVPixelFormat format, bool& fullRange) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        fullRange = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        fullRange = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

void releaseNothing(void*, std::uint8_t*) {}

} // namespace

FrameConverter::FrameConverter(int threadCount, int outputWidth, int outputHeight)
    : threadCount_(threadCount < 1 ? 1 : threadCount)
    , outputWidth_(outputWidth)
    , outputHeight_(outputHeight) {}

FrameConverter::~FrameConverter() {
    sws_freeContext(scaler_);
}

Result<BitmapImage> FrameConverter::convert(const AVFrame* frame) {
    if (!frame || frame->width <= 0 || frame->height <= 0 || frame->width > maximumPictureSide ||
        frame->height > maximumPictureSide)
        return fail("The decoded picture has an unusable size.");
    bool fullRange = enumValue(frame->color_range) == AVCOL_RANGE_JPEG;
    const AVPixelFormat format = plainFormat(static_cast<AVPixelFormat>(frame->format), fullRange);
    if (!sws_isSupportedInput(format)) return fail("The decoded picture's pixel format cannot be converted.");

    Key key{frame->width,
            frame->height,
            format,
            swsMatrix(frame),
            fullRange ? 1 : 0,
            outputWidth_ > 0 ? outputWidth_ : frame->width,
            outputHeight_ > 0 ? outputHeight_ : frame->height};
    if (!scaler_ || !(key == key_)) {
        sws_freeContext(scaler_);
        scaler_ = sws_alloc_context();
        if (!scaler_) return fail("Not enough memory to convert the picture.");
        av_opt_set_int(scaler_, "srcw", key.width, 0);
        av_opt_set_int(scaler_, "srch", key.height, 0);
        av_opt_set_int(scaler_, "src_format", format, 0);
        av_opt_set_int(scaler_, "dstw", key.outWidth, 0);
        av_opt_set_int(scaler_, "dsth", key.outHeight, 0);
        av_opt_set_int(scaler_, "dst_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(scaler_, "sws_flags", SWS_BICUBIC, 0);
        av_opt_set_int(scaler_, "threads", threadCount_, 0);
        if (sws_init_context(scaler_, nullptr, nullptr) < 0) {
            sws_freeContext(scaler_);
            scaler_ = nullptr;
            return fail("The picture cannot be converted.");
        }
        const int* table = sws_getCoefficients(key.matrix);
        sws_setColorspaceDetails(scaler_, table, key.fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                 1 << 16, 1 << 16);
        key_ = key;
        if (!pool_ || pool_->width() != static_cast<std::size_t>(key.outWidth) ||
            pool_->height() != static_cast<std::size_t>(key.outHeight))
            pool_ = std::make_shared<PixelBufferPool>(key.outWidth, key.outHeight, pooledImages);
    }

    BitmapImage image = pool_->take();
    if (image.isEmpty()) return fail("Not enough memory for the picture.");
    FramePtr target(av_frame_alloc());
    FramePtr source(av_frame_alloc());
    if (!target || !source || av_frame_ref(source.get(), frame) < 0)
        return fail("Not enough memory to convert the picture.");
    source->format = format;
    source->color_range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    target->format = AV_PIX_FMT_BGRA;
    target->width = key.outWidth;
    target->height = key.outHeight;
    target->data[0] = image.mutableData();
    target->linesize[0] = static_cast<int>(image.bytesPerRow());
    // The scaler references its target; the pool keeps ownership of the pixels.
    target->buf[0] = av_buffer_create(image.mutableData(), static_cast<int>(image.byteCount()),
                                      &releaseNothing, nullptr, 0);
    if (!target->buf[0]) return fail("Not enough memory to convert the picture.");
    const int scaled = sws_scale_frame(scaler_, target.get(), source.get());
    if (scaled < 0) return fail("The picture cannot be converted (" + ffmpegErrorText(scaled) + ").");
    return image;
}

} // namespace vtl::detail
