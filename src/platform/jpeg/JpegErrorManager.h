#pragma once
// The libjpeg error handling shared by the compressor and the decompressor: a fatal error keeps
// the library's message and jumps back to `jump`, so bad data never ends the program; warnings
// are logged once per kind. Lives beside the compress or decompress struct that points at it.

// clang-format off
#include <cstdio>
#include <csetjmp>
#include <jpeglib.h>
// clang-format on

namespace vtl {

struct JpegErrorManager {
    jpeg_error_mgr base;
    // The caller sets this with setjmp before any library call that can fail.
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// Sets up `manager` (library defaults with the replaced error exit and output message, empty
// message) and returns what to store in the struct's `err`.
jpeg_error_mgr* initJpegErrorManager(JpegErrorManager& manager);

} // namespace vtl
