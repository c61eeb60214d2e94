#pragma once
// The shading image "restrictedshine" that lights the page curl's back and the ripple's ring: a
// soft white highlight, transparent at both ends and brightest in the middle, read left to right
// along its middle row. Made by our own code on first use and shared for the whole run (images
// are immutable, so any thread may use it).

#include "platform/imaging/CIImage.h"

namespace vtl {

CIImage restrictedShineImage();

} // namespace vtl
