#include "recorder/jpeg/JpegStandardTables.h"

// clang-format off
#include <cstdio>
#include <csetjmp>
#include <jpeglib.h>
// clang-format on

#include <cstring>

namespace vtl::recording {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

void silentMessage(j_common_ptr) {}

// The tables of a compressor at one quality, copied out of a scratch compressor.
struct StandardTables {
    JQUANT_TBL quant[NUM_QUANT_TBLS];
    bool hasQuant[NUM_QUANT_TBLS];
    JHUFF_TBL dc[NUM_HUFF_TBLS];
    JHUFF_TBL ac[NUM_HUFF_TBLS];
    bool hasDc[NUM_HUFF_TBLS];
    bool hasAc[NUM_HUFF_TBLS];
};

bool buildTables(int quality, StandardTables& tables) {
    jpeg_compress_struct cinfo;
    ErrorManager error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = errorExit;
    error.pub.output_message = silentMessage;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_EXT_BGRX;
    cinfo.input_components = 4;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int i = 0; i < NUM_QUANT_TBLS; ++i) {
        tables.hasQuant[i] = cinfo.quant_tbl_ptrs[i] != nullptr;
        if (tables.hasQuant[i]) tables.quant[i] = *cinfo.quant_tbl_ptrs[i];
    }
    for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
        tables.hasDc[i] = cinfo.dc_huff_tbl_ptrs[i] != nullptr;
        if (tables.hasDc[i]) tables.dc[i] = *cinfo.dc_huff_tbl_ptrs[i];
        tables.hasAc[i] = cinfo.ac_huff_tbl_ptrs[i] != nullptr;
        if (tables.hasAc[i]) tables.ac[i] = *cinfo.ac_huff_tbl_ptrs[i];
    }
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool installStandardJpegTables(jpeg_decompress_struct& dinfo, int quality) {
    StandardTables tables;
    if (!buildTables(quality, tables)) return false;
    auto common = reinterpret_cast<j_common_ptr>(&dinfo);
    for (int i = 0; i < NUM_QUANT_TBLS; ++i) {
        if (!tables.hasQuant[i]) continue;
        if (!dinfo.quant_tbl_ptrs[i]) dinfo.quant_tbl_ptrs[i] = jpeg_alloc_quant_table(common);
        std::memcpy(dinfo.quant_tbl_ptrs[i]->quantval, tables.quant[i].quantval,
                    sizeof(tables.quant[i].quantval));
        dinfo.quant_tbl_ptrs[i]->sent_table = FALSE;
    }
    for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
        if (tables.hasDc[i]) {
            if (!dinfo.dc_huff_tbl_ptrs[i]) dinfo.dc_huff_tbl_ptrs[i] = jpeg_alloc_huff_table(common);
            std::memcpy(dinfo.dc_huff_tbl_ptrs[i]->bits, tables.dc[i].bits, sizeof(tables.dc[i].bits));
            std::memcpy(dinfo.dc_huff_tbl_ptrs[i]->huffval, tables.dc[i].huffval,
                        sizeof(tables.dc[i].huffval));
        }
        if (tables.hasAc[i]) {
            if (!dinfo.ac_huff_tbl_ptrs[i]) dinfo.ac_huff_tbl_ptrs[i] = jpeg_alloc_huff_table(common);
            std::memcpy(dinfo.ac_huff_tbl_ptrs[i]->bits, tables.ac[i].bits, sizeof(tables.ac[i].bits));
            std::memcpy(dinfo.ac_huff_tbl_ptrs[i]->huffval, tables.ac[i].huffval,
                        sizeof(tables.ac[i].huffval));
        }
    }
    return true;
}

bool decodeAbbreviatedJpeg(const std::uint8_t* data, std::size_t sizeBytes, int quality, std::uint32_t width,
                           std::uint32_t height, std::uint8_t* out, std::size_t outBytesPerRow,
                           std::string* error) {
    if (!data || sizeBytes == 0 || !out || outBytesPerRow < std::size_t{width} * 4) {
        if (error) *error = "Nothing to decode.";
        return false;
    }
    jpeg_decompress_struct dinfo;
    ErrorManager manager;
    dinfo.err = jpeg_std_error(&manager.pub);
    manager.pub.error_exit = errorExit;
    manager.pub.output_message = silentMessage;
    if (setjmp(manager.jump) != 0) {
        jpeg_destroy_decompress(&dinfo);
        if (error) *error = std::string("JPEG decoding failed: ") + manager.message;
        return false;
    }
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, data, static_cast<unsigned long>(sizeBytes));
    jpeg_read_header(&dinfo, TRUE);
    if (dinfo.image_width != width || dinfo.image_height != height || dinfo.num_components != 3) {
        jpeg_destroy_decompress(&dinfo);
        if (error) *error = "The JPEG stream does not have the expected size.";
        return false;
    }
    if (!installStandardJpegTables(dinfo, quality)) {
        jpeg_destroy_decompress(&dinfo);
        if (error) *error = "The standard JPEG tables could not be built.";
        return false;
    }
    dinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&dinfo);
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPROW row = out + std::size_t{dinfo.output_scanline} * outBytesPerRow;
        jpeg_read_scanlines(&dinfo, &row, 1);
    }
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    return true;
}

} // namespace vtl::recording
