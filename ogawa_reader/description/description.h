// What an Alembic archive says about itself. Opening decodes its time
// samplings, its metadata and the headers of the top object's children;
// every other object's group, and an object's property headers, are decoded
// the first time a call needs them, then kept.
//
// The layout: the root group holds six children (archive version, library
// version, the top object, archive metadata, time samplings, indexed
// metadata). An object is a group [property compound, child objects...,
// headers of the child objects]; a compound is a group [properties...,
// headers of the properties]; a scalar property is a group of one data node
// per stored sample, an array property one of two (data, dimensions).
//
// The form is compact: the objects as written and their properties in flat
// arrays linked by index, the tree as readers see it (instances expanded) in
// the order its objects were first needed, every text in one pool of
// terminated strings. The pre-order index hosts number objects by is made
// when a call first asks for it, and decodes the whole tree.
#pragma once

#include <cstdint>

#include "common/block_array.h"
#include "common/growable.h"
#include "ogawa_archive.h"
#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/sibling_table.h"
#include "ogawa_reader/description/text_pool.h"

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

enum class PropertyState : std::uint8_t { kUndecoded, kDecoded, kFailed };

// An object as the file stores it. Entry 0 is the unnamed top object. An
// object's children are decoded together, with its group, and lie together.
struct StoredObject {
    std::uint64_t group;           // file position of its object group
    std::uint64_t property_group;  // its property compound, once its group is decoded; 0 = none
    std::uint32_t name;            // string offset
    std::uint32_t parent;          // kNone for the top object
    std::uint32_t first_child;     // once its group is decoded
    std::uint32_t child_count;
    std::uint32_t properties;   // its decoded property compound; kNone when empty or not decoded
    std::uint32_t schema_text;  // string offset: the metadata's schema value
    std::uint16_t depth;        // of its group below the root group: 1 for the top object
    std::uint8_t schema;        // an ogawa_schema_t
    PropertyState property_state;
    PropertyState group_state;  // kFailed: its group does not decode (the archive is then not described)
    bool instance;              // its metadata says isInstance=1
    bool names_searched;        // a lookup compared its children's names
    bool names_hashed;          // its children are in Description::stored_names
};

// An object of the tree as readers see it: an instance shows the object it
// stands for (`stored`) under its own name and path. Node 0 is the top
// object. A node's children lie together, in the order of its stored
// object's children: their places are taken the first time a call needs one
// of them, and they are made in order, up to the last one needed.
struct ObjectNode {
    std::uint32_t written;      // the stored object it was made for: its name, and an instance's source
    std::uint32_t stored;       // the stored object whose schema, properties and children it shows
    std::uint32_t parent;       // kNone for the top object
    std::uint32_t first_child;  // once their places are taken (as many as its stored object's children)
    std::uint32_t made;         // children made, from the first
    std::uint32_t path;         // string offset of "/a/b", kNone until asked for; cut one byte past kMaxPathBytes
    std::uint32_t rank;         // its pre-order index, once the index is made
    std::uint32_t subtree_end;  // the pre-order index after its subtree, likewise
    std::uint16_t depth;        // 1 for a top-level object
    bool placed;  // its children's places are taken
    bool paid;  // inside an expansion whose objects were paid for: those below spend nothing more
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
static_assert(sizeof(StoredObject) == 48 && sizeof(ObjectNode) == 36 && sizeof(PropertyEntry) == 48);

// The longest full path an object can be found by (a host record holds
// 1,023 bytes and the terminator); longer ones are kept cut one byte past it.
constexpr std::size_t kMaxPathBytes = 1023;

// What opening found: a described archive, a whole container whose Alembic
// layer does not decode, or a damaged container.
enum class ArchiveState { kDescribed = 0, kUndescribed = 1, kDamaged = 2 };

// The local matrices of the transforms read last, by their `.xform`
// compound and the time asked for: meshes read one after another share
// their ancestors, which are then read once.
struct LocalMatrixCache {
    static constexpr std::size_t kEntries = 64;
    struct Entry {
        std::uint32_t xform = kNone;
        bool inherits = true;
        std::uint64_t time_bits = 0;
        double matrix[16];
    };
    Entry entries[kEntries];
};

// An object's header as its parent's header block holds it.
struct ChildHeader {
    std::uint32_t name;      // string offsets
    std::uint32_t metadata;
    std::uint32_t metadata_index;  // 1..254 for an indexed text; 0 for the empty or an inline one
};

// What an object's metadata says of it.
struct ObjectKind {
    std::uint32_t schema_text;  // string offset of the `schema` value
    ogawa_schema_t schema;
    bool instance;  // isInstance=1
};

// What the instances met so far stand for, per stored object (sized to the
// stored objects when an instance is first met): the source as written
// (kUnresolved until looked up, kNone when its path names nothing), the
// source's path, and the objects below and including each object as read
// (0 until counted).
struct InstanceLinks {
    static constexpr std::uint32_t kUnresolved = 0xFFFFFFFEu;
    GrowableArray<std::uint32_t> source;
    GrowableArray<std::uint32_t> source_path;
    GrowableArray<std::uint64_t> expanded;
    GrowableArray<std::uint8_t> verdict;  // 0 undecided, 1 it stands for its source, 2 shown as written
    GrowableArray<std::uint32_t> mark;    // walks' visits, by generation
    std::uint32_t generation = 0;
};

// Values a read only looks up (an index, the values it picks from), read
// into memory the archive keeps from read to read: its bytes are sized to
// the sample, and elements counts them.
struct ScratchValues {
    GrowableArray<unsigned char> bytes;
    std::uint64_t elements = 0;
    bool alloc_failed = false;
};

struct Description {
    ArchiveState state = ArchiveState::kUndescribed;
    const char* problem = "";  // static text: what was found first; "" when described
    // The file's bytes for as long as the archive is open: read whole into
    // memory the description owns (view_owned), or mapped (empty where the
    // system cannot map it); and its size.
    MappedView view;
    bool view_owned = false;
    ReadWindows windows;  // reads of a file that is neither in memory nor mapped
    std::int64_t file_size = 0;
    GrowableArray<TimeSampling> samplings;
    GrowableArray<double> times;
    BlockArray<StoredObject> stored;  // as written, in the order decoded; entry 0 is the unnamed top object
    BlockArray<ObjectNode> nodes;     // as read, in the order their places were taken; node 0 is the top object
    GrowableArray<PropertyEntry> properties;
    TextPool strings;                     // sealed once the archive is open
    GrowableArray<std::uint32_t> metadata_table;  // pool offsets of the indexed metadata
    GrowableArray<ObjectKind> indexed_kinds;      // what each indexed metadata text says of an object
    std::uint32_t archive_metadata = 0;   // string offset
    std::uint64_t root_group = 0;         // file position of the root group
    std::uint64_t budget = 0;             // node reads left for the lazy decoding
    std::uint64_t expansion_budget = 0;   // objects that instances may still add to the tree as read
    SiblingTable stored_names;            // children of stored objects with many children, by name
    // The pre-order index: the node at each index (the top object left out),
    // made by the first call that numbers objects; and the PolyMeshes in it.
    GrowableArray<std::uint32_t> preorder;
    bool indexed = false;
    std::uint32_t polymesh_count = 0;
    InstanceLinks instances;
    ScratchValues scratch_values;
    ScratchValues scratch_indices;
    // The property listings hosts asked for: per stored object its range of
    // `listed` (sized on first use; count kNone until listed).
    struct ListedProperty {
        std::uint32_t property;
        std::uint32_t path;  // string offset: ".geom/P"
        std::uint32_t depth;
    };
    struct Listing {
        std::uint32_t first;
        std::uint32_t count;
    };
    GrowableArray<Listing> listings;
    GrowableArray<ListedProperty> listed;
    LocalMatrixCache local_matrices;

    const char* text(std::uint32_t offset) const { return strings.text(offset); }
};

// Decodes the archive behind reader: the root, the archive metadata, the
// time samplings, the indexed metadata and the top object's group with its
// children's headers. Null only when the record itself cannot be allocated.
// Otherwise its state says what was found: described, or, when any of it
// fails, damaged (a node out of the file, a group running past its end, a
// data node cut short, a group inside itself) or undescribed (the budget, a
// count the headers do not keep, an allocation); a description that is not
// described at open holds nothing else.
// The description keeps the file's view (see Description::view) while
// described, and releases it otherwise, also when it cannot be allocated.
Description* describe_archive(std::FILE* f, std::int64_t file_size, MappedView view, bool view_owned);

// The object's property compound, decoded on first use: false when its
// headers do not decode (the object then has no readable properties).
bool ensure_properties(CachedReader& reader, Description& d, std::uint32_t stored);
// The property compound of node, decoded on first use; kNone when it has
// none or it does not decode.
std::uint32_t properties_of(CachedReader& reader, Description& d, std::uint32_t node);

// What a decoding after open found that the archive as a whole cannot pass
// (damage, or headers that do not decode): from now on the archive is
// damaged with that problem, and answers as such; what it handed out stays
// valid until it is closed.
void lose_description(Description& d, const char* problem);

// A reader of a described archive, through the description's mapping.
inline CachedReader reader_of(const ogawa_archive_t* archive, Description& d) {
    return CachedReader(archive->file, d.file_size, d.view, &d.windows);
}
void free_description(Description* description);

// Releases a view of the file: frees it when owned, else unmaps it.
void release_view(MappedView* view, bool owned);

// The description of a described open archive, or null.
const Description* description_of(const ogawa_archive_t* archive);
Description* description_of(ogawa_archive_t* archive);
// What opening an archive found (undescribed when it is not open or its
// description could not be allocated).
ArchiveState state_of(const ogawa_archive_t* archive);
inline bool is_damaged(const ogawa_archive_t* archive) { return state_of(archive) == ArchiveState::kDamaged; }
const char* problem_of(const ogawa_archive_t* archive);

// Time of sample k of a sampling, as the writer's own reader computes it.
double sample_time(const Description& d, const TimeSampling& s, std::uint64_t k);

// The stored sample that holds sample i of a property.
std::uint32_t stored_sample_index(const PropertyEntry& p, std::uint32_t i);

// start, end and fps of an archive: the earliest first and the latest last
// sample time over the animated samplings (index 1 on, at least 2 samples),
// and 1 / time per cycle of the first uniform one among them. Without
// animated samplings, and for fps without a uniform one, the values stay.
void time_range(const Description& d, double* start, double* end, double* fps);

// Decodes an open archive's description and hands its time range to the
// record; reserved then points to the archive's state, with the description
// when it decoded.
void attach_description(ogawa_archive_t* archive);
// Fills the record's objects with the tree as read: 0, -1 undescribed, -2
// an allocation failed (nothing filled).
int load_objects(ogawa_archive_t* archive);
// Releases what attach_description attached.
void release_description(ogawa_archive_t* archive);

// The value of key in "key=value;key=value" metadata, or null; *length
// receives its length.
const char* metadata_value(const char* metadata, const char* key, std::size_t* length);

}  // namespace zel::desc
