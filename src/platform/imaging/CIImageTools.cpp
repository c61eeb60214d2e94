#include "platform/imaging/CIImageTools.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/Resources.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/VTLImageWrapper.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

namespace vtl::vtltools {

namespace {

CIImage filtered(const std::string& name, std::initializer_list<std::pair<const char*, FilterValue>> inputs) {
    registerBuiltinFilters();
    std::unique_ptr<CIFilter> filter = CIFilter::filterWithName(name);
    if (!filter) return {};
    for (const auto& [key, value] : inputs)
        filter->setValue(key, value);
    return filter->outputImage();
}

BezierPath roundedRectPath(const Rect& r, double radius) {
    BezierPath path;
    radius = std::clamp(std::isnan(radius) ? 0.0 : radius, 0.0, std::min(r.width(), r.height()) / 2);
    if (!(radius > 0)) {
        path.appendRect(r);
        return path;
    }
    path.moveTo({r.minX() + radius, r.minY()});
    path.lineTo({r.maxX() - radius, r.minY()});
    path.appendArc({r.maxX() - radius, r.minY() + radius}, radius, 270, 360, false);
    path.lineTo({r.maxX(), r.maxY() - radius});
    path.appendArc({r.maxX() - radius, r.maxY() - radius}, radius, 0, 90, false);
    path.lineTo({r.minX() + radius, r.maxY()});
    path.appendArc({r.minX() + radius, r.maxY() - radius}, radius, 90, 180, false);
    path.lineTo({r.minX(), r.minY() + radius});
    path.appendArc({r.minX() + radius, r.minY() + radius}, radius, 180, 270, false);
    path.closePath();
    return path;
}

// Draws into a fresh device-RGB bitmap of the size (flipped) and makes it an image.
template <class Draw> CIImage drawnImage(Size size, Draw draw) {
    VTLImageWrapper wrapper;
    std::shared_ptr<GraphicsContext> context =
        wrapper.beginContextWithSize(size, ColorSpace::deviceRGB(), true);
    if (!context) return CIImage::emptyImage();
    draw(*context);
    return wrapper.releaseContextAndCreateCIImage();
}

void correct(Rect* correction, const Rect& before, const Rect& after) {
    if (!correction) return;
    correction->origin.x += after.minX() - before.minX();
    correction->origin.y += after.minY() - before.minY();
    correction->size.width += after.width() - before.width();
    correction->size.height += after.height() - before.height();
}

} // namespace

CIImage imageFromImages(std::span<const CIImage> images) {
    if (images.empty()) return {};
    CIImage result = images[0];
    for (std::size_t i = 1; i < images.size(); ++i)
        result = filtered("CISourceOverCompositing",
                          {{"inputImage", images[i]}, {"inputBackgroundImage", result}});
    return result;
}

CIImage imageNamed(const std::string& name) {
    if (name.empty()) return {};
    std::string file = name;
    if (std::filesystem::path(file).extension().empty()) file += ".png";
    for (const auto& dir : {resourcesDirectory() / "images", resourcesDirectory()}) {
        std::error_code error;
        std::filesystem::path path = dir / file;
        if (!std::filesystem::is_regular_file(path, error)) continue;
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (auto bitmap = Bitmap::fromData(bytes)) return CIImage::imageWithBitmap(bitmap);
    }
    return {};
}

CIImage imageWithAlpha(const CIImage& image, double alpha) {
    if (alpha == 1 || image.isNull()) return image;
    return filtered("CIColorMatrix", {{"inputImage", image}, {"inputAVector", CIVector{0, 0, 0, alpha}}});
}

CIImage imageWithString(const AttributedString& text, Size size, const Rect& rect) {
    return drawnImage(size, [&](GraphicsContext& context) {
        drawString(context, text, rect, StringDrawingUsesLineFragmentOrigin);
    });
}

CIImage imageWithString(const std::string& text, Size size, const TextAttributes& attributes,
                        const Rect& rect) {
    return imageWithString(AttributedString(text, attributes), size, rect);
}

CIImage imageWithRoundedRectOfSize(Size size, double cornerRadius, const Color& backgroundColor,
                                   double alpha) {
    return drawnImage(size, [&](GraphicsContext& context) {
        context.setFillColor(backgroundColor.withAlpha(alpha));
        context.fill(roundedRectPath(Rect(0, 0, size.width, size.height), cornerRadius));
    });
}

CIImage imageWithRoundedFrameOfSize(Size size, double cornerRadius, double frameWidth,
                                    const Color& frameColor) {
    return drawnImage(size, [&](GraphicsContext& context) {
        double w =
            std::isnan(frameWidth) ? 0 : std::clamp(frameWidth, 0.0, std::max(size.width, size.height));
        context.setStrokeColor(frameColor);
        context.setLineWidth(w);
        context.stroke(
            roundedRectPath(Rect(w / 2, w / 2, size.width - w, size.height - w), cornerRadius - w));
    });
}

CIImage imageByAddingShadowWithRadius(const CIImage& image, double radius, const CIColor& color, Size offset,
                                      double alpha, Rect* extentCorrection) {
    if (image.isNull()) return {};
    const Rect before = image.extent();
    CIImage blurred = filtered("CIGaussianBlur", {{"inputImage", image}, {"inputRadius", radius}});
    CIImage coloured = filtered("CIColorMonochrome",
                                {{"inputImage", blurred}, {"inputColor", color}, {"inputIntensity", 1.0}});
    double dx = std::isfinite(offset.width) ? offset.width : 0,
           dy = std::isfinite(offset.height) ? offset.height : 0;
    CIImage shadow =
        imageWithAlpha(coloured.imageByApplyingTransform(AffineTransform::translation(dx, dy)), alpha);
    const CIImage layers[] = {shadow, image};
    CIImage result = imageFromImages(layers);
    correct(extentCorrection, before, result.extent());
    return result;
}

CIImage imageByAddingShadowWithRadius(const CIImage& image, double radius, const Color& color, Size offset,
                                      double alpha, Rect* extentCorrection) {
    return imageByAddingShadowWithRadius(image, radius, CIColor::fromColor(color), offset, alpha,
                                         extentCorrection);
}

CIImage imageByRotatingByDegrees(const CIImage& image, double degrees, Rect* extentCorrection) {
    return imageByRotatingByDegrees(image, degrees, 1.0, 1.0, extentCorrection);
}

CIImage imageByRotatingByDegrees(const CIImage& image, double degrees, double scaling,
                                 Rect* extentCorrection) {
    return imageByRotatingByDegrees(image, degrees, scaling, scaling, extentCorrection);
}

CIImage imageByRotatingByDegrees(const CIImage& image, double degrees, double scalingX, double scalingY,
                                 Rect* extentCorrection) {
    if (degrees == 0 && scalingX == 1 && scalingY == 1) return image;
    Rect e = image.extent();
    return imageByRotatingByDegrees(image, -degrees * std::numbers::pi / 180, scalingX, scalingY,
                                    Point{e.midX(), e.midY()}, extentCorrection);
}

CIImage imageByRotatingByDegrees(const CIImage& image, double angleRadians, double scalingX, double scalingY,
                                 Point point, Rect* extentCorrection) {
    if (image.isNull()) return {};
    AffineTransform toOrigin = AffineTransform::translation(-point.x, -point.y);
    AffineTransform back = AffineTransform::translation(point.x, point.y);
    AffineTransform rotation = AffineTransform::rotationRadians(angleRadians);
    AffineTransform m = toOrigin.concatenated(rotation)
                            .concatenated(AffineTransform::scale(scalingX, scalingY))
                            .concatenated(back);
    if (extentCorrection && !image.isInfinite()) {
        Rect e = image.extent();
        correct(extentCorrection, e, toOrigin.concatenated(rotation).concatenated(back).applyToRect(e));
    }
    return image.imageByApplyingTransform(m);
}

CIImage imageOfSize(Size size, Point center, double radius, const Color& colorAround, double) {
    CIImage around = filtered("CIConstantColorGenerator", {{"inputColor", CIColor::fromColor(colorAround)}});
    int w = pixelCount(size.width), h = pixelCount(size.height);
    auto context = GraphicsContext::createBitmapContext(w, h, true, false);
    if (!context) return CIImage::emptyImage();
    double r = std::isfinite(radius) ? radius : 0;
    BezierPath path;
    path.appendOvalInRect(Rect(center.x - r, center.y - r, 2 * r, 2 * r));
    path.appendRect(Rect(0, 0, size.width, size.height));
    context->setFillColor(Color::black());
    context->fill(path, FillRule::EvenOdd);
    CIImage mask = CIImage::imageWithBitmap(context->makeImage());
    return filtered("CISourceOutCompositing", {{"inputImage", mask}, {"inputBackgroundImage", around}});
}

CIImage imageByCuttingOutRect(const CIImage& image, const Rect& rect) {
    if (image.isNull()) return {};
    const Rect e = image.extent();
    const Rect r = rect.integral();
    std::vector<CIImage> pieces;
    auto keep = [&](const Rect& piece, double thickness) {
        if (float(thickness) >= 1) pieces.push_back(image.imageByCroppingToRect(piece));
    };
    keep(Rect(e.minX(), e.minY(), r.minX() - e.minX(), e.height()), r.minX() - e.minX());
    keep(Rect(r.minX(), e.minY(), r.width(), r.minY() - e.minY()), r.minY() - e.minY());
    keep(Rect(r.minX(), r.maxY(), r.width(), e.maxY() - r.maxY()), e.maxY() - r.maxY());
    keep(Rect(r.maxX(), e.minY(), e.maxX() - r.maxX(), e.height()), e.maxX() - r.maxX());
    return imageFromImages(pieces);
}

CIImage transparentImageOfRect(const Rect& rect) {
    static const auto pixel = std::make_shared<Bitmap>(1, 1);
    return CIImage::imageWithBitmap(pixel)
        .imageByApplyingTransform(AffineTransform::scale(rect.width(), rect.height()))
        .imageByApplyingTransform(AffineTransform::translation(rect.minX(), rect.minY()));
}

CIImage imageFromImageMaskImage(const CIImage& image, const CIImage& maskImage) {
    return filtered("CIBlendWithAlphaMask", {{"inputImage", image},
                                             {"inputMaskImage", maskImage},
                                             {"inputBackgroundImage", CIImage::emptyImage()}});
}

} // namespace vtl::vtltools
