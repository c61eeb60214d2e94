#pragma once
// What the still-object tests (and the objects benchmark) need of a renderer: its image cache by
// object and path, counting its stores, with images kept as given; and pictures read back as
// pixels in image space.

#include "imaging/ImagingTestSupport.h"
#include "objects/ObjectRendererResources.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/ColorSpace.h"

#include <cmath>
#include <map>
#include <string>
#include <utility>

namespace vtl::test {

class MemoryImageCache : public ObjectRendererResources {
public:
    void setCachedImage(const CIImage& image, const CompositionBaseObject& object, const std::string& path,
                        std::uint64_t stamp) override {
        if (image.isNull()) {
            entries_.erase({&object, path});
            return;
        }
        entries_[{&object, path}] = {image, stamp};
        ++stores;
    }
    CIImage cachedImageForObject(const CompositionBaseObject& object,
                                 const std::string& path) const override {
        auto found = entries_.find({&object, path});
        return found == entries_.end() ? CIImage() : found->second.first;
    }
    std::uint64_t timeForObject(const CompositionBaseObject& object, const std::string& path,
                                bool* isValid) const override {
        auto found = entries_.find({&object, path});
        if (isValid) *isValid = found != entries_.end();
        return found == entries_.end() ? invalidStamp : found->second.second;
    }
    void removeCachedImagesForObject(const CompositionBaseObject& object) override {
        std::erase_if(entries_, [&](const auto& entry) { return entry.first.first == &object; });
    }
    void removeAllCachedImages() override { entries_.clear(); }
    CIImage materializedImage(const CIImage& image) override { return image; }
    std::shared_ptr<const ColorSpace> workingColorSpace() const override { return ColorSpace::deviceRGB(); }
    std::shared_ptr<RendererContext>
    rendererContextForObject(const CompositionBaseObject& object) const override {
        auto found = contexts_.find(&object);
        return found == contexts_.end() ? nullptr : found->second;
    }
    void setRendererContext(std::shared_ptr<RendererContext> context,
                            const CompositionBaseObject& object) override {
        if (context)
            contexts_[&object] = std::move(context);
        else
            contexts_.erase(&object);
    }
    // The still objects upload no frames.
    CIImage cachedAndUploadPixelBuffer(const BitmapImage&, const CompositionBaseObject&) override {
        return {};
    }

    bool has(const CompositionBaseObject* object, const std::string& path) const {
        return entries_.count({object, path}) != 0;
    }
    int stores = 0;

private:
    std::map<std::pair<const CompositionBaseObject*, std::string>, std::pair<CIImage, std::uint64_t>>
        entries_;
    std::map<const CompositionBaseObject*, std::shared_ptr<RendererContext>> contexts_;
};

// The picture's pixels over its extent (whole pixels).
inline Rendered renderPicture(const CIImage& image) {
    const Rect e = image.extent();
    const PixelRegion region{
        static_cast<int>(std::floor(e.origin.x)), static_cast<int>(std::floor(e.origin.y)),
        static_cast<int>(std::ceil(e.size.width)), static_cast<int>(std::ceil(e.size.height))};
    return render(image, region, 1);
}

} // namespace vtl::test
