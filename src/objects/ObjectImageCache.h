#pragma once
// What a visual object asks of the renderer that draws it to keep its pictures from frame to
// frame: an image per object and cache path ("image", "exportImage", "shadowImage", ...) with the
// 64-bit stamp the object computed for it. The renderer implements it; an object drawn without one
// rasterises every time. Called on the thread that renders with that renderer.

#include "platform/imaging/CIImage.h"

#include <cstdint>
#include <string>

namespace vtl {

class CompositionBaseObject;

class ObjectImageCache {
public:
    virtual ~ObjectImageCache() = default;
    // Stores the image with its stamp; no image removes the path's entry.
    virtual void setCachedImage(const CIImage& image, const CompositionBaseObject* object, const std::string& path,
                                std::uint64_t time) = 0;
    // None when nothing is stored.
    virtual CIImage cachedImageForObject(const CompositionBaseObject* object, const std::string& path) const = 0;
    // The stored stamp; all ones with isValid false when there is no entry.
    virtual std::uint64_t timeForObject(const CompositionBaseObject* object, const std::string& path,
                                        bool* isValid) const = 0;
};

// What the renderer asks for when it wants an object's own picture at a time.
struct ObjectImageRequest {
    // Export keeps its pictures apart from the preview's.
    bool forExport = false;
    bool forPlayback = false;
    ColorSpaceRef colorSpace;
    ObjectImageCache* renderer = nullptr;
    // The scale at which the object draws its picture.
    double xFactor = 1.0;
    float yFactor = 1.0f;
    float backingScalingFactor = 1.0f;
};

} // namespace vtl
