// A terrain of side x side vertices in quads with a normal per vertex: the
// large mesh the reader's benchmarks read.
#pragma once

#include <vector>

#include "support/alembic_writer.h"

inline alembic_test::Scene terrain_scene(int side) {
    alembic_test::MeshSample grid;
    std::vector<float> normals;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            grid.positions.insert(grid.positions.end(), {float(x), 0.01f * float((x * y) % 97), float(y)});
            normals.insert(normals.end(), {0.0f, 1.0f, 0.0f});
        }
    }
    for (int y = 0; y + 1 < side; ++y) {
        for (int x = 0; x + 1 < side; ++x) {
            const int v = y * side + x;
            grid.face_counts.push_back(4);
            grid.face_indices.insert(grid.face_indices.end(), {v, v + side, v + side + 1, v + 1});
        }
    }
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("terrain", {grid}, 0, {{"N", 3, "vtx", {normals}, {}}}));
    return scene;
}
