#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in their own build folder and runs each for SECONDS
# (default 60) on a copy of its seed corpus in fuzz/NAME/corpus, as many at a time as
# there are cores. A crash, leak or timeout fails the script with a non-zero exit after
# every target has run; the input that caused it is kept in $build/artifacts/.
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
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One target: new inputs the fuzzer finds go to a scratch copy of the seeds, so the
# committed corpus stays as it is.
run_target() {
  local t=$1 work="$scratch/$1"
  mkdir -p "$work"
  cp "$root/fuzz/$t/corpus/"* "$work/"
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
    "$build/bin/fuzz_$t" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
    >"$build/artifacts/$t.log" 2>&1
}

declare -A pid_of
failed=()
report() {
  local t=$1 status=0
  wait "${pid_of[$t]}" || status=$?
  echo "== fuzz_$t: ${seconds} s"
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$build/artifacts/$t.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$build/artifacts/$t.log" >&2
    echo "fuzz_$t failed (exit $status); the input is in $build/artifacts/" >&2
    failed+=("$t")
  fi
}

running=()
for t in "${targets[@]}"; do
  run_target "$t" &
  pid_of[$t]=$!
  running+=("$t")
  if [ ${#running[@]} -ge "$(nproc)" ]; then
    report "${running[0]}"
    running=("${running[@]:1}")
  fi
done
for t in "${running[@]}"; do report "$t"; done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
