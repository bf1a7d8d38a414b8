#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs one.
# Usage: scripts/fuzz.sh TARGET [SECONDS] [libFuzzer options...]
# The corpus grows in fuzz/corpus/TARGET/; the seeds come from
# fuzz/seeds/TARGET/ when there is one, else fuzz/seeds/. Findings are
# written to build-fuzz/artifacts/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET [SECONDS] [libFuzzer options...]}
seconds=${2:-60}
shift
[ $# -gt 0 ] && shift

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is not installed" >&2; exit 1; }
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' |
    clang++ -x c++ -fsanitize=fuzzer - -o "$probe/probe" 2>"$probe/log"; then
  cat "$probe/log" >&2
  echo "fuzz.sh: clang cannot link with libFuzzer (-fsanitize=fuzzer)" >&2
  exit 1
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DHARVION_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=OFF >/dev/null
ninja -C build-fuzz "$target"

corpus=fuzz/corpus/$target
seeds=fuzz/seeds/$target
[ -d "$seeds" ] || seeds=fuzz/seeds
artifacts=build-fuzz/artifacts/$target
mkdir -p "$corpus" "$artifacts"
options=(-max_total_time="$seconds" -artifact_prefix="$artifacts/" -print_final_stats=1)
[ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
exec "build-fuzz/bin/$target" "${options[@]}" "$@" "$corpus" "$seeds"
