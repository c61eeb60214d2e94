#pragma once
// Images for drawing code: conversions between bitmaps (the drawing image), images with
// representations (the platform image) and encoded data; tinting, scaling, cropping and orienting
// through offscreen bitmap contexts; drawing images; a process-wide cache of named images.
// Stateless apart from that cache (guarded by its own lock). Null in, null out.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Image.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vtl {

class MRDrawing_ImagesHelper {
public:
    static BitmapRef createImageRefFromPlattformImage(const ImageRef& image);
    // The image's shape filled with the colour (keeping the image's alpha).
    static BitmapRef createColorFilledImage(const BitmapRef& image, const Color& color);
    static ImageRef platformImageFromCGImage(const BitmapRef& image);

    // Cached lookup of a resource image by file name ("png" when it has no extension); images of
    // 512 points or more on a side are returned but not cached.
    static ImageRef imageNamed(const std::string& name);
    // How many times imageNamed went to disk (for tests of the cache).
    static int imageNamedLoadCount();
    // Folders searched after the resources' "images" folder and the resources folder itself.
    static void addImageSearchDirectory(const std::filesystem::path& directory);

    static BitmapRef createScaledImageRefFromImageRef(const BitmapRef& image, Size size);
    static BitmapRef createSubImageFromImage(const BitmapRef& image, const Rect& rect);
    static BitmapRef createColorMultipliedImage(const BitmapRef& image, const Color& color);
    static BitmapRef createColorBlendedImage(const BitmapRef& image, const Color& color);
    static BitmapRef createColorizedImage(const BitmapRef& image, const Color& color);
    // Hue turned by the angle in radians about the grey axis.
    static BitmapRef createColorHueAdjustImage(const BitmapRef& image, float angle);

    static BitmapRef createImageRefFromFileName(const std::string& fileName);
    // "png" and "jpg" extensions (exactly) decode as that format first; anything else by content.
    static BitmapRef createImageRefFromFile(const std::filesystem::path& path);
    static BitmapRef createImageRefFromData(const std::vector<uint8_t>& data, bool respectOrientation = true);
    static BitmapRef createImageRefFromJPGData(const std::vector<uint8_t>& data);
    static BitmapRef createImageRefFromPNGData(const std::vector<uint8_t>& data);
    // Orientations 2..8 of photo metadata applied; any other value gives the image itself.
    static BitmapRef applyEXIFOrientation(int orientation, const BitmapRef& image);
    static std::vector<uint8_t> pngDataFromCGImageRef(const BitmapRef& image, int dpi = 72);
    static std::vector<uint8_t> jpegDataFromCGImageRef(const BitmapRef& image, float quality = 0.9f);
    static bool isCGImageOpaque(const BitmapRef& image);

    // Draws into the current context through a vertical flip; mode 0 copies, others draw over.
    static void drawPlattformImage(const ImageRef& image, const Rect& rect, int compositeMode,
                                   float fraction = 1.0f);

    static ImageRef platformImageFromJPGData(const std::vector<uint8_t>& data);
    static ImageRef platformImageFromPNGData(const std::vector<uint8_t>& data);
    static std::vector<uint8_t> pngDataFromPlatformImage(const ImageRef& image);
    static std::vector<uint8_t> jpegDataFromPlatformImage(const ImageRef& image);
    // Images kept in preferences and archives are PNG data.
    static std::vector<uint8_t> dataForPreferencesFromPlatformImage(const ImageRef& image);
    static ImageRef platformImageFromDataFromPreferences(const std::vector<uint8_t>& data);
    static Size sizeOfPlattformImage(const ImageRef& image);
    static ImageRef scalePlatformImage(const ImageRef& image, Size size);
    static ImageRef forceDecompressionOfPlatformImage(const ImageRef& image) { return image; }
};

} // namespace vtl
