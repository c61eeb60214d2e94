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
    // A colour read in one form may be written in any other: every writer sees every parse.
    auto writeAll = [](const vtl::Color& c) {
        C::stringFromPlattformColor(c);
        C::hexStringFromPlattformColor(c);
        C::CSSRGBAStringFromPlattformColor(c);
        C::stringFromCGColorRef(c);
    };
    if (auto c = C::plattformColorFromString(text)) writeAll(*c);
    if (auto c = C::plattformColorFromHexString(text)) writeAll(*c);
    if (auto c = C::plattformColorFromCSSRGBAString(text)) writeAll(*c);
    if (auto c = C::createCGColorRefFromString(text)) writeAll(*c);
    return 0;
}
