#include "raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelset_cli {

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
    // Edge function of the edge from p to q at s, positive inside.
    auto edge = [sign](const ScreenPoint& p, const ScreenPoint& q, float sx, float sy) {
        return sign * ((q.x - p.x) * (sy - p.y) - (q.y - p.y) * (sx - p.x));
    };
    for (int y = y0; y <= y1; ++y) {
        const float sy = static_cast<float>(y) + 0.5f;
        for (int x = x0; x <= x1; ++x) {
            const float sx = static_cast<float>(x) + 0.5f;
            const float wa = edge(b, c, sx, sy), wb = edge(c, a, sx, sy), wc = edge(a, b, sx, sy);
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
