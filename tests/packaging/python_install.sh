#!/bin/sh
# The Python package installs with pip from the checkout into a fresh virtual
# environment, from Debian's packages alone (no index is asked, no variable
# set): pip builds the library and the zelset command with CMake and puts both
# in the package, which then reads and converts an archive kept outside the
# checkout. The checkout is left without a new file.
#   python_install.sh PYTHON CHECKOUT ARCHIVE
set -eu
python="$1"; checkout=$(realpath "$2"); archive=$(realpath "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset ZELSET_LIBRARY ZELSET_COMMAND PYTHONPATH
cp "$archive" "$scratch/scene.abc"
# What git sees in the package's folder beside the tracked files, ignored ones
# too (not the bytecode caches that the other Python tests write meanwhile).
untracked() {
  git -C "$checkout" status --porcelain --untracked-files=all --ignored -- bindings/python 2>/dev/null |
    grep -v __pycache__ || true
}
before=$(untracked)
"$python" -m venv --system-site-packages "$scratch/env"
"$scratch/env/bin/pip" install --quiet --no-index --no-build-isolation "$checkout/bindings/python"
[ "$(untracked)" = "$before" ] || { echo "the install left files in the checkout:"; untracked; exit 1; }
cd "$scratch"
"$scratch/env/bin/python" - "$scratch" <<'PY'
import os, sys
import zelset
package = os.path.dirname(zelset.__file__)
assert package.startswith(sys.argv[1] + "/env/"), package
assert zelset.default_library().path == os.path.join(package, os.path.basename(zelset.default_library().path))
with zelset.Archive("scene.abc") as archive:
    mesh = archive.mesh()
    assert archive.described and len(mesh.face_indices) > 0, mesh
converted = zelset.convert_many(["scene.abc", "missing.abc"], "out", "zelm")
assert converted[0].ok and os.path.getsize("out/scene.zelm") > 0, converted
assert not converted[1].ok and "missing.abc" in converted[1].error, converted
print("installed", package, "read", mesh.path, "and converted it")
PY
