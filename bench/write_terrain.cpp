// Writes the benchmarks' terrain of 1,000,000 vertices as an Alembic archive:
//   write_terrain OUT.abc
#include <cstdio>

#include "support/test_support.h"
#include "terrain.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_terrain OUT.abc\n");
        return 2;
    }
    zel_test::write_file(argv[1], alembic_test::write_archive(terrain_scene(1000)).bytes);
    return 0;
}
