// Feeds arbitrary bytes to the reading of a composition file and renders what was read through
// the offscreen generator at a few times, in editing and in export, so stored values that the
// drawing takes apart (sizes, rectangles, times, masks) meet the renderer unchecked.

#include "FuzzGuiApplication.h"
#include "document/DocumentOpening.h"
#include "render/VTLObjectsContainerImageGenerator.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vtl::fuzz::ensureGuiApplication();
    auto document = vtl::readCompositionArchive(std::span<const std::uint8_t>(data, size), "The input");
    if (!document.ok()) return 0;
    const vtl::CompositionObjectsContainer& container = *document.value()->objectsContainer();
    vtl::VTLObjectsContainerImageGenerator generator({48, 27}, 1, nullptr, vtl::GeneratorAlpha::With);
    for (double time : {0.0, 0.5, 3.0}) {
        (void)generator.imageFromObjectsContainer(container, time, false, false);
        (void)generator.imageFromObjectsContainer(container, time, true, true);
    }
    return 0;
}
