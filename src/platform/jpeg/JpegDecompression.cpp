#include "platform/jpeg/JpegDecompression.h"

#include "platform/jpeg/JpegErrorManager.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace vtl {

namespace {

// The standard quantisation and Huffman tables of one quality, taken from a scratch compressor
// once and then copied into every decompressor that needs them.
struct StandardTables {
    std::array<std::array<UINT16, DCTSIZE2>, 2> quant{};
    std::array<JHUFF_TBL, 2> dc{};
    std::array<JHUFF_TBL, 2> ac{};
};

bool buildTables(int quality, StandardTables& tables) {
    jpeg_compress_struct cinfo;
    JpegErrorManager manager;
    cinfo.err = initJpegErrorManager(manager);
    if (setjmp(manager.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int i = 0; i < 2; ++i) {
        std::memcpy(tables.quant[i].data(), cinfo.quant_tbl_ptrs[i]->quantval, sizeof(UINT16) * DCTSIZE2);
        tables.dc[i] = *cinfo.dc_huff_tbl_ptrs[i];
        tables.ac[i] = *cinfo.ac_huff_tbl_ptrs[i];
    }
    jpeg_destroy_compress(&cinfo);
    return true;
}

const StandardTables* tablesForQuality(std::uint64_t storedQuality) {
    // The library's scaling maps every quality to 1…100, so 100 table sets cover all inputs.
    static std::array<StandardTables, 101> cache;
    static std::array<bool, 101> built{};
    static std::mutex mutex;
    const int quality = static_cast<int>(std::clamp<std::uint64_t>(storedQuality, 1, 100));
    std::lock_guard lock(mutex);
    if (!built[quality]) {
        if (!buildTables(quality, cache[quality])) return nullptr;
        built[quality] = true;
    }
    return &cache[quality];
}

void installTables(j_decompress_ptr cinfo, const StandardTables& tables) {
    for (int i = 0; i < 2; ++i) {
        if (!cinfo->quant_tbl_ptrs[i])
            cinfo->quant_tbl_ptrs[i] = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(cinfo));
        std::memcpy(cinfo->quant_tbl_ptrs[i]->quantval, tables.quant[i].data(), sizeof(UINT16) * DCTSIZE2);
        if (!cinfo->dc_huff_tbl_ptrs[i])
            cinfo->dc_huff_tbl_ptrs[i] = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
        if (!cinfo->ac_huff_tbl_ptrs[i])
            cinfo->ac_huff_tbl_ptrs[i] = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
        std::memcpy(cinfo->dc_huff_tbl_ptrs[i]->bits, tables.dc[i].bits, sizeof(tables.dc[i].bits));
        std::memcpy(cinfo->dc_huff_tbl_ptrs[i]->huffval, tables.dc[i].huffval, sizeof(tables.dc[i].huffval));
        std::memcpy(cinfo->ac_huff_tbl_ptrs[i]->bits, tables.ac[i].bits, sizeof(tables.ac[i].bits));
        std::memcpy(cinfo->ac_huff_tbl_ptrs[i]->huffval, tables.ac[i].huffval, sizeof(tables.ac[i].huffval));
    }
}

// Kept free of C++ objects with destructors: the error exit jumps back into it.
bool decodeStream(const std::uint8_t* data, std::size_t sizeBytes, const StandardTables* tables,
                  const JPEGDestination& destination, char* errorText, std::size_t errorTextSize) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager manager;
    cinfo.err = initJpegErrorManager(manager);
    if (setjmp(manager.jump)) {
        std::snprintf(errorText, errorTextSize, "corrupt JPEG stream: %s", manager.message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(sizeBytes));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width != destination.expectedWidth || cinfo.image_height != destination.expectedHeight) {
        std::snprintf(errorText, errorTextSize, "JPEG stream is %ux%u pixels, its rectangle %zux%zu",
                      cinfo.image_width, cinfo.image_height, destination.expectedWidth,
                      destination.expectedHeight);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // The recorder writes colour streams only; the standard tables cover exactly their three
    // components.
    if (cinfo.num_components != 3) {
        std::snprintf(errorText, errorTextSize, "JPEG stream has %d colour components, not 3",
                      cinfo.num_components);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGRA;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    if (tables) installTables(&cinfo, *tables);
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = destination.expectedWidth * 4 + destination.extraBytesPerRow;
    constexpr int kRowsPerRead = 16;
    JSAMPROW rows[kRowsPerRead];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowsPerRead, cinfo.output_height - first);
        for (JDIMENSION r = 0; r < count; ++r)
            rows[r] = destination.topLeft + (first + r) * stride;
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0) break;
    }
    bool complete = cinfo.output_scanline == cinfo.output_height;
    if (complete) {
        jpeg_finish_decompress(&cinfo);
        // The library pads a stream cut inside its data and only warns; for a recorded stream any
        // warning means damaged pixels, which must not pass for a decoded picture.
        if (cinfo.err->num_warnings > 0) {
            char warning[JMSG_LENGTH_MAX];
            (*cinfo.err->format_message)(reinterpret_cast<j_common_ptr>(&cinfo), warning);
            std::snprintf(errorText, errorTextSize, "damaged JPEG stream: %s", warning);
            complete = false;
        }
    } else {
        std::snprintf(errorText, errorTextSize, "JPEG stream ended after %u of %u rows",
                      cinfo.output_scanline, cinfo.output_height);
    }
    jpeg_destroy_decompress(&cinfo);
    return complete;
}

} // namespace

int jpegQualityScaling(std::int64_t quality) {
    if (quality <= 0) quality = 1;
    if (quality > 100) quality = 100;
    return quality < 50 ? static_cast<int>(5000 / quality) : static_cast<int>(200 - quality * 2);
}

Status decompressJPEGData(const std::uint8_t* data, std::size_t sizeBytes, std::uint64_t quality,
                          const JPEGDestination& destination) {
    if (!data || sizeBytes == 0) return fail("empty JPEG stream");
    if (!destination.topLeft || destination.expectedWidth == 0 || destination.expectedHeight == 0)
        return fail("JPEG stream has no destination");
    if (destination.expectedWidth > JPEG_MAX_DIMENSION || destination.expectedHeight > JPEG_MAX_DIMENSION)
        return fail("JPEG destination is larger than a JPEG image can be");
    const StandardTables* tables = tablesForQuality(quality);
    if (!tables) return fail("could not build the standard JPEG tables");
    char errorText[JMSG_LENGTH_MAX + 64];
    errorText[0] = 0;
    if (!decodeStream(data, sizeBytes, tables, destination, errorText, sizeof errorText))
        return fail(errorText);
    return {};
}

Status decompressCompleteJPEG(const std::uint8_t* data, std::size_t sizeBytes,
                              const JPEGDestination& destination) {
    if (!data || sizeBytes == 0) return fail("empty JPEG stream");
    if (!destination.topLeft || destination.expectedWidth == 0 || destination.expectedHeight == 0)
        return fail("JPEG stream has no destination");
    if (destination.expectedWidth > JPEG_MAX_DIMENSION || destination.expectedHeight > JPEG_MAX_DIMENSION)
        return fail("JPEG destination is larger than a JPEG image can be");
    char errorText[JMSG_LENGTH_MAX + 64];
    errorText[0] = 0;
    // The stream's own tables; the library supplies the standard Huffman tables that camera
    // streams leave out.
    if (!decodeStream(data, sizeBytes, nullptr, destination, errorText, sizeof errorText))
        return fail(errorText);
    return {};
}

} // namespace vtl
