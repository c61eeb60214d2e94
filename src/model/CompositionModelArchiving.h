#pragma once
// Registers the archived class names of the composition model (keyframe states, timeline object
// base, objects container) with a class registry. Call once at start-up, before decoding.

#include "platform/foundation/KeyedArchiveRegistry.h"

namespace vtl {

void registerCompositionModelClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

} // namespace vtl
