#!/usr/bin/env bash
# Installs the Debian packages Gravelrun needs to build, run and test.
# Checks first; only touches apt when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libode-dev libpng-dev zlib1g-dev libsdl2-dev libgl-dev nettle-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
