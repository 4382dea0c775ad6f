// Keyframe interpolation and the kf_* built-ins.
#include "runtime/keyframe.h"

#include <bit>
#include <cmath>

#include "runtime/interpolate.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {

std::optional<KeyTrack> KeyTrack::open(ScriptMemory& memory, ScriptAddr addr, int32_t count) {
    if (addr == 0 || count < 1) return std::nullopt;
    uint64_t bytes = uint64_t(count) * sizeof(Keyframe);
    if (bytes > ScriptMemory::kMaxSpan || !memory.valid(addr, uint32_t(bytes))) return std::nullopt;
    return KeyTrack(memory, addr, count);
}

float KeyTrack::get(int32_t i, size_t field) const {
    uint32_t bits = 0;
    memory_->read32(addr_ + uint32_t(i) * sizeof(Keyframe) + uint32_t(field), bits);
    return std::bit_cast<float>(bits);
}

void KeyTrack::set(int32_t i, size_t field, float v) {
    memory_->write32(addr_ + uint32_t(i) * sizeof(Keyframe) + uint32_t(field),
                     std::bit_cast<uint32_t>(v));
}

void keyframe_calc(KeyTrack& k) {
    for (int32_t j = 0; j < k.count(); ++j) {
        k.set_work(j, k.value(j));
        for (int32_t i = j - 1; i >= 0; --i)
            k.set_work(
                i, float((double(k.work(i + 1)) - k.work(i)) / (double(k.time(j)) - k.time(i))));
        k.set_coefficient(j, k.work(0));
    }
}

int32_t keyframe_index(const KeyTrack& k, float t) {
    int32_t lo = 0, hi = k.count() - 1;
    while (lo <= hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (k.time(mid) <= t) {
            if (mid + 1 < k.count() && t < k.time(mid + 1)) return mid;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return -1;
}

namespace {

double hermite(const KeyTrack& k, int32_t i, double u) {
    double y0 = k.value(i), y1 = k.value(i + 1);
    double d = y1 - y0;
    double span = double(k.time(i + 1)) - k.time(i);
    double m0 = d, m1 = d;
    if (i >= 1) m0 = ((y0 - k.value(i - 1)) + d) * span / (double(k.time(i + 1)) - k.time(i - 1));
    if (i + 2 < k.count())
        m1 = ((k.value(i + 2) - y1) + d) * span / (double(k.time(i + 2)) - k.time(i));
    double u2 = u * u, u3 = u2 * u;
    double h = 3 * u2 - 2 * u3;
    return (1 - h) * y0 + h * y1 + (u3 - 2 * u2 + u) * m0 + (u3 - u2) * m1;
}

double newton(const KeyTrack& k, double t) {
    double p = k.coefficient(k.count() - 1);
    for (int32_t i = k.count() - 2; i >= 0; --i) p = (t - k.time(i)) * p + k.coefficient(i);
    return p;
}

}  // namespace

float keyframe_value(const KeyTrack& k, float t, int32_t mode) {
    if (t <= k.time(0)) return k.value(0);
    if (t >= k.time(k.count() - 1)) return k.value(k.count() - 1);
    int32_t i = keyframe_index(k, t);
    if (i < 0) return 0;
    double y0 = k.value(i), y1 = k.value(i + 1);
    double u = 0;
    if (k.value(i) != k.value(i + 1))
        u = (double(t) - k.time(i)) / (double(k.time(i + 1)) - k.time(i));
    double r = 0;
    switch (KeyMode(mode)) {
        case KeyMode::Step:
            r = y0;
            break;
        case KeyMode::Linear:
            r = y0 + (y1 - y0) * u;
            break;
        case KeyMode::Square:
            r = y0 + (y1 - y0) * u * u;
            break;
        case KeyMode::SquareRoot:
            r = y0 + (y1 - y0) * std::sqrt(u);
            break;
        case KeyMode::Newton:
            r = newton(k, t);
            break;
        case KeyMode::NevilleEnd:
            r = neville(y0, y1, y1, u);
            break;
        case KeyMode::NevilleStart:
            r = neville(y0, y0, y1, u);
            break;
        case KeyMode::BezierEnd:
            r = bezier(y0, y1, y1, u);
            break;
        case KeyMode::BezierStart:
            r = bezier(y0, y0, y1, u);
            break;
        case KeyMode::Hermite:
            r = hermite(k, i, u);
            break;
        default:
            r = 0;
            break;
    }
    return float(r);
}

}  // namespace tob
