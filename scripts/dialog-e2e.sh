#!/usr/bin/env bash
# End-to-end check of the installed dialog on a real X server (Xvfb, driven with xdotool): the
# program, installed with cmake --install into a scratch prefix, is started on a unit big enough
# to keep an import busy; 开始导入 is pressed, and then, one run each:
#   cancel       取消, answered 是 (the key y, the shortcut of Qt's Chinese 是(&Y)): status 0
#   windowclose  the window destroyed under the import (a crashing window manager)
#   windowkill   the display connection killed (a desktop that logs out): Qt exits with 1
# Each run must end by itself within seconds and not by a signal, and the library must hold no
# entry afterwards. Prints the time from the last action to the end of the process.
#
# Usage: scripts/dialog-e2e.sh BUILD_DIR [LITERATURE_COUNT [SCENARIO...]]
# E2E_WAIT: seconds from the unit's backup to the action (1.5 by default).
# Needs xvfb, xauth and xdotool (scripts/test.sh installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
literature=${2:-300}
shift $(( $# >= 2 ? 2 : 1 ))
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(cancel windowclose windowkill)

source "$root/scripts/scratch-home.sh"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
"$build/tests/make_sample_unit" "$work/pristine" 13 "$literature" >/dev/null
# Signed in as "demo" (stored scrambled: each character moved up by its position + 3), with the
# sync folder inside the scratch folder.
mkdir -p "$XDG_CONFIG_HOME/Orvane/Vexa Arbora" "$XDG_DATA_HOME/Orvane/Vexa Arbora"
printf '[SyncroSet]\nSyncroName=giru\n' >"$XDG_CONFIG_HOME/Orvane/Vexa Arbora/registry.ini"
printf '[SyncroSet]\nSyncPath=%s/sync/\n' "$work" >"$XDG_DATA_HOME/Orvane/Vexa Arbora/SyncroSet.ini"
export work E2E_WAIT=${E2E_WAIT:-1.5}

xvfb-run -a -n 91 -s "-screen 0 1024x768x24 -nolisten tcp" bash -s -- "${scenarios[@]}" <<'DRIVER'
set -euo pipefail
prefix="$work/prefix"
pid=
# A program left running would keep the X server (and xvfb-run) from ending.
trap '[ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true' EXIT
fail() { echo "dialog-e2e: $*" >&2; exit 1; }
now() { date +%s.%N; }
# Waits up to $2 seconds for process $1 to end; its status in $status.
wait_end() {
  local deadline=$(( SECONDS + $2 ))
  while kill -0 "$1" 2>/dev/null; do
    if (( SECONDS >= deadline )); then
      kill -9 "$1"; wait "$1" || true
      fail "the program was still running $2 s later"
    fi
    sleep 0.05
  done
  status=0; wait "$1" || status=$?
}
# Clicks at a point of the dialog given in its own dialog units (320 x 200 in all).
click() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --window "$window" $(( WIDTH * $1 / 320 )) $(( HEIGHT * $2 / 200 )) click 1
}

for scenario in "$@"; do
  rm -rf "$work/units" "$work/sync"
  cp -r "$work/pristine" "$work/units"
  unit="$work/units/sample.tav"
  "$prefix/bin/arbora-data-update" "%3CImportTav+path%3D%22${unit}%22%2F%3E" 2>"$work/stderr" &
  pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^学习单元导入$' | head -n 1) ||
    fail "$scenario: no dialog window"
  click 288 102                                   # 开始导入
  # The import runs once the unit's backup is written; let it get into the upgrade.
  for _ in $(seq 100); do [ -d "$work/units/sample_contents/TavBackup" ] && break; sleep 0.1; done
  [ -d "$work/units/sample_contents/TavBackup" ] || fail "$scenario: the import did not start"
  sleep "$E2E_WAIT"
  # Whether the run is in the import already: its entry is in the library, still incomplete.
  phase=upgrade
  "$prefix/bin/tavtool" library list --account demo --sync-dir "$work/sync" 2>/dev/null | grep -q . && phase=import
  case "$scenario" in
    cancel)
      click 288 186                               # 取消
      question=$(timeout 30 xdotool search --sync --onlyvisible --name '^提示$' | head -n 1) ||
        fail "$scenario: no cancel question"
      xdotool windowfocus --sync "$question" 2>/dev/null || true
      start=$(now)
      xdotool key --clearmodifiers y              # 是(&Y)
      expected=0 ;;
    windowclose)
      start=$(now); xdotool windowclose "$window"; expected=any ;;
    windowkill)
      start=$(now); xdotool windowkill "$window"; expected=any ;;
    *) fail "unknown scenario $scenario" ;;
  esac
  wait_end "$pid" 30
  seconds=$(awk -v end="$(now)" -v start="$start" 'BEGIN { print end - start }')
  (( status < 128 )) || fail "$scenario: ended by signal $(( status - 128 ))"
  [ "$expected" = any ] || [ "$status" = "$expected" ] || fail "$scenario: exit status $status"
  entries=$("$prefix/bin/tavtool" library list --account demo --sync-dir "$work/sync" 2>/dev/null || true)
  [ -z "$entries" ] || fail "$scenario: the library keeps an entry: $entries"
  printf 'dialog-e2e: %-11s (in the %s) ended %.2f s after the action, exit status %s, library empty\n' \
    "$scenario" "$phase" "$seconds" "$status"
  sed 's/^/  stderr: /' "$work/stderr"
done
DRIVER
