#pragma once
// Installs the painter that still objects build their timeline thumbnails with: the object alone,
// drawn by a renderer of its own onto a transparent canvas-sized picture without the background,
// then the visible part scaled into the thumbnail. Called once at start-up (and by tests).

namespace vtl {

void installObjectThumbnailPainter();

} // namespace vtl
