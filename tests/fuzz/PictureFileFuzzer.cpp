// Picture files come from anywhere the user picks: the loader must refuse bad bytes, never crash
// or allocate past the reader's limit, and give a picture of the size it claims.
#include "platform/graphics/PictureFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vtl::Result<vtl::ImageRef> image = vtl::imageWithData(data, size);
    if (!image) return 0;
    const vtl::ImageRef& picture = *image;
    if (!picture || picture->representations().size() != 1) std::abort();
    const vtl::BitmapRef& bitmap = picture->representations()[0].bitmap;
    if (bitmap->byteCount() != bitmap->bytesPerRow() * static_cast<size_t>(bitmap->height())) std::abort();
    return 0;
}
