#!/usr/bin/env bash
# What the project's shell scripts share. Sourced, never run:
#   . "$(dirname "${BASH_SOURCE[0]}")/lib.sh"      (from scripts/; other folders give its path)
# It turns on strict mode and sets PELVARO_ROOT, the clone's folder.
set -euo pipefail

PELVARO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
pelvaro_script=$(basename "$0")

# The compiler cache (CMakeLists.txt) hashes the paths inside the clone relative to it, so that
# another clone of the same sources finds its entries.
export CCACHE_BASEDIR=$PELVARO_ROOT CCACHE_NOHASHDIR=true

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

# The tests that may be skipped without failing scripts/test, one "PRESET/TEST: why" each. Any
# other skip fails the run: a test that did not run proved nothing. None today; the win32 tests
# that stay out of the emulated machine are not skipped, they run on this machine.
expected_skips=()

# joined SEPARATOR WORD...: the words with SEPARATOR between them.
joined() {
  local separator=$1 text=$2 word
  shift 2
  for word; do text+=$separator$word; done
  printf '%s\n' "$text"
}

# ctest_logs PRESET: the folder for the CTest logs of the preset's current test run, emptied;
# judge_skips reads every log in it.
ctest_logs() {
  local logs=$PELVARO_ROOT/build/$1/Testing/logs
  rm -rf "$logs"
  mkdir -p "$logs"
  echo "$logs"
}

# judge_skips PRESET: fails naming every test of the preset's current run that did not run,
# unless expected_skips names it; prints those it names, with why.
judge_skips() {
  local preset=$1 name entry unexpected=()
  local files=("$PELVARO_ROOT/build/$preset/Testing/logs"/*.log) names
  [ -f "${files[0]}" ] || fail "$preset: no CTest log to judge the tests by"
  # CTest's summary: "The following tests did not run:", then a line "  N - TEST (Skipped)" each.
  names=$(sed -n '/^The following tests did not run:$/,/^[^[:space:]]/{
    s/^[[:space:]]*[0-9]* - \(.*\) ([^()]*)$/\1/p
  }' "${files[@]}")
  while read -r name; do
    [ -n "$name" ] || continue
    for entry in "${expected_skips[@]}"; do
      if [ "${entry%%:*}" = "$preset/$name" ]; then
        echo "$entry"
        continue 2
      fi
    done
    unexpected+=("$name")
  done <<<"$names"
  if [ ${#unexpected[@]} -gt 0 ]; then
    fail "$preset: skipped, so not run: $(joined ', ' "${unexpected[@]}"). A test passes only by" \
      "running (expected_skips in scripts/lib.sh names the skips that may pass)"
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

# Stops the sim that sim_start started, if any. One that has not ended 5 s after TERM (hung, or
# stopped) is killed: waiting for it would hang the script at its end.
sim_stop() {
  [ -n "${SIM_PID:-}" ] || return 0
  # CONT: a stopped sim takes its TERM at once.
  kill "$SIM_PID" 2>/dev/null || true
  kill -CONT "$SIM_PID" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$SIM_PID" 2>/dev/null; then kill -KILL "$SIM_PID" 2>/dev/null || true; fi
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}

# sim_order DIR ORDER: one order on the sim's control channel; fails unless the sim takes it within
# 10 s.
sim_order() {
  sim_ask "$@" >/dev/null
}

# sim_ask DIR ORDER: sim_order, printing what the sim's answer says after "ok" (nothing, for an
# order that answers a bare "ok"). The FIFOs open read-write, which never blocks: a plain open
# waits for ever on the FIFOs of a sim that was killed. A sim that exited cleanly took them with it.
sim_ask() {
  local dir=$1 order=$2 answer='' request reply
  if [ -n "${SIM_PID:-}" ] && ! kill -0 "$SIM_PID" 2>/dev/null; then
    fail "the simulated modem (tools/modem-sim) has exited; it cannot take \"$order\""
  fi
  if [ ! -p "$dir/request" ] || [ ! -p "$dir/reply" ]; then
    fail "the simulated modem (tools/modem-sim) has exited: its control FIFOs in $dir are gone"
  fi
  exec {request}<>"$dir/request" {reply}<>"$dir/reply"
  printf '%s\n' "$order" >&"$request"
  read -r -t 10 -u "$reply" answer || answer=
  exec {request}>&- {reply}<&-
  case $answer in
    ok*) answer=${answer#ok}; printf '%s\n' "${answer# }" ;;
    '') fail "the simulated modem (tools/modem-sim) did not answer \"$order\" within 10 s" ;;
    *) fail "the simulated modem refused \"$order\": $answer" ;;
  esac
}

# apt-get as the scripts run it. A mirror in the middle of a sync fails some downloads for a while;
# apt tries each of them again.
apt_get=(apt-get -qq -o Acquire::Retries=5)

# apt_update RUNNER: apt-get update through RUNNER (as_root, or a chroot's), again while a mirror
# in the middle of a sync serves index files of the wrong size. After the third try it goes on with
# the package lists there are: apt_install then finds a way with them or says what is missing.
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    if "$@" "${apt_get[@]}" update; then return 0; fi
    if [ "$attempt" -lt 3 ]; then sleep 20; fi
  done
  echo "apt-get update failed three times; going on with the package lists there are" >&2
}

# apt_install RUNNER RELEASE PACKAGE...: installs the packages through RUNNER and says which way.
# apt first resolves them without downloading anything: with its candidates, or else with RELEASE
# (the machine's own, os_release_codename) as the target release. While a mirror syncs, a suite
# can list newer versions for one architecture only (its other lists missing or older), and every
# architecture of a Multi-Arch package must have one version: the candidates then cannot go
# together, the release's own versions can. A failed download gets fresh lists and another try.
apt_install() {
  local runner=$1 release=$2 attempt answer way
  shift 2
  local get=("${apt_get[@]}" install -y --no-install-recommends
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
  local target=()
  for attempt in 1 2 3; do
    if answer=$("$runner" "${get[@]}" -s "$@" 2>&1 >/dev/null); then
      target=()
      way="with apt's candidates"
    elif [ -n "$release" ] && "$runner" "${get[@]}" -s -t "$release" "$@" >/dev/null 2>&1; then
      target=(-t "$release")
      way="with $release as the target release: apt's candidates cannot be installed together"
      way+=" (a mirror in the middle of a sync?)"
    else
      printf '%s\n' "$answer" >&2
      echo "$pelvaro_script: apt finds no way to install $*" \
        "${release:+(not even with $release as the target release)}" >&2
      return 1
    fi
    echo "$pelvaro_script: installing $way"
    if "$runner" "${get[@]}" "${target[@]}" "$@" >/dev/null; then return 0; fi
    if [ "$attempt" -lt 3 ]; then
      echo "$pelvaro_script: the install failed; fresh package lists and another try in 20 s" >&2
      sleep 20
      "$runner" "${apt_get[@]}" update || true
    fi
  done
  echo "$pelvaro_script: the install failed three times" >&2
  return 1
}

# os_release_codename FILE: the release's code name in an os-release file; empty where it has none
# (testing, unstable).
os_release_codename() {
  sed -n 's/^VERSION_CODENAME=//p' "$1" | tr -d "\"'"
}

# apt_mirror RELEASE [FILE...]: the first archive URI apt's sources give for RELEASE itself (not
# its -updates or -security suites), from one-line and deb822 files alike, whatever options
# they carry. By default this machine's sources, in the order apt reads them.
apt_mirror() {
  local release=$1 file uri
  shift
  [ $# -gt 0 ] || set -- /etc/apt/sources.list /etc/apt/sources.list.d/*
  for file; do
    [ -f "$file" ] || continue
    case $file in
      *.sources)
        uri=$(awk -v release="$release" '
          BEGIN { RS = ""; FS = "\n" }
          {
            delete field
            for (i = 1; i <= NF; i++) {
              # Comments, and the continuation lines of a field (a key inside Signed-By).
              if ($i ~ /^[# \t]/ || $i !~ /:/) continue
              key = tolower($i); sub(/[ \t]*:.*/, "", key)
              value = $i; sub(/^[^:]*:[ \t]*/, "", value)
              field[key] = value
            }
            if (tolower(field["enabled"]) == "no") next
            if (!has(field["types"], "deb") || !has(field["suites"], release)) next
            split(field["uris"], uris, /[ \t]+/)
            print uris[1]
            exit
          }
          function has(list, word,   words, n, i) {
            n = split(list, words, /[ \t]+/)
            for (i = 1; i <= n; i++) if (words[i] == word) return 1
            return 0
          }' "$file") ;;
      *.list)
        uri=$(awk -v release="$release" '
          { sub(/#.*/, "") }
          $1 == "deb" {
            i = 2
            # Options: "[arch=amd64 signed-by=...]", possibly with spaces inside the brackets.
            if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
            if ($(i + 1) == release) { print $i; exit }
          }' "$file") ;;
      *) continue ;;
    esac
    if [ -n "$uri" ]; then
      echo "$uri"
      return 0
    fi
  done
  return 1
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
