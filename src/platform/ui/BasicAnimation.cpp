#include "platform/ui/BasicAnimation.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

struct ControlPoints {
    double x1, y1, x2, y2;
};

ControlPoints controlPoints(MediaTimingFunction timing) {
    switch (timing) {
    case MediaTimingFunction::Linear:
        return {0, 0, 1, 1};
    case MediaTimingFunction::EaseIn:
        return {0.42, 0, 1, 1};
    case MediaTimingFunction::EaseOut:
        return {0, 0, 0.58, 1};
    case MediaTimingFunction::EaseInEaseOut:
        return {0.42, 0, 0.58, 1};
    case MediaTimingFunction::Default:
        break;
    }
    return {0.25, 0.1, 0.25, 1};
}

// One coordinate of the cubic Bézier from 0 to 1 with inner control values p1 and p2.
double bezier(double s, double p1, double p2) {
    const double u = 1 - s;
    return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
}

} // namespace

double BasicAnimation::timingProgress(MediaTimingFunction timing, double t) {
    if (!(t > 0)) return 0;
    if (t >= 1) return 1;
    const ControlPoints c = controlPoints(timing);
    // x(s) rises monotonically on [0, 1] for these curves: bisect for x(s) = t.
    double lo = 0, hi = 1, s = t;
    for (int i = 0; i < 60; ++i) {
        s = (lo + hi) * 0.5;
        if (bezier(s, c.x1, c.x2) < t)
            lo = s;
        else
            hi = s;
    }
    return std::clamp(bezier(s, c.y1, c.y2), 0.0, 1.0);
}

} // namespace vtl
