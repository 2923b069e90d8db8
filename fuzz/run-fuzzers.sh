#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them one after the other, each
# for a bounded time.
#   fuzz/run-fuzzers.sh [BUILD_DIR] [SECONDS_PER_TARGET] [TARGET ...]
# Seeds come from fuzz/corpus/<target>/ and stay untouched; what the fuzzer
# learns goes to BUILD_DIR/corpus/<target>/, and an input that breaks a
# target to BUILD_DIR/artifacts/. Such an input belongs in the tests
# (tests/xml/data/fuzz-regressions/ or a table row in tests/svg/).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build-fuzz}
seconds=${2:-60}
shift $(( $# < 2 ? $# : 2 ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(xml_reader xml_roundtrip number length transform rectangle base64 color declaration stylesheet pathdata svg_model svg_render png_read)
fi

cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build_dir"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build_dir/artifacts"
failed=()
for t in "${targets[@]}"; do
  corpus="$build_dir/corpus/$t"
  mkdir -p "$corpus" "fuzz/corpus/$t"
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=("-dict=fuzz/dict/$t.dict")
  echo "== fuzz_$t: ${seconds}s"
  if ! "$build_dir/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=16384 \
      -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$t-" "${dict[@]}" \
      "$corpus" "fuzz/corpus/$t" 2>"$build_dir/$t.log"; then
    tail -n 40 "$build_dir/$t.log"
    failed+=("$t")
  else
    grep -E "^(stat::number_of_executed_units|Done)" "$build_dir/$t.log" || true
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "Broken: ${failed[*]} - the inputs are in $build_dir/artifacts/"
  exit 1
fi
echo "All ${#targets[@]} fuzz targets ran ${seconds}s each without a finding."
