#!/usr/bin/env bash
# What the project's shell scripts share. Sourced, never run:
#   . "$(dirname "${BASH_SOURCE[0]}")/lib.sh"      (from scripts/; other folders give its path)
# It turns on strict mode and sets PELVARO_ROOT, the clone's folder.
set -euo pipefail

PELVARO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
pelvaro_script=$(basename "$0")

# Says what went wrong, under the script's name, and exits 1.
fail() {
  echo "$pelvaro_script: $*" >&2
  exit 1
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# scripts/win32-runner's answer: WIN32_RUNNER is native or guest, WIN32_RUNNER_WHY says why.
# shellcheck disable=SC2034  # read by the scripts that source this
read_win32_runner() {
  local answer
  answer=$("$PELVARO_ROOT/scripts/win32-runner")
  WIN32_RUNNER=${answer%%$'\n'*}
  WIN32_RUNNER_WHY=${answer#*$'\n'}
}

# build_preset [--build-dir DIR] PRESET [TARGET...]: configures the preset, quietly, and builds
# it, or only the targets. DIR replaces the preset's build folder.
build_preset() {
  local dir=
  if [ "$1" = --build-dir ]; then
    dir=$2
    shift 2
  fi
  local preset=$1
  shift
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  if [ -n "$dir" ]; then
    cmake --preset "$preset" -B "$dir" >/dev/null
    cmake --build "$dir" --parallel 2 "${targets[@]}"
  else
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "${targets[@]}"
  fi
}

# sim_start DIR [SIM OPTIONS...]: starts tools/modem-sim on a pty that DIR/pty links to (a new one
# after "come-back"), with its control FIFOs in DIR, and waits up to 5 s until it is ready; false
# when it is not. SIM_PID is its process. DIR must take FIFOs, so not a shared folder.
sim_start() {
  local dir=$1
  shift
  python3 "$PELVARO_ROOT/tools/modem-sim/modem-sim" --link "$dir/pty" --control "$dir" \
    --ready "$dir/ready" "$@" &
  SIM_PID=$!
  for _ in $(seq 100); do
    [ -f "$dir/ready" ] && return 0
    kill -0 "$SIM_PID" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# Stops the sim that sim_start started, if any.
sim_stop() {
  [ -n "${SIM_PID:-}" ] || return 0
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}

# sim_order DIR ORDER: one order on the sim's control channel; fails unless the sim takes it.
sim_order() {
  local answer
  printf '%s\n' "$2" >"$1/request"
  read -r answer <"$1/reply"
  case $answer in
    ok*) ;;
    *) fail "the simulated modem refused \"$2\": $answer" ;;
  esac
}

# apt_update RUNNER: apt-get update through RUNNER (as_root, or a chroot's), again while a mirror
# in the middle of a sync serves index files of the wrong size. After the third try it goes on with
# the package lists there are: the install that follows says whether what it needs is among them.
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    if "$@" apt-get update -qq; then return 0; fi
    if [ "$attempt" -lt 3 ]; then sleep 20; fi
  done
  echo "apt-get update failed three times; going on with the package lists there are" >&2
}

# Every shell script of the sources, by its first line; not what builds made. Without git,
# which a machine that only runs the tests need not have.
shell_scripts() {
  local file
  (cd "$PELVARO_ROOT" && find . \( -path ./.git -o -path ./build -o -path ./dist \) -prune \
    -o -type f -print) | sed 's|^\./||' | sort | while read -r file; do
    if head -n 1 "$PELVARO_ROOT/$file" | grep -qE '^#!.*(/|env )(ba)?sh$'; then echo "$file"; fi
  done
}
