#!/bin/sh
# Builds the release package of a build folder, unpacks it into a scratch root and builds a host
# against what it holds, as a host developer would; then runs that host.
#   install-smoke.sh deb <build> <source>                      find_package and pkg-config
#   install-smoke.sh zip <build> <source> <cc> <runner...>     MinGW against zentrolink.lib
set -eu
kind=$1 build=$2 src=$3
shift 3
scratch=$build/install-smoke
rm -rf "$scratch"
mkdir -p "$scratch/root" "$scratch/documents"
# The host's start-up writes its log and work folder here, not into the user's.
export XDG_DOCUMENTS_DIR="$scratch/documents" TMPDIR="$scratch"

cpack --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }

need() {
  for f in "$@"; do
    [ -e "$scratch/root/$f" ] || { echo "the package lacks $f" >&2; exit 1; }
  done
}

case $kind in
deb)
  deb=$(ls "$scratch"/pkg/zentrolink_*.deb)
  dpkg-deb --field "$deb" Package Version Depends
  dpkg -x "$deb" "$scratch/root"
  usr=$scratch/root/usr
  need usr/lib/libzentrolink.so.1 usr/lib/libzentrolink.so usr/include/zentrolink.h \
    usr/lib/cmake/zentrolink/zentrolinkConfig.cmake usr/lib/pkgconfig/zentrolink.pc usr/bin/zentro usr/lib/zentro/zentro-ui.so \
    usr/share/man/man1/zentro.1
  soname=$(objdump -p "$usr/lib/libzentrolink.so.1" | awk '$1 == "SONAME" { print $2 }')
  [ "$soname" = libzentrolink.so.1 ] || { echo "SONAME is '$soname'" >&2; exit 1; }
  grep -q '^\.TH ZENTRO 1' "$usr/share/man/man1/zentro.1" && grep -q 'devices' "$usr/share/man/man1/zentro.1" ||
    { echo "the man page lacks its title or the commands" >&2; exit 1; }

  cmake -S "$src/tests/release/host" -B "$scratch/find-package" -G Ninja -DCMAKE_PREFIX_PATH="$usr" >/dev/null
  cmake --build "$scratch/find-package" >/dev/null
  LD_LIBRARY_PATH="$usr/lib" "$scratch/find-package/host"

  PKG_CONFIG_PATH="$usr/lib/pkgconfig" PKG_CONFIG_LIBDIR=/nonexistent
  export PKG_CONFIG_PATH PKG_CONFIG_LIBDIR
  # shellcheck disable=SC2046 # pkg-config prints separate words
  cc "$src/tests/release/host/host.c" $(pkg-config --cflags --libs zentrolink) -o "$scratch/pkg-config-host"
  LD_LIBRARY_PATH="$usr/lib" "$scratch/pkg-config-host"
  ;;
zip)
  cc=$1
  shift
  zip=$(ls "$scratch"/pkg/zentrolink-*.zip)
  (cd "$scratch/root" && cmake -E tar xf "$zip")
  need bin/zentrolink.dll lib/zentrolink.lib lib/libzentrolink.dll.a lib/zentrolink.def include/zentrolink.h README.md
  mkdir -p "$scratch/host"
  "$cc" -I"$scratch/root/include" "$src/tests/release/host/host.c" "$scratch/root/lib/zentrolink.lib" \
    -o "$scratch/host/host.exe"
  cp "$scratch/root/bin/zentrolink.dll" "$scratch/host/"
  "$@" "$scratch/host/host.exe"
  ;;
esac
