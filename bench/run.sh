#!/usr/bin/env bash
# Installs what is missing, builds the programs and the benchmarks as they ship
# (RelWithDebInfo, the build of scripts/build.sh)
# into build-bench/, runs them, prints the table and puts it into
# bench/results.md (between the "latest run" markers; the rest of that file
# is kept). Arguments go to the driver, e.g. `bash bench/run.sh --runs 50`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if ! dpkg -s libbenchmark-dev >/dev/null 2>&1; then
  as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends \
    libbenchmark-dev
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_TESTS=OFF \
  -DMORVANE_BENCH=ON >/dev/null
cmake --build build-bench -j"$jobs" --target morvane morvanectl morvane-kannel floor_process \
  bench_gateway morvane_bench micro_bench kannel_bench

out=bench/out
mkdir -p "$out"
echo "== whole runs (ratios to floors measured in this run)"
build-bench/bin/morvane_bench --bin build-bench/bin --out "$out/table.md" "$@"
echo
echo "== micro-benchmarks"
build-bench/bin/micro_bench --benchmark_min_time=0.2 | tee "$out/micro.txt"

echo
echo "== a post behind Kannel (bearerbox and smsbox of scripts/setup.sh's kannel)"
cmake --install build-bench --prefix build-bench/kannel-prefix >/dev/null
build-bench/bin/kannel_bench --members 1000 --rounds 5 --out "$out/kannel.md"

{
  echo "Run of $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores:"
  echo
  cat "$out/table.md"
  echo
  echo "Micro-benchmarks:"
  echo
  echo '```'
  grep -E '^(BM_|Benchmark|-)' "$out/micro.txt"
  echo '```'
  echo
  echo "Behind Kannel (bench/kannel_bench.cc):"
  echo
  cat "$out/kannel.md"
} >"$out/latest.md"

results=bench/results.md
begin='<!-- latest run: begin -->'
end='<!-- latest run: end -->'
if [ ! -f "$results" ] || ! grep -qF "$begin" "$results"; then
  printf '\n## Latest run\n\n%s\n%s\n' "$begin" "$end" >>"$results"
fi
awk -v begin="$begin" -v end="$end" -v latest="$out/latest.md" '
  $0 == begin { print; while ((getline line < latest) > 0) print line; skip = 1; next }
  $0 == end { skip = 0 }
  !skip { print }
' "$results" >"$out/results.md"
mv "$out/results.md" "$results"
echo
echo "Table written to $results"
