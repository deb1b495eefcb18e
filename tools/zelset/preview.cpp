// zelset preview ARCHIVE.abc OUT.png [--object PATH] [--sample N] [--size WxH] [--view VIEW] [-q]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "camera.h"
#include "commands.h"
#include "failure.h"
#include "output.h"
#include "png_image.h"
#include "raster.h"
#include "scene.h"

namespace zelset_cli {

namespace {

constexpr Rgb kBackground{46, 52, 64};
constexpr double kSurface[3] = {225, 200, 160};
// Faces turned away from the light keep this share of their colour; so every
// face is brighter in red than the background.
constexpr double kAmbient = 0.25;
constexpr int kLargestSide = 16384;

const std::map<std::string, View> kViews = {
    {"front", View::kFront}, {"side", View::kSide}, {"top", View::kTop}, {"persp", View::kPerspective}};

struct Request {
    std::string input, output, format;
    std::string object_path;  // empty: every mesh
    std::string sample_text = "0";
    std::string size = "800x600";
    std::string view = "persp";
    bool quiet = false;
    std::uint32_t sample() const { return static_cast<std::uint32_t>(to_unsigned(sample_text)); }
};

// "800x600" as its two sides, each from 3 (a border and something inside)
// to kLargestSide; false for anything else.
bool parse_size(const std::string& text, int* width, int* height) {
    const std::size_t x = text.find('x');
    if (x == std::string::npos) return false;
    auto side = [](const std::string& digits, int* out) {
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        *out = std::stoi(digits);
        return *out >= 3 && *out <= kLargestSide;
    };
    return side(text.substr(0, x), width) && side(text.substr(x + 1), height);
}

// Every mesh drawn, in world space: the positions one after another and the
// triangles as indices into them.
struct World {
    std::vector<Vec3> positions;
    std::vector<std::uint32_t> triangles;
    std::uint32_t meshes = 0;

    void add(const std::string& file, ogawa_polymesh_t& mesh) {
        to_world(mesh);
        const std::vector<std::uint32_t> fanned = fan_triangles(file, mesh);
        const auto first = static_cast<std::uint32_t>(positions.size());
        for (std::uint32_t corner : fanned) {
            if (corner >= mesh.position_count) {
                throw Failure(file, std::string(mesh.path) + " has a face naming vertex " + std::to_string(corner) +
                                        " of " + std::to_string(mesh.position_count));
            }
            triangles.push_back(first + corner);
        }
        const float* p = mesh.positions;
        for (std::uint32_t v = 0; v < mesh.position_count; ++v, p += 3) positions.push_back({p[0], p[1], p[2]});
        ++meshes;
    }

    // The box around the positions that are numbers; false when there are none.
    bool bounds(Vec3* low, Vec3* high) const {
        *low = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                std::numeric_limits<double>::infinity()};
        *high = {-(*low)[0], -(*low)[0], -(*low)[0]};
        bool any = false;
        for (const Vec3& p : positions) {
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
            any = true;
            for (int c = 0; c < 3; ++c) (*low)[c] = std::min((*low)[c], p[c]), (*high)[c] = std::max((*high)[c], p[c]);
        }
        return any;
    }
};

World read_world(Scene& scene, const Request& r) {
    World world;
    if (!r.object_path.empty()) {
        const ogawa_object_t object = object_record(scene.mesh(r.object_path).path);
        MeshSample sample(scene, &object, r.sample());
        world.add(scene.path(), sample.mesh());
        return world;
    }
    // Each mesh at sample N, or at its last one when it has fewer (a still
    // mesh in an animated scene keeps its one pose).
    for (const MeshObject& mesh : scene.meshes()) {
        const ogawa_object_t object = object_record(mesh.path.c_str());
        MeshSample sample(scene, &object, at_most_last(r.sample(), mesh.samples));
        world.add(scene.path(), sample.mesh());
    }
    if (world.meshes == 0) throw Failure(scene.path(), "holds no mesh to draw");
    return world;
}

Vec3 minus(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// A face's colour: lit by the key light on the side that faces the eye.
Rgb shade(const Vec3& a, const Vec3& b, const Vec3& c, const Camera& camera) {
    const Vec3 u = minus(b, a), v = minus(c, a);
    Vec3 normal = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    double length = std::sqrt(dot(normal, normal));
    if (!(length > 0)) return kBackground;  // no area: fill draws nothing of it
    if (dot(normal, camera.toward_eye(a)) < 0) length *= -1;
    const double lit = kAmbient + (1 - kAmbient) * std::max(0.0, dot(normal, camera.light()) / length);
    auto channel = [lit](double full) { return static_cast<std::uint8_t>(std::lround(full * lit)); };
    return {channel(kSurface[0]), channel(kSurface[1]), channel(kSurface[2])};
}

Raster draw(const World& world, const Camera& camera, int width, int height) {
    Raster raster(width, height, kBackground);
    std::vector<ScreenPoint> screen(world.positions.size());
    for (std::size_t i = 0; i < screen.size(); ++i) screen[i] = camera.project(world.positions[i]);
    for (std::size_t t = 0; t < world.triangles.size(); t += 3) {
        const std::uint32_t a = world.triangles[t], b = world.triangles[t + 1], c = world.triangles[t + 2];
        const Rgb colour = shade(world.positions[a], world.positions[b], world.positions[c], camera);
        raster.fill(screen[a], screen[b], screen[c], colour);
    }
    return raster;
}

void write_png(const std::vector<unsigned char>& png, Output& out) {
    out.write(
        [&png](const char* path) {
            std::FILE* file = std::fopen(path, "wb");
            if (!file) return -1;
            const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
            return std::fclose(file) == 0 && written ? 0 : -2;
        },
        {{-1, "cannot create the file", true}, {-2, "cannot write", true}}, "cannot write the picture");
}

int run_preview(const Request& r) {
    int width = 0, height = 0;
    parse_size(r.size, &width, &height);  // checked on the command line
    Scene scene(r.input, false);
    const World world = read_world(scene, r);
    Vec3 low, high;
    if (world.triangles.empty() || !world.bounds(&low, &high)) {
        throw Failure(r.input, (r.object_path.empty() ? std::string("its meshes have") : r.object_path + " has") +
                                   " no faces to draw");
    }
    const Camera camera(kViews.at(r.view), low, high, width, height);
    const std::vector<unsigned char> png = encode_png(draw(world, camera, width, height));
    Output out(r.output);
    write_png(png, out);
    out.commit();
    if (!r.quiet) {
        std::fprintf(stderr, "zelset: wrote %s: %ux%u, %s view of %u mesh%s, %zu triangles\n", out.name().c_str(),
                     static_cast<unsigned>(width), static_cast<unsigned>(height), r.view.c_str(), world.meshes,
                     world.meshes == 1 ? "" : "es", world.triangles.size() / 3);
    }
    return kExitOk;
}

}  // namespace

Runner add_preview(CLI::App& app) {
    CLI::App* command = app.add_subcommand("preview", "A picture of the meshes of an Alembic archive, as a PNG");
    auto r = std::make_shared<Request>();
    command->add_option("ARCHIVE.abc", r->input, "The Alembic archive")->required();
    command->add_option("OUT.png", r->output, "The picture to write; - for standard output")->required();
    command->add_option("--format", r->format, "png: what is written, whatever OUT's name (for scripts that say it)")
        ->check(CLI::IsMember({"png"}))
        ->type_name("F");
    command->add_option("--object", r->object_path, "Only this mesh, by its full path (default: every mesh)")
        ->type_name("PATH");
    command->add_option("--sample", r->sample_text, "The sample to draw (default: 0)")
        ->check(unsigned_number(0, UINT32_MAX))
        ->type_name("N");
    command->add_option("--size", r->size, "The picture's width and height in pixels (default: 800x600)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                int w, h;
                if (parse_size(text, &w, &h)) return {};
                return "needs WIDTHxHEIGHT, each from 3 to " + std::to_string(kLargestSide) + ", not '" + text + "'";
            },
            "", "size"))
        ->type_name("WxH");
    command->add_option("--view", r->view, "front, side, top or persp (default: persp)")
        ->check(CLI::IsMember({"front", "side", "top", "persp"}))
        ->type_name("VIEW");
    command->add_flag("-q,--quiet", r->quiet, "Say nothing on success");
    command->footer(
        "Every mesh (PolyMesh or SubD) is drawn in world space at sample N (a mesh with fewer samples at\n"
        "its last one); with --object, that mesh only, which must have sample N. Faces are fanned into\n"
        "triangles, flat-shaded by one light, on a plain background that also fills a one-pixel border.\n"
        "The views: front looks along -Z, side along -X, top down -Y; persp from above the front right,\n"
        "in perspective. Each frames the meshes' bounds with a margin. The same archive and options give\n"
        "the same bytes. OUT is written as convert writes it: a file whole or not at all, a device or a\n"
        "FIFO where it is, - on standard output; a folder, a socket or a block device is refused.");
    return [r] { return run_preview(*r); };
}

}  // namespace zelset_cli
