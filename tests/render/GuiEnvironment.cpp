#include "graphics/GuiTestEnvironment.h"

namespace {
// Text objects lay out and measure with the system's fonts.
[[maybe_unused]] auto* const renderGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new vtl::test::GuiTestEnvironment);
} // namespace
