// Instances: an object with isInstance=1 reads as the object its
// .instanceSource names, under its own name and path, with the source's
// schema, properties and children; world matrices follow the instance's
// path. A missing source, an instance that would contain itself, and
// expansions past the decoder's budget stay as written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "support/alembic_writer.h"

namespace {

using alembic_test::Object;
using alembic_test::instance;
using ogawa_test::OpenedArchive;

alembic_test::MeshSample triangle(float lift) { return {{0, lift, 0, 1, lift, 0, 0, lift, 1}, {3}, {0, 1, 2}}; }
Object mesh(const char* name, float lift) { return alembic_test::polymesh(name, {triangle(lift)}); }
Object moved(const char* name, double x, double y, double z, std::vector<Object> children) {
    return alembic_test::xform(name, {0x10}, {{x, y, z}}, {}, 0, std::move(children));
}

struct Read {
    std::string schema;
    std::string source;  // instance_source
    float lift = -1;     // y of the mesh's first vertex, -1 when it does not read
    double x = 0, y = 0, z = 0;  // the world translation
};

// Every object of the index by path, with its mesh read by path.
std::map<std::string, Read> read_all(ogawa_archive_t* a) {
    std::map<std::string, Read> out;
    for (std::uint32_t i = 0; i < ogawa_object_count(a); ++i) {
        ogawa_object_info_t o;
        EXPECT_EQ(ogawa_get_object(a, i, &o), 0);
        Read r{ogawa_schema_to_string(o.schema), o.instance_source};
        ogawa_object_t record{};
        std::strcpy(record.path, o.path);
        ogawa_polymesh_t m;
        if (ogawa_read_polymesh(a, &record, 0, &m) == 0) {
            EXPECT_STREQ(m.path, o.path);
            r.lift = m.positions[1];
            r.x = m.transform[12], r.y = m.transform[13], r.z = m.transform[14];
            ogawa_free_polymesh(&m);
        }
        EXPECT_EQ(ogawa_find_object(a, o.path), static_cast<std::int32_t>(i));
        out[o.path] = r;
    }
    return out;
}

// /root at x 100 holds /root/inst0 (y 10) with /a (x 1; aMesh, and b/c/cMesh
// with c at z 0.5) and /f (y 2) holding /g, an instance of /root/inst0/a;
// /root/c (z 5) holds inst1, an instance of /root/inst0. 11 objects stored;
// g adds a's 4 descendants, inst1 adds inst0's 11 as read: 26.
alembic_test::Scene nested_scene() {
    Object a = moved("a", 1, 0, 0, {mesh("aMesh", 1), moved("b", 0, 0, 0, {moved("c", 0, 0, 0.5, {mesh("cMesh", 2)})})});
    Object inst0 = moved("inst0", 0, 10, 0, {std::move(a), moved("f", 0, 2, 0, {instance("g", "/root/inst0/a")})});
    alembic_test::Scene s;
    s.objects.push_back(moved("root", 100, 0, 0, {std::move(inst0), moved("c", 0, 0, 5, {instance("inst1", "/root/inst0")})}));
    return s;
}

TEST(OgawaInstances, ExpandedTreesReadAsTheirSources) {
    struct Expect {
        const char* path;
        Read read;
    };
    struct Case {
        const char* what;
        alembic_test::Scene scene;
        std::size_t objects;
        std::vector<Expect> expected;
    } cases[] = {
        {"an instance of a mesh",
         [] {
             alembic_test::Scene s;
             s.objects = {mesh("m", 3), moved("x", 4, 0, 0, {instance("im", "/m")})};
             return s;
         }(),
         3,
         {{"/m", {"PolyMesh", "", 3, 0, 0, 0}}, {"/x/im", {"PolyMesh", "/m", 3, 4, 0, 0}}}},
        {"nested instances", nested_scene(), 26,
         {{"/root/inst0/a/aMesh", {"PolyMesh", "", 1, 101, 10, 0}},
          {"/root/inst0/f/g", {"Xform", "/root/inst0/a", -1, 0, 0, 0}},
          {"/root/inst0/f/g/aMesh", {"PolyMesh", "", 1, 101, 12, 0}},  // g takes a's x 1
          {"/root/inst0/f/g/b/c/cMesh", {"PolyMesh", "", 2, 101, 12, 0.5}},
          {"/root/c/inst1", {"Xform", "/root/inst0", -1, 0, 0, 0}},
          {"/root/c/inst1/f/g", {"Xform", "/root/inst0/a", -1, 0, 0, 0}},
          {"/root/c/inst1/a/aMesh", {"PolyMesh", "", 1, 101, 10, 5}},
          {"/root/c/inst1/f/g/b/c/cMesh", {"PolyMesh", "", 2, 101, 12, 5.5}}}},
        {"an instance of a missing path",
         [] {
             alembic_test::Scene s;
             s.objects = {mesh("m", 3), instance("lost", "/nowhere")};
             return s;
         }(),
         2,
         {{"/lost", {"Unknown", "", -1, 0, 0, 0}}}},
        {"an instance that would contain itself",
         [] {
             alembic_test::Scene s;
             s.objects = {moved("a", 0, 0, 0, {mesh("m", 3), moved("b", 0, 0, 0, {instance("loop", "/a")})}),
                          instance("self", "/self")};
             return s;
         }(),
         5,
         {{"/a/b/loop", {"Unknown", "", -1, 0, 0, 0}}, {"/self", {"Unknown", "", -1, 0, 0, 0}}}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenedArchive opened(alembic_test::write_archive(c.scene).bytes);
        ASSERT_EQ(ogawa_archive_state(&opened.archive), 0);
        std::map<std::string, Read> read = read_all(&opened.archive);
        EXPECT_EQ(read.size(), c.objects);
        for (const Expect& e : c.expected) {
            SCOPED_TRACE(e.path);
            ASSERT_EQ(read.count(e.path), 1u);
            const Read& r = read[e.path];
            EXPECT_EQ(r.schema, e.read.schema);
            EXPECT_EQ(r.source, e.read.source);
            EXPECT_EQ(r.lift, e.read.lift);
            EXPECT_EQ(r.x, e.read.x);
            EXPECT_EQ(r.y, e.read.y);
            EXPECT_EQ(r.z, e.read.z);
        }
        EXPECT_EQ(ogawa_load_objects(&opened.archive), 0);
        char report[256];
        ogawa_get_info(&opened.archive, report, sizeof report);
        EXPECT_NE(std::string(report).find("Objects: " + std::to_string(c.objects) + "\n"), std::string::npos);
    }
}

// /l0 holds a mesh; /lk holds two instances of /l(k-1): lk reads as 2^(k+1)
// + ... objects. Forty levels would be 2^41; the expansions that fit the
// budget happen, the rest stay as written, and the archive stays described.
TEST(OgawaInstances, ExponentialChainsStopAtTheBudget) {
    alembic_test::Scene s;
    s.objects.push_back(moved("l0", 0, 0, 0, {mesh("m", 1)}));
    for (int k = 1; k <= 40; ++k) {
        char name[8], below[8];
        std::snprintf(name, sizeof name, "l%d", k);
        std::snprintf(below, sizeof below, "/l%d", k - 1);
        s.objects.push_back(moved(name, 0, 0, 0, {instance("i", below), instance("j", below)}));
    }
    const ogawa_test::Bytes bytes = alembic_test::write_archive(s).bytes;
    OpenedArchive opened(bytes);
    ASSERT_EQ(ogawa_archive_state(&opened.archive), 0);
    const std::uint32_t n = ogawa_object_count(&opened.archive);
    EXPECT_LE(n, 122 + bytes.size() / 4);  // the 122 written, and what the budget paid for
    EXPECT_GE(ogawa_find_object(&opened.archive, "/l3/i/i/i/m"), 0);  // small ones expand
    const std::int32_t top = ogawa_find_object(&opened.archive, "/l40/i");
    ASSERT_GE(top, 0);
    ogawa_object_info_t o;
    ASSERT_EQ(ogawa_get_object(&opened.archive, static_cast<std::uint32_t>(top), &o), 0);
    EXPECT_STREQ(o.instance_source, "");  // as written: no children
    EXPECT_EQ(o.next_sibling, static_cast<std::uint32_t>(top) + 1);
}

}  // namespace
