#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-15}
dir="$root/out/build-fuzz"
CC=clang CXX=clang++ BUILD_TYPE=RelWithDebInfo JOBS=2 \
  cmake -S "$root" -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARBORA_FUZZ=ON -DARBORA_TESTS=OFF >/dev/null
targets=$(cd "$root/tests/fuzz" && ls *.cpp 2>/dev/null | sed 's/\.cpp$//' || true)
for target in $targets; do
  cmake --build "$dir" -j2 --target "fuzz_$target"
  corpus="$root/tests/fuzz/${target}_corpus"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
  "$dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 12
  rm -rf "$work"
done
