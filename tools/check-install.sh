#!/usr/bin/env bash
# Installs a release build into a scratch prefix and builds a tiny host against it twice:
# through find_package(memlist) and through pkg-config. Then runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(mktemp -d /tmp/memlist-prefix-XXXXXX)
work=$(mktemp -d /tmp/memlist-host-XXXXXX)
trap 'rm -rf "$prefix" "$work"' EXIT
cmake --preset release >/dev/null
cmake --build --preset release
cmake --install build/release --prefix "$prefix" >/dev/null
bash tools/check-runpath.sh build/release/out "$prefix"
# The path service under its versioned name only: a bare libDirkeeper.so is the suite's own.
libdir=$(dirname "$(find "$prefix" -name libmemlist.so.1)")
test -f "$libdir/libDirkeeper.so.1"
test ! -e "$libdir/libDirkeeper.so"
cmake -S tests/install -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
store=$(mktemp -d /tmp/memlist-store-XXXXXX)
QLX_PATH_D_TEMP="$store" "$work/cmake/host"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig" \
  g++ -o "$work/host-pc" tests/install/host.cpp $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig" pkg-config --cflags --libs memlist) \
  -Wl,-rpath,"$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig" pkg-config --variable=libdir memlist)"
QLX_PATH_D_TEMP="$store" "$work/host-pc"
rm -rf "$store"
echo "install check: passed"
