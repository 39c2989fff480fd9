#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ (or $ORVEX_SANITIZE_DIR) and runs the fast tests there: a read past
# an array, a use after free, a leak or undefined arithmetic fails the test it happens in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_SANITIZE_DIR:-$root/build-sanitize}
bash "$root/scripts/install-deps.sh"
launcher=()
if command -v ccache >/dev/null; then
  launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$root;CCACHE_NOHASHDIR=1;ccache")
fi
# -O1 keeps the build and the tests quick enough for CI. The vptr check is left out: the
# plug-in is loaded with RTLD_LOCAL and Qt is not instrumented, so it would report
# type mismatches that are none.
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize=vptr"
flags+=" -fno-sanitize-recover=undefined"
# The benchmarks are not tests: they stay out of this build.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_CXX_FLAGS_SANITIZE="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS_SANITIZE="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS_SANITIZE="-fsanitize=address,undefined" \
  -DCMAKE_MODULE_LINKER_FLAGS_SANITIZE="-fsanitize=address,undefined" \
  "${launcher[@]}" >/dev/null
# Set for the build too: listing the tests of each binary runs it.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Leaks inside the system's font and display libraries are theirs, not ours.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest -L fast --output-on-failure -j "$(nproc)" "$@"
