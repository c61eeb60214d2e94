#pragma once
// Images the controls draw with, made by our own drawing code instead of loaded from files.
// Each call returns the same shared image.

#include "platform/graphics/Image.h"

namespace vtl {

// "menuTriangle": a small dark triangle pointing down (10 × 8 points) that marks a menu.
ImageRef menuTriangleImage();

} // namespace vtl
