#pragma once
// One check shared by the still-object tests: a kind's picture reaches the renderer through the
// base class's image list, and its shadow, keyed by the picture's stamp, is built once while the
// picture holds and again after it changes.

#include "ObjectPictures.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/imaging/FilterRegistry.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>

namespace vtl::test {

struct StillPipelineProbe {
    std::function<std::uint64_t()> rasterisations;
    // Changes what the picture shows (and so its stamp).
    std::function<void()> changePicture;
    // The images the list holds with the shadow: picture and shadow, plus the frame if one is drawn.
    std::size_t listSizeWithShadow = 2;
};

inline void expectPictureThroughPipelineAndShadowReused(CompositionRectangularObject& object,
                                                        const StillPipelineProbe& probe) {
    // The shadow is a blur.
    registerBuiltinFilters();
    MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    request.compositionTime = 1;
    object.setDrawsShadow(true, 0);
    object.setShadowDistance(4, 0);
    object.setShadowRadius(2, 0);

    const std::vector<CIImage> bare = object.createScaledImagesForTime(request, BackAndFrontImages::Exclude);
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_TRUE(bare[0].isSameImage(cache.cachedImageForObject(object, kCachePathImage)))
        << "the list's picture is the one the kind keeps in the renderer";

    const std::vector<CIImage> first = object.createScaledImagesForTime(request, BackAndFrontImages::Include);
    ASSERT_EQ(first.size(), probe.listSizeWithShadow);
    EXPECT_TRUE(first[1].isSameImage(bare[0]));
    EXPECT_TRUE(first[0].isSameImage(cache.cachedImageForObject(object, kCachePathShadowImage)));
    const std::uint64_t rasterised = probe.rasterisations();
    const int stores = cache.stores;

    for (int frame = 0; frame < 5; ++frame) {
        const std::vector<CIImage> again =
            object.createScaledImagesForTime(request, BackAndFrontImages::Include);
        ASSERT_EQ(again.size(), first.size()) << frame;
        EXPECT_TRUE(again[0].isSameImage(first[0]))
            << "the shadow is reused over unchanged frames: " << frame;
    }
    EXPECT_EQ(probe.rasterisations(), rasterised);
    EXPECT_EQ(cache.stores, stores) << "nothing rebuilt, nothing stored";

    probe.changePicture();
    const std::vector<CIImage> changed =
        object.createScaledImagesForTime(request, BackAndFrontImages::Include);
    ASSERT_EQ(changed.size(), first.size());
    EXPECT_EQ(probe.rasterisations(), rasterised + 1);
    EXPECT_FALSE(changed[0].isSameImage(first[0])) << "a new picture gets a new shadow";
    EXPECT_TRUE(changed[0].isSameImage(cache.cachedImageForObject(object, kCachePathShadowImage)));
}

} // namespace vtl::test
