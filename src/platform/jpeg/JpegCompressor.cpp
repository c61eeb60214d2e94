#include "platform/jpeg/JpegCompressor.h"

#include "platform/jpeg/JpegErrorManager.h"

#include <algorithm>
#include <jerror.h>
#include <new>
#include <stdexcept>

namespace vtl {

namespace {

// Destination writing into a JpegOutputBuffer and doubling it when full.
struct Destination {
    jpeg_destination_mgr pub;
    JpegOutputBuffer* buffer;
    std::size_t initialSizeBytes;
};

// The error exit jumps away, which must not happen from inside a catch block: the exception
// would never be finished. Failure is answered here and the jump made by the caller.
bool resized(std::vector<std::uint8_t>& storage, std::size_t sizeBytes) {
    try {
        storage.resize(sizeBytes);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    std::vector<std::uint8_t>& storage = dest->buffer->storage();
    if (storage.size() < dest->initialSizeBytes && !resized(storage, dest->initialSizeBytes))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    dest->pub.next_output_byte = storage.data();
    dest->pub.free_in_buffer = storage.size();
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    // Called when the whole buffer is full, whatever free_in_buffer says.
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    std::vector<std::uint8_t>& storage = dest->buffer->storage();
    const std::size_t used = storage.size();
    if (!resized(storage, std::max<std::size_t>(used * 2, 4096))) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 11);
    dest->pub.next_output_byte = storage.data() + used;
    dest->pub.free_in_buffer = storage.size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->buffer->setSizeBytes(dest->buffer->storage().size() - dest->pub.free_in_buffer);
}

} // namespace

struct JpegCompressor::State {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    Destination destination;
    bool created = false;
};

JpegCompressor::JpegCompressor()
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.cinfo.err = initJpegErrorManager(s.error);
    if (setjmp(s.error.jump) == 0) {
        jpeg_create_compress(&s.cinfo);
        s.created = true;
    }
    s.destination.pub.init_destination = initDestination;
    s.destination.pub.empty_output_buffer = emptyOutputBuffer;
    s.destination.pub.term_destination = termDestination;
}

JpegCompressor::~JpegCompressor() {
    if (state_->created) jpeg_destroy_compress(&state_->cinfo);
}

Status JpegCompressor::encode(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                              std::size_t bytesPerRow, int quality, JpegOutputBuffer& out) {
    State& s = *state_;
    out.clear();
    if (!s.created || !pixels || width == 0 || height == 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION || bytesPerRow < std::size_t{width} * 4) {
        return fail(s.created ? "The picture cannot be stored as JPEG."
                              : "The JPEG compressor is unavailable.");
    }
    jpeg_compress_struct& cinfo = s.cinfo;
    s.destination.buffer = &out;
    // Room for a typical stream, so growing is rare.
    s.destination.initialSizeBytes = std::size_t{height} * bytesPerRow / 4 + 3000;

    if (setjmp(s.error.jump) != 0) {
        jpeg_abort_compress(&cinfo);
        out.clear();
        return fail(std::string("JPEG compression failed: ") + s.error.message);
    }
    cinfo.dest = &s.destination.pub;
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.write_JFIF_header = FALSE;
    cinfo.write_Adobe_marker = FALSE;
    jpeg_set_quality(&cinfo, quality, TRUE);
    // The reader installs the standard tables for the quality stored beside the stream.
    jpeg_suppress_tables(&cinfo, TRUE);
    jpeg_start_compress(&cinfo, FALSE);
    constexpr int kRowsPerCall = 16;
    JSAMPROW rows[kRowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION count = std::min<JDIMENSION>(kRowsPerCall, cinfo.image_height - cinfo.next_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(pixels + std::size_t{cinfo.next_scanline + i} * bytesPerRow);
        jpeg_write_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_compress(&cinfo);
    return {};
}

} // namespace vtl
