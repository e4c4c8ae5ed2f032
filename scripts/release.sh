#!/usr/bin/env bash
# Makes the release from this tree: dist/pinnit-<version>-win32.zip (pinnit.exe,
# README.txt, LICENSE.txt) and dist/SHA256SUMS for the zip and the exe. The same
# sources give the same bytes in any folder, at any time, in any time zone.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# shellcheck disable=SC2046 # one package a word
pinnit_install $(pinnit_packages build) || pinnit_fail
build=$PINNIT_ROOT/build/release dist=$PINNIT_ROOT/dist
rm -rf "$build" "$dist"
pinnit_build "$build" mingw-gcc-i686 -DPINNIT_TESTS=OFF >/dev/null
(cd "$build" && cpack -B "$build/package" >/dev/null) || pinnit_fail "packing the release with CPack"

zip=$(cd "$build/package" && echo pinnit-*-win32.zip)
mkdir -p "$dist" && cp "$build/package/$zip" "$dist/"
# CPack stores each file's time and the folders' order; the zip's times are local.
TZ=UTC strip-nondeterminism --type zip "$dist/$zip" >/dev/null
(cd "$dist" && sha256sum "$zip") >"$dist/SHA256SUMS"
(cd "$build/bin" && sha256sum pinnit.exe) >>"$dist/SHA256SUMS"
pinnit_log "made $dist/$zip"
cat "$dist/SHA256SUMS"
