#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in their own build folder and runs each for SECONDS
# (default 60) on a copy of its seed corpus in fuzz/NAME/corpus. A crash, leak or
# timeout stops the script with a non-zero exit; the input that caused it is kept
# in $build/artifacts/.
#   bash scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${ORVEX_FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(setup_loader scenario_loader motor_database program_descriptor simrun_steps
  scope_frame)

bash "$root/scripts/install-deps.sh"
launcher=()
if command -v ccache >/dev/null; then
  launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$root;CCACHE_NOHASHDIR=1;ccache")
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVEX_FUZZ=ON \
  "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/artifacts"
for t in "${targets[@]}"; do
  # New inputs the fuzzer finds go to a scratch copy; the seed corpus stays as committed.
  work=$(mktemp -d)
  cp "$root/fuzz/$t/corpus/"* "$work/"
  echo "== fuzz_$t: ${seconds} s"
  log="$build/artifacts/$t.log"
  status=0
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
    "$build/bin/fuzz_$t" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" >"$log" 2>&1 ||
    status=$?
  rm -rf "$work"
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz_$t failed (exit $status); the input is in $build/artifacts/" >&2
    exit 1
  fi
done
