#pragma once
// What the mouse recorder needs of the recording coordinator besides the recorder calls: the time
// base and the conversion of pointer locations into recording pixels. The coordinator implements
// it and outlives the recorder. Any thread.

#include "platform/foundation/Geometry.h"

namespace vtl {

class MouseRecorderCoordinator {
public:
    virtual ~MouseRecorderCoordinator() = default;

    // Clock seconds of the real start, moved forward by every pause; 0 before the real start.
    virtual double recordStartTime() const = 0;
    // Now, on the clock recordStartTime is read on.
    virtual double recordingClockSeconds() const = 0;
    // A global point with y down from the top of the primary screen to recording pixels, y up.
    virtual Point convertPointFromCarbonCoordinatesToMovieCoordinates(Point point) const = 0;
    virtual float recordingScreenScaling() const = 0;
};

} // namespace vtl
