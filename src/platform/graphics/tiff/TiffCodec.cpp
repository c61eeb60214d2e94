#include "platform/graphics/tiff/TiffCodec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <tiffio.h>

namespace vtl {

namespace {

// Bytes in memory as libtiff's file: reads from a span, writes grow a vector.
struct MemoryFile {
    const std::uint8_t* input = nullptr;
    std::vector<std::uint8_t>* output = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    std::string error;
};

MemoryFile& fileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t count) {
    MemoryFile& f = fileOf(handle);
    if (!f.input || count < 0 || f.position >= f.size) return 0;
    std::uint64_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), f.size - f.position);
    std::memcpy(buffer, f.input + f.position, n);
    f.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t count) {
    MemoryFile& f = fileOf(handle);
    if (!f.output || count < 0) return 0;
    std::uint64_t end = f.position + static_cast<std::uint64_t>(count);
    if (end > f.output->size()) f.output->resize(end);
    std::memcpy(f.output->data() + f.position, buffer, static_cast<std::size_t>(count));
    f.position = end;
    f.size = std::max(f.size, end);
    return count;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& f = fileOf(handle);
    std::int64_t base = whence == SEEK_CUR   ? static_cast<std::int64_t>(f.position)
                        : whence == SEEK_END ? static_cast<std::int64_t>(f.size)
                                             : 0;
    std::int64_t target = base + static_cast<std::int64_t>(offset);
    if (target < 0) return static_cast<toff_t>(-1);
    // Reading never goes past the end; writing may leave a hole that later writes fill.
    if (f.input && static_cast<std::uint64_t>(target) > f.size) target = static_cast<std::int64_t>(f.size);
    f.position = static_cast<std::uint64_t>(target);
    return f.position;
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    return fileOf(handle).size;
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

int errorHandler(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    auto* f = static_cast<MemoryFile*>(user);
    if (f && f->error.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, arguments);
        f->error = text;
    }
    return 1;
}

int warningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

TIFF* openMemory(MemoryFile& file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, errorHandler, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, warningHandler, &file);
    // Bounds what a hostile header can make libtiff allocate at once.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaximumTiffPixels * 4));
    TIFF* tiff = TIFFClientOpenExt("memory", mode, &file, readProc, writeProc, seekProc, closeProc, sizeProc,
                                   mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

std::string reason(const MemoryFile& file) {
    return file.error.empty() ? std::string() : " (" + file.error + ")";
}

} // namespace

Result<std::vector<std::uint8_t>> encodeTiff(const TiffImage& image) {
    if (image.width < 1 || image.height < 1 || image.width > kMaximumTiffSidePixels ||
        image.height > kMaximumTiffSidePixels ||
        std::size_t(image.width) * std::size_t(image.height) > kMaximumTiffPixels)
        return fail("A picture of " + std::to_string(image.width) + " × " + std::to_string(image.height) +
                    " pixels cannot be stored as a TIFF.");
    std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
    if (image.rgba.size() != rowBytes * static_cast<std::size_t>(image.height))
        return fail("The picture's pixels do not match its size.");
    std::vector<std::uint8_t> bytes;
    MemoryFile file;
    file.output = &bytes;
    std::unique_ptr<TIFF, TiffCloser> tiff(openMemory(file, "w"));
    if (!tiff) return fail("The TIFF cannot be started" + reason(file) + ".");
    TIFF* t = tiff.get();
    std::uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height)) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4) &&
              TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(image.height));
    if (ok) {
        tmsize_t size = static_cast<tmsize_t>(image.rgba.size());
        // libtiff takes a writable buffer but only reads it for uncompressed data.
        ok = TIFFWriteEncodedStrip(t, 0, const_cast<std::uint8_t*>(image.rgba.data()), size) == size;
    }
    if (ok) ok = TIFFWriteDirectory(t) != 0;
    tiff.reset();
    if (!ok || !file.error.empty()) return fail("The TIFF cannot be written" + reason(file) + ".");
    bytes.resize(file.size);
    return bytes;
}

Result<TiffImage> decodeTiff(std::span<const std::uint8_t> bytes) {
    MemoryFile file;
    file.input = bytes.data();
    file.size = bytes.size();
    if (bytes.size() < 8) return fail("The data is not a TIFF picture.");
    // "m": no memory mapping, "h": the header only until asked.
    std::unique_ptr<TIFF, TiffCloser> tiff(openMemory(file, "rm"));
    if (!tiff) return fail("The data is not a TIFF picture" + reason(file) + ".");
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) || width < 1 || height < 1 ||
        width > static_cast<std::uint32_t>(kMaximumTiffSidePixels) ||
        height > static_cast<std::uint32_t>(kMaximumTiffSidePixels) ||
        std::size_t(width) * height > kMaximumTiffPixels)
        return fail("The TIFF picture has no usable size.");
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), message))
        return fail(std::string("The TIFF picture cannot be read: ") + message);
    std::vector<std::uint32_t> pixels(std::size_t(width) * height);
    if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, pixels.data(), ORIENTATION_TOPLEFT, 0))
        return fail("The TIFF picture cannot be read" + reason(file) + ".");
    TiffImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rgba.resize(pixels.size() * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::uint32_t p = pixels[i];
        image.rgba[i * 4 + 0] = static_cast<std::uint8_t>(TIFFGetR(p));
        image.rgba[i * 4 + 1] = static_cast<std::uint8_t>(TIFFGetG(p));
        image.rgba[i * 4 + 2] = static_cast<std::uint8_t>(TIFFGetB(p));
        image.rgba[i * 4 + 3] = static_cast<std::uint8_t>(TIFFGetA(p));
    }
    return image;
}

} // namespace vtl
