#include "graphics/GuiTestEnvironment.h"

namespace {
// Text objects lay out and measure with the system's fonts.
[[maybe_unused]] auto* const documentGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new vtl::test::GuiTestEnvironment);
} // namespace
