// What an Alembic archive says about itself, decoded once when it is opened:
// its time samplings, its object tree and every compound's property headers.
//
// The layout: the root group holds six children (archive version, library
// version, the top object, archive metadata, time samplings, indexed
// metadata). An object is a group [property compound, child objects...,
// headers of the child objects]; a compound is a group [properties...,
// headers of the properties]; a scalar property is a group of one data node
// per stored sample, an array property one of two (data, dimensions).
//
// The form is compact: objects in pre-order and properties in flat arrays
// linked by index, every text in one pool of terminated strings.
#pragma once

#include <cstdint>

#include "common/growable.h"
#include "ogawa_archive.h"
#include "ogawa_reader/container/cached_reader.h"

namespace zel::desc {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Time per cycle that marks an acyclic sampling: DBL_MAX / 32, compared as a value.
constexpr double kAcyclicTimePerCycle = 1.7976931348623157e308 / 32.0;

enum class PropertyKind : std::uint8_t { kCompound = 0, kScalar = 1, kArray = 2, kOneElementArray = 3 };

enum class Pod : std::uint8_t {
    kBool, kU8, kI8, kU16, kI16, kU32, kI32, kU64, kI64, kF16, kF32, kF64, kString, kWideString,
};

struct TimeSampling {
    double time_per_cycle;
    std::uint32_t max_samples;  // the most samples any property on it holds
    std::uint32_t time_count;   // stored times, at least 1
    std::uint32_t first_time;   // index of the first stored time in Description::times
    std::uint32_t reserved;
};

struct ObjectEntry {
    std::uint32_t name;      // string offsets
    std::uint32_t path;      // "/a/b"; cut one byte past kMaxPathBytes
    std::uint32_t metadata;
    std::uint32_t parent;    // kNone for the top object (entry 0)
    std::uint32_t first_child;
    std::uint32_t next_sibling;
    std::uint32_t properties;  // the object's property compound, kNone when empty
    ogawa_schema_t schema;
};

struct PropertyEntry {
    std::uint64_t group;  // file position of the property's group; 0 = an empty group
    std::uint32_t name;   // string offsets
    std::uint32_t metadata;
    std::uint32_t first_child;   // compounds: the first property inside
    std::uint32_t next_sibling;  // the next property of the same compound
    std::uint32_t sample_count;
    std::uint32_t first_changed;
    std::uint32_t last_changed;
    std::uint32_t stored_count;  // samples the group holds (one or two children each)
    std::uint32_t sampling;
    PropertyKind kind;
    Pod pod;
    std::uint8_t extent;
    std::uint8_t reserved;
};

// The costs the archive header states.
static_assert(sizeof(ObjectEntry) == 32 && sizeof(PropertyEntry) == 48);

// The longest full path an object can be found by (a host record holds
// 1,023 bytes and the terminator); longer ones are kept cut one byte past it.
constexpr std::size_t kMaxPathBytes = 1023;

struct Description {
    // The file's bytes for as long as the archive is open: read whole into
    // memory the description owns (view_owned), or mapped (empty where the
    // system cannot map it); and its size.
    MappedView view;
    bool view_owned = false;
    std::int64_t file_size = 0;
    GrowableArray<TimeSampling> samplings;
    GrowableArray<double> times;
    GrowableArray<ObjectEntry> objects;  // pre-order; entry 0 is the unnamed top object
    GrowableArray<PropertyEntry> properties;
    GrowableArray<char> strings;         // terminated texts; offset 0 is ""
    std::uint32_t polymesh_count = 0;    // objects of schema PolyMesh

    const char* text(std::uint32_t offset) const { return strings.data() + offset; }
};

// Decodes the archive behind reader. Null when any of it fails (a node out
// of the file or of the budget, a count the headers do not keep, a group
// inside itself, an allocation): the archive is then undescribed.
Description* describe_archive(zel::CachedReader& reader);

// A reader of a described archive, through the description's mapping.
inline CachedReader reader_of(const ogawa_archive_t* archive, const Description& d) {
    return CachedReader(archive->file, d.file_size, d.view);
}
void free_description(Description* description);

// Releases a view of the file: frees it when owned, else unmaps it.
void release_view(MappedView* view, bool owned);

// The description an open archive holds, or null when it is undescribed.
const Description* description_of(const ogawa_archive_t* archive);

// Time of sample k of a sampling, as the writer's own reader computes it.
double sample_time(const Description& d, const TimeSampling& s, std::uint64_t k);

// The stored sample that holds sample i of a property.
std::uint32_t stored_sample_index(const PropertyEntry& p, std::uint32_t i);

// start, end and fps of an archive: the earliest first and the latest last
// sample time over the animated samplings (index 1 on, at least 2 samples),
// and 1 / time per cycle of the first uniform one among them. Without
// animated samplings, and for fps without a uniform one, the values stay.
void time_range(const Description& d, double* start, double* end, double* fps);

// Decodes an open archive's description and hands its object tree to the
// record (objects, object_count) and its time range; reserved then points to
// the description. Leaves the record as it is when any of it fails.
void attach_description(ogawa_archive_t* archive);
// Releases what attach_description attached.
void release_description(ogawa_archive_t* archive);

// The value of key in "key=value;key=value" metadata, or null; *length
// receives its length.
const char* metadata_value(const char* metadata, const char* key, std::size_t* length);

}  // namespace zel::desc
