#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and a short run of the fuzz targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/install-deps.sh --test-tools

echo "== build and test"
scripts/build.sh "$root/out/build"
ctest --test-dir "$root/out/build" -j2 --output-on-failure --timeout 600

echo "== the installed dialog on a real X server: cancel, window destroyed, display lost"
scripts/dialog-e2e.sh "$root/out/build"

echo "== the Debian package, checked by lintian"
rm -f "$root"/out/build/*.deb
(cd "$root/out/build" && cpack -G DEB >/dev/null)
lintian --fail-on error,warning "$root"/out/build/arbora-data-update_*.deb

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
BUILD_TYPE=Debug scripts/build.sh "$root/out/build-asan" -DARBORA_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/out/build-asan" -j2 --output-on-failure --timeout 900

echo "== fuzz targets (short run)"
scripts/fuzz.sh 15
echo "== all tests passed"
