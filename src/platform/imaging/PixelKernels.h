#pragma once
// The pixel operations of the imaging layer's filters, as recipe nodes, and the row loops the
// evaluator shares with them. Pixels are 8-bit premultiplied B, G, R, A; colour arithmetic runs in
// float on un-premultiplied values, compositing in 16-bit integers with exact rounding.

#include "platform/imaging/CIColor.h"
#include "platform/imaging/ImageNode.h"

#include <array>
#include <cstdint>

namespace vtl::detail {

// dst = src + dst · (1 − src alpha), over n pixels.
void sourceOverRow(const std::uint8_t* src, std::uint8_t* dst, int n);
// The same over views of equal size.
void sourceOverSpan(ConstPixelSpan src, PixelSpan dst);

// Rows of premultiplied pixels with un-premultiplied float access.
struct ColorMatrix {
    // Rows for red, green, blue and alpha, each applied to (r, g, b, a); then the bias.
    std::array<std::array<float, 4>, 4> rows{};
    std::array<float, 4> bias{};
};

ImageNodeRef makeSourceOverNode(ImageNodeRef foreground, ImageNodeRef background);
ImageNodeRef makeSourceOutNode(ImageNodeRef foreground, ImageNodeRef background);
// background may be null (transparent).
ImageNodeRef makeBlendWithMaskNode(ImageNodeRef image, ImageNodeRef background, ImageNodeRef mask);
ImageNodeRef makeColorMatrixNode(ImageNodeRef input, const ColorMatrix& matrix);
ImageNodeRef makeMonochromeNode(ImageNodeRef input, const CIColor& color, double intensity);
ImageNodeRef makeFalseColorNode(ImageNodeRef input, const CIColor& color0, const CIColor& color1);
ImageNodeRef makeColorControlsNode(ImageNodeRef input, double saturation, double brightness, double contrast);
// σ in pixels, already clamped; the extent grows by ⌈3σ⌉.
ImageNodeRef makeGaussianBlurNode(ImageNodeRef input, double sigma);
ImageNodeRef makeChromaKeyNode(ImageNodeRef input, const CIColor& key, double threshold, double smoothing);
// From source through the colour (time 0 … 0.5) to destination (0.5 … 1); extent
// (0, 0, source width, source height). time already clamped to 0…1.
ImageNodeRef makeTransitionNode(ImageNodeRef source, ImageNodeRef destination, double time,
                                const CIColor& through);

} // namespace vtl::detail
