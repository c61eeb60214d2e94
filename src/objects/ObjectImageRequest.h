#pragma once
// The arguments of one request for an object's pictures at a time: the renderer that draws it
// (whose caches the object uses), the scale factors the renderer chose, the display's backing
// scale and what the picture is for. A plain value made by the renderer for each object and frame.

#include <cstdint>

namespace vtl {

class ObjectRendererResources;

enum class ImagePurpose { Preview, Playback, Export };

struct ObjectImageRequest {
    double compositionTime = 0;
    // Not owned; null draws without caches (every image built afresh).
    ObjectRendererResources* renderer = nullptr;
    // The factors the object's own picture is drawn at; they also size the corner mask and scale
    // the frame.
    double xFactor = 1.0;
    float yFactor = 1.0f;
    float backingScalingFactor = 1.0f;
    ImagePurpose purpose = ImagePurpose::Preview;

    bool forExport() const { return purpose == ImagePurpose::Export; }
    bool forPlayback() const { return purpose == ImagePurpose::Playback; }
};

// Whether the picture list holds the shadow and the frame around the object's own picture.
enum class BackAndFrontImages { Include, Exclude };

} // namespace vtl
