#pragma once
// The pixel operations of the transition filters, as recipe nodes. Each turns the source into the
// target as `time` runs from 0 to 1 (exactly the source at 0, exactly the target at 1) over the
// union of their extents, and a pixel that has turned into the target stays the target as time
// rises. Sweeps cross `area`, which the filters make cover both pictures and the extent they are
// given, so nothing of either picture is left behind at the ends. Values arrive checked: finite,
// in range, time in 0…1.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/CIColor.h"
#include "platform/imaging/ImageNode.h"

namespace vtl::detail {

// source · (1 − time) + target · time on premultiplied pixels.
ImageNodeRef makeDissolveNode(ImageNodeRef source, ImageNodeRef target, double time);

struct CopyMachineParameters {
    Rect area;
    double angleRadians = 0;
    double widthPixels = 200;
    double opacity = 1.3;
    CIColor color{0.6, 1, 1, 1};
    double time = 0;
};
// A bar of light sweeps along the angle: ahead of it the source, behind it the target, inside it
// a blend of the two lit by the colour.
ImageNodeRef makeCopyMachineNode(ImageNodeRef source, ImageNodeRef target,
                                 const CopyMachineParameters& parameters);

struct BarsSwipeParameters {
    Rect area;
    double angleRadians = 0;
    double barWidthPixels = 30;
    double barOffsetPixels = 10;
    double time = 0;
};
// The source cut into bars lying along the angle slides off along it, every other bar
// `barOffsetPixels` behind; the target shows where the bars have left.
ImageNodeRef makeBarsSwipeNode(ImageNodeRef source, ImageNodeRef target,
                               const BarsSwipeParameters& parameters);

struct PageCurlParameters {
    Rect area;
    double angleRadians = 0;
    double radiusPixels = 100;
    double time = 0;
    // A shadow on the target beside the roll: its length as a share of the radius and its darkness.
    bool shadow = false;
    double shadowSize = 0.5;
    double shadowAmount = 0.7;
    // Where the shadow may fall; empty for everywhere.
    Rect shadowArea;
    // The extent of the shading image (its middle row is read), when there is one.
    Rect shadingExtent;
};
// The source rolls up round a cylinder travelling along the angle; the roll shows the page's back
// (the backside picture as the page turns it, mirrored) lit by the shading image, and the target
// is left behind it. backside and shading may be null: the back is then the source, unlit.
ImageNodeRef makePageCurlNode(ImageNodeRef source, ImageNodeRef target, ImageNodeRef backside,
                              ImageNodeRef shading, const PageCurlParameters& parameters);

struct RippleParameters {
    Rect area;
    Point center;
    double widthPixels = 100;
    double scale = 50;
    double time = 0;
    Rect shadingExtent;
};
// A ring grows from the centre until it has passed every corner of the area: the target inside,
// the source outside, and in the ring both blended, pushed along the radius by up to `scale`
// pixels and lit by the shading image (may be null).
ImageNodeRef makeRippleNode(ImageNodeRef source, ImageNodeRef target, ImageNodeRef shading,
                            const RippleParameters& parameters);

} // namespace vtl::detail
