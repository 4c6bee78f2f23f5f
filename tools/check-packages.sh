#!/usr/bin/env bash
# Builds the Debian packages from the package build (release, prefix /usr), installs them (as root, on Debian 12),
# builds a tiny host against the installed files through find_package(memlist) and through
# pkg-config, runs both, runs memlist-inspect, and removes the packages again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset package >/dev/null
cmake --build --preset package
(cd build/package && rm -f ./*.deb && cpack -G DEB)
debs=(build/package/libmemlist1_*.deb build/package/libmemlist-dev_*.deb
      build/package/memlist-tools_*.deb)
for d in "${debs[@]}"; do
  echo "== $d"
  dpkg-deb --field "$d" Package Depends
  dpkg-deb --contents "$d" | awk '{print "   " $6 " " $7 " " $8}'
done
work=$(mktemp -d /tmp/memlist-pkg-XXXXXX)
store=$(mktemp -d /tmp/memlist-store-XXXXXX)
cleanup() {
  dpkg -P memlist-tools libmemlist-dev libmemlist1 >/dev/null 2>&1 || true
  rm -rf "$work" "$store"
}
trap cleanup EXIT
dpkg -i "${debs[@]}"
cmake -S tests/install -B "$work/cmake" -G Ninja >/dev/null
cmake --build "$work/cmake" >/dev/null
QLX_PATH_D_TEMP="$store" "$work/cmake/host"
rm -rf "${store:?}"/*
g++ -o "$work/host-pc" tests/install/host.cpp $(pkg-config --cflags --libs memlist)
QLX_PATH_D_TEMP="$store" "$work/host-pc"
memlist-inspect check "$store"
test -f /usr/share/man/man1/memlist-inspect.1
# Libraries in the multiarch folder, where Debian's own libraries and the linker look.
libdir="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
test -f "$libdir/libmemlist.so.1"
# The path service under its versioned name only: a bare libDirkeeper.so is the suite's own.
test -f "$libdir/libDirkeeper.so.1"
if dpkg -L libmemlist1 | grep -q '/libDirkeeper\.so$'; then
  echo "libmemlist1 ships a bare libDirkeeper.so"
  exit 1
fi
echo "package check: passed"
