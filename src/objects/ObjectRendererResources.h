#pragma once
// What a visual object asks of the renderer that draws it: an image cache by object and cache
// path with a 64-bit stamp per entry, an opaque per-object context, one uploaded frame per object,
// the computing of an image into memory so that what a cache keeps is not recomputed on every
// draw, and the frame sources that movie and recording tracks decode through. Each renderer (preview canvas,
// viewer, image generator) has its own set, so objects keep no such resources themselves. The renderer
// implements it; objects never own it.
//
// Threads: called from the thread that draws with the renderer; entries of an object removed on
// the main thread meanwhile are dropped, never read. Entries do not keep their object alive.

#include <cstdint>
#include <memory>
#include <string>

namespace vtl {

class BitmapImage;
class CIImage;
class ColorSpace;
class CompositionBaseObject;
class MovieFrameRenderer;
class RecordingFrameCacheProvider;

// Cache paths of the image pipeline.
inline constexpr const char* kCachePathImage = "image";
inline constexpr const char* kCachePathExportImage = "exportImage";
inline constexpr const char* kCachePathShadowImage = "shadowImage";
inline constexpr const char* kCachePathCornerMask = "cornerMask";
inline constexpr const char* kCachePathFrameImage = "frameImage";

// Whatever an object keeps per renderer between frames (a decoder position, a laid-out text).
class RendererContext {
public:
    virtual ~RendererContext() = default;
};

class ObjectRendererResources {
public:
    // The stamp of a missing entry.
    static constexpr std::uint64_t invalidStamp = ~std::uint64_t(0);

    virtual ~ObjectRendererResources() = default;

    // --- Image cache. Storing a none image removes that path's entry only.
    virtual void setCachedImage(const CIImage& image, const CompositionBaseObject& object,
                                const std::string& cachePath, std::uint64_t stamp) = 0;
    // None when there is no entry.
    virtual CIImage cachedImageForObject(const CompositionBaseObject& object,
                                         const std::string& cachePath) const = 0;
    // The entry's stamp with *isValid true, or invalidStamp with *isValid false when the object
    // or the path has none.
    virtual std::uint64_t timeForObject(const CompositionBaseObject& object, const std::string& cachePath,
                                        bool* isValid) const = 0;
    virtual void removeCachedImagesForObject(const CompositionBaseObject& object) = 0;
    virtual void removeAllCachedImages() = 0;

    // The image computed once into memory (what a cache keeps); the image itself when it cannot
    // be (infinite, too large). Never called with the renderer's maps locked.
    virtual CIImage materializedImage(const CIImage& image) = 0;
    // The colour space the renderer draws in.
    virtual std::shared_ptr<const ColorSpace> workingColorSpace() const = 0;

    // --- Per-object contexts; a none context removes the entry.
    virtual std::shared_ptr<RendererContext>
    rendererContextForObject(const CompositionBaseObject& object) const = 0;
    virtual void setRendererContext(std::shared_ptr<RendererContext> context,
                                    const CompositionBaseObject& object) = 0;

    // --- Frame upload: the frame ready to draw, replacing the object's previous one (the renderer
    // keeps exactly one per object). None for an empty frame, which also drops the previous one.
    virtual CIImage cachedAndUploadPixelBuffer(const BitmapImage& frame,
                                               const CompositionBaseObject& object) = 0;

    // --- Frame sources of movie and recording tracks; null where the renderer decodes no media
    // (such tracks then draw nothing).
    virtual MovieFrameRenderer* movieFrameRenderer() { return nullptr; }
    virtual RecordingFrameCacheProvider* recordingFrameCaches() { return nullptr; }
};

} // namespace vtl
