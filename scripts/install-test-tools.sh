#!/usr/bin/env bash
# Installs the bibliography tools the export tests read our files back with (tests only, never
# needed to run the tool): pandoc, biber and a second BibTeX parser. Quick when all are present.
set -euo pipefail

packages=(pandoc biber python3-bibtexparser)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-test-tools: all packages present"
  exit 0
fi

echo "install-test-tools: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
