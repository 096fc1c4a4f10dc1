#!/usr/bin/env bash
# Sets up, builds and runs the main job on the bundled sample learning unit: a version-9,
# not yet encrypted unit with its companion folder. Everything happens in a scratch folder;
# HOME and the XDG folders point there, so the real home folder is never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh "$root/out/build"

source "$root/scripts/scratch-home.sh"
"$root/out/build/tests/make_sample_unit" "$work/units"
unit="$work/units/sample.tav"
tavtool="$root/out/build/tavtool"

echo "== before"
"$tavtool" inspect "$unit"
echo "== import"
"$tavtool" import "$unit" --account demo --sync-dir "$work/sync" --no-pause
echo "== the personal library of demo"
"$tavtool" library list --account demo --sync-dir "$work/sync"
entry=$("$tavtool" library list --account demo --sync-dir "$work/sync" | awk 'NR == 1 { print $1 }')
"$tavtool" library show "$entry" --account demo --sync-dir "$work/sync"
echo "== after"
"$tavtool" inspect "$unit"
echo "== backup"
find "$work/units" -name '*.back' -printf '%P\n'
