#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "support/test_support.h"

namespace {

using ogawa_test::Bytes;
using ogawa_test::OpenedArchive;

Bytes header_prefix(std::size_t n) {
    Bytes full = {'O', 'g', 'a', 'w', 'a', 0xFF, 0, 1, 0x10, 0, 0, 0, 0, 0, 0, 0};
    return Bytes(full.begin(), full.begin() + static_cast<long>(n));
}

std::string report_of(const ogawa_archive_t& archive, int size = 4096) {
    std::string buffer(static_cast<std::size_t>(size) + 1, '#');
    ogawa_get_info(&archive, buffer.data(), size);
    return std::string(buffer.c_str());
}

std::string expected_report(const std::string& path, int major, int minor, unsigned objects, unsigned meshes) {
    return "Ogawa Archive\n=============\nPath: " + path + "\nVersion: " + std::to_string(major) + "." +
           std::to_string(minor) + "\nObjects: " + std::to_string(objects) + "\nPolyMeshes: " +
           std::to_string(meshes) + "\nTime Range: 0.000 - 1.000 sec\nFPS: 24.00";
}

TEST(OgawaArchive, OpenRefusesEachBadHeaderWithItsCode) {
    struct Case {
        Bytes contents;
        int code;
    };
    Bytes wrong_magic = header_prefix(16);
    wrong_magic[4] = 'b';
    Bytes not_frozen = header_prefix(16);
    not_frozen[5] = 0x00;
    const Case cases[] = {
        {header_prefix(0), -1},  {header_prefix(4), -1},  {wrong_magic, -2},       {header_prefix(5), -3},
        {not_frozen, -3},        {header_prefix(6), -4},  {header_prefix(7), -4},  {header_prefix(8), -5},
        {header_prefix(15), -5}, {header_prefix(16), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents.size());
        OpenedArchive opened(c.contents);
        EXPECT_EQ(opened.rc, c.code);
        EXPECT_EQ(opened.archive.file == nullptr, c.code != 0);
        EXPECT_STREQ(opened.archive.path, opened.path.c_str());
    }
    OpenedArchive kept(header_prefix(16));
    ASSERT_EQ(kept.rc, 0);
    EXPECT_EQ(kept.archive.version_major, 0);
    EXPECT_EQ(kept.archive.version_minor, 1);
    EXPECT_EQ(kept.archive.start_time, 0.0);
    EXPECT_EQ(kept.archive.end_time, 1.0);
    EXPECT_EQ(kept.archive.fps, 24.0);
}

TEST(OgawaArchive, OpenRejectsNullsAndUnopenablePaths) {
    ogawa_archive_t archive;
    std::memset(&archive, 0x5A, sizeof archive);
    EXPECT_EQ(ogawa_open(nullptr, &archive), -1);
    EXPECT_EQ(archive.version_major, 0x5A);  // untouched
    EXPECT_EQ(ogawa_open("x.abc", nullptr), -1);

    zel_test::TempDir dir;
    EXPECT_EQ(ogawa_open(dir.file("missing/x.abc").c_str(), &archive), -1);
    EXPECT_EQ(archive.file, nullptr);
    EXPECT_EQ(ogawa_open(dir.path().string().c_str(), &archive), -1);  // a directory
    EXPECT_EQ(archive.file, nullptr);
    ogawa_close(&archive);
}

TEST(OgawaArchive, ReportIsExactAndBoundedByTheBuffer) {
    OpenedArchive opened(header_prefix(16));
    ASSERT_EQ(opened.rc, 0);
    const std::string full = expected_report(opened.path, 0, 1, 0, 0);
    EXPECT_EQ(report_of(opened.archive), full);
    EXPECT_EQ(report_of(opened.archive, 1), "");
    EXPECT_EQ(report_of(opened.archive, 20), full.substr(0, 19));
    EXPECT_EQ(report_of(opened.archive, static_cast<int>(full.size()) + 1), full);
    EXPECT_EQ(report_of(opened.archive, static_cast<int>(full.size())), full.substr(0, full.size() - 1));

    char untouched[4] = {'a', 'b', 'c', '\0'};
    ogawa_get_info(&opened.archive, untouched, 0);
    ogawa_get_info(&opened.archive, untouched, -5);
    ogawa_get_info(nullptr, untouched, 4);
    EXPECT_STREQ(untouched, "abc");
    ogawa_get_info(&opened.archive, nullptr, 4);

    // Counts the host filled appear in the report; close releases the objects.
    auto** objects = static_cast<ogawa_object_t**>(std::calloc(2, sizeof(ogawa_object_t*)));
    objects[0] = static_cast<ogawa_object_t*>(std::calloc(1, sizeof(ogawa_object_t)));
    objects[1] = static_cast<ogawa_object_t*>(std::calloc(1, sizeof(ogawa_object_t)));
    opened.archive.objects = objects;
    opened.archive.object_count = 2;
    opened.archive.version_major = 255;
    EXPECT_EQ(report_of(opened.archive), expected_report(opened.path, 255, 1, 2, 0));
}

// Paths longer than the record's field open in full; the record and the
// report keep their first 1023 characters.
TEST(OgawaArchive, LongPathIsOpenedInFullAndKeptCut) {
    zel_test::TempDir dir;
    std::filesystem::path deep = dir.path();
    while (deep.string().size() < 1100) deep /= std::string(200, 'd');
    std::string file_path = (deep / "archive.abc").string();
#ifdef _WIN32
    file_path = "\\\\?\\" + std::filesystem::absolute(file_path).string();
#endif
    std::filesystem::create_directories(std::filesystem::path(file_path).parent_path());
    zel_test::write_file(file_path, header_prefix(16));
    ogawa_archive_t archive;
    ASSERT_EQ(ogawa_open(file_path.c_str(), &archive), 0);
    EXPECT_EQ(std::string(archive.path), file_path.substr(0, 1023));
    EXPECT_EQ(report_of(archive), expected_report(file_path.substr(0, 1023), 0, 1, 0, 0));
    ogawa_close(&archive);
}

TEST(OgawaArchive, CloseClearsTheRecordWhichOpensAgain) {
    OpenedArchive opened(header_prefix(16));
    ASSERT_EQ(opened.rc, 0);
    ogawa_close(&opened.archive);
    const auto* raw = reinterpret_cast<const unsigned char*>(&opened.archive);
    for (std::size_t i = 0; i < sizeof opened.archive; ++i) ASSERT_EQ(raw[i], 0) << i;
    ogawa_close(&opened.archive);
    ogawa_close(nullptr);
    ASSERT_EQ(ogawa_open(opened.path.c_str(), &opened.archive), 0);
    EXPECT_NE(opened.archive.file, nullptr);
}

TEST(OgawaArchive, SchemaNames) {
    EXPECT_EQ(ogawa_schema_from_string(nullptr), OGAWA_SCHEMA_UNKNOWN);
    EXPECT_EQ(ogawa_schema_from_string("AbcGeom_Xform_v3 AbcGeom_PolyMesh_v1"), OGAWA_SCHEMA_POLYMESH);
    EXPECT_EQ(ogawa_schema_from_string("xform"), OGAWA_SCHEMA_UNKNOWN);
    EXPECT_EQ(ogawa_schema_from_string("AbcGeom_SubD_v1"), OGAWA_SCHEMA_SUBD);
    EXPECT_EQ(ogawa_schema_from_string("Points Xform"), OGAWA_SCHEMA_POINTS);
    EXPECT_EQ(ogawa_schema_from_string("Curves and Camera"), OGAWA_SCHEMA_CURVES);
    EXPECT_EQ(ogawa_schema_from_string("AbcGeom_Curve_v2"), OGAWA_SCHEMA_CURVES);  // as writers write it
    EXPECT_EQ(ogawa_schema_from_string("AbcGeom_FaceSet_v1"), OGAWA_SCHEMA_UNKNOWN);
    EXPECT_EQ(ogawa_schema_from_string("a Camera"), OGAWA_SCHEMA_CAMERA);
    EXPECT_EQ(ogawa_schema_from_string("Xform"), OGAWA_SCHEMA_XFORM);
    EXPECT_EQ(ogawa_schema_from_string(""), OGAWA_SCHEMA_UNKNOWN);
    const char* names[] = {"Unknown", "Xform",   "PolyMesh", "SubD",   "Points",
                           "Curves",  "Unknown", "Unknown",  "Camera", "Unknown"};
    for (uint32_t s = 0; s < 10; ++s) {
        EXPECT_STREQ(ogawa_schema_to_string(s), names[s]) << s;
        if (s != 0 && std::strcmp(names[s], "Unknown") != 0) {
            EXPECT_EQ(ogawa_schema_from_string(names[s]), s);
        }
    }
    EXPECT_STREQ(ogawa_schema_to_string(100), "Unknown");
    EXPECT_STREQ(ogawa_schema_to_string(0xFFFFFFFFu), "Unknown");
}

// The sanitizer build turns anything released twice or not at all into a
// failure.
TEST(OgawaArchive, FreeObjectReleasesTheWholeTree) {
    auto heap_object = [] { return static_cast<ogawa_object_t*>(std::calloc(1, sizeof(ogawa_object_t))); };
    ogawa_object_t* root = heap_object();
    root->polymesh = static_cast<ogawa_polymesh_t*>(std::calloc(1, sizeof(ogawa_polymesh_t)));
    root->polymesh->positions = static_cast<float*>(std::malloc(36));
    root->polymesh->position_count = 3;
    root->aux_record = static_cast<ogawa_aux_record_t*>(std::calloc(1, sizeof(ogawa_aux_record_t)));
    root->aux_record->data = std::malloc(64);
    root->children = static_cast<ogawa_object_t**>(std::calloc(2, sizeof(ogawa_object_t*)));
    root->child_count = 2;
    root->children[0] = heap_object();
    root->children[1] = heap_object();
    root->children[1]->aux_record = static_cast<ogawa_aux_record_t*>(std::calloc(1, sizeof(ogawa_aux_record_t)));
    root->children[1]->children = static_cast<ogawa_object_t**>(std::calloc(1, sizeof(ogawa_object_t*)));
    root->children[1]->child_count = 1;
    root->children[1]->children[0] = heap_object();
    ogawa_free_object(root);
    ogawa_free_object(nullptr);
}

}  // namespace
