#pragma once
// A line an object offers to others dragged on the canvas: a position on one axis (canvas
// units) and the object that offers it. A plain value made per query; the object is not owned
// and outlives the drag that asks for its guides.

namespace vtl {

class CompositionBaseObject;

struct SnappingGuide {
    float position = 0;
    const CompositionBaseObject* object = nullptr;
};

} // namespace vtl
