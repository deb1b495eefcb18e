#!/bin/sh
# The demo host walks the road on the bundled archive (exit 0, with each
# report), reads the real first mesh of every archive in the data folder, and
# refuses a file it cannot read with a message and exit 1.
set -u
demo="$1"
data="$2"
out=$("$demo") || { echo "the demo failed on the bundled archive"; exit 1; }
for want in "Ogawa Archive" "Mesh: 2009 vertices, 2153 faces" "Total Tokens: 2009" "Unit: 2009 tokens" \
            "tokens nearest to key" "Mesh cache: 2009 vertices, 3840 triangles"; do
  case "$out" in
    *"$want"*) ;;
    *) echo "the demo's output lacks \"$want\""; exit 1 ;;
  esac
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The first mesh of each archive as its writer recorded it.
while read -r name counts; do
  out=$("$demo" "$data/$name.abc" "$scratch") || { echo "the demo failed on $name.abc"; exit 1; }
  case "$out" in
    *"Mesh: $counts"*) ;;
    *) echo "the demo read another first mesh of $name.abc than \"$counts\""; exit 1 ;;
  esac
done <<'TABLE'
acyclic_times 25 vertices, 24 faces, 80 face indices, 0 normals
animated 1024 vertices, 961 faces, 3844 face indices, 0 normals
blender_cube 8 vertices, 6 faces, 24 face indices, 24 normals
cube 8 vertices, 6 faces, 24 face indices, 24 normals
deform_ngons 1998 vertices, 400 faces, 2397 face indices, 2397 normals
dup_instances 30 vertices, 20 faces, 80 face indices, 0 normals
grid_tri 2500 vertices, 4802 faces, 14406 face indices, 2500 normals
pentagons 2009 vertices, 2153 faces, 8146 face indices, 8146 normals
scene_mixed 8 vertices, 6 faces, 24 face indices, 24 normals
tiny 3 vertices, 1 faces, 3 face indices, 0 normals
TABLE
err=$("$demo" /nonexistent/archive.abc 2>&1 >/dev/null)
rc=$?
[ "$rc" -eq 1 ] || { echo "an unreadable archive gave exit status $rc"; exit 1; }
case "$err" in
  *"ogawa_open"*) ;;
  *) echo "an unreadable archive gave no message: $err"; exit 1 ;;
esac
echo "the demo walked the road, read the first mesh of every archive and refused the unreadable one"
