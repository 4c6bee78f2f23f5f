#!/usr/bin/env bash
# Installs the Debian packages the project needs (run as root on Debian 12). Does nothing when
# everything is there already.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev libicu-dev libsqlite3-dev liblmdb-dev
  fonts-wqy-microhei
  clang libclang-rt-14-dev clang-format
  strace
  dpkg-dev file  # cpack -G DEB: dpkg-shlibdeps finds the packages' library dependencies
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
