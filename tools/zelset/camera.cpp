#include "camera.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelset_cli {

namespace {

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 normalised(const Vec3& a) {
    const double length = std::sqrt(dot(a, a));
    return {a[0] / length, a[1] / length, a[2] / length};
}

Vec3 along(const Vec3& a, double s, const Vec3& d) { return {a[0] + s * d[0], a[1] + s * d[1], a[2] + s * d[2]}; }

// Of the picture's shorter side, this much stays free on each side.
constexpr double kMargin = 0.08;
// The perspective eye's field of view is about 2 atan(1 / kDistance).
constexpr double kDistance = 3.0;

}  // namespace

Camera::Camera(View view, const Vec3& box_min, const Vec3& box_max, int width, int height)
    : perspective_(view == View::kPerspective) {
    const Vec3 centre = {(box_min[0] + box_max[0]) / 2, (box_min[1] + box_max[1]) / 2,
                         (box_min[2] + box_max[2]) / 2};
    const Vec3 half = {box_max[0] - centre[0], box_max[1] - centre[1], box_max[2] - centre[2]};
    // A box of no extent (one point) still gets a picture.
    const double radius = std::max(std::sqrt(dot(half, half)), 1e-6);
    Vec3 toward = {0, 0, 1};  // from the centre toward the eye; the front view's
    up_ = {0, 1, 0};
    switch (view) {
        case View::kFront: break;
        case View::kSide: toward = {1, 0, 0}; break;
        case View::kTop:
            toward = {0, 1, 0};
            up_ = {0, 0, -1};
            break;
        case View::kPerspective: toward = normalised({1.0, 0.8, 1.4}); break;
    }
    ahead_ = {-toward[0], -toward[1], -toward[2]};
    right_ = normalised(cross(ahead_, up_));
    up_ = cross(right_, ahead_);
    // Far enough that the whole box lies ahead.
    eye_ = along(centre, kDistance * radius, toward);
    light_ = normalised(along(along(toward, -0.6, right_), 0.8, up_));

    // Frame the box's corners.
    double u_min = std::numeric_limits<double>::infinity(), v_min = u_min, u_max = -u_min, v_max = -u_min;
    for (int corner = 0; corner < 8; ++corner) {
        const Vec3 p = {corner & 1 ? box_max[0] : box_min[0], corner & 2 ? box_max[1] : box_min[1],
                        corner & 4 ? box_max[2] : box_min[2]};
        double u, v;
        plane(eye_frame(p), &u, &v);
        u_min = std::min(u_min, u), u_max = std::max(u_max, u);
        v_min = std::min(v_min, v), v_max = std::max(v_max, v);
    }
    const double margin = kMargin * std::min(width, height);
    const double room_x = width - 2 * margin, room_y = height - 2 * margin;
    const double span_u = std::max(u_max - u_min, 1e-12), span_v = std::max(v_max - v_min, 1e-12);
    scale_ = std::min(room_x / span_u, room_y / span_v);
    offset_x_ = width / 2.0 - scale_ * (u_min + u_max) / 2;
    offset_y_ = height / 2.0 + scale_ * (v_min + v_max) / 2;
}

Vec3 Camera::eye_frame(const Vec3& p) const {
    const Vec3 d = {p[0] - eye_[0], p[1] - eye_[1], p[2] - eye_[2]};
    return {dot(d, right_), dot(d, up_), dot(d, ahead_)};
}

void Camera::plane(const Vec3& e, double* u, double* v) const {
    const double w = perspective_ ? 1.0 / e[2] : 1.0;
    *u = e[0] * w;
    *v = e[1] * w;
}

ScreenPoint Camera::project(const Vec3& p) const {
    const Vec3 e = eye_frame(p);
    double u, v;
    plane(e, &u, &v);
    // Perspective: 1 / distance is what varies linearly across the screen.
    const double nearness = perspective_ ? 1.0 / e[2] : -e[2];
    return {static_cast<float>(offset_x_ + scale_ * u), static_cast<float>(offset_y_ - scale_ * v),
            static_cast<float>(nearness)};
}

Vec3 Camera::toward_eye(const Vec3& p) const {
    if (!perspective_) return {-ahead_[0], -ahead_[1], -ahead_[2]};
    return {eye_[0] - p[0], eye_[1] - p[1], eye_[2] - p[2]};
}

}  // namespace zelset_cli
