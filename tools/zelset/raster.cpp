#include "raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelset_cli {

namespace {

// The edge function of a triangle's edge from p to q, positive inside. It is
// computed from the edge's endpoints in one order whichever triangle asks, so
// two triangles sharing an edge get exactly opposite values and a pixel centre
// on that edge (value 0) goes to both, never to neither.
class Edge {
public:
    Edge(const ScreenPoint& p, const ScreenPoint& q, float inside) {
        const bool swap = q.x < p.x || (q.x == p.x && q.y < p.y);
        from_ = swap ? q : p;
        to_ = swap ? p : q;
        sign_ = swap ? -inside : inside;
    }
    float at(float x, float y) const {
        return sign_ * ((to_.x - from_.x) * (y - from_.y) - (to_.y - from_.y) * (x - from_.x));
    }

private:
    ScreenPoint from_, to_;
    float sign_;
};

}  // namespace

Raster::Raster(int width, int height, Rgb background)
    : width_(width),
      height_(height),
      pixels_(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      nearness_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                -std::numeric_limits<float>::infinity()) {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = background.r;
        pixels_[i + 1] = background.g;
        pixels_[i + 2] = background.b;
    }
}

void Raster::fill(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, Rgb colour) {
    // Twice the signed area; its sign tells the winding, which the edge tests follow.
    const float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (!(std::fabs(area) > 0.0f)) return;  // degenerate, or not a number
    // The pixels inside the one-pixel border whose centres the bounding box holds.
    const float left = std::max(std::min({a.x, b.x, c.x}) - 0.5f, 1.0f);
    const float right = std::min(std::max({a.x, b.x, c.x}) - 0.5f, static_cast<float>(width_ - 2));
    const float top = std::max(std::min({a.y, b.y, c.y}) - 0.5f, 1.0f);
    const float bottom = std::min(std::max({a.y, b.y, c.y}) - 0.5f, static_cast<float>(height_ - 2));
    if (!(left <= right && top <= bottom)) return;
    const int x0 = static_cast<int>(std::ceil(left)), x1 = static_cast<int>(std::floor(right));
    const int y0 = static_cast<int>(std::ceil(top)), y1 = static_cast<int>(std::floor(bottom));
    const float sign = area > 0 ? 1.0f : -1.0f;
    const float inverse_area = 1.0f / std::fabs(area);
    const Edge opposite_a(b, c, sign), opposite_b(c, a, sign), opposite_c(a, b, sign);
    for (int y = y0; y <= y1; ++y) {
        const float sy = static_cast<float>(y) + 0.5f;
        for (int x = x0; x <= x1; ++x) {
            const float sx = static_cast<float>(x) + 0.5f;
            const float wa = opposite_a.at(sx, sy), wb = opposite_b.at(sx, sy), wc = opposite_c.at(sx, sy);
            if (wa < 0 || wb < 0 || wc < 0) continue;
            const float nearness = (wa * a.nearness + wb * b.nearness + wc * c.nearness) * inverse_area;
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                   static_cast<std::size_t>(x);
            if (!(nearness > nearness_[at])) continue;
            nearness_[at] = nearness;
            pixels_[3 * at] = colour.r;
            pixels_[3 * at + 1] = colour.g;
            pixels_[3 * at + 2] = colour.b;
        }
    }
}

}  // namespace zelset_cli
