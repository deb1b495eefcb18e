// Where the preview looks from, and how the world lands on its picture.
#pragma once

#include <array>

#include "raster.h"

namespace zelset_cli {

using Vec3 = std::array<double, 3>;

enum class View { kFront, kSide, kTop, kPerspective };

// Looks at a box of the world from one side (front: along -Z; side: along -X;
// top: down -Y; each with +Y or -Z up) in parallel projection, or from a
// three-quarter view above the front right in perspective. The box's corners
// fill the picture but for a margin, keeping their proportions.
class Camera {
public:
    Camera(View view, const Vec3& box_min, const Vec3& box_max, int width, int height);

    ScreenPoint project(const Vec3& p) const;
    // The direction from p toward the eye (for perspective, per point).
    Vec3 toward_eye(const Vec3& p) const;
    // The key light's direction (toward the light), above the eye's left shoulder.
    const Vec3& light() const { return light_; }

private:
    // p in the eye's frame: right, up, and distance ahead.
    Vec3 eye_frame(const Vec3& p) const;
    // Before framing: the plane coordinates of an eye-frame point.
    void plane(const Vec3& e, double* u, double* v) const;

    bool perspective_;
    Vec3 eye_{}, right_{}, up_{}, ahead_{}, light_{};
    double scale_ = 1, offset_x_ = 0, offset_y_ = 0;
};

}  // namespace zelset_cli
