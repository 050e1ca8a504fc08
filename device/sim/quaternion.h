#pragma once

#include <array>
#include <cmath>

namespace okukipo::sim {

using Vector3 = std::array<double, 3>;

// A rotation, scalar part w first.  The device library links Qt Core only,
// so the simulation keeps its own small rotation type.
struct Quaternion {
    double w = 1.0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    static Quaternion fromAxisAngle(const Vector3 &axis, double degrees)
    {
        const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        if (length == 0.0)
            return {};
        const double half = degrees * M_PI / 360.0;
        const double s = std::sin(half) / length;
        return {std::cos(half), axis[0] * s, axis[1] * s, axis[2] * s};
    }

    Quaternion operator*(const Quaternion &o) const
    {
        return {w * o.w - x * o.x - y * o.y - z * o.z,
                w * o.x + x * o.w + y * o.z - z * o.y,
                w * o.y - x * o.z + y * o.w + z * o.x,
                w * o.z + x * o.y - y * o.x + z * o.w};
    }

    Quaternion conjugated() const { return {w, -x, -y, -z}; }

    Quaternion normalized() const
    {
        const double length = std::sqrt(w * w + x * x + y * y + z * z);
        if (length == 0.0)
            return {};
        return {w / length, x / length, y / length, z / length};
    }

    // The vector v (given in the rotated frame) expressed in the reference frame.
    Vector3 rotate(const Vector3 &v) const
    {
        const Quaternion r = *this * Quaternion{0.0, v[0], v[1], v[2]} * conjugated();
        return {r.x, r.y, r.z};
    }
};

} // namespace okukipo::sim
