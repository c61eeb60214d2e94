#pragma once
// What the still-object tests (and the objects benchmark) need of a renderer: an image cache by
// object and path that counts its stores, and pictures read back as pixels in image space.

#include "imaging/ImagingTestSupport.h"
#include "objects/ObjectImageCache.h"

#include <cmath>
#include <map>
#include <string>
#include <utility>

namespace vtl::test {

class MemoryImageCache : public ObjectImageCache {
public:
    void setCachedImage(const CIImage& image, const CompositionBaseObject* object, const std::string& path,
                        std::uint64_t time) override {
        if (image.isNull()) {
            entries_.erase({object, path});
            return;
        }
        entries_[{object, path}] = {image, time};
        ++stores;
    }
    CIImage cachedImageForObject(const CompositionBaseObject* object, const std::string& path) const override {
        auto found = entries_.find({object, path});
        return found == entries_.end() ? CIImage() : found->second.first;
    }
    std::uint64_t timeForObject(const CompositionBaseObject* object, const std::string& path,
                                bool* isValid) const override {
        auto found = entries_.find({object, path});
        if (isValid) *isValid = found != entries_.end();
        return found == entries_.end() ? ~std::uint64_t(0) : found->second.second;
    }
    bool has(const CompositionBaseObject* object, const std::string& path) const {
        return entries_.count({object, path}) != 0;
    }
    int stores = 0;

private:
    std::map<std::pair<const CompositionBaseObject*, std::string>, std::pair<CIImage, std::uint64_t>> entries_;
};

// The picture's pixels over its extent (whole pixels).
inline Rendered renderPicture(const CIImage& image) {
    const Rect e = image.extent();
    const PixelRegion region{static_cast<int>(std::floor(e.origin.x)), static_cast<int>(std::floor(e.origin.y)),
                             static_cast<int>(std::ceil(e.size.width)), static_cast<int>(std::ceil(e.size.height))};
    return render(image, region, 1);
}

} // namespace vtl::test
