#!/usr/bin/env bash
# Mutation run: applies realistic faults one at a time (fixed seed) and counts those the tests
# catch. Options: --seed N --count N --timeout S --report FILE --list (see scripts/mutation.py).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" >/dev/null
if ! command -v python3 >/dev/null; then
  sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends python3
fi
exec python3 "$root/scripts/mutation.py" "$@"
