#include "support/alembic_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "oracles/murmur3_oracle.h"

namespace alembic_test {

namespace {

using ogawa_test::kData;
using ogawa_test::put_u32;
using ogawa_test::put_u64;

constexpr std::uint8_t kInline = 0xFF;
constexpr std::size_t kMaxIndexed = 254;  // index 255 means "inline"

Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

// MurmurHash3 x64 128 with seed 0, the digest readers check a sample's
// values against.
Bytes digest(const Bytes& b) {
    const zel_oracle::Murmur3Digest d = zel_oracle::murmur3_x64_128(b.data(), b.size(), 0);
    Bytes out;
    put_u64(out, d.h1);
    put_u64(out, d.h2);
    return out;
}

std::size_t pod_size(Pod pod) {
    static constexpr std::size_t kSizes[] = {1, 1, 1, 2, 2, 4, 4, 8, 8, 2, 4, 8, 0, 0};
    return kSizes[static_cast<int>(pod)];
}

// Elements (values of `extent` parts) in a packed sample; strings count
// their terminators.
std::size_t element_count(Pod pod, std::uint8_t extent, const Bytes& b) {
    std::size_t parts = 0;
    if (pod == Pod::kString) {
        parts = static_cast<std::size_t>(std::count(b.begin(), b.end(), 0));
    } else if (pod == Pod::kWideString) {
        for (std::size_t i = 0; i + 4 <= b.size(); i += 4) parts += (b[i] | b[i + 1] | b[i + 2] | b[i + 3]) == 0;
    } else {
        parts = b.size() / pod_size(pod);
    }
    return extent == 0 ? 0 : parts / extent;
}

// The real writer marks every scalar homogeneous, and an array only when its
// extent is 1 (points and texture coordinates never are).
bool homogeneous(const Property& p) {
    if (p.kind == Kind::kScalar) return true;
    if (p.extent != 1) return false;
    for (const Bytes& s : p.stored) {
        if (element_count(p.pod, p.extent, s) != element_count(p.pod, p.extent, p.stored.front())) return false;
    }
    return true;
}

template <class T>
Bytes pack(const std::vector<T>& values) {
    static_assert(std::endian::native == std::endian::little, "the packers copy host bytes");
    Bytes b(values.size() * sizeof(T));
    if (!values.empty()) std::memcpy(b.data(), values.data(), b.size());
    return b;
}

class Writer {
public:
    explicit Writer(const Scene& scene) : scene_(scene) {}

    Written run() {
        Bytes v0, v1;
        put_u32(v0, static_cast<std::uint32_t>(scene_.archive_version));
        put_u32(v1, static_cast<std::uint32_t>(scene_.library_version));
        const std::uint64_t versions[] = {file_.data(v0), file_.data(v1)};
        const std::uint64_t top_group = object({}, scene_.objects, "");
        const std::uint64_t meta = node(text_bytes(scene_.archive_metadata));
        const std::uint64_t samplings = node(time_samplings());
        Bytes table;
        for (const std::string& t : table_) {
            table.push_back(static_cast<unsigned char>(t.size()));
            append(table, text_bytes(t));
        }
        const std::uint64_t indexed = node(table);
        out_.root = file_.group({versions[0], versions[1], top_group, meta, samplings, indexed});
        out_.bytes = file_.finish(out_.root);
        return std::move(out_);
    }

private:
    // A data node, or the empty reference for an empty payload.
    std::uint64_t node(const Bytes& payload) { return payload.empty() ? kData : file_.data(payload); }
    static std::uint64_t position(std::uint64_t ref) { return ref & ~kData; }

    // A stored sample behind its digest; identical payloads share one node.
    std::uint64_t sample(const Bytes& values, bool with_digest) {
        if (values.empty()) return kData;
        Bytes payload = with_digest ? digest(values) : Bytes{};
        append(payload, values);
        if (!scene_.share_identical_samples) return file_.data(payload);
        auto [it, fresh] = shared_.try_emplace(std::string(payload.begin(), payload.end()), 0);
        if (fresh) it->second = file_.data(payload);
        return it->second;
    }

    Bytes time_samplings() const {
        std::vector<Sampling> all = scene_.samplings;
        if (all.empty()) all.push_back({1, 1.0, {0.0}});
        Bytes b;
        for (const Sampling& s : all) {
            put_u32(b, s.max_samples);
            put_u64(b, std::bit_cast<std::uint64_t>(s.time_per_cycle));
            put_u32(b, static_cast<std::uint32_t>(s.times.size()));
            for (double t : s.times) put_u64(b, std::bit_cast<std::uint64_t>(t));
        }
        return b;
    }

    // Index of a metadata text, entering it in the table on first use: the
    // table follows the order in which header blocks are written.
    std::uint8_t meta_index(const std::string& text) {
        if (!scene_.index_metadata || text.size() > 255) return kInline;
        if (text.empty()) return 0;
        auto at = std::find(table_.begin(), table_.end(), text);
        if (at != table_.end()) return static_cast<std::uint8_t>(at - table_.begin() + 1);
        if (table_.size() == kMaxIndexed) return kInline;
        table_.push_back(text);
        return static_cast<std::uint8_t>(table_.size());
    }

    // Child objects first, last to first as the real writer closes them, then
    // the object's properties, its child headers, its own compound, itself.
    std::uint64_t object(const std::vector<Property>& properties, const std::vector<Object>& children,
                         const std::string& path) {
        std::vector<std::uint64_t> refs(children.size() + 2, 0);
        for (std::size_t i = children.size(); i-- > 0;) {
            const Object& c = children[i];
            refs[i + 1] = object(c.properties, c.children, path + "/" + c.name);
        }
        const std::string own = path + "/";
        std::vector<std::uint64_t> props;
        if (!properties.empty()) props = compound_children(properties, own);

        Bytes headers;
        for (const Object& c : children) {
            put_u32(headers, static_cast<std::uint32_t>(c.name.size()));
            append(headers, text_bytes(c.name));
            const std::uint8_t mi = meta_index(c.metadata);
            headers.push_back(mi);
            if (mi == kInline) {
                put_u32(headers, static_cast<std::uint32_t>(c.metadata.size()));
                append(headers, text_bytes(c.metadata));
            }
        }
        Bytes tail = digest(headers);
        append(tail, digest(text_bytes(path)));
        append(headers, tail);
        refs.back() = file_.data(headers);
        out_.headers[path] = position(refs.back());

        if (!properties.empty()) refs[0] = compound_finish(properties, std::move(props), own);
        const std::uint64_t group = file_.group(refs);
        out_.object_group[path] = group;
        return group;
    }

    // The groups of a compound's properties, last to first; `path` is the
    // compound's own ("/a/.geom", or "/a/" for an object's compound).
    std::vector<std::uint64_t> compound_children(const std::vector<Property>& props, const std::string& path) {
        const std::string prefix = path.back() == '/' ? path : path + "/";
        std::vector<std::uint64_t> refs(props.size() + 1, 0);
        for (std::size_t i = props.size(); i-- > 0;) refs[i] = property(props[i], prefix + props[i].name);
        return refs;
    }

    std::uint64_t compound_finish(const std::vector<Property>& props, std::vector<std::uint64_t> refs,
                                  const std::string& path) {
        Bytes block;
        for (const Property& p : props) put_header(block, p);
        refs.back() = node(block);
        out_.headers[path] = position(refs.back());
        const std::uint64_t group = file_.group(refs);
        out_.property_group[path] = group;
        return group;
    }

    std::uint64_t property(const Property& p, const std::string& path) {
        if (p.kind == Kind::kCompound) return compound_finish(p.children, compound_children(p.children, path), path);
        std::vector<std::uint64_t> refs;
        for (std::size_t k = 0; k < p.stored.size(); ++k) {
            refs.push_back(sample(p.stored[k], true));
            if (p.kind == Kind::kScalar) continue;
            Bytes dims;
            if (k < p.dims.size()) {
                for (std::uint64_t d : p.dims[k]) put_u64(dims, d);
            }
            refs.push_back(sample(dims, false));
        }
        const std::uint64_t group = file_.group(refs);
        out_.property_group[path] = group;
        return group;
    }

    void put_header(Bytes& block, const Property& p) {
        const bool samples = p.kind != Kind::kCompound;
        const std::uint8_t mi = meta_index(p.metadata);
        const std::size_t stored = p.stored.size();
        const std::uint32_t count = p.sample_count.value_or(static_cast<std::uint32_t>(stored));
        const bool changes = p.first_changed || p.last_changed || (stored > 1 && stored != count);
        const std::uint32_t first = p.first_changed.value_or(1);
        const std::uint32_t last = p.last_changed.value_or(stored > 0 ? static_cast<std::uint32_t>(stored - 1) : 0);

        std::vector<std::uint64_t> sizes = {p.name.size()};
        if (mi == kInline) sizes.push_back(p.metadata.size());
        if (samples) sizes.insert(sizes.end(), {count, changes ? first : 0u, changes ? last : 0u, p.sampling});
        const std::uint64_t widest = *std::max_element(sizes.begin(), sizes.end());
        const int hint = p.size_hint.value_or(widest <= 0xFF ? 0 : widest <= 0xFFFF ? 1 : 2);

        std::uint32_t info = static_cast<std::uint32_t>(p.kind) | static_cast<std::uint32_t>(hint & 3) << 2 |
                             static_cast<std::uint32_t>(mi) << 20;
        if (samples) {
            info |= static_cast<std::uint32_t>(p.pod) << 4 | static_cast<std::uint32_t>(p.extent) << 12;
            if (p.sampling != 0) info |= 1u << 8;
            if (changes) info |= 1u << 9;
            if (homogeneous(p)) info |= 1u << 10;
            if (stored <= 1) info |= 1u << 11;
        }
        put_u32(block, info);
        const auto put_size = [&](std::uint64_t v) {
            for (int i = 0; i < (1 << hint); ++i) block.push_back(static_cast<unsigned char>(v >> (8 * i)));
        };
        if (samples) {
            put_size(count);
            if (changes) {
                put_size(first);
                put_size(last);
            }
            if (p.sampling != 0) put_size(p.sampling);
        }
        put_size(p.name.size());
        append(block, text_bytes(p.name));
        if (mi == kInline) {
            put_size(p.metadata.size());
            append(block, text_bytes(p.metadata));
        }
    }

    const Scene& scene_;
    ogawa_test::FileBuilder file_;
    Written out_;
    std::unordered_map<std::string, std::uint64_t> shared_;  // payload -> its node
    std::vector<std::string> table_;
};

std::vector<double> box_of(const std::vector<float>& positions) {
    const double big = std::numeric_limits<double>::max();
    std::vector<double> box = {big, big, big, -big, -big, -big};
    for (std::size_t i = 0; i + 3 <= positions.size(); i += 3) {
        for (int a = 0; a < 3; ++a) {
            box[a] = std::min(box[a], static_cast<double>(positions[i + a]));
            box[a + 3] = std::max(box[a + 3], static_cast<double>(positions[i + a]));
        }
    }
    return box;
}

Property geom_param(const GeomParam& g) {
    const std::string interpretation = g.name == "N" ? "normal" : (g.extent == 2 || g.extent == 3) ? "vector" : "";
    const std::string meta = "arrayExtent=1;geoScope=" + g.scope +
                             (interpretation.empty() ? "" : ";interpretation=" + interpretation) +
                             ";isGeomParam=true;podExtent=" + std::to_string(g.extent) + ";podName=float32_t";
    std::vector<Bytes> values, indices;
    for (const auto& v : g.values) values.push_back(f32s(v));
    for (const auto& i : g.indices) indices.push_back(u32s(i));
    const bool indexed = !g.indices.empty();
    Property vals = collapse_repeats(array(indexed ? ".vals" : g.name, Pod::kF32, g.extent, values, meta, g.sampling));
    if (!indexed) return vals;
    return compound(g.name, {vals, collapse_repeats(array(".indices", Pod::kU32, 1, indices, "", g.sampling))}, meta);
}

Object mesh_object(std::string name, const std::string& schema, const std::vector<MeshSample>& samples,
                   std::uint32_t sampling, const std::vector<GeomParam>& params, const std::vector<GeomParam>& arb) {
    std::vector<Bytes> bounds, positions, indices, counts;
    for (const MeshSample& s : samples) {
        bounds.push_back(f64s(box_of(s.positions)));
        positions.push_back(f32s(s.positions));
        indices.push_back(i32s(s.face_indices));
        counts.push_back(i32s(s.face_counts));
    }
    std::vector<Property> geom = {
        collapse_repeats(scalar(".selfBnds", Pod::kF64, 6, bounds, "interpretation=box", sampling)),
        collapse_repeats(array("P", Pod::kF32, 3, positions, "geoScope=vtx;interpretation=point", sampling)),
        collapse_repeats(array(".faceIndices", Pod::kI32, 1, indices, "", sampling)),
        collapse_repeats(array(".faceCounts", Pod::kI32, 1, counts, "", sampling)),
    };
    for (const GeomParam& g : params) geom.push_back(geom_param(g));
    if (!arb.empty()) {
        std::vector<Property> extra;
        for (const GeomParam& g : arb) extra.push_back(geom_param(g));
        geom.push_back(compound(".arbGeomParams", std::move(extra)));
    }
    const std::string base = "schema=" + schema + ";schemaBaseType=AbcGeom_GeomBase_v1";
    return {std::move(name), base + ";schemaObjTitle=" + schema + ":.geom",
            {compound(".geom", std::move(geom), base)}, {}};
}

}  // namespace

Written write_archive(const Scene& scene) { return Writer(scene).run(); }

Bytes f32s(const std::vector<float>& values) { return pack(values); }
Bytes f64s(const std::vector<double>& values) { return pack(values); }
Bytes i32s(const std::vector<std::int32_t>& values) { return pack(values); }
Bytes u32s(const std::vector<std::uint32_t>& values) { return pack(values); }
Bytes u8s(const std::vector<std::uint8_t>& values) { return pack(values); }

Property compound(std::string name, std::vector<Property> children, std::string metadata) {
    Property p;
    p.name = std::move(name);
    p.metadata = std::move(metadata);
    p.children = std::move(children);
    return p;
}

Property scalar(std::string name, Pod pod, std::uint8_t extent, std::vector<Bytes> stored, std::string metadata,
                std::uint32_t sampling) {
    Property p;
    p.name = std::move(name);
    p.kind = Kind::kScalar;
    p.pod = pod;
    p.extent = extent;
    p.metadata = std::move(metadata);
    p.sampling = sampling;
    p.stored = std::move(stored);
    return p;
}

Property array(std::string name, Pod pod, std::uint8_t extent, std::vector<Bytes> stored, std::string metadata,
               std::uint32_t sampling) {
    Property p = scalar(std::move(name), pod, extent, std::move(stored), std::move(metadata), sampling);
    const bool one_each = !p.stored.empty() && std::all_of(p.stored.begin(), p.stored.end(), [&](const Bytes& s) {
        return element_count(pod, extent, s) == 1;
    });
    p.kind = one_each ? Kind::kOneElementArray : Kind::kArray;
    return p;
}

Property collapse_repeats(Property p) {
    const std::vector<Bytes> all = std::move(p.stored);
    const std::vector<std::vector<std::uint64_t>> all_dims = std::move(p.dims);
    const auto dims_of = [&](std::size_t i) {
        return i < all_dims.size() ? all_dims[i] : std::vector<std::uint64_t>{};
    };
    std::size_t first = 0, last = 0;
    for (std::size_t i = 1; i < all.size(); ++i) {
        if (all[i] == all[i - 1] && dims_of(i) == dims_of(i - 1)) continue;
        if (first == 0) first = i;
        last = i;
    }
    p.stored.clear();
    p.dims.clear();
    p.sample_count = static_cast<std::uint32_t>(all.size());
    p.first_changed.reset();
    p.last_changed.reset();
    const auto keep = [&](std::size_t i) {
        p.stored.push_back(all[i]);
        p.dims.push_back(dims_of(i));
    };
    if (!all.empty()) keep(0);
    if (first == 0) return p;
    for (std::size_t i = first; i <= last; ++i) keep(i);
    if (first != 1 || last != all.size() - 1) {
        p.first_changed = static_cast<std::uint32_t>(first);
        p.last_changed = static_cast<std::uint32_t>(last);
    }
    return p;
}

Object polymesh(std::string name, std::vector<MeshSample> samples, std::uint32_t sampling,
                std::vector<GeomParam> params, std::vector<GeomParam> arb_params) {
    return mesh_object(std::move(name), "AbcGeom_PolyMesh_v1", samples, sampling, params, arb_params);
}

Object subd(std::string name, MeshSample sample) {
    return mesh_object(std::move(name), "AbcGeom_SubD_v1", {std::move(sample)}, 0, {}, {});
}

// As the real writer: .ops constant on sampling 0 but counted like the other
// samples; isNotConstantIdentity one true sample on sampling 0; .animChans the
// moving channels, one sample on the xform's sampling.
Object xform(std::string name, std::vector<std::uint8_t> ops, std::vector<std::vector<double>> vals_per_sample,
             std::vector<bool> inherits_per_sample, std::uint32_t sampling, std::vector<Object> children) {
    const std::size_t n = vals_per_sample.size();
    std::vector<Property> props;
    if (!inherits_per_sample.empty()) {
        std::vector<Bytes> inherits;
        for (std::size_t i = 0; i < n; ++i) {
            const bool on = inherits_per_sample[std::min(i, inherits_per_sample.size() - 1)];
            inherits.push_back(u8s({static_cast<std::uint8_t>(on)}));
        }
        props.push_back(collapse_repeats(scalar(".inherits", Pod::kBool, 1, inherits, "", sampling)));
    }
    const std::size_t channels = n > 0 ? vals_per_sample[0].size() : 0;
    Property op = ops.size() > 255 ? array(".ops", Pod::kU8, 1, {u8s(ops)})
                                   : scalar(".ops", Pod::kU8, static_cast<std::uint8_t>(ops.size()), {u8s(ops)});
    op.sample_count = static_cast<std::uint32_t>(n);
    props.push_back(op);
    std::vector<Bytes> vals;
    for (const auto& v : vals_per_sample) vals.push_back(f64s(v));
    props.push_back(collapse_repeats(channels > 255 ? array(".vals", Pod::kF64, 1, vals, "", sampling)
                                                    : scalar(".vals", Pod::kF64, static_cast<std::uint8_t>(channels),
                                                             vals, "", sampling)));
    props.push_back(scalar("isNotConstantIdentity", Pod::kBool, 1, {u8s({1})}));
    std::vector<std::uint32_t> moving;
    for (std::size_t c = 0; c < channels; ++c) {
        for (const auto& v : vals_per_sample) {
            if (c < v.size() && v[c] != vals_per_sample[0][c]) {
                moving.push_back(static_cast<std::uint32_t>(c));
                break;
            }
        }
    }
    if (!moving.empty()) props.push_back(array(".animChans", Pod::kU32, 1, {u32s(moving)}, "", sampling));
    return {std::move(name), "schema=AbcGeom_Xform_v3;schemaObjTitle=AbcGeom_Xform_v3:.xform",
            {compound(".xform", std::move(props), "schema=AbcGeom_Xform_v3")}, std::move(children)};
}

Object plain(std::string name, std::string schema_metadata) {
    return {std::move(name), std::move(schema_metadata), {}, {}};
}

Object instance(std::string name, const std::string& source) {
    Bytes path(source.begin(), source.end());
    path.push_back(0);
    return {std::move(name), "isInstance=1", {scalar(".instanceSource", Pod::kString, 1, {path})}, {}};
}

}  // namespace alembic_test
