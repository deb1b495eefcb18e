#!/bin/sh
# The demo host walks the road on the bundled archive (exit 0, with each
# report), and refuses a file it cannot read with a message and exit 1.
set -u
demo="$1"
out=$("$demo") || { echo "the demo failed on the bundled archive"; exit 1; }
for want in "Ogawa Archive" "Mesh: 2009 vertices, 2153 faces" "Total Tokens: 2009" "Unit: 2009 tokens" \
            "tokens nearest to key" "Mesh cache: 2009 vertices, 3840 triangles"; do
  case "$out" in
    *"$want"*) ;;
    *) echo "the demo's output lacks \"$want\""; exit 1 ;;
  esac
done
err=$("$demo" /nonexistent/archive.abc 2>&1 >/dev/null)
rc=$?
[ "$rc" -eq 1 ] || { echo "an unreadable archive gave exit status $rc"; exit 1; }
case "$err" in
  *"ogawa_open"*) ;;
  *) echo "an unreadable archive gave no message: $err"; exit 1 ;;
esac
echo "the demo walked the road and refused the unreadable archive"
