#ifndef PLICATROPE_MODEL_VEC_H
#define PLICATROPE_MODEL_VEC_H

#include <cmath>

// Positions and directions on the sheet; also a unit complex number
// (cos, sin) when used as a rotation.
struct Vec2 {
    double x, y;

    Vec2() : x(0.0), y(0.0) {}
    Vec2(double x_, double y_) : x(x_), y(y_) {}

    // A zero vector becomes the x axis, so callers always get a direction.
    Vec2& normalize() {
        double len = std::sqrt(x * x + y * y);
        if (len == 0.0) {
            x = 1.0;
            y = 0.0;
        } else {
            x /= len;
            y /= len;
        }
        return *this;
    }

    Vec2& rotate(double t) {
        double c = std::cos(t), s = std::sin(t);
        double nx = x * c - y * s;
        double ny = x * s + y * c;
        x = nx;
        y = ny;
        return *this;
    }

    // Complex multiplication by r = (c, s).
    Vec2& rotateBy(const Vec2& r) {
        double nx = x * r.x - y * r.y;
        double ny = x * r.y + y * r.x;
        x = nx;
        y = ny;
        return *this;
    }
};

inline Vec2 operator+(const Vec2& a, const Vec2& b) { return Vec2(a.x + b.x, a.y + b.y); }
inline Vec2 operator-(const Vec2& a, const Vec2& b) { return Vec2(a.x - b.x, a.y - b.y); }
inline Vec2 operator-(const Vec2& a) { return Vec2(-a.x, -a.y); }
inline Vec2 operator*(double k, const Vec2& a) { return Vec2(k * a.x, k * a.y); }
inline Vec2 operator/(const Vec2& a, double k) { return Vec2(a.x / k, a.y / k); }
inline bool operator==(const Vec2& a, const Vec2& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const Vec2& a, const Vec2& b) { return !(a == b); }

// Positions, offsets and normals in space.
struct Vec3 {
    double x, y, z;

    Vec3() : x(0.0), y(0.0), z(0.0) {}
    Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    // Unlike Vec2, a zero vector stays zero: a vertex whose normals cancel
    // must get no offset direction at all.
    Vec3& normalize() {
        double len = std::sqrt(x * x + y * y + z * z);
        if (len != 0.0) {
            x /= len;
            y /= len;
            z /= len;
        }
        return *this;
    }
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return Vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vec3 operator-(const Vec3& a) { return Vec3(-a.x, -a.y, -a.z); }
inline Vec3 operator*(double k, const Vec3& a) { return Vec3(k * a.x, k * a.y, k * a.z); }
inline Vec3 operator*(const Vec3& a, double k) { return Vec3(a.x * k, a.y * k, a.z * k); }
inline Vec3 operator/(const Vec3& a, double k) { return Vec3(a.x / k, a.y / k, a.z / k); }

inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

#endif
