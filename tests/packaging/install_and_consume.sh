#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds and runs a tiny
# consumer project with find_package(zelset CONFIG) and checks the pkg-config
# files. Arguments: build directory, source directory.
set -euo pipefail
build="$1"
src="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$src/tests/packaging/consumer" -B "$scratch/consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer_full"
"$scratch/consumer/consumer_next"
# The installed command finds the installed library and reads a fixture.
"$scratch/prefix/bin/zelset" info "$src/tests/data/tiny.abc" | grep -q '^tri AbcGeom_PolyMesh_v1'
# The shared objects carry a SONAME with the major version.
objdump -p "$scratch"/prefix/lib*/libzelset.so | grep -q 'SONAME *libzelset.so.0'
export PKG_CONFIG_PATH="$(dirname "$(find "$scratch/prefix" -name zelset.pc)")"
cc $(pkg-config --cflags zelset_next) "$src/tests/packaging/consumer/consumer.c" \
   $(pkg-config --libs zelset_next) -o "$scratch/pc_consumer"
LD_LIBRARY_PATH="$(pkg-config --variable=libdir zelset_next)" "$scratch/pc_consumer"
