#include "graphics/GuiTestEnvironment.h"

namespace {
[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new vtl::test::GuiTestEnvironment);
}
