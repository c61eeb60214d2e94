#include "WidgetsTestEnvironment.h"

namespace {
[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new vtl::test::WidgetsTestEnvironment);
}
