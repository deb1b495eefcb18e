// Writes Alembic archives in the Ogawa container for the reader's tests:
// object trees, property compounds, scalar and array samples, time samplings
// and the indexed metadata table, laid out as the real writer lays them out
// (the same header fields, metadata texts and sharing of identical samples),
// so that tests build hostile, deep, wide or large archives without fixtures.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ogawa_test_files.h"

namespace alembic_test {

using ogawa_test::Bytes;

enum class Pod : std::uint8_t {
    kBool, kU8, kI8, kU16, kI16, kU32, kI32, kU64, kI64, kF16, kF32, kF64, kString, kWideString
};
enum class Kind : std::uint8_t { kCompound = 0, kScalar = 1, kArray = 2, kOneElementArray = 3 };

// The time per cycle that marks a sampling as acyclic.
constexpr double kAcyclic = std::numeric_limits<double>::max() / 32;

struct Property {
    std::string name;
    Kind kind = Kind::kCompound;
    Pod pod = Pod::kF32;
    std::uint8_t extent = 1;
    std::string metadata;      // "key=value;key=value", may be empty
    std::uint32_t sampling = 0;  // time sampling index, written (bit 8) only when non-zero
    // Packed values of each stored sample, without the 16-byte digest; an
    // empty Bytes is a sample with no elements (an empty data reference).
    std::vector<Bytes> stored;
    // Arrays: the dimensions of each stored sample; missing or empty = 1-D (empty reference).
    std::vector<std::vector<std::uint64_t>> dims;
    std::optional<std::uint32_t> sample_count;  // default: stored.size()
    // When either is given, bit 9 and both fields are written. Without them:
    // one stored sample sets bit 11; fewer stored than counted samples writes
    // bit 9 with 1 and stored - 1.
    std::optional<std::uint32_t> first_changed, last_changed;
    std::optional<int> size_hint;  // 0, 1, 2 = u8, u16, u32 size fields; default: the smallest that fits
    std::vector<Property> children;  // compounds
};

struct Object {
    std::string name;
    std::string metadata;
    std::vector<Property> properties;  // the object's property compound; none: an empty group reference
    std::vector<Object> children;
};

struct Sampling {
    std::uint32_t max_samples;
    double time_per_cycle;
    std::vector<double> times;
};

struct Scene {
    std::vector<Object> objects;      // children of the unnamed top object
    std::vector<Sampling> samplings;  // in order; none: sampling 0 alone, {1, 1.0, {0.0}}
    std::string archive_metadata = "_ai_AlembicVersion=Alembic 1.8.12;_ai_Application=zelset tests";
    bool share_identical_samples = true;  // identical sample payloads written once, referenced again
    // Metadata shorter than 256 bytes goes through the indexed table (254
    // entries at most, the rest inline); false: every header inlines its text.
    bool index_metadata = true;
    std::int32_t archive_version = 0, library_version = 10812;
};

// Where the parts of a written archive are (file positions, without the data bit).
struct Written {
    Bytes bytes;
    std::uint64_t root = 0;
    std::map<std::string, std::uint64_t> object_group;    // "/a/b" -> object group; "" -> the top object
    std::map<std::string, std::uint64_t> property_group;  // "/a/b/.geom/P" -> property group; "/a/b/" -> top compound
    // Object path -> its child-headers data node; compound path ("/a/b/.geom",
    // "/a/b/" for the object's own compound) -> its property-headers data node.
    std::map<std::string, std::uint64_t> headers;
};

Written write_archive(const Scene& scene);

// Little-endian value packers.
Bytes f32s(const std::vector<float>& values);
Bytes f64s(const std::vector<double>& values);
Bytes i32s(const std::vector<std::int32_t>& values);
Bytes u32s(const std::vector<std::uint32_t>& values);
Bytes u8s(const std::vector<std::uint8_t>& values);

Property compound(std::string name, std::vector<Property> children, std::string metadata = "");
Property scalar(std::string name, Pod pod, std::uint8_t extent, std::vector<Bytes> stored, std::string metadata = "",
                std::uint32_t sampling = 0);
// Kind 3 when every stored sample holds exactly one element (as the real
// writer marks it), kind 2 otherwise.
Property array(std::string name, Pod pod, std::uint8_t extent, std::vector<Bytes> stored, std::string metadata = "",
               std::uint32_t sampling = 0);
// Takes p.stored as every sample in time order and keeps what the real writer
// keeps: sample 0, then the run from the first to the last sample that differs
// from its predecessor; the header fields follow.
Property collapse_repeats(Property p);

struct MeshSample {
    std::vector<float> positions;
    std::vector<std::int32_t> face_counts, face_indices;
};
struct GeomParam {
    std::string name;
    std::uint8_t extent;
    std::string scope;  // "vtx", "var", "fvr", "uni", "con"
    std::vector<std::vector<float>> values;        // per sample
    std::vector<std::vector<std::uint32_t>> indices;  // empty: not indexed; else per sample
    std::uint32_t sampling = 0;
};

// Schema PolyMesh: .geom with .selfBnds, P, .faceIndices, .faceCounts, the
// params in order, then .arbGeomParams when arb_params is not empty.
Object polymesh(std::string name, std::vector<MeshSample> samples, std::uint32_t sampling = 0,
                std::vector<GeomParam> params = {}, std::vector<GeomParam> arb_params = {});
Object subd(std::string name, MeshSample sample);
// Schema Xform: .xform with .inherits (when given: one value per sample, the
// last repeating), .ops, .vals, isNotConstantIdentity and, when a channel
// moves, .animChans, stored as the real writer stores them.
Object xform(std::string name, std::vector<std::uint8_t> ops, std::vector<std::vector<double>> vals_per_sample,
             std::vector<bool> inherits_per_sample = {}, std::uint32_t sampling = 0, std::vector<Object> children = {});
Object plain(std::string name, std::string schema_metadata);
// An instance of the object whose full path is source: isInstance=1 and a
// scalar string .instanceSource, as the real writer stores them.
Object instance(std::string name, const std::string& source);

}  // namespace alembic_test
