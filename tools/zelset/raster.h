// A picture drawn from depth-buffered triangles on one background colour.
#pragma once

#include <cstdint>
#include <vector>

namespace zelset_cli {

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// A corner on the screen: x to the right and y down, in pixels (a pixel's
// centre at +0.5); nearness grows toward the eye and varies linearly across
// the screen.
struct ScreenPoint {
    float x, y, nearness;
};

class Raster {
public:
    // width and height of at least 1.
    Raster(int width, int height, Rgb background);

    int width() const { return width_; }
    int height() const { return height_; }
    // Rows from the top, three bytes a pixel.
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

    // Paints the pixels whose centres the triangle covers (either winding)
    // where it is nearer than what is there. The outermost rows and columns
    // are never painted: the picture keeps a border of background.
    void fill(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, Rgb colour);

private:
    int width_, height_;
    std::vector<std::uint8_t> pixels_;
    std::vector<float> nearness_;
};

}  // namespace zelset_cli
