#!/usr/bin/env bash
# Mutation run: applies realistic faults one at a time (fixed seed) and counts those the tests
# catch. Options: --seed N --count N --timeout S --report FILE --list (see scripts/mutation.py).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" >/dev/null
exec python3 "$root/scripts/mutation.py" "$@"
