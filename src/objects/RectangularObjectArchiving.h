#pragma once
// Registers the archived class names of the visual-object classes (with those of the model).

#include "platform/foundation/KeyedArchiveRegistry.h"

namespace vtl {

void registerVisualObjectClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

} // namespace vtl
