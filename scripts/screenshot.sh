#!/usr/bin/env bash
# Renders the import dialog offscreen (no display needed) with Debian's WenQuanYi Micro Hei font:
# idle, and in the middle of importing the bundled sample unit. Writes docs/dialog-idle.png and
# docs/dialog-importing.png. HOME and the XDG folders point at a scratch folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh "$root/out/build"

source "$root/scripts/scratch-home.sh"
"$root/out/build/tests/make_sample_unit" "$work/units" >/dev/null
QT_QPA_PLATFORM=offscreen "$root/out/build/tests/dialog_screenshot" "$work/units/sample.tav" "$root/docs"
echo "screenshot: wrote docs/dialog-idle.png and docs/dialog-importing.png"
