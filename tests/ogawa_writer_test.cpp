// The Alembic test writer against the real one: the archives of tests/data
// rebuilt from their truth files and walked side by side, node for node; then
// the writer's own choices (sharing, size hints, inline metadata) read back
// against literal bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/alembic_writer.h"
#include "support/test_support.h"

namespace {

using namespace alembic_test;
using nlohmann::json;
using ogawa_test::concat;
using ogawa_test::get_u64;
using ogawa_test::kData;
using ogawa_test::words;

std::vector<std::uint64_t> kids(const Bytes& b, std::uint64_t group) {
    std::vector<std::uint64_t> out;
    const std::uint64_t n = group ? get_u64(b, group) : 0;
    for (std::uint64_t i = 0; i < n; ++i) out.push_back(get_u64(b, group + 8 + 8 * i));
    return out;
}
Bytes payload(const Bytes& b, std::uint64_t ref) {
    const std::uint64_t at = ref & ~kData;
    return at ? Bytes(b.begin() + at + 8, b.begin() + at + 8 + get_u64(b, at)) : Bytes{};
}
Bytes txt(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::uint64_t at_path(const Bytes& b, std::initializer_list<int> path) {
    std::uint64_t ref = get_u64(b, 8);
    for (int i : path) ref = kids(b, ref).at(i);
    return ref;
}

// Walks the real archive and ours side by side from the root. Everything must
// match but the digests (the first 16 bytes of a sample, the last 32 of child
// headers), which no reader needs; nodes shared in one file are shared alike
// in the other, and in ours every child lies below its group.
class Differ {
public:
    Differ(const Bytes& real, const Bytes& ours) : a_(real), b_(ours) {}

    void archive() {
        const auto ra = kids(a_, get_u64(a_, 8)), rb = ours(get_u64(b_, 8));
        ASSERT_EQ(ra.size(), 6u);
        ASSERT_EQ(rb.size(), 6u);
        for (int i : {0, 1, 3, 4, 5}) data(ra[i], rb[i], "root/" + std::to_string(i), 0, 0);
        object(ra[2], rb[2], "root/2");
    }

private:
    std::vector<std::uint64_t> ours(std::uint64_t group) {
        auto c = kids(b_, group);
        for (std::uint64_t r : c) EXPECT_LT(r & ~kData, group);
        return c;
    }
    bool same_kind(std::uint64_t ra, std::uint64_t rb, const std::string& where) {
        const bool ok = (ra & kData) == (rb & kData) && ((ra & ~kData) == 0) == ((rb & ~kData) == 0);
        EXPECT_TRUE(ok) << where;
        return ok;
    }
    void data(std::uint64_t ra, std::uint64_t rb, const std::string& where, std::size_t skip_front,
              std::size_t skip_back) {
        if (!same_kind(ra, rb, where)) return;
        if (!(ra & kData)) {
            ADD_FAILURE() << where << " is a group";
            return;
        }
        EXPECT_EQ(pairs_.try_emplace(ra, rb).first->second, rb) << where;
        EXPECT_EQ(back_.try_emplace(rb, ra).first->second, ra) << where;
        const Bytes pa = payload(a_, ra), pb = payload(b_, rb);
        EXPECT_EQ(pa.size(), pb.size()) << where;
        if (pa.size() != pb.size()) return;
        const std::size_t from = std::min(skip_front, pa.size());
        const std::size_t to = pa.size() - std::min(skip_back, pa.size() - from);
        EXPECT_TRUE(std::equal(pa.begin() + from, pa.begin() + to, pb.begin() + from)) << where;
    }
    void object(std::uint64_t ra, std::uint64_t rb, const std::string& where) {
        const auto ca = kids(a_, ra), cb = ours(rb);
        ASSERT_EQ(ca.size(), cb.size()) << where;
        ASSERT_GE(ca.size(), 2u) << where;
        if (same_kind(ca[0], cb[0], where + "/0") && ca[0] != 0) compound(ca[0], cb[0], where + "/0");
        for (std::size_t i = 1; i + 1 < ca.size(); ++i) object(ca[i], cb[i], where + "/" + std::to_string(i));
        data(ca.back(), cb.back(), where + " child headers", 0, 32);
    }
    void compound(std::uint64_t ra, std::uint64_t rb, const std::string& where) {
        const auto ca = kids(a_, ra), cb = ours(rb);
        ASSERT_EQ(ca.size(), cb.size()) << where;
        ASSERT_FALSE(ca.empty()) << where;
        data(ca.back(), cb.back(), where + " property headers", 0, 0);
        for (std::size_t i = 0; i + 1 < ca.size(); ++i) {
            const std::string at = where + "/" + std::to_string(i);
            if (!same_kind(ca[i], cb[i], at)) continue;
            const auto inner = kids(a_, ca[i]);
            if (std::all_of(inner.begin(), inner.end(), [](std::uint64_t r) { return (r & kData) != 0; })) {
                const auto sa = inner, sb = ours(cb[i]);
                ASSERT_EQ(sa.size(), sb.size()) << at;
                for (std::size_t k = 0; k < sa.size(); ++k) data(sa[k], sb[k], at + "/" + std::to_string(k), 16, 0);
            } else {
                compound(ca[i], cb[i], at);
            }
        }
    }

    const Bytes& a_;
    const Bytes& b_;
    std::map<std::uint64_t, std::uint64_t> pairs_, back_;
};

json truth(const std::string& name) {
    std::ifstream in(zel_test::data_file(name + ".truth.json"));
    EXPECT_TRUE(in.good()) << name;
    return in.good() ? json::parse(in) : json::object();
}
template <class T>
std::vector<T> flat(const json& j) {
    std::vector<T> out;
    for (const json& v : j) {
        if (!v.is_array()) out.push_back(v.get<T>());
        for (const json& x : v.is_array() ? v : json::array()) out.push_back(x.get<T>());
    }
    return out;
}
std::string text(const json& o, const char* key) {
    return o.contains(key) && o[key].is_string() ? o[key].get<std::string>() : "";
}

// A mesh of a truth file, its texture coordinates before its normals as the
// real writer orders them; animated meshes are on sampling 1.
Object mesh_from(const json& o) {
    const std::uint32_t sampling = o["samples"].size() > 1 ? 1 : 0;
    std::vector<MeshSample> samples;
    std::vector<GeomParam> params = {{"uv", 2, "", {}, {}, sampling}, {"N", 3, "", {}, {}, sampling}};
    const char* keys[2][3] = {{"uvs", "uv_indices", "uvs_scope"}, {"normals", "normal_indices", "normals_scope"}};
    for (const json& s : o["samples"]) {
        samples.push_back({flat<float>(s["positions"]), flat<std::int32_t>(s["face_counts"]),
                           flat<std::int32_t>(s["face_indices"])});
        for (int p = 0; p < 2; ++p) {
            if (!s.contains(keys[p][0])) continue;
            params[p].values.push_back(flat<float>(s[keys[p][0]]));
            if (s.contains(keys[p][1])) params[p].indices.push_back(flat<std::uint32_t>(s[keys[p][1]]));
            const std::string scope = text(s, keys[p][2]).empty() ? text(o, keys[p][2]) : text(s, keys[p][2]);
            params[p].scope = scope == "vertex" ? "vtx" : "fvr";
        }
    }
    std::erase_if(params, [](const GeomParam& g) { return g.values.empty(); });
    const std::string path = o["path"];
    return polymesh(path.substr(path.rfind('/') + 1), samples, sampling, params);
}

// scene_mixed: its truth file describes the two meshes alone; the camera's
// channels and the transforms are literals, the SubD and points values come
// from the real file's samples (their layout, bounds and headers are still ours).
std::vector<Object> mixed_objects(const Bytes& real, const json& t) {
    const auto values = [&](std::initializer_list<int> path) {
        const Bytes p = payload(real, at_path(real, path));
        return Bytes(p.begin() + 16, p.end());
    };
    const auto ints = [](const Bytes& b) {
        const std::vector<std::uint32_t> w = ogawa_test::words_in(b);
        return std::vector<std::int32_t>(w.begin(), w.end());
    };
    const auto mesh = [&](const std::string& path) {
        for (const json& o : t["objects"]) {
            if (o["path"] == path) return mesh_from(o);
        }
        ADD_FAILURE() << path;
        return Object{};
    };
    std::vector<Bytes> core;
    for (int k = 0; k < 10; ++k) {
        core.push_back(f64s({35.0 + k, 3.6, 0, 2.4, 0, 1, 0, 0, 0, 0, 5.6, 5, 0, 1 / 48.0, 0.1, 1e5}));
    }
    std::vector<std::vector<double>> slide;
    for (int k = 0; k < 10; ++k) slide.push_back({double(k), 0, 0});
    const std::string points_base = "schema=AbcGeom_Points_v1;schemaBaseType=AbcGeom_GeomBase_v1";
    return {
        {"cam", "schema=AbcGeom_Camera_v1;schemaObjTitle=AbcGeom_Camera_v1:.geom",
         {compound(".geom", {scalar(".core", Pod::kF64, 16, core, "", 1)}, "schema=AbcGeom_Camera_v1")}, {}},
        subd("ground", {ogawa_test::floats_in(values({2, 2, 0, 0, 1, 0})), ints(values({2, 2, 0, 0, 3, 0})),
                        ints(values({2, 2, 0, 0, 2, 0}))}),
        xform("pCube1", {0x10}, slide, {true}, 1, {mesh("/pCube1/pCubeShape1")}),
        xform("pSphere1", {0x10, 0x50, 0x00}, {{0, 5, 0, 90, 2, 2, 2}}, {true}, 0,
              {xform("pivot", {0x10, 0x20}, {{-1, 0, 0, 1, 1, 0, 45}}, {false}, 0,
                     {mesh("/pSphere1/pivot/pSphereShape1")})}),
        {"points", points_base + ";schemaObjTitle=AbcGeom_Points_v1:.geom",
         {compound(".geom",
                   {scalar(".selfBnds", Pod::kF64, 6, {values({2, 5, 0, 0, 0, 0})}, "interpretation=box"),
                    array("P", Pod::kF32, 3, {values({2, 5, 0, 0, 1, 0})}, "geoScope=var;interpretation=point"),
                    array(".pointIds", Pod::kU64, 1, {values({2, 5, 0, 0, 2, 0})}, "geoScope=var")},
                   points_base)},
         {}},
    };
}

TEST(AlembicWriter, RebuildsEveryRealArchiveNodeForNode) {
    const std::vector<Sampling> still = {{1, 1.0, {0.0}}};
    const std::map<std::string, std::vector<Sampling>> fixtures = {
        {"tiny", still},
        {"cube", still},
        {"grid_tri", still},
        {"pentagons", still},
        {"dup_instances", still},
        {"blender_cube", still},
        {"acyclic_times", {{0, 1.0, {0.0}}, {5, kAcyclic, {0.0, 0.1, 0.35, 0.4, 1.0}}}},
        {"animated", {{0, 1.0, {0.0}}, {24, 1 / 24.0, {1 / 24.0}}}},
        {"deform_ngons", {{0, 1.0, {0.0}}, {8, 1 / 30.0, {2.0}}}},
        {"scene_mixed", {{1, 1.0, {0.0}}, {10, 1 / 24.0, {1 / 24.0}}}},
    };
    for (const auto& [name, samplings] : fixtures) {
        SCOPED_TRACE(name);
        const Bytes real = zel_test::read_file(zel_test::data_file(name + ".abc"));
        const json t = truth(name);
        Scene scene;
        scene.samplings = samplings;
        // The real text names the build date; copied so that it compares too.
        const Bytes meta = payload(real, at_path(real, {3}));
        scene.archive_metadata.assign(meta.begin(), meta.end());
        if (name == "scene_mixed") {
            scene.objects = mixed_objects(real, t);
        } else if (name == "blender_cube") {
            scene.objects = {xform("Cube", {0x10}, {{0.5, 0, 1}}, {true}, 0, {mesh_from(t["objects"][1])})};
        } else {
            for (const json& o : t["objects"]) scene.objects.push_back(mesh_from(o));
        }
        const Written ours = write_archive(scene);
        Differ(real, ours.bytes).archive();
        EXPECT_EQ(ours.bytes.size(), real.size());
    }
}

// One object "o" whose compound holds the given properties.
Written one_object(std::vector<Property> props, bool share = true, bool index = true) {
    Scene s;
    s.objects = {{"o", "", std::move(props), {}}};
    s.share_identical_samples = share;
    s.index_metadata = index;
    return write_archive(s);
}

TEST(AlembicWriter, SharesIdenticalPayloadsAndMapsWhatItWrote) {
    const Bytes a = f32s({1, 2, 3}), b = f32s({4, 5, 6});
    Property arr = array("a", Pod::kF32, 3, {a, a, b, {}});
    arr.dims = {{}, {1, 1}};
    const std::vector<Property> props = {arr, scalar("s", Pod::kF32, 3, {a})};
    for (bool share : {true, false}) {
        SCOPED_TRACE(share);
        const Written w = one_object(props, share);
        EXPECT_EQ(w.object_group.at("/o"), kids(w.bytes, w.object_group.at("")).at(1));
        const auto samples = kids(w.bytes, w.property_group.at("/o/a"));
        ASSERT_EQ(samples.size(), 8u);
        const std::uint64_t scalar_sample = kids(w.bytes, w.property_group.at("/o/s")).at(0);
        EXPECT_EQ(samples[0] == samples[2], share);
        EXPECT_EQ(samples[0] == scalar_sample, share);
        EXPECT_NE(samples[0], samples[4]);
        EXPECT_EQ(samples[6], kData);  // the sample of no elements
        EXPECT_EQ(samples[1], kData);  // one-dimensional
        EXPECT_EQ(payload(w.bytes, samples[3]), words({1, 0, 1, 0}));
        const Bytes first = payload(w.bytes, samples[0]);
        ASSERT_EQ(first.size(), 16 + a.size());
        EXPECT_TRUE(std::equal(a.begin(), a.end(), first.begin() + 16));
        EXPECT_EQ(kData | w.headers.at("/o/"), kids(w.bytes, w.property_group.at("/o/")).back());
    }
}

Bytes headers_of(const Written& w, const std::string& compound) {
    return payload(w.bytes, kData | w.headers.at(compound));
}

TEST(AlembicWriter, WritesHeaderFieldsInTheNarrowestSizeThatFits) {
    const Bytes v = f32s({1});
    const std::string long_name(300, 'n');
    // u16 fields: count 1, name length 300; homogeneous, every sample alike.
    EXPECT_EQ(headers_of(one_object({scalar(long_name, Pod::kF32, 1, {v})}), "/o/"),
              concat({words({0x1CA5}), {1, 0, 0x2C, 0x01}, txt(long_name)}));
    // Fewer stored than counted: first and last changed (1 and stored - 1
    // unless given), then the sampling index.
    Property p = scalar("p", Pod::kF32, 1, {v, f32s({2}), f32s({3})}, "", 7);
    p.sample_count = 5;
    EXPECT_EQ(headers_of(one_object({p}), "/o/"), concat({words({0x17A1}), {5, 1, 2, 7, 1}, txt("p")}));
    p.first_changed = 2;
    p.last_changed = 4;
    p.size_hint = 2;
    EXPECT_EQ(headers_of(one_object({p}), "/o/"), concat({words({0x17A9, 5, 2, 4, 7, 1}), txt("p")}));
    // The last name u8 fields hold; a property of no samples counts none and
    // keeps bit 11, so that no reader computes a last change of -1.
    const std::string name255(255, 'n');
    EXPECT_EQ(headers_of(one_object({scalar(name255, Pod::kF32, 1, {v}), scalar("z", Pod::kF32, 1, {})}), "/o/"),
              concat({words({0x1CA1}), {1, 255}, txt(name255), words({0x1CA1}), {0, 1}, txt("z")}));
    // Arrays of extent 3 are never homogeneous; one element in each sample: kind 3.
    EXPECT_EQ(headers_of(one_object({array("q", Pod::kF32, 3, {f32s({1, 2, 3})})}), "/o/"),
              concat({words({0x38A3}), {1, 1}, txt("q")}));
}

TEST(AlembicWriter, IndexesShortMetadataUpTo254Texts) {
    std::vector<Property> props;
    for (int i = 0; i < 255; ++i) props.push_back(compound("c", {}, "k=" + std::to_string(i)));
    props.push_back(compound("d", {}, "k=0"));
    const Written w = one_object(props);
    Bytes table, expected;
    for (std::uint32_t i = 1; i <= 254; ++i) {
        const std::string k = "k=" + std::to_string(i - 1);
        table = concat({table, {static_cast<unsigned char>(k.size())}, txt(k)});
        expected = concat({expected, words({i << 20}), {1}, txt("c")});
    }
    EXPECT_EQ(payload(w.bytes, at_path(w.bytes, {5})), table);
    expected = concat({expected, words({0xFFu << 20}), {1}, txt("c"), {5}, txt("k=254"),  // the table is full
                       words({1u << 20}), {1}, txt("d")});                                 // a text seen before
    EXPECT_EQ(headers_of(w, "/o/"), expected);
    // 255 bytes go in the table, 256 inline behind u16 sizes.
    const std::string m255(255, 'm'), m256(256, 'm');
    const Written sized = one_object({compound("e", {}, m256), compound("f", {}, m255)});
    EXPECT_EQ(headers_of(sized, "/o/"), concat({words({0xFFu << 20 | 1u << 2}), {1, 0}, txt("e"), {0, 1}, txt(m256),
                                                words({1u << 20}), {1}, txt("f")}));
    EXPECT_EQ(payload(sized.bytes, at_path(sized.bytes, {5})), concat({{255}, txt(m255)}));
    // Indexing off: every text inline, the table empty.
    const Written off = one_object({compound("c", {}, "k=0")}, true, false);
    EXPECT_EQ(headers_of(off, "/o/"), concat({words({0xFFu << 20}), {1}, txt("c"), {3}, txt("k=0")}));
    EXPECT_EQ(at_path(off.bytes, {5}), kData);
}

}  // namespace
