#pragma once
// Offscreen bitmap contexts for drawing code: begin one (it becomes the thread's current context),
// draw, then release it into an image, which restores the previous current context.
// Stateless; the caller owns the context between begin and release.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/Image.h"

namespace vtl {

class MRDrawing_CGContextCreationHelper {
public:
    // A bitmap context of the size truncated to whole pixels, made current (flipped flag set);
    // null for a size the platform refuses (an empty one), and then nothing becomes current.
    static GraphicsContextRef beginCGContextWithSize(Size size, bool hasAlphaChannel = true);
    // Saves the current context and its state and makes `context` current, its flipped flag set
    // as given. The flag only tells text and image drawing which way is up; the user space stays.
    static void beginPlattformContextWithCGContext(const GraphicsContextRef& context, bool flipped = true);
    // Restores what the begin operation saved.
    static void endPlattformContextWithCGContext(const GraphicsContextRef& context);
    // The bitmap's pixels as an image; ends the platform context and drops the context.
    static BitmapRef releaseCGContextAndCreateImage(GraphicsContextRef context);
    static ImageRef releaseContextAndCreatePlattformImage(GraphicsContextRef context);
};

} // namespace vtl
