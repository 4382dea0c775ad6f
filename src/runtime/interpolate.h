// The three small interpolation formulas scripts call directly and keyframe
// tracks use per segment; computed in double precision.
#pragma once

namespace tob {

// (1 - t)^2 p0 + 2t(1 - t) p1 + t^2 p2.
inline double bezier(double p0, double p1, double p2, double t) {
    double s = 1 - t;
    return s * s * p0 + 2 * t * s * p1 + t * t * p2;
}

// The quadratic through (0, p0), (1, p1), (2, p2) at 2t, by Neville's scheme.
inline double neville(double p0, double p1, double p2, double t) {
    double s = 2 * t;
    double p01 = (p1 - p0) * (s - 1) + p1;
    double p12 = p2 + (p2 - p1) * (s - 2);
    return p12 + (s - 2) * (p12 - p01) / 2;
}

inline double linear(double a, double b, double t) {
    return (b - a) * t + a;
}

}  // namespace tob
