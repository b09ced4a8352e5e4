#!/usr/bin/env bash
# Builds the Debian package in Release, with Debian's hardening flags, and leaves it in dist/.
# Usage: scripts/package.sh           then: sudo apt install ./dist/edi_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EDI_PACKAGE_BUILD_DIR:-$root/build-release}

"$root/scripts/install-deps.sh"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" --target package

mkdir -p "$root/dist"
rm -f "$root"/dist/edi_*.deb
cp "$build"/edi_*.deb "$root/dist/"
ls -l "$root"/dist/edi_*.deb
