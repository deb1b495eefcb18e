#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "alembic_fixtures.h"
#include "oracles/alembic_oracles.h"
#include "support/alloc_failure.h"
#include "zel_alembic.h"
#include "zel_alembic/archive_internal.h"
#include "zelset/integer_roots.h"

namespace {

using zel_test::Archive;
using zel_test::RawMesh;

// A processed mesh whose vertex records carry the given Morton codes (the
// positions are irrelevant to the queries).
zel_alembic_mesh_t mesh_with_keys(const std::vector<uint64_t>& keys, uint8_t layer = 1) {
    RawMesh raw;
    raw.positions.assign(3 * keys.size(), 0.0f);
    zel_alembic_mesh_t m;
    EXPECT_EQ(zel_test::load_raw(raw, &m), 0);
    for (size_t i = 0; i < keys.size(); ++i) {
        m.vertices[i].morton = keys[i];
        m.tokens[i].token.morton = keys[i];
        m.tokens[i].token.layer = layer;
    }
    return m;
}

// Results carry the distance as a float; the oracle's roots are compared after
// the same conversion.
std::vector<zel_oracle::Nearest> as_float_distances(std::vector<zel_oracle::Nearest> list) {
    for (zel_oracle::Nearest& n : list) n.distance = static_cast<uint64_t>(static_cast<float>(n.distance));
    return list;
}

std::vector<zel_oracle::Nearest> as_nearest(const std::vector<zel_alembic_result_t>& results, int n) {
    std::vector<zel_oracle::Nearest> out;
    for (int i = 0; i < n; ++i) {
        const zel_alembic_result_t& r = results[static_cast<size_t>(i)];
        out.push_back({r.mesh_index, r.vertex_index, static_cast<uint64_t>(r.distance)});
    }
    return out;
}

TEST(AlembicHashTable, BuildRefusesAndRebuilds) {
    EXPECT_EQ(zel_alembic_build_hash_table(nullptr), -1);
    Archive none;
    EXPECT_EQ(zel_alembic_build_hash_table(none.get()), -1);

    Archive a;
    a.add_mesh_record(mesh_with_keys({5, 6}));
    a.add_mesh_record(mesh_with_keys({7}));
    ASSERT_EQ(zel_alembic_build_hash_table(a.get()), 0);
    EXPECT_EQ(a->total_vertices, 3u);
    EXPECT_EQ(a->total_tokens, 3u);
    EXPECT_EQ(a->hash_size, ZEL_ALEMBIC_HASH_SIZE);
    EXPECT_EQ(a->hash_table[5], 0u);
    EXPECT_EQ(a->hash_table[7], 2u);
    // Building again replaces the table (the sanitizer build sees any leak).
    ASSERT_EQ(zel_alembic_build_hash_table(a.get()), 0);
    EXPECT_EQ(a->hash_table[6], 1u);

    zel_alembic_result_t r;
    // The index's two working arrays, the block of table and index, the
    // probe's links.
    for (uint64_t nth : {1u, 2u, 3u, 4u}) {
        zel_test::FailNthAllocation guard(nth);
        EXPECT_EQ(zel_alembic_build_hash_table(a.get()), -4);
        EXPECT_TRUE(guard.fired());
        EXPECT_EQ(a->hash_table, nullptr);
        EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 5, &r), -1);
    }
}

TEST(AlembicHashTable, SameSlotsAsLiteralLinearProbing) {
    std::mt19937_64 rng(5);
    for (int round = 0; round < 6; ++round) {
        Archive a;
        for (int m = 0; m < 3; ++m) {
            if (m == 1 && round % 2) {
                a.add_mesh_record(zel_test::hollow_mesh(50));
                continue;
            }
            // Few distinct keys, many copies: long runs that merge, and keys
            // whose home is the last slot wrap around to slot 0.
            std::vector<uint64_t> keys(2000);
            for (uint64_t& k : keys) {
                switch (rng() % 4) {
                    case 0: k = 0x7FFFFF - rng() % 3; break;
                    case 1: k = rng() % 40; break;
                    case 2: k = (rng() % 5) << 32 | 0x7FFFF0; break;  // same homes, other keys
                    default: k = rng(); break;
                }
            }
            a.add_mesh_record(mesh_with_keys(keys));
        }
        ASSERT_EQ(zel_alembic_build_hash_table(a.get()), 0);
        std::vector<uint32_t> literal = zel_oracle::linear_probe_table(*a);
        ASSERT_TRUE(std::equal(literal.begin(), literal.end(), a->hash_table)) << round;
    }
}

TEST(AlembicHashTable, AtMostOneVertexPerSlot) {
    // Vertex counts without records: they count, but nothing is inserted.
    Archive full;
    full.add_mesh_record(zel_test::hollow_mesh(ZEL_ALEMBIC_HASH_SIZE));
    ASSERT_EQ(zel_alembic_build_hash_table(full.get()), 0);
    EXPECT_EQ(full->total_vertices, ZEL_ALEMBIC_HASH_SIZE);
    EXPECT_EQ(full->hash_table[0], ZEL_ALEMBIC_EMPTY_SLOT);

    Archive over;
    over.add_mesh_record(mesh_with_keys({1, 2}));
    over.add_mesh_record(zel_test::hollow_mesh(ZEL_ALEMBIC_HASH_SIZE - 2));
    ASSERT_EQ(zel_alembic_build_hash_table(over.get()), 0);
    EXPECT_NE(over->hash_table, nullptr);
    over->meshes[1].vertex_count = ZEL_ALEMBIC_HASH_SIZE - 1;  // one more than the table holds
    EXPECT_EQ(zel_alembic_build_hash_table(over.get()), -4);
    EXPECT_EQ(over->total_vertices, ZEL_ALEMBIC_HASH_SIZE + 1ull);
    EXPECT_EQ(over->hash_table, nullptr);  // the old table went first
}

TEST(AlembicLookupMorton, FindsTheLowestGlobalIndexOfAKey) {
    Archive a;
    a.add_mesh_record(mesh_with_keys({40, 41, 42}));
    a.add_mesh_record(zel_test::hollow_mesh(2));  // no records: numbered, not indexed
    a.add_mesh_record(mesh_with_keys({42, 50, 0x0000000100000001ull, 0}));
    ASSERT_EQ(zel_alembic_build_hash_table(a.get()), 0);
    zel_alembic_result_t r;
    std::memset(&r, 0xCC, sizeof r);
    ASSERT_EQ(zel_alembic_lookup_morton(a.get(), 42, &r), 0);
    EXPECT_EQ(r.mesh_index, 0u);
    EXPECT_EQ(r.vertex_index, 2u);
    EXPECT_EQ(r.frame_index, 0u);
    EXPECT_EQ(r.vertex, &a->meshes[0].vertices[2]);
    EXPECT_EQ(r.token, &a->meshes[0].tokens[2]);
    EXPECT_EQ(r.distance, 0.0f);
    EXPECT_EQ(a->hash_table[43], 5u);  // the second 42 probed on; global 3, 4 skipped

    ASSERT_EQ(zel_alembic_lookup_morton(a.get(), 50, &r), 0);
    EXPECT_EQ(r.mesh_index, 2u);
    EXPECT_EQ(r.vertex_index, 1u);
    // Two keys of one home slot (0): each is found behind the other.
    ASSERT_EQ(zel_alembic_lookup_morton(a.get(), 0, &r), 0);
    EXPECT_EQ(r.vertex_index, 3u);
    ASSERT_EQ(zel_alembic_lookup_morton(a.get(), 0x0000000100000001ull, &r), 0);
    EXPECT_EQ(r.vertex_index, 2u);

    EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 44, &r), -1);
    EXPECT_EQ(zel_alembic_lookup_morton(nullptr, 42, &r), -1);
    EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 42, nullptr), -1);
    a->hash_size = 1024;  // a table this code did not build
    EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 42, &r), -1);
}

TEST(AlembicLookupMorton, HostileTablesEndTheProbe) {
    Archive a;
    a.add_mesh_record(mesh_with_keys({7}));
    ASSERT_EQ(zel_alembic_build_hash_table(a.get()), 0);
    zel_alembic_result_t r;
    // Indices past every mesh, or into a mesh that lost its records, are
    // mismatches; a table with no empty slot ends after one full round.
    for (uint32_t i = 0; i < ZEL_ALEMBIC_HASH_SIZE; ++i) a->hash_table[i] = 1000 + (i & 1);
    a->hash_table[9] = 0;
    EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 7, &r), 0);
    EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 8, &r), -1);
    std::free(a->meshes[0].tokens);
    a->meshes[0].tokens = nullptr;
    EXPECT_EQ(zel_alembic_lookup_morton(a.get(), 7, &r), -1);
}

TEST(AlembicLookupFrameVertex, BaseMeshesAndFrames) {
    Archive a;
    a.add_mesh_record(mesh_with_keys({1, 2, 3}));
    a.add_mesh_record(zel_test::hollow_mesh(4));
    zel_alembic_result_t r;
    ASSERT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 7, 0, 2, &r), 0);  // no frames: any number
    EXPECT_EQ(r.vertex, &a->meshes[0].vertices[2]);
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 0, 0, 3, &r), -1);
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 0, 2, 0, &r), -1);
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 0, 1, 0, &r), -1);  // holds no records
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(nullptr, 0, 0, 0, &r), -1);
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 0, 0, 0, nullptr), -1);

    a.add_frame(0, 0.0f, {{1, 1, 1}});
    a.add_frame(-3, 1.0f, {{1, 1, 1}, {1, 1, 1, 2, 2, 2}});
    a.add_frame(-3, 2.0f, {{1, 1, 1, 2, 2, 2, 3, 3, 3}});
    // Frame number 0 addresses the base meshes even though frame 0 exists.
    ASSERT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 0, 0, 2, &r), 0);
    EXPECT_EQ(r.frame_index, 0u);
    EXPECT_NE(r.vertex, nullptr);
    // The first frame of a number; numbers compare as signed.
    ASSERT_EQ(zel_alembic_lookup_frame_vertex(a.get(), -3, 1, 1, &r), 0);
    EXPECT_EQ(r.frame_index, 1u);
    EXPECT_EQ(r.mesh_index, 1u);
    EXPECT_EQ(r.vertex_index, 1u);
    EXPECT_EQ(r.vertex, nullptr);
    EXPECT_EQ(r.token, nullptr);
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), -3, 0, 2, &r), -1);  // not searched further
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), -3, 2, 0, &r), -1);
    EXPECT_EQ(zel_alembic_lookup_frame_vertex(a.get(), 5, 0, 0, &r), -1);
}

TEST(AlembicQueryNearest, DistancesTiesAndLimits) {
    Archive a;
    a.add_mesh_record(mesh_with_keys({100, 101, 102, 103, 104}));
    a.add_mesh_record(zel_test::hollow_mesh(9));
    a.add_mesh_record(mesh_with_keys({115, 100, 0xFFFFFFFFFFFFFFFFull}));
    std::vector<zel_alembic_result_t> r(10);
    // Differences 0 1 2 3 4 give roots 0 1 1 1 2; 15 gives 3; equal roots keep
    // scan order.
    ASSERT_EQ(zel_alembic_query_nearest(a.get(), 100, 6, r.data()), 6);
    const uint32_t mesh[] = {0, 2, 0, 0, 0, 0};
    const uint32_t vertex[] = {0, 1, 1, 2, 3, 4};
    const float distance[] = {0, 0, 1, 1, 1, 2};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(r[i].mesh_index, mesh[i]) << i;
        EXPECT_EQ(r[i].vertex_index, vertex[i]) << i;
        EXPECT_EQ(r[i].distance, distance[i]) << i;
        EXPECT_EQ(r[i].vertex, &a->meshes[mesh[i]].vertices[vertex[i]]);
        EXPECT_EQ(r[i].token, &a->meshes[mesh[i]].tokens[vertex[i]]);
    }
    // k above the vertex count yields every vertex; 2^64 - 1 away from key 0
    // the root is 4,294,967,295 (4294967296 as a float).
    ASSERT_EQ(zel_alembic_query_nearest(a.get(), 0, 1000000000, r.data()), 8);
    EXPECT_EQ(r[7].vertex_index, 2u);
    EXPECT_EQ(r[7].distance, 4294967296.0f);
    EXPECT_EQ(r[6].distance, 10.0f);  // root of 115

    r[0].mesh_index = 77;
    EXPECT_EQ(zel_alembic_query_nearest(a.get(), 100, 0, r.data()), 0);
    EXPECT_EQ(zel_alembic_query_nearest(a.get(), 100, -1, r.data()), 0);
    EXPECT_EQ(zel_alembic_query_nearest(a.get(), 100, 1, nullptr), 0);
    EXPECT_EQ(zel_alembic_query_nearest(nullptr, 100, 1, r.data()), 0);
    EXPECT_EQ(r[0].mesh_index, 77u);
    {
        zel_test::FailNthAllocation guard(1);
        EXPECT_EQ(zel_alembic_query_nearest(a.get(), 100, 1, r.data()), 0);
        EXPECT_TRUE(guard.fired());
    }
    Archive hollow;
    hollow.add_mesh_record(zel_test::hollow_mesh(5));
    EXPECT_EQ(zel_alembic_query_nearest(hollow.get(), 1, 3, r.data()), 0);
}

TEST(AlembicQueryNearest, ExactIntegerRoot) {
    std::vector<uint64_t> roots = {1, 2, 3, 1000, 65535, 65536, 3037000499ull, 4294967294ull, 4294967295ull};
    for (uint64_t r : roots) {
        EXPECT_EQ(zel::exact_integer_root(r * r), r);
        EXPECT_EQ(zel::exact_integer_root(r * r - 1), r - 1);
        if (r < 4294967295ull) {
            EXPECT_EQ(zel::exact_integer_root(r * r + 2 * r), r);  // (r + 1)^2 - 1
        }
    }
    EXPECT_EQ(zel::exact_integer_root(0), 0u);
    EXPECT_EQ(zel::exact_integer_root(~0ull), 4294967295ull);
    std::mt19937_64 rng(99);
    for (int i = 0; i < 100000; ++i) {
        uint64_t d = rng() >> (rng() % 64);
        ASSERT_EQ(zel::exact_integer_root(d), zel_oracle::newton_isqrt(d)) << d;
    }
}

// Keys that repeat within and across meshes: lattice codes, a narrow range,
// codes around the end of the index's direct table, and 64-bit keys.
std::vector<uint64_t> random_keys(std::mt19937_64& rng, size_t n) {
    const uint64_t lattice = 1u << 18;
    std::vector<uint64_t> keys(n);
    for (uint64_t& k : keys) {
        switch (rng() % 5) {
            case 0: k = rng() % lattice; break;
            case 1: k = 1000 + rng() % 40; break;
            case 2: k = lattice - 3 + rng() % 6; break;
            case 3: k = rng() % 2 ? ~0ull - rng() % 3 : rng() % 3; break;
            default: k = rng(); break;
        }
    }
    return keys;
}

// Random archives of several meshes, some without records. The nearest search
// without a table (the scan), with one (the index) and after a mesh lost its
// records (the index no longer describes it) against the literal scan; the
// lookup of every key and of absent ones against literal probing.
TEST(AlembicQueries, MatchTheLiteralOnesWithAndWithoutTheIndex) {
    std::mt19937_64 rng(4242);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        Archive a;
        std::vector<uint64_t> queries;
        const int meshes = 1 + round % 5;
        for (int m = 0; m < meshes; ++m) {
            if (m == 1) {
                a.add_mesh_record(zel_test::hollow_mesh(7));
                continue;
            }
            std::vector<uint64_t> keys = random_keys(rng, 1 + rng() % 400);
            for (uint64_t k : keys) queries.insert(queries.end(), {k, k - 1, k + 1});
            a.add_mesh_record(mesh_with_keys(keys));
        }
        std::vector<uint64_t> absent = random_keys(rng, 200);
        queries.insert(queries.end(), absent.begin(), absent.end());

        auto check_nearest = [&](const char* stage) {
            for (size_t q = 0; q < 40; ++q) {
                const uint64_t key = queries[rng() % queries.size()];
                for (int k : {1, 2, 16, 64, 2000}) {
                    std::vector<zel_alembic_result_t> r(static_cast<size_t>(k));
                    const int n = zel_alembic_query_nearest(a.get(), key, k, r.data());
                    ASSERT_EQ(as_nearest(r, n), as_float_distances(zel_oracle::nearest_scan(*a, key, k)))
                        << stage << " key " << key << " k " << k;
                    for (int i = 0; i < n; ++i) ASSERT_EQ(r[i].token, &a->meshes[r[i].mesh_index].tokens[r[i].vertex_index]);
                }
            }
        };
        auto check_lookups = [&](const char* stage) {
            for (uint64_t key : queries) {
                zel_alembic_result_t r;
                const auto [mesh, vertex] = zel_oracle::probe_lookup(*a, key);
                const int32_t rc = zel_alembic_lookup_morton(a.get(), key, &r);
                ASSERT_EQ(rc, mesh < 0 ? -1 : 0) << stage << " key " << key;
                if (rc == 0) {
                    ASSERT_EQ(r.mesh_index, mesh) << stage << " key " << key;
                    ASSERT_EQ(r.vertex_index, vertex) << stage << " key " << key;
                    ASSERT_EQ(r.vertex, &a->meshes[mesh].vertices[vertex]);
                }
            }
        };
        check_nearest("scan");
        ASSERT_EQ(zel_alembic_build_hash_table(a.get()), 0);
        check_nearest("index");
        check_lookups("index");
        std::free(a->meshes[0].tokens);
        a->meshes[0].tokens = nullptr;
        check_nearest("changed");
        check_lookups("changed");
    }
}

TEST(AlembicQueryLayer, SelectsByTokenLayerInScanOrder) {
    Archive a;
    a.add_mesh_record(mesh_with_keys({1, 2, 3}, 5));
    a.add_mesh_record(zel_test::hollow_mesh(4));
    a.add_mesh_record(mesh_with_keys({4, 5}, 5));
    a->meshes[0].tokens[1].token.layer = 6;
    a->meshes[0].vertices[0].k11_level = 6;  // the record's level plays no part
    std::vector<zel_alembic_result_t> r(8);
    ASSERT_EQ(zel_alembic_query_layer(a.get(), 5, r.data(), 8), 4);
    EXPECT_EQ(r[0].vertex_index, 0u);
    EXPECT_EQ(r[1].vertex_index, 2u);
    EXPECT_EQ(r[2].mesh_index, 2u);
    EXPECT_EQ(r[3].token, &a->meshes[2].tokens[1]);
    EXPECT_EQ(r[3].distance, 0.0f);
    ASSERT_EQ(zel_alembic_query_layer(a.get(), 6, r.data(), 8), 1);
    EXPECT_EQ(r[0].vertex_index, 1u);
    EXPECT_EQ(zel_alembic_query_layer(a.get(), 5, r.data(), 2), 2);
    EXPECT_EQ(zel_alembic_query_layer(a.get(), 5, r.data(), 0), 0);
    EXPECT_EQ(zel_alembic_query_layer(a.get(), 5, nullptr, 8), 0);
    EXPECT_EQ(zel_alembic_query_layer(nullptr, 5, r.data(), 8), 0);
    EXPECT_EQ(zel_alembic_query_layer(a.get(), 9, r.data(), 8), 0);
}

}  // namespace
