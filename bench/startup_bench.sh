#!/usr/bin/env bash
# Start-up to the first painted window: quillpost (new project, and opening
# examples/contact.qpf) beside a minimal Qt Widgets window, on one virtual X display.
# Each program quits right after its window's first paint; the wall time of the whole run is
# measured RUNS times, alternating the programs. Prints median and mean in milliseconds and
# the ratio of the medians (target: at most 1.5).
# Usage: bench/startup_bench.sh [BUILD_DIR] [RUNS]   (default: build, 30)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${1:-build}
RUNS=${2:-30}

if [ ! -x "$BUILD/quillpost" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j "${JOBS:-2}" --target quillpost
fi
MIN_BUILD=$BUILD/bench-minimal-qt
BUILD_TYPE=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
cmake -S bench/minimal_qt -B "$MIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$MIN_BUILD" >/dev/null

home=$(mktemp -d)
mkdir -m 700 "$home/runtime"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; rm -rf "$home"' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
export DISPLAY=$display HOME=$home XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb

run_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

declare -a t_min t_new t_open
# One warm-up run each fills the file cache and the font cache.
run_ms "$MIN_BUILD/minimal_qt" >/dev/null
run_ms "$BUILD/quillpost" --quit-after-paint >/dev/null
for _ in $(seq "$RUNS"); do
  t_min+=("$(run_ms "$MIN_BUILD/minimal_qt")")
  t_new+=("$(run_ms "$BUILD/quillpost" --quit-after-paint)")
  t_open+=("$(run_ms "$BUILD/quillpost" --quit-after-paint "$ROOT/examples/contact.qpf")")
done

stats() {
  printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1; s+=$1} END {
    m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2; printf "%.1f %.1f %d %d", m, s/NR, a[1], a[NR] }'
}
read -r m_min avg_min lo_min hi_min <<<"$(stats "${t_min[@]}")"
read -r m_new avg_new lo_new hi_new <<<"$(stats "${t_new[@]}")"
read -r m_open avg_open lo_open hi_open <<<"$(stats "${t_open[@]}")"
printf '%-34s %8s %8s %6s %6s\n' "start-up to first paint ($RUNS runs)" median mean min max
printf '%-34s %8.1f %8.1f %6d %6d ms\n' "minimal Qt window" "$m_min" "$avg_min" "$lo_min" "$hi_min"
printf '%-34s %8.1f %8.1f %6d %6d ms\n' "quillpost, new project" "$m_new" "$avg_new" "$lo_new" "$hi_new"
printf '%-34s %8.1f %8.1f %6d %6d ms\n' "quillpost, examples/contact.qpf" "$m_open" "$avg_open" "$lo_open" "$hi_open"
awk -v a="$m_new" -v b="$m_open" -v m="$m_min" 'BEGIN {
  printf "ratio to the minimal window: new %.2fx, with contact.qpf %.2fx (target <= 1.5x)\n", a/m, b/m }'
