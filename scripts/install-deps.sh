#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent; quick when all are present.
# Qt: libqt6gui6 carries the offscreen platform plugin the widget tests and screenshots use,
# libqt6svg6 the plugin that loads the dialog's SVG icon, qt6-translations-l10n Qt's own Chinese
# texts (standard buttons, file dialog); libxcb1-dev lets the dialog notice its X window vanish.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsqlcipher-dev sqlcipher libssl-dev
  libpugixml-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev libqt6test6 libqt6gui6 libqt6svg6 qt6-translations-l10n libxcb1-dev fonts-wqy-microhei
)
# --test-tools: what only the tests need, never the programs: the bibliography tools the export
# tests read our files back with (pandoc, biber, a second BibTeX parser), an X server and its
# driver for the dialog's end-to-end check, and Debian's package checker.
if [ "${1:-}" = "--test-tools" ]; then
  packages=(pandoc biber python3-bibtexparser xvfb xauth xdotool lintian)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
