#include "drawing/MRDrawing_ImagesHelper.h"

#include "drawing/MRDrawing_CGContextCreationHelper.h"
#include "drawing/MRDrawing_ColorsHelper.h"
#include "platform/foundation/Resources.h"
#include "platform/graphics/GraphicsContext.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace vtl {

namespace {

using Helper = MRDrawing_CGContextCreationHelper;

Rect wholeRect(const Bitmap& b) {
    return {0, 0, static_cast<double>(b.width()), static_cast<double>(b.height())};
}

std::mutex& imageNamedLock() {
    static std::mutex lock;
    return lock;
}
std::map<std::string, ImageRef>& imageNamedCache() {
    static std::map<std::string, ImageRef> cache;
    return cache;
}
int gImageNamedLoads = 0;
std::vector<std::filesystem::path>& extraDirectories() {
    static std::vector<std::filesystem::path> dirs;
    return dirs;
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Draws the image over the whole of a new bitmap context and then applies `finish`.
template <class F> BitmapRef withImageContext(const BitmapRef& image, F finish) {
    if (!image || image->isNull()) return nullptr;
    auto ctx = Helper::beginCGContextWithSize(
        {static_cast<double>(image->width()), static_cast<double>(image->height())});
    if (!ctx) return nullptr;
    Rect r = wholeRect(*image);
    ctx->drawImage(r, *image);
    finish(*ctx, r);
    return Helper::releaseCGContextAndCreateImage(ctx);
}

} // namespace

BitmapRef MRDrawing_ImagesHelper::createImageRefFromPlattformImage(const ImageRef& image) {
    if (!image) return nullptr;
    Size s = image->size();
    auto ctx = Helper::beginCGContextWithSize(s);
    if (!ctx) return nullptr;
    image->drawInRect(*ctx, {0, 0, std::floor(s.width), std::floor(s.height)}, Rect(), BlendMode::Copy, 1.0);
    return Helper::releaseCGContextAndCreateImage(ctx);
}

BitmapRef MRDrawing_ImagesHelper::createColorFilledImage(const BitmapRef& image, const Color& color) {
    return withImageContext(image, [&](GraphicsContext& ctx, const Rect& r) {
        ctx.setBlendMode(BlendMode::SourceIn);
        MRDrawing_ColorsHelper::setPlattformColorInCurrentContext(color);
        ctx.fillRect(r);
    });
}

ImageRef MRDrawing_ImagesHelper::platformImageFromCGImage(const BitmapRef& image) {
    if (!image) return nullptr;
    return Image::withBitmap(image);
}

ImageRef MRDrawing_ImagesHelper::imageNamed(const std::string& name) {
    std::lock_guard<std::mutex> guard(imageNamedLock());
    std::string fileName = name;
    if (std::filesystem::path(fileName).extension().empty()) fileName += ".png";
    auto& cache = imageNamedCache();
    if (auto it = cache.find(fileName); it != cache.end()) return it->second;
    std::vector<std::filesystem::path> dirs{resourcesDirectory() / "images", resourcesDirectory()};
    for (const auto& d : extraDirectories())
        dirs.push_back(d);
    ImageRef image;
    for (const auto& dir : dirs) {
        std::error_code ec;
        auto path = dir / fileName;
        if (!std::filesystem::is_regular_file(path, ec)) continue;
        ++gImageNamedLoads;
        image = platformImageFromCGImage(createImageRefFromFile(path));
        if (image) break;
    }
    if (!image) return nullptr;
    if (image->size().width < 512 && image->size().height < 512) cache[fileName] = image;
    return image;
}

int MRDrawing_ImagesHelper::imageNamedLoadCount() {
    std::lock_guard<std::mutex> guard(imageNamedLock());
    return gImageNamedLoads;
}

void MRDrawing_ImagesHelper::addImageSearchDirectory(const std::filesystem::path& directory) {
    std::lock_guard<std::mutex> guard(imageNamedLock());
    extraDirectories().push_back(directory);
}

BitmapRef MRDrawing_ImagesHelper::createScaledImageRefFromImageRef(const BitmapRef& image, Size size) {
    if (!image || !(size.width > 0) || !(size.height > 0)) return nullptr;
    double w = std::round(static_cast<float>(size.width)), h = std::round(static_cast<float>(size.height));
    auto ctx = Helper::beginCGContextWithSize({w, h});
    if (!ctx) return nullptr;
    ctx->drawImage({0, 0, w, h}, *image);
    return Helper::releaseCGContextAndCreateImage(ctx);
}

BitmapRef MRDrawing_ImagesHelper::createSubImageFromImage(const BitmapRef& image, const Rect& rect) {
    if (!image) return nullptr;
    auto ctx = Helper::beginCGContextWithSize(rect.size);
    if (!ctx) return nullptr;
    ctx->drawImage({-rect.minX(), -rect.minY(), static_cast<double>(image->width()),
                    static_cast<double>(image->height())},
                   *image);
    return Helper::releaseCGContextAndCreateImage(ctx);
}

BitmapRef MRDrawing_ImagesHelper::createColorMultipliedImage(const BitmapRef& image, const Color& color) {
    return withImageContext(image, [&](GraphicsContext& ctx, const Rect& r) {
        ctx.clipToMask(r, *image);
        ctx.setBlendMode(BlendMode::Multiply);
        MRDrawing_ColorsHelper::setPlattformColorInCurrentContext(color);
        ctx.fillRect(r);
    });
}

BitmapRef MRDrawing_ImagesHelper::createColorBlendedImage(const BitmapRef& image, const Color& color) {
    return withImageContext(image, [&](GraphicsContext& ctx, const Rect& r) {
        ctx.setBlendMode(BlendMode::Color);
        ctx.clipToMask(r, *image);
        MRDrawing_ColorsHelper::setPlattformColorInCurrentContext(color);
        ctx.fillRect(r);
    });
}

BitmapRef MRDrawing_ImagesHelper::createColorizedImage(const BitmapRef& image, const Color& color) {
    // The image-filter chain is not available in this layer: the colour-blend path stands in.
    return createColorBlendedImage(image, color);
}

BitmapRef MRDrawing_ImagesHelper::createColorHueAdjustImage(const BitmapRef& image, float angle) {
    if (!image) return nullptr;
    auto out = std::make_shared<Bitmap>(*image);
    double c = std::cos(angle), s = std::sin(angle);
    const double m[3][3] = {
        {0.299 + 0.701 * c + 0.168 * s, 0.587 - 0.587 * c + 0.330 * s, 0.114 - 0.114 * c - 0.497 * s},
        {0.299 - 0.299 * c - 0.328 * s, 0.587 + 0.413 * c + 0.035 * s, 0.114 - 0.114 * c + 0.292 * s},
        {0.299 - 0.300 * c + 1.250 * s, 0.587 - 0.588 * c - 1.050 * s, 0.114 + 0.886 * c - 0.203 * s},
    };
    for (int y = 0; y < out->height(); ++y)
        for (int x = 0; x < out->width(); ++x) {
            Bitmap::Pixel p = out->pixelAt(x, y);
            double in[3] = {double(p.r), double(p.g), double(p.b)};
            auto channel = [&](int row) {
                double v = m[row][0] * in[0] + m[row][1] * in[1] + m[row][2] * in[2];
                return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, static_cast<long>(p.a)));
            };
            out->setPixel(x, y, {channel(2), channel(1), channel(0), p.a});
        }
    return out;
}

BitmapRef MRDrawing_ImagesHelper::createImageRefFromFileName(const std::string& fileName) {
    std::vector<std::filesystem::path> dirs{resourcesDirectory() / "images", resourcesDirectory()};
    for (const auto& dir : dirs) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(dir / fileName, ec))
            return createImageRefFromFile(dir / fileName);
    }
    return nullptr;
}

BitmapRef MRDrawing_ImagesHelper::createImageRefFromFile(const std::filesystem::path& path) {
    if (path.empty()) return nullptr;
    std::vector<uint8_t> data = readFile(path);
    if (data.empty()) return nullptr;
    std::string ext = path.extension().string();
    BitmapRef image;
    if (ext == ".png")
        image = createImageRefFromPNGData(data);
    else if (ext == ".jpg")
        image = createImageRefFromJPGData(data);
    if (!image) image = createImageRefFromData(data);
    return image;
}

BitmapRef MRDrawing_ImagesHelper::createImageRefFromData(const std::vector<uint8_t>& data,
                                                         bool respectOrientation) {
    if (data.empty()) return nullptr;
    BitmapRef image = Bitmap::fromData(data);
    if (!image || !respectOrientation) return image;
    return applyEXIFOrientation(Bitmap::orientationFromData(data), image);
}

BitmapRef MRDrawing_ImagesHelper::createImageRefFromJPGData(const std::vector<uint8_t>& data) {
    return Bitmap::fromDataWithFormat(data, "JPG");
}

BitmapRef MRDrawing_ImagesHelper::createImageRefFromPNGData(const std::vector<uint8_t>& data) {
    return Bitmap::fromDataWithFormat(data, "PNG");
}

BitmapRef MRDrawing_ImagesHelper::applyEXIFOrientation(int orientation, const BitmapRef& image) {
    if (!image || orientation < 2 || orientation > 8) return image;
    int W = image->width(), H = image->height();
    bool swap = orientation >= 5;
    auto out = std::make_shared<Bitmap>(swap ? H : W, swap ? W : H, image->alphaInfo());
    for (int y = 0; y < out->height(); ++y)
        for (int x = 0; x < out->width(); ++x) {
            int sx = x, sy = y;
            switch (orientation) {
            case 2:
                sx = W - 1 - x;
                break;
            case 3:
                sx = W - 1 - x, sy = H - 1 - y;
                break;
            case 4:
                sy = H - 1 - y;
                break;
            case 5:
                sx = y, sy = x;
                break;
            case 6:
                sx = y, sy = H - 1 - x;
                break;
            case 7:
                sx = W - 1 - y, sy = H - 1 - x;
                break;
            case 8:
                sx = W - 1 - y, sy = x;
                break;
            }
            out->setPixel(x, y, image->pixelAt(sx, sy));
        }
    return out;
}

std::vector<uint8_t> MRDrawing_ImagesHelper::pngDataFromCGImageRef(const BitmapRef& image, int dpi) {
    return image ? image->pngData(dpi) : std::vector<uint8_t>{};
}

std::vector<uint8_t> MRDrawing_ImagesHelper::jpegDataFromCGImageRef(const BitmapRef& image, float quality) {
    return image ? image->jpegData(quality, 72) : std::vector<uint8_t>{};
}

bool MRDrawing_ImagesHelper::isCGImageOpaque(const BitmapRef& image) {
    if (!image || !image->hasAlpha()) return true;
    for (int y = 0; y < image->height(); ++y) {
        const uint8_t* row = image->data() + static_cast<size_t>(y) * image->bytesPerRow();
        for (int x = 0; x < image->width(); ++x)
            if (row[x * 4 + 3] < 255) return false;
    }
    return true;
}

void MRDrawing_ImagesHelper::drawPlattformImage(const ImageRef& image, const Rect& rect, int compositeMode,
                                                float fraction) {
    GraphicsContext* ctx = GraphicsContext::current();
    if (!ctx || !image) return;
    ctx->saveGState();
    AffineTransform flip;
    flip.scaleBy(1, -1);
    flip.translateBy(rect.minX(), -rect.minY() - rect.height());
    ctx->concatCTM(flip);
    image->drawInRect(*ctx, {0, 0, rect.width(), rect.height()}, Rect(),
                      compositeMode != 0 ? BlendMode::SourceOver : BlendMode::Copy, fraction);
    ctx->restoreGState();
}

ImageRef MRDrawing_ImagesHelper::platformImageFromJPGData(const std::vector<uint8_t>& data) {
    return Image::withBitmap(Bitmap::fromData(data));
}

ImageRef MRDrawing_ImagesHelper::platformImageFromPNGData(const std::vector<uint8_t>& data) {
    return Image::withBitmap(Bitmap::fromData(data));
}

std::vector<uint8_t> MRDrawing_ImagesHelper::pngDataFromPlatformImage(const ImageRef& image) {
    if (!image || !image->isValid()) return {};
    return image->representations().front().bitmap->pngData();
}

std::vector<uint8_t> MRDrawing_ImagesHelper::jpegDataFromPlatformImage(const ImageRef& image) {
    if (!image || !image->isValid()) return {};
    return image->representations().front().bitmap->jpegData();
}

std::vector<uint8_t> MRDrawing_ImagesHelper::dataForPreferencesFromPlatformImage(const ImageRef& image) {
    return pngDataFromPlatformImage(image);
}

ImageRef MRDrawing_ImagesHelper::platformImageFromDataFromPreferences(const std::vector<uint8_t>& data) {
    return Image::withBitmap(Bitmap::fromData(data));
}

Size MRDrawing_ImagesHelper::sizeOfPlattformImage(const ImageRef& image) {
    return image ? image->size() : Size{};
}

ImageRef MRDrawing_ImagesHelper::scalePlatformImage(const ImageRef& image, Size size) {
    if (!image) return nullptr;
    auto ctx = GraphicsContext::createBitmapContext(pixelCount(std::ceil(size.width)),
                                                    pixelCount(std::ceil(size.height)));
    if (!ctx) return nullptr;
    image->drawInRect(*ctx, {0, 0, size.width, size.height}, Rect(), BlendMode::Copy, 1.0);
    auto out = std::make_shared<Image>(size);
    out->addRepresentation(ctx->makeImage());
    return out;
}

} // namespace vtl
