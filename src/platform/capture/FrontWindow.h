#pragma once
// The front window of the display, as the recorder's window follower wants it: the frontmost
// ordinary window of another program, opaque and larger than a small panel, with its frame
// (decorations included). Owned by its user; one thread at a time.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vtl {

// What the search knows of one top-level window.
struct FrontWindowCandidate {
    enum class Kind { Ordinary, Desktop, Dock, Menu, Tooltip, Notification };
    std::uint32_t window = 0;
    Rect x11Frame; // root pixels, y down, decorations included
    bool viewable = true;
    bool ours = false; // belongs to the program that asks
    Kind kind = Kind::Ordinary;
    double opacity = 1.0;
};

// Windows of this size or smaller on either side (panels, icons) are never the front window.
inline constexpr double kFrontWindowMinimumSidePixels = 24;

bool qualifiesAsFrontWindow(const FrontWindowCandidate& candidate);
// The active window when it qualifies, else the first qualifying one of `topDown` (front first).
std::optional<FrontWindowCandidate> chooseFrontWindow(std::optional<std::uint32_t> activeWindow,
                                                      const std::vector<FrontWindowCandidate>& topDown);

class FrontWindowFinder {
public:
    // `ownProcessID`: windows whose owner says it is this process are left out.
    static Result<std::unique_ptr<FrontWindowFinder>> open(const char* displayName,
                                                           std::int64_t ownProcessID);
    virtual ~FrontWindowFinder() = default;
    // The front window's frame in global points, y up from the bottom-left of the primary screen;
    // nullopt when no window qualifies.
    virtual std::optional<Rect> frontWindowFrame() = 0;
};

// This process's id, for `open`.
std::int64_t currentProcessID();

} // namespace vtl
