#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in
# the ordinary build (build/) and once under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/asan/). Then builds the Debian package
# from build/ and checks it in a throwaway root.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVERDANPOST_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== Sanitizer build (address, undefined behaviour)"
(cd build/asan && ctest --output-on-failure -j "$jobs")

echo "== Ordinary build"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== Package"
rm -f build/verdanpost_*.deb
(cd build && cpack -G DEB >/dev/null)
packaging/package_test.sh build/verdanpost_*.deb
