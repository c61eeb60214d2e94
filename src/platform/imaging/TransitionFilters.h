#pragma once
// The transition filters: CIDissolveTransition, CICopyMachineTransition, CIPageCurlTransition,
// CIPageCurlWithShadowTransition, CIRippleTransition and CIBarsSwipeTransition. Each takes
// "inputImage", "inputTargetImage" and "inputTime" (0…1, default 0) and shows exactly the source
// at 0 and exactly the target at 1 over the union of the two extents; a pixel that has become the
// target stays so as time rises. Registered with the built-in filters.

namespace vtl {

// Adds the transition filters to the filter registry; registerBuiltinFilters calls it.
void registerTransitionFilters();

} // namespace vtl
