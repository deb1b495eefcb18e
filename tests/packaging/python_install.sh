#!/bin/sh
# The Python package installs with pip into a fresh virtual environment, from
# Debian's packages alone (no index is asked), and the installed module reads
# an archive through the built library.
#   python_install.sh PYTHON PACKAGE_FOLDER LIBRARY ARCHIVE
set -eu
python="$1"; package="$2"; library=$(realpath "$3"); archive=$(realpath "$4")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A copy: the build writes its own folders beside the sources.
cp -r "$package" "$scratch/source"
"$python" -m venv --system-site-packages "$scratch/env"
"$scratch/env/bin/pip" install --quiet --no-index --no-build-isolation "$scratch/source"
cd "$scratch"
ZELSET_LIBRARY="$library" "$scratch/env/bin/python" - "$archive" "$scratch/env" <<'PY'
import sys
import zelset
assert zelset.__file__.startswith(sys.argv[2]), zelset.__file__
with zelset.Archive(sys.argv[1]) as archive:
    mesh = archive.mesh()
    assert archive.described and len(mesh.face_indices) > 0, mesh
print("installed", zelset.__file__, "and read", mesh.path)
PY
