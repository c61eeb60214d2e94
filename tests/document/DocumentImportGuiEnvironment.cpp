#include "graphics/GuiTestEnvironment.h"

namespace {
// New text objects measure themselves with the system's fonts.
[[maybe_unused]] auto* const documentImportGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new vtl::test::GuiTestEnvironment);
} // namespace
