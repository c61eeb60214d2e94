#include "graphics/GuiTestEnvironment.h"

namespace {
// Text objects lay out and measure with the system's fonts.
[[maybe_unused]] auto* const objectsGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new vtl::test::GuiTestEnvironment);
} // namespace
