// Colour texts come from preferences and stored documents: every parser must take any text.
#include "drawing/MRDrawing_ColorsHelper.h"
#include "platform/foundation/Log.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        vtl::setLogSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    std::string text(reinterpret_cast<const char*>(data), size);
    using C = vtl::MRDrawing_ColorsHelper;
    if (auto c = C::plattformColorFromString(text)) C::stringFromPlattformColor(*c);
    if (auto c = C::plattformColorFromHexString(text)) C::hexStringFromPlattformColor(*c);
    if (auto c = C::plattformColorFromCSSRGBAString(text)) C::CSSRGBAStringFromPlattformColor(*c);
    if (auto c = C::createCGColorRefFromString(text)) C::stringFromCGColorRef(*c);
    return 0;
}
