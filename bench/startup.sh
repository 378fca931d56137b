#!/usr/bin/env bash
# Time from starting tamsel to its tray icon asking to dock, and its resident
# memory once idle, under Xvfb with a bare tray. Usage, after ./dev bench:
#   bench/startup.sh [BUILD_DIR] [RUNS]      (default build-release, 5 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
runs=${2:-5}
tamsel=$build/tamsel
host=$build/bench/tamsel-tray-host
[ -x "$tamsel" ] && [ -x "$host" ] || { echo "build $build first (./dev bench)" >&2; exit 2; }

work=$(mktemp -d)
cleanup() {
    [ -n "${tamsel_pid:-}" ] && kill "$tamsel_pid" 2>/dev/null || true
    [ -n "${host_pid:-}" ] && kill "$host_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -u "$fd" number
export DISPLAY=":$number" HOME="$work" LANGUAGE=en

now_us() { echo $(($(date +%s%N) / 1000)); }
wait_for() { # FILE PATTERN: poll until the file holds the pattern (10 s at most)
    for _ in $(seq 1000); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.01; done
    return 1
}

for run in $(seq "$runs"); do
    "$host" >"$work/host.log" &
    host_pid=$!
    wait_for "$work/host.log" ready
    start=$(now_us)
    "$tamsel" >"$work/tamsel.log" 2>&1 &
    tamsel_pid=$!
    wait_for "$work/host.log" docked
    docked=$(awk '/docked/ { print $2 }' "$work/host.log")
    sleep 2 # idle
    rss=$(awk '/VmRSS/ { print $2 }' "/proc/$tamsel_pid/status")
    awk -v run="$run" -v ms=$(((docked - start) / 1000)) -v kb="$rss" \
        'BEGIN { printf "run %d: tray icon after %d ms, resident %.1f MB when idle\n", run, ms, kb / 1024 }'
    kill "$tamsel_pid"; wait "$tamsel_pid" 2>/dev/null || true
    tamsel_pid=
    wait "$host_pid" 2>/dev/null || true
    host_pid=
done
