// The tree decoded as calls need it: a read by path decodes only the groups
// on its way, so damage elsewhere stays unseen until a call reaches it; then
// that call fails and the archive is damaged from then on, with what it
// handed out still valid. Names among many siblings, and memory that runs
// out while decoding lazily.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "support/alembic_writer.h"
#include "support/alloc_failure.h"

namespace {

using alembic_test::Object;
using ogawa_test::OpenedArchive;

Object mesh(const char* name, float lift) {
    return alembic_test::polymesh(name, {{{0, lift, 0, 1, lift, 0, 0, lift, 1}, {3}, {0, 1, 2}}});
}
Object group(std::string name, std::vector<Object> children) {
    return alembic_test::xform(std::move(name), {0x10}, {{0, 0, 0}}, {}, 0, std::move(children));
}

std::string numbered(const char* format, int i) {
    char text[32];
    std::snprintf(text, sizeof text, format, i);
    return text;
}

// y of the first vertex of the mesh at path, or -1 when it does not read.
float lift_of(ogawa_archive_t* a, const char* path) {
    ogawa_object_t o{};
    std::strcpy(o.path, path);
    ogawa_polymesh_t m;
    if (ogawa_read_polymesh(a, &o, 0, &m) != 0) return -1;
    const float lift = m.positions[1];
    ogawa_free_polymesh(&m);
    return lift;
}

// /a/b/m beside /z: a fault in /a/b's group is found by the first read that
// descends into it, not by opening nor by reads elsewhere.
TEST(OgawaLazyTree, DamageBelowTheTopIsFoundByTheCallThatDecodesIt) {
    alembic_test::Scene scene;
    scene.objects = {group("a", {group("b", {mesh("m", 2)})}), mesh("z", 3)};
    const alembic_test::Written w = alembic_test::write_archive(scene);
    const std::uint64_t b = w.object_group.at("/a/b"), a = w.object_group.at("/a");
    const struct {
        const char* what;
        std::uint64_t at;
        std::uint64_t value;
    } patches[] = {
        {"/a/b claims more children than the file holds", b, w.bytes.size()},
        {"/a/b holds /a", b + 16, a},
        {"/a/b's properties lie past the end", b + 8, w.bytes.size() + 64},
    };
    for (const auto& p : patches) {
        SCOPED_TRACE(p.what);
        ogawa_test::Bytes bytes = w.bytes;
        ogawa_test::set_u64(bytes, p.at, p.value);
        OpenedArchive opened(bytes);
        ogawa_archive_t* archive = &opened.archive;
        ASSERT_EQ(ogawa_archive_state(archive), 0);
        const char* metadata = ogawa_archive_metadata(archive);
        const std::string metadata_copy = metadata;
        EXPECT_EQ(lift_of(archive, "/z"), 3.0f);
        EXPECT_EQ(ogawa_archive_state(archive), 0);
        EXPECT_EQ(lift_of(archive, "/a/b/m"), -1.0f);
        EXPECT_EQ(ogawa_archive_state(archive), 2);
        EXPECT_STRNE(ogawa_archive_problem(archive), "");
        // From now on every call answers as for a damaged archive.
        EXPECT_EQ(lift_of(archive, "/z"), -1.0f);
        EXPECT_EQ(ogawa_get_first_polymesh(archive), nullptr);
        EXPECT_EQ(ogawa_object_count(archive), 0u);
        EXPECT_EQ(ogawa_find_object(archive, "/z"), -1);
        EXPECT_EQ(ogawa_load_objects(archive), -1);
        EXPECT_STREQ(ogawa_archive_metadata(archive), "");
        EXPECT_EQ(metadata_copy, metadata);  // handed out before: still the archive's
    }
    // The same fault reached through the index: its first call decodes the
    // whole tree, and fails.
    ogawa_test::Bytes bytes = w.bytes;
    ogawa_test::set_u64(bytes, b, w.bytes.size());
    OpenedArchive opened(bytes);
    EXPECT_EQ(ogawa_object_count(&opened.archive), 0u);
    EXPECT_EQ(ogawa_archive_state(&opened.archive), 2);
    EXPECT_EQ(lift_of(&opened.archive, "/z"), -1.0f);
}

// Forty siblings and a second "c5" after them: every name finds the first of
// it, through comparisons on the first lookup and the table on later ones.
TEST(OgawaLazyTree, ManySiblingsAreFoundByTheirFirstName) {
    alembic_test::Scene scene;
    for (int i = 0; i < 40; ++i) {
        scene.objects.push_back(group(numbered("c%d", i), {mesh("m", float(i))}));
    }
    scene.objects.push_back(group("c5", {mesh("m", 100)}));
    OpenedArchive opened(alembic_test::write_archive(scene).bytes);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 40; ++i) {
            const std::string path = numbered("/c%d/m", i);
            EXPECT_EQ(lift_of(&opened.archive, path.c_str()), float(i)) << path << " pass " << pass;
        }
        EXPECT_EQ(lift_of(&opened.archive, "/c40/m"), -1.0f);
        EXPECT_EQ(lift_of(&opened.archive, "/c3/n"), -1.0f);
        EXPECT_EQ(lift_of(&opened.archive, "/c3/m/x"), -1.0f);
        EXPECT_EQ(lift_of(&opened.archive, "c3/m"), -1.0f);
    }
    EXPECT_EQ(ogawa_object_count(&opened.archive), 82u);
    EXPECT_EQ(ogawa_find_object(&opened.archive, "/c5"), 10);  // c0/m .. c4/m come first
    EXPECT_EQ(ogawa_find_object(&opened.archive, "/c39/m"), 79);
}

// Memory that runs out while a read decodes groups fails that read and
// leaves the archive described; the same read then succeeds, and a read of
// the first mesh likewise.
TEST(OgawaLazyTree, OutOfMemoryWhileDecodingFailsOnlyThatCall) {
    alembic_test::Scene scene;
    scene.objects = {group("a", {group("b", {mesh("m", 2)})}), mesh("z", 3)};
    const ogawa_test::Bytes bytes = alembic_test::write_archive(scene).bytes;
    bool fired = true;
    std::uint64_t nth = 1;
    for (; fired; ++nth) {
        OpenedArchive opened(bytes);
        ASSERT_EQ(ogawa_archive_state(&opened.archive), 0);
        float lift, first = -1;
        {
            zel_test::FailNthAllocation fail(nth);
            lift = lift_of(&opened.archive, "/a/b/m");
            if (ogawa_polymesh_t* m = ogawa_get_first_polymesh(&opened.archive)) {
                first = m->positions[1];
                if (opened.archive.polymesh_count == 0) {  // no room to cache it: the mesh is ours
                    ogawa_free_polymesh(m);
                    std::free(m);
                }
            }
            fired = fail.fired();
        }
        EXPECT_TRUE(lift == 2.0f || lift == -1.0f) << nth;
        EXPECT_EQ(ogawa_archive_state(&opened.archive), 0) << nth;
        EXPECT_EQ(lift_of(&opened.archive, "/a/b/m"), 2.0f) << nth;
        const ogawa_polymesh_t* m = ogawa_get_first_polymesh(&opened.archive);
        ASSERT_NE(m, nullptr) << nth;
        EXPECT_TRUE(first == -1 || first == m->positions[1]) << nth;
        EXPECT_EQ(m->positions[1], 2.0f) << nth;
    }
    EXPECT_GT(nth, 5u);  // the descent's groups, nodes and texts were all tried
}

}  // namespace
