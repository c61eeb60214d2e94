#pragma once
// The recurring image operations every image-producing part uses: compositing a stack, alpha,
// rounded rectangles and frames, shadows, rotation, hole punching, cutting out and transparent
// fill, built from the imaging layer's standard filters. Free functions on image values; none of
// them takes a lock. Functions that draw bitmaps use the calling thread's current graphics context
// stack and leave it as they found it.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Text.h"
#include "platform/imaging/CIImage.h"

#include <span>
#include <string>

namespace vtl::vtltools {

// None for no images; the one image; else the images composited in order, the first at the bottom.
CIImage imageFromImages(std::span<const CIImage> images);
// The named image from the program's resources ("images" folder, PNG unless named otherwise);
// none when there is no such image.
CIImage imageNamed(const std::string& name);
// The image itself for exactly 1; otherwise its colour kept and its alpha multiplied by `alpha`.
CIImage imageWithAlpha(const CIImage& image, double alpha);
// A bitmap of the size (flipped) with the text drawn into the rectangle.
CIImage imageWithString(const AttributedString& text, Size size, const Rect& rect);
CIImage imageWithString(const std::string& text, Size size, const TextAttributes& attributes,
                        const Rect& rect);
// A bitmap of the size with the rounded rectangle (0, 0, size) filled in the colour, its alpha
// replaced by `alpha`.
CIImage imageWithRoundedRectOfSize(Size size, double cornerRadius, const Color& backgroundColor,
                                   double alpha);
// A bitmap of the size with the rounded rectangle inset by half the frame width, of corner radius
// cornerRadius − frameWidth, stroked frameWidth wide in the colour.
CIImage imageWithRoundedFrameOfSize(Size size, double cornerRadius, double frameWidth,
                                    const Color& frameColor);
// The image over its shadow: blurred by `radius`, coloured, moved by `offset`, with `alpha`. When a
// correction rectangle is given it grows and moves as the extent did.
CIImage imageByAddingShadowWithRadius(const CIImage& image, double radius, const CIColor& color, Size offset,
                                      double alpha, Rect* extentCorrection = nullptr);
CIImage imageByAddingShadowWithRadius(const CIImage& image, double radius, const Color& color, Size offset,
                                      double alpha, Rect* extentCorrection = nullptr);
// Rotation about the midpoint of the extent; positive degrees turn clockwise. The image itself for
// 0 degrees and scaling 1. A correction rectangle moves and grows as the unscaled rotation moves
// and grows the extent.
CIImage imageByRotatingByDegrees(const CIImage& image, double degrees, Rect* extentCorrection = nullptr);
CIImage imageByRotatingByDegrees(const CIImage& image, double degrees, double scaling,
                                 Rect* extentCorrection = nullptr);
CIImage imageByRotatingByDegrees(const CIImage& image, double degrees, double scalingX, double scalingY,
                                 Rect* extentCorrection = nullptr);
// The general form about a point: this one takes the angle in radians, counter-clockwise positive.
// Points move by translate(−point), rotate, scale, translate(+point).
CIImage imageByRotatingByDegrees(const CIImage& image, double angleRadians, double scalingX, double scalingY,
                                 Point point, Rect* extentCorrection);
// Opaque black, weakened by the colour's alpha, over (0, 0, size) with a transparent round hole of
// `radius` at `center`. `scaling` is not used.
CIImage imageOfSize(Size size, Point center, double radius, const Color& colorAround, double scaling);
// The parts of the image around the rectangle (made integral): left, bottom, top and right pieces
// at least one pixel thick; none when no piece is left.
CIImage imageByCuttingOutRect(const CIImage& image, const Rect& rect);
// A fully transparent image covering exactly the rectangle.
CIImage transparentImageOfRect(const Rect& rect);
// The image where the mask is opaque and transparent where the mask is, by the mask's alpha
// ("CIBlendWithAlphaMask" over the empty image). The image itself without a mask; none without an
// image.
CIImage imageFromImageMaskImage(const CIImage& image, const CIImage& maskImage);

} // namespace vtl::vtltools
